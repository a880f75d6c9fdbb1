#pragma once

#include "platform/ui/GestureRecognizer.h"

namespace ui {

// A continuous two-finger pinch. The scale is the fingers' distance over their distance when the
// second came down (or when setScale was last called, relative to the scale set then); it begins
// once the distance has changed by BeginDistance points and ends when a finger lifts. Fingers
// beyond two are ignored.
class PinchGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  static constexpr double BeginDistance = 4;

  double scale() const { return m_scale; }
  void setScale(double scale);
  // Scale per second, from the last two moves.
  double velocity() const { return m_velocity; }

  bool isContinuous() const override { return true; }
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  void reset() override;

 private:
  double distance() const;

  double m_scale = 1;
  double m_velocity = 0;
  double m_baseScale = 1;      // the scale when m_baseDistance was taken
  double m_baseDistance = 0;   // 0: not two fingers yet
  double m_firstDistance = 0;  // when the second finger came down, for the start threshold
  double m_lastTime = 0;
};

}  // namespace ui
