#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Touch.h"
#include "platform/ui/ViewController.h"

namespace ui {
namespace {
constexpr double MultiTapInterval = 0.35;
constexpr double MultiTapDistance = 20;
}  // namespace

std::shared_ptr<Window> Window::create() { return std::make_shared<Window>(Screen::main().bounds()); }

Window::Window(const gfx::Rect& frame) : View(frame) {
  // Windows stay hidden until they are made visible.
  setHidden(true);
}

Window::~Window() {
  Application::shared().unregisterWindow(this);
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  if (auto self = std::static_pointer_cast<Window>(weak_from_this().lock())) Application::shared().registerWindow(self);
  makeKeyWindow();
  Application::shared().updateInterfaceOrientation(this);
  scheduleLayoutPass();
}

void Window::setHidden(bool hidden) {
  bool wasHidden = isHidden();
  View::setHidden(hidden);
  if (hidden) return;
  auto self = std::static_pointer_cast<Window>(weak_from_this().lock());
  if (!self) return;
  // Shown again it comes to the front; already shown it keeps its place, unless the application
  // has forgotten it meanwhile (reset).
  auto& app = Application::shared();
  if (!wasHidden) {
    auto known = app.windows();
    if (std::find(known.begin(), known.end(), self) != known.end()) return;
  }
  app.registerWindow(self);
  scheduleLayoutPass();
}

Responder* Window::nextResponder() const {
  if (Responder* r = View::nextResponder()) return r;
  return &Application::shared();
}

void Window::makeKeyWindow() { Application::shared().setKeyWindow(this); }

bool Window::isKeyWindow() const { return Application::shared().keyWindow() == this; }

Responder* Window::firstResponder() const { return m_firstResponder.lock().get(); }

void Window::setFirstResponder(Responder* responder) {
  if (!responder) {
    m_firstResponder.reset();
    return;
  }
  m_firstResponder = responder->weak_from_this();
}

// ---------------------------------------------------------------------------------------------
// Touches

void Window::sendEvent(const Event& event) {
  if (event.type() != Event::Type::Touches) return;
  auto keep = weak_from_this().lock();
  // Recognisers that finish during the event start over once it has been delivered.
  GestureRecognizer::beginDelivery();
  for (const auto& touch : event.allTouches()) {
    if (touch->window() && touch->window() != this) continue;
    dispatchTouch(touch, event);
  }
  GestureRecognizer::endDelivery();
}

// A touch goes to the recognisers that follow it first, then (unless one of them holds it back
// or has taken it) to its view.
void Window::dispatchTouch(const std::shared_ptr<Touch>& touch, const Event& event) {
  TouchPhase phase = touch->phase();
  if (phase == TouchPhase::Stationary) return;
  std::shared_ptr<TouchRecord> record;
  if (phase == TouchPhase::Began) {
    if (Application::shared().isIgnoringInteractionEvents()) return;
    if (recordFor(touch.get())) return;
    touch->setWindow(this);
    if (!touch->view()) touch->setView(hitTest(touch->locationInWindow(), &event));
    record = std::make_shared<TouchRecord>();
    record->touch = touch;
    for (View* v = touch->view().get(); v; v = v->superview()) {
      auto recognizers = v->gestureRecognizers();
      for (auto& r : recognizers) {
        if (r->acceptsNewTouch(*touch)) record->recognizers.push_back(r);
      }
    }
    m_touchRecords.push_back(record);
  } else {
    record = recordFor(touch.get());
  }
  auto view = touch->view();
  if (!record) {
    // Not begun here: straight to the view.
    if (!view) return;
    if (phase == TouchPhase::Moved) view->touchesMoved({touch}, &event);
    if (phase == TouchPhase::Ended) view->touchesEnded({touch}, &event);
    if (phase == TouchPhase::Cancelled) view->touchesCancelled({touch}, &event);
    return;
  }
  const TouchSet one{touch};
  auto recognizers = record->recognizers;
  for (auto& r : recognizers) {
    if (!r->m_enabled || !r->isActive()) continue;
    if (phase == TouchPhase::Began) {
      if (!r->m_view || r->m_pendingState != GestureRecognizerState::Possible) continue;
      r->touchesBegan(one, &event);
      continue;
    }
    if (!r->tracks(touch.get())) continue;
    if (phase == TouchPhase::Moved) r->touchesMoved(one, &event);
    if (phase == TouchPhase::Ended) r->touchesEnded(one, &event);
    if (phase == TouchPhase::Cancelled) r->touchesCancelled(one, &event);
  }
  deliverToView(*record, phase, &event);
  if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
    if (phase == TouchPhase::Cancelled || !record->endedHeld) std::erase(m_touchRecords, record);
    for (auto& r : recognizers) r->forgetTouch(touch.get());
  }
}

