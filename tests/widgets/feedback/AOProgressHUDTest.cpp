#include "widgets/feedback/AOProgressHUD.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Control.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/feedback/AOIndefiniteAnimatedView.h"
#include "widgets/feedback/AOProgressAnimatedView.h"
#include "widgets/feedback/AORadialGradientLayer.h"

namespace kt {
namespace {

using HUD = AOProgressHUD;

// Records the overlay's notifications in the order they were posted.
class Recorder {
 public:
  Recorder() {
    for (const char* name : {HUD::DidReceiveTouchEventNotification, HUD::DidTouchDownInsideNotification,
                             HUD::WillAppearNotification, HUD::DidAppearNotification,
                             HUD::WillDisappearNotification, HUD::DidDisappearNotification}) {
      m_observations.emplace_back(core::NotificationCenter::defaultCenter(), name, nullptr,
                                  [this](const core::Notification& n) {
                                    m_names.push_back(n.name);
                                    m_infos.push_back(n.userInfo);
                                  });
    }
  }
  const std::vector<std::string>& names() const { return m_names; }
  const std::vector<core::Value>& infos() const { return m_infos; }
  int count(const std::string& name) const {
    int n = 0;
    for (const auto& s : m_names) n += s == name;
    return n;
  }
  void clear() {
    m_names.clear();
    m_infos.clear();
  }

 private:
  std::vector<core::Observation> m_observations;
  std::vector<std::string> m_names;
  std::vector<core::Value> m_infos;
};

class AOProgressHUDTest : public support::ScreenTest {
 protected:
  AOProgressHUDTest() { HUD::resetSharedView(); }
  ~AOProgressHUDTest() override {
    HUD::resetSharedView();
    HUD::setTextMeasurer(nullptr);
    HUD::setOperatingSystemVersionAvailable(true);
    ui::Keyboard::shared().reset();
  }

  std::shared_ptr<HUD> hud() { return HUD::sharedView(); }
  // Lets the queued operations run and the fade-in (0.15 s) finish.
  void settle() { wait(0.3); }
  gfx::Rect panelBounds() { return hud()->hudView()->bounds(); }
  gfx::Point panelCentre() { return hud()->hudView()->center(); }

  // Measures every text as the given size.
  static void measureAs(gfx::Size size) {
    HUD::setTextMeasurer([size](const std::string&, const gfx::Font&, gfx::Size) { return size; });
  }

  // The look the list screens give the overlay before their shows.
  static void listScreenStyle(double fontSize) {
    HUD::setBackgroundColor(gfx::Color::black().withAlpha(0.4));
    HUD::setFont(gfx::Font::systemFont(fontSize));
    HUD::setDefaultMaskType(HUD::MaskTypeClear);
    HUD::setDefaultAnimationType(HUD::AnimationTypeNative);
    HUD::setDefaultStyle(HUD::StyleCustom);
    HUD::setForegroundColor(gfx::Color::whiteColor());
  }

  // A button over the whole window that counts its taps.
  std::shared_ptr<ui::Button> addButtonUnderneath() {
    auto button = ui::Button::create(ui::ButtonType::Custom, window().bounds());
    button->addTarget(this, [this](ui::Control&, const ui::Event*) { ++m_taps; }, ui::ControlEventTouchUpInside);
    window().addSubview(button);
    return button;
  }

