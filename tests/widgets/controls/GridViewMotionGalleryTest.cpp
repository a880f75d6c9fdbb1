// The grid's moving states on both tablets, for the eye: a cell lifted and dragged, dropped, a
// cell under two turning and spreading fingers, shown full size, and a new item fading in.
#include <gtest/gtest.h>

#include "widgets/controls/GridMotionFixture.h"

namespace gridtest {
namespace {

// A label inside a plain view, so that the full-size view takes the fingers of the next pinch.
struct Poster : kt::GridViewTransformationDelegate {
  gfx::Size sizeInFullSizeForCell(GridView&, GridViewCell&, int64_t, ui::InterfaceOrientation) override {
    return {640, 480};
  }
  std::shared_ptr<ui::View> fullSizeViewForCell(GridView&, GridViewCell&, int64_t index) override {
    auto view = ui::View::create({0, 0, 640, 480});
    auto label = ui::Label::create(view->bounds());
    label->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
    label->setText("item " + std::to_string(index));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->setFont(gfx::Font::boldSystemFont(64));
    label->setBackgroundColor(gfx::Color::rgba(0.95, 0.75, 0.2, 1));
    view->addSubview(label);
    return view;
  }
};

class GridViewMotionGalleryTest : public GridMotionTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(GridViewMotionGalleryTest, EveryMovingState) {
  setDevice(GetParam());
  auto grid = show(30);
  grid->setStyle(0);
  grid->setSortingDelegate(&items);
  Poster poster;
  grid->setTransformDelegate(&poster);

  const gfx::Point from = centreOf(*grid, 1), over = centreOf(*grid, 3);
  auto finger = down(from);
  wait(0.3);
  move({finger}, {from}, {{over.x, over.y + 40}});
  screenshot("lifted");
  up(finger);
  settle();
  screenshot("dropped");

  const gfx::Point c = centreOf(*grid, 2);
  const std::vector<gfx::Point> start{{c.x - 20, c.y}, {c.x + 20, c.y}}, turned{{c.x - 60, c.y - 30}, {c.x + 60, c.y + 30}};
  auto a = down(start[0]), b = down(start[1]);
  move({a, b}, start, turned);
  screenshot("pinching");
  move({a, b}, turned, {{c.x - 150, c.y}, {c.x + 150, c.y}});
  up(a);
  up(b);
  settle();
  EXPECT_TRUE(grid->isInFullSizeMode());
  screenshot("full-size");
  pinch(c, 300, 80);
  settle();
  EXPECT_FALSE(grid->isInTransformingState());

  items.items.insert(items.items.begin() + 1, 100);
  grid->insertObjectAtIndex(1, GridView::ItemAnimationFade);
  wait(0.45);
  screenshot("inserted-fading-in");
  settle();
  EXPECT_EQ(consistentCells(*grid).front(), 0);
}

INSTANTIATE_TEST_SUITE_P(Tablets, GridViewMotionGalleryTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
}  // namespace gridtest
