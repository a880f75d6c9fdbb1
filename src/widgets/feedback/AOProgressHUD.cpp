#include "widgets/feedback/AOProgressHUD.h"
#include "widgets/feedback/ImageTint.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/core/Bundle.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/TextLayout.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Control.h"
#include "platform/ui/Event.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "widgets/feedback/AOIndefiniteAnimatedView.h"
#include "widgets/feedback/AOProgressAnimatedView.h"
#include "widgets/feedback/AORadialGradientLayer.h"

namespace kt {
namespace {

std::mutex g_sharedMutex;
// Never destroyed: it may be shown from other threads while the process exits.
std::shared_ptr<AOProgressHUD>& g_shared = *new std::shared_ptr<AOProgressHUD>;
AOProgressHUD::TextMeasurer g_measurer;
bool g_osVersionAvailable = true;

// The panel grows by 1.3 before it appears and shrinks back by this factor (single precision).
const double kShrink = static_cast<float>(1 / 1.3f);

gfx::Size measureText(const std::string& text, const std::shared_ptr<const gfx::Font>& font, gfx::Size within) {
  if (g_measurer) return g_measurer(text, *font, within);
  gfx::TextLayout layout(text, gfx::TextStyle::withFont(font));
  return layout.boundingSize(within, gfx::TextUsesLineFragmentOrigin | gfx::TextUsesFontLeading |
                                         gfx::TextTruncatesLastVisibleLine);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The shared view and its settings

std::shared_ptr<AOProgressHUD> AOProgressHUD::sharedView() {
  std::lock_guard<std::mutex> lock(g_sharedMutex);
  if (!g_shared) g_shared = std::make_shared<AOProgressHUD>(applicationWindowBounds());
  return g_shared;
}

void AOProgressHUD::resetSharedView() {
  std::shared_ptr<AOProgressHUD> hud;
  {
    std::lock_guard<std::mutex> lock(g_sharedMutex);
    hud = std::move(g_shared);
  }
  if (hud) hud->tearDown();
}

void AOProgressHUD::setTextMeasurer(TextMeasurer measurer) { g_measurer = std::move(measurer); }

void AOProgressHUD::setOperatingSystemVersionAvailable(bool available) { g_osVersionAvailable = available; }

AOProgressHUD::AOProgressHUD(const gfx::Rect& frame) : ui::View(frame) {
  m_isInitializing = true;
  m_font = gfx::Font::systemFont(14);
  m_infoImage = bundleImage("info");
  m_successImage = bundleImage("success");
  m_errorImage = bundleImage("error");
  setUserInteractionEnabled(false);
  setAlpha(0);
  m_accessibilityIdentifier = "AOProgressHUD";
  m_accessibilityLabel = "AOProgressHUD";
  m_accessibilityElement = AccessibilityElement::View;
  m_isInitializing = false;
}

AOProgressHUD::~AOProgressHUD() {
  if (m_fadeOutTimer) m_fadeOutTimer->invalidate();
}

void AOProgressHUD::tearDown() {
  setFadeOutTimer(nullptr);
  m_observations.clear();
  if (m_overlayView) m_overlayView->removeFromSuperview();
  if (m_hudView) m_hudView->removeFromSuperview();
  removeFromSuperview();
}

void AOProgressHUD::configure(const std::function<void(AOProgressHUD&)>& change) {
  auto hud = sharedView();
  if (hud->m_isInitializing) return;
  change(*hud);
}

void AOProgressHUD::setStatus(const Status& status) { sharedView()->setStatusText(status); }

void AOProgressHUD::setDefaultStyle(int64_t style) {
  configure([&](AOProgressHUD& h) { h.m_defaultStyle = style; });
}
void AOProgressHUD::setDefaultMaskType(uint64_t maskType) {
  configure([&](AOProgressHUD& h) { h.m_defaultMaskType = maskType; });
}
void AOProgressHUD::setDefaultAnimationType(uint64_t animationType) {
  configure([&](AOProgressHUD& h) { h.m_defaultAnimationType = animationType; });
}
void AOProgressHUD::setMinimumSize(gfx::Size size) {
  configure([&](AOProgressHUD& h) { h.m_minimumSize = size; });
}
void AOProgressHUD::setRingThickness(double thickness) {
  configure([&](AOProgressHUD& h) { h.m_ringThickness = thickness; });
}
void AOProgressHUD::setRingRadius(double radius) {
  configure([&](AOProgressHUD& h) { h.m_ringRadius = radius; });
}
void AOProgressHUD::setRingNoTextRadius(double radius) {
  configure([&](AOProgressHUD& h) { h.m_ringNoTextRadius = radius; });
}
void AOProgressHUD::setCornerRadius(double radius) {
  configure([&](AOProgressHUD& h) { h.m_cornerRadius = radius; });
}
void AOProgressHUD::setFont(std::shared_ptr<const gfx::Font> font) {
  configure([&](AOProgressHUD& h) { h.m_font = std::move(font); });
}
void AOProgressHUD::setForegroundColor(const gfx::Color& color) {
  configure([&](AOProgressHUD& h) { h.m_foregroundColor = color; });
}
void AOProgressHUD::setBackgroundColor(const gfx::Color& color) {
  configure([&](AOProgressHUD& h) { h.m_backgroundColor = color; });
}
void AOProgressHUD::setBackgroundLayerColor(const gfx::Color& color) {
  configure([&](AOProgressHUD& h) { h.m_backgroundLayerColor = color; });
}
void AOProgressHUD::setInfoImage(ImagePtr image) {
  configure([&](AOProgressHUD& h) { h.m_infoImage = std::move(image); });
}
void AOProgressHUD::setSuccessImage(ImagePtr image) {
  configure([&](AOProgressHUD& h) { h.m_successImage = std::move(image); });
}
void AOProgressHUD::setErrorImage(ImagePtr image) {
  configure([&](AOProgressHUD& h) { h.m_errorImage = std::move(image); });
}
void AOProgressHUD::setViewForExtension(std::shared_ptr<ui::View> view) {
  configure([&](AOProgressHUD& h) { h.m_viewForExtension = std::move(view); });
}
void AOProgressHUD::setMinimumDismissTimeInterval(double seconds) {
  configure([&](AOProgressHUD& h) { h.m_minimumDismissTimeInterval = seconds; });
}
void AOProgressHUD::setFadeInAnimationDuration(double seconds) {
  configure([&](AOProgressHUD& h) { h.m_fadeInAnimationDuration = seconds; });
}
void AOProgressHUD::setFadeOutAnimationDuration(double seconds) {
  configure([&](AOProgressHUD& h) { h.m_fadeOutAnimationDuration = seconds; });
}
void AOProgressHUD::setMaxSupportedWindowLevel(double level) {
  configure([&](AOProgressHUD& h) { h.m_maxSupportedWindowLevel = level; });
}

// ---------------------------------------------------------------------------------------------
// Class operations: shows and dismissals

void AOProgressHUD::show() { showWithStatus(std::nullopt); }

void AOProgressHUD::showWithMaskType(uint64_t maskType) { showProgress(-1, std::nullopt, maskType); }

void AOProgressHUD::showWithStatus(const Status& status) { showProgress(-1, status); }

void AOProgressHUD::showWithStatus(const Status& status, uint64_t maskType) { showProgress(-1, status, maskType); }

void AOProgressHUD::showProgress(float progress) { showProgress(progress, std::nullopt); }

void AOProgressHUD::showProgress(float progress, uint64_t maskType) { showProgress(progress, std::nullopt, maskType); }

void AOProgressHUD::showProgress(float progress, const Status& status) {
  sharedView()->queueProgressShow(progress, status, std::nullopt);
}

void AOProgressHUD::showProgress(float progress, const Status& status, uint64_t maskType) {
  sharedView()->queueProgressShow(progress, status, maskType);
}

void AOProgressHUD::showInfoWithStatus(const Status& status) { showImage(sharedView()->m_infoImage, status); }

void AOProgressHUD::showInfoWithStatus(const Status& status, uint64_t maskType) {
  showImage(sharedView()->m_infoImage, status, maskType);
}

void AOProgressHUD::showSuccessWithStatus(const Status& status) { showImage(sharedView()->m_successImage, status); }

void AOProgressHUD::showSuccessWithStatus(const Status& status, uint64_t maskType) {
  showImage(sharedView()->m_successImage, status, maskType);
}

void AOProgressHUD::showErrorWithStatus(const Status& status) { showImage(sharedView()->m_errorImage, status); }

void AOProgressHUD::showErrorWithStatus(const Status& status, uint64_t maskType) {
  showImage(sharedView()->m_errorImage, status, maskType);
}

void AOProgressHUD::showImage(ImagePtr image, const Status& status) {
  sharedView()->queueImageShow(std::move(image), status, displayDurationForString(status), std::nullopt);
}

void AOProgressHUD::showImage(ImagePtr image, const Status& status, uint64_t maskType) {
  sharedView()->queueImageShow(std::move(image), status, displayDurationForString(status), maskType);
}

void AOProgressHUD::popActivity() {
  auto hud = sharedView();
  if (hud->m_activityCount > 0) --hud->m_activityCount;
  if (hud->m_activityCount == 0) hud->queueDismissal(0, nullptr);
}

void AOProgressHUD::dismiss() { dismissWithDelay(0, nullptr); }

void AOProgressHUD::dismissWithCompletion(Completion completion) { dismissWithDelay(0, std::move(completion)); }

void AOProgressHUD::dismissWithDelay(double delay) { dismissWithDelay(delay, nullptr); }

void AOProgressHUD::dismissWithDelay(double delay, Completion completion) {
  sharedView()->queueDismissal(delay, std::move(completion));
}

void AOProgressHUD::setOffsetFromCenter(gfx::Size offset) { sharedView()->m_offsetFromCenter = offset; }

void AOProgressHUD::resetOffsetFromCenter() { setOffsetFromCenter(gfx::Size{0, 0}); }

bool AOProgressHUD::isVisible() { return sharedView()->alpha() > 0; }

double AOProgressHUD::displayDurationForString(const Status& string) {
  const float length = string ? static_cast<float>(core::utf16Length(*string)) : 0.0f;
  return std::max(static_cast<double>(length) * 0.06 + 0.5, sharedView()->m_minimumDismissTimeInterval);
}

AOProgressHUD::ImagePtr AOProgressHUD::bundleImage(const std::string& name) {
  auto bundlePath = core::Bundle::main().pathForResource(ResourceBundleName, "bundle");
  if (!bundlePath) return nullptr;
  core::Bundle bundle(*bundlePath);
  for (double scale : gfx::Image::artworkScalesFor(gfx::Image::drawingScale())) {
    if (auto path = bundle.pathForResource(name + gfx::Image::artworkSuffix(scale), "png")) {
      if (auto image = gfx::Image::fromFile(*path, scale)) return image;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Queued shows and dismissal

void AOProgressHUD::queueProgressShow(float progress, const Status& status, std::optional<uint64_t> maskType) {
  std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
  core::OperationQueue::mainQueue()->addOperationWithBlock([weak, progress, status, maskType] {
    auto self = weak.lock();
    if (!self) return;
    self->m_displayMaskType = maskType.value_or(self->m_defaultMaskType);
    self->updateViewHierarchy();

    const auto& image = self->imageView();
    image->setHidden(true);
    image->setImage(nullptr);

    // A spinner or progress show ends a pending automatic dismissal, and the count with it.
    if (self->m_fadeOutTimer) self->m_activityCount = 0;
    self->setFadeOutTimer(nullptr);

    self->m_status = status;
    self->statusLabel()->setText(status.value_or(""));
    self->m_progress = progress;

    const auto& hud = self->hudView();
    if (progress >= 0) {
      self->cancelIndefiniteAnimatedViewAnimation();
      hud->addSubview(self->ringView());
      hud->addSubview(self->backgroundRingView());
      self->ringView()->setStrokeEnd(progress);
      if (progress == 0) ++self->m_activityCount;
    } else {
      self->cancelRingLayerAnimation();
      auto spinner = self->indefiniteAnimatedView();
      hud->addSubview(spinner);
      if (auto native = std::dynamic_pointer_cast<ui::ActivityIndicatorView>(spinner)) native->startAnimating();
      ++self->m_activityCount;
    }
    self->showStatus(status);
  });
}

void AOProgressHUD::queueImageShow(ImagePtr image, const Status& status, double duration,
                                   std::optional<uint64_t> maskType) {
  std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
  core::OperationQueue::mainQueue()->addOperationWithBlock([weak, image, status, duration, maskType] {
    auto self = weak.lock();
    if (!self) return;
    self->m_displayMaskType = maskType.value_or(self->m_defaultMaskType);
    self->updateViewHierarchy();
    self->m_progress = -1;
    self->cancelRingLayerAnimation();
    self->cancelIndefiniteAnimatedViewAnimation();

    // Image views here take no tint of their own: the icon is drawn in the foreground colour.
    const auto& view = self->imageView();
    view->setImage(imageWithTintColor(image, self->foregroundColorForStyle()));
    view->setHidden(false);
    self->m_status = status;
    self->statusLabel()->setText(status.value_or(""));

    self->showStatus(status);

    std::weak_ptr<AOProgressHUD> again = self;
    auto timer = core::Timer::create(duration, false, [again](core::Timer&) {
      if (auto hud = again.lock()) hud->queueDismissal(0, nullptr);
    });
    core::RunLoop::main().addTimer(timer, core::RunLoop::CommonModes);
    self->setFadeOutTimer(std::move(timer));
  });
}

void AOProgressHUD::queueDismissal(double delay, Completion completion) {
  std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
  core::OperationQueue::mainQueue()->addOperationWithBlock([weak, delay, completion] {
    auto self = weak.lock();
    if (!self) {
      if (completion) completion();
      return;
    }
    core::NotificationCenter::defaultCenter().post(WillDisappearNotification, nullptr, self->notificationUserInfo());
    self->m_activityCount = 0;

    auto hide = [weak] {
      auto hud = weak.lock();
      if (!hud) return;
      hud->setAlpha(0);
      hud->hudView()->setAlpha(0);
      hud->hudView()->setTransform(hud->hudView()->transform().scaled(kShrink, kShrink));
    };
    auto cleanUp = [weak, completion] {
      auto hud = weak.lock();
      if (!hud) return;
      // A show that came in between has made the overlay opaque again: it wins.
      if (hud->alpha() != 0 || hud->hudView()->alpha() != 0) return;
      hud->overlayView()->removeFromSuperview();
      hud->hudView()->removeFromSuperview();
      hud->removeFromSuperview();
      hud->m_progress = -1;
      hud->cancelRingLayerAnimation();
      hud->cancelIndefiniteAnimatedViewAnimation();
      hud->m_observations.clear();
      core::NotificationCenter::defaultCenter().post(DidDisappearNotification, hud.get(), hud->notificationUserInfo());
      if (ui::Window* key = ui::Application::shared().keyWindow()) {
        if (const auto& root = key->rootViewController()) root->setNeedsStatusBarAppearanceUpdate();
      }
      ++hud->m_screenChangedPosts;
      if (completion) completion();
    };

    if (self->m_fadeOutAnimationDuration > 0) {
      ui::View::animate(self->m_fadeOutAnimationDuration, delay,
                        ui::AnimationLayoutSubviews | ui::AnimationAllowUserInteraction |
                            ui::AnimationBeginFromCurrentState,
                        hide, [cleanUp](bool) { cleanUp(); });
    } else {
      hide();
      cleanUp();
    }
    self->setNeedsDisplay();
  });
}

void AOProgressHUD::setStatusText(const Status& status) {
  m_status = status;
  statusLabel()->setText(status.value_or(""));
  updateHUDFrame();
}

void AOProgressHUD::showStatus(const Status& status) {
  updateHUDFrame();
  positionHUD(nullptr);

  const auto& overlay = overlayView();
  if (m_displayMaskType == MaskTypeNone) {
    overlay->setUserInteractionEnabled(false);
    m_accessibilityElement = AccessibilityElement::Panel;
  } else {
    overlay->setUserInteractionEnabled(true);
    m_accessibilityElement = AccessibilityElement::View;
  }
  m_accessibilityLabel = status.value_or("");
  overlay->setBackgroundColor(gfx::Color::clear());

  const auto& hud = hudView();
  // Already on screen: it has been updated in place.
  if (alpha() == 1 && hud->alpha() == 1) return;

  post(WillAppearNotification, true);
  hud->setTransform(hud->transform().scaled(1.3, 1.3));
  setAlpha(0);
  hud->setAlpha(0);

  std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
  auto appear = [weak] {
    auto self = weak.lock();
    if (!self) return;
    // The alphas first: once either is 1, a dismissal still fading out leaves the overlay alone.
    self->setAlpha(1);
    self->hudView()->setAlpha(1);
    self->hudView()->setTransform(self->hudView()->transform().scaled(kShrink, kShrink));
  };
  auto appeared = [weak, status] {
    auto self = weak.lock();
    if (!self) return;
    if (self->alpha() == 1 && self->hudView()->alpha() == 1) {
      self->registerNotifications();
      self->post(DidAppearNotification, true);
    }
    ++self->m_screenChangedPosts;
    self->m_lastAnnouncement = status;
  };

  if (m_fadeInAnimationDuration > 0) {
    ui::View::animate(m_fadeInAnimationDuration, 0,
                      ui::AnimationAllowUserInteraction | ui::AnimationBeginFromCurrentState, appear,
                      [appeared](bool) { appeared(); });
  } else {
    appear();
    appeared();
  }
  setNeedsDisplay();
}

// ---------------------------------------------------------------------------------------------
// Layout, position and backdrop

void AOProgressHUD::updateHUDFrame() {
  const auto& image = imageView();
  const bool imageUsed = image->image() && !image->isHidden();
  const bool content = imageUsed || image->isHidden();

  double width = 100;
  double height = 100;
  gfx::Rect labelRect(0, 0, 0, 0);
  const auto& label = statusLabel();
  if (m_status) {
    const gfx::Size measured = measureText(*m_status, label->font(), gfx::Size{200, 300});
    const double textWidth = measured.width;
    const double textHeight = std::ceil(static_cast<float>(measured.height));
    height = (content ? 80 : 20) + textHeight;
    if (textWidth > 100) width = 2 * std::ceil(static_cast<float>(textWidth / 2));
    const double labelY = content ? 68 : 9;
    if (height > 100) {
      labelRect = gfx::Rect(12, labelY, width, textHeight);
      width += 24;
    } else {
      width += 24;
      labelRect = gfx::Rect(0, labelY, width, textHeight);
    }
  }

  const auto& hud = hudView();
  hud->setBounds(gfx::Rect(0, 0, std::max(m_minimumSize.width, width), std::max(m_minimumSize.height, height)));
  if (m_minimumSize.width - width > 0) labelRect.size.width += m_minimumSize.width - width;
  updateBlurBounds();

  const gfx::Size panel = hud->bounds().size;
  const gfx::Point indicatorCentre =
      m_status ? gfx::Point{panel.width / 2, 36} : gfx::Point{panel.width / 2, panel.height / 2};
  image->setCenter(indicatorCentre);
  label->setHidden(false);
  label->setFrame(labelRect);

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  const auto& spinner = indefiniteAnimatedView();
  if (auto flat = std::dynamic_pointer_cast<AOIndefiniteAnimatedView>(spinner)) {
    flat->setRadius(m_status ? m_ringRadius : m_ringNoTextRadius);
    flat->sizeToFit();
  }
  spinner->setCenter(indicatorCentre);
  if (m_progress != -1) {
    ringView()->setCenter(indicatorCentre);
    backgroundRingView()->setCenter(indicatorCentre);
  }
  gfx::Transaction::commit();
}

void AOProgressHUD::updateBlurBounds() {
  // Light and dark panels are drawn over a blur where the platform has one; this one has none,
  // so they stay clear.
}

void AOProgressHUD::positionHUD(const core::Notification* notification) {
  setFrame(applicationWindowBounds());
  auto& app = ui::Application::shared();
  const int orientation = static_cast<int>(app.statusBarOrientation());
  const bool modern = g_osVersionAvailable;

  double keyboardHeight = 0;
  double duration = 0;
  if (notification) {
    const core::Value& info = notification->userInfo;
    duration = info[ui::Keyboard::AnimationDurationUserInfoKey].doubleValue();
    if (notification->name == ui::Keyboard::WillShowNotification ||
        notification->name == ui::Keyboard::DidShowNotification) {
      const gfx::Rect frame = ui::Keyboard::rectFromValue(info[ui::Keyboard::FrameBeginUserInfoKey]);
      keyboardHeight = (orientation == 1 || orientation == 2 || modern) ? frame.height() : frame.width();
    }
  } else {
    keyboardHeight = visibleKeyboardHeight();
  }

  gfx::Rect area = bounds();
  gfx::Rect statusBar = app.statusBarFrame();
  if (!modern && (orientation == 3 || orientation == 4)) {
    area = gfx::Rect(area.x(), area.y(), area.height(), static_cast<float>(area.width()));
    statusBar = gfx::Rect(statusBar.x(), statusBar.y(), statusBar.height(), static_cast<float>(statusBar.width()));
  }
  updateMotionEffectForOrientation(orientation);

  double available = area.height();
  if (keyboardHeight > 0) available += 2 * statusBar.height();
  available -= keyboardHeight;

  const double x = area.width() / 2;
  const double y = std::floor(static_cast<float>(available * 0.45f));
  gfx::Point centre{x, y};
  double angle = 0;
  if (!modern) {
    switch (orientation) {
      case 2:
        centre = gfx::Point{x, area.height() - y};
        angle = M_PI;
        break;
      case 4:
        centre = gfx::Point{y, x};
        angle = -M_PI / 2;
        break;
      case 3:
        centre = gfx::Point{area.height() - y, x};
        angle = M_PI / 2;
        break;
      default:
        break;
    }
  }

  std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
  auto move = [weak, centre, angle] {
    auto self = weak.lock();
    if (!self) return;
    self->moveToPoint(centre, angle);
    self->hudView()->setNeedsDisplay();
  };
  if (notification) {
    ui::View::animate(duration, 0, ui::AnimationAllowUserInteraction, move);
  } else {
    move();
  }
  updateMask();
}

void AOProgressHUD::moveToPoint(gfx::Point point, double angle) {
  const auto& hud = hudView();
  hud->setTransform(gfx::AffineTransform::rotation(angle));
  hud->setCenter(gfx::Point{point.x + m_offsetFromCenter.width, point.y + m_offsetFromCenter.height});
}

void AOProgressHUD::updateMotionEffectForOrientation(int orientation) {
  if (orientation == 1 || orientation == 2) {
    updateMotionEffectForXMotionEffectType(0, 1);
  } else {
    updateMotionEffectForXMotionEffectType(1, 0);
  }
}

void AOProgressHUD::updateMotionEffectForXMotionEffectType(int xType, int yType) {
  // Kept for the panel; there is no tilt sensor to drive them.
  m_motionEffects = {MotionEffect{"center.x", xType, -10, 10}, MotionEffect{"center.y", yType, -10, 10}};
}

void AOProgressHUD::updateMask() {
  if (m_backgroundLayer) {
    m_backgroundLayer->removeFromSuperlayer();
    m_backgroundLayer.reset();
  }
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  switch (m_displayMaskType) {
    case MaskTypeBlack:
    case MaskTypeCustom: {
      auto plain = gfx::Layer::create();
      plain->setFrame(bounds());
      plain->setBackgroundColor(m_displayMaskType == MaskTypeBlack ? gfx::Color::black().withAlpha(0.4)
                                                                   : m_backgroundLayerColor);
      m_backgroundLayer = std::move(plain);
      break;
    }
    case MaskTypeGradient: {
      auto gradient = AORadialGradientLayer::create();
      gradient->setFrame(bounds());
      gradient->setGradientCenter(gfx::Point{center().x, (bounds().height() - visibleKeyboardHeight()) / 2});
      m_backgroundLayer = std::move(gradient);
      break;
    }
    default:
      break;
  }
  if (m_backgroundLayer) {
    m_backgroundLayer->setNeedsDisplay();
    layer()->insertSublayer(m_backgroundLayer, 0);
  }
  gfx::Transaction::commit();
}

bool AOProgressHUD::isClear() const {
  return m_displayMaskType == MaskTypeNone || m_displayMaskType == MaskTypeClear;
}

double AOProgressHUD::visibleKeyboardHeight() const {
  // The keyboard is not a window here: its frame says where it would be.
  const auto& keyboard = ui::Keyboard::shared();
  return keyboard.isVisible() ? keyboard.frame().height() : 0;
}

gfx::Rect AOProgressHUD::applicationWindowBounds() {
  auto& app = ui::Application::shared();
  if (ui::Window* key = app.keyWindow()) return key->bounds();
  auto windows = app.windows();
  if (!windows.empty()) return windows.front()->bounds();
  return ui::Screen::main().bounds();
}

void AOProgressHUD::updateViewHierarchy() {
  const auto& overlay = overlayView();
  if (ui::View* parent = overlay->superview()) {
    parent->bringSubviewToFront(overlay.get());
  } else {
    // The front-most window that is shown at a level the overlay may use.
    auto windows = ui::Application::shared().windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      const auto& window = *it;
      const bool levelOk = window->windowLevel() >= 0 && window->windowLevel() <= m_maxSupportedWindowLevel;
      if (!window->isHidden() && window->alpha() > 0 && levelOk) {
        window->addSubview(overlay);
        break;
      }
    }
  }
  if (!superview()) overlay->addSubview(shared());
  const auto& hud = hudView();
  if (!hud->superview()) addSubview(hud);
}

// ---------------------------------------------------------------------------------------------
// Notifications and touches

void AOProgressHUD::setFadeOutTimer(std::shared_ptr<core::Timer> timer) {
  if (m_fadeOutTimer) {
    m_fadeOutTimer->invalidate();
    m_fadeOutTimer.reset();
  }
  if (timer) m_fadeOutTimer = std::move(timer);
}

void AOProgressHUD::registerNotifications() {
  m_observations.clear();
  std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
  auto& center = core::NotificationCenter::defaultCenter();
  for (const char* name : {ui::Application::DidChangeStatusBarOrientationNotification,
                           ui::Keyboard::WillHideNotification, ui::Keyboard::DidHideNotification,
                           ui::Keyboard::WillShowNotification, ui::Keyboard::DidShowNotification,
                           ui::Application::DidBecomeActiveNotification}) {
    m_observations.emplace_back(center, name, nullptr, [weak](const core::Notification& n) {
      if (auto self = weak.lock()) self->positionHUD(&n);
    });
  }
}

core::Value AOProgressHUD::notificationUserInfo() const {
  if (!m_status) return core::Value();
  return core::Value(core::Value::Dictionary{{StatusUserInfoKey, core::Value(*m_status)}});
}

void AOProgressHUD::post(const char* name, bool withObject) {
  core::NotificationCenter::defaultCenter().post(name, withObject ? this : nullptr, notificationUserInfo());
}

void AOProgressHUD::overlayViewDidReceiveTouchEvent(ui::Control&, const ui::Event* event) {
  post(DidReceiveTouchEventNotification, true);
  if (!event || event->allTouches().empty()) return;
  const auto& touch = event->allTouches().front();
  if (hudView()->frame().contains(touch->locationInView(this))) post(DidTouchDownInsideNotification, true);
}

// ---------------------------------------------------------------------------------------------
// Views

const std::shared_ptr<ui::Control>& AOProgressHUD::overlayView() {
  if (!m_overlayView) {
    m_overlayView = std::make_shared<ui::Control>(applicationWindowBounds());
    m_overlayView->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
    m_overlayView->setBackgroundColor(gfx::Color::clear());
    std::weak_ptr<AOProgressHUD> weak = std::static_pointer_cast<AOProgressHUD>(shared());
    m_overlayView->addTarget(
        this,
        [weak](ui::Control& sender, const ui::Event* event) {
          if (auto self = weak.lock()) self->overlayViewDidReceiveTouchEvent(sender, event);
        },
        ui::ControlEventTouchDown);
  }
  m_overlayView->setFrame(applicationWindowBounds());
  return m_overlayView;
}

const std::shared_ptr<ui::View>& AOProgressHUD::hudView() {
  if (!m_hudView) {
    m_hudView = ui::View::create();
    m_hudView->setClipsToBounds(true);
    m_hudView->setAutoresizingMask(ui::AutoresizingFlexibleLeftMargin | ui::AutoresizingFlexibleRightMargin |
                                   ui::AutoresizingFlexibleTopMargin | ui::AutoresizingFlexibleBottomMargin);
    m_hudView->setAlpha(0);
  }
  m_hudView->layer()->setCornerRadius(m_cornerRadius);
  m_hudView->setBackgroundColor(m_defaultStyle == StyleCustom ? m_backgroundColor : gfx::Color::clear());
  return m_hudView;
}

const std::shared_ptr<ui::Label>& AOProgressHUD::statusLabel() {
  if (!m_statusLabel) {
    m_statusLabel = ui::Label::create();
    m_statusLabel->setBackgroundColor(gfx::Color::clear());
    m_statusLabel->setAdjustsFontSizeToFitWidth(true);
    m_statusLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_statusLabel->setNumberOfLines(0);
  }
  if (!m_statusLabel->superview()) hudView()->addSubview(m_statusLabel);
  m_statusLabel->setTextColor(foregroundColorForStyle());
  m_statusLabel->setFont(m_font);
  return m_statusLabel;
}

const std::shared_ptr<ui::ImageView>& AOProgressHUD::imageView() {
  if (!m_imageView) m_imageView = ui::ImageView::create(gfx::Rect(0, 0, 28, 28));
  if (!m_imageView->superview()) hudView()->addSubview(m_imageView);
  return m_imageView;
}

const std::shared_ptr<ui::View>& AOProgressHUD::indefiniteAnimatedView() {
  if (m_defaultAnimationType == AnimationTypeNative) {
    if (m_indefiniteAnimatedView && !std::dynamic_pointer_cast<ui::ActivityIndicatorView>(m_indefiniteAnimatedView)) {
      m_indefiniteAnimatedView->removeFromSuperview();
      m_indefiniteAnimatedView.reset();
    }
    if (!m_indefiniteAnimatedView)
      m_indefiniteAnimatedView = ui::ActivityIndicatorView::create(ui::ActivityIndicatorStyle::WhiteLarge);
    auto native = std::static_pointer_cast<ui::ActivityIndicatorView>(m_indefiniteAnimatedView);
    native->setColor(foregroundColorForStyle());
    native->sizeToFit();
  } else {
    if (m_indefiniteAnimatedView && !std::dynamic_pointer_cast<AOIndefiniteAnimatedView>(m_indefiniteAnimatedView)) {
      m_indefiniteAnimatedView->removeFromSuperview();
      m_indefiniteAnimatedView.reset();
    }
    if (!m_indefiniteAnimatedView) m_indefiniteAnimatedView = AOIndefiniteAnimatedView::create(gfx::Rect());
    auto flat = std::static_pointer_cast<AOIndefiniteAnimatedView>(m_indefiniteAnimatedView);
    flat->setStrokeColor(foregroundColorForStyle());
    flat->setStrokeThickness(m_ringThickness);
    flat->setRadius(m_status ? m_ringRadius : m_ringNoTextRadius);
    flat->sizeToFit();
  }
  return m_indefiniteAnimatedView;
}

const std::shared_ptr<AOProgressAnimatedView>& AOProgressHUD::ringView() {
  if (!m_ringView) m_ringView = AOProgressAnimatedView::create(gfx::Rect());
  m_ringView->setStrokeColor(foregroundColorForStyle());
  m_ringView->setStrokeThickness(m_ringThickness);
  m_ringView->setRadius(m_status ? m_ringRadius : m_ringNoTextRadius);
  return m_ringView;
}

const std::shared_ptr<AOProgressAnimatedView>& AOProgressHUD::backgroundRingView() {
  if (!m_backgroundRingView) {
    m_backgroundRingView = AOProgressAnimatedView::create(gfx::Rect());
    m_backgroundRingView->setStrokeEnd(1);
  }
  m_backgroundRingView->setStrokeColor(foregroundColorForStyle().withAlpha(static_cast<float>(0.1)));
  m_backgroundRingView->setStrokeThickness(m_ringThickness);
  m_backgroundRingView->setRadius(m_status ? m_ringRadius : m_ringNoTextRadius);
  return m_backgroundRingView;
}

void AOProgressHUD::cancelRingLayerAnimation() {
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  hudView()->layer()->removeAllAnimations();
  ringView()->setStrokeEnd(0);
  gfx::Transaction::commit();
  ringView()->removeFromSuperview();
  backgroundRingView()->removeFromSuperview();
}

void AOProgressHUD::cancelIndefiniteAnimatedViewAnimation() {
  if (!m_indefiniteAnimatedView) return;
  if (auto native = std::dynamic_pointer_cast<ui::ActivityIndicatorView>(m_indefiniteAnimatedView)) {
    native->stopAnimating();
  }
  m_indefiniteAnimatedView->removeFromSuperview();
}

gfx::Color AOProgressHUD::foregroundColorForStyle() const {
  switch (m_defaultStyle) {
    case StyleLight: return gfx::Color::black();
    case StyleDark: return gfx::Color::whiteColor();
    default: return m_foregroundColor;
  }
}

gfx::Color AOProgressHUD::backgroundColorForStyle() const {
  switch (m_defaultStyle) {
    case StyleLight: return gfx::Color::whiteColor();
    case StyleDark: return gfx::Color::black();
    default: return m_backgroundColor;
  }
}

AOProgressHUD::ImagePtr AOProgressHUD::imageWithTintColor(const ImagePtr& image, const gfx::Color& color) {
  return kt::imageWithTintColor(image, color);
}

}  // namespace kt
