#include "platform/gfx/Path.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace gfx {

namespace {

constexpr double kTwoPi = 2 * M_PI;
// The control-point distance, as a fraction of the radius, of a cubic quarter circle.
constexpr double kKappa = 0.5522847498307936;

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }
double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

Point cubicAt(Point p0, Point p1, Point p2, Point p3, double t) {
  double u = 1 - t;
  double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
  return {b0 * p0.x + b1 * p1.x + b2 * p2.x + b3 * p3.x, b0 * p0.y + b1 * p1.y + b2 * p2.y + b3 * p3.y};
}

Point quadAt(Point p0, Point p1, Point p2, double t) {
  double u = 1 - t;
  return {u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y};
}

// Roots in (0, 1) of the derivative of a cubic along one axis.
void cubicExtrema(double p0, double p1, double p2, double p3, std::vector<double>& out) {
  // B'(t)/3 = a t^2 + b t + c
  double a = -p0 + 3 * p1 - 3 * p2 + p3;
  double b = 2 * (p0 - 2 * p1 + p2);
  double c = p1 - p0;
  if (std::fabs(a) < 1e-12) {
    if (std::fabs(b) > 1e-12) out.push_back(-c / b);
    return;
  }
  double disc = b * b - 4 * a * c;
  if (disc < 0) return;
  double s = std::sqrt(disc);
  out.push_back((-b + s) / (2 * a));
  out.push_back((-b - s) / (2 * a));
}

struct Bounds {
  double x1 = INFINITY, y1 = INFINITY, x2 = -INFINITY, y2 = -INFINITY;
  void add(Point p) {
    x1 = std::min(x1, p.x);
    y1 = std::min(y1, p.y);
    x2 = std::max(x2, p.x);
    y2 = std::max(y2, p.y);
  }
  Rect rect() const { return std::isinf(x1) ? Rect::null() : Rect(x1, y1, x2 - x1, y2 - y1); }
};

// Number of straight pieces for a curve whose control polygon has this length.
int segmentsFor(double polygonLength) {
  return std::clamp(static_cast<int>(std::ceil(std::sqrt(polygonLength) * 3)), 4, 128);
}

}  // namespace

// ---- Shapes ----

Path Path::rect(const Rect& r) {
  Path p;
  p.addRect(r);
  return p;
}

Path Path::ellipse(const Rect& r) {
  Path p;
  p.addEllipse(r);
  return p;
}

Path Path::roundedRect(const Rect& r, double radius) { return roundedRect(r, CornerRadii::uniform(radius)); }

Path Path::roundedRect(const Rect& r, unsigned corners, Size radii) {
  CornerRadii c;
  if (corners & CornerTopLeft) c.topLeft = radii;
  if (corners & CornerTopRight) c.topRight = radii;
  if (corners & CornerBottomLeft) c.bottomLeft = radii;
  if (corners & CornerBottomRight) c.bottomRight = radii;
  return roundedRect(r, c);
}

Path Path::roundedRect(const Rect& r, const CornerRadii& radii) {
  Path p;
  p.addRoundedRect(r, radii);
  return p;
}

Path Path::arc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  Path p;
  p.addArc(center, radius, startAngle, endAngle, clockwise);
  return p;
}

// ---- Building ----

void Path::ensureStart(Point p) {
  if (!m_hasCurrent) moveTo(p);
}

void Path::moveTo(Point p) {
  m_elements.push_back({ElementType::MoveTo, {p, Point{}, Point{}}});
  m_current = m_subpathStart = p;
  m_hasCurrent = true;
}

void Path::lineTo(Point p) {
  if (!m_hasCurrent) return moveTo(p);
  m_elements.push_back({ElementType::LineTo, {p, Point{}, Point{}}});
  m_current = p;
}

void Path::quadCurveTo(Point control, Point end) {
  ensureStart(control);
  m_elements.push_back({ElementType::QuadCurveTo, {control, end, Point{}}});
  m_current = end;
}

