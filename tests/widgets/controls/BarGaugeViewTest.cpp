// The bar gauge: the lit range and colour bands from the value in single precision, the held peak,
// limits and values that scale to nothing, and the painted bars in both orientations and
// directions.
#include "widgets/controls/BarGaugeView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::BarGaugeView;
using kt::testing::Pixel;
using kt::testing::pixelAt;

void expectLit(const BarGaugeView& g, int on, int off, const char* what) {
  EXPECT_EQ(g.onIndex(), on) << what;
  EXPECT_EQ(g.offIndex(), off) << what;
}

TEST(BarGaugeViewTest, ValueLightsWholeBarsAndThresholdsTruncateInSinglePrecision) {
  auto g = BarGaugeView::create(gfx::Rect(0, 0, 200, 40));
  g->setValue(4.5f);
  expectLit(*g, 0, 5, "4.5");
  g->setValue(8.9f);
  expectLit(*g, 0, 9, "8.9");
  g->setValue(9.0f);
  expectLit(*g, 0, 10, "9.0");
  g->setValue(-1.0f);
  expectLit(*g, 10, -1, "below");
  EXPECT_EQ(g->warningBarIndex(), 6);
  EXPECT_EQ(g->dangerBarIndex(), 8);
  // 10 x 0.7 in single precision is exactly 7 (6 in double).
  g->setWarnThreshold(0.7f);
  EXPECT_EQ(g->warningBarIndex(), 7);
  g->setDangerThreshold(0);
  EXPECT_EQ(g->dangerBarIndex(), -1);
  g->setNumBars(20);
  EXPECT_EQ(g->warningBarIndex(), 14);
  EXPECT_EQ(g->dangerBarIndex(), -1);
}

TEST(BarGaugeViewTest, EqualLimitsNaNAndHugeValuesNeverOverflowTheIndexOrThePeak) {
  auto g = BarGaugeView::create(gfx::Rect(0, 0, 200, 40));
  g->setValue(1e30f);
  expectLit(*g, 0, 11, "huge");
  g->setValue(std::numeric_limits<float>::infinity());
  expectLit(*g, 0, 11, "infinite");
  g->setValue(std::nanf(""));
  expectLit(*g, 10, 0, "NaN");
  g->setMinLimit(3);
  g->setMaxLimit(3);
  g->setValue(5);
  expectLit(*g, 0, 0, "equal limits");
  g->setWarnThreshold(1e30f);
  EXPECT_EQ(g->warningBarIndex(), 11);
  // A peak above the upper limit marks the last bar; the peak starts at 0, so -2 is none.
  g->setHoldPeak(true);
  g->setValue(-2);
  EXPECT_EQ(g->peakBarIndex(), -1);
  g->setMaxLimit(9);
  g->setValue(20);
  EXPECT_EQ(g->peakBarIndex(), 9);
}

class BarGaugeScreenTest : public support::ScreenTest {
 protected:
  // The gauge's pixel at a point of its own, from a screenshot of the window.
  Pixel at(const std::shared_ptr<gfx::Image>& shot, const BarGaugeView& g, double x, double y) {
    const uint32_t c = colorAt(*shot, {g.frame().minX() + x, g.frame().minY() + y});
    return Pixel{int(c >> 24), int((c >> 16) & 0xff), int((c >> 8) & 0xff), int(c & 0xff)};
  }
};

bool near(const Pixel& p, int r, int g, int b) {
  return p.a == 255 && std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3;
}

TEST_F(BarGaugeScreenTest, BandsAndTheHeldPeakShowAsTheValueFalls) {
  auto g = BarGaugeView::create(gfx::Rect(100, 100, 200, 40));
  g->setLitEffect(false);
  g->setHoldPeak(true);
  g->resetPeak();
  window().addSubview(g);
  g->setValue(4.5f);
  render();
  auto shot = screenshot("peak");
  // Horizontal bars of 20 points: bars 0 to 4 lit green, bar 5 the peak, then faint tints.
  EXPECT_TRUE(near(at(shot, *g, 10, 20), 0, 255, 0));
  EXPECT_TRUE(near(at(shot, *g, 110, 20), 0, 255, 0));
  EXPECT_TRUE(near(at(shot, *g, 130, 20), 51, 51, 0));  // warning band, unlit
  EXPECT_TRUE(near(at(shot, *g, 170, 20), 51, 0, 0));   // danger band, unlit
  EXPECT_TRUE(near(at(shot, *g, 20, 20), 0, 0, 0));     // inner border between bars

  wait(1.0);
  g->setValue(1.5f);
  render();
  shot = screenshot("fallen");
  EXPECT_TRUE(near(at(shot, *g, 10, 20), 0, 255, 0));
  EXPECT_TRUE(near(at(shot, *g, 30, 20), 0, 51, 0));
  EXPECT_TRUE(near(at(shot, *g, 110, 20), 0, 255, 0));  // the peak holds
  g->resetPeak();
  render();
  EXPECT_TRUE(near(at(screenshot("reset"), *g, 110, 20), 0, 51, 0));
}

TEST_F(BarGaugeScreenTest, VerticalAndReversedGaugesFillFromTheirEndsAndLeaveTheRemainderClear) {
  window().setBackgroundColor(gfx::Color::whiteColor());
  auto up = BarGaugeView::create(gfx::Rect(100, 100, 40, 203));
  auto left = BarGaugeView::create(gfx::Rect(200, 100, 200, 40));
  left->setReverse(true);
  for (auto& g : {up, left}) {
    g->setValue(2.0f);  // bars 0 and 1
    window().addSubview(g);
  }
  render();
  auto shot = screenshot("directions");
  // Vertical: 20-point bars filling bottom up in 200 points; the last 3 points show the window.
  EXPECT_TRUE(near(at(shot, *up, 20, 190), 0, 255, 0));  // bar 0 centre, lit shading at its colour
  EXPECT_TRUE(near(at(shot, *up, 20, 150), 0, 51, 0));
  EXPECT_TRUE(near(at(shot, *up, 20, 201.5), 255, 255, 255));
  // Reversed horizontal: bar 0 at the right end.
  EXPECT_TRUE(near(at(shot, *left, 190, 20), 0, 255, 0));
  EXPECT_TRUE(near(at(shot, *left, 10, 20), 51, 0, 0));
  // Lit shading darkens toward the bar's corners.
  const Pixel corner = at(shot, *left, 182, 3);
  EXPECT_LT(corner.g, 230);
  EXPECT_GT(corner.g, 100);
}

}  // namespace
