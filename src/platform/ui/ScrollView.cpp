#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Color.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/TimingFunction.h"
#include "platform/ui/Control.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/Touch.h"

namespace ui {
namespace {

constexpr double FrameInterval = 1.0 / 60;
constexpr double AnimationDuration = 0.3;
// Deceleration inside the range stops under this speed (points per millisecond).
constexpr double StopSpeed = 0.01;
// Past an edge the content hangs on a critically damped spring of this angular frequency (per
// millisecond): a flick overshoots by about v / (e * w) and a pull settles in about half a second.
constexpr double SpringOmega = 0.015;
// Paging and chosen targets are approached exponentially at this rate per millisecond.
constexpr double ApproachRate = 0.985;
// Close enough to a resting place to jump there.
constexpr double SettleDistance = 0.5;
constexpr double SettleSpeed = 0.05;
// A release faster than this (points per millisecond) turns the page in its direction.
constexpr double PageFlickSpeed = 0.2;
// Frames longer than this (a stalled loop) are treated as this long.
constexpr double MaxFrameMs = 5000;
// The wheel: an offset this close to an end is at it (a touchpad's fractions leave fractional
// offsets); a paging view forgets travel not yet worth a page after this pause (seconds), and a
// notch's worth is reached this close to it (a notch converted through a view's transform).
constexpr double WheelEndSlack = 0.01;
constexpr double WheelPause = 0.3;
constexpr double WheelNotchSlack = 0.5;

constexpr double IndicatorThickness = 2.5;
constexpr double IndicatorGap = 2.5;
constexpr double IndicatorMinLength = 36;
constexpr double IndicatorMinSquashed = 7;
constexpr double IndicatorAlpha = 0.35;
constexpr double IndicatorFade = 0.3;

double pointsOf(double v) { return std::round(v); }

// Tells the living observers of a list (a copy: they may add or remove observers meanwhile).
template <class Entry, class... Args>
void notifyObservers(std::vector<Entry>& list, const Args&... args) {
  std::erase_if(list, [](const Entry& e) { return e.owner.expired(); });
  auto observers = list;
  for (auto& o : observers) {
    if (!o.owner.expired()) o.fn(args...);
  }
}

}  // namespace

// The scroll view's own pan: besides dragging, it tells the scroll view when a finger comes down
// on the content (to stop it) and when the last one lifts, whether or not the pan began.
class ScrollPanRecognizer final : public PanGestureRecognizer {
 public:
  explicit ScrollPanRecognizer(core::WeakPtr<ScrollView> scroll) : m_scroll(std::move(scroll)) {}

  void touchesBegan(const TouchSet& touches, const Event* event) override {
    if (m_scroll && numberOfTouches() == 0) m_scroll->touchDown();
    PanGestureRecognizer::touchesBegan(touches, event);
  }
  void touchesEnded(const TouchSet& touches, const Event* event) override {
    PanGestureRecognizer::touchesEnded(touches, event);
    if (numberOfTouches() == 0) lifted();
  }
  void touchesCancelled(const TouchSet& touches, const Event* event) override {
    PanGestureRecognizer::touchesCancelled(touches, event);
    if (numberOfTouches() == 0) lifted();
  }
  void reset() override {
    PanGestureRecognizer::reset();
    lifted();
  }

 private:
  void lifted() {
    if (m_scroll) m_scroll->touchUp();
  }

