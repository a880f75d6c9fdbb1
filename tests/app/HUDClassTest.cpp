#include <gtest/gtest.h>

#include "app/HUDClass.h"
#include "app/MixProgressHUD.h"
#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/gfx/Font.h"
#include "platform/net/URLError.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/feedback/AOProgressHUD.h"

#include <cmath>
#include <memory>
#include <string>

namespace kt {
namespace {

using HUD = AOProgressHUD;
using support::Device;

class HUDClassTest : public support::ScreenTest {
 protected:
  HUDClassTest() { HUD::resetSharedView(); }
  ~HUDClassTest() override { HUD::resetSharedView(); }

  std::shared_ptr<HUD> hud() { return HUD::sharedView(); }
  // Lets the queued shows run and the fade-in finish.
  void settle() { wait(0.3); }

  // A button over the whole window that counts its taps.
  void addButtonUnderneath() {
    auto button = ui::Button::create(ui::ButtonType::Custom, window().bounds());
    button->addTarget(this, [this](ui::Control&, const ui::Event*) { ++m_taps; }, ui::ControlEventTouchUpInside);
    window().addSubview(button);
  }
  // Taps the corner of the window, away from the overlay's panel; whether the button heard it.
  bool tapReachesTheScreen() {
    const int before = m_taps;
    tap(gfx::Point{30, 30});
    return m_taps > before;
  }
  // Virtual seconds from now until the overlay shows `status`; negative when it never does.
  double secondsUntilStatus(const std::string& status) {
    const double start = core::Clock::now();
    double shownAt = -1;
    runUntil([&] {
      if (hud()->statusText() == status && hud()->statusLabel()->text() == status) shownAt = core::Clock::now();
      return shownAt >= 0;
    });
    return shownAt < 0 ? -1 : shownAt - start;
  }
  void expectHUDClassLook() {
    EXPECT_EQ(hud()->hudView()->backgroundColor(), gfx::Color::black().withAlpha(0.4));
    EXPECT_EQ(hud()->statusLabel()->textColor(), gfx::Color::whiteColor());
    EXPECT_EQ(hud()->defaultMaskType(), HUD::MaskTypeClear);
  }

