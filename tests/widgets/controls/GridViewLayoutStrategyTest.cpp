// The grid's layout strategies: content sizes, item origins, the item under a point and the
// positions that need cells at an offset, for the four types and their edge cases.
#include "widgets/controls/GridViewLayoutStrategy.h"

#include <gtest/gtest.h>

#include <memory>

#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace {

using kt::GridPositionRange;
using kt::GridViewLayoutStrategy;
using kt::GridViewLayoutStrategyFactory;

template <class T>
std::shared_ptr<T> make(int type, gfx::Size item, int64_t spacing, gfx::EdgeInsets insets, bool centred,
                        int64_t count, gfx::Size bounds) {
  auto strategy = std::dynamic_pointer_cast<T>(GridViewLayoutStrategyFactory::strategyFromType(type));
  EXPECT_NE(strategy, nullptr);
  if (!strategy) return nullptr;
  strategy->setupItemSize(item, spacing, insets, centred);
  strategy->rebaseWithItemCount(count, {0, 0, bounds.width, bounds.height});
  return strategy;
}

TEST(GridViewLayoutStrategyTest, TheFactoryMakesANewStrategyOfEachTypeAndNothingElse) {
  for (int type = 0; type <= 3; ++type) {
    auto strategy = GridViewLayoutStrategyFactory::strategyFromType(type);
    ASSERT_NE(strategy, nullptr) << type;
    EXPECT_EQ(strategy->type(), type);
    EXPECT_EQ(strategy->requiresEnablingPaging(), type >= 2) << type;
    EXPECT_NE(strategy, GridViewLayoutStrategyFactory::strategyFromType(type));
  }
  EXPECT_EQ(GridViewLayoutStrategyFactory::strategyFromType(4), nullptr);
  EXPECT_EQ(GridViewLayoutStrategyFactory::strategyFromType(-1), nullptr);
}

// The staff grid's numbers on a 1000 x 500 grid.
TEST(GridViewLayoutStrategyTest, PagedLeftToRightCentresFourAPageAndPlacesEachPage) {
  auto s = make<kt::GridViewLayoutHorizontalPagedLTRStrategy>(2, {208, 395}, 35, {5, 5, 5, 5}, true, 9, {1000, 500});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->numberOfItemsPerColumn(), 1);
  EXPECT_EQ(s->numberOfItemsPerRow(), 4);
  EXPECT_EQ(s->numberOfItemsPerPage(), 4);
  EXPECT_EQ(s->numberOfPages(), 3);
  EXPECT_EQ(s->edgeInsets(), (gfx::EdgeInsets{52, 31, 52, 31}));
  EXPECT_EQ(s->contentSize(), (gfx::Size{3000, 500}));

  EXPECT_EQ(s->originForItemAtPosition(0), (gfx::Point{31, 52}));
  EXPECT_EQ(s->originForItemAtPosition(1), (gfx::Point{274, 52}));
  EXPECT_EQ(s->originForItemAtPosition(4), (gfx::Point{1031, 52}));
  EXPECT_EQ(s->originForItemAtPosition(8), (gfx::Point{2031, 52}));

  // The frame holds its top and left edges, not its bottom and right ones.
  EXPECT_EQ(s->itemPositionFromLocation({31, 52}), 0);
  EXPECT_EQ(s->itemPositionFromLocation({30.5, 52}), -1);
  EXPECT_EQ(s->itemPositionFromLocation({238.9, 446.9}), 0);
  EXPECT_EQ(s->itemPositionFromLocation({239, 100}), -1);
  EXPECT_EQ(s->itemPositionFromLocation({100, 447}), -1);
  // The margin right of a page's last column is no item, neither of this row nor of the next.
  EXPECT_EQ(s->itemPositionFromLocation({970, 100}), -1);
  EXPECT_EQ(s->itemPositionFromLocation({1000, 100}), -1);
  EXPECT_EQ(s->itemPositionFromLocation({1031, 100}), 4);
  EXPECT_EQ(s->itemPositionFromLocation({2100, 100}), 8);
  EXPECT_EQ(s->itemPositionFromLocation({2300, 100}), -1);  // where a tenth item would be

  // The page before, the page shown and the page after, never beyond the count.
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({0, 0}), (GridPositionRange{0, 9}));
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({-80, 0}), (GridPositionRange{0, 9}));
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({2000, 0}), (GridPositionRange{4, 5}));
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({2999, 0}), (GridPositionRange{4, 5}));
  // Far beyond the last page: no positions, not a negative run.
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({9000, 0}), (GridPositionRange{32, 0}));

  s->rebaseWithItemCount(0, {0, 0, 1000, 500});
  EXPECT_EQ(s->numberOfPages(), 0);
  EXPECT_EQ(s->contentSize(), (gfx::Size{0, 500}));
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({0, 0}).length, 0);
}

