#include "widgets/feedback/SNStatusBarNotification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <variant>

#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/feedback/SNStatusBarStyle.h"
#include "widgets/feedback/SNStatusBarView.h"

namespace {

using gfx::Rect;
using kt::SNStatusBarAnimationType;
using kt::SNStatusBarNotification;
using kt::SNStatusBarProgressBarPosition;
using kt::SNStatusBarStyle;

// ---- Styles ----------------------------------------------------------------------------------

TEST(SNStatusBarStyleTest, BuiltInStylesChangeOnlyTheirOwnCells) {
  auto base = SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleDefault);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->barColor(), gfx::Color::whiteColor());
  EXPECT_EQ(base->textColor(), gfx::Color::gray());
  EXPECT_EQ(base->font()->pointSize(), 12);
  EXPECT_EQ(base->progressBarColor(), gfx::Color::green());
  EXPECT_EQ(base->progressBarHeight(), 1.0);
  EXPECT_EQ(base->progressBarPosition(), SNStatusBarProgressBarPosition::Bottom);
  EXPECT_EQ(base->animationType(), SNStatusBarAnimationType::Move);
  EXPECT_FALSE(base->textShadow().has_value());

  auto matrix = SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleMatrix);
  ASSERT_NE(matrix, nullptr);
  EXPECT_EQ(matrix->barColor(), gfx::Color::black());
  EXPECT_EQ(matrix->textColor(), gfx::Color::green());
  EXPECT_EQ(matrix->font()->name(), "Courier-Bold");
  EXPECT_EQ(matrix->font()->pointSize(), 14);
  EXPECT_EQ(matrix->progressBarHeight(), 2.0);
  EXPECT_EQ(matrix->animationType(), SNStatusBarAnimationType::Move);

  auto error = SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleError);
  EXPECT_EQ(error->barColor(), gfx::Color::rgba(0.588, 0.118, 0.0, 1.0));
  EXPECT_EQ(error->progressBarColor(), gfx::Color::red());
  EXPECT_EQ(error->progressBarHeight(), 2.0);
  EXPECT_EQ(error->font()->pointSize(), 12);

  auto warning = SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleWarning);
  EXPECT_EQ(warning->progressBarColor(), warning->textColor());
  EXPECT_EQ(warning->textColor(), gfx::Color::darkGray());

  // One device pixel more than a point: follows the screen's scale.
  ui::Screen::main().setMode(gfx::Size{1024, 768}, 1);
  EXPECT_EQ(SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleSuccess)->progressBarHeight(), 2.0);
  ui::Screen::main().reset();
  EXPECT_EQ(SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleSuccess)->progressBarHeight(), 1.5);
  EXPECT_EQ(SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleDark)->textColor(), gfx::Color::white(0.95));

  EXPECT_EQ(SNStatusBarStyle::defaultStyleWithName("SNStatusBarStyleNeon"), nullptr);
  EXPECT_EQ(SNStatusBarStyle::defaultStyleWithName(""), nullptr);
  EXPECT_EQ(SNStatusBarStyle::allDefaultStyleIdentifier(),
            (std::vector<std::string>{"SNStatusBarStyleError", "SNStatusBarStyleWarning", "SNStatusBarStyleSuccess",
                                      "SNStatusBarStyleMatrix", "SNStatusBarStyleDark"}));
}

TEST(SNStatusBarStyleTest, CopyIsANewObjectSharingTheFont) {
  auto matrix = SNStatusBarStyle::defaultStyleWithName(kt::SNStatusBarStyleMatrix);
  matrix->setTextShadow(kt::SNStatusBarTextShadow{gfx::Color::red(), gfx::Size{1, 2}});
  matrix->setTextVerticalPositionAdjustment(3);
  auto copy = matrix->copy();
  ASSERT_NE(copy, matrix);
  EXPECT_EQ(copy->font(), matrix->font());
  EXPECT_EQ(copy->barColor(), matrix->barColor());
  ASSERT_TRUE(copy->textShadow().has_value());
  EXPECT_EQ(copy->textShadow()->offset, (gfx::Size{1, 2}));
  EXPECT_EQ(copy->textVerticalPositionAdjustment(), 3);
  copy->setBarColor(gfx::Color::blue());
  EXPECT_EQ(matrix->barColor(), gfx::Color::black());
}

