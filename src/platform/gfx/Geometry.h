#pragma once

#include <algorithm>
#include <cmath>

// Geometry in points. Rectangles have their origin at the top left, y growing downwards.
namespace gfx {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(Point o, Size s) : origin(o), size(s) {}
  Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  // The edges of the standardized rectangle (negative sizes count from the far edge).
  double minX() const { return std::min(origin.x, origin.x + size.width); }
  double minY() const { return std::min(origin.y, origin.y + size.height); }
  double maxX() const { return std::max(origin.x, origin.x + size.width); }
  double maxY() const { return std::max(origin.y, origin.y + size.height); }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  Point center() const { return {midX(), midY()}; }

  bool isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
  bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }
  Rect standardized() const { return Rect(minX(), minY(), maxX() - minX(), maxY() - minY()); }
  bool contains(Point p) const { return !isNull() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
  bool contains(const Rect& r) const {
    return !isNull() && !r.isNull() && r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() && r.maxY() <= maxY();
  }
  bool intersects(const Rect& r) const { return !intersection(r).isNull(); }

  // The null rectangle (no intersection) has infinite origin, as the platform's did.
  static Rect null() { return Rect(INFINITY, INFINITY, 0, 0); }
  static Rect zero() { return Rect(); }

  Rect intersection(const Rect& r) const {
    if (isNull() || r.isNull()) return null();
    double x1 = std::max(minX(), r.minX()), y1 = std::max(minY(), r.minY());
    double x2 = std::min(maxX(), r.maxX()), y2 = std::min(maxY(), r.maxY());
    if (x2 < x1 || y2 < y1) return null();
    return Rect(x1, y1, x2 - x1, y2 - y1);
  }
  Rect unionWith(const Rect& r) const {
    if (isNull()) return r.standardized();
    if (r.isNull()) return standardized();
    double x1 = std::min(minX(), r.minX()), y1 = std::min(minY(), r.minY());
    double x2 = std::max(maxX(), r.maxX()), y2 = std::max(maxY(), r.maxY());
    return Rect(x1, y1, x2 - x1, y2 - y1);
  }
  Rect insetBy(double dx, double dy) const {
    Rect s = standardized();
    return Rect(s.origin.x + dx, s.origin.y + dy, s.size.width - 2 * dx, s.size.height - 2 * dy);
  }
  Rect insetBy(const EdgeInsets& e) const {
    return Rect(origin.x + e.left, origin.y + e.top, size.width - e.left - e.right, size.height - e.top - e.bottom);
  }
  Rect offsetBy(double dx, double dy) const { return Rect(origin.x + dx, origin.y + dy, size.width, size.height); }
  // The smallest rectangle with integral edges that contains this one.
  Rect integral() const {
    if (isNull()) return *this;
    double x1 = std::floor(minX()), y1 = std::floor(minY());
    return Rect(x1, y1, std::ceil(maxX()) - x1, std::ceil(maxY()) - y1);
  }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace gfx
