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

namespace {

namespace fs = std::filesystem;

// A 16 x 16 grey JPEG: small, but any viewer opens it.
const unsigned char kSampleJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x0d, 0x09, 0x0a, 0x0b, 0x0a, 0x08, 0x0d,
    0x0b, 0x0a, 0x0b, 0x0e, 0x0e, 0x0d, 0x0f, 0x13, 0x20, 0x15, 0x13, 0x12, 0x12, 0x13, 0x27, 0x1c,
    0x1e, 0x17, 0x20, 0x2e, 0x29, 0x31, 0x30, 0x2e, 0x29, 0x2d, 0x2c, 0x33, 0x3a, 0x4a, 0x3e, 0x33,
    0x36, 0x46, 0x37, 0x2c, 0x2d, 0x40, 0x57, 0x41, 0x46, 0x4c, 0x4e, 0x52, 0x53, 0x52, 0x32, 0x3e,
    0x5a, 0x61, 0x5a, 0x50, 0x60, 0x4a, 0x51, 0x52, 0x4f, 0xff, 0xc0, 0x00, 0x0b, 0x08, 0x00, 0x10,
    0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x16, 0x00, 0x01, 0x01, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x06, 0xff, 0xc4,
    0x00, 0x16, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x15, 0x62, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00,
    0x8c, 0xb2, 0x42, 0xc9, 0x36, 0x4b, 0x24, 0x2c, 0x93, 0xff, 0xd9};

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
    // Patient key, five fields of the vendor's own, eye, date, time.
    std::string name = std::string(argv[1]) + "_Vessara_OCT_Macula_512x128_" +
                       std::to_string(i + 1) + (i % 2 == 0 ? "_OD_" : "_OS_") + stamp + ".jpg";
    // Written under a temporary name first, so a file that shows up is whole.
    fs::path part = fs::path(drop) / (name + ".part");
    std::ofstream(part, std::ios::binary)
        .write(reinterpret_cast<const char*>(kSampleJpeg), sizeof kSampleJpeg);
    fs::rename(part, fs::path(drop) / name);
  }
  return 0;
}
