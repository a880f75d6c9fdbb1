// The arrow bubble's outline and colours, drawn into a bitmap, and the popover controller's
// placement, dismissal and notices in the harness window.
#include "widgets/controls/PBPopoverController.h"

#include <gtest/gtest.h>

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Device.h"
#include "platform/ui/Event.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"
#include "widgets/controls/PBPopoverView.h"
#include "widgets/controls/PBTouchView.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::PBPopoverView;

std::shared_ptr<gfx::Image> drawn(PBPopoverView& bubble) {
  auto ctx = gfx::Context::bitmap(bubble.bounds().size, 1);
  bubble.drawRect(*ctx, bubble.bounds());
  return ctx->makeImage();
}

int alphaAt(const gfx::Image& image, gfx::Point p) { return kt::testing::pixelAt(image, p.x, p.y).a; }

// The colour of a pixel against a colour of the table, a step of rounding either way.
void expectColor(const gfx::Image& image, gfx::Point p, const gfx::Color& c) {
  const auto px = kt::testing::pixelAt(image, p.x, p.y);
  const double got[] = {px.r / 255.0, px.g / 255.0, px.b / 255.0};
  const double want[] = {c.r(), c.g(), c.b()};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 2.5 / 255) << "channel " << i << " at " << p.x << "," << p.y;
}

// The tip of the arrow is painted, the same distance from the body further along the side is
// not; with no arrow, the bubble is a rounded rectangle with transparent corners.
TEST(PBPopoverViewTest, OutlineCarriesTheArrowOnItsSide) {
  struct Case {
    int32_t arrow;
    gfx::Point tip, clearBeside;
  };
  const Case cases[] = {{1, {100, 8}, {170, 8}},      // aimed at x 100 on the top edge
                        {2, {100, 142}, {170, 142}},  // the bottom edge
                        {4, {8, 75}, {8, 130}},       // the left edge, aimed at y 75
                        {8, {192, 75}, {192, 130}}};  // the right edge
  for (const Case& c : cases) {
    auto bubble = PBPopoverView::create({0, 0, 200, 150});
    bubble->setArrowDirection(c.arrow);
    bubble->setRelativeOrigin({100, 75});
    auto image = drawn(*bubble);
    EXPECT_EQ(alphaAt(*image, c.tip), 255) << c.arrow;
    EXPECT_EQ(alphaAt(*image, c.clearBeside), 0) << c.arrow;
    EXPECT_EQ(alphaAt(*image, {100, 75}), 255) << c.arrow;
  }
  auto plain = PBPopoverView::create({0, 0, 200, 150});
  plain->setArrowDirection(5);
  auto image = drawn(*plain);
  EXPECT_EQ(alphaAt(*image, {100, 4}), 255);
  EXPECT_EQ(alphaAt(*image, {100, 146}), 255);
  EXPECT_EQ(alphaAt(*image, {2.5, 2.5}), 0);
  EXPECT_EQ(alphaAt(*image, {197.5, 147.5}), 0);
}

TEST(PBPopoverViewTest, ArrowBaseStaysOffTheCorners) {
  auto bubble = PBPopoverView::create({0, 0, 200, 150});
  auto tipX = [&](double aim) {
    bubble->setRelativeOrigin({aim, 0});
    const gfx::Path path = bubble->createContentPath(2, 1);
    return path.elements().at(2).points[0].x;  // move, base start, tip
  };
  EXPECT_EQ(tipX(100), 100);
  EXPECT_EQ(tipX(-500), 2 + 10 + 10);
  EXPECT_EQ(tipX(500), 200 - 20 - 4 + 10);
}

TEST(PBPopoverViewTest, TintsPaintHeadAndBody) {
  for (int32_t tint : {1, 2, 4, 8, 99}) {
    for (int32_t arrow : {1, 2}) {
      auto bubble = PBPopoverView::create({0, 0, 200, 150});
      bubble->setArrowDirection(arrow);
      bubble->setTint(tint);
      bubble->setRelativeOrigin({20, 0});
      const auto colors = PBPopoverView::colorsForTint(tint, arrow == 1);
      auto image = drawn(*bubble);
      SCOPED_TRACE("tint " + std::to_string(tint) + " arrow " + std::to_string(arrow));
      expectColor(*image, {100, 100}, colors.body);
      // The head runs from the top to the band line (y 40 under an upward arrow, else 20).
      const double band = arrow == 1 ? 40 : 20, y = arrow == 1 ? 30.5 : 10.5;
      const double f = y / band;
      expectColor(*image, {100, y},
                  gfx::Color::rgba(colors.headTop.r() + f * (colors.headBottom.r() - colors.headTop.r()),
                                   colors.headTop.g() + f * (colors.headBottom.g() - colors.headTop.g()),
                                   colors.headTop.b() + f * (colors.headBottom.b() - colors.headTop.b())));
    }
  }
  // An unknown tint looks like the dark grey one.
  const auto unknown = PBPopoverView::colorsForTint(99, false), dark = PBPopoverView::colorsForTint(1, false);
  EXPECT_EQ(unknown.headTop, dark.headTop);
  EXPECT_EQ(unknown.body, dark.body);
}

