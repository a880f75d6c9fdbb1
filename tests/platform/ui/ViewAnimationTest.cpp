#include <gtest/gtest.h>

#include <optional>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/View.h"
#include "support/RunUntil.h"

using gfx::Point;
using gfx::Rect;
using ui::View;

namespace {

class ViewAnimation : public uitest::WindowTest {
 protected:
  void SetUp() override {
    uitest::WindowTest::SetUp();
    view = View::create(Rect(0, 0, 100, 100));
    window->addSubview(view);
  }
  void TearDown() override {
    view.reset();
    uitest::WindowTest::TearDown();
  }
  double presentedAlpha() const { return view->layer()->presentation().opacity; }
  Point presentedCenter() const { return view->layer()->presentation().position; }

  support::VirtualClock clock;
  std::shared_ptr<View> view;
};

}  // namespace

TEST_F(ViewAnimation, ChangesOutsideBlocksTakeEffectAtOnce) {
  view->setAlpha(0.3);
  view->setCenter({200, 200});
  EXPECT_FALSE(view->layer()->hasAnimations());
  EXPECT_DOUBLE_EQ(presentedAlpha(), 0.3);
  EXPECT_EQ(presentedCenter(), (Point{200, 200}));
}

TEST_F(ViewAnimation, PresentationIsHalfWayAtHalfTimeAndCompletionFiresAtTheEnd) {
  std::optional<bool> finished;
  double start = core::Clock::now();
  View::animate(1.0, 0, ui::AnimationCurveLinear, [&] {
    view->setAlpha(0);
    view->setCenter({150, 250});
  }, [&](bool f) { finished = f; });
  // The model has the new values at once.
  EXPECT_DOUBLE_EQ(view->alpha(), 0);
  EXPECT_EQ(view->center(), (Point{150, 250}));
  core::Clock::advance(0.5);
  EXPECT_NEAR(presentedAlpha(), 0.5, 1e-6);
  EXPECT_NEAR(presentedCenter().x, 100, 1e-6);
  EXPECT_NEAR(presentedCenter().y, 150, 1e-6);
  EXPECT_FALSE(finished);
  ASSERT_TRUE(support::runUntil([&] { return finished.has_value(); }));
  EXPECT_TRUE(*finished);
  EXPECT_GE(core::Clock::now() - start, 1.0 - 1e-9);
  EXPECT_DOUBLE_EQ(presentedAlpha(), 0);
}

TEST_F(ViewAnimation, CurvesShapeTheProgress) {
  View::animate(1.0, 0, ui::AnimationCurveEaseIn, [&] { view->setAlpha(0); });
  core::Clock::advance(0.5);
  // Ease-in has covered less than half the way at half time.
  EXPECT_GT(presentedAlpha(), 0.6);
}

TEST_F(ViewAnimation, BeginFromCurrentStateInterruptsTheRunningAnimation) {
  std::optional<bool> first, second;
  View::animate(1.0, 0, ui::AnimationCurveLinear, [&] { view->setCenter({150, 50}); },
                [&](bool f) { first = f; });
  core::Clock::advance(0.4);
  support::drainMainLoop();
  EXPECT_NEAR(presentedCenter().x, 90, 1e-6);
  View::animate(1.0, 0, ui::AnimationCurveLinear | ui::AnimationBeginFromCurrentState,
                [&] { view->setCenter({50, 50}); }, [&](bool f) { second = f; });
  ASSERT_TRUE(support::runUntil([&] { return first.has_value(); }));
  EXPECT_FALSE(*first);
  // The second starts where the first had got to, not from its end.
  EXPECT_NEAR(presentedCenter().x, 90, 1e-6);
  core::Clock::advance(0.5);
  EXPECT_NEAR(presentedCenter().x, 70, 1e-6);
  ASSERT_TRUE(support::runUntil([&] { return second.has_value(); }));
  EXPECT_TRUE(*second);
}

TEST_F(ViewAnimation, ABlockWithNoChangeCompletesOnALaterTurn) {
  std::optional<bool> finished;
  View::animate(0.5, [] {}, [&](bool f) { finished = f; });
  EXPECT_FALSE(finished);
  support::drainMainLoop();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(*finished);
}

TEST_F(ViewAnimation, DelayHoldsTheStartValue) {
  View::animate(1.0, 0.5, ui::AnimationCurveLinear, [&] { view->setAlpha(0); });
  core::Clock::advance(0.25);
  EXPECT_NEAR(presentedAlpha(), 1, 1e-6);
  core::Clock::advance(0.75);
  EXPECT_NEAR(presentedAlpha(), 0.5, 1e-6);
}

