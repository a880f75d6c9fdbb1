// Telling the grid of one inserted, removed, swapped or reloaded item: inside and before the
// loaded range, with indexes whose cells are not loaded, faded and not. On the standard tablet a
// page holds four items, so twelve positions have cells at the first page and 4..15 at the third.
#include <gtest/gtest.h>

#include "widgets/controls/GridMotionFixture.h"

namespace gridtest {
namespace {

class GridViewItemChangesTest : public GridMotionTest {
 protected:
  std::shared_ptr<GridView> showThirdPage() {
    auto grid = show();
    grid->setContentOffset({2 * window().bounds().width(), 0});
    settle();
    EXPECT_EQ(consistentCells(*grid), run(4, 16));
    return grid;
  }
};

TEST_F(GridViewItemChangesTest, AnInsertInsideTheLoadedRangeAddsOneCellAndFadesItInAfterADelay) {
  auto grid = show();
  items.items.insert(items.items.begin() + 2, 100);
  grid->insertObjectAtIndex(2, GridView::ItemAnimationFade);
  auto added = grid->cellForItemAtIndex(2);
  ASSERT_TRUE(added);
  wait(0.25);
  EXPECT_EQ(added->layer()->presentation().opacity, 0);
  settle();
  EXPECT_EQ(added->layer()->presentation().opacity, 1);
  EXPECT_EQ(grid->contentSize().width, 6 * window().bounds().width());
  const auto positions = consistentCells(*grid);
  EXPECT_EQ(std::vector<int64_t>(positions.begin(), positions.begin() + 12), run(0, 12));
}

TEST_F(GridViewItemChangesTest, AnInsertBeforeTheLoadedRangeRenumbersItsCellsAndFillsTheGap) {
  auto grid = showThirdPage();
  items.items.insert(items.items.begin(), 100);
  items.asked.clear();
  grid->insertObjectAtIndex(0, false);
  settle();
  EXPECT_EQ(consistentCells(*grid), run(4, 16));
  // Only the position that moved into the range is asked for.
  EXPECT_EQ(items.asked, std::vector<int64_t>{4});
}

TEST_F(GridViewItemChangesTest, RemovingRenumbersTheCellsAfterItAndReloadsTheRange) {
  auto grid = showThirdPage();
  // An item before the loaded range.
  items.items.erase(items.items.begin());
  grid->removeObjectAtIndex(0, GridView::ItemAnimationNone);
  settle();
  EXPECT_EQ(consistentCells(*grid), run(4, 16));
  // A loaded one, faded: it leaves through the pool.
  auto leaving = grid->cellForItemAtIndex(9);
  items.items.erase(items.items.begin() + 9);
  grid->removeObjectAtIndex(9, GridView::ItemAnimationFade);
  EXPECT_EQ(leaving->tag(), GridView::LeavingTag);
  settle();
  for (const auto& cell : grid->itemSubviews()) EXPECT_NE(cell->tag(), GridView::LeavingTag);
  EXPECT_EQ(consistentCells(*grid), run(4, 16));
  EXPECT_EQ(grid->contentSize().width, 5 * window().bounds().width());
}

TEST_F(GridViewItemChangesTest, SwappingMovesLoadedCellsAtOnceAndAnUnloadedSideOnlyRefreshesTheLayout) {
  auto grid = show();
  auto first = grid->cellForItemAtIndex(1), second = grid->cellForItemAtIndex(3);
  const gfx::Rect frame1 = first->frame(), frame3 = second->frame();
  std::swap(items.items[1], items.items[3]);
  grid->swapObjectAtIndex(1, 3, true);
  EXPECT_EQ(first->frame(), frame3);
  EXPECT_EQ(second->frame(), frame1);
  EXPECT_EQ(grid->cellForItemAtIndex(3), first);

  std::swap(items.items[2], items.items[18]);
  grid->swapObjectAtIndex(2, 18, false);
  settle();
  EXPECT_EQ(consistentCells(*grid), run(0, 12));
}

TEST_F(GridViewItemChangesTest, ReloadingFadesANewCellOverTheOldAndAnUnloadedIndexMakesNone) {
  auto grid = show();
  auto old = grid->cellForItemAtIndex(1);
  items.items[1] = 100;
  grid->reloadObjectAtIndex(1, GridView::ItemAnimationFade);
  auto fresh = grid->cellForItemAtIndex(1);
  ASSERT_NE(fresh, old);
  EXPECT_EQ(old->tag(), GridView::LeavingTag);
  settle();
  EXPECT_FALSE(old->superview());
  EXPECT_EQ(fresh->alpha(), 1);
  EXPECT_EQ(consistentCells(*grid), run(0, 12));

  items.asked.clear();
  items.items[18] = 200;
  grid->reloadObjectAtIndex(18, true);
  settle();
  EXPECT_TRUE(items.asked.empty());
  EXPECT_EQ(consistentCells(*grid), run(0, 12));
}

}  // namespace
}  // namespace gridtest