class PBPopoverControllerTest : public support::ScreenTest {
 protected:
  PBPopoverControllerTest() {
    root = ui::View::create(window().bounds());
    window().addSubview(root);
    content = std::make_shared<ui::ViewController>();
    content->view()->setBackgroundColor(gfx::Color::whiteColor());
    popover = kt::PBPopoverController::create(content);
    popover->setDelegate(&delegate);
    delegate.popoverControllerDidDismissPopover = [this](kt::PBPopoverController&) { ++dismissals; };
  }
  std::shared_ptr<ui::View> source(const gfx::Rect& frame) {
    auto view = ui::View::create(frame);
    root->addSubview(view);
    return view;
  }

  std::shared_ptr<ui::View> root;
  std::shared_ptr<ui::ViewController> content;
  std::shared_ptr<kt::PBPopoverController> popover;
  kt::PBPopoverControllerDelegate delegate;
  int dismissals = 0;
};

TEST_F(PBPopoverControllerTest, SideFollowsTheRoomAroundTheSource) {
  const double H = root->bounds().height();
  popover->presentPopoverFromView(source({412, 100, 200, 40}));
  EXPECT_EQ(popover->popoverView()->arrowDirection(), 1);
  support::expectRect(popover->popoverView()->frame(), 412, 140, 200, 300);
  EXPECT_EQ(popover->view()->superview(), root.get());
  // Equal room above and below: above.
  popover->presentPopoverFromView(source({212, H / 2 - 20, 600, 40}));
  EXPECT_EQ(popover->popoverView()->arrowDirection(), 2);
  // An upward arrow is only a preference; a downward one forces the side.
  popover->setArrowDirection(1);
  popover->presentPopoverFromView(source({100, H - 200, 50, 40}));
  EXPECT_EQ(popover->popoverView()->arrowDirection(), 2);
  popover->setArrowDirection(2);
  popover->presentPopoverFromView(source({0, 10, 50, 40}));
  EXPECT_EQ(popover->popoverView()->arrowDirection(), 2);
  // Moved down to the top edge and shortened by what stuck out; moved in from the left edge.
  support::expectRect(popover->popoverView()->frame(), 0, 0, 200, 10);
  // A wide, low source with room on its right: sideways.
  popover->setArrowDirection(15);
  popover->presentPopoverFromView(source({10, 20, 30, H - 40}));
  EXPECT_EQ(popover->popoverView()->arrowDirection(), 4);
  support::expectRect(popover->popoverView()->frame(), 40, H / 2 - 150, 200, 300);
  // The proposal around a point: centred, then pulled left to a point beyond its left edge.
  support::expectRect(popover->bestViewFrameForFromPoint({100, 100}), 85, 100, 220, 350);
}

TEST_F(PBPopoverControllerTest, OutsideTouchDismissesOnceInsideDoesNot) {
  popover->presentPopoverFromView(source({412, 100, 200, 40}));
  wait(0.3);
  tap(*popover->popoverView());
  wait(0.3);
  EXPECT_TRUE(popover->isPresented());
  // Asked several times for one touch, the layer starts several fades: the delegate hears once.
  const ui::Event touch(ui::Event::Type::Touches, 0, {});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(popover->touchView()->hitTest({600, 600}, &touch), popover->touchView());
  EXPECT_TRUE(runUntil([&] { return !popover->isPresented(); }));
  wait(0.3);
  popover->dismissPopoverAnimated(false);
  EXPECT_EQ(dismissals, 1);
  EXPECT_EQ(popover->view()->superview(), nullptr);
  EXPECT_EQ(popover->parentView(), nullptr);
}

TEST_F(PBPopoverControllerTest, NoticesTitleAndTurning) {
  int asked = 0;
  delegate.presentedNewPopoverController = [&](kt::PBPopoverController& shown, kt::PBPopoverController& visible) {
    ++asked;
    EXPECT_NE(&shown, &visible);
    EXPECT_EQ(&visible, popover.get());
  };
  auto from = source({412, 100, 200, 40});
  popover->presentPopoverFromView(from);
  EXPECT_EQ(asked, 0);  // its own notice
  auto other = kt::PBPopoverController::create(std::make_shared<ui::ViewController>());
  other->presentPopoverFromView(source({600, 600, 10, 10}));
  EXPECT_EQ(asked, 1);
  core::NotificationCenter::defaultCenter().post(kt::PBPopoverController::NewPopoverPresentedNotification, &asked);
  EXPECT_EQ(asked, 1);  // a sender that is no popover

  content->setTitle("歌单");
  EXPECT_EQ(popover->popoverView()->title(), "歌单");
  from->setFrame({412, 500, 200, 40});
  ui::Device::current().setOrientation(ui::DeviceOrientation::LandscapeRight);
  wait(0.3);
  EXPECT_EQ(popover->popoverView()->arrowDirection(), 2);
  EXPECT_EQ(popover->deviceOrientation(), ui::DeviceOrientation::LandscapeRight);
  EXPECT_EQ(popover->popoverView()->titleLabel()->text(), "歌单");  // shown at the new layout
  ui::Device::current().setOrientation(ui::DeviceOrientation::LandscapeLeft);
}

}  // namespace
