// The image list's grid: size and cells as the window drives them, and its
// sort (dates as dates, texts without regard to case, stable).
#include <gtest/gtest.h>


#include "review/image_grid.h"
#include "test_support.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

using testing::Workstation;

// Column 1 holds the sort key, column 2 a tag naming the row.
void Fill(ImageGrid& grid, const std::vector<std::string>& keys) {
  grid.SetMaxCols(2);
  grid.SetMaxRows(static_cast<std::int32_t>(keys.size()));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    grid.SetRow(static_cast<std::int32_t>(i + 1));
    grid.SetCol(1);
    grid.SetText(keys[i]);
    grid.SetCol(2);
    grid.SetText(std::to_string(i));
  }
}

std::string Column(const ImageGrid& grid, std::int32_t col) {
  std::string text;
  for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
    text += (row > 1 ? "," : "") + grid.CellText(col, row);
  }
  return text;
}

void SortAll(ImageGrid& grid) {
  grid.SetCol(1);
  grid.SetCol2(grid.MaxCols());
  grid.SetRow(1);
  grid.SetRow2(grid.DataRowCnt());
  grid.SetAction(grid::kActionSort);
}

// What the window relies on beyond plain cells: out-of-range cells, shrinking.
TEST(ImageGrid, CellsOutsideTheGridAndShrinking) {
  Workstation ws;
  ImageGrid grid(ws.platform());
  Fill(grid, {"a", "", "c"});
  grid.SetCol(1);
  grid.SetRow(4);
  grid.SetText("lost");
  EXPECT_EQ(grid.Text(), "");
  EXPECT_EQ(grid.DataRowCnt(), 3);
  grid.SetMaxRows(1);  // drops rows 2 and 3; growing brings them back empty
  grid.SetMaxRows(3);
  EXPECT_EQ(Column(grid, 1), "a,,");
  EXPECT_EQ(grid.DataRowCnt(), 1);
  EXPECT_THROW(grid.SetAction(7), VbError);
}

TEST(ImageGrid, SortOrders) {
  struct Case {
    std::vector<std::string> keys;
    std::int32_t order;
    std::string tags;  // the rows' original positions after the sort
  };
  const std::vector<Case> cases = {
      // Dates as dates: December after May, whatever the texts say.
      {{"5/31/2016", "12/1/2016", "1/2/2015"}, grid::kSortOrderAscending, "2,0,1"},
      {{"5/31/2016", "12/1/2016", "1/2/2015"}, grid::kSortOrderDescending, "1,0,2"},
      {{"2016-05-31", "12/1/2016"}, grid::kSortOrderAscending, "0,1"},
      // Texts: case only decides between otherwise equal texts.
      {{"b", "A", "a", "B", "ab"}, grid::kSortOrderAscending, "1,2,4,3,0"},
      {{"b", "A", "a", "B", "ab"}, grid::kSortOrderDescending, "0,3,4,2,1"},
      // A date and a text compare as texts; empty cells first.
      {{"Zulu", "12/1/2016", ""}, grid::kSortOrderAscending, "2,1,0"},
      // Equal rows keep their order in both directions.
      {{"x", "y", "x", "x"}, grid::kSortOrderAscending, "0,2,3,1"},
      {{"x", "y", "x", "x"}, grid::kSortOrderDescending, "1,0,2,3"},
      // No order: no sort.
      {{"b", "a"}, grid::kSortOrderNone, "0,1"},
  };
  Workstation ws;
  for (const Case& c : cases) {
    ImageGrid grid(ws.platform());
    Fill(grid, c.keys);
    grid.SetSortKey(1, 1);
    grid.SetSortKeyOrder(1, c.order);
    SortAll(grid);
    EXPECT_EQ(Column(grid, 2), c.tags) << c.keys[0] << " order " << c.order;
  }
}

