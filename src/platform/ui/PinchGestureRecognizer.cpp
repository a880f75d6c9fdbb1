#include "platform/ui/PinchGestureRecognizer.h"

#include <cmath>

#include "platform/core/Clock.h"
#include "platform/ui/Touch.h"

namespace ui {

using State = GestureRecognizerState;

double PinchGestureRecognizer::distance() const {
  if (numberOfTouches() < 2) return 0;
  gfx::Point a = touches()[0]->locationInWindow(), b = touches()[1]->locationInWindow();
  return std::hypot(b.x - a.x, b.y - a.y);
}

void PinchGestureRecognizer::setScale(double scale) {
  m_scale = scale;
  m_baseScale = scale;
  if (numberOfTouches() >= 2) m_baseDistance = distance();
}

void PinchGestureRecognizer::touchesBegan(const TouchSet& touches, const Event* event) {
  bool hadTwo = numberOfTouches() >= 2;
  GestureRecognizer::touchesBegan(touches, event);
  while (numberOfTouches() > 2) untrackTouches({this->touches().back()});
  if (!hadTwo && numberOfTouches() == 2) {
    m_baseDistance = m_firstDistance = distance();
    m_baseScale = m_scale;
    m_lastTime = core::Clock::now();
  }
}

void PinchGestureRecognizer::touchesMoved(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesMoved(touches, event);
  if (numberOfTouches() < 2) return;
  double d = distance();
  if (m_baseDistance <= 0) {
    // The fingers came down on one spot: measure from here.
    m_baseDistance = m_firstDistance = d;
    return;
  }
  if (state() == State::Possible && std::fabs(d - m_firstDistance) < BeginDistance) return;
  double scale = m_baseScale * d / m_baseDistance;
  double now = core::Clock::now();
  if (now > m_lastTime) m_velocity = (scale - m_scale) / (now - m_lastTime);
  m_lastTime = now;
  if (state() == State::Possible) {
    m_scale = scale;
    setState(State::Began);
  } else if (state() == State::Began || state() == State::Changed) {
    m_scale = scale;
    setState(State::Changed);
  }
}

void PinchGestureRecognizer::touchesEnded(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesEnded(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    if (numberOfTouches() < 2) setState(State::Ended);
  } else if (state() == State::Possible) {
    if (numberOfTouches() == 0) {
      setState(State::Failed);
    } else if (numberOfTouches() < 2) {
      m_baseDistance = m_firstDistance = 0;
    }
  }
}

void PinchGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesCancelled(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Cancelled);
  } else if (state() == State::Possible) {
    setState(State::Failed);
  }
}

void PinchGestureRecognizer::reset() {
  GestureRecognizer::reset();
  m_scale = 1;
  m_velocity = 0;
  m_baseScale = 1;
  m_baseDistance = m_firstDistance = 0;
  m_lastTime = 0;
}

}  // namespace ui
