#pragma once

#include <optional>
#include <utility>

#include "platform/ui/GestureRecognizer.h"

namespace ui {

// What pinch and rotation share: a continuous gesture of exactly two fingers (those beyond two are
// ignored) that measures one value from the line between them. It begins on the first move the
// subclass turns into a value, changes on every one after, and ends when a finger lifts; the
// velocity is the value's change per second over the last two moves.
class TwoFingerGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  // The value's change per second, from the last two moves.
  double velocity() const { return m_velocity; }

  bool isContinuous() const override { return true; }
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  void reset() override;

 protected:
  // The two fingers' locations in the window, in the order they came down. Only while two are
  // followed.
  std::pair<gfx::Point, gfx::Point> fingerLocations() const;

  // The second finger came down: measure from here.
  virtual void fingersDown() = 0;
  // The fingers moved: the new value, or nothing while there is none yet (no measure to start
  // from, or still under the start threshold before the gesture began).
  virtual std::optional<double> valueAfterMove() = 0;
  // A finger lifted before the gesture began while another stays down: the next second finger
  // starts a fresh measure.
  virtual void fingerLifted() = 0;
  virtual double currentValue() const = 0;
  virtual void takeValue(double value) = 0;

 private:
  double m_velocity = 0;
  double m_lastTime = 0;
};

}  // namespace ui
