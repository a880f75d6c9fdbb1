#pragma once

#include "platform/ui/TwoFingerGestureRecognizer.h"

namespace ui {

// A continuous two-finger rotation. The rotation is the turn, in radians (clockwise on the screen
// positive), of the line between the fingers since the second came down (plus the value last set
// with setRotation); it begins once the line has turned by BeginAngle and ends when a finger
// lifts. Fingers beyond two are ignored. velocity() is in radians per second.
class RotationGestureRecognizer : public TwoFingerGestureRecognizer {
 public:
  using TwoFingerGestureRecognizer::TwoFingerGestureRecognizer;

  static constexpr double BeginAngle = 0.07;

  double rotation() const { return m_rotation; }
  void setRotation(double radians);

  void reset() override;

 protected:
  void fingersDown() override;
  std::optional<double> valueAfterMove() override;
  void fingerLifted() override { m_measuring = false; }
  double currentValue() const override { return m_rotation; }
  void takeValue(double value) override { m_rotation = value; }

 private:
  double angle() const;

  double m_rotation = 0;
  double m_baseRotation = 0;  // the value set last
  double m_turn = 0;          // the line's turn since the base was taken, unwrapped
  double m_startTurn = 0;     // total turn since the second finger came down, for the threshold
  double m_lastAngle = 0;
  bool m_measuring = false;
};

}  // namespace ui
