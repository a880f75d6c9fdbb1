// The transition base: its settings at creation, the timing names, the misuse it refuses, what
// it does with the views at the end, the presenting controller, and the view snapshots.
#include "widgets/transitions/VTTransition.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "support/UiHarness.h"
#include "widgets/transitions/VTAnimation.h"

namespace {

using kt::VTTransition;

std::shared_ptr<ui::View> coloured(const gfx::Rect& frame, const gfx::Color& colour) {
  auto v = ui::View::create(frame);
  v->setBackgroundColor(colour);
  return v;
}

TEST(VTTransitionTest, ANewTransitionTakesTheSourceBoundsOnceAndLeavesPerspectiveUnset) {
  auto source = ui::View::create(gfx::Rect(10, 20, 300, 200));
  auto destination = ui::View::create();
  VTTransition t(source, destination, 0.5, kt::timingCurveLinear, kt::transitionActionShowHide);
  EXPECT_TRUE(std::isinf(t.m34()) && t.m34() > 0);
  EXPECT_FALSE(t.isDimissing());
  EXPECT_EQ(t.rect(), gfx::Rect(0, 0, 300, 200));
  source->setBounds(gfx::Rect(0, 0, 50, 50));
  EXPECT_EQ(t.rect(), gfx::Rect(0, 0, 300, 200));
  EXPECT_EQ(t.duration(), 0.5);
  EXPECT_EQ(t.completionAction(), kt::transitionActionShowHide);
  EXPECT_EQ(VTTransition::defaultDuration(), 0.3);
}

TEST(VTTransitionTest, TimingCurvesNameTheirFunctionsAndAnythingElseIsTheDefault) {
  auto v = ui::View::create();
  const struct {
    int64_t curve;
    const char* name;
  } table[] = {{0, "easeInEaseOut"}, {1, "easeIn"}, {2, "easeOut"}, {3, "linear"}, {7, "default"}, {-1, "default"}};
  for (const auto& row : table) {
    VTTransition t(v, v, 1, row.curve, 0);
    EXPECT_EQ(t.timingCurveFunctionName(), row.name) << row.curve;
  }
  EXPECT_EQ(VTTransition::timingFunctionNamed("easeOut"), gfx::TimingFunction::named(gfx::TimingFunction::Name::EaseOut));
  EXPECT_EQ(VTTransition::timingFunctionNamed("nonsense"), gfx::TimingFunction::named(gfx::TimingFunction::Name::Default));
}

TEST(VTTransitionTest, ThePlainBaseRefusesToPerform) {
  auto v = ui::View::create();
  auto t = std::make_shared<VTTransition>(v, v, 1, 0, 0);
  try {
    t->perform();
    FAIL() << "no exception";
  } catch (const kt::TransitionException& e) {
    EXPECT_EQ(e.name(), "Incomplete Implementation");
    EXPECT_STREQ(e.what(), "VTTransition must be subclassed and the perform: method implemented.");
  }
}

TEST(VTTransitionTest, TheCompletionActionSwapsShowsAndHidesOrLeavesTheViews) {
  // For each action: where the destination ends up, and whether each view is hidden after (both
  // start hidden, the source in the parent).
  const struct {
    int32_t action;
    bool destinationInParent, sourceInParent, sourceHidden, destinationHidden;
  } table[] = {{kt::transitionActionSwapViews, true, false, false, true},
               {kt::transitionActionShowHide, false, true, true, false},
               {kt::transitionActionNone, false, true, false, true},
               {5, false, true, true, true}};
  for (const auto& row : table) {
    auto parent = ui::View::create(), source = ui::View::create(), destination = ui::View::create();
    parent->addSubview(source);
    source->setHidden(true);
    destination->setHidden(true);
    VTTransition(source, destination, 1, 0, row.action).transitionDidComplete();
    EXPECT_EQ(destination->superview() == parent.get(), row.destinationInParent) << row.action;
    EXPECT_EQ(source->superview() == parent.get(), row.sourceInParent) << row.action;
    EXPECT_EQ(source->isHidden(), row.sourceHidden) << row.action;
    EXPECT_EQ(destination->isHidden(), row.destinationHidden) << row.action;
  }
}

TEST(VTTransitionTest, APresentingControllerInsideANavigationControllerGivesTheWholeScreenAsSource) {
  auto screen = std::make_shared<ui::ViewController>();
  auto nav = std::make_shared<ui::NavigationController>(screen);
  VTTransition t(screen->view(), ui::View::create(), 1, 0, 2);
  t.setPresentingController(screen.get());
  EXPECT_EQ(t.sourceView(), nav->view());
  t.setPresentingController(nullptr);
  EXPECT_EQ(t.sourceView(), nullptr);
}

class VTAnimationTest : public support::ScreenTest {};

TEST_F(VTAnimationTest, SnapshotsFillWhatTheViewLeavesClearRedUnlessTheyHaveABorder) {
  // A clear view with a blue square in its lower right quarter.
  auto view = ui::View::create(gfx::Rect(0, 0, 200, 100));
  view->addSubview(coloured(gfx::Rect(100, 50, 100, 50), gfx::Color::blue()));
  const gfx::Rect area(50, 25, 100, 50);

  auto plain = kt::VTAnimation::renderImageFromView(*view, area);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->size(), (gfx::Size{100, 50}));
  EXPECT_EQ(plain->scale(), 2);
  EXPECT_EQ(colorAt(*plain, {10, 10}), 0xFFFF0000u);  // nothing drawn there: red
  EXPECT_EQ(colorAt(*plain, {90, 40}), 0xFF0000FFu);

  auto unfilled = kt::VTAnimation::renderImageFromView(*view, area, gfx::EdgeInsets{});
  EXPECT_EQ(colorAt(*unfilled, {10, 10}) & 0x00FFFFFFu, 0u);
  EXPECT_EQ(colorAt(*unfilled, {90, 40}), 0xFF0000FFu);

  auto bordered = kt::VTAnimation::renderImageFromView(*view, area, gfx::EdgeInsets{0, 1, 0, 1});
  EXPECT_EQ(bordered->size(), (gfx::Size{102, 50}));
  for (int row : {1, 30, 49}) {
    EXPECT_EQ(bordered->pixelAt(0, row * 2) >> 24, 0u);
    EXPECT_EQ(bordered->pixelAt(1, row * 2) >> 24, 0u);
    EXPECT_EQ(bordered->pixelAt(203, row * 2) >> 24, 0u);
  }
  EXPECT_EQ(colorAt(*bordered, {91, 40}), 0xFF0000FFu);

  auto padded = kt::VTAnimation::renderImageForAntialiasing(*plain);
  EXPECT_EQ(padded->size(), (gfx::Size{102, 52}));
  EXPECT_EQ(padded->pixelAt(0, 0) >> 24, 0u);
  EXPECT_EQ(colorAt(*padded, {11, 11}), 0xFFFF0000u);

  EXPECT_EQ(kt::VTAnimation::renderImageFromView(*view, gfx::Rect(0, 0, 0, 10)), nullptr);
}

}  // namespace
