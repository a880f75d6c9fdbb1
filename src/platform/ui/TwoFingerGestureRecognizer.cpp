#include "platform/ui/TwoFingerGestureRecognizer.h"

#include "platform/core/Clock.h"
#include "platform/ui/Touch.h"

namespace ui {

using State = GestureRecognizerState;

std::pair<gfx::Point, gfx::Point> TwoFingerGestureRecognizer::fingerLocations() const {
  return {touches()[0]->locationInWindow(), touches()[1]->locationInWindow()};
}

void TwoFingerGestureRecognizer::touchesBegan(const TouchSet& touches, const Event* event) {
  bool hadTwo = numberOfTouches() >= 2;
  GestureRecognizer::touchesBegan(touches, event);
  while (numberOfTouches() > 2) untrackTouches({this->touches().back()});
  if (!hadTwo && numberOfTouches() == 2) {
    fingersDown();
    m_lastTime = core::Clock::now();
  }
}

void TwoFingerGestureRecognizer::touchesMoved(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesMoved(touches, event);
  if (numberOfTouches() < 2) return;
  std::optional<double> value = valueAfterMove();
  if (!value) return;
  double now = core::Clock::now();
  if (now > m_lastTime) m_velocity = (*value - currentValue()) / (now - m_lastTime);
  m_lastTime = now;
  if (state() == State::Possible) {
    takeValue(*value);
    setState(State::Began);
  } else if (state() == State::Began || state() == State::Changed) {
    takeValue(*value);
    setState(State::Changed);
  }
}

void TwoFingerGestureRecognizer::touchesEnded(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesEnded(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    if (numberOfTouches() < 2) setState(State::Ended);
  } else if (state() == State::Possible) {
    if (numberOfTouches() == 0) {
      setState(State::Failed);
    } else if (numberOfTouches() < 2) {
      fingerLifted();
    }
  }
}

void TwoFingerGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesCancelled(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Cancelled);
  } else if (state() == State::Possible) {
    setState(State::Failed);
  }
}

void TwoFingerGestureRecognizer::reset() {
  GestureRecognizer::reset();
  m_velocity = 0;
  m_lastTime = 0;
}

}  // namespace ui