// ---- The notifier on screen --------------------------------------------------------------------

class SNStatusBarNotificationTest : public support::ScreenTest {
 protected:
  SNStatusBarNotificationTest() {
    SNStatusBarNotification::resetSharedInstance();
    core::UserDefaults::standard().setString("Server_Ip", "192.168.1.20");
  }
  ~SNStatusBarNotificationTest() override { SNStatusBarNotification::resetSharedInstance(); }

  static std::shared_ptr<SNStatusBarNotification> notifier() { return SNStatusBarNotification::sharedInstance(); }
  static std::shared_ptr<kt::SNStatusBarView> bar() { return notifier()->currentTopBar(); }
  // Where the bar is drawn now (its slide).
  static double presentedOffsetY(const ui::View& view) {
    return view.layer()->presentation().transform.toAffine().ty;
  }
  static std::shared_ptr<ui::Label> labelTagged(int tag) {
    return std::dynamic_pointer_cast<ui::Label>(bar()->viewWithTag(tag));
  }
  static Rect frameOf(const std::shared_ptr<ui::View>& v) { return v ? v->frame() : Rect::null(); }
  // Shown on the screen, over the key window.
  bool isInFrontOfTheKeyWindow(const std::shared_ptr<ui::Window>& overlay) const {
    auto shown = ui::Application::shared().visibleWindows();
    auto at = [&](const ui::Window* w) {
      return std::find_if(shown.begin(), shown.end(), [&](const auto& s) { return s.get() == w; });
    };
    return overlay && at(overlay.get()) != shown.end() && at(&window()) < at(overlay.get());
  }

  // The room-server link's sequence: connection text, date text, show.
  void showStrip() {
    notifier()->setOffLineStr(std::string("已连接"));
    notifier()->setWifiStr(std::string("系统日期：2024-05-01 20:15:00"));
    SNStatusBarNotification::showCustomStatus();
  }

  void expectStripPairs(double W) {
    const double s = (W - 100) / 4;
    auto n = notifier();
    EXPECT_EQ(frameOf(n->offLineImageView()), Rect(100, 3, 14, 14));
    EXPECT_EQ(frameOf(n->offLineLabel()), Rect(120, 3, s - 70, 14));
    EXPECT_EQ(frameOf(n->serverImageView()), Rect(s + 50, 3, 14, 14));
    EXPECT_EQ(frameOf(n->serverLabel()), Rect(s + 70, 3, s + 30, 14));
    EXPECT_EQ(frameOf(n->clerkImageView()), Rect(2 * s + 100, 3, 14, 14));
    EXPECT_EQ(frameOf(n->clerkLabel()), Rect(2 * s + 120, 3, s - 20, 14));
    EXPECT_EQ(frameOf(n->wifiImageView()), Rect(3 * s + 100, 3, 14, 14));
    EXPECT_EQ(frameOf(n->wifiLabel()), Rect(3 * s + 120, 3, s - 20, 14));
  }
};

