#include "platform/ui/ProgressView.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"

using gfx::Rect;

using ProgressInWindow = uitest::WindowTest;

TEST_F(ProgressInWindow, BarFollowsTheProgress) {
  support::VirtualClock clock;
  auto pv = std::make_shared<ui::ProgressView>(Rect(0, 0, 200, 50));
  EXPECT_EQ(pv->frame().height(), 2);
  window->addSubview(pv);
  pv->setProgress(0.25);
  EXPECT_EQ(pv->barView()->frame(), Rect(0, 0, 50, 2));
  pv->setProgress(7);
  EXPECT_DOUBLE_EQ(pv->progress(), 1);
  pv->setProgress(-1);
  EXPECT_DOUBLE_EQ(pv->progress(), 0);
  pv->setProgress(1, true);
  EXPECT_EQ(pv->barView()->frame().width(), 200);
  double shown = pv->barView()->layer()->presentation().bounds.width();
  EXPECT_LT(shown, 1);
  core::Clock::advance(0.125);
  shown = pv->barView()->layer()->presentation().bounds.width();
  EXPECT_GT(shown, 20);
  EXPECT_LT(shown, 180);
}

TEST_F(ProgressInWindow, ColoursOfTrackAndBar) {
  auto pv = std::make_shared<ui::ProgressView>(Rect(0, 0, 100, 2));
  pv->setProgressTintColor(gfx::Color::red());
  pv->setTrackTintColor(gfx::Color::blue());
  pv->setProgress(0.5);
  window->addSubview(pv);
  auto image = uitest::render(*pv);
  EXPECT_EQ(image->pixelAt(10, 1), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(90, 1), 0xFF0000FFu);
  EXPECT_EQ(std::make_shared<ui::ProgressView>(ui::ProgressViewStyle::Bar)->trackTintColor(), gfx::Color::clear());
}