TEST_F(ViewAnimation, PerformWithoutAnimationAndDisabledAnimationsDoNotAnimate) {
  View::animate(1.0, [&] {
    View::performWithoutAnimation([&] { view->setAlpha(0.2); });
  });
  EXPECT_FALSE(view->layer()->hasAnimations());
  View::setAnimationsEnabled(false);
  View::animate(1.0, [&] { view->setCenter({10, 10}); });
  View::setAnimationsEnabled(true);
  EXPECT_FALSE(view->layer()->hasAnimations());
  EXPECT_EQ(presentedCenter(), (Point{10, 10}));
}

TEST_F(ViewAnimation, NestedBlocksInheritTheDurationUnlessOverridden) {
  auto other = View::create(Rect(0, 0, 10, 10));
  window->addSubview(other);
  View::animate(1.0, 0, ui::AnimationCurveLinear, [&] {
    View::animate(4.0, 0, ui::AnimationCurveLinear, [&] { view->setAlpha(0); });
    View::animate(4.0, 0, ui::AnimationCurveLinear | ui::AnimationOverrideInheritedDuration,
                  [&] { other->setAlpha(0); });
  });
  ASSERT_TRUE(view->layer()->animationForKey("opacity"));
  EXPECT_DOUBLE_EQ(view->layer()->animationForKey("opacity")->duration, 1.0);
  EXPECT_DOUBLE_EQ(other->layer()->animationForKey("opacity")->duration, 4.0);
}

TEST_F(ViewAnimation, BeginCommitFormCallsItsStopHandler) {
  std::optional<bool> stopped;
  View::beginAnimations("move");
  View::setAnimationDuration(0.3);
  View::setAnimationCurve(ui::AnimationCurve::Linear);
  View::setAnimationDidStop([&](bool f) { stopped = f; });
  view->setFrame(Rect(100, 0, 100, 100));
  View::commitAnimations();
  EXPECT_FALSE(View::isInAnimationBlock());
  core::Clock::advance(0.15);
  EXPECT_NEAR(presentedCenter().x, 100, 1e-6);
  ASSERT_TRUE(support::runUntil([&] { return stopped.has_value(); }));
  EXPECT_TRUE(*stopped);
}

TEST_F(ViewAnimation, AnimatingViewsTakeNoTouchesUnlessAllowed) {
  View::animate(1.0, [&] { view->setAlpha(0.5); });
  EXPECT_EQ(window->hitTest({50, 50}, nullptr).get(), window.get());
  core::Clock::advance(1.0);
  support::drainMainLoop();
  EXPECT_EQ(window->hitTest({50, 50}, nullptr).get(), view.get());
  View::animate(1.0, 0, ui::AnimationAllowUserInteraction, [&] { view->setAlpha(1); });
  EXPECT_EQ(window->hitTest({50, 50}, nullptr).get(), view.get());
}

TEST_F(ViewAnimation, LayoutSubviewsOptionAnimatesTheLayoutToo) {
  class Stretching : public View {
   public:
    using View::View;
    void layoutSubviews() override { child->setFrame(bounds()); }
    std::shared_ptr<View> child = View::create();
  };
  auto parent = std::make_shared<Stretching>(Rect(0, 0, 100, 100));
  parent->addSubview(parent->child);
  window->addSubview(parent);
  window->layoutAndDisplayIfNeeded();
  View::animate(1.0, 0, ui::AnimationCurveLinear | ui::AnimationLayoutSubviews,
                [&] { parent->setFrame(Rect(0, 0, 200, 100)); });
  EXPECT_EQ(parent->child->frame(), Rect(0, 0, 200, 100));
  core::Clock::advance(0.5);
  EXPECT_NEAR(parent->child->layer()->presentation().bounds.width(), 150, 1e-6);
}

TEST_F(ViewAnimation, RepeatWithAutoreverseKeepsGoing) {
  std::optional<bool> finished;
  View::animate(0.5, 0, ui::AnimationCurveLinear | ui::AnimationRepeat | ui::AnimationAutoreverse,
                [&] { view->setAlpha(0); }, [&](bool f) { finished = f; });
  core::Clock::advance(0.75);  // half-way back
  EXPECT_NEAR(presentedAlpha(), 0.5, 1e-6);
  core::Clock::advance(10);
  support::drainMainLoop();
  EXPECT_FALSE(finished);
  view->layer()->removeAllAnimations();
  ASSERT_TRUE(support::runUntil([&] { return finished.has_value(); }));
  EXPECT_FALSE(*finished);
}