void Window::deliverToView(TouchRecord& record, TouchPhase phase, const Event* event) {
  auto view = record.touch->view();
  if (!view || record.viewCancelled) return;
  const TouchSet one{record.touch};
  switch (phase) {
    case TouchPhase::Began:
      if (isHeldBack(record, false)) return;
      record.beganDelivered = true;
      view->touchesBegan(one, event);
      break;
    case TouchPhase::Moved:
      if (!record.beganDelivered) {
        if (isHeldBack(record, false)) return;
        record.beganDelivered = true;
        view->touchesBegan(one, event);
        return;
      }
      view->touchesMoved(one, event);
      break;
    case TouchPhase::Ended:
      if ((!record.beganDelivered && isHeldBack(record, false)) || isHeldBack(record, true)) {
        record.endedHeld = true;
        return;
      }
      record.endedHeld = false;
      if (!record.beganDelivered) {
        record.beganDelivered = true;
        view->touchesBegan(one, event);
        if (record.viewCancelled) return;
      }
      view->touchesEnded(one, event);
      break;
    case TouchPhase::Cancelled:
      if (record.beganDelivered) view->touchesCancelled(one, event);
      break;
    case TouchPhase::Stationary:
      break;
  }
}

bool Window::isHeldBack(const TouchRecord& record, bool ended) const {
  return std::any_of(record.recognizers.begin(), record.recognizers.end(), [&](const auto& r) {
    return (ended ? r->delaysTouchesEnded() : r->delaysTouchesBegan()) && r->isUndecided();
  });
}

std::shared_ptr<Window::TouchRecord> Window::recordFor(const Touch* touch) const {
  for (const auto& r : m_touchRecords) {
    if (r->touch.get() == touch) return r;
  }
  return nullptr;
}

namespace {
// Whether `recognizer` took part in the record's touch: it follows it, or followed it to its end.
template <class Record>
bool tookPart(const Record& record, const GestureRecognizer& recognizer) {
  bool listed = std::any_of(record.recognizers.begin(), record.recognizers.end(),
                            [&](const auto& r) { return r.get() == &recognizer; });
  if (!listed) return false;
  if (record.endedHeld || record.touch->phase() == TouchPhase::Ended) return true;
  const auto& followed = recognizer.touches();
  return std::any_of(followed.begin(), followed.end(), [&](const auto& t) { return t == record.touch; });
}
}  // namespace

std::vector<std::shared_ptr<GestureRecognizer>> Window::recognizersSharingTouches(
    const GestureRecognizer& recognizer) const {
  std::vector<std::shared_ptr<GestureRecognizer>> out;
  for (const auto& record : m_touchRecords) {
    if (!tookPart(*record, recognizer)) continue;
    for (const auto& r : record->recognizers) {
      if (r.get() != &recognizer && std::find(out.begin(), out.end(), r) == out.end()) out.push_back(r);
    }
  }
  return out;
}

