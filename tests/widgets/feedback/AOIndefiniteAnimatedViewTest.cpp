#include "widgets/feedback/AOIndefiniteAnimatedView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/core/Clock.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/View.h"
#include "support/RunUntil.h"

namespace kt {
namespace {

class AOIndefiniteAnimatedViewTest : public ::testing::Test {
 protected:
  support::VirtualClock m_clock;
  std::shared_ptr<ui::View> m_parent = ui::View::create(gfx::Rect(0, 0, 200, 200));
};

TEST_F(AOIndefiniteAnimatedViewTest, GeometryAndLayerFollowTheParent) {
  auto spinner = AOIndefiniteAnimatedView::create();
  spinner->setStrokeThickness(2);
  spinner->setRadius(18);
  spinner->sizeToFit();
  EXPECT_EQ(spinner->frame().size, (gfx::Size{48, 48}));

  // A view of no size draws its ring around its own origin; leaving the parent drops the layer.
  spinner->setFrame(gfx::Rect());
  m_parent->addSubview(spinner);
  EXPECT_EQ(spinner->indefiniteAnimatedLayer()->position(), (gfx::Point{0, 0}));
  EXPECT_EQ(spinner->layer()->sublayers().size(), 1u);
  spinner->removeFromSuperview();
  EXPECT_TRUE(spinner->layer()->sublayers().empty());
}

TEST_F(AOIndefiniteAnimatedViewTest, SameRadiusKeepsTheSpinnerRunningANewOneRestartsIt) {
  auto spinner = AOIndefiniteAnimatedView::create();
  spinner->setStrokeThickness(2);
  spinner->setRadius(18);
  m_parent->addSubview(spinner);
  auto first = spinner->indefiniteAnimatedLayer();
  ASSERT_TRUE(first->animationForKey(AOIndefiniteAnimatedView::ProgressAnimationKey));
  const double started = first->animationForKey(AOIndefiniteAnimatedView::ProgressAnimationKey)->beginTime;

  core::Clock::advance(0.4);
  spinner->setRadius(18);
  EXPECT_EQ(spinner->indefiniteAnimatedLayer().get(), first.get());
  EXPECT_EQ(first->animationForKey(AOIndefiniteAnimatedView::ProgressAnimationKey)->beginTime, started);

  spinner->setRadius(24);
  auto second = spinner->indefiniteAnimatedLayer();
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(first->superlayer(), nullptr);
  EXPECT_EQ(second->superlayer(), spinner->layer().get());
  EXPECT_DOUBLE_EQ(second->animationForKey(AOIndefiniteAnimatedView::ProgressAnimationKey)->beginTime, started + 0.4);
  EXPECT_EQ(second->bounds().size, (gfx::Size{60, 60}));
}

TEST_F(AOIndefiniteAnimatedViewTest, SpinnerStrokeSlidesAndItsMaskTurnsOnceASecond) {
  auto spinner = AOIndefiniteAnimatedView::create();
  spinner->setStrokeColor(gfx::Color::black());
  spinner->setStrokeThickness(2);
  spinner->setRadius(18);
  m_parent->addSubview(spinner);
  const auto& layer = spinner->indefiniteAnimatedLayer();
  ASSERT_TRUE(layer->mask());
  EXPECT_TRUE(layer->mask()->contents()) << "angle-mask missing from the resource bundle";
  EXPECT_EQ(layer->mask()->frame(), layer->bounds());

  for (double t : {0.25, 0.5, 0.25, 0.5, 100.0}) {
    core::Clock::advance(t);
    const gfx::LayerState s = layer->presentation();
    // The stroke always covers 0.47 of the doubled circle.
    EXPECT_NEAR(s.strokeEnd - s.strokeStart, 0.47, 1e-9);
    EXPECT_GE(s.strokeStart, 0.015 - 1e-9);
    EXPECT_LE(s.strokeEnd, 0.985 + 1e-9);
  }
  // Advanced 101.5 s: half a turn into the 102nd second.
  const gfx::LayerState s = layer->presentation();
  EXPECT_NEAR(s.strokeStart, 0.015 + 0.25, 1e-6);
  auto rotation = gfx::stateValueForKeyPath(layer->mask()->presentation(), "transform.rotation");
  ASSERT_TRUE(rotation);
  EXPECT_NEAR(std::fabs(std::get<double>(*rotation)), M_PI, 1e-6);
}

}  // namespace
}  // namespace kt