TEST(ImageGrid, SortsOnlyTheBlockByBothKeys) {
  Workstation ws;
  ImageGrid grid(ws.platform());
  // Columns: 1 date, 2 eye, 3 tag, 4 outside the block.
  const std::vector<std::vector<std::string>> rows = {
      {"5/31/2016", "OS", "a", "1"}, {"12/1/2016", "OD", "b", "2"}, {"5/31/2016", "OD", "c", "3"},
      {"1/2/2015", "OU", "d", "4"},  {"1/1/2000", "OD", "e", "5"},
  };
  grid.SetMaxCols(4);
  grid.SetMaxRows(static_cast<std::int32_t>(rows.size()));
  grid.SetRow(0);
  grid.SetCol(1);
  grid.SetText("Date");
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      grid.SetRow(static_cast<std::int32_t>(r + 1));
      grid.SetCol(static_cast<std::int32_t>(c + 1));
      grid.SetText(rows[r][c]);
    }
  }
  grid.SetSortKey(1, 1);
  grid.SetSortKeyOrder(1, grid::kSortOrderDescending);
  grid.SetSortKey(2, 2);
  grid.SetSortKeyOrder(2, grid::kSortOrderAscending);
  // Rows 1 to 4, columns 1 to 3: row 5 and column 4 stay where they are.
  grid.SetCol(1);
  grid.SetCol2(3);
  grid.SetRow(1);
  grid.SetRow2(4);
  grid.SetAction(grid::kActionSort);
  EXPECT_EQ(Column(grid, 3), "b,c,a,d,e");
  EXPECT_EQ(Column(grid, 4), "1,2,3,4,5");
  EXPECT_EQ(grid.CellText(1, 0), "Date");

  // Without a second key the equal dates keep their order.
  grid.SetSortKey(2, grid::kNoSortKey);
  grid.SetSortKeyOrder(1, grid::kSortOrderAscending);
  grid.SetCol(1);
  grid.SetRow(1);
  grid.SetAction(grid::kActionSort);
  EXPECT_EQ(Column(grid, 3), "d,c,a,b,e");
}

// Two thousand rows as the window fills them, sorted newest first.
TEST(ImageGrid, TwoThousandRowsLoadAndSortNewestFirst) {
  Workstation ws;
  ImageGrid grid(ws.platform());
  grid.SetMaxCols(8);
  for (std::int32_t row = 1; row <= 2000; ++row) {
    grid.SetMaxRows(row);
    grid.SetRow(row);
    const int day = (row * 7919) % 3650;  // scattered over ten years
    const std::string texts[] = {"4711",
                                 std::to_string(row),
                                 std::to_string(day % 12 + 1) + "/" + std::to_string(day % 28 + 1) +
                                     "/" + std::to_string(2010 + day / 365),
                                 TwoDigits(row % 24) + ":05:09.jpg",
                                 row % 2 ? "OD" : "OS",
                                 "C:\\img",
                                 "4711_" + std::to_string(row) + "_a_b_c_d_e_OD_x_y.jpg",
                                 ""};
    for (std::int32_t col = 1; col <= 8; ++col) {
      grid.SetCol(col);
      grid.SetText(texts[col - 1]);
    }
  }
  grid.SetSortKey(1, 3);
  grid.SetSortKey(2, 4);
  grid.SetSortKeyOrder(1, grid::kSortOrderDescending);
  grid.SetSortKeyOrder(2, grid::kSortOrderDescending);
  SortAll(grid);

  for (std::int32_t row = 2; row <= 2000; ++row) {
    const VbDate newer = *ws.platform().ParseDate(grid.CellText(3, row - 1));
    const VbDate older = *ws.platform().ParseDate(grid.CellText(3, row));
    ASSERT_GE(newer, older) << row;
    if (newer == older) {
      ASSERT_GE(grid.CellText(4, row - 1), grid.CellText(4, row)) << row;
    }
  }
}

}  // namespace
}  // namespace tavirex
