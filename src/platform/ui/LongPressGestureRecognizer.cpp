#include "platform/ui/LongPressGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/ui/Touch.h"

namespace ui {

using State = GestureRecognizerState;

LongPressGestureRecognizer::~LongPressGestureRecognizer() { stopTimer(); }

void LongPressGestureRecognizer::stopTimer() {
  if (m_timer) m_timer->invalidate();
  m_timer.reset();
}

// `press`: the press has lasted long enough (Began); otherwise the wait for the next tap is over
// (Failed).
void LongPressGestureRecognizer::startTimer(double seconds, bool press) {
  stopTimer();
  m_timer = core::Timer::create(seconds, false, [this, press](core::Timer&) {
    auto self = weak_from_this().lock();
    m_timer.reset();
    if (state() != State::Possible) return;
    setState(press ? State::Began : State::Failed);
  });
  core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
}

void LongPressGestureRecognizer::touchesBegan(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesBegan(touches, event);
  if (state() != State::Possible) {
    // Extra fingers once the press has begun are not part of it.
    untrackTouches(touches);
    return;
  }
  stopTimer();
  m_fingers.add(touches, numberOfTouches());
  if (numberOfTouches() > m_touchesRequired) {
    setState(State::Failed);
  } else if (numberOfTouches() == m_touchesRequired && m_tapsDone >= m_tapsRequired) {
    startTimer(m_minimumPressDuration, true);
  }
}

void LongPressGestureRecognizer::touchesMoved(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesMoved(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Changed);
    return;
  }
  if (state() != State::Possible) return;
  if (m_fingers.anyMovedFurtherThan(this->touches(), m_allowableMovement)) {
      stopTimer();
    setState(State::Failed);
  }
}

void LongPressGestureRecognizer::touchesEnded(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesEnded(touches, event);
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Ended);
    return;
  }
  if (state() != State::Possible) return;
  stopTimer();
  bool tapDone = numberOfTouches() == 0 && m_fingers.mostDown() == m_touchesRequired && m_tapsDone < m_tapsRequired;
  if (!tapDone) {
    // Lifted before the press lasted long enough.
    if (numberOfTouches() == 0 || m_tapsDone >= m_tapsRequired) setState(State::Failed);
    return;
  }
  ++m_tapsDone;
  m_fingers.clear();
  startTimer(MultiTapInterval, false);
}

void LongPressGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesCancelled(touches, event);
  stopTimer();
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Cancelled);
  } else if (state() == State::Possible) {
    setState(State::Failed);
  }
}

void LongPressGestureRecognizer::reset() {
  GestureRecognizer::reset();
  stopTimer();
  m_tapsDone = 0;
  m_fingers.clear();
}

}  // namespace ui