void Path::curveTo(Point control1, Point control2, Point end) {
  ensureStart(control1);
  m_elements.push_back({ElementType::CurveTo, {control1, control2, end}});
  m_current = end;
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  if (!(radius >= 0) || !std::isfinite(startAngle) || !std::isfinite(endAngle)) return;
  double sweep = clockwise ? endAngle - startAngle : startAngle - endAngle;
  if (sweep < 0) sweep = std::fmod(sweep, kTwoPi) + kTwoPi;
  sweep = std::min(sweep, kTwoPi);
  if (!clockwise) sweep = -sweep;

  Point start{center.x + radius * std::cos(startAngle), center.y + radius * std::sin(startAngle)};
  if (m_hasCurrent) {
    lineTo(start);
  } else {
    moveTo(start);
  }
  if (sweep == 0 || radius == 0) return;

  int pieces = static_cast<int>(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9));
  pieces = std::max(pieces, 1);
  double step = sweep / pieces;
  double k = 4.0 / 3.0 * std::tan(step / 4);
  double a = startAngle;
  for (int i = 0; i < pieces; ++i) {
    double b = (i == pieces - 1) ? startAngle + sweep : a + step;
    double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    Point p1{center.x + radius * (ca - k * sa), center.y + radius * (sa + k * ca)};
    Point p2{center.x + radius * (cb + k * sb), center.y + radius * (sb - k * cb)};
    Point p3{center.x + radius * cb, center.y + radius * sb};
    curveTo(p1, p2, p3);
    a = b;
  }
}

void Path::addArcToPoint(Point t1, Point t2, double radius) {
  if (!m_hasCurrent) {
    moveTo(t1);
    return;
  }
  Point p0 = m_current;
  double v1x = p0.x - t1.x, v1y = p0.y - t1.y;
  double v2x = t2.x - t1.x, v2y = t2.y - t1.y;
  double l1 = std::hypot(v1x, v1y), l2 = std::hypot(v2x, v2y);
  double cross = v1x * v2y - v1y * v2x;
  if (radius <= 0 || l1 == 0 || l2 == 0 || std::fabs(cross) < 1e-12 * l1 * l2) {
    lineTo(t1);
    return;
  }
  v1x /= l1, v1y /= l1, v2x /= l2, v2y /= l2;
  // Half the angle between the two tangent lines at t1.
  double cosTheta = std::clamp(v1x * v2x + v1y * v2y, -1.0, 1.0);
  double theta = std::acos(cosTheta);
  double tangentDist = radius / std::tan(theta / 2);
  Point s{t1.x + v1x * tangentDist, t1.y + v1y * tangentDist};
  Point e{t1.x + v2x * tangentDist, t1.y + v2y * tangentDist};
  // The centre lies along the bisector, at radius / sin(theta/2) from t1.
  double bx = v1x + v2x, by = v1y + v2y;
  double bl = std::hypot(bx, by);
  double centerDist = radius / std::sin(theta / 2);
  Point c{t1.x + bx / bl * centerDist, t1.y + by / bl * centerDist};
  double a0 = std::atan2(s.y - c.y, s.x - c.x);
  double a1 = std::atan2(e.y - c.y, e.x - c.x);
  // Turning from the first line to the second decides the direction of the arc.
  bool clockwise = cross < 0;
  lineTo(s);
  addArc(c, radius, a0, a1, clockwise);
}

void Path::addRect(const Rect& r) {
  Rect s = r.standardized();
  moveTo({s.minX(), s.minY()});
  lineTo({s.maxX(), s.minY()});
  lineTo({s.maxX(), s.maxY()});
  lineTo({s.minX(), s.maxY()});
  close();
}

void Path::addEllipse(const Rect& r) {
  Rect s = r.standardized();
  double cx = s.midX(), cy = s.midY(), rx = s.width() / 2, ry = s.height() / 2;
  double kx = rx * kKappa, ky = ry * kKappa;
  moveTo({cx + rx, cy});
  curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  close();
}