  int m_taps = 0;
  Recorder m_recorder;
};

// ---- Shows, layout and position -----------------------------------------------------------

TEST_F(AOProgressHUDTest, ShowIsQueuedThenLaysOutTheSpinnerPanel) {
  HUD::show();
  // Nothing happens inside the call.
  EXPECT_EQ(hud()->activityCount(), 0u);
  EXPECT_EQ(hud()->overlayView()->superview(), nullptr);
  EXPECT_TRUE(m_recorder.names().empty());

  wait(0);
  EXPECT_EQ(hud()->overlayView()->superview(), &window());
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 100, 100));
  auto spinner = std::dynamic_pointer_cast<AOIndefiniteAnimatedView>(hud()->indefiniteAnimatedView());
  ASSERT_TRUE(spinner);
  EXPECT_EQ(spinner->superview(), hud()->hudView().get());
  EXPECT_EQ(spinner->radius(), 24);
  EXPECT_EQ(spinner->center(), (gfx::Point{50, 50}));
  EXPECT_EQ(hud()->activityCount(), 1u);
  EXPECT_TRUE(hud()->imageView()->isHidden());
  EXPECT_EQ(m_recorder.names(), std::vector<std::string>{HUD::WillAppearNotification});
  EXPECT_TRUE(m_recorder.infos()[0].isNull());

  wait(0.1);
  EXPECT_EQ(m_recorder.count(HUD::DidAppearNotification), 0);
  wait(0.1);
  EXPECT_EQ(m_recorder.count(HUD::DidAppearNotification), 1);
  EXPECT_TRUE(HUD::isVisible());
  EXPECT_EQ(hud()->hudView()->alpha(), 1);
  // The panel is back at its own size after growing by 1.3 for the appearance.
  EXPECT_NEAR(hud()->hudView()->transform().a, 1, 1e-6);
  EXPECT_EQ(hud()->screenChangedPosts(), 1);
}

TEST_F(AOProgressHUDTest, PanelLayoutFollowsTheMeasuredText) {
  measureAs(gfx::Size{60, 16.7});
  HUD::showWithStatus(std::string("绑定中"));
  settle();
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 124, 97));
  EXPECT_EQ(hud()->statusLabel()->frame(), gfx::Rect(0, 68, 124, 17));
  EXPECT_EQ(hud()->statusLabel()->text(), "绑定中");
  auto spinner = std::static_pointer_cast<AOIndefiniteAnimatedView>(hud()->indefiniteAnimatedView());
  EXPECT_EQ(spinner->radius(), 18);
  EXPECT_EQ(spinner->center(), (gfx::Point{62, 36}));
  ASSERT_EQ(m_recorder.names().front(), HUD::WillAppearNotification);
  EXPECT_EQ(m_recorder.infos()[0][HUD::StatusUserInfoKey].stringValue(), "绑定中");

  // A wider, taller text: inset label, panel grows.
  measureAs(gfx::Size{150, 40});
  HUD::showWithStatus(std::string("long"));
  wait(0);
  EXPECT_EQ(hud()->statusLabel()->frame(), gfx::Rect(12, 68, 150, 40));
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 174, 120));

  // A minimum size widens the panel and the label with it.
  measureAs(gfx::Size{60, 16.7});
  HUD::setMinimumSize(gfx::Size{200, 200});
  HUD::showWithStatus(std::string("short"));
  wait(0);
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 200, 200));
  EXPECT_EQ(hud()->statusLabel()->frame(), gfx::Rect(0, 68, 200, 17));
}

TEST_F(AOProgressHUDTest, IconShowWithoutImageLaysOutTheTextAlone) {
  measureAs(gfx::Size{150, 40});
  HUD::showImage(nullptr, std::string("text only"));
  settle();
  EXPECT_FALSE(hud()->imageView()->isHidden());
  EXPECT_EQ(hud()->imageView()->image(), nullptr);
  EXPECT_EQ(hud()->statusLabel()->frame(), gfx::Rect(0, 9, 174, 40));
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 174, 60));

  // setStatus lays out again at once, without a queue.
  measureAs(gfx::Size{60, 16.7});
  HUD::setStatus(std::string("x"));
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 124, 37));
  HUD::setStatus(std::nullopt);
  EXPECT_EQ(panelBounds(), gfx::Rect(0, 0, 100, 100));
}

