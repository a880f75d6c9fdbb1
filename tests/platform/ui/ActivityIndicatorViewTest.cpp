#include "platform/ui/ActivityIndicatorView.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"

using ui::ActivityIndicatorStyle;
using ui::ActivityIndicatorView;

using IndicatorInWindow = uitest::WindowTest;

TEST_F(IndicatorInWindow, StartAndStopShowHideAndSpin) {
  auto large = ActivityIndicatorView::create(ActivityIndicatorStyle::WhiteLarge);
  auto small = ActivityIndicatorView::create(ActivityIndicatorStyle::Gray);
  EXPECT_EQ(large->bounds().size, (gfx::Size{37, 37}));
  EXPECT_EQ(small->bounds().size, (gfx::Size{20, 20}));
  EXPECT_EQ(small->color(), gfx::Color::gray());
  window->addSubview(large);
  EXPECT_TRUE(large->isHidden());
  large->startAnimating();
  EXPECT_TRUE(large->isAnimating());
  EXPECT_FALSE(large->isHidden());
  EXPECT_TRUE(large->layer()->animationForKey(ActivityIndicatorView::SpinAnimationKey));
  large->stopAnimating();
  EXPECT_TRUE(large->isHidden());
  EXPECT_FALSE(large->layer()->animationForKey(ActivityIndicatorView::SpinAnimationKey));
  large->setHidesWhenStopped(false);
  EXPECT_FALSE(large->isHidden());
}

TEST_F(IndicatorInWindow, SpokesAreDrawnInTheColour) {
  auto v = ActivityIndicatorView::create(ActivityIndicatorStyle::WhiteLarge);
  v->setColor(gfx::Color::red());
  v->setHidesWhenStopped(false);
  window->addSubview(v);
  auto image = uitest::render(*v);
  // The top spoke is full colour; the centre is empty.
  EXPECT_EQ(image->pixelAt(18, 5), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(18, 18) >> 24, 0u);
}
