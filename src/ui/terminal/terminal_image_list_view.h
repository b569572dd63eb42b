// The image list window on a terminal: the form drawn as text, and the keys
// the user types in place of clicks.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/frm_image_files.h"
#include "plugin/image_grid.h"
#include "plugin/image_list_view.h"

namespace tavirex {

// Modal the way the Windows window is: ShowModal reads key lines (scripted
// ones first, then the terminal) and hands them to the form's handlers until
// the form is unloaded. The window is drawn on stderr.
class TerminalImageListView final : public ImageListView {
 public:
  // `keys` are consumed before the terminal is read. With none left, the
  // user is asked when `interactive` and stdin is a terminal; otherwise the
  // window shows itself and is closed with Exit.
  explicit TerminalImageListView(std::vector<std::string> keys = {}, bool interactive = true);

  // TAVIREX_WINDOW_KEYS ("3,o 1,x").
  static std::vector<std::string> KeysFromEnvironment();

  // The scripted user at the window: one key line each.
  void QueueKeys(std::vector<std::string> keys);
  bool wait_cursor() const { return wait_cursor_; }

  void ShowModal(FrmImageFiles& form) override;
  void SetWaitCursor(bool wait) override;

 private:
  std::deque<std::string> keys_;
  bool interactive_;
  bool wait_cursor_ = false;
};

// The grid's visible columns as an aligned table: a line of column keys, the
// header row, then one line per data row with its number, the active row
// marked '>'. Each column is as many characters wide as the grid's width for
// it; longer texts are clipped, as the grid clips them.
std::string RenderImageGrid(const ImageGrid& grid);

// The whole window: title, the two instruction lines, the grid, the Exit
// button and the keys.
std::string RenderImageList(FrmImageFiles& form);

// What a typed key line asks of the window.
struct WindowKey {
  enum class Kind {
    kHeaderClick,  // `number`: the 1-based visible column
    kOpenRow,      // `number`: the data row
    kExit,
    kInvalid,
  };
  Kind kind = Kind::kInvalid;
  std::int32_t number = 0;
};

// "3" clicks the header of visible column 3 (1-5); "o 2" (or "o2") opens
// row 2; "x", "q", "exit" or Esc presses Exit. Blanks around are ignored.
WindowKey ParseWindowKey(std::string_view line);

}  // namespace tavirex
