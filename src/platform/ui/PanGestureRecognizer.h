#pragma once

#include <vector>

#include "platform/ui/GestureRecognizer.h"

namespace ui {

// A continuous drag: begins once a touch has moved 10 points from where it began (with between
// minimumNumberOfTouches and maximumNumberOfTouches fingers down), changes as the touches move,
// ends when they lift.
//
// The translation is the travel of the centroid since the fingers came down (so it is already
// about 10 points when the pan begins); fingers joining or leaving do not move it. Fingers beyond
// maximumNumberOfTouches are ignored.
class PanGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  // The distance a touch moves before the pan begins.
  static constexpr double Hysteresis = 10;

  size_t minimumNumberOfTouches() const { return m_minimumTouches; }
  void setMinimumNumberOfTouches(size_t n) { m_minimumTouches = n; }
  size_t maximumNumberOfTouches() const { return m_maximumTouches; }
  void setMaximumNumberOfTouches(size_t n) { m_maximumTouches = n; }

  // The travel of the centroid since the fingers came down (or since the last setTranslation), in the
  // coordinates of `view` (the window when null).
  gfx::Point translationInView(const View* view) const;
  void setTranslation(gfx::Point translation, const View* view);
  // Points per second, in `view`'s coordinates, from the last moves (zero after a pause).
  gfx::Point velocityInView(const View* view) const;

  bool isContinuous() const override { return true; }
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  void reset() override;

 private:
  struct Sample {
    double time = 0;
    gfx::Point translation;  // window coordinates
  };
  void addSample();

  size_t m_minimumTouches = 1;
  size_t m_maximumTouches = size_t(-1);
  gfx::Point m_translation;   // window coordinates
  gfx::Point m_lastCentroid;  // window coordinates, after the last event
  std::vector<Sample> m_samples;  // the last moves, for the velocity
};

}  // namespace ui
