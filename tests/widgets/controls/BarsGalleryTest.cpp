// The gradient buttons, bar gauges and star ratings side by side on both tablet sizes: every
// preset normal, held down and stroked; gauges in both orientations and directions with a held
// peak and changed bands; ratings set by score, by a drag and as a slider with its thumb.
#include <gtest/gtest.h>

#include <functional>

#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/BarGaugeView.h"
#include "widgets/controls/GradientButton.h"
#include "widgets/controls/StarRatingView.h"

namespace {

using kt::BarGaugeView;
using kt::GradientButton;
using kt::StarRatingView;

class Ends : public kt::StarRatingViewDelegate {
 public:
  void didEndSlideTheProgress(StarRatingView&, float progress) override { last = progress; }
  float last = -1;
};

class BarsGalleryTest : public support::ScreenTest {
 protected:
  void showGallery() {
    window().setBackgroundColor(gfx::Color(0.85, 0.87, 0.9));
    const double width = window().bounds().size.width, cell = (width - 40) / 8;
    const char* titles[] = {"提醒", "删除", "白色", "黑色", "白色菜单", "黑色菜单", "橙色", "确定"};
    void (GradientButton::*presets[])() = {
        &GradientButton::useAlertStyle,        &GradientButton::useRedDeleteStyle,
        &GradientButton::useWhiteStyle,        &GradientButton::useBlackStyle,
        &GradientButton::useWhiteActionSheetStyle, &GradientButton::useBlackActionSheetStyle,
        &GradientButton::useSimpleOrangeStyle, &GradientButton::useGreenConfirmStyle};
    std::shared_ptr<GradientButton> last;
    for (int i = 0; i < 8; ++i) {
      for (int row = 0; row < 3; ++row) {
        last = GradientButton::create(gfx::Rect(20 + i * cell, 30 + row * 56, cell - 12, 44));
        (last.get()->*presets[i])();
        last->setTitle(titles[i]);
        last->setHighlighted(row == 1);
        last->setStrokeWeight(row == 2 ? 1.0 : 0.0);
        last->setStrokeColor(gfx::Color(0.076, 0.103, 0.195));
        window().addSubview(last);
      }
    }
    int taps = 0;
    last->addTarget(this, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);

    // Held peak over a fallen value, reversed, flat with 16 bars, danger below warning; columns.
    auto gauge = [&](const gfx::Rect& frame, const std::function<void(BarGaugeView&)>& setUp) {
      auto g = BarGaugeView::create(frame);
      setUp(*g);
      window().addSubview(g);
    };
    const double left = width * 0.45, mid = width * 0.5;
    gauge({20, 240, left, 40}, [](BarGaugeView& g) {
      g.setHoldPeak(true);
      g.resetPeak();
      g.setValue(7.9f);
      g.setValue(3.2f);
    });
    gauge({20, 296, left, 40}, [](BarGaugeView& g) { g.setReverse(true); g.setValue(6.5f); });
    gauge({20, 352, left, 40}, [](BarGaugeView& g) { g.setLitEffect(false); g.setNumBars(16); g.setValue(9); });
    gauge({20, 408, left, 40}, [](BarGaugeView& g) {
      g.setWarnThreshold(0.7f);
      g.setDangerThreshold(0.4f);
      g.setValue(8);
    });
    for (int i = 0; i < 3; ++i) {
      gauge({mid + i * 60, 240, 40, 203}, [i](BarGaugeView& g) {
        g.setReverse(i == 1);
        g.setNumBars(8 + 2 * i);
        g.setValue(2.5f + 3 * i);
      });
    }

    Ends ends;
    std::shared_ptr<StarRatingView> stars[4];
    for (int i = 0; i < 4; ++i) {
      stars[i] = StarRatingView::create(gfx::Rect(mid + 210, 250 + i * 60, 200, 36), 5);
      if (i == 3) {
        stars[i]->setString_progress("foregroundStar");
        stars[i]->beginToSetupStarRatingView();
      }
      stars[i]->setDelegate(ends.weakPtr());
      window().addSubview(stars[i]);
    }
    stars[0]->setScore(0, false);
    stars[1]->setScore(0.333f, false);
    render();
    const gfx::Rect drag2 = stars[2]->frame(), slide = stars[3]->frame();
    drag({drag2.minX() + 5, drag2.midY()}, {drag2.minX() + 150, drag2.midY()});
    drag({slide.minX() + 150, slide.midY()}, {slide.minX() + 90, slide.midY()});
    tap(*last);
    wait(0.3);
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(ends.last, 0.45f);
    EXPECT_TRUE(screenshot("gallery"));
  }
};

TEST_F(BarsGalleryTest, StandardTablet) { showGallery(); }

TEST_F(BarsGalleryTest, LargeTablet) {
  setDevice(support::Device::LargeTablet);
  showGallery();
}

}  // namespace
