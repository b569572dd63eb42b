// The review side over big store folders: NumPatientImageFiles against a bare
// directory scan of the same folder, and the image list's loading and sort.
// Wall and processor times of each side are in the counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>

#include "bench_folders.h"
#include "heap_counter.h"
#include "plugin/frm_image_files.h"

namespace tavirex::bench {
namespace {

constexpr int kFilesPerPatient = 100;
// The patient whose images are listed sits among the others.
constexpr int kListedPatient = 500;
constexpr int kListedImages = 2000;

// A store of `files` names, kFilesPerPatient for each patient: a few exams,
// both eyes, dates and times as the device writes them.
std::string OrdinaryName(int index) {
  const int patient = index / kFilesPerPatient;
  const int shot = index % kFilesPerPatient;
  const int exam = 10000 + patient * 4 + shot / 25;
  char date[16];
  char time[16];
  std::snprintf(date, sizeof date, "20%02d-%02d-%02d", 10 + exam % 15, 1 + exam % 12,
                1 + exam % 28);
  std::snprintf(time, sizeof time, "%02d-%02d-%02d", 8 + shot % 10, shot % 60, (shot * 7) % 60);
  return StoredName(PatientKey(patient), exam, shot, shot % 2 ? "OS" : "OD", date, time);
}

// The patient counted in a store: the one in the middle.
int CountedPatient(std::int64_t files) { return static_cast<int>(files / kFilesPerPatient / 2); }

BenchStation& StoreOf(std::int64_t files) {
  static std::map<std::int64_t, std::unique_ptr<BenchStation>> stores;
  auto& store = stores[files];
  if (!store) {
    store = std::make_unique<BenchStation>();
    store->MakeEmptyFiles("store", static_cast<int>(files), OrdinaryName);
    store->object().props().PATIENTID = PatientKey(CountedPatient(files));
  }
  return *store;
}

// The 2,000 images of one patient, taken over twenty years at random dates
// and times, among `files` - 2,000 files of other patients.
BenchStation& ListedStore(std::int64_t files) {
  static std::map<std::int64_t, std::unique_ptr<BenchStation>> stores;
  auto& store = stores[files];
  if (!store) {
    store = std::make_unique<BenchStation>();
    store->MakeEmptyFiles("store", static_cast<int>(files) - kListedImages, [](int i) {
      return OrdinaryName(i < kListedPatient * kFilesPerPatient ? i : i + kFilesPerPatient);
    });
    std::mt19937 random(4711);
    store->MakeEmptyFiles("store", kListedImages, [&random](int i) {
      char date[16];
      char time[16];
      std::snprintf(date, sizeof date, "%04d-%02d-%02d", 2005 + static_cast<int>(random() % 20),
                    1 + static_cast<int>(random() % 12), 1 + static_cast<int>(random() % 28));
      std::snprintf(time, sizeof time, "%02d-%02d-%02d", static_cast<int>(random() % 24),
                    static_cast<int>(random() % 60), static_cast<int>(random() % 60));
      return StoredName(PatientKey(kListedPatient), 30000 + i / 8, i % 8, i % 2 ? "OS" : "OD", date,
                        time);
    });
  }
  return *store;
}

// NumPatientImageFiles and the bare scan of the same folder, in turn (the
// first of the two alternating), so that both meet the same moment of a
// shared machine. The benchmark's time is the count's.
void BM_CountAgainstBareScan(benchmark::State& state) {
  BenchStation& store = StoreOf(state.range(0));
  ClsTavirex& object = store.object();
  const std::string folder = store.Native("store");
  const std::string prefix = PatientKey(CountedPatient(state.range(0))) + "_";
  // Heap growth in a call of its own, so that the timed calls count nothing.
  StartHeapCount();
  std::int32_t count = object.NumPatientImageFiles();
  const std::size_t peak_heap = StopHeapCount();
  std::int64_t scanned = 0;
  Stopwatch count_watch;
  Stopwatch scan_watch;
  bool count_first = true;
  for (auto _ : state) {
    auto run_count = [&] { count_watch.Time([&] { count = object.NumPatientImageFiles(); }); };
    auto run_scan = [&] { scan_watch.Time([&] { scanned = BareScan(folder, prefix); }); };
    if (count_first) {
      run_count();
      run_scan();
    } else {
      run_scan();
      run_count();
    }
    count_first = !count_first;
    state.SetIterationTime(count_watch.last_wall_seconds());
  }
  if (count != kFilesPerPatient || scanned != kFilesPerPatient || !store.UserUntouched()) {
    state.SkipWithError("the count or the scan found the wrong number of files");
  }
  ReportTimes(state, "count", count_watch);
  ReportTimes(state, "scan", scan_watch);
  state.counters["peak_heap_bytes"] = static_cast<double>(peak_heap);
}

// The image list of a patient with 2,000 images, loaded and sorted in a new
// window, and in turn with it the bare scan of the same folder, the part of
// the time that no listing avoids. The benchmark's time is the window's.
void BM_LoadGridWithFiles4PatID(benchmark::State& state) {
  BenchStation& store = ListedStore(state.range(0));
  const std::string PatID = PatientKey(kListedPatient);
  const std::string folder = BenchStation::Win("store");
  const std::string native_folder = store.Native("store");
  bool loaded = true;
  bool newest_first = true;
  std::int32_t rows = kListedImages;
  std::int64_t scanned = 0;
  Stopwatch load_watch;
  Stopwatch scan_watch;
  bool load_first = true;
  auto load = [&] {
    FrmImageFiles form(store.platform(), store.workstation().window());
    load_watch.Time([&] { loaded = form.LoadGridWithFiles4PatID(PatID, folder) && loaded; });
    // Spot check of the order: the first row's date is not older than the last's.
    ImageGrid& grid = form.grdImageFiles();
    rows = std::min(rows, grid.MaxRows());
    auto first = store.platform().ParseDate(grid.CellText(3, 1));
    auto last = store.platform().ParseDate(grid.CellText(3, grid.MaxRows()));
    newest_first = newest_first && first && last && *first >= *last;
  };
  auto scan = [&] { scan_watch.Time([&] { scanned = BareScan(native_folder, PatID + "_"); }); };
  for (auto _ : state) {
    if (load_first) {
      load();
      scan();
    } else {
      scan();
      load();
    }
    load_first = !load_first;
    state.SetIterationTime(load_watch.last_wall_seconds());
  }
  if (!loaded || rows != kListedImages || !newest_first || scanned != kListedImages ||
      !store.UserUntouched()) {
    state.SkipWithError("the list did not load the patient's images newest first");
  }
  ReportTimes(state, "load", load_watch);
  ReportTimes(state, "scan", scan_watch);
}

BENCHMARK(BM_CountAgainstBareScan)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGridWithFiles4PatID)
    ->Arg(20000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavirex::bench
