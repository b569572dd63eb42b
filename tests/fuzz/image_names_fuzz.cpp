// The image list window splitting stored file names into its columns.
// Input: the patient key, a line feed, then one listed file name per line.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "review/frm_image_files.h"
#include "review/patient_files.h"
#include "winrules/utf8.h"
#include "winrules/vb_string.h"

namespace {

using namespace tavirex;
namespace col = image_list_columns;

constexpr const char* kFolder = "C:\\img";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  const std::string pat_id(fuzz::TakeLine(input).substr(0, 16));
  fuzz::FuzzPlatform platform;
  while (!input.empty()) {
    std::string_view name = fuzz::TakeLine(input);
    if (!name.empty()) platform.listed_names.emplace_back(name);
  }

  // What the window should list: the patient's names, each needing the ten
  // fields up to the time.
  std::vector<std::string> expected;
  bool all_complete = true;
  std::string pattern = PatientFilePattern(kFolder, pat_id);
  pattern.erase(0, pattern.rfind('\\') + 1);
  for (const std::string& name : platform.listed_names) {
    if (!WildcardMatch(pattern, name) || !IsPatientFile(name, pat_id)) continue;
    expected.push_back(name);
    if (Split(name, '_').size() < 10) all_complete = false;
  }

  FrmImageFiles form(platform, platform);
  const int boxes_before = platform.boxes;
  const bool listed = form.LoadGridWithFiles4PatID(pat_id, kFolder);
  const int reports = platform.boxes - boxes_before;

  if (!all_complete) {
    FUZZ_CHECK(!listed && reports == 1, "a short name is one reported failure (%d)", reports);
    return 0;
  }
  FUZZ_CHECK(reports == 0, "%d failures reported", reports);
  FUZZ_CHECK(listed == !expected.empty(), "listed %d of %zu", listed, expected.size());
  if (!listed) return 0;

  // Every row holds one listed name, split into its columns.
  const ImageGrid& grid = form.grdImageFiles();
  FUZZ_CHECK(grid.MaxRows() == static_cast<std::int32_t>(expected.size()), "%d rows for %zu",
             grid.MaxRows(), expected.size());
  std::vector<std::string> shown;
  for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
    const std::string name = grid.CellText(col::kName, row) + grid.CellText(col::kNameRest, row);
    const std::vector<std::string> fields = Split(name, '_');
    FUZZ_CHECK(fields.size() >= 10, "row %d: %s", row, name.c_str());
    FUZZ_CHECK(Utf16Length(grid.CellText(col::kName, row)) <= 60, "row %d: name column", row);
    FUZZ_CHECK(grid.CellText(col::kPatient, row) == pat_id, "row %d: patient", row);
    FUZZ_CHECK(grid.CellText(col::kExam, row) == fields[1], "row %d: exam", row);
    FUZZ_CHECK(grid.CellText(col::kEye, row) == fields[7], "row %d: eye", row);
    FUZZ_CHECK(grid.CellText(col::kTime, row) == Replace(fields[9], "-", ":"), "row %d: time", row);
    FUZZ_CHECK(grid.CellText(col::kFolder, row) == kFolder, "row %d: folder", row);
    shown.push_back(name);
  }
  std::sort(shown.begin(), shown.end());
  std::sort(expected.begin(), expected.end());
  FUZZ_CHECK(shown == expected, "the rows are not the patient's names");
  return 0;
}