TEST_F(SNStatusBarNotificationTest, StripOnTheStandardTabletSlidesInWithTheStoredTexts) {
  // Made with the notifier: bar, strip and a hidden window, before any show.
  ASSERT_TRUE(SNStatusBarNotification::isVisible());
  auto window = notifier()->currentOverlayWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isHidden());
  EXPECT_EQ(window->windowLevel(), SNStatusBarNotification::WindowLevelStatusBar);
  EXPECT_FALSE(window->isUserInteractionEnabled());
  EXPECT_EQ(labelTagged(SNStatusBarNotification::OffLineLabelTag)->text(), "在线");

  showStrip();
  auto b = bar();
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(window->isHidden());
  EXPECT_TRUE(isInFrontOfTheKeyWindow(window));
  EXPECT_EQ(b->bounds(), Rect(0, 0, 1024, 20));
  EXPECT_EQ(b->backgroundColor(), gfx::Color::black());
  EXPECT_EQ(b->textLabel()->text(), "");
  EXPECT_EQ(b->textLabel()->textColor(), gfx::Color::green());
  EXPECT_EQ(b->textLabel()->font()->name(), "Courier-Bold");
  EXPECT_EQ(b->textLabel()->textAlignment(), gfx::TextAlignment::Center);

  // The worked example of the layout: s = 231.
  expectStripPairs(1024);
  EXPECT_EQ(frameOf(notifier()->serverLabel()), Rect(301, 3, 261, 14));
  EXPECT_EQ(labelTagged(1001)->text(), "已连接");
  EXPECT_EQ(labelTagged(1002)->text(), "服务器：192.168.1.20");
  EXPECT_EQ(labelTagged(1003)->text(), "");
  EXPECT_EQ(labelTagged(1004)->text(), "系统日期：2024-05-01 20:15:00");
  auto label = notifier()->wifiLabel();
  EXPECT_EQ(label->font()->name(), "HelveticaNeue-Bold");
  EXPECT_EQ(label->font()->pointSize(), 12);
  EXPECT_EQ(label->textColor(), gfx::Color::whiteColor());
  EXPECT_EQ(label->shadowOffset(), (gfx::Size{0, 1}));
  EXPECT_FALSE(label->shadowColor().has_value());
  // Icons before their labels; the bar's own text above them all.
  const auto& subs = b->subviews();
  ASSERT_GE(subs.size(), 9u);
  EXPECT_EQ(subs[0], notifier()->offLineImageView());
  EXPECT_EQ(subs[1], notifier()->offLineLabel());
  EXPECT_EQ(subs[7], notifier()->wifiLabel());
  EXPECT_NE(notifier()->offLineImageView()->image(), nullptr);
  EXPECT_NE(notifier()->wifiImageView()->image(), nullptr);

  // Slides down from just above the screen edge in 0.4 s.
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), -20);
  wait(0.2);
  EXPECT_GT(presentedOffsetY(*b), -20);
  EXPECT_LT(presentedOffsetY(*b), 0);
  wait(0.25);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  EXPECT_FALSE(b->layer()->hasRunningAnimations());
  render();
  EXPECT_EQ(b->textLabel()->frame(), Rect(0, 1, 1024, 19));

  auto image = screenshot("strip-standard");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(colorAt(*image, gfx::Point{60, 10}), 0xFF000000u);   // the black bar
  EXPECT_EQ(colorAt(*image, gfx::Point{60, 30}), 0xFFFFFFFFu);   // the window below
}

TEST_F(SNStatusBarNotificationTest, StripOnTheLargeTabletSpansTheLongSideOfTheStatusBar) {
  setDevice(support::Device::LargeTablet);
  SNStatusBarNotification::resetSharedInstance();
  // The interface in landscape: the status bar runs along the screen's long side.
  ASSERT_EQ(ui::Application::shared().statusBarFrame(), Rect(0, 0, 1366, 20));
  showStrip();
  wait(0.5);
  EXPECT_EQ(bar()->bounds(), Rect(0, 0, 1366, 20));
  expectStripPairs(1366);
  EXPECT_EQ(frameOf(notifier()->clerkImageView()), Rect(733, 3, 14, 14));
  screenshot("strip-large-tablet-landscape");

  // Turned to portrait the frame changes and the bar follows; the pairs stay where they were built.
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
  EXPECT_EQ(bar()->bounds(), Rect(0, 0, 1024, 20));
  expectStripPairs(1366);
  // A new bar (after a dismissal) is built for the new width.
  SNStatusBarNotification::dismiss();
  wait(0.5);
  showStrip();
  wait(0.5);
  expectStripPairs(1024);
  auto image = screenshot("strip-large-tablet-portrait");
  ASSERT_NE(image, nullptr);
  // The landscape display shows the portrait screen turned: the strip runs along its left edge.
  EXPECT_EQ(colorAt(*image, display().displayPointFromScreen(gfx::Point{60, 10})), 0xFF000000u);
  EXPECT_EQ(colorAt(*image, display().displayPointFromScreen(gfx::Point{60, 40})), 0xFFFFFFFFu);
}

