#include <gtest/gtest.h>

#include "tools/session_report/LabelRows.h"

namespace report {
namespace {

TEST(LabelRows, CrowdedTextsNeverOverlapAndStayNearTheirMoments) {
  LabelRows rows(3, 1000, 8, 160);
  std::vector<LabelRows::Item> items;
  // Twenty texts 120 wide, 15 apart: far more than three rows hold at their moments.
  for (int i = 0; i < 20; ++i) items.push_back({100.0 + i * 15, 120});
  items.push_back({990, 200});  // at the right edge
  auto placed = rows.place(items);
  ASSERT_EQ(placed.size(), items.size());

  int shown = 0, leftOut = 0;
  for (std::size_t i = 0; i < placed.size(); ++i) {
    if (placed[i].row < 0) {
      ++leftOut;
      continue;
    }
    ++shown;
    EXPECT_LT(placed[i].row, 3);
    EXPECT_GE(placed[i].x, 0);
    EXPECT_LE(placed[i].x + items[i].width, 1000) << i;
    // Never before its moment unless the edge pushed it back, never far after it.
    if (items[i].x + items[i].width <= 1000) {
      EXPECT_GE(placed[i].x, items[i].x) << i;
      EXPECT_LE(placed[i].x - items[i].x, 160) << i;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (placed[j].row != placed[i].row) continue;
      bool apart = placed[j].x + items[j].width <= placed[i].x || placed[i].x + items[i].width <= placed[j].x;
      EXPECT_TRUE(apart) << j << " and " << i << " overlap in row " << placed[i].row;
    }
  }
  EXPECT_GT(leftOut, 0);
  EXPECT_GE(shown, 6);  // three rows, each at least twice within the allowed slide
  EXPECT_EQ(placed.back().x, 800);
}

TEST(LabelRows, SparseTextsKeepTheFirstRowAndTheirMoments) {
  LabelRows rows(4, 500);
  auto placed = rows.place({{10, 50}, {100, 50}, {200, 50}});
  for (std::size_t i = 0; i < placed.size(); ++i) EXPECT_EQ(placed[i].row, 0);
  EXPECT_EQ(placed[1].x, 100);
  EXPECT_TRUE(LabelRows(0, 500).place({{10, 50}})[0].row < 0);
}

}  // namespace
}  // namespace report
