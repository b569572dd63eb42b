#include "plugin/image_grid.h"

#include <algorithm>
#include <utility>

#include "winrules/vb_error.h"

namespace tavirex {
namespace {

const std::string kNoText;

int Sign(int value) { return (value > 0) - (value < 0); }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Texts compare without regard to ASCII case first, so "ab" and "AB" sit
// together; only between those does case decide (byte order), which keeps
// the order the same whichever of the two the list held first.
int CompareTexts(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto fa = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto fb = static_cast<unsigned char>(FoldAscii(b[i]));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return Sign(a.compare(b));
}

// One cell of a sort key, read once per sort.
struct KeyCell {
  const std::string* text = nullptr;
  std::optional<VbDate> date;
};

int CompareCells(const KeyCell& a, const KeyCell& b) {
  if (a.date && b.date) return (*a.date > *b.date) - (*a.date < *b.date);
  return CompareTexts(*a.text, *b.text);
}

}  // namespace

ImageGrid::ImageGrid(Platform& platform)
    : ImageGrid([&platform](std::string_view text) { return platform.ParseDate(text); }) {}

ImageGrid::ImageGrid(DateParser parse_date) : parse_date_(std::move(parse_date)) {
  cells_.assign(1, std::vector<std::string>(1));
  hidden_.assign(1, false);
  widths_.assign(1, grid::kDefaultColWidth);
}

void ImageGrid::SetMaxRows(std::int32_t rows) {
  max_rows_ = std::max(rows, 0);
  cells_.resize(static_cast<std::size_t>(max_rows_) + 1,
                std::vector<std::string>(static_cast<std::size_t>(max_cols_) + 1));
}

void ImageGrid::SetMaxCols(std::int32_t cols) {
  max_cols_ = std::max(cols, 0);
  const auto width = static_cast<std::size_t>(max_cols_) + 1;
  for (auto& row : cells_) row.resize(width);
  hidden_.resize(width, false);
  widths_.resize(width, grid::kDefaultColWidth);
}

bool ImageGrid::InGrid(std::int32_t col, std::int32_t row) const {
  return col >= 0 && col <= max_cols_ && row >= 0 && row <= max_rows_;
}

const std::string& ImageGrid::Text() const { return CellText(col_, row_); }

void ImageGrid::SetText(std::string text) {
  if (!InGrid(col_, row_)) return;
  cells_[static_cast<std::size_t>(row_)][static_cast<std::size_t>(col_)] = std::move(text);
}

void ImageGrid::SetColHidden(bool hidden) {
  if (col_ >= 0 && col_ <= max_cols_) hidden_[static_cast<std::size_t>(col_)] = hidden;
}

void ImageGrid::SetColWidth(std::int32_t col, double width) {
  if (col >= 0 && col <= max_cols_) widths_[static_cast<std::size_t>(col)] = width;
}

std::int32_t ImageGrid::SortKey(std::int32_t key) const {
  if (key != 1 && key != 2) throw VbError(vberr::kInvalidProcedureCall);
  return sort_keys_[key - 1].col;
}

void ImageGrid::SetSortKey(std::int32_t key, std::int32_t col) {
  if (key != 1 && key != 2) throw VbError(vberr::kInvalidProcedureCall);
  sort_keys_[key - 1].col = col;
}

std::int32_t ImageGrid::SortKeyOrder(std::int32_t key) const {
  if (key != 1 && key != 2) throw VbError(vberr::kInvalidProcedureCall);
  return sort_keys_[key - 1].order;
}

void ImageGrid::SetSortKeyOrder(std::int32_t key, std::int32_t order) {
  if (key != 1 && key != 2) throw VbError(vberr::kInvalidProcedureCall);
  sort_keys_[key - 1].order = order;
}

std::int32_t ImageGrid::DataRowCnt() const {
  for (std::int32_t row = max_rows_; row >= 1; --row) {
    const auto& cells = cells_[static_cast<std::size_t>(row)];
    if (std::any_of(cells.begin(), cells.end(), [](const std::string& s) { return !s.empty(); })) {
      return row;
    }
  }
  return 0;
}

void ImageGrid::SetAction(std::int32_t action) {
  switch (action) {
    case grid::kActionActiveCell:
      active_col_ = col_;
      active_row_ = row_;
      return;
    case grid::kActionSort:
      SortBlock();
      return;
    default:
      throw VbError(vberr::kInvalidProcedureCall);
  }
}

void ImageGrid::SortBlock() {
  if (sort_by_ != grid::kSortByRow) return;  // the window sorts rows only
  // The header row and the row-header column never move.
  const std::int32_t first_row = std::max(row_, 1);
  const std::int32_t last_row = std::min(row2_, max_rows_);
  const std::int32_t first_col = std::max(col_, 1);
  const std::int32_t last_col = std::min(col2_, max_cols_);
  if (last_row <= first_row || last_col < first_col) return;
  const auto count = static_cast<std::size_t>(last_row - first_row + 1);

  struct ActiveKey {
    bool descending;
    std::vector<KeyCell> cells;  // by block row
  };
  std::vector<ActiveKey> keys;
  for (const SortKeySetting& setting : sort_keys_) {
    if (setting.col < 0 || setting.col > max_cols_) continue;
    if (setting.order != grid::kSortOrderAscending && setting.order != grid::kSortOrderDescending) {
      continue;
    }
    ActiveKey key{setting.order == grid::kSortOrderDescending, {}};
    key.cells.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& text = cells_[first_row + i][static_cast<std::size_t>(setting.col)];
      key.cells.push_back({&text, text.empty() ? std::nullopt : parse_date_(text)});
    }
    keys.push_back(std::move(key));
  }
  if (keys.empty()) return;

