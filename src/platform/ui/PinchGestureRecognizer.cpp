#include "platform/ui/PinchGestureRecognizer.h"

#include <cmath>

namespace ui {

double PinchGestureRecognizer::distance() const {
  if (numberOfTouches() < 2) return 0;
  auto [a, b] = fingerLocations();
  return std::hypot(b.x - a.x, b.y - a.y);
}

void PinchGestureRecognizer::setScale(double scale) {
  m_scale = scale;
  m_baseScale = scale;
  if (numberOfTouches() >= 2) m_baseDistance = distance();
}

void PinchGestureRecognizer::fingersDown() {
  m_baseDistance = m_firstDistance = distance();
  m_baseScale = m_scale;
}

std::optional<double> PinchGestureRecognizer::valueAfterMove() {
  double d = distance();
  if (m_baseDistance <= 0) {
    // The fingers came down on one spot: measure from here.
    m_baseDistance = m_firstDistance = d;
    return std::nullopt;
  }
  if (state() == GestureRecognizerState::Possible && std::fabs(d - m_firstDistance) < BeginDistance) return std::nullopt;
  return m_baseScale * d / m_baseDistance;
}

void PinchGestureRecognizer::reset() {
  TwoFingerGestureRecognizer::reset();
  m_scale = 1;
  m_baseScale = 1;
  m_baseDistance = m_firstDistance = 0;
}

}  // namespace ui