void Window::cancelTouchesInView(const GestureRecognizer& recognizer) {
  auto keep = weak_from_this().lock();
  auto records = m_touchRecords;
  for (auto& record : records) {
    if (record->viewCancelled || !tookPart(*record, recognizer)) continue;
    record->viewCancelled = true;
    if (record->endedHeld) std::erase(m_touchRecords, record);
    auto view = record->touch->view();
    if (view && record->beganDelivered) {
      Event event(Event::Type::Touches, core::Clock::now(), {record->touch});
      view->touchesCancelled({record->touch}, &event);
    }
  }
}

void Window::flushHeldTouches() {
  auto keep = weak_from_this().lock();
  auto records = m_touchRecords;
  for (auto& record : records) {
    if (record->viewCancelled) {
      if (record->endedHeld) std::erase(m_touchRecords, record);
      continue;
    }
    auto view = record->touch->view();
    Event event(Event::Type::Touches, core::Clock::now(), {record->touch});
    if (!record->beganDelivered) {
      if (isHeldBack(*record, false)) continue;
      record->beganDelivered = true;
      if (view) view->touchesBegan({record->touch}, &event);
      if (record->viewCancelled) continue;
    }
    if (record->endedHeld && !isHeldBack(*record, true)) {
      record->endedHeld = false;
      std::erase(m_touchRecords, record);
      if (view) view->touchesEnded({record->touch}, &event);
    }
  }
}

std::shared_ptr<Touch> Window::beginTouch(gfx::Point p) {
  auto keep = weak_from_this().lock();
  auto touch = std::make_shared<Touch>();
  double now = core::Clock::now();
  touch->setWindow(this);
  touch->setLocationInWindow(p);
  touch->setLocationInWindow(p);
  touch->setTimestamp(now);
  bool repeat = now - m_lastTapTime <= MultiTapInterval &&
                std::hypot(p.x - m_lastTapPoint.x, p.y - m_lastTapPoint.y) <= MultiTapDistance;
  touch->setTapCount(repeat ? m_lastTapCount + 1 : 1);
  touch->setPhase(TouchPhase::Began);
  for (auto& t : m_activeTouches) t->setPhase(TouchPhase::Stationary);
  m_activeTouches.push_back(touch);
  deliver(touch, TouchPhase::Began);
  return touch;
}

void Window::moveTouch(const std::shared_ptr<Touch>& touch, gfx::Point p) {
  if (!touch) return;
  auto keep = weak_from_this().lock();
  touch->setLocationInWindow(p);
  touch->setTimestamp(core::Clock::now());
  deliver(touch, TouchPhase::Moved);
}

void Window::endTouch(const std::shared_ptr<Touch>& touch) {
  if (!touch) return;
  auto keep = weak_from_this().lock();
  double now = core::Clock::now();
  touch->setLocationInWindow(touch->locationInWindow());
  touch->setTimestamp(now);
  m_lastTapTime = now;
  m_lastTapPoint = touch->locationInWindow();
  m_lastTapCount = touch->tapCount();
  deliver(touch, TouchPhase::Ended);
  std::erase(m_activeTouches, touch);
}

void Window::cancelTouch(const std::shared_ptr<Touch>& touch) {
  if (!touch) return;
  auto keep = weak_from_this().lock();
  touch->setTimestamp(core::Clock::now());
  deliver(touch, TouchPhase::Cancelled);
  std::erase(m_activeTouches, touch);
}

void Window::tap(gfx::Point p) { endTouch(beginTouch(p)); }

