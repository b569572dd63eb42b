// The spreadsheet grid of the image list window: an in-memory table driven
// the way the window drives its grid control, by a current cell, a block and
// numbered actions. Row 0 is the header row, data rows count from 1; columns
// count from 1 (column 0 is the row-header column and stays empty).
//
// The views draw it from the read-only accessors at the end and hand
// clicks back to the window, which alone changes it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"

namespace tavirex {

namespace grid {
// Actions.
inline constexpr std::int32_t kActionActiveCell = 0;
inline constexpr std::int32_t kActionSort = 25;
// Sort direction.
inline constexpr std::int32_t kSortByRow = 0;
// Sort key orders.
inline constexpr std::int32_t kSortOrderNone = 0;
inline constexpr std::int32_t kSortOrderAscending = 1;
inline constexpr std::int32_t kSortOrderDescending = 2;
// A sort key without a column.
inline constexpr std::int32_t kNoSortKey = -1;
// Width of a column whose width was never set, in characters of the font.
inline constexpr double kDefaultColWidth = 8.0;
}  // namespace grid

class ImageGrid {
 public:
  // Reads a cell text as a date (IsDate/CDate); nullopt when it is none.
  using DateParser = std::function<std::optional<VbDate>(std::string_view text)>;

  // Cells that read as dates under the workstation's rules sort as dates.
  explicit ImageGrid(Platform& platform);
  explicit ImageGrid(DateParser parse_date);

  // Size. Rows counted without the header row; shrinking drops the rows and
  // columns beyond the new size, growing adds empty ones. Negative sizes
  // count as 0.
  std::int32_t MaxRows() const { return max_rows_; }
  void SetMaxRows(std::int32_t rows);
  std::int32_t MaxCols() const { return max_cols_; }
  void SetMaxCols(std::int32_t cols);

  // The current cell. A current cell outside the grid reads "" and ignores
  // writes.
  std::int32_t Row() const { return row_; }
  void SetRow(std::int32_t row) { row_ = row; }
  std::int32_t Col() const { return col_; }
  void SetCol(std::int32_t col) { col_ = col; }
  const std::string& Text() const;
  void SetText(std::string text);
  // Hides (or shows) the current column.
  void SetColHidden(bool hidden);
  void SetColWidth(std::int32_t col, double width);

  // Sorting: direction, key columns and orders by key number (1 or 2), and
  // the block's far corner; the near corner is the current cell.
  std::int32_t SortBy() const { return sort_by_; }
  void SetSortBy(std::int32_t direction) { sort_by_ = direction; }
  std::int32_t SortKey(std::int32_t key) const;
  void SetSortKey(std::int32_t key, std::int32_t col);
  std::int32_t SortKeyOrder(std::int32_t key) const;
  void SetSortKeyOrder(std::int32_t key, std::int32_t order);
  std::int32_t Col2() const { return col2_; }
  void SetCol2(std::int32_t col) { col2_ = col; }
  std::int32_t Row2() const { return row2_; }
  void SetRow2(std::int32_t row) { row2_ = row; }

  // The last row holding a non-empty cell (0 when only the header has data).
  std::int32_t DataRowCnt() const;

  // kActionSort sorts the block's rows by the keys (only across the block's
  // columns); kActionActiveCell makes the current cell the active cell.
  // Other actions raise 5.
  void SetAction(std::int32_t action);

  // The control's operation mode; kept for the views, which may use it for
  // their row selection (5: single row selection).
  std::int16_t OperationMode() const { return operation_mode_; }
  void SetOperationMode(std::int16_t mode) { operation_mode_ = mode; }

  // For the views.
  const std::string& CellText(std::int32_t col, std::int32_t row) const;
  bool ColHidden(std::int32_t col) const;
  double ColWidth(std::int32_t col) const;
  // Columns 1..MaxCols that are not hidden, in order.
  std::vector<std::int32_t> VisibleCols() const;
  std::int32_t ActiveCol() const { return active_col_; }
  std::int32_t ActiveRow() const { return active_row_; }

 private:
  struct SortKeySetting {
    std::int32_t col = grid::kNoSortKey;
    std::int32_t order = grid::kSortOrderAscending;
  };

  bool InGrid(std::int32_t col, std::int32_t row) const;
  void SortBlock();

  DateParser parse_date_;
  std::int32_t max_rows_ = 0;
  std::int32_t max_cols_ = 0;
  // cells_[row][col], rows 0..max_rows_, cols 0..max_cols_.
  std::vector<std::vector<std::string>> cells_;
  std::vector<bool> hidden_;    // by column
  std::vector<double> widths_;  // by column
  std::int32_t row_ = 0;
  std::int32_t col_ = 0;
  std::int32_t row2_ = 0;
  std::int32_t col2_ = 0;
  std::int32_t sort_by_ = grid::kSortByRow;
  SortKeySetting sort_keys_[2];
  std::int32_t active_row_ = 0;
  std::int32_t active_col_ = 0;
  std::int16_t operation_mode_ = 0;
};

}  // namespace tavirex
