#include "plugin/frm_image_files.h"

#include <exception>
#include <vector>

#include "hostenv/error_report.h"
#include "plugin/capture.h"
#include "plugin/review.h"
#include "winrules/utf8.h"
#include "winrules/vb_error.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

namespace columns = image_list_columns;

constexpr const char* kProductWord = "Tavirex";
// Names longer than this continue in the next hidden column.
constexpr std::size_t kNameColumnLength = 60;
// The grid's single-row selection mode, set again after every fill.
constexpr std::int16_t kSelectRows = 5;

struct ColumnSetting {
  const char* header;
  double width;  // 0: hidden, default width
};

constexpr ColumnSetting kColumns[columns::kCount] = {
    {"Patient #", 13}, {"Exam #", 9}, {"Date", 11}, {"Time", 10},
    {"Eye", 6},        {"File", 0},   {"File", 0},  {"File", 0},
};

}  // namespace

FrmImageFiles::FrmImageFiles(Platform& platform, ImageListView& view)
    : platform_(platform), view_(view), grdImageFiles_(platform), cmdExit_{"Exit"} {}

Label& FrmImageFiles::lblInstructions() {
  Load();
  return lblInstructions_;
}

Label& FrmImageFiles::lblSortInstructions() {
  Load();
  return lblSortInstructions_;
}

ImageGrid& FrmImageFiles::grdImageFiles() {
  Load();
  return grdImageFiles_;
}

CommandButton& FrmImageFiles::cmdExit() {
  Load();
  return cmdExit_;
}

const std::string& FrmImageFiles::Caption() {
  Load();
  return caption_;
}

void FrmImageFiles::Load() {
  if (loaded_) return;
  loaded_ = true;
  Form_Load();
}

void FrmImageFiles::Form_Load() {
  lblInstructions_.Caption =
      std::string("Double-click a row to display the ") + kProductWord + " image.";
  lblSortInstructions_.Caption = "Click on a column header to sort by that column.";
  caption_ = std::string(kProductWord) + " Images";
  SetGrid();
}

void FrmImageFiles::SetGrid() {
  try {
    ImageGrid& grid = grdImageFiles_;
    grid.SetMaxRows(0);
    grid.SetMaxCols(columns::kCount);
    grid.SetRow(0);
    for (std::int32_t c = 1; c <= columns::kCount; ++c) {
      grid.SetCol(c);
      grid.SetText(kColumns[c - 1].header);
      if (kColumns[c - 1].width == 0) grid.SetColHidden(true);
    }
    grid.SetRow(0);
    for (std::int32_t c = 1; c <= columns::kCount; ++c) {
      if (kColumns[c - 1].width != 0) grid.SetColWidth(c, kColumns[c - 1].width);
    }
    grid.SetOperationMode(kSelectRows);
  } catch (...) {
    ReportError(platform_, "SetGrid", CurrentFailure(std::current_exception()));
  }
}

void FrmImageFiles::SetCell(std::int32_t col, std::string text) {
  grdImageFiles_.SetCol(col);
  grdImageFiles_.SetText(std::move(text));
}

void FrmImageFiles::SortAllRows() {
  ImageGrid& grid = grdImageFiles_;
  grid.SetCol(1);
  grid.SetCol2(grid.MaxCols());
  grid.SetRow(1);
  grid.SetRow2(grid.DataRowCnt());
  grid.SetAction(grid::kActionSort);
}