void Path::addRoundedRect(const Rect& r, const CornerRadii& radii) {
  Rect s = r.standardized();
  double w = s.width(), h = s.height();
  auto clampSize = [&](Size z) { return Size{std::clamp(z.width, 0.0, w / 2), std::clamp(z.height, 0.0, h / 2)}; };
  Size tl = clampSize(radii.topLeft), tr = clampSize(radii.topRight);
  Size br = clampSize(radii.bottomRight), bl = clampSize(radii.bottomLeft);
  double x0 = s.minX(), y0 = s.minY(), x1 = s.maxX(), y1 = s.maxY();

  moveTo({x0 + tl.width, y0});
  lineTo({x1 - tr.width, y0});
  if (tr.width > 0 && tr.height > 0)
    curveTo({x1 - tr.width + tr.width * kKappa, y0}, {x1, y0 + tr.height - tr.height * kKappa}, {x1, y0 + tr.height});
  lineTo({x1, y1 - br.height});
  if (br.width > 0 && br.height > 0)
    curveTo({x1, y1 - br.height + br.height * kKappa}, {x1 - br.width + br.width * kKappa, y1}, {x1 - br.width, y1});
  lineTo({x0 + bl.width, y1});
  if (bl.width > 0 && bl.height > 0)
    curveTo({x0 + bl.width - bl.width * kKappa, y1}, {x0, y1 - bl.height + bl.height * kKappa}, {x0, y1 - bl.height});
  lineTo({x0, y0 + tl.height});
  if (tl.width > 0 && tl.height > 0)
    curveTo({x0, y0 + tl.height - tl.height * kKappa}, {x0 + tl.width - tl.width * kKappa, y0}, {x0 + tl.width, y0});
  close();
}

void Path::addLines(const std::vector<Point>& points) {
  for (size_t i = 0; i < points.size(); ++i) {
    if (i == 0) {
      moveTo(points[i]);
    } else {
      lineTo(points[i]);
    }
  }
}

void Path::addPath(const Path& other) { addPath(other, AffineTransform::identity()); }

void Path::addPath(const Path& other, const AffineTransform& t) {
  for (const Element& e : other.m_elements) {
    switch (e.type) {
      case ElementType::MoveTo: moveTo(t.apply(e.points[0])); break;
      case ElementType::LineTo: lineTo(t.apply(e.points[0])); break;
      case ElementType::QuadCurveTo: quadCurveTo(t.apply(e.points[0]), t.apply(e.points[1])); break;
      case ElementType::CurveTo: curveTo(t.apply(e.points[0]), t.apply(e.points[1]), t.apply(e.points[2])); break;
      case ElementType::Close: close(); break;
    }
  }
}

void Path::close() {
  if (!m_hasCurrent) return;
  if (!m_elements.empty() && m_elements.back().type == ElementType::Close) return;
  m_elements.push_back({ElementType::Close, {}});
  m_current = m_subpathStart;
}

void Path::removeAll() {
  m_elements.clear();
  m_current = m_subpathStart = Point{};
  m_hasCurrent = false;
}

// ---- Queries ----

Rect Path::controlPointBounds() const {
  Bounds b;
  for (const Element& e : m_elements) {
    int n = e.type == ElementType::CurveTo       ? 3
            : e.type == ElementType::QuadCurveTo ? 2
            : e.type == ElementType::Close       ? 0
                                                 : 1;
    for (int i = 0; i < n; ++i) b.add(e.points[i]);
  }
  return b.rect();
}

Rect Path::boundingBox() const {
  Bounds b;
  Point cur;
  std::vector<double> ts;
  Point start;
  for (const Element& e : m_elements) {
    switch (e.type) {
      case ElementType::MoveTo:
        cur = start = e.points[0];
        b.add(cur);
        break;
      case ElementType::LineTo:
        cur = e.points[0];
        b.add(cur);
        break;
      case ElementType::QuadCurveTo: {
        b.add(e.points[1]);
        for (int axis = 0; axis < 2; ++axis) {
          double p0 = axis ? cur.y : cur.x, p1 = axis ? e.points[0].y : e.points[0].x,
                 p2 = axis ? e.points[1].y : e.points[1].x;
          double den = p0 - 2 * p1 + p2;
          if (std::fabs(den) > 1e-12) {
            double t = (p0 - p1) / den;
            if (t > 0 && t < 1) b.add(quadAt(cur, e.points[0], e.points[1], t));
          }
        }
        cur = e.points[1];
        break;
      }
      case ElementType::CurveTo: {
        b.add(e.points[2]);
        ts.clear();
        cubicExtrema(cur.x, e.points[0].x, e.points[1].x, e.points[2].x, ts);
        cubicExtrema(cur.y, e.points[0].y, e.points[1].y, e.points[2].y, ts);
        for (double t : ts)
          if (t > 0 && t < 1) b.add(cubicAt(cur, e.points[0], e.points[1], e.points[2], t));
        cur = e.points[2];
        break;
      }
      case ElementType::Close: cur = start; break;
    }
  }
  return b.rect();
}

