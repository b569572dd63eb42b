// A stand-in for the vendor's patient program, for demonstrations and tests.
// It logs its parameters and working directory to "CreatePatient.log" beside
// itself, then "exports" sample images as "CreatePatient.cfg" beside it says:
//   DropFolder=<folder>     where the exported images go (required to export)
//   Images=<n>              how many (default 3)
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "hostenv/system.h"

// The sample exports (samples.sh): a grey OCT B-scan and a colour fundus
// photograph.
extern const unsigned char kBscan[], kFundus[];
extern const std::size_t kBscanSize, kFundusSize;

namespace {

namespace fs = std::filesystem;

std::string ConfigValue(const fs::path& config, const std::string& key) {
  std::ifstream in(config);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = tavirex::ModuleFilePath();
  const fs::path folder = fs::absolute(self.empty() ? argv[0] : self).parent_path();
  {
    std::ofstream log(folder / "CreatePatient.log", std::ios::app);
    std::error_code no_cwd;  // the folder may be gone by the time it runs
    log << "cwd=" << fs::current_path(no_cwd).string() << "\n"
        << "argc=" << argc - 1 << "\n";
    for (int i = 1; i < argc; ++i) log << "arg" << i << "=" << argv[i] << "\n";
  }
  if (argc < 2) return 2;

  const fs::path config = folder / "CreatePatient.cfg";
  std::string drop = ConfigValue(config, "DropFolder");
  if (drop.empty()) return 0;
  std::string count_text = ConfigValue(config, "Images");
  int count = count_text.empty() ? 3 : std::stoi(count_text);

  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  for (int i = 0; i < count; ++i) {
    std::tm at = local;  // date and time, a second apart
    at.tm_sec = (local.tm_sec + i) % 60;
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &at);
    // Two B-scans, OD and OS, then a fundus photograph, and again.
    const bool fundus = i % 3 == 2;
    // Patient key, five fields of the vendor's own, eye, date, time.
    std::string name =
        std::string(argv[1]) +
        (fundus ? "_Vessara_Fundus_Colour_768x768_" : "_Vessara_OCT_Macula_1024x496_") +
        std::to_string(i + 1) + (i % 2 == 0 ? "_OD_" : "_OS_") + stamp + ".jpg";
    // Written under a temporary name first, so a file that shows up is whole.
    fs::path part = fs::path(drop) / (name + ".part");
    std::ofstream(part, std::ios::binary)
        .write(reinterpret_cast<const char*>(fundus ? kFundus : kBscan),
               static_cast<std::streamsize>(fundus ? kFundusSize : kBscanSize));
    fs::rename(part, fs::path(drop) / name);
  }
  return 0;
}
