// The grid's moving states on both tablets, for the eye: a cell lifted and dragged, dropped, a
// cell under two spreading fingers, shown full size, and a new item fading in.
#include <gtest/gtest.h>

#include "widgets/controls/GridMotionFixture.h"

namespace gridtest {
namespace {

struct Poster : kt::GridViewTransformationDelegate {
  gfx::Size sizeInFullSizeForCell(GridView&, GridViewCell&, int64_t, ui::InterfaceOrientation) override {
    return {640, 480};
  }
  // A label inside a plain view: the full-size view takes the fingers of the next pinch.
  std::shared_ptr<ui::View> fullSizeViewForCell(GridView&, GridViewCell&, int64_t index) override {
    auto view = ui::View::create({0, 0, 640, 480});
    auto label = ui::Label::create(view->bounds());
    label->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
    view->addSubview(label);
    label->setText("item " + std::to_string(index));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->setFont(gfx::Font::boldSystemFont(64));
    label->setBackgroundColor(gfx::Color::rgba(0.95, 0.75, 0.2, 1));
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
  EXPECT_EQ(consistentCells(*grid).front(), 0);

  const gfx::Point centre = centreOf(*grid, 2);
  auto a = down({centre.x - 20, centre.y}), b = down({centre.x + 20, centre.y});
  move({a, b}, {{centre.x - 20, centre.y}, {centre.x + 20, centre.y}}, {{centre.x - 60, centre.y - 30}, {centre.x + 60, centre.y + 30}});
  screenshot("pinching");
  move({a, b}, {{centre.x - 60, centre.y - 30}, {centre.x + 60, centre.y + 30}}, {{centre.x - 150, centre.y}, {centre.x + 150, centre.y}});
  up(a);
  up(b);
  settle();
  EXPECT_TRUE(grid->isInFullSizeMode());
  screenshot("full-size");

  auto c = down({centre.x - 150, centre.y}), d = down({centre.x + 150, centre.y});
  move({c, d}, {{centre.x - 150, centre.y}, {centre.x + 150, centre.y}}, {{centre.x - 40, centre.y}, {centre.x + 40, centre.y}});
  up(c);
  up(d);
  settle();
  EXPECT_FALSE(grid->isInTransformingState());

  items.items.insert(items.items.begin() + 1, 100);
  grid->insertObjectAtIndex(1, GridView::ItemAnimationFade);
  wait(0.45);
  screenshot("inserted-fading-in");
  settle();
  screenshot("inserted");
}

INSTANTIATE_TEST_SUITE_P(Tablets, GridViewMotionGalleryTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
}  // namespace gridtest