TEST_F(AOProgressHUDTest, FramesAndTextsOnBothTablets) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    SCOPED_TRACE(device == support::Device::Standard ? "standard" : "12.9-inch");
    setDevice(device);
    HUD::resetSharedView();
    listScreenStyle(device == support::Device::Standard ? 10 : 13);
    HUD::showWithStatus(std::string("搜索中"));
    settle();
    const gfx::Rect bounds = window().bounds();
    EXPECT_EQ(hud()->frame(), bounds);
    EXPECT_EQ(hud()->overlayView()->frame(), bounds);
    auto label = findViewByText("搜索中");
    ASSERT_TRUE(label);
    EXPECT_EQ(label.get(), hud()->statusLabel().get());
    // A short text: the spinner panel keeps its 124-point width, the label sits under the spinner.
    const gfx::Rect labelFrame = label->frame();
    EXPECT_EQ(panelBounds().width(), 124);
    EXPECT_EQ(labelFrame.origin, (gfx::Point{0, 68}));
    EXPECT_EQ(labelFrame.width(), 124);
    EXPECT_GT(labelFrame.height(), 10);
    EXPECT_EQ(panelBounds().height(), 80 + labelFrame.height());
    // 45 % down the window, centred across.
    EXPECT_EQ(panelCentre(), (gfx::Point{bounds.width() / 2, std::floor(bounds.height() * 0.45f)}));
    EXPECT_EQ(hud()->indefiniteAnimatedView()->center(), (gfx::Point{62, 36}));
    HUD::dismiss();
    settle();
  }
}

TEST_F(AOProgressHUDTest, PositionFollowsKeyboardOrientationAndOffset) {
  HUD::show();
  settle();
  EXPECT_EQ(panelCentre(), (gfx::Point{512, 345}));
  EXPECT_EQ(hud()->hudView()->transform().b, 0);

  // The keyboard comes up: A = 768 + 2 x 20 - 352 = 456, y = floor(456 x 0.45) = 205.
  ui::Keyboard::shared().show();
  wait(0.5);
  EXPECT_EQ(panelCentre(), (gfx::Point{512, 205}));
  ui::Keyboard::shared().hide();
  wait(0.5);
  EXPECT_EQ(panelCentre(), (gfx::Point{512, 345}));

  // The gradient backdrop centres on the part of the screen the keyboard leaves.
  HUD::setOffsetFromCenter(gfx::Size{10, -20});
  HUD::showWithMaskType(HUD::MaskTypeGradient);
  wait(0);
  EXPECT_EQ(panelCentre(), (gfx::Point{522, 325}));
  HUD::resetOffsetFromCenter();
  HUD::show();
  wait(0);
  EXPECT_EQ(panelCentre(), (gfx::Point{512, 345}));
}

TEST_F(AOProgressHUDTest, WithoutTheVersionQueryThePanelTurnsWithTheStatusBar) {
  HUD::setOperatingSystemVersionAvailable(false);
  auto portrait = ui::Window::create(gfx::Rect(0, 0, 768, 1024));
  portrait->makeKeyAndVisible();
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::LandscapeLeft);
  HUD::show();
  settle();
  EXPECT_EQ(hud()->overlayView()->superview(), portrait.get());
  EXPECT_EQ(panelCentre(), (gfx::Point{345, 512}));
  const auto t = hud()->hudView()->transform();
  EXPECT_NEAR(std::atan2(t.b, t.a), -M_PI / 2, 1e-6);

  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::LandscapeRight);
  wait(0.1);
  EXPECT_EQ(panelCentre(), (gfx::Point{423, 512}));
  const auto turned = hud()->hudView()->transform();
  EXPECT_NEAR(std::atan2(turned.b, turned.a), M_PI / 2, 1e-6);
  EXPECT_EQ(hud()->motionEffects().size(), 2u);
  EXPECT_EQ(hud()->motionEffects()[0].type, 1);
  HUD::dismiss();
  settle();
  portrait.reset();
}

// ---- Masks and touches --------------------------------------------------------------------

