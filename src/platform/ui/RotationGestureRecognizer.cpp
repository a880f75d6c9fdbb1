#include "platform/ui/RotationGestureRecognizer.h"

#include <cmath>
#include <numbers>

namespace ui {

double RotationGestureRecognizer::angle() const {
  auto [a, b] = fingerLocations();
  return std::atan2(b.y - a.y, b.x - a.x);
}

void RotationGestureRecognizer::setRotation(double radians) {
  m_rotation = radians;
  m_baseRotation = radians;
  m_turn = 0;
}

void RotationGestureRecognizer::fingersDown() {
  m_measuring = true;
  m_lastAngle = angle();
  m_baseRotation = m_rotation;
  m_turn = m_startTurn = 0;
}

std::optional<double> RotationGestureRecognizer::valueAfterMove() {
  if (!m_measuring) return std::nullopt;
  double a = angle();
  // The smallest turn from the last angle, so crossing ±pi keeps counting.
  double delta = std::remainder(a - m_lastAngle, 2 * std::numbers::pi);
  m_lastAngle = a;
  m_turn += delta;
  m_startTurn += delta;
  if (state() == GestureRecognizerState::Possible && std::fabs(m_startTurn) < BeginAngle) return std::nullopt;
  return m_baseRotation + m_turn;
}

void RotationGestureRecognizer::reset() {
  TwoFingerGestureRecognizer::reset();
  m_rotation = m_baseRotation = m_turn = m_startTurn = m_lastAngle = 0;
  m_measuring = false;
}

}  // namespace ui