TEST_F(SNStatusBarNotificationTest, TouchesPassThroughTheStripToTheWindowBelow) {
  int fired = 0;
  auto button = ui::Button::create(ui::ButtonType::Custom, Rect(0, 0, 300, 44));
  button->setTitle(std::string("返回"));
  button->addTarget(this, [&](ui::Control&, const ui::Event*) { ++fired; }, ui::ControlEventTouchUpInside);
  windowPtr()->addSubview(button);

  showStrip();
  wait(0.5);
  // Right on the strip's connection label, and on the bar away from the labels.
  tap(gfx::Point{130, 10});
  tap(gfx::Point{250, 18});
  EXPECT_EQ(fired, 2);
  // The overlay takes no touch anywhere, even where its bar is drawn.
  auto overlay = notifier()->currentOverlayWindow();
  EXPECT_EQ(overlay->hitTest(gfx::Point{130, 10}, nullptr), nullptr);
  EXPECT_TRUE(isInFrontOfTheKeyWindow(overlay));
  EXPECT_EQ(ui::Application::shared().windowForTouchAt(gfx::Point{130, 10}), windowPtr());
  EXPECT_EQ(window().hitTest(gfx::Point{130, 10}, nullptr), button);
  // A view added later to the window is still reached under the strip.
  tap(gfx::Point{10, 30});
  EXPECT_EQ(fired, 3);
}

TEST_F(SNStatusBarNotificationTest, DismissSlidesUpThenDropsWindowAndBarAndTheNextShowRebuildsThem) {
  showStrip();
  wait(0.5);
  auto firstBar = bar();
  auto firstWindow = notifier()->currentOverlayWindow();

  SNStatusBarNotification::dismiss();
  wait(0.2);
  EXPECT_TRUE(SNStatusBarNotification::isVisible());
  EXPECT_LT(presentedOffsetY(*firstBar), 0);
  EXPECT_GT(presentedOffsetY(*firstBar), -20);
  wait(0.25);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());
  EXPECT_EQ(notifier()->currentOverlayWindow(), nullptr);
  EXPECT_EQ(notifier()->currentProgressView(), nullptr);
  EXPECT_TRUE(firstWindow->isHidden());
  EXPECT_FALSE(isInFrontOfTheKeyWindow(firstWindow));
  EXPECT_EQ(findViewByText("已连接"), nullptr);

  // The server address is read again; the stored texts stay.
  core::UserDefaults::standard().setString("Server_Ip", "10.1.1.9");
  notifier()->setOffLineStr(std::string("断开连接"));
  SNStatusBarNotification::showCustomStatus();
  ASSERT_NE(bar(), nullptr);
  EXPECT_NE(bar(), firstBar);
  EXPECT_NE(notifier()->currentOverlayWindow(), firstWindow);
  EXPECT_EQ(labelTagged(1002)->text(), "服务器：10.1.1.9");
  EXPECT_EQ(labelTagged(1001)->text(), "断开连接");
  EXPECT_EQ(labelTagged(1004)->text(), "系统日期：2024-05-01 20:15:00");
  EXPECT_NE(findViewByText("断开连接"), nullptr);
  wait(0.5);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*bar()), 0);
}

TEST_F(SNStatusBarNotificationTest, ShowingTheStripAgainOnlyChangesItsTexts) {
  showStrip();
  wait(0.5);
  auto b = bar();
  notifier()->setWifiStr(std::string("系统日期：2024-05-01 20:16:00"));
  // Stored only: nothing on screen changes until the next show.
  EXPECT_EQ(labelTagged(1004)->text(), "系统日期：2024-05-01 20:15:00");
  SNStatusBarNotification::showCustomStatus();
  EXPECT_EQ(bar(), b);
  EXPECT_EQ(labelTagged(1004)->text(), "系统日期：2024-05-01 20:16:00");
  // Same style object: no reset, no movement.
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  wait(0.2);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);

  // Another style starts over from above the edge.
  SNStatusBarNotification::showWithStatus(std::string("订单已提交"), std::string(kt::SNStatusBarStyleSuccess));
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), -20);
  EXPECT_EQ(b->textLabel()->text(), "订单已提交");
  EXPECT_EQ(b->backgroundColor(), gfx::Color::rgba(0.588, 0.797, 0.0, 1.0));
  // A name nobody registered shows in the default style.
  SNStatusBarNotification::showWithStatus(std::string("x"), std::string("NoSuchStyle"));
  EXPECT_EQ(notifier()->activeStyle(), notifier()->defaultStyle());
  EXPECT_EQ(b->backgroundColor(), gfx::Color::whiteColor());
  EXPECT_EQ(b->textLabel()->textColor(), gfx::Color::gray());
}