std::vector<std::vector<Point>> Path::flatten() const {
  std::vector<std::vector<Point>> polys;
  Point cur;
  for (const Element& e : m_elements) {
    switch (e.type) {
      case ElementType::MoveTo:
        polys.push_back({e.points[0]});
        cur = e.points[0];
        break;
      case ElementType::LineTo:
        polys.back().push_back(e.points[0]);
        cur = e.points[0];
        break;
      case ElementType::QuadCurveTo: {
        int n = segmentsFor(distance(cur, e.points[0]) + distance(e.points[0], e.points[1]));
        for (int i = 1; i <= n; ++i) polys.back().push_back(quadAt(cur, e.points[0], e.points[1], double(i) / n));
        cur = e.points[1];
        break;
      }
      case ElementType::CurveTo: {
        int n = segmentsFor(distance(cur, e.points[0]) + distance(e.points[0], e.points[1]) +
                            distance(e.points[1], e.points[2]));
        for (int i = 1; i <= n; ++i)
          polys.back().push_back(cubicAt(cur, e.points[0], e.points[1], e.points[2], double(i) / n));
        cur = e.points[2];
        break;
      }
      case ElementType::Close:
        // A close returns to the subpath's start; later drawing without a move starts there anew.
        cur = polys.back().front();
        polys.push_back({cur});
        break;
    }
  }
  return polys;
}

bool Path::contains(Point p, FillRule rule) const {
  int winding = 0;
  int crossings = 0;
  for (const auto& poly : flatten()) {
    size_t n = poly.size();
    if (n < 3) continue;
    for (size_t i = 0; i < n; ++i) {
      Point a = poly[i], b = poly[(i + 1) % n];
      // Half-open rule on y so a vertex on the ray counts once.
      if ((a.y <= p.y) != (b.y <= p.y)) {
        double x = a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x);
        if (x > p.x) {
          ++crossings;
          winding += (b.y > a.y) ? 1 : -1;
        }
      }
    }
  }
  return rule == FillRule::EvenOdd ? (crossings % 2) == 1 : winding != 0;
}

Path Path::transformed(const AffineTransform& t) const {
  Path out;
  out.addPath(*this, t);
  return out;
}

void Path::apply(const AffineTransform& t) { *this = transformed(t); }

void Path::appendTo(cairo_t* cr) const {
  if (!cr) return;
  Point cur;
  for (const Element& e : m_elements) {
    switch (e.type) {
      case ElementType::MoveTo:
        cairo_move_to(cr, e.points[0].x, e.points[0].y);
        cur = e.points[0];
        break;
      case ElementType::LineTo:
        cairo_line_to(cr, e.points[0].x, e.points[0].y);
        cur = e.points[0];
        break;
      case ElementType::QuadCurveTo: {
        // The same curve as a cubic: controls two thirds of the way to the quadratic control.
        Point c1 = lerp(cur, e.points[0], 2.0 / 3), c2 = lerp(e.points[1], e.points[0], 2.0 / 3);
        cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, e.points[1].x, e.points[1].y);
        cur = e.points[1];
        break;
      }
      case ElementType::CurveTo:
        cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
        cur = e.points[2];
        break;
      case ElementType::Close: {
        cairo_close_path(cr);
        double x = 0, y = 0;
        cairo_get_current_point(cr, &x, &y);
        cur = {x, y};
        break;
      }
    }
  }
}

}  // namespace gfx
