// The image list window splitting stored file names into its columns.
// Input: the patient key, a line feed, then one listed file name per line.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "plugin/frm_image_files.h"
#include "plugin/review.h"
#include "winrules/utf8.h"
#include "winrules/vb_string.h"

using namespace tavirex;
namespace col = image_list_columns;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string pat_id(fuzz::TakeLine(input).substr(0, 16));
  fuzz::FuzzPlatform platform;
  while (!input.empty()) {
    const std::string_view name = fuzz::TakeLine(input);
    if (!name.empty()) platform.listed_names.emplace_back(name);
  }
  // What the window should list: the patient's names, each needing the ten
  // fields up to the time; one short name is one reported failure.
  std::vector<std::string> expected;
  bool complete = true;
  platform.ListDirectory(PatientFilePattern("C:\\img", pat_id), [&](const std::string& name) {
    if (IsPatientFile(name, pat_id)) expected.push_back(name);
    complete = complete && (!IsPatientFile(name, pat_id) || Split(name, '_').size() >= 10);
    return true;
  });
  FrmImageFiles form(platform, platform);
  const bool listed = form.LoadGridWithFiles4PatID(pat_id, "C:\\img");
  FUZZ_CHECK(platform.boxes == (complete ? 0 : 1), "%d failures reported", platform.boxes);
  FUZZ_CHECK(listed == (complete && !expected.empty()), "listed %d of %zu", listed,
             expected.size());
  if (!listed) return 0;

  // Every row holds one listed name, split into its columns.
  const ImageGrid& grid = form.grdImageFiles();
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
    FUZZ_CHECK(grid.CellText(col::kFolder, row) == "C:\\img", "row %d: folder", row);
    shown.push_back(name);
  }
  std::sort(shown.begin(), shown.end());
  std::sort(expected.begin(), expected.end());
  FUZZ_CHECK(shown == expected, "the rows are not the patient's names");
  return 0;
}