TEST_F(SNStatusBarNotificationTest, AShowDuringTheSlideUpBringsTheStripBackWhole) {
  showStrip();
  wait(0.5);
  SNStatusBarNotification::dismiss();
  wait(0.2);
  // The link reconnects while the strip is leaving.
  notifier()->setOffLineStr(std::string("已连接"));
  SNStatusBarNotification::showCustomStatus();
  wait(0.5);
  ASSERT_TRUE(SNStatusBarNotification::isVisible());
  auto b = bar();
  auto window = notifier()->currentOverlayWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->isHidden());
  EXPECT_TRUE(isInFrontOfTheKeyWindow(window));
  EXPECT_EQ(b->bounds(), Rect(0, 0, 1024, 20));
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  expectStripPairs(1024);
  EXPECT_EQ(labelTagged(1001)->text(), "已连接");
  // Nothing left over drops it later.
  wait(1.0);
  EXPECT_EQ(bar(), b);
  EXPECT_NE(findViewByText("已连接"), nullptr);

  // Two dismissals in a row, then a show: the show's bar stays.
  SNStatusBarNotification::dismiss();
  wait(0.1);
  SNStatusBarNotification::dismiss();
  wait(0.1);
  SNStatusBarNotification::showCustomStatus();
  wait(1.0);
  ASSERT_TRUE(SNStatusBarNotification::isVisible());
  EXPECT_TRUE(isInFrontOfTheKeyWindow(notifier()->currentOverlayWindow()));
  EXPECT_DOUBLE_EQ(presentedOffsetY(*bar()), 0);
}

TEST_F(SNStatusBarNotificationTest, TimedDismissalReplacesTheEarlierOne) {
  SNStatusBarNotification::showWithStatus(std::string("已保存"), 1.0);
  EXPECT_TRUE(notifier()->hasPendingDismissal());
  wait(0.9);
  EXPECT_NE(findViewByText("已保存"), nullptr);
  wait(0.6);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());

  SNStatusBarNotification::showWithStatus(std::string("同步"), 1.0, std::string(kt::SNStatusBarStyleDark));
  SNStatusBarNotification::dismissAfter(3.0);
  wait(2.0);
  EXPECT_TRUE(SNStatusBarNotification::isVisible());
  EXPECT_NE(findViewByText("同步"), nullptr);
  wait(1.5);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());

  // Dismissing stops the timer.
  SNStatusBarNotification::showWithStatus(std::string("a"), 1.0);
  SNStatusBarNotification::dismissAnimated(false);
  EXPECT_FALSE(notifier()->hasPendingDismissal());
}

TEST_F(SNStatusBarNotificationTest, AnimationTypesNoneFadeAndBounce) {
  SNStatusBarNotification::addStyleNamed("Instant", [](auto style) {
    style->setAnimationType(SNStatusBarAnimationType::None);
    return style;
  });
  SNStatusBarNotification::addStyleNamed("Fading", [](auto style) {
    style->setAnimationType(SNStatusBarAnimationType::Fade);
    return style;
  });
  EXPECT_EQ(SNStatusBarNotification::addStyleNamed("Bouncy",
                                                  [](auto style) {
                                                    style->setAnimationType(SNStatusBarAnimationType::Bounce);
                                                    return style;
                                                  }),
            "Bouncy");

  // None: there at once, and gone at once.
  SNStatusBarNotification::showWithStatus(std::string("即时"), std::string("Instant"));
  wait(0);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*bar()), 0);
  SNStatusBarNotification::dismiss();
  wait(0);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());

  // Fade: in place, alpha 0 to 1.
  SNStatusBarNotification::showWithStatus(std::string("淡入"), std::string("Fading"));
  auto b = bar();
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  EXPECT_DOUBLE_EQ(b->layer()->presentation().opacity, 0);
  wait(0.2);
  EXPECT_GT(b->layer()->presentation().opacity, 0);
  EXPECT_LT(b->layer()->presentation().opacity, 1);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  wait(0.3);
  EXPECT_DOUBLE_EQ(b->alpha(), 1);
  SNStatusBarNotification::dismiss();
  wait(0.2);
  EXPECT_LT(b->layer()->presentation().opacity, 1);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  wait(0.3);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());

  // Bounce: falls from 20 points up with the keyframes, then rests at the identity.
  SNStatusBarNotification::showWithStatus(std::string("弹入"), std::string("Bouncy"));
  b = bar();
  auto bounce = b->layer()->animationForKey(SNStatusBarNotification::BounceAnimationKey);
  ASSERT_NE(bounce, nullptr);
  auto keyframes = std::dynamic_pointer_cast<const gfx::KeyframeAnimation>(bounce);
  ASSERT_NE(keyframes, nullptr);
  ASSERT_EQ(keyframes->values.size(), 100u);
  EXPECT_DOUBLE_EQ(std::get<gfx::Transform3D>(keyframes->values.back()).toAffine().ty, 0);
  EXPECT_NEAR(std::get<gfx::Transform3D>(keyframes->values.front()).toAffine().ty, -20 + 20 * 7.5625 * 0.0001, 1e-5);
  EXPECT_DOUBLE_EQ(keyframes->duration, 0.66);
  EXPECT_LT(presentedOffsetY(*b), -19);
  wait(0.7);
  EXPECT_DOUBLE_EQ(presentedOffsetY(*b), 0);
  EXPECT_TRUE(b->transform().isIdentity());
  EXPECT_FALSE(b->layer()->hasAnimations());
}

