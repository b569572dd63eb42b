// frmImageFiles: the image list window's logic, written once against
// ImageGrid. A view (ImageListView) shows it modally, draws its labels, grid
// and button from the members below and the layout constants, and hands the
// user's clicks to its handlers.
#pragma once

#include <cstdint>
#include <string>

#include "hostenv/platform.h"
#include "plugin/image_grid.h"
#include "plugin/image_list_view.h"

namespace tavirex {

// Static layout, in twips (1/1440 inch), and fonts.
namespace image_list_layout {

struct Font {
  const char* name;
  double points;
  bool bold;
};

struct Control {
  int left;
  int top;
  int width;
  int height;
  Font font;
};

inline constexpr int kClientWidth = 6945;
inline constexpr int kClientHeight = 5535;
inline constexpr Font kFormFont{"Tahoma", 8.25, false};
inline constexpr Control kLblInstructions{360, 360, 6255, 255, {"Tahoma", 9, true}};
inline constexpr Control kLblSortInstructions{240, 720, 6495, 255, {"Tahoma", 9, false}};
inline constexpr Control kGrdImageFiles{360, 1080, 6135, 3645, {"Tahoma", 8.25, false}};
inline constexpr Control kCmdExit{5430, 5070, 1335, 375, {"Tahoma", 9, true}};

}  // namespace image_list_layout

// The grid's columns.
namespace image_list_columns {
inline constexpr std::int32_t kPatient = 1;
inline constexpr std::int32_t kExam = 2;
inline constexpr std::int32_t kDate = 3;
inline constexpr std::int32_t kTime = 4;
inline constexpr std::int32_t kEye = 5;
inline constexpr std::int32_t kFolder = 6;
inline constexpr std::int32_t kName = 7;      // the name, up to 60 characters
inline constexpr std::int32_t kNameRest = 8;  // the rest of a longer name
inline constexpr std::int32_t kCount = 8;
}  // namespace image_list_columns

inline constexpr const char* kLaunchFailureTitle = "Tavirex Interface";

struct Label {
  std::string Caption;
};

struct CommandButton {
  std::string Caption;
};

class FrmImageFiles {
 public:
  // `view` is the one that will show the form: it gets the wait cursor.
  FrmImageFiles(Platform& platform, ImageListView& view);

  FrmImageFiles(const FrmImageFiles&) = delete;
  FrmImageFiles& operator=(const FrmImageFiles&) = delete;

  // The controls and the title. The first touch of any of them loads the
  // window (labels, title, the empty grid's layout), once.
  Label& lblInstructions();
  Label& lblSortInstructions();
  ImageGrid& grdImageFiles();
  CommandButton& cmdExit();
  const std::string& Caption();

  // Fills the grid with PatID's files in strEquipDataPath, newest first.
  // True when at least one file was listed. Catches and reports any failure,
  // then returns false with the rows listed so far, unsorted.
  bool LoadGridWithFiles4PatID(const std::string& PatID, const std::string& strEquipDataPath);

  // Event handlers, run by the view one at a time, with the cell as the grid
  // reports it (row 0 for the header row).
  // A header click on columns up to 4 sorts, alternating the order.
  void grdImageFiles_Click(std::int32_t col, std::int32_t row);
  // A data row opens its file in the default viewer.
  void grdImageFiles_DblClick(std::int32_t col, std::int32_t row);
  void cmdExit_Click() { Unload(); }

  // Closing the window, by "Exit" or otherwise: the view ends the modal
  // display once unloaded() is true.
  void Unload() { unloaded_ = true; }
  bool unloaded() const { return unloaded_; }

  // The native window showing this form (0 while none): the owner of the
  // viewer launch.
  std::uintptr_t window_handle() const { return window_handle_; }
  void set_window_handle(std::uintptr_t handle) { window_handle_ = handle; }

 private:
  void Load();
  void Form_Load();
  void SetGrid();
  // Sets the current row's cell in column `col`.
  void SetCell(std::int32_t col, std::string text);
  // Sorts all columns of the rows holding data by the grid's sort keys.
  void SortAllRows();

  Platform& platform_;
  ImageListView& view_;
  bool loaded_ = false;
  bool unloaded_ = false;
  std::uintptr_t window_handle_ = 0;
  Label lblInstructions_;
  Label lblSortInstructions_;
  ImageGrid grdImageFiles_;
  CommandButton cmdExit_;
  std::string caption_;
};

}  // namespace tavirex
