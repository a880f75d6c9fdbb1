#include "platform/ui/GestureRecognizer.h"

#include <algorithm>

#include "platform/ui/Control.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {

using State = GestureRecognizerState;

// Everything runs on the main thread, so plain globals are enough.
int g_deliveryDepth = 0;
std::vector<std::shared_ptr<GestureRecognizer>> g_resetQueue;
std::vector<std::weak_ptr<GestureRecognizer>> g_pending;
bool g_evaluating = false;
bool g_evaluateAgain = false;

std::shared_ptr<GestureRecognizer> keepAlive(GestureRecognizer* r) { return r->weak_from_this().lock(); }

std::shared_ptr<View> viewPtr(View* v) {
  return v ? std::static_pointer_cast<View>(v->weak_from_this().lock()) : nullptr;
}

void dropPending(const GestureRecognizer* r) {
  std::erase_if(g_pending, [&](const auto& w) { return w.expired() || w.lock().get() == r; });
}

gfx::Point windowToView(gfx::Point p, const View* view) { return view ? view->convertPointFrom(p, nullptr) : p; }

}  // namespace

GestureRecognizer::GestureRecognizer(Action action, const void* owner) {
  if (action) m_targets.push_back({owner, std::move(action)});
}

GestureRecognizer::~GestureRecognizer() = default;

void GestureRecognizer::addTarget(const void* owner, Action action) {
  if (action) m_targets.push_back({owner, std::move(action)});
}

void GestureRecognizer::removeTarget(const void* owner) {
  if (!owner) {
    m_targets.clear();
    return;
  }
  std::erase_if(m_targets, [&](const Target& t) { return t.owner == owner; });
}

void GestureRecognizer::addStateObserver(const core::WeakToken& owner, StateObserver observer) {
  if (observer) m_stateObservers.push_back({owner, std::move(observer)});
}

void GestureRecognizer::removeStateObservers(const core::WeakToken& owner) {
  std::erase_if(m_stateObservers, [&](const StateObserverEntry& e) { return e.owner == owner; });
}

void GestureRecognizer::notifyState(GestureRecognizerState old) {
  if (old == m_state) return;
  std::erase_if(m_stateObservers, [](const StateObserverEntry& e) { return e.owner.expired(); });
  auto observers = m_stateObservers;
  for (auto& o : observers) {
    if (!o.owner.expired()) o.fn(old, m_state);
  }
}

void GestureRecognizer::requireGestureRecognizerToFail(const std::shared_ptr<GestureRecognizer>& other) {
  if (!other || other.get() == this) return;
  m_requiredToFail.push_back(other);
}

// ---------------------------------------------------------------------------------------------
// Touches

void GestureRecognizer::trackTouches(const TouchSet& touches) {
  for (const auto& t : touches) {
    if (!t || tracks(t.get())) continue;
    m_touches.push_back(t);
    m_involved = true;
    if (auto v = t->view()) {
      bool known = std::any_of(m_touchedViews.begin(), m_touchedViews.end(),
                               [&](const std::weak_ptr<View>& w) { return w.lock() == v; });
      if (!known) m_touchedViews.push_back(v);
    }
  }
  m_lastLocation = centroidInWindow();
}

void GestureRecognizer::untrackTouches(const TouchSet& touches) {
  if (!m_touches.empty()) m_lastLocation = centroidInWindow();
  for (const auto& t : touches) std::erase(m_touches, t);
}

bool GestureRecognizer::tracks(const Touch* touch) const {
  return std::any_of(m_touches.begin(), m_touches.end(), [&](const auto& t) { return t.get() == touch; });
}

gfx::Point GestureRecognizer::centroidInWindow() const {
  if (m_touches.empty()) return m_lastLocation;
  gfx::Point sum;
  for (const auto& t : m_touches) {
    gfx::Point p = t->locationInWindow();
    sum.x += p.x;
    sum.y += p.y;
  }
  return gfx::Point{sum.x / double(m_touches.size()), sum.y / double(m_touches.size())};
}

gfx::Point GestureRecognizer::locationInView(const View* view) const { return windowToView(centroidInWindow(), view); }

gfx::Point GestureRecognizer::locationOfTouch(size_t index, const View* view) const {
  // Out of range (the platform raised): the gesture's location instead.
  if (index >= m_touches.size()) return locationInView(view);
  return windowToView(m_touches[index]->locationInWindow(), view);
}

void GestureRecognizer::touchesBegan(const TouchSet& touches, const Event*) { trackTouches(touches); }

void GestureRecognizer::touchesMoved(const TouchSet&, const Event*) { m_lastLocation = centroidInWindow(); }

void GestureRecognizer::touchesEnded(const TouchSet& touches, const Event*) { untrackTouches(touches); }