bool Window::scrollWheel(gfx::Point p, gfx::Point travel) {
  auto keep = weak_from_this().lock();
  // The scroll views from the innermost out, held: a delegate may take views away meanwhile.
  std::vector<std::shared_ptr<ScrollView>> scrolls;
  for (View* v = hitTest(p, nullptr).get(); v; v = v->superview()) {
    if (auto* scroll = dynamic_cast<ScrollView*>(v))
      scrolls.push_back(std::static_pointer_cast<ScrollView>(scroll->shared()));
  }
  // A vector from the pointer's place in one view to another's points: the difference of its
  // two ends, converted.
  auto vector = [this, p](gfx::Point v, const View* from, const View* to) {
    gfx::Point at = from->convertPointFrom(p, this);
    gfx::Point a = from->convertPointTo(at, to), b = from->convertPointTo({at.x + v.x, at.y + v.y}, to);
    return gfx::Point{b.x - a.x, b.y - a.y};
  };
  // Each axis to the innermost view that takes it. Under `Nothing`, what is left of an axis
  // (through a view's transform) is nothing.
  auto route = [&](gfx::Point left) {
    constexpr double Nothing = 1e-9;
    bool moved = false;
    for (const auto& scroll : scrolls) {
      if (std::fabs(left.x) < Nothing && std::fabs(left.y) < Nothing) break;
      if (scroll->window() != this) continue;
      gfx::Point taken = scroll->scrollByWheel(vector(left, this, scroll.get()));
      if (taken.x == 0 && taken.y == 0) continue;
      moved = true;
      if (scroll->window() != this) break;
      gfx::Point back = vector(taken, scroll.get(), this);
      left = {left.x - back.x, left.y - back.y};
    }
    return moved;
  };
  if (route(travel)) return true;
  // Where nothing under the pointer scrolls up and down at all, a wheel's up and down moves what
  // scrolls across (a paged grid, a strip), as desktop toolkits do: down is on, to the right.
  if (travel.x != 0 || travel.y == 0) return false;
  bool upAndDown = std::any_of(scrolls.begin(), scrolls.end(), [](const auto& scroll) {
    return scroll->isScrollEnabled() && scroll->maximumContentOffset().y > scroll->minimumContentOffset().y;
  });
  return !upAndDown && route({travel.y, 0});
}

void Window::deliver(const std::shared_ptr<Touch>& touch, TouchPhase phase) {
  for (auto& t : m_activeTouches) {
    if (t != touch) t->setPhase(TouchPhase::Stationary);
  }
  touch->setPhase(phase);
  Event event(Event::Type::Touches, touch->timestamp(), m_activeTouches);
  if (std::find(m_activeTouches.begin(), m_activeTouches.end(), touch) == m_activeTouches.end()) {
    event = Event(Event::Type::Touches, touch->timestamp(), {touch});
  }
  sendEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Layout pass

void Window::scheduleLayoutPass() {
  if (m_passScheduled || !core::RunLoop::isMainThread()) return;
  m_passScheduled = true;
  auto weak = weak_from_this();
  core::RunLoop::main().performAfterDelay(
      weak, 0,
      [weak] {
        auto self = std::static_pointer_cast<Window>(weak.lock());
        if (!self) return;
        self->m_passScheduled = false;
        self->layoutAndDisplayIfNeeded();
      },
      {core::RunLoop::CommonModes});
}

void Window::layoutAndDisplayIfNeeded() {
  m_passScheduled = false;
  core::RunLoop::main().cancelPerforms(weak_from_this());
  layoutAndDisplayTree();
}

// ---------------------------------------------------------------------------------------------
// Root view controller

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (controller == m_rootViewController) return;
  auto keep = weak_from_this().lock();
  auto old = std::move(m_rootViewController);
  m_rootViewController = controller;
  if (old) {
    old->beginAppearanceTransition(false, false);
    if (old->isViewLoaded() && old->view()->superview() == this) old->view()->removeFromSuperview();
    old->endAppearanceTransition();
  }
  if (!controller) return;
  // A new root may allow other orientations: the key window turns before the content is sized.
  if (isKeyWindow()) Application::shared().updateInterfaceOrientation(this);
  const auto& content = controller->view();
  content->setFrame(bounds());
  content->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  controller->beginAppearanceTransition(true, false);
  addSubview(content);
  std::weak_ptr<ViewController> weak = controller;
  core::RunLoop::main().performAfterDelay(
      weak, 0,
      [weak] {
        auto c = weak.lock();
        if (!c) return;
        c->endAppearanceTransition();
        ViewController::updateStatusBarAppearance();
      },
      {core::RunLoop::CommonModes});
}

}  // namespace ui
