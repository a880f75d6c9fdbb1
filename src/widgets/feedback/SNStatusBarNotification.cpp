#include "widgets/feedback/SNStatusBarNotification.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "platform/core/Device.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TimingFunction.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "widgets/feedback/SNStatusBarNotificationViewController.h"
#include "widgets/feedback/SNStatusBarStyle.h"
#include "widgets/feedback/SNStatusBarView.h"

namespace kt {

namespace {

constexpr double ShowDuration = 0.4;
constexpr double DismissDuration = 0.4;
constexpr double BounceDuration = 0.66;
constexpr double ProgressDuration = 0.05;
constexpr double StatusBarChangeDuration = 0.5;
constexpr int BounceKeyframes = 100;

std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}

// Never destroyed: it may be shown from other threads while the process exits.
std::shared_ptr<SNStatusBarNotification>& sharedSlot() {
  static auto* notifier = new std::shared_ptr<SNStatusBarNotification>;
  return *notifier;
}

// The window the overlay follows and is shown on: the key window, else the first of the
// application's windows; never the overlay itself.
std::shared_ptr<ui::Window> referenceWindow(const ui::Window* overlay) {
  auto& app = ui::Application::shared();
  if (ui::Window* key = app.keyWindow(); key && key != overlay) {
    if (auto shared = std::static_pointer_cast<ui::Window>(key->weak_from_this().lock())) return shared;
  }
  for (const auto& w : app.windows()) {
    if (w.get() != overlay) return w;
  }
  return nullptr;
}

bool isMoveOrBounceLike(const SNStatusBarStyle& style) { return style.animationType() != SNStatusBarAnimationType::Fade; }

// The bounce's easing: a ball dropped on the floor, in single precision.
float bounceEase(float x) {
  const float k = 7.5625f;
  if (x < 4.0f / 11.0f) return k * x * x;
  if (x < 8.0f / 11.0f) {
    x -= 6.0f / 11.0f;
    return k * x * x + 0.75f;
  }
  if (x < 10.0f / 11.0f) {
    x -= 9.0f / 11.0f;
    return k * x * x + 0.9375f;
  }
  x -= 21.0f / 22.0f;
  return k * x * x + 0.984375f;
}

bool isDoubleHeightCapableSystem() { return std::atof(core::Device::systemVersion().c_str()) >= 7.0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The shared notifier

std::shared_ptr<SNStatusBarNotification> SNStatusBarNotification::sharedInstance() {
  std::lock_guard<std::mutex> lock(sharedMutex());
  auto& slot = sharedSlot();
  if (!slot) {
    slot = std::make_shared<SNStatusBarNotification>(Key{});
    slot->setUp();
  }
  return slot;
}

std::shared_ptr<SNStatusBarNotification> SNStatusBarNotification::shared() { return sharedInstance(); }

void SNStatusBarNotification::resetSharedInstance() {
  std::shared_ptr<SNStatusBarNotification> old;
  {
    std::lock_guard<std::mutex> lock(sharedMutex());
    old = std::move(sharedSlot());
    sharedSlot().reset();
  }
  // Destroyed outside the lock: its teardown touches views.
  old.reset();
}

SNStatusBarNotification::SNStatusBarNotification(Key) {
  m_defaultStyle = SNStatusBarStyle::defaultStyleWithName(SNStatusBarStyleDefault);
  for (const auto& name : SNStatusBarStyle::allDefaultStyleIdentifier()) {
    m_userStyles[name] = SNStatusBarStyle::defaultStyleWithName(name);
  }
}

void SNStatusBarNotification::setUp() {
  std::weak_ptr<SNStatusBarNotification> weak = weak_from_this();
  m_statusBarFrameObservation = core::Observation(
      core::NotificationCenter::defaultCenter(), ui::Application::WillChangeStatusBarFrameNotification, nullptr,
      [weak](const core::Notification& n) {
        auto self = weak.lock();
        if (!self) return;
        self->willChangeStatusBarFrame(
            ui::Application::rectFromUserInfo(n.userInfo[ui::Application::StatusBarFrameUserInfoKey]));
      });
  // The bar (with the window and the strip) is ready before the first show; the window stays hidden.
  topBar();
}

SNStatusBarNotification::~SNStatusBarNotification() {
  m_statusBarFrameObservation.reset();
  if (m_dismissTimer) m_dismissTimer->invalidate();
  if (m_overlayWindow) {
    m_overlayWindow->removeFromSuperview();
    m_overlayWindow->setHidden(true);
    ui::Application::shared().unregisterWindow(m_overlayWindow.get());
  }
}

// ---------------------------------------------------------------------------------------------
// Class operations

SNStatusBarNotification::BarPtr SNStatusBarNotification::showWithStatus(const std::optional<std::string>& status) {
  return shared()->showWithStatusNamed(status, std::nullopt);
}

SNStatusBarNotification::BarPtr SNStatusBarNotification::showWithStatus(const std::optional<std::string>& status,
                                                                       const std::string& styleName) {
  return shared()->showWithStatusNamed(status, styleName);
}

SNStatusBarNotification::BarPtr SNStatusBarNotification::showWithStatus(const std::optional<std::string>& status,
                                                                       double dismissAfter) {
  auto bar = showWithStatus(status);
  SNStatusBarNotification::dismissAfter(dismissAfter);
  return bar;
}

SNStatusBarNotification::BarPtr SNStatusBarNotification::showWithStatus(const std::optional<std::string>& status,
                                                                       double dismissAfter,
                                                                       const std::string& styleName) {
  auto bar = showWithStatus(status, styleName);
  SNStatusBarNotification::dismissAfter(dismissAfter);
  return bar;
}

SNStatusBarNotification::BarPtr SNStatusBarNotification::showCustomStatus() {
  return showWithStatus(std::nullopt, std::string(SNStatusBarStyleMatrix));
}

void SNStatusBarNotification::dismiss() { dismissAnimated(true); }

void SNStatusBarNotification::dismissAnimated(bool animated) { shared()->dismissBar(animated); }

void SNStatusBarNotification::dismissAfter(double seconds) { shared()->setDismissTimerWithInterval(seconds); }

void SNStatusBarNotification::setDefaultStyle(const PrepareStyle& prepare) {
  auto self = shared();
  if (!prepare) return;
  // A block that answers no style leaves the default as it was: every show needs one.
  if (auto style = prepare(self->m_defaultStyle->copy())) self->m_defaultStyle = std::move(style);
}

std::string SNStatusBarNotification::addStyleNamed(const std::string& name, const PrepareStyle& prepare) {
  auto self = shared();
  if (!prepare) return name;
  // A block that answers no style registers nothing.
  if (auto style = prepare(self->m_defaultStyle->copy())) self->m_userStyles[name] = std::move(style);
  return name;
}

void SNStatusBarNotification::showProgress(double progress) { shared()->setProgress(progress); }

void SNStatusBarNotification::showActivityIndicator(bool show, ui::ActivityIndicatorStyle style) {
  shared()->showIndicator(show, style);
}

bool SNStatusBarNotification::isVisible() { return shared()->m_topBar != nullptr; }

SNStatusBarNotification::StylePtr SNStatusBarNotification::styleNamed(const std::string& name) const {
  auto it = m_userStyles.find(name);
  return it == m_userStyles.end() ? nullptr : it->second;
}

bool SNStatusBarNotification::hasPendingDismissal() const { return m_dismissTimer && m_dismissTimer->isValid(); }

// ---------------------------------------------------------------------------------------------
// Window and bar

const std::shared_ptr<ui::Window>& SNStatusBarNotification::overlayWindow() {
  if (!m_overlayWindow) {
    auto window = ui::Window::create(ui::Screen::main().bounds());
    window->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
    window->setBackgroundColor(gfx::Color::clear());
    // Every touch goes through to the windows below.
    window->setUserInteractionEnabled(false);
    window->setWindowLevel(WindowLevelStatusBar);
    m_overlayWindow = window;
    auto controller = std::make_shared<SNStatusBarNotificationViewController>();
    window->setRootViewController(controller);
    controller->view()->setBackgroundColor(gfx::Color::clear());
    updateWindowTransform();
    updateTopBarFrameWithStatusBarFrame(ui::Application::shared().statusBarFrame());
  }
  return m_overlayWindow;
}

void SNStatusBarNotification::updateWindowTransform() {
  // Only a window that exists follows: a status-bar change while nothing is shown makes none.
  if (!m_overlayWindow) return;
  auto reference = referenceWindow(m_overlayWindow.get());
  if (!reference) {
    // No window to follow. The transform stays invertible (the identity), so that drawing and
    // touch conversion through the overlay keep working; the frame is empty.
    m_overlayWindow->setTransform(gfx::AffineTransform::identity());
    m_overlayWindow->setFrame(gfx::Rect());
    return;
  }
  m_overlayWindow->setTransform(reference->transform());
  m_overlayWindow->setFrame(reference->frame());
}

void SNStatusBarNotification::updateTopBarFrameWithStatusBarFrame(const gfx::Rect& statusBarFrame) {
  if (!m_topBar) return;
  const double w = std::max(statusBarFrame.width(), statusBarFrame.height());
  const double h = std::min(statusBarFrame.width(), statusBarFrame.height());
  const double y = (isDoubleHeightCapableSystem() && h > 20) ? -h / 2 : 0;
  // Size and place the bar as its frame says, leaving any transform (its slide) on top.
  gfx::Rect b = m_topBar->bounds();
  m_topBar->setBounds(gfx::Rect(b.origin, gfx::Size{w, h}));
  m_topBar->setCenter(gfx::Point{w / 2, y + h / 2});
}

const SNStatusBarNotification::BarPtr& SNStatusBarNotification::topBar() {
  if (!m_topBar) {
    auto bar = std::make_shared<SNStatusBarView>();
    m_topBar = bar;
    const bool windowExisted = m_overlayWindow != nullptr;
    auto window = overlayWindow();
    // A window made before this bar did not size it.
    if (windowExisted) updateTopBarFrameWithStatusBarFrame(ui::Application::shared().statusBarFrame());
    if (const auto& controller = window->rootViewController()) controller->view()->addSubview(bar);
    const SNStatusBarStyle& style = m_activeStyle ? *m_activeStyle : *m_defaultStyle;
    if (isMoveOrBounceLike(style)) {
      bar->setTransform(gfx::AffineTransform::translation(0, -bar->bounds().height()));
    } else {
      bar->setAlpha(0);
    }
    buildStrip(*bar);
  }
  return m_topBar;
}

const std::shared_ptr<ui::View>& SNStatusBarNotification::progressView() {
  if (!m_progressView) m_progressView = ui::View::create(gfx::Rect());
  return m_progressView;
}

void SNStatusBarNotification::buildStrip(SNStatusBarView& bar) {
  const double W = bar.bounds().width();
  const double s = (W - 100) / 4;
  m_strip.build(bar, 14, {{{100, 120, s - 70, OffLineLabelTag},
                           {s + 50, s + 70, s + 30, ServerLabelTag},
                           {2 * s + 100, 2 * s + 120, s - 20, ClerkLabelTag},
                           {3 * s + 100, 3 * s + 120, s - 20, WifiLabelTag}}});
}

// ---------------------------------------------------------------------------------------------
// Showing

SNStatusBarNotification::BarPtr SNStatusBarNotification::showWithStatusNamed(
    const std::optional<std::string>& status, const std::optional<std::string>& styleName) {
  StylePtr style;
  if (styleName) style = styleNamed(*styleName);
  return showWithStatus(status, style ? style : m_defaultStyle);
}

void SNStatusBarNotification::showOverlayWindow() {
  // A window of its own: shown, it comes in front of the windows of its level and above the
  // normal ones; taking no touches, it passes every one to the windows below.
  auto window = overlayWindow();
  window->setHidden(false);
}

SNStatusBarNotification::BarPtr SNStatusBarNotification::showWithStatus(const std::optional<std::string>& status,
                                                                       const StylePtr& requested) {
  auto keep = shared_from_this();
  const StylePtr style = requested ? requested : m_defaultStyle;

  // 1. Another style: the bar starts over from its starting place. The same style object leaves
  //    it where it is.
  if (style != m_activeStyle) {
    m_activeStyle = style;
    auto bar = topBar();
    if (isMoveOrBounceLike(*style)) {
      bar->setAlpha(1);
      bar->setTransform(gfx::AffineTransform::translation(0, -bar->bounds().height()));
    } else {
      bar->setAlpha(0);
      bar->setTransform(gfx::AffineTransform::identity());
    }
  }

  // 2. Stop whatever runs on the bar. A dismissal under way ends here and drops its bar; the
  //    steps below then build a new one.
  {
    auto bar = topBar();
    bar->layer()->removeAllAnimations();
  }

  // 3. The window comes up.
  showOverlayWindow();
  auto bar = topBar();

  // 4, 5. Look and text.
  bar->setBackgroundColor(style->barColor());
  bar->setTextVerticalPositionAdjustment(style->textVerticalPositionAdjustment());
  const auto& label = bar->textLabel();
  label->setTextColor(style->textColor());
  label->setFont(style->font());
  label->setText(status.value_or(std::string()));
  if (const auto& shadow = style->textShadow()) {
    label->setShadowColor(shadow->color);
    label->setShadowOffset(shadow->offset);
  } else {
    label->setShadowColor(std::nullopt);
    label->setShadowOffset(gfx::Size{0, 0});
  }

  // 6. No progress, indicator stopped.
  setProgress(0);
  bar->activityIndicatorView()->stopAnimating();

  // 7. Coming in.
  if (style->animationType() == SNStatusBarAnimationType::Bounce) {
    animateInWithBounceAnimation();
  } else {
    const double duration = style->animationType() == SNStatusBarAnimationType::None ? 0 : ShowDuration;
    ui::View::animate(duration, [bar] {
      bar->setAlpha(1);
      bar->setTransform(gfx::AffineTransform::identity());
    });
  }

  // 8. The strip's texts; the server label keeps what it was built with.
  auto setText = [&](int tag, const std::optional<std::string>& text) {
    if (auto l = std::dynamic_pointer_cast<ui::Label>(bar->viewWithTag(tag))) l->setText(text.value_or(std::string()));
  };
  setText(OffLineLabelTag, m_offLineStr);
  setText(ClerkLabelTag, m_clerkStr);
  setText(WifiLabelTag, m_wifiStr);
  return bar;
}

void SNStatusBarNotification::animateInWithBounceAnimation() {
  auto bar = m_topBar;
  if (!bar || !(bar->frame().y() < 0)) return;
  auto animation = gfx::KeyframeAnimation::withKeyPath("transform");
  animation->values.reserve(BounceKeyframes);
  for (int t = 1; t <= BounceKeyframes; ++t) {
    const float e = bounceEase(static_cast<float>(t) / static_cast<float>(BounceKeyframes));
    const float value = -20.0f + 20.0f * e;
    animation->values.emplace_back(gfx::Transform3D::translation(0, static_cast<double>(value), 0));
  }
  animation->timingFunction = gfx::TimingFunction::named(gfx::TimingFunction::Name::Linear);
  animation->duration = BounceDuration;
  animation->removedOnCompletion = false;
  animation->fillMode = gfx::FillMode::Forwards;
  std::weak_ptr<SNStatusBarNotification> weak = weak_from_this();
  std::weak_ptr<SNStatusBarView> weakBar = bar;
  animation->onStop = [weak, weakBar](bool) {
    if (auto self = weak.lock()) self->bounceDidStop(weakBar);
  };
  // The model is the end of the fall; the keyframes carry the way there.
  bar->layer()->setValueForKeyPath("transform", gfx::Transform3D::identity());
  bar->layer()->addAnimation(animation, BounceAnimationKey);
}

void SNStatusBarNotification::bounceDidStop(const std::weak_ptr<SNStatusBarView>& weakBar) {
  auto bar = weakBar.lock();
  if (!bar) return;
  bar->setTransform(gfx::AffineTransform::identity());
  bar->layer()->removeAllAnimations();
}

// ---------------------------------------------------------------------------------------------
// Dismissal

void SNStatusBarNotification::dismissBar(bool animated) {
  auto keep = shared_from_this();
  if (m_dismissTimer) {
    m_dismissTimer->invalidate();
    m_dismissTimer.reset();
  }
  auto bar = topBar();
  const auto type = m_activeStyle ? m_activeStyle->animationType() : SNStatusBarAnimationType::None;
  const double duration = (animated && type != SNStatusBarAnimationType::None) ? DismissDuration : 0;
  std::weak_ptr<SNStatusBarNotification> weak = weak_from_this();
  std::weak_ptr<SNStatusBarView> weakBar = bar;
  ui::View::animate(
      duration,
      [bar, type] {
        if (type == SNStatusBarAnimationType::Fade) {
          bar->setAlpha(0);
        } else {
          bar->setTransform(gfx::AffineTransform::translation(0, -bar->bounds().height()));
        }
      },
      [weak, weakBar](bool) {
        if (auto self = weak.lock()) self->dismissEnded(weakBar);
      });
}

void SNStatusBarNotification::dismissEnded(const std::weak_ptr<SNStatusBarView>& weakBar) {
  // Only the bar this dismissal took away goes: a bar built since (by a later show) stays.
  auto bar = weakBar.lock();
  if (!bar || bar != m_topBar) return;
  auto keep = shared_from_this();
  if (auto window = m_overlayWindow) {
    window->removeFromSuperview();
    window->setHidden(true);
    ui::Application::shared().unregisterWindow(window.get());
  }
  m_overlayWindow.reset();
  m_progressView.reset();
  m_topBar.reset();
}

void SNStatusBarNotification::setDismissTimerWithInterval(double seconds) {
  if (m_dismissTimer) m_dismissTimer->invalidate();
  std::weak_ptr<SNStatusBarNotification> weak = weak_from_this();
  m_dismissTimer = core::Timer::create(seconds, false, [weak](core::Timer&) {
    if (auto self = weak.lock()) self->dismissBar(true);
  });
  core::RunLoop::current().addTimer(m_dismissTimer, core::RunLoop::CommonModes);
}

// ---------------------------------------------------------------------------------------------
// Progress and activity

void SNStatusBarNotification::setProgress(double progress) {
  if (!m_topBar) return;
  auto keep = shared_from_this();
  m_progress = std::isnan(progress) ? 0 : std::clamp(progress, 0.0, 1.0);
  auto view = progressView();
  if (m_progress == 0) {
    view->setFrame(gfx::Rect());
    return;
  }
  auto bar = m_topBar;
  const SNStatusBarStyle& style = m_activeStyle ? *m_activeStyle : *m_defaultStyle;
  const auto position = style.progressBarPosition();
  if (position == SNStatusBarProgressBarPosition::Below || position == SNStatusBarProgressBarPosition::NavigationBar) {
    if (ui::View* parent = bar->superview()) parent->addSubview(view);
  } else {
    bar->insertSubviewBelow(view, bar->textLabel().get());
  }

  const gfx::Rect b = bar->bounds();
  const double H = b.height();
  double h = std::min(H, std::max(0.5, style.progressBarHeight()));
  if (h == 20 && H > h) h = H;
  const double w = std::round(b.width() * m_progress);
  double y = b.y();
  switch (position) {
    case SNStatusBarProgressBarPosition::Bottom: y = H - h; break;
    case SNStatusBarProgressBarPosition::Center: y = std::round((H - h) / 2); break;
    case SNStatusBarProgressBarPosition::Top: y = 0; break;
    case SNStatusBarProgressBarPosition::Below: y = H; break;
    case SNStatusBarProgressBarPosition::NavigationBar: {
      const bool phoneLandscape =
          ui::Device::current().userInterfaceIdiom() == ui::UserInterfaceIdiom::Phone &&
          (ui::Application::shared().statusBarOrientation() == ui::InterfaceOrientation::LandscapeLeft ||
           ui::Application::shared().statusBarOrientation() == ui::InterfaceOrientation::LandscapeRight);
      y = H + (phoneLandscape ? 32 : 44);
      break;
    }
  }
  const gfx::Rect frame(b.x(), y, w, h);
  view->setBackgroundColor(style.progressBarColor());
  const bool wasZero = view->frame() == gfx::Rect();
  ui::View::animate(wasZero ? 0 : ProgressDuration, 0, ui::AnimationCurveLinear, [view, frame] { view->setFrame(frame); });
}

void SNStatusBarNotification::showIndicator(bool show, ui::ActivityIndicatorStyle style) {
  if (!m_topBar) return;
  const auto& indicator = m_topBar->activityIndicatorView();
  if (show) {
    indicator->startAnimating();
    indicator->setStyle(style);
  } else {
    indicator->stopAnimating();
  }
}

void SNStatusBarNotification::willChangeStatusBarFrame(const gfx::Rect& frame) {
  auto keep = shared_from_this();
  ui::View::animate(StatusBarChangeDuration, [this, frame] {
    updateWindowTransform();
    updateTopBarFrameWithStatusBarFrame(frame);
    setProgress(m_progress);
  });
}

}  // namespace kt