void GestureRecognizer::touchesCancelled(const TouchSet& touches, const Event*) { untrackTouches(touches); }

bool GestureRecognizer::acceptsNewTouch(const Touch& touch) {
  if (!m_enabled || !m_view || m_pendingState != State::Possible) return false;
  if (!isActive()) return false;
  return !m_delegate || m_delegate->shouldReceiveTouch(*this, touch);
}

void GestureRecognizer::forgetTouch(const Touch* touch) {
  if (tracks(touch)) {
    m_lastLocation = centroidInWindow();
    std::erase_if(m_touches, [&](const auto& t) { return t.get() == touch; });
  }
  if (isFinished() && m_touches.empty()) scheduleReset();
}

// ---------------------------------------------------------------------------------------------
// State

void GestureRecognizer::setState(GestureRecognizerState state) {
  auto self = keepAlive(this);
  if (state == State::Possible) {
    if (m_state != State::Possible || m_involved || m_pendingState != State::Possible) resetNow();
    return;
  }
  switch (m_state) {
    case State::Possible:
      if (state == State::Began && isContinuous()) {
        tryToRecognize(State::Began);
      } else if (state == State::Ended) {
        tryToRecognize(State::Ended);
      } else if (state == State::Failed || state == State::Cancelled) {
        moveTo(State::Failed);
      }
      break;
    case State::Began:
    case State::Changed:
      if (state == State::Began) break;
      moveTo(state == State::Failed ? State::Cancelled : state);
      break;
    default:
      break;  // finished: nothing moves until the reset
  }
}

void GestureRecognizer::tryToRecognize(GestureRecognizerState target) {
  switch (requirementStatus()) {
    case Requirement::Recognized:
      moveTo(State::Failed);
      return;
    case Requirement::Waiting:
      if (m_pendingState == State::Possible) g_pending.push_back(weak_from_this());
      m_pendingState = target;
      return;
    case Requirement::Clear:
      break;
  }
  if (!shouldBegin() || preventedByRunningRecognizer()) {
    moveTo(State::Failed);
    return;
  }
  moveTo(target);
}

void GestureRecognizer::moveTo(GestureRecognizerState state) {
  auto self = keepAlive(this);
  State old = m_state;
  m_state = state;
  if (m_pendingState != State::Possible) {
    m_pendingState = State::Possible;
    dropPending(this);
  }
  notifyState(old);
  if (old == State::Possible && (state == State::Began || state == State::Ended)) {
    if (Window* w = window()) {
      auto keepWindow = w->weak_from_this().lock();
      if (m_cancelsTouchesInView) w->cancelTouchesInView(*this);
      failOthersSharingTouches();
    }
  }
  if (state != State::Failed) sendActions();
  evaluatePending();
  if (isFinished()) {
    if (Window* w = window()) w->flushHeldTouches();
    if (m_touches.empty()) scheduleReset();
  }
}

void GestureRecognizer::sendActions() {
  auto self = keepAlive(this);
  auto view = viewPtr(m_view);
  auto targets = m_targets;
  for (auto& t : targets) {
    if (t.action) t.action(*this);
  }
}

bool GestureRecognizer::isUndecided() const {
  if (m_state != State::Possible || !m_enabled || !m_view) return false;
  return m_involved || m_pendingState != State::Possible;
}

GestureRecognizer::Requirement GestureRecognizer::requirementStatus() const {
  bool waiting = false;
  for (const auto& w : m_requiredToFail) {
    auto other = w.lock();
    if (!other) continue;
    if (other->isRecognizedOrRunning()) return Requirement::Recognized;
    if (other->isUndecided()) waiting = true;
  }
  return waiting ? Requirement::Waiting : Requirement::Clear;
}

bool GestureRecognizer::shouldBegin() {
  auto self = keepAlive(this);
  if (m_delegate && !m_delegate->gestureRecognizerShouldBegin(*this)) return false;
  if (!m_view) return true;
  View* view = m_view;
  auto keepView = viewPtr(view);
  if (!view->gestureRecognizerShouldBegin(*this)) return false;
  auto touched = m_touchedViews;
  for (const auto& w : touched) {
    auto tv = w.lock();
    if (!tv || tv.get() == view) continue;
    if (!tv->gestureRecognizerShouldBegin(*this)) return false;
    if (!m_view) return false;  // removed by the answer
    if (yieldsToControls() && tv->isDescendantOf(m_view)) {
      for (View* v = tv.get(); v && v != m_view; v = v->superview()) {
        auto* control = dynamic_cast<Control*>(v);
        if (control && control->isEnabled()) return false;
      }
    }
  }
  return true;
}