TEST_F(AOProgressHUDTest, OnlyMaskTypeNoneLetsTouchesThrough) {
  auto button = addButtonUnderneath();
  for (uint64_t mask = 1; mask <= 5; ++mask) {
    SCOPED_TRACE(mask);
    HUD::showWithMaskType(mask);
    settle();
    m_taps = 0;
    m_recorder.clear();
    tap(gfx::Point{100, 100});
    EXPECT_EQ(m_taps, mask == 1 ? 1 : 0);
    EXPECT_EQ(m_recorder.count(HUD::DidReceiveTouchEventNotification), mask == 1 ? 0 : 1);
    EXPECT_EQ(hud()->isClear(), mask <= 2);
    // A touch never dismisses the overlay.
    EXPECT_TRUE(HUD::isVisible());
    HUD::dismiss();
    settle();
  }
  // Gone: touches reach the button again.
  m_taps = 0;
  tap(gfx::Point{100, 100});
  EXPECT_EQ(m_taps, 1);
}

TEST_F(AOProgressHUDTest, TouchesOnThePanelPostBothNotifications) {
  HUD::setDefaultMaskType(HUD::MaskTypeClear);
  HUD::show();
  settle();
  tap(gfx::Point{20, 20});
  EXPECT_EQ(m_recorder.count(HUD::DidReceiveTouchEventNotification), 1);
  EXPECT_EQ(m_recorder.count(HUD::DidTouchDownInsideNotification), 0);
  m_recorder.clear();
  tap(panelCentre());
  EXPECT_EQ(m_recorder.names(), (std::vector<std::string>{HUD::DidReceiveTouchEventNotification,
                                                          HUD::DidTouchDownInsideNotification}));
  EXPECT_EQ(hud()->accessibilityElement(), HUD::AccessibilityElement::View);
}

TEST_F(AOProgressHUDTest, MaskTypeGivenToAShowHoldsForThatShowOnly) {
  auto button = addButtonUnderneath();
  HUD::setDefaultMaskType(HUD::MaskTypeClear);
  HUD::showWithStatus(std::string("已发送"), HUD::MaskTypeNone);
  EXPECT_EQ(hud()->defaultMaskType(), HUD::MaskTypeClear);
  settle();
  tap(gfx::Point{100, 100});
  EXPECT_EQ(m_taps, 1);
  EXPECT_EQ(hud()->accessibilityElement(), HUD::AccessibilityElement::Panel);
  EXPECT_EQ(hud()->accessibilityLabel(), "已发送");
  EXPECT_EQ(hud()->defaultMaskType(), HUD::MaskTypeClear);

  // The next show uses the default again (the overlay is still on screen).
  HUD::showErrorWithStatus(std::string("加载数据失败!"));
  settle();
  tap(gfx::Point{100, 100});
  EXPECT_EQ(m_taps, 1);
}

TEST_F(AOProgressHUDTest, BackdropsOfTheDimmingMasks) {
  HUD::setBackgroundLayerColor(gfx::Color::red().withAlpha(0.3));
  HUD::showWithMaskType(HUD::MaskTypeBlack);
  settle();
  auto backdrop = hud()->backgroundLayer();
  ASSERT_TRUE(backdrop);
  EXPECT_EQ(hud()->layer()->sublayers().front().get(), backdrop.get());
  EXPECT_EQ(backdrop->frame(), window().bounds());
  EXPECT_EQ(backdrop->backgroundColor(), gfx::Color::black().withAlpha(0.4));

  HUD::showWithMaskType(HUD::MaskTypeCustom);
  wait(0);
  EXPECT_NE(hud()->backgroundLayer().get(), backdrop.get());
  EXPECT_EQ(backdrop->superlayer(), nullptr);
  EXPECT_EQ(hud()->backgroundLayer()->backgroundColor(), gfx::Color::red().withAlpha(0.3));

  HUD::showWithMaskType(HUD::MaskTypeGradient);
  wait(0);
  auto gradient = std::dynamic_pointer_cast<AORadialGradientLayer>(hud()->backgroundLayer());
  ASSERT_TRUE(gradient);
  EXPECT_EQ(gradient->gradientCenter(), (gfx::Point{512, 384}));
  auto shot = screenshot("gradient");
  ASSERT_TRUE(shot);
  // Clear in the middle (the panel is clear in the light style), dark towards the corners.
  const uint32_t near = colorAt(*shot, gfx::Point{420, 384}) & 0xff;
  const uint32_t corner = colorAt(*shot, gfx::Point{5, 5}) & 0xff;
  EXPECT_GT(near, 0xe0u);
  EXPECT_NEAR(double(corner), 255 * (1 - 0.75 * 640 / 768), 6);

  HUD::showWithMaskType(HUD::MaskTypeClear);
  wait(0);
  EXPECT_EQ(hud()->backgroundLayer(), nullptr);
}

