#include "platform/gfx/TimingFunction.h"

#include <algorithm>
#include <cmath>

namespace gfx {

TimingFunction TimingFunction::named(Name n) {
  switch (n) {
    case Name::Linear: return cubic(0, 0, 1, 1);
    case Name::EaseIn: return cubic(0.42, 0, 1, 1);
    case Name::EaseOut: return cubic(0, 0, 0.58, 1);
    case Name::EaseInEaseOut: return cubic(0.42, 0, 0.58, 1);
    case Name::Default: return cubic(0.25, 0.1, 0.25, 1);
  }
  return TimingFunction();
}

TimingFunction TimingFunction::cubic(double c1x, double c1y, double c2x, double c2y) {
  TimingFunction f;
  f.m_c1x = std::clamp(std::isfinite(c1x) ? c1x : 0.0, 0.0, 1.0);
  f.m_c2x = std::clamp(std::isfinite(c2x) ? c2x : 1.0, 0.0, 1.0);
  f.m_c1y = std::isfinite(c1y) ? c1y : 0.0;
  f.m_c2y = std::isfinite(c2y) ? c2y : 1.0;
  return f;
}

namespace {

// One coordinate of the Bézier with end points 0 and 1 at parameter s.
double bezier(double p1, double p2, double s) {
  double u = 1 - s;
  return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
}

double bezierSlope(double p1, double p2, double s) {
  double u = 1 - s;
  return 3 * u * u * p1 + 6 * u * s * (p2 - p1) + 3 * s * s * (1 - p2);
}

}  // namespace

double TimingFunction::evaluate(double t) const {
  if (!(t > 0)) return 0;
  if (t >= 1) return 1;
  if (m_c1x == m_c1y && m_c2x == m_c2y) return t;  // a straight line
  // Newton's method from s = t, falling back to bisection (x(s) is monotonic on 0..1).
  double s = t;
  for (int i = 0; i < 8; ++i) {
    double err = bezier(m_c1x, m_c2x, s) - t;
    if (std::fabs(err) < 1e-9) return bezier(m_c1y, m_c2y, s);
    double slope = bezierSlope(m_c1x, m_c2x, s);
    if (std::fabs(slope) < 1e-6) break;
    s -= err / slope;
    if (s < 0 || s > 1) break;
  }
  double lo = 0, hi = 1;
  s = t;
  for (int i = 0; i < 60; ++i) {
    s = (lo + hi) / 2;
    double x = bezier(m_c1x, m_c2x, s);
    if (std::fabs(x - t) < 1e-10) break;
    if (x < t) lo = s; else hi = s;
  }
  return bezier(m_c1y, m_c2y, s);
}

}  // namespace gfx