  int m_taps = 0;
};

class HUDClassStyleTest : public HUDClassTest, public ::testing::WithParamInterface<Device> {};

TEST_P(HUDClassStyleTest, ShowHudStylesTheSharedOverlayAndBlocksTouches) {
  setDevice(GetParam());
  addButtonUnderneath();
  HUDClass::showHud();
  settle();
  EXPECT_TRUE(HUD::isVisible());
  EXPECT_EQ(hud()->defaultStyle(), HUD::StyleCustom);
  EXPECT_EQ(hud()->defaultAnimationType(), HUD::AnimationTypeNative);
  EXPECT_EQ(hud()->hudBackgroundColor(), gfx::Color::black().withAlpha(0.4));
  EXPECT_EQ(hud()->foregroundColor(), gfx::Color::whiteColor());
  ASSERT_TRUE(hud()->font());
  EXPECT_DOUBLE_EQ(hud()->font()->pointSize(), GetParam() == Device::LargeTablet ? 13 : 10);
  EXPECT_FALSE(hud()->font()->isBold());
  expectHUDClassLook();
  auto spinner = std::dynamic_pointer_cast<ui::ActivityIndicatorView>(hud()->indefiniteAnimatedView());
  ASSERT_TRUE(spinner);
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_FALSE(hud()->statusText());
  EXPECT_FALSE(tapReachesTheScreen());

  HUDClass::dismissHud();
  settle();
  EXPECT_FALSE(HUD::isVisible());
  EXPECT_TRUE(tapReachesTheScreen());
}

INSTANTIATE_TEST_SUITE_P(Devices, HUDClassStyleTest, ::testing::Values(Device::Standard, Device::LargeTablet),
                         [](const auto& info) { return info.param == Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(HUDClassTest, StatusShowAndErrorStatus) {
  HUDClass::showAOHudWithStatus("绑定中");
  settle();
  EXPECT_EQ(hud()->statusLabel()->text(), "绑定中");
  expectHUDClassLook();
  HUDClass::dismissHud();
  settle();
  EXPECT_FALSE(HUD::isVisible());

  // Nothing on screen: dismissing shows nothing.
  HUDClass::dismissHud();
  settle();
  EXPECT_FALSE(HUD::isVisible());
  EXPECT_EQ(hud()->overlayView()->superview(), nullptr);

  HUDClass::dismissHudWithErrorStatus("搜索失败");
  settle();
  EXPECT_TRUE(HUD::isVisible());
  EXPECT_EQ(hud()->statusLabel()->text(), "搜索失败");
  EXPECT_TRUE(hud()->imageView()->image());
  wait(5.0);  // the overlay's minimum display time, then its fade
  settle();
  EXPECT_FALSE(HUD::isVisible());
}

TEST_F(HUDClassTest, MixErrorTakesTheLookTheLastHUDClassShowLeft) {
  addButtonUnderneath();
  // Before any HUDClass show: the overlay's own defaults, touches pass.
  MixProgressHUD::showError("查询失败");
  settle();
  EXPECT_EQ(hud()->statusLabel()->text(), "查询失败");
  EXPECT_EQ(hud()->statusLabel()->textColor(), gfx::Color::black());
  EXPECT_EQ(hud()->defaultStyle(), HUD::StyleLight);
  EXPECT_TRUE(tapReachesTheScreen());
  MixProgressHUD::dismiss();
  settle();
  EXPECT_FALSE(HUD::isVisible());

  HUDClass::showHud();
  settle();
  HUDClass::dismissHud();
  settle();

  MixProgressHUD::showError("查询失败");
  settle();
  expectHUDClassLook();
  EXPECT_TRUE(hud()->imageView()->image());
  EXPECT_FALSE(tapReachesTheScreen());
  MixProgressHUD::showSuccess("已发送");
  settle();
  EXPECT_EQ(hud()->statusLabel()->text(), "已发送");
  expectHUDClassLook();
  EXPECT_FALSE(tapReachesTheScreen());
}

TEST_F(HUDClassTest, MixShowLetsTouchesPassForThatShowOnly) {
  addButtonUnderneath();
  HUDClass::showHud();
  settle();
  EXPECT_FALSE(tapReachesTheScreen());

  MixProgressHUD::show("处理中");
  settle();
  EXPECT_EQ(hud()->statusLabel()->text(), "处理中");
  EXPECT_TRUE(tapReachesTheScreen());
  EXPECT_EQ(hud()->defaultMaskType(), HUD::MaskTypeClear);

  // The next show has the blocking mask again.
  MixProgressHUD::showError("失败");
  settle();
  EXPECT_FALSE(tapReachesTheScreen());
}

TEST_F(HUDClassTest, ErrorFromARequestErrorPicksTheTextAndTheDelay) {
  MixProgressHUD::showErrorWithError(core::Error(net::URLError::Domain, net::URLError::NotConnectedToInternet));
  const double notConnected = secondsUntilStatus("哎呀,网速不给力呀!");
  EXPECT_GE(notConnected, 0);
  EXPECT_LT(notConnected, 0.05);

  MixProgressHUD::showErrorWithError(core::Error(net::URLError::Domain, net::URLError::TimedOut));
  wait(0.45);
  EXPECT_NE(hud()->statusLabel()->text(), "加载数据失败!");
  const double timedOut = secondsUntilStatus("加载数据失败!") + 0.45;
  EXPECT_GE(timedOut, 0.5 - 1e-9);
  EXPECT_LT(timedOut, 0.55);

  // With a delay of its own, and without an error object.
  MixProgressHUD::showErrorWithError(core::Error(net::URLError::Domain, net::URLError::NotConnectedToInternet), 1.0);
  const double delayedNotConnected = secondsUntilStatus("哎呀,网速不给力呀!");
  EXPECT_GE(delayedNotConnected, 1.0 - 1e-9);
  EXPECT_LT(delayedNotConnected, 1.05);
  MixProgressHUD::showErrorWithError(std::nullopt, 1.0);
  const double noError = secondsUntilStatus("加载数据失败!");
  EXPECT_GE(noError, 1.5 - 1e-9);
  EXPECT_LT(noError, 1.55);
}

TEST_F(HUDClassTest, DelayedResultsAndUnusableDelays) {
  MixProgressHUD::showSuccess("已呼叫", 0.3);
  const double success = secondsUntilStatus("已呼叫");
  EXPECT_GE(success, 0.3 - 1e-9);
  EXPECT_LT(success, 0.35);
  EXPECT_TRUE(hud()->imageView()->image());

  // A negative or not-a-number delay is none.
  MixProgressHUD::showError("负数", -2);
  const double negative = secondsUntilStatus("负数");
  EXPECT_GE(negative, 0);
  EXPECT_LT(negative, 0.05);
  MixProgressHUD::showError("无效", std::nan(""));
  const double nan = secondsUntilStatus("无效");
  EXPECT_GE(nan, 0);
  EXPECT_LT(nan, 0.05);
}

}  // namespace
}  // namespace kt