// ---- Timing and queueing ------------------------------------------------------------------

TEST_F(AOProgressHUDTest, DisplayDurationFollowsTheTextLength) {
  EXPECT_DOUBLE_EQ(HUD::displayDurationForString(std::string(75, 'a')), 5);
  EXPECT_DOUBLE_EQ(HUD::displayDurationForString(std::string(100, 'a')), 6.5);
  // Counted in UTF-16 units: a Chinese character is one, a character beyond the BMP two.
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += "网";
  EXPECT_DOUBLE_EQ(HUD::displayDurationForString(chinese), 6.5);
  std::string emoji;
  for (int i = 0; i < 50; ++i) emoji += "\xF0\x9F\x8E\xA4";
  EXPECT_DOUBLE_EQ(HUD::displayDurationForString(emoji), 6.5);
  HUD::setMinimumDismissTimeInterval(0);
  EXPECT_DOUBLE_EQ(HUD::displayDurationForString(std::nullopt), 0.5);
}

TEST_F(AOProgressHUDTest, IconShowsCloseByThemselves) {
  HUD::showSuccessWithStatus(std::string("成功"));
  settle();
  EXPECT_TRUE(HUD::isVisible());
  EXPECT_TRUE(hud()->imageView()->image());
  EXPECT_EQ(hud()->progress(), -1);
  EXPECT_TRUE(hud()->fadeOutTimer());
  wait(4.5);
  EXPECT_TRUE(HUD::isVisible());
  wait(0.5);
  EXPECT_EQ(m_recorder.count(HUD::WillDisappearNotification), 1);
  settle();
  EXPECT_FALSE(HUD::isVisible());
  EXPECT_EQ(m_recorder.count(HUD::DidDisappearNotification), 1);
  EXPECT_EQ(hud()->overlayView()->superview(), nullptr);
  EXPECT_EQ(hud()->superview(), nullptr);

  // 100 UTF-16 units: 6.5 s.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "错";
  HUD::showErrorWithStatus(text);
  settle();
  wait(6.0);
  EXPECT_TRUE(HUD::isVisible());
  wait(0.5);
  settle();
  EXPECT_FALSE(HUD::isVisible());
}

TEST_F(AOProgressHUDTest, DismissRunsAfterTheCurrentWork) {
  HUD::show();
  settle();
  m_recorder.clear();
  bool completed = false;
  HUD::dismissWithCompletion([&] { completed = true; });
  EXPECT_EQ(hud()->alpha(), 1);
  EXPECT_TRUE(m_recorder.names().empty());
  wait(0);
  EXPECT_EQ(m_recorder.names(), std::vector<std::string>{HUD::WillDisappearNotification});
  EXPECT_EQ(hud()->activityCount(), 0u);
  EXPECT_FALSE(completed);
  settle();
  EXPECT_TRUE(completed);
  EXPECT_EQ(m_recorder.names(), (std::vector<std::string>{HUD::WillDisappearNotification,
                                                          HUD::DidDisappearNotification}));
  EXPECT_EQ(hud()->progress(), -1);
  EXPECT_EQ(hud()->indefiniteAnimatedView()->superview(), nullptr);

  // Issued in one turn, a show then a dismissal run in that order: nothing is left on screen.
  HUD::show();
  HUD::dismiss();
  settle();
  EXPECT_FALSE(HUD::isVisible());
  EXPECT_EQ(hud()->overlayView()->superview(), nullptr);
}

