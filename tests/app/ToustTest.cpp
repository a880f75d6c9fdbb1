#include <gtest/gtest.h>

#include "app/Toust.h"
#include "app/WGAlertView.h"
#include "platform/core/Clock.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

#include <memory>
#include <string>

namespace kt {
namespace {

using support::Device;

class ToustTest : public support::ScreenTest {
 protected:
  std::shared_ptr<ui::Label> toastLabel(const std::string& text) const {
    return std::dynamic_pointer_cast<ui::Label>(findViewByText(text));
  }
};

class ToustLayoutTest : public ToustTest, public ::testing::WithParamInterface<Device> {};

TEST_P(ToustLayoutTest, FixedFrameHalfWhiteBackgroundAndFont) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  // A dark screen under the toast, so that its half-white box shows.
  auto backdrop = ui::View::create(window().bounds());
  backdrop->setBackgroundColor(gfx::Color::white(0.2));
  window().addSubview(backdrop);
  Toust::showToustWithMessage("绑定成功");
  auto label = toastLabel("绑定成功");
  ASSERT_TRUE(label);
  EXPECT_EQ(label->superview(), &window());
  EXPECT_EQ(window().subviews().back(), label);
  EXPECT_EQ(label->frame(), large ? gfx::Rect(362, 426, 639, 144) : gfx::Rect(272, 320, 480, 108));
  EXPECT_DOUBLE_EQ(label->font()->pointSize(), large ? 18 : 17);
  EXPECT_FALSE(label->font()->isBold());
  EXPECT_EQ(label->textAlignment(), gfx::TextAlignment::Center);
  EXPECT_EQ(label->textColor(), gfx::Color::black());
  EXPECT_EQ(label->lineBreakMode(), gfx::LineBreakMode::WordWrap);
  EXPECT_EQ(label->numberOfLines(), 0);
  EXPECT_DOUBLE_EQ(label->layer()->cornerRadius(), 5);
  EXPECT_TRUE(label->clipsToBounds());

  wait(0.1);
  ASSERT_TRUE(label->backgroundColor());
  EXPECT_EQ(*label->backgroundColor(), gfx::Color::white(1, 0.5));
  auto shot = screenshot(large ? "toast_12_9" : "toast");
  ASSERT_TRUE(shot);
  // Inside the box: half white over the dark screen; outside it the dark screen.
  const gfx::Rect f = label->frame();
  const uint32_t inside = support::ScreenTest::colorAt(*shot, gfx::Point{f.origin.x + 8, f.origin.y + 8});
  const uint32_t outside = support::ScreenTest::colorAt(*shot, gfx::Point{f.origin.x - 8, f.origin.y + 8});
  EXPECT_NEAR(static_cast<int>(inside & 0xFF), static_cast<int>(0.6 * 255), 3);
  EXPECT_NEAR(static_cast<int>(outside & 0xFF), static_cast<int>(0.2 * 255), 3);
}

INSTANTIATE_TEST_SUITE_P(Devices, ToustLayoutTest, ::testing::Values(Device::Standard, Device::LargeTablet),
                         [](const auto& info) { return info.param == Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(ToustTest, EachToastLivesTwoTenthsOfASecondFromItsOwnCall) {
  const double start = core::Clock::now();
  Toust::showToustWithMessage("已添加");
  wait(0.1);
  Toust::showToustWithMessage("置顶成功");
  auto first = toastLabel("已添加");
  auto second = toastLabel("置顶成功");
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_EQ(window().subviews().size(), 2u);

  // Note the virtual time at which each label leaves the window.
  double firstGone = -1, secondGone = -1;
  bool secondWasThereWhenFirstWent = false;
  ASSERT_TRUE(runUntil([&] {
    if (firstGone < 0 && !first->superview()) {
      firstGone = core::Clock::now() - start;
      secondWasThereWhenFirstWent = second->superview() != nullptr;
    }
    if (secondGone < 0 && !second->superview()) secondGone = core::Clock::now() - start;
    return firstGone >= 0 && secondGone >= 0;
  }));
  EXPECT_TRUE(secondWasThereWhenFirstWent);
  EXPECT_GE(firstGone, 0.2 - 1e-9);
  EXPECT_LT(firstGone, 0.25);
  EXPECT_GE(secondGone, 0.3 - 1e-9);
  EXPECT_LT(secondGone, 0.35);
  EXPECT_TRUE(window().subviews().empty());
}

TEST_F(ToustTest, AViewAddedMeanwhileStaysWhenTheToastGoes) {
  Toust::showToustWithMessage("绑定成功");
  wait(0.05);
  auto alert = WGAlertView::create("提示", "请绑定房台", nullptr, std::nullopt);
  alert->show();
  auto holder = alert->veilHolder();
  ASSERT_TRUE(holder);
  auto toast = toastLabel("绑定成功");
  ASSERT_TRUE(toast);
  ASSERT_TRUE(runUntil([&] { return !toast->superview(); }));
  ASSERT_EQ(window().subviews().size(), 1u);
  EXPECT_EQ(window().subviews()[0], holder);
  EXPECT_TRUE(alert->window());
}

TEST_F(ToustTest, TextTallerThanTheLabelIsCutOff) {
  std::string longText;
  for (int i = 0; i < 12; ++i) longText += "这首歌已经添加到已点歌曲列表里面了，请稍候。";
  Toust::showToustWithMessage(longText);
  auto label = toastLabel(longText);
  ASSERT_TRUE(label);
  render();
  EXPECT_EQ(label->frame(), gfx::Rect(272, 320, 480, 108));

  // The text wrapped at the label's width needs far more than its height.
  const double needed = label->sizeThatFits(gfx::Size{480, 1e6}).height;
  EXPECT_GT(needed, 108 * 2);
  const auto lines = label->visibleLines();
  ASSERT_FALSE(lines.empty());
  std::string shown;
  for (const auto& l : lines) shown += l;
  EXPECT_LT(shown.size(), longText.size());
  EXPECT_LE(lines.size() * label->font()->lineHeight(), 108 + 1);
}

}  // namespace
}  // namespace kt