  core::WeakPtr<ScrollView> m_scroll;
};

ScrollView::ScrollView(const gfx::Rect& frame) : View(frame) {
  setClipsToBounds(true);
  m_pan = std::make_shared<ScrollPanRecognizer>(m_weakFactory.weakPtr());
  m_pan->addTarget(this, [weak = m_weakFactory.weakPtr()](GestureRecognizer& g) {
    if (ScrollView* scroll = weak.get()) scroll->panChanged(static_cast<PanGestureRecognizer&>(g));
  });
  addGestureRecognizer(m_pan);
}

ScrollView::~ScrollView() {
  if (m_timer) m_timer->invalidate();
}

void ScrollView::panChanged(PanGestureRecognizer& pan) {
  auto keep = weak_from_this().lock();
  switch (pan.state()) {
    case GestureRecognizerState::Began:
      beginDragging();
      dragTo(pan.translationInView(nullptr));
      break;
    case GestureRecognizerState::Changed:
      dragTo(pan.translationInView(nullptr));
      break;
    case GestureRecognizerState::Ended: {
      // The finger's points per second become the content's points per millisecond.
      gfx::Point v = pan.velocityInView(nullptr);
      endDragging({-v.x / 1000, -v.y / 1000});
      break;
    }
    case GestureRecognizerState::Cancelled:
      endDragging({0, 0});
      break;
    default:
      break;
  }
}

bool ScrollView::gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
  if (&recognizer != m_pan.get()) return View::gestureRecognizerShouldBegin(recognizer);
  if (m_canCancelContentTouches) return true;
  // Content that is tracking its touch keeps it.
  for (const auto& touch : recognizer.touches()) {
    for (auto v = touch->view(); v && v.get() != this; v = v->superview() ? v->superview()->shared() : nullptr) {
      if (auto* control = dynamic_cast<Control*>(v.get()); control && control->isTracking()) return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Offset, size, inset

void ScrollView::setContentOffset(gfx::Point offset) {
  ++m_setterCalls;
  stopMotion();
  applyOffset(offset);
}

void ScrollView::setContentOffset(gfx::Point offset, bool animated) {
  if (!animated) return setContentOffset(offset);
  ++m_setterCalls;
  stopMotion();
  if (contentOffset() == offset) return;
  m_animFrom = contentOffset();
  m_animTo = offset;
  m_animStart = core::Clock::now();
  m_motion = Motion::Animating;
  startFrames();
}

void ScrollView::applyOffset(gfx::Point offset) {
  gfx::Rect b = bounds();
  if (b.origin == offset) return;
  gfx::Point old = b.origin;
  setBounds(gfx::Rect(offset, b.size));
  notifyOffset(old);
}

void ScrollView::notifyOffset(gfx::Point oldOffset) {
  auto keep = weak_from_this().lock();
  setNeedsLayout();
  updateIndicators();
  didChangeContentOffset(oldOffset);
  notifyObservers(m_offsetObservers, oldOffset, contentOffset());
  if (m_delegate) m_delegate->scrollViewDidScroll(*this);
}

void ScrollView::setContentSize(gfx::Size size) {
  if (m_contentSize == size) return;
  auto keep = weak_from_this().lock();
  gfx::Size old = m_contentSize;
  m_contentSize = size;
  setNeedsLayout();
  updateIndicators();
  notifyObservers(m_sizeObservers, old, size);
}

void ScrollView::setContentInset(const gfx::EdgeInsets& inset) {
  if (m_contentInset == inset) return;
  gfx::EdgeInsets old = m_contentInset;
  m_contentInset = inset;
  auto keep = weak_from_this().lock();
  notifyObservers(m_insetObservers, old, inset);
  setNeedsLayout();
  updateIndicators();
}

gfx::Point ScrollView::minimumContentOffset() const { return {-m_contentInset.left, -m_contentInset.top}; }

gfx::Point ScrollView::maximumContentOffset() const {
  gfx::Size s = bounds().size;
  gfx::Point min = minimumContentOffset();
  return {std::max(min.x, m_contentSize.width + m_contentInset.right - s.width),
          std::max(min.y, m_contentSize.height + m_contentInset.bottom - s.height)};
}

void ScrollView::scrollRectToVisible(const gfx::Rect& rect, bool animated) {
  gfx::Rect b = bounds();
  gfx::Point o = b.origin;
  if (rect.minX() < b.minX()) o.x = rect.minX();
  else if (rect.maxX() > b.maxX()) o.x = std::min(rect.minX(), rect.maxX() - b.width());
  if (rect.minY() < b.minY()) o.y = rect.minY();
  else if (rect.maxY() > b.maxY()) o.y = std::min(rect.minY(), rect.maxY() - b.height());
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  o.x = std::clamp(o.x, min.x, max.x);
  o.y = std::clamp(o.y, min.y, max.y);
  if (o == b.origin) return;
  setContentOffset(o, animated);
}

void ScrollView::setScrollEnabled(bool enabled) {
  m_scrollEnabled = enabled;
  m_pan->setEnabled(enabled);
}

bool ScrollView::canScrollHorizontally() const {
  return maximumContentOffset().x > minimumContentOffset().x || m_alwaysBounceHorizontal;
}

bool ScrollView::canScrollVertically() const {
  return maximumContentOffset().y > minimumContentOffset().y || m_alwaysBounceVertical;
}

bool ScrollView::canBounceHorizontally() const { return m_bounces && canScrollHorizontally(); }
bool ScrollView::canBounceVertically() const { return m_bounces && canScrollVertically(); }

// ---------------------------------------------------------------------------------------------
// Dragging

void ScrollView::touchDown() {
  m_tracking = true;
  if (m_motion != Motion::None) {
    // The content stops under the finger; neither end call is made.
    stopMotion();
  }
}

void ScrollView::touchUp() {
  if (!m_tracking) return;
  m_tracking = false;
  if (m_dragging || m_motion != Motion::None) return;
  // A touch that stopped the content past an edge lets it spring back.
  gfx::Point p = contentOffset(), min = minimumContentOffset(), max = maximumContentOffset();
  if (p.x < min.x || p.x > max.x || p.y < min.y || p.y > max.y) {
    m_motionX = {AxisMotion::Kind::Free, 0, 0};
    m_motionY = {AxisMotion::Kind::Free, 0, 0};
    startDeceleration(false);
  } else {
    hideIndicators();
  }
}

void ScrollView::beginDragging() {
  auto keep = weak_from_this().lock();
  stopMotion();
  m_dragging = true;
  m_dragRaw = unbandedOffset(contentOffset());
  m_lastTranslation = {};
  m_lastDragOffset = contentOffset();
  m_lastDragMin = minimumContentOffset();
  m_lastDragMax = maximumContentOffset();
  m_lock = Lock::Undecided;
  showIndicators();
  if (m_delegate) m_delegate->scrollViewWillBeginDragging(*this);
}

void ScrollView::dragTo(gfx::Point translation) {
  if (!m_dragging) return;
  // Someone else moved the content or changed the range during the drag (a refresh control
  // widening the inset): carry on from where the content is, without a jump.
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  if (contentOffset() != m_lastDragOffset || min != m_lastDragMin || max != m_lastDragMax) {
    m_dragRaw = unbandedOffset(contentOffset());
  }
  gfx::Point delta{translation.x - m_lastTranslation.x, translation.y - m_lastTranslation.y};
  m_lastTranslation = translation;

  bool canX = canScrollHorizontally(), canY = canScrollVertically();
  if (m_directionalLock && canX && canY) {
    if (m_lock == Lock::Undecided && (translation.x != 0 || translation.y != 0)) {
      double ax = std::fabs(translation.x), ay = std::fabs(translation.y);
      m_lock = ax > 2 * ay ? Lock::Horizontal : ay > 2 * ax ? Lock::Vertical : Lock::Free;
    }
    if (m_lock == Lock::Horizontal) canY = false;
    if (m_lock == Lock::Vertical) canX = false;
  }
  if (canX) m_dragRaw.x -= delta.x;
  if (canY) m_dragRaw.y -= delta.y;

  // Without bouncing the finger's position is not remembered past the edge: turning back moves
  // the content at once.
  if (!canBounceHorizontally()) m_dragRaw.x = std::clamp(m_dragRaw.x, min.x, std::max(min.x, max.x));
  if (!canBounceVertically()) m_dragRaw.y = std::clamp(m_dragRaw.y, min.y, std::max(min.y, max.y));
  gfx::Point banded = bandedOffset(m_dragRaw);
  gfx::Point now = contentOffset();
  if (!canX) banded.x = now.x;
  if (!canY) banded.y = now.y;
  applyOffset(banded);
  m_lastDragOffset = contentOffset();
  m_lastDragMin = minimumContentOffset();
  m_lastDragMax = maximumContentOffset();
}

void ScrollView::endDragging(gfx::Point velocity) {
  if (!m_dragging) return;
  auto keep = weak_from_this().lock();
  if (!canScrollHorizontally() || m_lock == Lock::Vertical) velocity.x = 0;
  if (!canScrollVertically() || m_lock == Lock::Horizontal) velocity.y = 0;

  gfx::Point p = contentOffset();
  gfx::Point target = m_pagingEnabled ? pageTarget(p, velocity) : projectedTarget(p, velocity);
  gfx::Point offered = target;
  if (m_delegate) m_delegate->scrollViewWillEndDragging(*this, velocity, target);
  if (!keep) return;

  // Plan each axis: an approach to a chosen place (paging, or a target the delegate moved), or
  // free deceleration with the release velocity (springing back past the edges).
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  auto plan = [&](double pos, double v, double t, double off, double lo, double hi) {
    AxisMotion m;
    bool chosen = m_pagingEnabled || t != off;
    if (chosen) {
      t = std::clamp(t, lo, hi);
      if (std::fabs(t - pos) >= 1e-9) m = {AxisMotion::Kind::Approach, 0, t};
    } else if (pos < lo || pos > hi || std::fabs(v) >= StopSpeed) {
      m = {AxisMotion::Kind::Free, v, 0};
    }
    return m;
  };
  m_motionX = plan(p.x, velocity.x, target.x, offered.x, min.x, max.x);
  m_motionY = plan(p.y, velocity.y, target.y, offered.y, min.y, max.y);
  bool decelerate = m_motionX.kind != AxisMotion::Kind::Idle || m_motionY.kind != AxisMotion::Kind::Idle;

  m_dragging = false;
  unsigned calls = m_setterCalls;
  if (m_delegate) m_delegate->scrollViewDidEndDragging(*this, decelerate);
  if (!keep) return;
  // The delegate placed the content itself: that wins over the deceleration.
  if (m_setterCalls != calls) return;
  if (decelerate) startDeceleration(true);
  else if (m_motion == Motion::None) hideIndicators();
}

gfx::Point ScrollView::bandedOffset(gfx::Point raw) const {
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  auto band = [](double r, double lo, double hi, bool bounce) {
    if (r < lo) return bounce ? lo + (r - lo) / 2 : lo;
    if (r > hi) return bounce ? hi + (r - hi) / 2 : hi;
    return r;
  };
  return {band(raw.x, min.x, max.x, canBounceHorizontally()), band(raw.y, min.y, max.y, canBounceVertically())};
}

gfx::Point ScrollView::unbandedOffset(gfx::Point offset) const {
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  auto unband = [](double o, double lo, double hi, bool bounce) {
    if (!bounce) return o;
    if (o < lo) return lo + (o - lo) * 2;
    if (o > hi) return hi + (o - hi) * 2;
    return o;
  };
  return {unband(offset.x, min.x, max.x, canBounceHorizontally()),
          unband(offset.y, min.y, max.y, canBounceVertically())};
}

// Where free deceleration would come to rest: velocity decays by the rate each millisecond, so
// the distance is v / -ln(rate). Clamped to the range, in whole points.
gfx::Point ScrollView::projectedTarget(gfx::Point offset, gfx::Point velocity) const {
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  double k = -std::log(std::clamp(m_decelerationRate, 0.5, 0.999999));
  auto project = [&](double p, double v, double lo, double hi) {
    if (p < lo) return lo;
    if (p > hi) return hi;
    return std::clamp(pointsOf(p + v / k), lo, hi);
  };
  return {project(offset.x, velocity.x, min.x, max.x), project(offset.y, velocity.y, min.y, max.y)};
}

// The nearest page boundary, or the next one in the direction of a flick (at most one page).
gfx::Point ScrollView::pageTarget(gfx::Point offset, gfx::Point velocity) const {
  gfx::Size page = bounds().size;
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  auto pick = [](double p, double v, double size, double lo, double hi) {
    if (size <= 0) return std::clamp(p, lo, hi);
    double index = p / size;
    double chosen = std::round(index);
    if (v > PageFlickSpeed) chosen = std::floor(index) + 1;
    else if (v < -PageFlickSpeed) chosen = std::ceil(index) - 1;
    return std::clamp(chosen * size, lo, hi);
  };
  return {pick(offset.x, velocity.x, page.width, min.x, max.x), pick(offset.y, velocity.y, page.height, min.y, max.y)};
}

// ---------------------------------------------------------------------------------------------
// The wheel

gfx::Point ScrollView::scrollByWheel(gfx::Point travel) {
  if (!m_scrollEnabled || (travel.x == 0 && travel.y == 0)) return {};
  // The finger holds the content.
  if (m_dragging) return travel;
  auto keep = weak_from_this().lock();
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  // A paging view counts from the page it is settling on (so quick notches turn a page each), or
  // where an animated move goes; anything else from where the content is.
  gfx::Point from = contentOffset();
  if (m_pagingEnabled && m_motion == Motion::Animating) from = m_animTo;
  if (m_pagingEnabled && m_motion == Motion::Decelerating) {
    if (m_motionX.kind == AxisMotion::Kind::Approach) from.x = m_motionX.target;
    if (m_motionY.kind == AxisMotion::Kind::Approach) from.y = m_motionY.target;
  }
  // Travel down or right lowers the offset: there must be room below it, and the other way above.
  auto room = [](double t, double at, double lo, double hi) {
    return (t > 0 && at > lo + WheelEndSlack) || (t < 0 && at < hi - WheelEndSlack);
  };
  gfx::Point taken{room(travel.x, from.x, min.x, max.x) ? travel.x : 0,
                   room(travel.y, from.y, min.y, max.y) ? travel.y : 0};
  if (taken.x == 0 && taken.y == 0) return {};
  if (m_pagingEnabled) {
    turnPagesByWheel(taken, from);
    return taken;
  }

  // Moved at once from where the content is, whatever moved it before; an axis left springing
  // back past an edge is put at the edge, so nothing is left outside the range.
  bool moving = m_motion != Motion::None;
  bool promised = m_motion == Motion::Decelerating && m_notifyDeceleration;
  stopMotion();
  gfx::Point p = contentOffset();
  auto place = [&](double at, double t, double lo, double hi) {
    if (t != 0) return std::clamp(at - t, lo, hi);
    return moving ? std::clamp(at, lo, hi) : at;
  };
  applyOffset({place(p.x, taken.x, min.x, max.x), place(p.y, taken.y, min.y, max.y)});
  if (!keep) return taken;
  showIndicators();
  hideIndicators();
  // A delegate told the deceleration began hears it end.
  if (promised && m_delegate) m_delegate->scrollViewDidEndDecelerating(*this);
  return taken;
}

void ScrollView::turnPagesByWheel(gfx::Point taken, gfx::Point from) {
  double now = core::Clock::now();
  if (now - m_lastWheelTime > WheelPause) m_wheelTravel = {};
  m_lastWheelTime = now;
  // The travel adds up in one direction; turning back starts again.
  auto add = [](double& sum, double t) {
    if (t == 0) return false;
    if ((sum > 0) != (t > 0)) sum = 0;
    sum += t;
    if (std::fabs(sum) < WheelNotchPoints - WheelNotchSlack) return false;
    sum = 0;
    return true;
  };
  bool turnX = add(m_wheelTravel.x, taken.x), turnY = add(m_wheelTravel.y, taken.y);
  if (!turnX && !turnY) return;
  // The next page boundary that way (travel down or right: towards the start), as a flick picks it.
  double flick = PageFlickSpeed * 2;
  gfx::Point target = pageTarget(from, {taken.x > 0 ? -flick : flick, taken.y > 0 ? -flick : flick});

  bool decelerating = m_motion == Motion::Decelerating;
  if (!decelerating) {
    stopMotion();
    // An axis not turned that had been left between pages settles on the nearest.
    gfx::Point p = contentOffset(), nearest = pageTarget(p, {});
    m_motionX = {AxisMotion::Kind::Approach, 0, nearest.x};
    m_motionY = {AxisMotion::Kind::Approach, 0, nearest.y};
  }
  if (turnX) m_motionX = {AxisMotion::Kind::Approach, 0, target.x};
  if (turnY) m_motionY = {AxisMotion::Kind::Approach, 0, target.y};
  if (!decelerating) {
    startDeceleration(true);
  } else if (!m_notifyDeceleration) {
    // Springing back after a touch: from now on a settling the delegate hears of.
    auto keep = weak_from_this().lock();
    m_notifyDeceleration = true;
    if (m_delegate) m_delegate->scrollViewWillBeginDecelerating(*this);
  }
}

// ---------------------------------------------------------------------------------------------
// Motion on the frame timer

void ScrollView::startDeceleration(bool notifyDelegate) {
  m_motion = Motion::Decelerating;
  m_decelerating = true;
  m_notifyDeceleration = notifyDelegate;
  showIndicators();
  startFrames();
  if (notifyDelegate && m_delegate) m_delegate->scrollViewWillBeginDecelerating(*this);
}

void ScrollView::stopMotion() {
  m_motion = Motion::None;
  m_decelerating = false;
  m_motionX = {};
  m_motionY = {};
  if (m_timer) {
    m_timer->invalidate();
    m_timer.reset();
  }
}

void ScrollView::startFrames() {
  m_lastFrameTime = core::Clock::now();
  if (m_timer) return;
  std::weak_ptr<Responder> weak = weak_from_this();
  m_timer = core::Timer::create(FrameInterval, true, [this, weak](core::Timer&) {
    if (auto keep = weak.lock()) onFrame();
  });
  core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
}

void ScrollView::onFrame() {
  double now = core::Clock::now();
  if (m_motion == Motion::Animating) {
    double t = (now - m_animStart) / AnimationDuration;
    if (t >= 1) {
      gfx::Point to = m_animTo;
      stopMotion();
      applyOffset(to);
      if (m_delegate) m_delegate->scrollViewDidEndScrollingAnimation(*this);
      return;
    }
    double f = gfx::TimingFunction::named(gfx::TimingFunction::Name::EaseOut).evaluate(t);
    applyOffset({m_animFrom.x + (m_animTo.x - m_animFrom.x) * f, m_animFrom.y + (m_animTo.y - m_animFrom.y) * f});
    return;
  }
  if (m_motion == Motion::Decelerating) {
    double elapsed = std::clamp((now - m_lastFrameTime) * 1000, 0.0, MaxFrameMs);
    m_lastFrameTime = now;
    stepDeceleration(elapsed);
    return;
  }
  stopMotion();
}

void ScrollView::stepDeceleration(double elapsedMs) {
  gfx::Point p = contentOffset();
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  bool doneX = stepAxis(m_motionX, p.x, min.x, max.x, canBounceHorizontally(), elapsedMs);
  bool doneY = stepAxis(m_motionY, p.y, min.y, max.y, canBounceVertically(), elapsedMs);
  auto keep = weak_from_this().lock();
  applyOffset(p);
  // The delegate may have stopped or restarted the motion from scrollViewDidScroll.
  if (m_motion != Motion::Decelerating) return;
  if (doneX && doneY) finishDeceleration();
}

// Moves one axis on by `elapsedMs`; true when it has come to rest.
bool ScrollView::stepAxis(AxisMotion& m, double& p, double lo, double hi, bool bounce, double elapsedMs) const {
  switch (m.kind) {
    case AxisMotion::Kind::Idle:
      return true;
    case AxisMotion::Kind::Approach: {
      p = m.target + (p - m.target) * std::pow(ApproachRate, elapsedMs);
      if (std::fabs(p - m.target) < SettleDistance) {
        p = m.target;
        m.kind = AxisMotion::Kind::Idle;
        return true;
      }
      return false;
    }
    case AxisMotion::Kind::Free:
      break;
  }
  double rate = std::clamp(m_decelerationRate, 0.0, 1.0);
  int steps = std::max(1, static_cast<int>(std::ceil(elapsedMs)));
  double h = elapsedMs / steps;
  double decay = std::pow(rate, h);
  double& v = m.velocity;
  for (int i = 0; i < steps; ++i) {
    if (p < lo || p > hi) {
      double edge = p < lo ? lo : hi;
      if (!bounce) {
        p = edge;
        v = 0;
        break;
      }
      // Past the edge: a critically damped spring pulls the content back (semi-implicit Euler).
      double x = p - edge;
      v += (-SpringOmega * SpringOmega * x - 2 * SpringOmega * v) * h;
      p += v * h;
      if (std::fabs(p - edge) < SettleDistance && std::fabs(v) < SettleSpeed) {
        p = edge;
        v = 0;
        break;
      }
    } else {
      p += v * h;
      v *= decay;
      if (std::fabs(v) < StopSpeed && p >= lo && p <= hi) {
        v = 0;
        break;
      }
    }
  }
  if (v == 0 && p >= lo && p <= hi) {
    m.kind = AxisMotion::Kind::Idle;
    return true;
  }
  return false;
}

void ScrollView::finishDeceleration() {
  bool notify = m_notifyDeceleration;
  stopMotion();
  m_notifyDeceleration = false;
  if (!m_tracking) hideIndicators();
  if (notify && m_delegate) m_delegate->scrollViewDidEndDecelerating(*this);
}

// ---------------------------------------------------------------------------------------------
// Scroll indicators

bool ScrollView::showsIndicatorOn(bool vertical) const {
  if (vertical) return m_showsVerticalIndicator && canScrollVertically();
  return m_showsHorizontalIndicator && canScrollHorizontally();
}

void ScrollView::showIndicators() {
  ++m_indicatorGeneration;
  m_indicatorsShown = true;
  auto make = [this](std::shared_ptr<View>& indicator, bool vertical) {
    if (!showsIndicatorOn(vertical)) {
      if (indicator && indicator->superview() == this) indicator->removeFromSuperview();
      return;
    }
    if (!indicator) {
      indicator = View::create();
      indicator->setUserInteractionEnabled(false);
      indicator->setBackgroundColor(gfx::Color(0, 0, 0, IndicatorAlpha));
      indicator->layer()->setCornerRadius(IndicatorThickness / 2);
    }
    View::performWithoutAnimation([&] { indicator->setAlpha(1); });
    if (indicator->superview() != this) addSubview(indicator);
  };
  make(m_horizontalIndicator, false);
  make(m_verticalIndicator, true);
  updateIndicators();
}

void ScrollView::hideIndicators() {
  if (!m_indicatorsShown) return;
  m_indicatorsShown = false;
  unsigned generation = ++m_indicatorGeneration;
  std::weak_ptr<Responder> weak = weak_from_this();
  std::vector<std::shared_ptr<View>> shown;
  for (auto* indicator : {&m_horizontalIndicator, &m_verticalIndicator}) {
    if (*indicator && (*indicator)->superview() == this) shown.push_back(*indicator);
  }
  if (shown.empty()) return;
  View::animate(
      IndicatorFade, 0, AnimationAllowUserInteraction | AnimationBeginFromCurrentState,
      [shown] {
        for (auto& v : shown) v->setAlpha(0);
      },
      [this, weak, generation, shown](bool) {
        auto keep = weak.lock();
        if (!keep || generation != m_indicatorGeneration) return;
        for (auto& v : shown) {
          if (v->superview() == this) v->removeFromSuperview();
        }
      });
}

void ScrollView::flashScrollIndicators() {
  if (m_dragging || m_motion == Motion::Decelerating) return;
  showIndicators();
  hideIndicators();
}

void ScrollView::updateIndicators() {
  if (!m_indicatorsShown) return;
  gfx::Rect b = bounds();
  gfx::Point p = b.origin;
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  const gfx::EdgeInsets& ins = m_indicatorInsets;
  bool both = m_horizontalIndicator && m_horizontalIndicator->superview() == this && m_verticalIndicator &&
              m_verticalIndicator->superview() == this;

  // Length in proportion to the visible part, squashed while the content is past an edge; the
  // position follows the offset through the range.
  auto place = [&](double offset, double lo, double hi, double visible, double content, double trackLength,
                   double& start, double& length) {
    length = content > 0 ? trackLength * std::min(1.0, visible / content) : trackLength;
    length = std::min(trackLength, std::max(IndicatorMinLength, length));
    double over = offset < lo ? lo - offset : offset > hi ? offset - hi : 0;
    length = std::max(std::min(IndicatorMinSquashed, trackLength), length - over);
    double fraction = hi > lo ? std::clamp((offset - lo) / (hi - lo), 0.0, 1.0) : 0;
    start = fraction * (trackLength - length);
  };

  if (m_verticalIndicator && m_verticalIndicator->superview() == this) {
    double track = b.height() - ins.top - ins.bottom - 2 * IndicatorGap - (both ? IndicatorThickness + IndicatorGap : 0);
    double start = 0, length = 0;
    place(p.y, min.y, max.y, b.height(), m_contentSize.height + m_contentInset.top + m_contentInset.bottom,
          std::max(0.0, track), start, length);
    m_verticalIndicator->setFrame(gfx::Rect(b.maxX() - ins.right - IndicatorGap - IndicatorThickness,
                                            b.minY() + ins.top + IndicatorGap + start, IndicatorThickness, length));
  }
  if (m_horizontalIndicator && m_horizontalIndicator->superview() == this) {
    double track = b.width() - ins.left - ins.right - 2 * IndicatorGap - (both ? IndicatorThickness + IndicatorGap : 0);
    double start = 0, length = 0;
    place(p.x, min.x, max.x, b.width(), m_contentSize.width + m_contentInset.left + m_contentInset.right,
          std::max(0.0, track), start, length);
    m_horizontalIndicator->setFrame(gfx::Rect(b.minX() + ins.left + IndicatorGap + start,
                                              b.maxY() - ins.bottom - IndicatorGap - IndicatorThickness, length,
                                              IndicatorThickness));
  }
  // Above the content: content added after the indicators goes below them again.
  const auto& subs = subviews();
  size_t firstIndicator = subs.size();
  for (size_t i = 0; i < subs.size(); ++i) {
    if (subs[i] == m_verticalIndicator || subs[i] == m_horizontalIndicator) {
      firstIndicator = i;
      break;
    }
  }
  for (size_t i = firstIndicator; i < subs.size(); ++i) {
    if (subs[i] != m_verticalIndicator && subs[i] != m_horizontalIndicator) {
      if (m_verticalIndicator && m_verticalIndicator->superview() == this) bringSubviewToFront(m_verticalIndicator.get());
      if (m_horizontalIndicator && m_horizontalIndicator->superview() == this)
        bringSubviewToFront(m_horizontalIndicator.get());
      break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Observers

void ScrollView::addContentOffsetObserver(const core::WeakToken& owner, OffsetObserver observer) {
  m_offsetObservers.push_back({owner, std::move(observer)});
}

void ScrollView::addContentInsetObserver(const core::WeakToken& owner, InsetObserver observer) {
  m_insetObservers.push_back({owner, std::move(observer)});
}

void ScrollView::addContentSizeObserver(const core::WeakToken& owner, SizeObserver observer) {
  m_sizeObservers.push_back({owner, std::move(observer)});
}

void ScrollView::addReloadObserver(const core::WeakToken& owner, ReloadObserver observer) {
  m_reloadObservers.push_back({owner, std::move(observer)});
}

void ScrollView::removeObservers(const core::WeakToken& owner) {
  auto owned = [&](const auto& e) { return e.owner == owner; };
  std::erase_if(m_offsetObservers, owned);
  std::erase_if(m_insetObservers, owned);
  std::erase_if(m_sizeObservers, owned);
  std::erase_if(m_reloadObservers, owned);
}

void ScrollView::didReloadData() {
  auto keep = weak_from_this().lock();
  notifyObservers(m_reloadObservers);
}

}  // namespace ui
