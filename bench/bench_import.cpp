// The import of a capture's drop folder into the store folder on the same
// file system, against the shell's cp and rm over the same files, with and
// without flushing the copies, against a durable move file by file in bare
// system calls, and against renaming them (mv) and flushing both folders.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

#include "bench_folders.h"
#include "plugin/capture.h"

namespace tavirex::bench {
namespace {

constexpr int kImportFiles = 200;
constexpr std::size_t kImportFileBytes = 5u << 20;

// Names as the vendor's export writes them: the import inserts the exam.
std::string ExportedName(int i) {
  std::string name = StoredName(PatientKey(7), 0, i, i % 2 ? "OS" : "OD", "2016-05-31", "14-05-09");
  return name.erase(name.find("_0_"), 2);
}

class ImportStation {
 public:
  ImportStation() : bytes_(kImportFileBytes) {
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i + 8 <= bytes_.size(); i += 8) {
      const std::uint64_t word = random();
      std::memcpy(bytes_.data() + i, &word, 8);
    }
    std::filesystem::create_directories(station_.Native("drop"));
    std::filesystem::create_directories(station_.Native("store"));
  }

  BenchStation& station() { return station_; }
  std::string drop() const { return station_.Native("drop"); }
  std::string store() const { return station_.Native("store"); }
  std::string root() { return station_.workstation().root().string(); }

  // The exported files, on disk before the run starts.
  void FillDrop() {
    for (int i = 0; i < kImportFiles; ++i) {
      const std::string path = drop() + "/" + ExportedName(i);
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) throw std::runtime_error("cannot create " + path);
      std::memcpy(bytes_.data(), &i, sizeof i);  // no two files alike
      for (std::size_t done = 0; done < bytes_.size();) {
        ssize_t n = ::write(fd, bytes_.data() + done, bytes_.size() - done);
        if (n <= 0) throw std::runtime_error("cannot write " + path);
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    }
    SyncFileSystem(drop());
  }

  // True when the store holds every file, each of full size, and the drop
  // folder none; then empties both and flushes.
  bool CheckAndEmpty() {
    const std::vector<std::string> stored = Files(store());
    bool moved = stored.size() == kImportFiles && Files(drop()).empty();
    for (const std::string& name : stored) {
      moved = moved && std::filesystem::file_size(store() + "/" + name) == kImportFileBytes;
    }
    for (const std::string& folder : {store(), drop()}) {
      for (const std::string& name : Files(folder)) ::unlink((folder + "/" + name).c_str());
    }
    SyncFileSystem(store());
    return moved;
  }

  static std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

 private:
  BenchStation station_;
  std::vector<char> bytes_;
};

ImportStation& Station() {
  static ImportStation station;
  return station;
}

bool Shell(ImportStation& station, const std::string& command) {
  return std::system(("cd '" + station.root() + "' && " + command).c_str()) == 0;
}

bool Import(ImportStation& station) {
  ImportDropFolder(station.station().object(), BenchStation::Win("drop"),
                   BenchStation::Win("store"));
  return true;
}

// The shell's move over the same set, nothing flushed: the copies may still
// be only in memory when their sources are gone.
bool CpRm(ImportStation& station) { return Shell(station, "cp drop/* store/ && rm drop/*"); }

// The same, with the copies and the store folder flushed (fsync of each, by
// coreutils' sync) before the sources are removed.
bool CpSyncRm(ImportStation& station) {
  return Shell(station, "cp drop/* store/ && sync store/* store && rm drop/*");
}

// Not a copy: the same files renamed into the store folder (both on one
// file system), both folders flushed before the command ends. What an
// import that moves instead of copying would take.
bool MvSync(ImportStation& station) {
  return Shell(station, "mv drop/* store/ && sync store drop");
}

// A durable move file by file in bare system calls, as the import does it
// but without its temporary name, rename and checks: for each file an
// in-kernel copy in 1 MB chunks whose writeback starts at once, fsync of the
// copy and of the store folder, then unlink of the source.
bool DurableMove(ImportStation& station) {
  const std::string drop = station.drop();
  const std::string store = station.store();
  int folder = ::open(store.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool ok = folder >= 0;
  for (const std::string& name : ImportStation::Files(drop)) {
    const std::string from = drop + "/" + name;
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open((store + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ok = ok && in >= 0 && out >= 0;
    for (off_t done = 0; ok;) {
      ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 20, 0);
      if (n == 0) break;
      ok = n > 0;
      if (ok) ::sync_file_range(out, done, n, SYNC_FILE_RANGE_WRITE);
      done += n;
    }
    ok = ok && ::fsync(out) == 0 && ::close(out) == 0 && ::fsync(folder) == 0;
    ::close(in);
    ok = ok && ::unlink(from.c_str()) == 0;
  }
  ::close(folder);
  return ok;
}

// Each repetition moves the 200 files five times, once by each candidate,
// the first candidate rotating from one repetition to the next; the drop
// folder is filled and flushed before each move, and both folders emptied
// and flushed after it, outside the times. The benchmark's time is the
// import's; each candidate's wall and processor time (its children's
// included) are in the counters.
void BM_ImportAgainstShell(benchmark::State& state) {
  struct Candidate {
    const char* name;
    bool (*move)(ImportStation&);
    Stopwatch watch;
  };
  Candidate candidates[] = {{"import", Import, {}},
                            {"cp_rm", CpRm, {}},
                            {"cp_sync_rm", CpSyncRm, {}},
                            {"durable", DurableMove, {}},
                            {"mv_sync", MvSync, {}}};
  constexpr std::size_t kCount = std::size(candidates);
  static std::size_t first = 0;
  ImportStation& station = Station();
  bool ok = true;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kCount; ++i) {
      Candidate& candidate = candidates[(first + i) % kCount];
      station.FillDrop();
      candidate.watch.Time([&] { ok = candidate.move(station) && ok; });
      ok = station.CheckAndEmpty() && ok;
    }
    first = (first + 1) % kCount;
    state.SetIterationTime(candidates[0].watch.last_wall_seconds());
  }
  if (!ok) state.SkipWithError("the files were not moved");
  for (const Candidate& candidate : candidates) {
    ReportTimes(state, candidate.name, candidate.watch);
  }
  state.counters["files"] = kImportFiles;
  state.counters["file_bytes"] = static_cast<double>(kImportFileBytes);
}

BENCHMARK(BM_ImportAgainstShell)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavirex::bench
