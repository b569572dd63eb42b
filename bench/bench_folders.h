// Store folders for the benchmarks: a workstation in a temporary folder
// (TMPDIR) whose "C:\" holds folders of stored image files with realistic
// names, made once per run and removed at exit.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "hostenv/host_paths.h"
#include "plugin/cls_tavirex.h"
#include "test_support.h"

namespace tavirex::bench {

// The patient key of the i-th patient of a folder ("1234013").
std::string PatientKey(int patient);

// A stored name: key, exam, the vendor's fields, eye, date and time.
std::string StoredName(std::string_view key, int exam, int shot, std::string_view eye,
                       std::string_view date, std::string_view time);

// The bare listing: opendir/readdir over the folder, counting the names that
// begin with `prefix`. What no count over this folder can beat.
std::int64_t BareScan(const std::string& native_folder, std::string_view prefix);

// Flushes the file system that holds `native_path`.
void SyncFileSystem(const std::string& native_path);

// Processor time of this process and of its ended children, in seconds.
double ProcessorSeconds();

// Wall and processor time of the calls it times, summed: one per candidate
// of a side-by-side comparison.
class Stopwatch {
 public:
  template <typename Call>
  void Time(Call call) {
    const double cpu_start = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    call();
    last_wall_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    wall_ += last_wall_;
    cpu_ += ProcessorSeconds() - cpu_start;
    ++runs_;
  }
  double last_wall_seconds() const { return last_wall_; }
  double mean_wall_ms() const { return runs_ == 0 ? 0 : 1000 * wall_ / runs_; }
  double mean_cpu_ms() const { return runs_ == 0 ? 0 : 1000 * cpu_ / runs_; }

 private:
  double wall_ = 0;
  double cpu_ = 0;
  double last_wall_ = 0;
  int runs_ = 0;
};

// Puts each candidate's mean wall and processor time into the counters,
// as <name>_ms and <name>_cpu_ms.
void ReportTimes(benchmark::State& state, const char* name, const Stopwatch& watch);

// A workstation whose review function lists "C:\store", and one object of
// the plug-in on it.
class BenchStation {
 public:
  BenchStation();
  ~BenchStation();

  testing::Workstation& workstation() { return ws_; }
  PosixPlatform& platform() { return ws_.platform(); }
  ClsTavirex& object() { return *object_; }
  // "C:\" + name, and where it lies here.
  static std::string Win(std::string_view name);
  std::string Native(std::string_view name) const;
  // Creates the folder "C:\<name>" with empty files; the names are made by
  // `name_of(i)` for i in [0, count).
  template <typename NameOf>
  void MakeEmptyFiles(std::string_view folder, int count, NameOf name_of);
  // True while no message box was shown to the (absent) user.
  bool UserUntouched() { return ws_.platform().shown_boxes().empty(); }

 private:
  void Touch(const std::string& native_path);

  testing::Workstation ws_;
  std::unique_ptr<HostModule> module_;
  std::unique_ptr<ClsTavirex> object_;
};

template <typename NameOf>
void BenchStation::MakeEmptyFiles(std::string_view folder, int count, NameOf name_of) {
  const std::string native = Native(folder);
  std::filesystem::create_directories(native);
  for (int i = 0; i < count; ++i) Touch(native + "/" + name_of(i));
}

}  // namespace tavirex::bench
