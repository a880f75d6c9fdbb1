#include "widgets/feedback/ProgressOverlay.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Device.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "widgets/feedback/PORoundProgressView.h"
#include "widgets/feedback/ProgressOverlayDelegate.h"

namespace kt {

namespace {

constexpr float Padding = 4;
constexpr double CornerRadius = 10;

ProgressOverlay::TextMeasurer& textMeasurer() {
  static ProgressOverlay::TextMeasurer measurer;
  return measurer;
}

// White centred text on a clear background, no font shrinking. Only what differs is set: a label
// asks its parent for layout again on every change.
void styleLabel(ui::Label& label, const std::shared_ptr<const gfx::Font>& font, int lines) {
  if (label.font() != font) label.setFont(font);
  if (label.adjustsFontSizeToFitWidth()) label.setAdjustsFontSizeToFitWidth(false);
  if (label.textAlignment() != gfx::TextAlignment::Center) label.setTextAlignment(gfx::TextAlignment::Center);
  label.setOpaque(false);
  if (label.backgroundColor() != gfx::Color::clear()) label.setBackgroundColor(gfx::Color::clear());
  if (label.textColor() != gfx::Color::whiteColor()) label.setTextColor(gfx::Color::whiteColor());
  if (label.numberOfLines() != lines) label.setNumberOfLines(lines);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation

ProgressOverlay::ProgressOverlay(const gfx::Rect& frame) : ui::View(frame) {
  m_labelFont = gfx::Font::boldSystemFont(16);
  m_detailsLabelFont = gfx::Font::boldSystemFont(12);
  // Stays centred in a parent that changes size.
  setAutoresizingMask(ui::AutoresizingFlexibleLeftMargin | ui::AutoresizingFlexibleRightMargin |
                      ui::AutoresizingFlexibleTopMargin | ui::AutoresizingFlexibleBottomMargin);
  setOpaque(false);
  setBackgroundColor(gfx::Color::clear());
  setAlpha(0);
  m_label = ui::Label::create(bounds());
  m_detailsLabel = ui::Label::create(bounds());
  // Builds the spinner.
  setMode(ModeIndeterminate);
}

ProgressOverlay::~ProgressOverlay() = default;

void ProgressOverlay::setLabelFont(std::shared_ptr<const gfx::Font> font) {
  m_labelFont = font ? std::move(font) : gfx::Font::boldSystemFont(16);
}

void ProgressOverlay::setDetailsLabelFont(std::shared_ptr<const gfx::Font> font) {
  m_detailsLabelFont = font ? std::move(font) : gfx::Font::boldSystemFont(12);
}

std::shared_ptr<ProgressOverlay> ProgressOverlay::initWithFrame(const gfx::Rect& frame) {
  return std::make_shared<ProgressOverlay>(frame);
}

std::shared_ptr<ProgressOverlay> ProgressOverlay::initWithView(ui::View* view) {
  if (!view) {
    // A programming error of the caller: nothing is made.
    KT_LOG("%s: %s", ViewIsNilException, ViewIsNilReason);
    return nullptr;
  }
  auto overlay = initWithFrame(view->bounds());
  if (dynamic_cast<ui::Window*>(view)) overlay->setTransformForCurrentOrientation(false);
  overlay->observeOrientation();
  return overlay;
}

std::shared_ptr<ProgressOverlay> ProgressOverlay::initWithWindow(ui::Window* window) { return initWithView(window); }

void ProgressOverlay::observeOrientation() {
  std::weak_ptr<ProgressOverlay> weak = self();
  m_orientationObservation = core::Observation(core::NotificationCenter::defaultCenter(),
                                               ui::Device::OrientationDidChangeNotification, nullptr,
                                               [weak](const core::Notification&) {
                                                 if (auto overlay = weak.lock()) overlay->deviceOrientationDidChange();
                                               });
}

std::shared_ptr<ProgressOverlay> ProgressOverlay::self() {
  return std::static_pointer_cast<ProgressOverlay>(shared_from_this());
}

// ---------------------------------------------------------------------------------------------
// Class operations

std::shared_ptr<ProgressOverlay> ProgressOverlay::showHUDAddedTo(ui::View* view, bool animated) {
  auto overlay = initWithView(view);
  if (!overlay) return nullptr;
  view->addSubview(overlay);
  overlay->show(animated);
  return overlay;
}

bool ProgressOverlay::hideHUDForView(ui::View* view, bool animated) {
  if (!view) return false;
  std::shared_ptr<ProgressOverlay> last;
  for (const auto& subview : view->subviews()) {
    if (auto overlay = std::dynamic_pointer_cast<ProgressOverlay>(subview)) last = overlay;
  }
  if (!last) return false;
  last->setRemoveFromSuperViewOnHide(true);
  last->hide(animated);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Look setters (any thread)

void ProgressOverlay::setMode(int mode) {
  if (!core::RunLoop::isMainThread()) {
    auto keep = self();
    core::Queue::main()->async([keep, mode] { keep->setMode(mode); });
    return;
  }
  // The spinner is built again every time; the other indicators only when the mode changes.
  if (m_mode != ModeIndeterminate && m_mode == mode) return;
  m_mode = mode;
  updateIndicators();
  setNeedsLayout();
  setNeedsDisplay();
}

void ProgressOverlay::setLabelText(const Text& text) {
  if (!core::RunLoop::isMainThread()) {
    auto keep = self();
    core::Queue::main()->async([keep, text] { keep->setLabelText(text); });
    return;
  }
  if (text == m_labelText) return;
  m_labelText = text;
  setNeedsLayout();
  setNeedsDisplay();
}

void ProgressOverlay::setDetailsLabelText(const Text& text) {
  if (!core::RunLoop::isMainThread()) {
    auto keep = self();
    core::Queue::main()->async([keep, text] { keep->setDetailsLabelText(text); });
    return;
  }
  if (text == m_detailsLabelText) return;
  m_detailsLabelText = text;
  setNeedsLayout();
  setNeedsDisplay();
}

void ProgressOverlay::setProgress(float progress) {
  if (!core::RunLoop::isMainThread()) {
    auto keep = self();
    core::Queue::main()->async([keep, progress] { keep->setProgress(progress); });
    return;
  }
  m_progress = progress;
  if (m_mode == ModeDeterminate) {
    if (auto pie = std::dynamic_pointer_cast<PORoundProgressView>(m_indicator)) pie->setProgress(progress);
    setNeedsDisplay();
  }
}

void ProgressOverlay::updateIndicators() {
  if (m_indicator) m_indicator->removeFromSuperview();
  if (m_mode == ModeDeterminate) {
    auto pie = PORoundProgressView::create();
    pie->setProgress(m_progress);
    m_indicator = pie;
  } else if (m_mode == ModeCustomView && m_customView) {
    m_indicator = m_customView;
  } else {
    auto spinner = ui::ActivityIndicatorView::create(ui::ActivityIndicatorStyle::WhiteLarge);
    spinner->startAnimating();
    m_indicator = spinner;
  }
  addSubview(m_indicator);
}

// ---------------------------------------------------------------------------------------------
// Showing and hiding

void ProgressOverlay::show(bool animated) {
  m_useAnimation = animated;
  if (m_graceTime > 0) {
    // Comes in later, and only if a task is still running then.
    auto keep = self();
    m_graceTimer = core::Timer::scheduled(m_graceTime, false, [keep](core::Timer&) { keep->handleGraceTimer(); });
    return;
  }
  setNeedsDisplay();
  showUsingAnimation(m_useAnimation);
}

void ProgressOverlay::handleGraceTimer() {
  if (!m_taskInProgress) return;
  setNeedsDisplay();
  showUsingAnimation(m_useAnimation);
}

void ProgressOverlay::showUsingAnimation(bool animated) {
  setAlpha(0);
  if (animated) {
    if (m_animationType == AnimationZoom) setTransform(m_rotationTransform.scaled(1.5, 1.5));
    m_showStarted = core::Clock::now();
    ui::View::animate(AnimationDuration, [this] {
      setAlpha(1);
      if (m_animationType == AnimationZoom) setTransform(m_rotationTransform);
    });
  } else {
    m_showStarted = core::Clock::now();
    setAlpha(1);
  }
}

void ProgressOverlay::hide(bool animated) {
  m_useAnimation = animated;
  if (m_minShowTime > 0 && m_showStarted) {
    const double shown = core::Clock::now() - *m_showStarted;
    if (shown < m_minShowTime) {
      // Stays until the minimum time is up, then goes out with the flag remembered then.
      auto keep = self();
      m_minShowTimer = core::Timer::scheduled(m_minShowTime - shown, false,
                                              [keep](core::Timer&) { keep->handleMinShowTimer(); });
      return;
    }
  }
  hideUsingAnimation(m_useAnimation);
}

void ProgressOverlay::setDelegate(ProgressOverlayDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

void ProgressOverlay::handleMinShowTimer() { hideUsingAnimation(m_useAnimation); }

void ProgressOverlay::hideAfterDelay(bool animated, double delay) {
  auto keep = self();
  core::RunLoop::current().performAfterDelay(keep, delay, [keep, animated] { keep->hideDelayed(animated); });
}

void ProgressOverlay::hideDelayed(bool animated) { hide(animated); }

void ProgressOverlay::hideUsingAnimation(bool animated) {
  if (animated) {
    auto keep = self();
    ui::View::beginAnimations();
    ui::View::setAnimationDuration(AnimationDuration);
    ui::View::setAnimationDidStop([keep](bool finished) { keep->animationFinished(finished); });
    if (m_animationType == AnimationZoom) setTransform(m_rotationTransform.scaled(0.5, 0.5));
    setAlpha(0.02);
    ui::View::commitAnimations();
  } else {
    setAlpha(0);
    done();
  }
}

void ProgressOverlay::animationFinished(bool /*finished*/) { done(); }

void ProgressOverlay::done() {
  auto keep = self();  // leaving the hierarchy may drop the last other reference
  m_isFinished = true;
  setAlpha(0);
  if (ProgressOverlayDelegate* delegate = m_delegate.get()) {
    if (delegate->hudWasHiddenWithOverlay) {
      delegate->hudWasHiddenWithOverlay(*this);
    } else if (delegate->hudWasHidden) {
      delegate->hudWasHidden();
    }
  }
  if (m_removeFromSuperViewOnHide) removeFromSuperview();
}

void ProgressOverlay::removeFromSuperview() {
  m_orientationObservation.reset();
  ui::View::removeFromSuperview();
}

// ---------------------------------------------------------------------------------------------
// Task runner

void ProgressOverlay::showWhileExecuting(Task task, bool animated) {
  m_taskInProgress = true;
  // The block holds the overlay until the task is over and the hide is on its way.
  auto keep = self();
  core::Queue::global()->async([keep, task = std::move(task)] { keep->launchExecution(task); });
  show(animated);
}

void ProgressOverlay::launchExecution(const Task& task) {
  if (task) task();
  core::Queue::main()->async([keep = self()] { keep->cleanUp(); });
}

void ProgressOverlay::cleanUp() {
  m_taskInProgress = false;
  m_indicator.reset();
  hide(m_useAnimation);
}

// ---------------------------------------------------------------------------------------------
// Orientation

void ProgressOverlay::setTransformForCurrentOrientation(bool animated) {
  if (superview()) {
    setBounds(superview()->bounds());
    setNeedsDisplay();
  }
  // Windows here lay their content out in the interface orientation already (they are never
  // turned by the status bar orientation), so the overlay needs no turn of its own: turning it by
  // the status bar orientation would show the box and its texts sideways.
  m_rotationTransform = gfx::AffineTransform::identity();
  if (animated) {
    ui::View::beginAnimations();
    setTransform(m_rotationTransform);
    ui::View::commitAnimations();
  } else {
    setTransform(m_rotationTransform);
  }
}

void ProgressOverlay::deviceOrientationDidChange() {
  ui::View* parent = superview();
  if (!parent) return;
  if (dynamic_cast<ui::Window*>(parent)) {
    setTransformForCurrentOrientation(true);
  } else {
    setBounds(parent->bounds());
    setNeedsDisplay();
  }
}

// ---------------------------------------------------------------------------------------------
// Layout and drawing

void ProgressOverlay::setTextMeasurer(TextMeasurer measurer) { textMeasurer() = std::move(measurer); }

gfx::Size ProgressOverlay::measure(const std::string& text, const std::shared_ptr<const gfx::Font>& font,
                                   std::optional<gfx::Size> within) {
  if (const auto& custom = textMeasurer()) return custom(text, *font, within);
  gfx::TextStyle style = gfx::TextStyle::withFont(font);
  style.lineBreak = gfx::LineBreakMode::TruncateTail;
  gfx::TextLayout layout(text, style);
  gfx::Size size = within ? layout.boundingSize(*within, gfx::TextUsesLineFragmentOrigin | gfx::TextTruncatesLastVisibleLine)
                          : layout.size();
  return gfx::Size{std::ceil(size.width), std::ceil(size.height)};
}

void ProgressOverlay::layoutSubviews() {
  const gfx::Rect all = bounds();
  const float W = static_cast<float>(all.size.width);
  const float H = static_cast<float>(all.size.height);
  const float m = m_margin;

  float iw = 0, ih = 0;
  if (m_indicator) {
    const gfx::Rect ib = m_indicator->bounds();
    iw = static_cast<float>(ib.size.width);
    ih = static_cast<float>(ib.size.height);
  }

  // The box, then the indicator in the middle.
  m_width = iw + 2 * m;
  m_height = ih + 2 * m;
  float ix = std::floor((W - iw) / 2) + m_xOffset;
  float iy = std::floor((H - ih) / 2) + m_yOffset;

  const bool hasLabel = m_labelText.has_value();
  const bool hasDetails = hasLabel && m_detailsLabelText.has_value();
  float lx = 0, ly = 0, lw = 0, lh = 0;
  float dx = 0, dy = 0, dw = 0, dh = 0;

  if (hasLabel) {
    const gfx::Size measured = measure(*m_labelText, m_labelFont, std::nullopt);
    lw = static_cast<float>(measured.width);
    lh = static_cast<float>(measured.height);
    if (lw > W - 4 * m) lw = W - 4 * m;
    if (m_width < lw + 2 * m) m_width = lw + 2 * m;
    m_height += lh + Padding;
    iy -= std::floor(lh / 2 + Padding / 2);
    lx = std::floor((W - lw) / 2) + m_xOffset;
    ly = std::floor(iy + ih + Padding);

    if (hasDetails) {
      const gfx::Size within{W - 4 * m, H - m_height - 2 * m};
      const gfx::Size measuredDetails = measure(*m_detailsLabelText, m_detailsLabelFont, within);
      dw = static_cast<float>(measuredDetails.width);
      dh = static_cast<float>(measuredDetails.height);
      // Widens the box only when wider than the whole box.
      if (m_width < dw) m_width = dw + 2 * m;
      m_height += dh + Padding;
      const float up = std::floor(dh / 2 + Padding / 2);
      iy -= up;
      ly -= up;
      dx = std::floor((W - dw) / 2) + m_xOffset;
      dy = ly + lh + Padding;
    }
  }

  if (m_indicator) m_indicator->setFrame(gfx::Rect(ix, iy, iw, ih));

  // The labels take their texts here; a label without a text to show leaves the overlay, so that
  // no earlier text stays on screen.
  if (hasLabel) {
    styleLabel(*m_label, m_labelFont, 1);
    m_label->setText(*m_labelText);
    m_label->setFrame(gfx::Rect(lx, ly, lw, lh));
    if (m_label->superview() != this) addSubview(m_label);
  } else if (m_label->superview() == this) {
    m_label->removeFromSuperview();
  }
  if (hasDetails) {
    styleLabel(*m_detailsLabel, m_detailsLabelFont, 0);
    m_detailsLabel->setText(*m_detailsLabelText);
    m_detailsLabel->setFrame(gfx::Rect(dx, dy, dw, dh));
    if (m_detailsLabel->superview() != this) addSubview(m_detailsLabel);
  } else if (m_detailsLabel->superview() == this) {
    m_detailsLabel->removeFromSuperview();
  }

  // Square when it fits, then at least the minimum size.
  if (m_square) {
    const float s = std::max(m_width, m_height);
    if (s <= W - 2 * m) m_width = s;
    if (s <= H - 2 * m) m_height = s;
  }
  if (m_width < m_minSize.width) m_width = static_cast<float>(m_minSize.width);
  if (m_height < m_minSize.height) m_height = static_cast<float>(m_minSize.height);
}

gfx::Rect ProgressOverlay::boxRect() const {
  const gfx::Rect all = bounds();
  const float W = static_cast<float>(all.size.width);
  const float H = static_cast<float>(all.size.height);
  const float x = std::round((W - m_width) / 2) + m_xOffset;
  const float y = std::round((H - m_height) / 2) + m_yOffset;
  return gfx::Rect(x, y, m_width, m_height);
}

void ProgressOverlay::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  (void)rect;
  const gfx::Rect all = bounds();
  const double W = all.size.width, H = all.size.height;
  if (m_dimBackground) {
    auto gradient = gfx::Gradient::withColors({gfx::Color(0, 0, 0, 0), gfx::Color(0, 0, 0, 0.75)}, {0.0, 1.0});
    if (gradient) {
      const gfx::Point centre{W / 2, H / 2};
      ctx.drawRadialGradient(*gradient, centre, 0, centre, std::min(W, H), gfx::GradientDrawsAfterEnd);
    }
  }
  ctx.setFillColor(gfx::Color(0, 0, 0, m_opacity));
  ctx.fill(gfx::Path::roundedRect(boxRect(), CornerRadius));
}

}  // namespace kt
