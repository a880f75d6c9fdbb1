#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"

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
  if (core::RunLoop::isMainThread()) core::RunLoop::main().cancelPerforms(this);
  Application::shared().unregisterWindow(this);
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  if (auto self = std::static_pointer_cast<Window>(weak_from_this().lock())) Application::shared().registerWindow(self);
  makeKeyWindow();
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
  for (const auto& touch : event.allTouches()) {
    if (touch->window() && touch->window() != this) continue;
    switch (touch->phase()) {
      case TouchPhase::Began: {
        if (Application::shared().isIgnoringInteractionEvents()) continue;
        touch->setWindow(this);
        if (!touch->view()) touch->setView(hitTest(touch->locationInWindow(), &event));
        if (auto v = touch->view()) v->touchesBegan({touch}, &event);
        break;
      }
      case TouchPhase::Moved:
        if (auto v = touch->view()) v->touchesMoved({touch}, &event);
        break;
      case TouchPhase::Ended:
        if (auto v = touch->view()) v->touchesEnded({touch}, &event);
        break;
      case TouchPhase::Cancelled:
        if (auto v = touch->view()) v->touchesCancelled({touch}, &event);
        break;
      case TouchPhase::Stationary:
        break;
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
  core::RunLoop::main().performAfterDelay(
      this, 0,
      [this] {
        m_passScheduled = false;
        auto keep = weak_from_this().lock();
        layoutAndDisplayIfNeeded();
      },
      {core::RunLoop::CommonModes});
}

void Window::layoutAndDisplayIfNeeded() {
  m_passScheduled = false;
  core::RunLoop::main().cancelPerforms(this);
  layoutAndDisplayTree();
}

}  // namespace ui