TEST_F(SNStatusBarNotificationTest, StylesThatComeBackEmptyAreNotTaken) {
  auto before = notifier()->defaultStyle();
  SNStatusBarNotification::setDefaultStyle([](auto) { return SNStatusBarNotification::StylePtr(); });
  EXPECT_EQ(notifier()->defaultStyle(), before);
  SNStatusBarNotification::addStyleNamed(kt::SNStatusBarStyleError, [](auto) { return SNStatusBarNotification::StylePtr(); });
  ASSERT_NE(notifier()->styleNamed(kt::SNStatusBarStyleError), nullptr);
  SNStatusBarNotification::showWithStatus(std::string("x"));
  EXPECT_EQ(bar()->backgroundColor(), gfx::Color::whiteColor());

  // A block that does answer: its style is the new default, built from a copy of the old one.
  SNStatusBarNotification::setDefaultStyle([](auto style) {
    style->setBarColor(gfx::Color::blue());
    return style;
  });
  EXPECT_NE(notifier()->defaultStyle(), before);
  EXPECT_EQ(before->barColor(), gfx::Color::whiteColor());
  SNStatusBarNotification::showWithStatus(std::string("y"));
  EXPECT_EQ(bar()->backgroundColor(), gfx::Color::blue());
}

TEST_F(SNStatusBarNotificationTest, ProgressBarIsClampedAndPlacedByTheStyle) {
  SNStatusBarNotification::showWithStatus(std::string("上传中"), std::string(kt::SNStatusBarStyleMatrix));
  wait(0.5);
  auto b = bar();
  SNStatusBarNotification::showProgress(1.5);
  auto progress = notifier()->currentProgressView();
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->superview(), b.get());
  EXPECT_EQ(progress->frame(), Rect(0, 18, 1024, 2));  // from a zero frame: at once
  EXPECT_EQ(progress->backgroundColor(), gfx::Color::green());
  // Below the text label.
  auto& subs = b->subviews();
  auto at = [&](const ui::View* v) { return std::find_if(subs.begin(), subs.end(), [&](auto& s) { return s.get() == v; }); };
  EXPECT_LT(at(progress.get()), at(b->textLabel().get()));

  SNStatusBarNotification::showProgress(0.333);
  EXPECT_EQ(progress->frame(), Rect(0, 18, 341, 2));
  SNStatusBarNotification::showProgress(-1);
  EXPECT_EQ(notifier()->progress(), 0);
  EXPECT_EQ(progress->frame(), Rect());

  // A 20-point-high progress bar in a 40-point bar fills it; a height of 0 gives 0.5; other positions.
  SNStatusBarNotification::addStyleNamed("Tall", [](auto style) {
    style->setProgressBarHeight(20);
    style->setProgressBarPosition(SNStatusBarProgressBarPosition::Center);
    return style;
  });
  SNStatusBarNotification::addStyleNamed("Thin", [](auto style) {
    style->setProgressBarHeight(0);
    style->setProgressBarPosition(SNStatusBarProgressBarPosition::Below);
    return style;
  });
  SNStatusBarNotification::addStyleNamed("Odd", [](auto style) {
    style->setProgressBarPosition(static_cast<SNStatusBarProgressBarPosition>(9));
    return style;
  });
  notifier()->updateTopBarFrameWithStatusBarFrame(Rect(0, 0, 1024, 40));
  SNStatusBarNotification::showWithStatus(std::string("t"), std::string("Tall"));
  SNStatusBarNotification::showProgress(0.5);
  EXPECT_EQ(progress->frame(), Rect(0, 0, 512, 40));
  notifier()->updateTopBarFrameWithStatusBarFrame(Rect(0, 0, 1024, 20));
  SNStatusBarNotification::showWithStatus(std::string("t"), std::string("Thin"));
  SNStatusBarNotification::showProgress(0.5);
  EXPECT_EQ(progress->superview(), b->superview());
  EXPECT_EQ(progress->frame(), Rect(0, 20, 512, 0.5));
  SNStatusBarNotification::showWithStatus(std::string("t"), std::string("Odd"));
  SNStatusBarNotification::showProgress(1);
  EXPECT_EQ(progress->frame(), Rect(0, 0, 1024, 1));

  // A change from a non-zero frame animates for 0.05 s.
  SNStatusBarNotification::showProgress(0.5);
  EXPECT_EQ(progress->frame(), Rect(0, 0, 512, 1));
  EXPECT_TRUE(progress->layer()->hasRunningAnimations());
  wait(0.1);
  EXPECT_FALSE(progress->layer()->hasRunningAnimations());

  // Ignored while there is no bar.
  SNStatusBarNotification::dismissAnimated(false);
  wait(0);
  ASSERT_FALSE(SNStatusBarNotification::isVisible());
  SNStatusBarNotification::showProgress(0.7);
  SNStatusBarNotification::showActivityIndicator(true, ui::ActivityIndicatorStyle::White);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());
  EXPECT_EQ(notifier()->progress(), 0.5);
}

