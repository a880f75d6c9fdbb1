// Moving the grid's items by drag (on the 12.9-inch tablet: two rows of five a page), pinching a
// cell to full size and back, and single-item changes (on the standard tablet: four a page, so
// positions 0..11 have cells at the first page and 4..15 at the third).
#include <gtest/gtest.h>

#include "platform/ui/PinchGestureRecognizer.h"
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
    for (gfx::Point next : path) move({finger}, {at}, {next}), at = next;
    return finger;
  }
  // From one row to the other through the empty gap between them.
  std::vector<gfx::Point> acrossRows(GridView& grid, int64_t from, int64_t to) {
    return {{centreOf(grid, from).x, GapY}, {centreOf(grid, to).x, GapY}, centreOf(grid, to)};
  }
  static constexpr double GapY = 99 + 395 + 17;
};

TEST_F(GridViewSortingTest, PushStyleMovesTheRunBetweenAndReportsEachMove) {
  auto grid = show();
  grid->setStyle(0);
  grid->setSortingDelegate(&items);
  auto finger = liftAndDrag(*grid, 2, acrossRows(*grid, 2, 5));
  ASSERT_TRUE(grid->sortMovingItem());
  EXPECT_TRUE(grid->sortMovingItem()->isInShakingMode());
  EXPECT_EQ(items.moves, (Pairs{{2, 5}}));
  EXPECT_EQ(consistentCells(*grid).size(), 19u);  // the lifted cell has no position
  move({finger}, {centreOf(*grid, 5)}, {{centreOf(*grid, 5).x, GapY}});  // over empty space
  up(finger);
  settle();
  EXPECT_EQ(items.moves.size(), 1u);
  EXPECT_FALSE(grid->sortMovingItem());
  EXPECT_EQ(grid->sortFuturePosition(), GridView::InvalidPosition);
  EXPECT_EQ(grid->cellForItemAtIndex(5)->frame().origin, grid->layoutStrategy()->originForItemAtPosition(5));
  EXPECT_EQ(consistentCells(*grid), run(0, 20));

  up(liftAndDrag(*grid, 5, acrossRows(*grid, 5, 2)));
  settle();
  EXPECT_EQ(items.moves.back(), (std::pair<int64_t, int64_t>{5, 2}));
  EXPECT_TRUE(std::is_sorted(items.items.begin(), items.items.end()));
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
  auto finger = liftAndDrag(*grid, 1, {centreOf(*grid, 6)});
  EXPECT_FALSE(grid->sortMovingItem()->isInShakingMode());
  EXPECT_EQ(items.exchanges, (Pairs{{1, 6}}));
  up(finger);
  settle();
  EXPECT_EQ(started + ended, 2);
  EXPECT_EQ(grid->cellForItemAtIndex(1)->frame(), frameOf1);
  EXPECT_EQ(consistentCells(*grid), run(0, 20));
}

TEST_F(GridViewSortingTest, HoldingNearTheRightEdgeScrollsToTheLastPageAndTheDropLandsThere) {
  auto grid = show(30);
  grid->setStyle(0);
  grid->setSortingDelegate(&items);
  // Over the last column, within an item's height of the right edge.
  auto finger = liftAndDrag(*grid, 2, {{window().bounds().width() - 110, centreOf(*grid, 2).y}});
  const double last = 2 * window().bounds().width();
  ASSERT_TRUE(runUntil([&] { return wait(0.1), grid->contentOffset().x == last; }));
  EXPECT_EQ(grid->sortFuturePosition(), 24);
  wait(1.2);  // at the limit it keeps looking without moving
  EXPECT_EQ(grid->contentOffset().x, last);
  up(finger);
  settle();
  EXPECT_EQ(items.items[24], 2);
  EXPECT_EQ(consistentCells(*grid), run(10, 30));
}

struct FullSize : kt::GridViewTransformationDelegate {
  gfx::Size sizeInFullSizeForCell(GridView&, GridViewCell&, int64_t, ui::InterfaceOrientation) override {
    return {600, 400};
  }
  std::shared_ptr<ui::View> fullSizeViewForCell(GridView&, GridViewCell&, int64_t) override { return ui::View::create(); }
  FullSize() {
    didStartTransformingCell = [this](GridView&, GridViewCell&) { events += "start "; };
    didEnterFullSizeForCell = [this](GridView&, GridViewCell&) { events += "full "; };
    didEndTransformingCell = [this](GridView&, GridViewCell&) { events += "end "; };
  }
  std::string events;
};

using GridViewTransformingTest = GridMotionTest;