TEST_F(AOProgressHUDTest, DismissWithNothingShownStillReportsAndCompletes) {
  bool completed = false;
  HUD::dismissWithCompletion([&] { completed = true; });
  settle();
  EXPECT_TRUE(completed);
  EXPECT_EQ(m_recorder.names(), (std::vector<std::string>{HUD::WillDisappearNotification,
                                                          HUD::DidDisappearNotification}));
}

TEST_F(AOProgressHUDTest, AShowDuringTheFadeOutWins) {
  HUD::show();
  settle();
  bool completed = false;
  HUD::dismissWithCompletion([&] { completed = true; });
  wait(0.05);  // fading out
  EXPECT_LT(hud()->layer()->presentation().opacity, 1);
  HUD::showWithStatus(std::string("again"));
  settle();
  wait(1);
  EXPECT_TRUE(HUD::isVisible());
  EXPECT_EQ(hud()->hudView()->alpha(), 1);
  EXPECT_EQ(hud()->overlayView()->superview(), &window());
  EXPECT_EQ(m_recorder.count(HUD::DidDisappearNotification), 0);
  EXPECT_FALSE(completed);
}

TEST_F(AOProgressHUDTest, ActivitiesAreCountedAndPopped) {
  HUD::show();
  HUD::show();
  settle();
  EXPECT_EQ(hud()->activityCount(), 2u);
  HUD::popActivity();
  settle();
  EXPECT_TRUE(HUD::isVisible());
  EXPECT_EQ(hud()->activityCount(), 1u);
  HUD::popActivity();
  settle();
  EXPECT_FALSE(HUD::isVisible());
  HUD::popActivity();
  EXPECT_EQ(hud()->activityCount(), 0u);

  // A progress of 0 is an activity, 0.5 is not; a negative progress shows the spinner.
  HUD::showProgress(0);
  HUD::showProgress(0.5f);
  settle();
  EXPECT_EQ(hud()->activityCount(), 1u);
  HUD::showProgress(-0.5f);
  wait(0);
  EXPECT_EQ(hud()->activityCount(), 2u);
  EXPECT_EQ(hud()->indefiniteAnimatedView()->superview(), hud()->hudView().get());
  EXPECT_EQ(hud()->ringView()->superview(), nullptr);
}

TEST_F(AOProgressHUDTest, ASpinnerShowCancelsThePendingAutomaticDismissal) {
  HUD::show();
  HUD::showInfoWithStatus(std::string("info"));
  settle();
  EXPECT_EQ(hud()->activityCount(), 1u);
  ASSERT_TRUE(hud()->fadeOutTimer());
  auto timer = hud()->fadeOutTimer();
  HUD::show();
  wait(0);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(hud()->fadeOutTimer(), nullptr);
  EXPECT_EQ(hud()->activityCount(), 1u);
  EXPECT_TRUE(hud()->imageView()->isHidden());
  wait(8);
  EXPECT_TRUE(HUD::isVisible());
}

