#pragma once

#include "platform/ui/TwoFingerGestureRecognizer.h"

namespace ui {

// A continuous two-finger pinch. The scale is the fingers' distance over their distance when the
// second came down (or when setScale was last called, relative to the scale set then); it begins
// once the distance has changed by BeginDistance points and ends when a finger lifts. Fingers
// beyond two are ignored. velocity() is in scale per second.
class PinchGestureRecognizer : public TwoFingerGestureRecognizer {
 public:
  using TwoFingerGestureRecognizer::TwoFingerGestureRecognizer;

  static constexpr double BeginDistance = 4;

  double scale() const { return m_scale; }
  void setScale(double scale);

  void reset() override;

 protected:
  void fingersDown() override;
  std::optional<double> valueAfterMove() override;
  void fingerLifted() override { m_baseDistance = m_firstDistance = 0; }
  double currentValue() const override { return m_scale; }
  void takeValue(double value) override { m_scale = value; }

 private:
  double distance() const;

  double m_scale = 1;
  double m_baseScale = 1;      // the scale when m_baseDistance was taken
  double m_baseDistance = 0;   // 0: not two fingers yet
  double m_firstDistance = 0;  // when the second finger came down, for the start threshold
};

}  // namespace ui
