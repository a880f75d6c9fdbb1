#pragma once

#include "platform/ui/GestureRecognizer.h"

namespace ui {

// A continuous two-finger rotation. The rotation is the turn, in radians (clockwise on the screen
// positive), of the line between the fingers since the second came down (plus the value last set
// with setRotation); it begins once the line has turned by BeginAngle and ends when a finger
// lifts. Fingers beyond two are ignored.
class RotationGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  static constexpr double BeginAngle = 0.07;

  double rotation() const { return m_rotation; }
  void setRotation(double radians);
  // Radians per second, from the last two moves.
  double velocity() const { return m_velocity; }

  bool isContinuous() const override { return true; }
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  void reset() override;

 private:
  double angle() const;

  double m_rotation = 0;
  double m_velocity = 0;
  double m_baseRotation = 0;  // the value set last
  double m_turn = 0;          // the line's turn since the base was taken, unwrapped
  double m_startTurn = 0;     // total turn since the second finger came down, for the threshold
  double m_lastAngle = 0;
  bool m_measuring = false;
  double m_lastTime = 0;
};

}  // namespace ui
