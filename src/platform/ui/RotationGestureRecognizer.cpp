#include "platform/ui/RotationGestureRecognizer.h"

#include <cmath>
#include <numbers>

#include "platform/core/Clock.h"
#include "platform/ui/Touch.h"

namespace ui {

using State = GestureRecognizerState;

double RotationGestureRecognizer::angle() const {
  gfx::Point a = touches()[0]->locationInWindow(), b = touches()[1]->locationInWindow();
  return std::atan2(b.y - a.y, b.x - a.x);
}

void RotationGestureRecognizer::setRotation(double radians) {
  m_rotation = radians;
  m_baseRotation = radians;
  m_turn = 0;
}

void RotationGestureRecognizer::touchesBegan(const TouchSet& touches, const Event* event) {
  bool hadTwo = numberOfTouches() >= 2;
  GestureRecognizer::touchesBegan(touches, event);
  while (numberOfTouches() > 2) untrackTouches({this->touches().back()});
  if (!hadTwo && numberOfTouches() == 2) {
    m_measuring = true;
    m_lastAngle = angle();
    m_baseRotation = m_rotation;
    m_turn = m_startTurn = 0;
    m_lastTime = core::Clock::now();
  }
}

void RotationGestureRecognizer::touchesMoved(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesMoved(touches, event);
  if (numberOfTouches() < 2 || !m_measuring) return;
  double a = angle();
  // The smallest turn from the last angle, so crossing ±pi keeps counting.
  double delta = std::remainder(a - m_lastAngle, 2 * std::numbers::pi);
  m_lastAngle = a;
  m_turn += delta;
  m_startTurn += delta;
  if (state() == State::Possible && std::fabs(m_startTurn) < BeginAngle) return;
  double rotation = m_baseRotation + m_turn;
  double now = core::Clock::now();
  if (now > m_lastTime) m_velocity = (rotation - m_rotation) / (now - m_lastTime);
  m_lastTime = now;
  m_rotation = rotation;
  if (state() == State::Possible) {
    setState(State::Began);
  } else if (state() == State::Began || state() == State::Changed) {
    setState(State::Changed);
  }
}

void RotationGestureRecognizer::touchesEnded(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesEnded(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    if (numberOfTouches() < 2) setState(State::Ended);
  } else if (state() == State::Possible) {
    if (numberOfTouches() == 0) {
      setState(State::Failed);
    } else if (numberOfTouches() < 2) {
      m_measuring = false;
    }
  }
}

void RotationGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesCancelled(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Cancelled);
  } else if (state() == State::Possible) {
    setState(State::Failed);
  }
}

void RotationGestureRecognizer::reset() {
  GestureRecognizer::reset();
  m_rotation = m_velocity = m_baseRotation = m_turn = m_startTurn = m_lastAngle = 0;
  m_measuring = false;
  m_lastTime = 0;
}

}  // namespace ui
