#include "bench_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tavirex::bench {

std::string PatientKey(int patient) { return std::to_string(1234000 + patient * 13); }

std::string StoredName(std::string_view key, int exam, int shot, std::string_view eye,
                       std::string_view date, std::string_view time) {
  std::string name(key);
  name += '_';
  name += std::to_string(exam);
  name += "_Vessara_OCT_Macula_512x128_";
  name += std::to_string(shot);
  for (std::string_view field : {eye, date, time}) {
    name += '_';
    name += field;
  }
  name += ".jpg";
  return name;
}

std::int64_t BareScan(const std::string& native_folder, std::string_view prefix) {
  DIR* dir = ::opendir(native_folder.c_str());
  if (dir == nullptr) return -1;
  std::int64_t count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.data(), prefix.size()) == 0) ++count;
  }
  ::closedir(dir);
  return count;
}

void SyncFileSystem(const std::string& native_path) {
  int fd = ::open(native_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + native_path);
  ::syncfs(fd);
  ::close(fd);
}

double ProcessorSeconds() {
  double seconds = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    ::getrusage(who, &usage);
    for (const timeval& t : {usage.ru_utime, usage.ru_stime}) {
      seconds += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    }
  }
  return seconds;
}

void ReportTimes(benchmark::State& state, const char* name, const Stopwatch& watch) {
  state.counters[std::string(name) + "_ms"] = watch.mean_wall_ms();
  state.counters[std::string(name) + "_cpu_ms"] = watch.mean_cpu_ms();
}

BenchStation::BenchStation() {
  ws_.WriteHostIni("[System]\r\nPgmsDir=C:\\Praxo\r\nDataDir=C:\\Praxo\\Data\r\n");
  ws_.WriteEquipIni(
      "[Equipment]\r\nNumber=2\r\n1=5:x:Tavirex:Capture Vessara\r\n2=6:y:Tavirex:Review "
      "Vessara\r\n[5]\r\nEquipDataPath=C:\\store\r\n[6]\r\nEquipDataPath=C:\\store\r\n");
  std::filesystem::create_directories(Native("Praxo/Data"));
  module_ = std::make_unique<HostModule>(ws_.user());
  object_ = std::make_unique<ClsTavirex>(*module_, ws_.window());
  object_->props().DeviceName = "Review Vessara";
  object_->props().ExamRecNum = 20417;
}

BenchStation::~BenchStation() = default;

std::string BenchStation::Win(std::string_view name) {
  std::string path = "C:\\";
  for (char c : name) path += c == '/' ? '\\' : c;
  return path;
}

std::string BenchStation::Native(std::string_view name) const {
  return (ws_.root() / std::string(name)).string();
}

void BenchStation::Touch(const std::string& native_path) {
  int fd = ::open(native_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + native_path);
  ::close(fd);
}

}  // namespace tavirex::bench