TEST_F(AOProgressHUDTest, ProgressRingsShowTheFraction) {
  HUD::setDefaultStyle(HUD::StyleDark);
  HUD::showProgress(0.5f, std::string("上传中"));
  settle();
  auto ring = hud()->ringView();
  auto background = hud()->backgroundRingView();
  const auto& panel = hud()->hudView()->subviews();
  ASSERT_EQ(ring->superview(), hud()->hudView().get());
  // The faint full ring lies above the progress ring.
  auto ringAt = std::find(panel.begin(), panel.end(), ring);
  auto backgroundAt = std::find(panel.begin(), panel.end(), background);
  EXPECT_LT(ringAt, backgroundAt);
  EXPECT_EQ(ring->radius(), 18);
  EXPECT_EQ(ring->center(), (gfx::Point{hud()->hudView()->bounds().width() / 2, 36}));
  EXPECT_EQ(ring->ringAnimatedLayer()->presentation().strokeEnd, 0.5);
  EXPECT_EQ(ring->strokeColor(), gfx::Color::whiteColor());
  EXPECT_NEAR(background->strokeColor().a(), 0.1, 1e-6);
  EXPECT_EQ(background->ringAnimatedLayer()->strokeEnd(), 1);
  EXPECT_EQ(hud()->progress(), 0.5f);

  // An icon show takes the rings down.
  HUD::showSuccessWithStatus(std::string("完成"));
  wait(0);
  EXPECT_EQ(ring->superview(), nullptr);
  EXPECT_EQ(background->superview(), nullptr);
}

// ---- Styles, colours and spinners -----------------------------------------------------------

TEST_F(AOProgressHUDTest, StylesColourThePanelTextAndIcons) {
  HUD::showWithStatus(std::string("light"));
  settle();
  EXPECT_EQ(hud()->statusLabel()->textColor(), gfx::Color::black());
  EXPECT_EQ(hud()->hudView()->backgroundColor(), gfx::Color::clear());
  EXPECT_EQ(hud()->hudView()->layer()->cornerRadius(), 14);

  HUD::setDefaultStyle(HUD::StyleDark);
  HUD::showWithStatus(std::string("dark"));
  wait(0);
  EXPECT_EQ(hud()->statusLabel()->textColor(), gfx::Color::whiteColor());
  EXPECT_EQ(std::static_pointer_cast<AOIndefiniteAnimatedView>(hud()->indefiniteAnimatedView())->strokeColor(),
            gfx::Color::whiteColor());

  // The list screens' look: black 40 % box, white text, the platform spinner, blocking mask.
  listScreenStyle(10);
  HUD::showWithStatus(std::string("custom"));
  wait(0);
  EXPECT_EQ(hud()->hudView()->backgroundColor(), gfx::Color::black().withAlpha(0.4));
  EXPECT_EQ(hud()->statusLabel()->textColor(), gfx::Color::whiteColor());
  EXPECT_EQ(hud()->statusLabel()->font()->pointSize(), 10);
  auto native = std::dynamic_pointer_cast<ui::ActivityIndicatorView>(hud()->indefiniteAnimatedView());
  ASSERT_TRUE(native);
  EXPECT_TRUE(native->isAnimating());
  EXPECT_EQ(native->color(), gfx::Color::whiteColor());

  // The error icon is drawn in the foreground colour.
  HUD::setForegroundColor(gfx::Color::red());
  HUD::showErrorWithStatus(std::string("失败"));
  wait(0);
  auto icon = hud()->imageView()->image();
  ASSERT_TRUE(icon) << "error image missing from the resource bundle";
  int opaque = 0;
  for (int y = 0; y < icon->pixelHeight(); ++y) {
    for (int x = 0; x < icon->pixelWidth(); ++x) {
      uint32_t p = icon->pixelAt(x, y);
      if ((p >> 24) == 0xff) {
        ++opaque;
        EXPECT_EQ(p, 0xffff0000u);
      }
    }
  }
  EXPECT_GT(opaque, 0);
  EXPECT_EQ(native->superview(), nullptr);
  EXPECT_FALSE(native->isAnimating());
}

TEST_F(AOProgressHUDTest, ChangingTheAnimationTypeReplacesTheSpinner) {
  HUD::setDefaultAnimationType(HUD::AnimationTypeNative);
  HUD::show();
  settle();
  auto first = hud()->indefiniteAnimatedView();
  EXPECT_TRUE(std::dynamic_pointer_cast<ui::ActivityIndicatorView>(first));
  HUD::dismiss();
  settle();
  HUD::setDefaultAnimationType(HUD::AnimationTypeFlat);
  HUD::show();
  settle();
  auto second = std::dynamic_pointer_cast<AOIndefiniteAnimatedView>(hud()->indefiniteAnimatedView());
  ASSERT_TRUE(second);
  EXPECT_EQ(second->superview(), hud()->hudView().get());
  // The flat spinner turns from the moment it is shown.
  EXPECT_TRUE(second->indefiniteAnimatedLayer()->animationForKey(AOIndefiniteAnimatedView::ProgressAnimationKey));
}

