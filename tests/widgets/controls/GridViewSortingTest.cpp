// Sorting the grid by long press and drag, on the 12.9-inch tablet (two rows of five a page):
// push and swap renumbering, the callbacks that keep the data in step, and scrolling at the edge.
#include <gtest/gtest.h>

#include "widgets/controls/GridMotionFixture.h"

namespace gridtest {
namespace {

class GridViewSortingTest : public GridMotionTest {
 protected:
  void SetUp() override { setDevice(support::Device::LargeTablet); }
  // Lifts the item at `from` and drags it through the points, without letting go.
  std::shared_ptr<ui::Touch> liftAndDrag(GridView& grid, int64_t from, const std::vector<gfx::Point>& path) {
    gfx::Point at = centreOf(grid, from);
    auto finger = down(at);
    wait(0.3);
    for (gfx::Point next : path) {
      move({finger}, {at}, {next});
      at = next;
    }
    return finger;
  }
  // From one row of the page to the other through the gap between them.
  std::vector<gfx::Point> acrossRows(GridView& grid, int64_t from, int64_t to) {
    const double gapY = 99 + 395 + 17;
    return {{centreOf(grid, from).x, gapY}, {centreOf(grid, to).x, gapY}, centreOf(grid, to)};
  }
};

TEST_F(GridViewSortingTest, PushStyleRenumbersTheRunBetweenAndReportsEachMove) {
  auto grid = show();
  grid->setStyle(0);
  grid->setSortingDelegate(&items);
  auto finger = liftAndDrag(*grid, 2, acrossRows(*grid, 2, 5));
  ASSERT_TRUE(grid->sortMovingItem());
  EXPECT_EQ(grid->sortMovingItem()->tag(), 0);
  EXPECT_TRUE(grid->sortMovingItem()->isInShakingMode());
  EXPECT_EQ(grid->sortFuturePosition(), 5);
  EXPECT_EQ(items.moves, (std::vector<std::pair<int64_t, int64_t>>{{2, 5}}));
  EXPECT_EQ(items.items[5], 2);
  // Over the empty gap between the rows nothing changes.
  move({finger}, {centreOf(*grid, 5)}, {{centreOf(*grid, 5).x, 99 + 395 + 17}});
  EXPECT_EQ(items.moves.size(), 1u);
  up(finger);
  settle();
  EXPECT_FALSE(grid->sortMovingItem());
  EXPECT_EQ(grid->sortFuturePosition(), GridView::InvalidPosition);
  EXPECT_EQ(grid->cellForItemAtIndex(5)->frame(), (gfx::Rect{grid->layoutStrategy()->originForItemAtPosition(5), {208, 395}}));
  EXPECT_EQ(consistentCells(*grid), run(0, 20));

  // And back: 5 to 2 moves the run the other way.
  finger = liftAndDrag(*grid, 5, acrossRows(*grid, 5, 2));
  up(finger);
  settle();
  EXPECT_EQ(items.moves.back(), (std::pair<int64_t, int64_t>{5, 2}));
  EXPECT_EQ(items.items, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  EXPECT_EQ(consistentCells(*grid), run(0, 20));
}

TEST_F(GridViewSortingTest, SwapStyleExchangesOnlyThePassedOverItem) {
  auto grid = show();
  grid->setSortingDelegate(&items);
  int started = 0, ended = 0;
  items.didStartMovingCell = [&](GridView&, GridViewCell&) { ++started; };
  items.didEndMovingCell = [&](GridView&, GridViewCell&) { ++ended; };
  items.shouldAllowShakingBehaviorWhenMovingCell = [](GridView&, GridViewCell&, int64_t) { return false; };
  const gfx::Rect frameOf1 = grid->cellForItemAtIndex(1)->frame();
  // Straight down from 1 to 6.
  auto finger = liftAndDrag(*grid, 1, {centreOf(*grid, 6)});
  EXPECT_FALSE(grid->sortMovingItem()->isInShakingMode());
  EXPECT_EQ(items.exchanges, (std::vector<std::pair<int64_t, int64_t>>{{1, 6}}));
  EXPECT_EQ(grid->cellForItemAtIndex(1)->tag(), 51);
  up(finger);
  settle();
  EXPECT_EQ(started, 1);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(items.items[1], 6);
  EXPECT_EQ(items.items[6], 1);
  EXPECT_EQ(grid->cellForItemAtIndex(1)->frame(), frameOf1);
  EXPECT_EQ(consistentCells(*grid), run(0, 20));
}

TEST_F(GridViewSortingTest, HoldingNearTheRightEdgeScrollsToTheLastPageAndTheDropLandsThere) {
  auto grid = show(30);
  grid->setSortingDelegate(&items);
  grid->setStyle(0);
  auto finger = liftAndDrag(*grid, 2, {});
  const gfx::Point start = centreOf(*grid, 2);
  // Over the last column, within an item's height of the right edge.
  const gfx::Point edge{window().bounds().width() - 110, start.y};
  move({finger}, {start}, {edge});
  ASSERT_TRUE(runUntil([&] {
    wait(0.1);
    return grid->contentOffset().x == 2 * window().bounds().width();
  }));
  // At the limit the grid keeps still and the cell keeps its place.
  const int64_t future = grid->sortFuturePosition();
  EXPECT_EQ(future, 24);
  wait(1.2);
  EXPECT_EQ(grid->contentOffset().x, 2 * window().bounds().width());
  up(finger);
  settle();
  EXPECT_EQ(items.items[static_cast<size_t>(future)], 2);
  EXPECT_FALSE(grid->sortMovingItem());
  EXPECT_EQ(consistentCells(*grid), run(10, 30));
}

}  // namespace
}  // namespace gridtest
