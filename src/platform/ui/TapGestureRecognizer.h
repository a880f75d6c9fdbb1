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

// A discrete tap: numberOfTapsRequired taps, each of numberOfTouchesRequired fingers down
// together and lifted. Fails when a finger moves more than MaximumMovement points from where it
// came down, when more fingers come down than required, or when the next tap does not begin
// within MultiTapInterval seconds of the last lift.
class TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  ~TapGestureRecognizer() override;

  static constexpr double MaximumMovement = 10;
  static constexpr double MultiTapInterval = 0.35;

  size_t numberOfTapsRequired() const { return m_tapsRequired; }
  void setNumberOfTapsRequired(size_t n) { m_tapsRequired = n ? n : 1; }
  size_t numberOfTouchesRequired() const { return m_touchesRequired; }
  void setNumberOfTouchesRequired(size_t n) { m_touchesRequired = n ? n : 1; }

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  void reset() override;

 protected:
  bool yieldsToControls() const override { return m_tapsRequired == 1 && m_touchesRequired == 1; }

 private:
  void stopTimer();

  size_t m_tapsRequired = 1;
  size_t m_touchesRequired = 1;
  size_t m_tapsDone = 0;
  TapFingers m_fingers;
  std::shared_ptr<core::Timer> m_timer;
};

}  // namespace ui