TEST_F(AOProgressHUDTest, WithNoUsableWindowNothingIsSeenButStatesGoOn) {
  window().setHidden(true);
  HUD::show();
  settle();
  EXPECT_EQ(hud()->overlayView()->superview(), nullptr);
  EXPECT_EQ(hud()->activityCount(), 1u);
  EXPECT_EQ(m_recorder.count(HUD::WillAppearNotification), 1);

  // Windows above the allowed level are not used either.
  HUD::dismiss();
  settle();
  window().setHidden(false);
  window().setWindowLevel(1000);
  HUD::show();
  settle();
  EXPECT_EQ(hud()->overlayView()->superview(), nullptr);
  HUD::setMaxSupportedWindowLevel(1000);
  HUD::show();
  wait(0);
  EXPECT_EQ(hud()->overlayView()->superview(), &window());
}

// ---- Screenshots ----------------------------------------------------------------------------

TEST_F(AOProgressHUDTest, Screenshots) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    const std::string suffix = device == support::Device::Standard ? "-1024" : "-12.9";
    setDevice(device);
    HUD::resetSharedView();
    auto background = ui::Label::create(gfx::Rect(40, 40, 400, 40));
    background->setText("歌曲列表");
    window().addSubview(background);

    // The overlay's own look (before any list screen styled it): a flat ring, touches pass.
    HUD::showWithStatus(std::string("正在发送"), HUD::MaskTypeNone);
    settle();
    ASSERT_TRUE(screenshot("flat-spinner-with-text" + suffix));

    listScreenStyle(device == support::Device::Standard ? 10 : 13);
    HUD::showWithStatus(std::string("搜索中"));
    settle();
    auto shot = screenshot("spinner-with-text" + suffix);
    ASSERT_TRUE(shot);
    // The black 40 % box over the white window, centred 45 % down.
    const gfx::Point centre = panelCentre();
    EXPECT_EQ(colorAt(*shot, gfx::Point{centre.x - 55, centre.y}), 0xff999999u);
    EXPECT_EQ(colorAt(*shot, gfx::Point{centre.x - 70, centre.y}), 0xffffffffu);

    HUD::showSuccessWithStatus(std::string("已添加"));
    settle();
    ASSERT_TRUE(screenshot("success" + suffix));

    HUD::setFadeInAnimationDuration(0.15);
    HUD::showErrorWithStatus(std::string("哎呀,网速不给力呀!"));
    settle();
    ASSERT_TRUE(screenshot("error" + suffix));
    HUD::dismiss();
    settle();
  }
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

// The overlay's icons come from the file the drawing scale takes (the smallest at or above it),
// whatever the tablet's mode says, at the same size in points.
TEST(AOProgressHUDImageTest, IconsAreTheDrawingScalesFiles) {
  const double saved = gfx::Image::drawingScale();
  for (auto [drawing, file] : {std::pair{1.0, 1.0}, {1.40625, 2.0}, {2.0, 2.0}, {2.8125, 3.0}}) {
    gfx::Image::setDrawingScale(drawing);
    auto info = AOProgressHUD::bundleImage("info");
    ASSERT_NE(info, nullptr) << drawing;
    EXPECT_EQ(info->scale(), file) << drawing;
    auto one = AOProgressHUD::bundleImage("angle-mask");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->size(), (gfx::Size{40, 40})) << drawing;
  }
  gfx::Image::setDrawingScale(saved);
}

}  // namespace
}  // namespace kt
