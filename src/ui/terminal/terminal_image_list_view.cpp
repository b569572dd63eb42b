#include "ui/terminal/terminal_image_list_view.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "ui/system_view.h"
#include "winrules/utf8.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

// Between two columns, where the grid draws its lines.
constexpr const char* kColumnGap = " ";

// Cut or padded to `width` characters, counted as VB counts them.
std::string Fit(const std::string& text, std::size_t width) {
  std::string cell = text.substr(0, Utf16CutPoint(text, width));
  cell.append(width - Utf16Length(cell), ' ');
  return cell;
}

std::string RightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

void TrimRight(std::string& line) { line.erase(line.find_last_not_of(' ') + 1); }

std::size_t ColumnWidth(const ImageGrid& grid, std::int32_t col) {
  const long width = std::lround(grid.ColWidth(col));
  return static_cast<std::size_t>(std::max(1L, width));
}

// A whole positive number of at most 9 digits; 0 otherwise.
std::int32_t PositiveNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return 0;
  std::int32_t number = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string KeysHint(std::size_t visible_columns) {
  return "keys: 1-" + std::to_string(visible_columns) +
         " click that column's header (sort) | o N double-click row N (open) | x Exit";
}

}  // namespace

std::string RenderImageGrid(const ImageGrid& grid) {
  const std::vector<std::int32_t> cols = grid.VisibleCols();
  const std::int32_t rows = grid.MaxRows();
  // The row-number column: a marker and the number, right-aligned.
  const std::size_t number_width = std::max<std::size_t>(3, std::to_string(rows).size());

  std::string keys_line(1 + number_width, ' ');
  std::string header_line = " " + RightAligned("Row", number_width);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const std::size_t width = ColumnWidth(grid, cols[i]);
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "x" + string.
    keys_line += kColumnGap;
    keys_line += Fit("[" + std::to_string(i + 1).append("]"), width);
    header_line += kColumnGap;
    header_line += Fit(grid.CellText(cols[i], 0), width);
  }
  TrimRight(keys_line);
  TrimRight(header_line);
  std::string text = keys_line + "\n" + header_line + "\n";

  for (std::int32_t row = 1; row <= rows; ++row) {
    std::string line = row == grid.ActiveRow() ? ">" : " ";
    line += RightAligned(std::to_string(row), number_width);
    for (std::int32_t col : cols) {
      line += kColumnGap;
      line += Fit(grid.CellText(col, row), ColumnWidth(grid, col));
    }
    TrimRight(line);
    text += line + "\n";
  }
  if (rows == 0) text += std::string(2 + number_width, ' ') + "(no files)\n";
  return text;
}

std::string RenderImageList(FrmImageFiles& form) {
  const ImageGrid& grid = form.grdImageFiles();
  std::string text = "=== " + form.Caption() + " ===\n";
  text += form.lblInstructions().Caption + "\n";
  text += form.lblSortInstructions().Caption + "\n\n";
  text += RenderImageGrid(grid);
  text += "\n" + std::string(40, ' ') + "[ " + form.cmdExit().Caption + " ]\n";
  text += KeysHint(grid.VisibleCols().size()) + "\n";
  return text;
}

WindowKey ParseWindowKey(std::string_view line) {
  const std::string key =
      Trim(line.substr(0, line.find_first_of("\r\n")));  // the line without its end
  std::string lower = key;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "x" || lower == "q" || lower == "exit" || lower == "\x1b") {
    return {WindowKey::Kind::kExit, 0};
  }
  if (key.size() == 1 && key[0] >= '1' && key[0] <= '9') {
    return {WindowKey::Kind::kHeaderClick, key[0] - '0'};
  }
  if (lower.size() > 1 && lower[0] == 'o') {
    if (std::int32_t row = PositiveNumber(Trim(std::string_view(lower).substr(1)))) {
      return {WindowKey::Kind::kOpenRow, row};
    }
  }
  return {};
}

TerminalImageListView::TerminalImageListView(std::vector<std::string> keys, bool interactive)
    : keys_(keys.begin(), keys.end()), interactive_(interactive) {}

std::vector<std::string> TerminalImageListView::KeysFromEnvironment() {
  std::vector<std::string> keys;
  if (const char* value = std::getenv("TAVIREX_WINDOW_KEYS")) {
    for (const std::string& field : Split(value, ',')) {
      if (!field.empty()) keys.push_back(field);
    }
  }
  return keys;
}

void TerminalImageListView::QueueKeys(std::vector<std::string> keys) {
  keys_.insert(keys_.end(), keys.begin(), keys.end());
}

void TerminalImageListView::ShowModal(FrmImageFiles& form) {
  const std::string title = form.Caption();
  std::string drawn;
  while (!form.unloaded()) {
    // Drawn again only when a key changed it (an order, the active row).
    if (std::string text = RenderImageList(form); text != drawn) {
      std::fputs(("\n" + text).c_str(), stderr);
      drawn = std::move(text);
    }

    std::string line;
    if (!keys_.empty()) {
      line = keys_.front();
      keys_.pop_front();
      std::fprintf(stderr, "[%s] key: %s\n", title.c_str(), line.c_str());
    } else if (interactive_ && ::isatty(STDIN_FILENO)) {
      std::fputs("key? ", stderr);
      std::fflush(stderr);
      char buffer[256];
      if (std::fgets(buffer, sizeof buffer, stdin) == nullptr) {
        std::fputc('\n', stderr);
        form.Unload();  // end of input closes the window
        break;
      }
      line = buffer;
    } else {
      std::fprintf(stderr, "[%s] no key left: Exit\n", title.c_str());
      form.cmdExit_Click();
      break;
    }

    const WindowKey key = ParseWindowKey(line);
    ImageGrid& grid = form.grdImageFiles();
    const std::vector<std::int32_t> cols = grid.VisibleCols();
    switch (key.kind) {
      case WindowKey::Kind::kHeaderClick:
        if (key.number <= static_cast<std::int32_t>(cols.size())) {
          form.grdImageFiles_Click(cols[key.number - 1], 0);
        } else {
          std::fprintf(stderr, "no column %d\n", key.number);
        }
        break;
      case WindowKey::Kind::kOpenRow:
        if (key.number <= grid.MaxRows()) {
          form.grdImageFiles_DblClick(1, key.number);
        } else {
          std::fprintf(stderr, "no row %d\n", key.number);
        }
        break;
      case WindowKey::Kind::kExit:
        form.cmdExit_Click();
        break;
      case WindowKey::Kind::kInvalid:
        std::fprintf(stderr, "%s\n", KeysHint(cols.size()).c_str());
        break;
    }
  }
}

void TerminalImageListView::SetWaitCursor(bool wait) {
  if (wait && !wait_cursor_) std::fputs("(opening...)\n", stderr);
  wait_cursor_ = wait;
}

}  // namespace tavirex

namespace tavirex {
std::unique_ptr<ImageListView> MakeSystemImageListView() {
  return std::make_unique<TerminalImageListView>(TerminalImageListView::KeysFromEnvironment());
}
}  // namespace tavirex
