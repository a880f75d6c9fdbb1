#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/TapFingers.h"

namespace core {
class Timer;
}

namespace ui {

// A continuous press: after numberOfTapsRequired quick taps, numberOfTouchesRequired fingers held
// for minimumPressDuration seconds begin the gesture; moves then change it and lifting a finger
// ends it. Fails when a finger strays more than allowableMovement points before it begins, lifts
// too early, or more fingers come down than required.
class LongPressGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  ~LongPressGestureRecognizer() override;

  // Between the taps before the press, as for taps.
  static constexpr double MultiTapInterval = 0.35;

  double minimumPressDuration() const { return m_minimumPressDuration; }
  void setMinimumPressDuration(double seconds) { m_minimumPressDuration = seconds < 0 ? 0 : seconds; }
  double allowableMovement() const { return m_allowableMovement; }
  void setAllowableMovement(double points) { m_allowableMovement = points; }
  size_t numberOfTouchesRequired() const { return m_touchesRequired; }
  void setNumberOfTouchesRequired(size_t n) { m_touchesRequired = n ? n : 1; }
  size_t numberOfTapsRequired() const { return m_tapsRequired; }
  void setNumberOfTapsRequired(size_t n) { m_tapsRequired = n; }

  bool isContinuous() const override { return true; }
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  void reset() override;

 private:
  void startTimer(double seconds, bool press);
  void stopTimer();

  double m_minimumPressDuration = 0.5;
  double m_allowableMovement = 10;
  size_t m_touchesRequired = 1;
  size_t m_tapsRequired = 0;
  size_t m_tapsDone = 0;
  TapFingers m_fingers;
  std::shared_ptr<core::Timer> m_timer;
};

}  // namespace ui