TEST_F(SNStatusBarNotificationTest, ActivityIndicatorSitsLeftOfTheCentredText) {
  auto b = SNStatusBarNotification::showWithStatus(std::string("正在同步数据"), std::string(kt::SNStatusBarStyleDark));
  // Every shown bar has an indicator, stopped.
  ASSERT_TRUE(b->hasActivityIndicatorView());
  EXPECT_FALSE(b->activityIndicatorView()->isAnimating());
  SNStatusBarNotification::showActivityIndicator(true, ui::ActivityIndicatorStyle::White);
  wait(0.5);
  render();
  auto indicator = b->activityIndicatorView();
  EXPECT_TRUE(indicator->isAnimating());
  const double textWidth =
      gfx::TextLayout("正在同步数据", gfx::TextStyle::withFont(b->textLabel()->font())).size().width;
  const gfx::Rect f = indicator->frame();
  EXPECT_DOUBLE_EQ(f.width(), 14);
  EXPECT_DOUBLE_EQ(f.x(), std::round((1024 - textWidth) / 2) - 14 - 8);
  EXPECT_DOUBLE_EQ(f.y(), 4);
  SNStatusBarNotification::showActivityIndicator(false, ui::ActivityIndicatorStyle::White);
  EXPECT_FALSE(indicator->isAnimating());
}

TEST_F(SNStatusBarNotificationTest, DoubleHeightStatusBarMovesTheBarUpByHalf) {
  showStrip();
  wait(0.5);
  core::NotificationCenter::defaultCenter().post(
      ui::Application::WillChangeStatusBarFrameNotification, &ui::Application::shared(),
      core::Value(core::Value::Dictionary{
          {ui::Application::StatusBarFrameUserInfoKey, ui::Application::rectUserInfo(Rect(0, 0, 1024, 40))}}));
  EXPECT_EQ(bar()->frame(), Rect(0, -20, 1024, 40));
  wait(0.6);
  core::NotificationCenter::defaultCenter().post(
      ui::Application::WillChangeStatusBarFrameNotification, &ui::Application::shared(),
      core::Value(core::Value::Dictionary{
          {ui::Application::StatusBarFrameUserInfoKey, ui::Application::rectUserInfo(Rect(0, 0, 20, 1024))}}));
  EXPECT_EQ(bar()->frame(), Rect(0, 0, 1024, 20));
}

}  // namespace
