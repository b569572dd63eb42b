// The image list's grid: its sort (dates as dates, texts without regard to
// case, case as the tie-break, stable).
#include "review/image_grid.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::Workstation;

std::string Column(const ImageGrid& grid, std::int32_t col) {
  std::string text;
  for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
    text += (row > 1 ? "," : "") + grid.CellText(col, row);
  }
  return text;
}

TEST(ImageGrid, SortOrders) {
  constexpr std::int32_t kUp = grid::kSortOrderAscending;
  constexpr std::int32_t kDown = grid::kSortOrderDescending;
  struct Case {
    std::vector<std::vector<std::string>> rows;  // key 1 [, key 2]
    std::int32_t order1, order2;
    std::string tags;  // the rows' original positions after the sort
  } const cases[] = {
      {{{"5/31/2016"}, {"12/1/2016"}, {"1/2/2015"}}, kUp, 0, "2,0,1"},  // December after May
      {{{"5/31/2016"}, {"12/1/2016"}, {"1/2/2015"}}, kDown, 0, "1,0,2"},
      {{{"2016-05-31"}, {"12/1/2016"}}, kUp, 0, "0,1"},
      {{{"b"}, {"A"}, {"a"}, {"B"}, {"ab"}}, kUp, 0, "1,2,4,3,0"},  // case breaks ties only
      {{{"b"}, {"A"}, {"a"}, {"B"}, {"ab"}}, kDown, 0, "0,3,4,2,1"},
      {{{"Zulu"}, {"12/1/2016"}, {""}}, kUp, 0, "2,1,0"},  // a date and a text: as texts
      {{{"x"}, {"y"}, {"x"}, {"x"}}, kUp, 0, "0,2,3,1"},   // equal rows keep their order
      {{{"x"}, {"y"}, {"x"}, {"x"}}, kDown, 0, "1,0,2,3"},
      {{{"b"}, {"a"}}, grid::kSortOrderNone, 0, "0,1"},
      {{{"5/31/2016", "OS"}, {"12/1/2016", "OD"}, {"5/31/2016", "OD"}, {"1/2/2015", "OU"}},
       kDown,
       kUp,
       "1,2,0,3"},
      {{{"5/31/2016", "OS"}, {"12/1/2016", "OD"}, {"5/31/2016", "OD"}, {"1/2/2015", "OU"}},
       kUp,
       kDown,
       "3,0,2,1"},
  };
  Workstation ws;
  for (const Case& c : cases) {
    ImageGrid grid(ws.platform());
    grid.SetMaxCols(3);
    grid.SetMaxRows(static_cast<std::int32_t>(c.rows.size()));
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
      grid.SetRow(static_cast<std::int32_t>(r + 1));
      for (std::size_t k = 0; k < c.rows[r].size(); ++k) {
        grid.SetCol(static_cast<std::int32_t>(k + 1));
        grid.SetText(c.rows[r][k]);
      }
      grid.SetCol(3);
      grid.SetText(std::to_string(r));
    }
    grid.SetSortKey(1, 1);
    grid.SetSortKeyOrder(1, c.order1);
    grid.SetSortKey(2, c.order2 ? 2 : grid::kNoSortKey);
    grid.SetSortKeyOrder(2, c.order2);
    grid.SetCol(1);
    grid.SetCol2(3);
    grid.SetRow(1);
    grid.SetRow2(grid.DataRowCnt());
    grid.SetAction(grid::kActionSort);
    EXPECT_EQ(Column(grid, 3), c.tags) << c.rows[0][0] << " order " << c.order1;
  }
}

}  // namespace
}  // namespace tavirex
