// The image list window on a terminal: the form drawn as text, and the keys
// the user types in place of clicks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "review/frm_image_files.h"
#include "review/image_grid.h"

namespace tavirex {

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
