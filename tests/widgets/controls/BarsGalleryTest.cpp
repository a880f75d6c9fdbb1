// The gradient buttons, bar gauges and star ratings side by side on both tablet sizes: every
// preset in its normal and held-down look, gauges in both orientations and directions with held
// peaks and changed bands, and ratings set by score and by dragging.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
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
  void caption(const std::string& text, double x, double y) {
    auto label = ui::Label::create(gfx::Rect(x, y, 300, 20));
    label->setText(text);
    label->setFont(gfx::Font::systemFont(14));
    window().addSubview(label);
  }

  void showGallery(const std::string& name) {
    window().setBackgroundColor(gfx::Color(0.85, 0.87, 0.9));
    const double width = window().bounds().size.width;
    const double cell = (width - 40) / 8;

    using Preset = void (GradientButton::*)();
    const std::vector<std::pair<std::string, Preset>> presets{
        {"提醒", &GradientButton::useAlertStyle},         {"删除", &GradientButton::useRedDeleteStyle},
        {"白色", &GradientButton::useWhiteStyle},         {"黑色", &GradientButton::useBlackStyle},
        {"白色菜单", &GradientButton::useWhiteActionSheetStyle}, {"黑色菜单", &GradientButton::useBlackActionSheetStyle},
        {"橙色", &GradientButton::useSimpleOrangeStyle},  {"确定", &GradientButton::useGreenConfirmStyle},
    };
    caption("buttons: normal / held down / stroked", 20, 20);
    std::shared_ptr<GradientButton> tapped;
    int taps = 0;
    for (size_t i = 0; i < presets.size(); ++i) {
      for (int row = 0; row < 3; ++row) {
        auto button = GradientButton::create(gfx::Rect(20 + i * cell, 50 + row * 56, cell - 12, 44));
        (button.get()->*presets[i].second)();
        button->setTitle(presets[i].first);
        if (row == 1) button->setHighlighted(true);
        if (row == 2) {
          button->setStrokeWeight(1.0);
          button->setStrokeColor(gfx::Color(0.076, 0.103, 0.195));
        }
        window().addSubview(button);
        if (row == 2 && i == 7) tapped = button;
      }
    }
    tapped->addTarget(this, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);

    caption("gauges: peak held, reversed, flat fill, danger below warning, vertical", 20, 230);
    std::vector<std::shared_ptr<BarGaugeView>> gauges;
    for (int i = 0; i < 4; ++i) {
      auto g = BarGaugeView::create(gfx::Rect(20, 260 + i * 56, width * 0.45, 40));
      gauges.push_back(g);
      window().addSubview(g);
    }
    gauges[0]->setHoldPeak(true);
    gauges[0]->resetPeak();
    gauges[0]->setValue(7.9f);
    gauges[0]->setValue(3.2f);
    gauges[1]->setReverse(true);
    gauges[1]->setValue(6.5f);
    gauges[2]->setLitEffect(false);
    gauges[2]->setNumBars(16);
    gauges[2]->setValue(9);
    gauges[3]->setWarnThreshold(0.7f);
    gauges[3]->setDangerThreshold(0.4f);
    gauges[3]->setValue(8);
    for (int i = 0; i < 3; ++i) {
      auto g = BarGaugeView::create(gfx::Rect(width * 0.5 + i * 60, 260, 40, 203));
      g->setReverse(i == 1);
      g->setNumBars(8 + 2 * i);
      g->setValue(2.5f + 3 * i);
      window().addSubview(g);
    }

    caption("ratings: by score, by drag, as a slider", width * 0.5 + 200, 230);
    Ends ends;
    std::vector<std::shared_ptr<StarRatingView>> stars;
    for (int i = 0; i < 4; ++i) {
      auto s = StarRatingView::create(gfx::Rect(width * 0.5 + 210, 270 + i * 60, 200, 36), 5);
      if (i == 3) {
        s->setString_progress("foregroundStar");
        s->beginToSetupStarRatingView();
      }
      s->setDelegate(ends.weakPtr());
      stars.push_back(s);
      window().addSubview(s);
    }
    stars[0]->setScore(0, false);
    stars[1]->setScore(0.333f, false);
    render();
    // Driven by touches: a drag on the third rating, a slide on the fourth, a tap on a button.
    drag(gfx::Point{stars[2]->frame().minX() + 5, stars[2]->frame().midY()},
         gfx::Point{stars[2]->frame().minX() + 150, stars[2]->frame().midY()});
    drag(gfx::Point{stars[3]->frame().minX() + 150, stars[3]->frame().midY()},
         gfx::Point{stars[3]->frame().minX() + 90, stars[3]->frame().midY()});
    tap(*tapped);
    wait(0.3);
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(ends.last, 0.45f);
    EXPECT_TRUE(screenshot(name));
  }
};

TEST_F(BarsGalleryTest, StandardTablet) { showGallery("gallery"); }

TEST_F(BarsGalleryTest, LargeTablet) {
  setDevice(support::Device::LargeTablet);
  showGallery("gallery");
}

}  // namespace
