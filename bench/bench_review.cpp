// The review side over big store folders: NumPatientImageFiles against a bare
// directory scan of the same folder, and the image list's loading and sort.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>

#include "bench_folders.h"
#include "heap_counter.h"
#include "review/frm_image_files.h"

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

void BM_CountBareScan(benchmark::State& state) {
  BenchStation& store = StoreOf(state.range(0));
  const std::string folder = store.Native("store");
  const std::string prefix = PatientKey(CountedPatient(state.range(0))) + "_";
  std::int64_t count = 0;
  for (auto _ : state) benchmark::DoNotOptimize(count = BareScan(folder, prefix));
  if (count != kFilesPerPatient) state.SkipWithError("the scan found the wrong number of files");
  state.counters["files"] = static_cast<double>(state.range(0));
}

void BM_NumPatientImageFiles(benchmark::State& state) {
  BenchStation& store = StoreOf(state.range(0));
  ClsTavirex& object = store.object();
  // Heap growth in a run of its own, so that the timed runs count nothing.
  StartHeapCount();
  std::int32_t count = object.NumPatientImageFiles();
  const std::size_t peak_heap = StopHeapCount();
  for (auto _ : state) benchmark::DoNotOptimize(count = object.NumPatientImageFiles());
  if (count != kFilesPerPatient || !store.UserUntouched()) {
    state.SkipWithError("NumPatientImageFiles counted the wrong number of files");
  }
  state.counters["files"] = static_cast<double>(state.range(0));
  state.counters["peak_heap_bytes"] = static_cast<double>(peak_heap);
}

void BM_ListBareScan(benchmark::State& state) {
  BenchStation& store = ListedStore(state.range(0));
  const std::string folder = store.Native("store");
  const std::string prefix = PatientKey(kListedPatient) + "_";
  std::int64_t count = 0;
  for (auto _ : state) benchmark::DoNotOptimize(count = BareScan(folder, prefix));
  if (count != kListedImages) state.SkipWithError("the scan found the wrong number of files");
}

void BM_LoadGridWithFiles4PatID(benchmark::State& state) {
  BenchStation& store = ListedStore(state.range(0));
  const std::string PatID = PatientKey(kListedPatient);
  const std::string folder = BenchStation::Win("store");
  bool loaded = false;
  std::int32_t rows = 0;
  bool newest_first = true;
  for (auto _ : state) {
    FrmImageFiles form(store.platform());
    loaded = form.LoadGridWithFiles4PatID(PatID, folder);
    ImageGrid& grid = form.grdImageFiles();
    rows = grid.MaxRows();
    state.PauseTiming();
    // Spot check of the order: the first row's date is not older than the last's.
    auto first = store.platform().ParseDate(grid.CellText(3, 1));
    auto last = store.platform().ParseDate(grid.CellText(3, rows));
    newest_first = first && last && *first >= *last;
    state.ResumeTiming();
  }
  if (!loaded || rows != kListedImages || !newest_first || !store.UserUntouched()) {
    state.SkipWithError("the list did not load the patient's images newest first");
  }
}

BENCHMARK(BM_CountBareScan)->Arg(10000)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NumPatientImageFiles)
    ->Arg(10000)
    ->Arg(100000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListBareScan)->Arg(20000)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGridWithFiles4PatID)
    ->Arg(20000)
    ->Arg(100000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavirex::bench