  auto compare = [&keys](std::size_t a, std::size_t b) {
    for (const ActiveKey& key : keys) {
      int order = CompareCells(key.cells[a], key.cells[b]);
      if (order != 0) return key.descending ? -order : order;
    }
    return 0;
  };

  // A stable bottom-up merge sort of the block's row indices. Dates compare
  // as dates only when both cells are dates, so a column mixing dates and
  // other texts has no consistent order; this sort stays within bounds and
  // terminates for any comparison, which std::stable_sort does not promise.
  std::vector<std::size_t> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;
  std::vector<std::size_t> merged(count);
  for (std::size_t width = 1; width < count; width *= 2) {
    for (std::size_t left = 0; left < count; left += 2 * width) {
      const std::size_t mid = std::min(left + width, count);
      const std::size_t right = std::min(left + 2 * width, count);
      std::size_t i = left, j = mid, out = left;
      while (i < mid && j < right) {
        merged[out++] = compare(order[j], order[i]) < 0 ? order[j++] : order[i++];
      }
      while (i < mid) merged[out++] = order[i++];
      while (j < right) merged[out++] = order[j++];
    }
    order.swap(merged);
  }

  // Move the block's cells; cells outside the block's columns stay put.
  std::vector<std::string> column(count);
  for (std::int32_t col = first_col; col <= last_col; ++col) {
    const auto c = static_cast<std::size_t>(col);
    for (std::size_t i = 0; i < count; ++i) column[i] = std::move(cells_[first_row + order[i]][c]);
    for (std::size_t i = 0; i < count; ++i) cells_[first_row + i][c] = std::move(column[i]);
  }
}

const std::string& ImageGrid::CellText(std::int32_t col, std::int32_t row) const {
  if (!InGrid(col, row)) return kNoText;
  return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

bool ImageGrid::ColHidden(std::int32_t col) const {
  return col >= 0 && col <= max_cols_ && hidden_[static_cast<std::size_t>(col)];
}

double ImageGrid::ColWidth(std::int32_t col) const {
  if (col < 0 || col > max_cols_) return grid::kDefaultColWidth;
  return widths_[static_cast<std::size_t>(col)];
}

std::vector<std::int32_t> ImageGrid::VisibleCols() const {
  std::vector<std::int32_t> cols;
  for (std::int32_t col = 1; col <= max_cols_; ++col) {
    if (!hidden_[static_cast<std::size_t>(col)]) cols.push_back(col);
  }
  return cols;
}

}  // namespace tavirex
