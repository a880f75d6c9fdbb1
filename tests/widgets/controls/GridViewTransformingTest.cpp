// Two fingers on a grid cell: a pinch beyond twice the size shows the full-size view, a new pinch
// there brings the cell back into the fingers, and a small pinch flies it back into its place.
#include <gtest/gtest.h>

#include "platform/ui/PinchGestureRecognizer.h"
#include "widgets/controls/GridMotionFixture.h"

namespace gridtest {
namespace {

struct FullSize : kt::GridViewTransformationDelegate {
  gfx::Size sizeInFullSizeForCell(GridView&, GridViewCell&, int64_t index, ui::InterfaceOrientation) override {
    indexes.push_back(index);
    return {600, 400};
  }
  std::shared_ptr<ui::View> fullSizeViewForCell(GridView&, GridViewCell&, int64_t) override {
    auto view = ui::View::create();
    view->setBackgroundColor(gfx::Color::rgba(0.9, 0.6, 0.1, 1));
    return view;
  }
  void listen() {
    didStartTransformingCell = [this](GridView&, GridViewCell&) { events.push_back("start"); };
    didEnterFullSizeForCell = [this](GridView&, GridViewCell&) { events.push_back("full"); };
    didEndTransformingCell = [this](GridView&, GridViewCell&) { events.push_back("end"); };
  }
  std::vector<int64_t> indexes;
  std::vector<std::string> events;
};

class GridViewTransformingTest : public GridMotionTest {
 protected:
  // Two fingers `from` apart horizontally about the centre, spread (or closed) to `to` apart, lifted.
  void pinch(gfx::Point centre, double from, double to) {
    const gfx::Point a{centre.x - from / 2, centre.y}, b{centre.x + from / 2, centre.y};
    auto first = down(a);
    auto second = down(b);
    move({first, second}, {a, b}, {{centre.x - to / 2, centre.y}, {centre.x + to / 2, centre.y}});
    up(first);
    up(second);
  }
  FullSize fullSize;
};

TEST_F(GridViewTransformingTest, APinchBeyondTwiceTheSizeShowsTheFullSizeViewAndANewPinchBringsItBack) {
  auto grid = show();
  fullSize.listen();
  grid->setTransformDelegate(&fullSize);
  auto cell = grid->cellForItemAtIndex(1);
  const gfx::Rect place = cell->frame();
  pinch(centreOf(*grid, 1), 40, 200);
  EXPECT_EQ(fullSize.events, (std::vector<std::string>{"start"}));
  EXPECT_EQ(grid->transformingItem(), cell);
  EXPECT_GT(cell->contentView()->transform().a, 2.0);
  // The finish waits a tenth of a second after the last finger.
  settle();
  EXPECT_EQ(fullSize.events, (std::vector<std::string>{"start", "full"}));
  EXPECT_EQ(fullSize.indexes, std::vector<int64_t>{1});
  EXPECT_TRUE(grid->isInFullSizeMode());
  EXPECT_TRUE(cell->isInFullSizeMode());
  EXPECT_EQ(cell->frame(), grid->bounds());
  EXPECT_EQ(cell->fullSizeView()->bounds().size, (gfx::Size{600, 400}));
  EXPECT_EQ(cell->fullSizeView()->alpha(), 1);
  EXPECT_EQ(grid->pinchGesture().view(), cell->fullSizeView().get());
  // The cell darkens what lies behind it: dark grey at 0.9 over the white window.
  auto shot = screenshot("full-size");
  ASSERT_TRUE(shot);
  EXPECT_NEAR(double((colorAt(*shot, {10, 10}) >> 8) & 0xff), 0x66, 2);

  // Closing the fingers on the full-size view takes it back to the grid.
  pinch(window().bounds().center(), 300, 100);
  settle();
  EXPECT_EQ(fullSize.events, (std::vector<std::string>{"start", "full", "end"}));
  EXPECT_FALSE(grid->isInTransformingState());
  EXPECT_FALSE(grid->isInFullSizeMode());
  EXPECT_EQ(cell->superview(), grid.get());
  EXPECT_EQ(cell->frame(), place);
  EXPECT_EQ(cell->contentView()->frame(), cell->bounds());
  EXPECT_FALSE(cell->fullSizeView());
  EXPECT_EQ(grid->pinchGesture().view(), grid.get());
  EXPECT_EQ(consistentCells(*grid), run(0, 12));
}

TEST_F(GridViewTransformingTest, ASmallPinchFliesTheCellBackAndFingersOverTwoItemsTakeNothing) {
  auto grid = show();
  fullSize.listen();
  grid->setTransformDelegate(&fullSize);
  auto cell = grid->cellForItemAtIndex(2);
  const gfx::Rect place = cell->frame();
  pinch(centreOf(*grid, 2), 60, 90);
  EXPECT_EQ(grid->transformingItem(), cell);
  settle();
  EXPECT_EQ(fullSize.events, (std::vector<std::string>{"start", "end"}));
  EXPECT_EQ(cell->frame(), place);
  EXPECT_EQ(cell->contentView()->transform(), gfx::AffineTransform::identity());

  // One finger on item 0, one on item 1: the gate keeps the pinch from beginning.
  const gfx::Point a = centreOf(*grid, 0), b = centreOf(*grid, 1);
  auto first = down(a);
  auto second = down(b);
  move({first, second}, {a, b}, {{a.x - 50, a.y}, {b.x + 50, b.y}});
  EXPECT_FALSE(grid->isInTransformingState());
  up(first);
  up(second);
  settle();
  EXPECT_EQ(fullSize.events.size(), 2u);
}

}  // namespace
}  // namespace gridtest