bool GestureRecognizer::canRecognizeSimultaneously(GestureRecognizer& other) {
  if (m_delegate && m_delegate->shouldRecognizeSimultaneouslyWithGestureRecognizer(*this, other)) return true;
  return other.m_delegate && other.m_delegate->shouldRecognizeSimultaneouslyWithGestureRecognizer(other, *this);
}

bool GestureRecognizer::preventedByRunningRecognizer() {
  Window* w = window();
  if (!w) return false;
  for (auto& other : w->recognizersSharingTouches(*this)) {
    if (other->m_state != State::Began && other->m_state != State::Changed) continue;
    if (canRecognizeSimultaneously(*other)) continue;
    if (other->canPreventGestureRecognizer(*this) && canBePreventedByGestureRecognizer(*other)) return true;
  }
  return false;
}

void GestureRecognizer::failOthersSharingTouches() {
  Window* w = window();
  if (!w) return;
  for (auto& other : w->recognizersSharingTouches(*this)) {
    if (!other->isActive()) continue;
    if (other->m_state == State::Possible && !other->isUndecided()) continue;
    if (canRecognizeSimultaneously(*other)) continue;
    if (!canPreventGestureRecognizer(*other) || !other->canBePreventedByGestureRecognizer(*this)) continue;
    other->moveTo(other->m_state == State::Possible ? State::Failed : State::Cancelled);
  }
}

bool GestureRecognizer::canPreventGestureRecognizer(const GestureRecognizer&) const { return true; }

bool GestureRecognizer::canBePreventedByGestureRecognizer(const GestureRecognizer&) const { return true; }

void GestureRecognizer::setEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  auto self = keepAlive(this);
  m_enabled = enabled;
  if (enabled) return;
  if (m_state == State::Began || m_state == State::Changed) {
    moveTo(State::Cancelled);
  } else if (m_state == State::Possible && (m_involved || m_pendingState != State::Possible)) {
    moveTo(State::Failed);
  }
  resetNow();
}

void GestureRecognizer::setView(View* view) {
  if (view == m_view) return;
  auto self = keepAlive(this);
  bool inProgress = m_state != State::Possible || m_involved || m_pendingState != State::Possible;
  m_view = view;
  if (inProgress) resetNow();
}

Window* GestureRecognizer::window() const {
  if (m_view) {
    if (Window* w = m_view->window()) return w;
  }
  for (const auto& t : m_touches) {
    if (t->window()) return t->window();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Reset

void GestureRecognizer::reset() {
  m_state = State::Possible;
  m_pendingState = State::Possible;
  m_involved = false;
  m_touches.clear();
  m_touchedViews.clear();
}

void GestureRecognizer::scheduleReset() {
  if (g_deliveryDepth > 0) {
    if (m_resetQueued) return;
    if (auto self = keepAlive(this)) {
      m_resetQueued = true;
      g_resetQueue.push_back(std::move(self));
      return;
    }
  }
  resetNow();
}

void GestureRecognizer::resetNow() {
  auto self = keepAlive(this);
  bool wasPending = m_pendingState != State::Possible;
  State old = m_state;
  reset();
  m_state = State::Possible;
  m_pendingState = State::Possible;
  m_involved = false;
  m_touches.clear();
  if (wasPending) dropPending(this);
  notifyState(old);
  // Recognisers waiting for this one see it out of the gesture now.
  evaluatePending();
}

void GestureRecognizer::beginDelivery() { ++g_deliveryDepth; }

void GestureRecognizer::endDelivery() {
  if (--g_deliveryDepth > 0) return;
  while (!g_resetQueue.empty()) {
    auto queue = std::move(g_resetQueue);
    g_resetQueue.clear();
    for (auto& r : queue) {
      r->m_resetQueued = false;
      if (r->isFinished() && r->m_touches.empty()) r->resetNow();
    }
  }
}

void GestureRecognizer::evaluatePending() {
  if (g_evaluating) {
    g_evaluateAgain = true;
    return;
  }
  g_evaluating = true;
  do {
    g_evaluateAgain = false;
    std::erase_if(g_pending, [](const auto& w) { return w.expired(); });
    std::vector<std::shared_ptr<GestureRecognizer>> waiting;
    for (auto& w : g_pending) waiting.push_back(w.lock());
    for (auto& r : waiting) {
      if (r->m_pendingState == State::Possible || r->m_state != State::Possible) continue;
      Requirement req = r->requirementStatus();
      if (req == Requirement::Waiting) continue;
      State target = r->m_pendingState;
      r->m_pendingState = State::Possible;
      dropPending(r.get());
      if (req == Requirement::Recognized) {
        r->moveTo(State::Failed);
      } else {
        r->tryToRecognize(target);
      }
      g_evaluateAgain = true;
    }
  } while (g_evaluateAgain);
  g_evaluating = false;
}

}  // namespace ui