TEST_F(GridViewTransformingTest, APinchBeyondTwiceTheSizeShowsFullSizeAndANewPinchBringsItBack) {
  auto grid = show();
  FullSize delegate;
  grid->setTransformDelegate(&delegate);
  auto cell = grid->cellForItemAtIndex(1);
  const gfx::Rect place = cell->frame();
  pinch(centreOf(*grid, 1), 40, 200);
  EXPECT_EQ(delegate.events, "start ");
  EXPECT_EQ(grid->transformingItem(), cell);
  EXPECT_GT(cell->contentView()->transform().a, 2.0);
  settle();  // the finish comes a tenth of a second after the last finger
  EXPECT_EQ(delegate.events, "start full ");
  EXPECT_TRUE(grid->isInFullSizeMode() && cell->isInFullSizeMode());
  EXPECT_EQ(cell->frame(), grid->bounds());
  EXPECT_EQ(cell->fullSizeView()->bounds().size, (gfx::Size{600, 400}));
  EXPECT_EQ(grid->pinchGesture().view(), cell->fullSizeView().get());
  // Dark grey at 0.9 over the white window behind the full-size view.
  auto shot = screenshot("full-size");
  ASSERT_TRUE(shot);
  EXPECT_NEAR(double((colorAt(*shot, {10, 10}) >> 8) & 0xff), 0x66, 2);

  pinch(window().bounds().center(), 300, 100);
  settle();
  EXPECT_EQ(delegate.events, "start full end ");
  EXPECT_FALSE(grid->isInTransformingState() || grid->isInFullSizeMode());
  EXPECT_EQ(cell->superview(), grid.get());
  EXPECT_EQ(cell->frame(), place);
  EXPECT_EQ(cell->contentView()->frame(), cell->bounds());
  EXPECT_EQ(grid->pinchGesture().view(), grid.get());

  // A small pinch flies the cell straight back.
  pinch(centreOf(*grid, 2), 60, 90);
  settle();
  EXPECT_EQ(delegate.events, "start full end start end ");
  EXPECT_EQ(grid->cellForItemAtIndex(2)->contentView()->transform(), gfx::AffineTransform::identity());
  EXPECT_EQ(consistentCells(*grid), run(0, 12));
}

using GridViewItemChangesTest = GridMotionTest;

TEST_F(GridViewItemChangesTest, AnInsertInsideTheLoadedRangeAddsOneCellThatFadesInAfterADelay) {
  auto grid = show();
  items.items.insert(items.items.begin() + 2, 100);
  grid->insertObjectAtIndex(2, GridView::ItemAnimationFade);
  auto added = grid->cellForItemAtIndex(2);
  ASSERT_TRUE(added);
  wait(0.25);
  EXPECT_EQ(added->layer()->presentation().opacity, 0);  // still waiting to fade in
  settle();
  EXPECT_EQ(added->layer()->presentation().opacity, 1);
  EXPECT_EQ(grid->contentSize().width, 6 * window().bounds().width());
  EXPECT_EQ(consistentCells(*grid), run(0, 13));  // the one shifted out of the range keeps its item
}

TEST_F(GridViewItemChangesTest, ChangesBeforeTheLoadedRangeRenumberItsCellsAndFillTheGap) {
  auto grid = show();
  grid->setContentOffset({2 * window().bounds().width(), 0});
  settle();
  items.asked.clear();
  items.items.insert(items.items.begin(), 100);
  grid->insertObjectAtIndex(0, false);
  settle();
  EXPECT_EQ(consistentCells(*grid), run(4, 16));
  EXPECT_EQ(items.asked, std::vector<int64_t>{4});

  items.items.erase(items.items.begin());
  grid->removeObjectAtIndex(0, GridView::ItemAnimationNone);
  settle();
  EXPECT_EQ(consistentCells(*grid), run(4, 16));
  // A loaded one, faded out: it leaves for the pool.
  auto leaving = grid->cellForItemAtIndex(9);
  items.items.erase(items.items.begin() + 9);
  grid->removeObjectAtIndex(9, GridView::ItemAnimationFade);
  EXPECT_EQ(leaving->tag(), GridView::LeavingTag);
  settle();
  for (const auto& cell : grid->itemSubviews()) EXPECT_NE(cell->tag(), GridView::LeavingTag);
  EXPECT_EQ(consistentCells(*grid), run(4, 16));
  EXPECT_EQ(grid->contentSize().width, 5 * window().bounds().width());
}

TEST_F(GridViewItemChangesTest, SwapsAndReloadsOfLoadedAndUnloadedItems) {
  auto grid = show();
  auto first = grid->cellForItemAtIndex(1), second = grid->cellForItemAtIndex(3);
  const gfx::Rect frame1 = first->frame(), frame3 = second->frame();
  std::swap(items.items[1], items.items[3]);
  grid->swapObjectAtIndex(1, 3, true);
  EXPECT_EQ(first->frame(), frame3);  // at once
  EXPECT_EQ(second->frame(), frame1);
  std::swap(items.items[2], items.items[18]);
  grid->swapObjectAtIndex(2, 18, false);
  settle();
  EXPECT_EQ(consistentCells(*grid), run(0, 12));

  auto old = grid->cellForItemAtIndex(1);
  items.items[1] = 100;
  grid->reloadObjectAtIndex(1, GridView::ItemAnimationFade);
  EXPECT_EQ(old->tag(), GridView::LeavingTag);
  settle();
  EXPECT_FALSE(old->superview());
  items.asked.clear();
  items.items[18] = 200;
  grid->reloadObjectAtIndex(18, true);
  settle();
  EXPECT_TRUE(items.asked.empty());
  EXPECT_EQ(consistentCells(*grid), run(0, 12));
}

}  // namespace
}  // namespace gridtest