// Two rows of four a page: left to right fills rows, top to bottom fills columns.
TEST(GridViewLayoutStrategyTest, PagedFillingOrdersDifferOnlyWithinAPage) {
  auto ltr = make<kt::GridViewLayoutHorizontalPagedLTRStrategy>(2, {200, 400}, 10, {}, false, 10, {1000, 900});
  auto ttb = make<kt::GridViewLayoutHorizontalPagedTTBStrategy>(3, {200, 400}, 10, {}, false, 10, {1000, 900});
  ASSERT_TRUE(ltr && ttb);
  for (const auto* s : {static_cast<kt::GridViewLayoutHorizontalPagedStrategy*>(ltr.get()),
                        static_cast<kt::GridViewLayoutHorizontalPagedStrategy*>(ttb.get())}) {
    EXPECT_EQ(s->numberOfItemsPerColumn(), 2);
    EXPECT_EQ(s->numberOfItemsPerRow(), 4);
    EXPECT_EQ(s->numberOfPages(), 2);
    EXPECT_EQ(s->edgeInsets(), (gfx::EdgeInsets{}));
    EXPECT_EQ(s->contentSize(), (gfx::Size{2000, 900}));
    EXPECT_EQ(s->originForItemAtPosition(8), (gfx::Point{1000, 0}));
  }
  EXPECT_EQ(ltr->originForItemAtPosition(1), (gfx::Point{210, 0}));
  EXPECT_EQ(ltr->originForItemAtPosition(4), (gfx::Point{0, 410}));
  EXPECT_EQ(ttb->originForItemAtPosition(1), (gfx::Point{0, 410}));
  EXPECT_EQ(ttb->originForItemAtPosition(2), (gfx::Point{210, 0}));
  EXPECT_EQ(ttb->originForItemAtPosition(9), (gfx::Point{1000, 410}));

  EXPECT_EQ(ltr->itemPositionFromLocation({215, 5}), 1);
  EXPECT_EQ(ttb->itemPositionFromLocation({215, 5}), 2);
  EXPECT_EQ(ltr->itemPositionFromLocation({1005, 415}), -1);  // position 12 is past the count
  EXPECT_EQ(ttb->itemPositionFromLocation({1005, 415}), 9);
  EXPECT_EQ(ttb->rangeOfPositionsInBoundsFromOffset({1000, 0}), (GridPositionRange{0, 10}));
}

TEST(GridViewLayoutStrategyTest, VerticalCentresItsRowsAndLoadsARowEitherSide) {
  auto s = make<kt::GridViewLayoutVerticalStrategy>(0, {100, 50}, 10, {5, 5, 5, 5}, true, 10, {500, 400});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->numberOfItemsPerRow(), 4);
  EXPECT_EQ(s->edgeInsets(), (gfx::EdgeInsets{115, 35, 115, 35}));
  EXPECT_EQ(s->contentSize(), (gfx::Size{500, 400}));
  EXPECT_EQ(s->originForItemAtPosition(5), (gfx::Point{145, 175}));
  EXPECT_EQ(s->originForItemAtPosition(-1), (gfx::Point{0, 0}));
  EXPECT_EQ(s->itemPositionFromLocation({145, 175}), 5);
  EXPECT_EQ(s->itemPositionFromLocation({144.9, 175}), -1);  // in the spacing
  EXPECT_EQ(s->itemPositionFromLocation({400, 250}), -1);    // right margin
  EXPECT_EQ(s->itemPositionFromLocation({300, 235}), -1);    // position 11 is past the count

  // A bounce above the top counts as the top; the ranges are not clipped to the count.
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({0, -30}), (GridPositionRange{0, 32}));
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({0, 130}), (GridPositionRange{4, 36}));

  // An item wider than the grid still gets a row of its own.
  s->setupItemSize({600, 50}, 10, {5, 5, 5, 5}, false);
  s->rebaseWithItemCount(3, {0, 0, 500, 400});
  EXPECT_EQ(s->numberOfItemsPerRow(), 1);
  EXPECT_EQ(s->contentSize(), (gfx::Size{610, 180}));

  // No items: a block of minus the spacing inside the margins.
  s->rebaseWithItemCount(0, {0, 0, 500, 400});
  EXPECT_EQ(s->contentSize(), (gfx::Size{0, 0}));
}

TEST(GridViewLayoutStrategyTest, HorizontalFillsColumnsAndLoadsAColumnEitherSide) {
  auto s = make<kt::GridViewLayoutHorizontalStrategy>(1, {50, 100}, 10, {5, 5, 5, 5}, false, 10, {400, 500});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->numberOfItemsPerColumn(), 4);
  EXPECT_EQ(s->contentSize(), (gfx::Size{180, 440}));
  EXPECT_EQ(s->originForItemAtPosition(5), (gfx::Point{65, 115}));
  EXPECT_EQ(s->itemPositionFromLocation({65, 115}), 5);
  EXPECT_EQ(s->itemPositionFromLocation({64, 115}), -1);
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({130, 0}), (GridPositionRange{4, 36}));
  EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({-50, 0}), (GridPositionRange{0, 32}));
}

// Items of no size with no spacing would fit without end; every strategy stays finite.
TEST(GridViewLayoutStrategyTest, ItemsOfNoSizeGiveNoPositions) {
  for (int type = 0; type <= 3; ++type) {
    auto s = GridViewLayoutStrategyFactory::strategyFromType(type);
    s->setupItemSize({0, 0}, 0, {}, true);
    s->rebaseWithItemCount(5, {0, 0, 300, 200});
    EXPECT_EQ(s->itemPositionFromLocation({0, 0}), -1) << type;
    if (type < 2) {
      EXPECT_EQ(s->rangeOfPositionsInBoundsFromOffset({0, 0}).length, 0) << type;
    }
  }
}

}  // namespace
