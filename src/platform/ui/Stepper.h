#pragma once

#include <memory>

#include "platform/ui/Control.h"

namespace core {
class Timer;
}

namespace ui {

// Two halves, minus on the left and plus on the right, 94 x 29 points. Touching a half steps the
// value once (value-changed at once when continuous, else when the touch ends); held down with
// autorepeat it keeps stepping, after 0.5 s and then every 0.1 s. The value stays within
// minimum..maximum, or wraps round when `wraps` is on.
class Stepper : public Control {
 public:
  static constexpr double Width = 94;
  static constexpr double Height = 29;
  static constexpr double AutorepeatDelay = 0.5;
  static constexpr double AutorepeatInterval = 0.1;

  static std::shared_ptr<Stepper> create(const gfx::Rect& frame = gfx::Rect()) { return std::make_shared<Stepper>(frame); }
  explicit Stepper(const gfx::Rect& frame = gfx::Rect());
  ~Stepper() override;

  double value() const { return m_value; }
  // Clamped to the range; sends no event.
  void setValue(double value);
  double minimumValue() const { return m_minimum; }
  void setMinimumValue(double minimum);
  double maximumValue() const { return m_maximum; }
  void setMaximumValue(double maximum);
  double stepValue() const { return m_step; }
  void setStepValue(double step);
  bool wraps() const { return m_wraps; }
  void setWraps(bool wraps) { m_wraps = wraps; }
  bool autorepeat() const { return m_autorepeat; }
  void setAutorepeat(bool on) { m_autorepeat = on; }
  bool isContinuous() const { return m_continuous; }
  void setContinuous(bool on) { m_continuous = on; }

  bool canDecrement() const { return m_wraps || m_value > m_minimum; }
  bool canIncrement() const { return m_wraps || m_value < m_maximum; }

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool beginTracking(const Touch& touch, const Event* event) override;
  void endTracking(const Touch* touch, const Event* event) override;
  void cancelTracking(const Event* event) override;

 private:
  // Steps once in the pressed direction; returns whether the value changed.
  bool step();
  void stopRepeating();

  double m_value = 0;
  double m_minimum = 0;
  double m_maximum = 100;
  double m_step = 1;
  bool m_wraps = false;
  bool m_autorepeat = true;
  bool m_continuous = true;
  int m_direction = 0;  // -1 minus, +1 plus, 0 none pressed
  bool m_changedWhileTracking = false;
  std::shared_ptr<core::Timer> m_repeatTimer;
};

}  // namespace ui
