#include "platform/ui/TapGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/ui/Touch.h"

namespace ui {

TapGestureRecognizer::~TapGestureRecognizer() { stopTimer(); }

void TapGestureRecognizer::stopTimer() {
  if (m_timer) m_timer->invalidate();
  m_timer.reset();
}

void TapGestureRecognizer::touchesBegan(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesBegan(touches, event);
  stopTimer();
  if (state() != GestureRecognizerState::Possible) return;
  m_fingers.add(touches, numberOfTouches());
  if (numberOfTouches() > m_touchesRequired) setState(GestureRecognizerState::Failed);
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesMoved(touches, event);
  if (state() != GestureRecognizerState::Possible) return;
  if (m_fingers.anyMovedFurtherThan(this->touches(), MaximumMovement)) {
    setState(GestureRecognizerState::Failed);
  }
}

void TapGestureRecognizer::touchesEnded(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesEnded(touches, event);
  if (state() != GestureRecognizerState::Possible || numberOfTouches() > 0) return;
  // Every finger of this tap is up.
  bool complete = m_fingers.mostDown() == m_touchesRequired;
  m_fingers.clear();
  if (!complete) {
    setState(GestureRecognizerState::Failed);
    return;
  }
  if (++m_tapsDone >= m_tapsRequired) {
    setState(GestureRecognizerState::Ended);
    return;
  }
  // Wait for the next tap.
  stopTimer();
  m_timer = core::Timer::create(MultiTapInterval, false, [this](core::Timer&) {
    auto self = weak_from_this().lock();
    m_timer.reset();
    if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
  });
  core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
}

void TapGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesCancelled(touches, event);
  if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

void TapGestureRecognizer::reset() {
  GestureRecognizer::reset();
  stopTimer();
  m_tapsDone = 0;
  m_fingers.clear();
}

}  // namespace ui
