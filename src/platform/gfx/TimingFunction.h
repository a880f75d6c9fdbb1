#pragma once

namespace gfx {

// A timing curve: the cubic Bézier from (0,0) through the two control points to (1,1), read as
// "progress of the value" (y) against "progress of time" (x).
class TimingFunction {
 public:
  enum class Name { Linear, EaseIn, EaseOut, EaseInEaseOut, Default };

  TimingFunction() = default;
  // Linear (0,0,1,1); EaseIn (0.42,0,1,1); EaseOut (0,0,0.58,1); EaseInEaseOut (0.42,0,0.58,1);
  // Default (0.25,0.1,0.25,1).
  static TimingFunction named(Name n);
  // The control points' x are clamped to 0..1 so the curve stays a function of time.
  static TimingFunction cubic(double c1x, double c1y, double c2x, double c2y);

  // Solves x(s) = t for s and returns y(s); t is clamped to 0..1.
  double evaluate(double t) const;

  double c1x() const { return m_c1x; }
  double c1y() const { return m_c1y; }
  double c2x() const { return m_c2x; }
  double c2y() const { return m_c2y; }

  friend bool operator==(const TimingFunction&, const TimingFunction&) = default;

 private:
  double m_c1x = 0, m_c1y = 0, m_c2x = 1, m_c2y = 1;
};

}  // namespace gfx