bool FrmImageFiles::LoadGridWithFiles4PatID(const std::string& PatID,
                                            const std::string& strEquipDataPath) {
  int step = 0;
  try {
    step = 1;
    ImageGrid& grid = grdImageFiles();  // the first touch loads the window
    grid.SetMaxRows(0);
    step = 10;
    std::int16_t row_count = 0;

    step = 11;
    platform_.ListDirectory(PatientFilePattern(strEquipDataPath, PatID),
                            [&](const std::string& name) {
                              if (!IsPatientFile(name, PatID)) return true;
                              const StoredName fields(name);

                              step = 25;
                              row_count = CIntFromDouble(row_count + 1.0);  // 6 at the 32768th file
                              grid.SetMaxRows(row_count);
                              grid.SetRow(row_count);
                              step = 26;
                              SetCell(columns::kPatient, PatID);

                              // Names with too few fields stop here: field 8 at 36, field 9 at
                              // 37/38.
                              step = 35;
                              std::string exam = fields.Exam();
                              step = 36;
                              std::string date = fields.Date();
                              step = 37;
                              if (std::optional<VbDate> parsed = platform_.ParseDate(date)) {
                                step = 38;
                                date = platform_.FormatShortDate(*parsed);
                              }
                              std::string time = fields.Time();
                              step = 39;
                              std::string eye = fields.Eye();

                              step = 40;
                              SetCell(columns::kExam, std::move(exam));
                              SetCell(columns::kDate, std::move(date));
                              SetCell(columns::kTime, std::move(time));
                              SetCell(columns::kEye, std::move(eye));
                              SetCell(columns::kFolder, strEquipDataPath);
                              grid.SetColHidden(true);

                              step = 45;
                              const std::size_t cut = Utf16CutPoint(name, kNameColumnLength);
                              if (cut == name.size()) {
                                step = 46;
                                SetCell(columns::kName, name);
                                SetCell(columns::kNameRest, "");
                              } else {
                                step = 50;
                                SetCell(columns::kName, name.substr(0, cut));
                                SetCell(columns::kNameRest, name.substr(cut));
                              }
                              grid.SetCol(columns::kName);
                              grid.SetColHidden(true);
                              grid.SetCol(columns::kNameRest);
                              grid.SetColHidden(true);
                              return true;
                            });

    if (row_count < 1) {
      step = 57;
      return false;
    }

    // Newest first: date, then time, both descending.
    step = 60;
    grid.SetSortBy(grid::kSortByRow);
    grid.SetSortKey(1, columns::kDate);
    grid.SetSortKey(2, columns::kTime);
    grid.SetSortKeyOrder(1, grid::kSortOrderDescending);
    grid.SetSortKeyOrder(2, grid::kSortOrderDescending);
    SortAllRows();
    grid.SetRow(1);
    grid.SetCol(1);
    grid.SetAction(grid::kActionActiveCell);
    grid.SetOperationMode(kSelectRows);
    return true;
  } catch (...) {
    ReportError(platform_, "LoadGridWithFiles4PatID=" + std::to_string(step),
                CurrentFailure(std::current_exception()));
    return false;
  }
}

void FrmImageFiles::grdImageFiles_Click(std::int32_t col, std::int32_t row) {
  if (row != 0 || col >= columns::kEye) return;
  ImageGrid& grid = grdImageFiles();
  grid.SetSortBy(grid::kSortByRow);
  grid.SetSortKey(1, col);
  // Among equal dates, by eye.
  grid.SetSortKey(2, col == columns::kDate ? columns::kEye : grid::kNoSortKey);
  grid.SetSortKeyOrder(1, grid.SortKeyOrder(1) == grid::kSortOrderDescending
                              ? grid::kSortOrderAscending
                              : grid::kSortOrderDescending);
  grid.SetSortKeyOrder(2, grid::kSortOrderAscending);
  SortAllRows();
}

void FrmImageFiles::grdImageFiles_DblClick(std::int32_t col, std::int32_t row) {
  (void)col;  // the whole row names the file
  if (row <= 0) return;
  view_.SetWaitCursor(true);
  try {
    ImageGrid& grid = grdImageFiles();
    grid.SetRow(row);
    grid.SetCol(columns::kFolder);
    std::string path = grid.Text() + "\\";
    grid.SetCol(columns::kName);
    path += grid.Text();
    grid.SetCol(columns::kNameRest);
    path += grid.Text();
    if (path != "\\") {  // a row without a file
      const std::string result = LaunchFile(platform_, path, window_handle_);
      if (result != kWasOk) {
        platform_.MessageBox(result, msgbox::kCritical, std::string(kLaunchFailureTitle));
      }
      grid.SetRow(row);
      grid.SetAction(grid::kActionActiveCell);  // the row's cell in the last column read
    }
  } catch (...) {
    view_.SetWaitCursor(false);
    throw;
  }
  view_.SetWaitCursor(false);
}

}  // namespace tavirex
