#pragma once

#include <array>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/gfx/Transform.h"

typedef struct _cairo cairo_t;

namespace gfx {

// How the inside of a path is decided: by the winding number (non-zero) or by the parity of the
// number of edge crossings (even-odd).
enum class FillRule { NonZero, EvenOdd };

// Corners of a rectangle, combined as a mask.
enum RectCorner : unsigned {
  CornerTopLeft = 1 << 0,
  CornerTopRight = 1 << 1,
  CornerBottomLeft = 1 << 2,
  CornerBottomRight = 1 << 3,
  AllCorners = 0xF,
};

// A radius per corner; each may be elliptical (width along x, height along y).
struct CornerRadii {
  Size topLeft;
  Size topRight;
  Size bottomRight;
  Size bottomLeft;
  static CornerRadii uniform(double r) { return {{r, r}, {r, r}, {r, r}, {r, r}}; }
  friend bool operator==(const CornerRadii&, const CornerRadii&) = default;
};

// A vector path of subpaths made of lines and Bézier curves. Arcs, ellipses and rounded corners are
// stored as cubic curves, so a transformed path is exact and its elements can be read back.
// Angles are in radians; with y growing downwards, "clockwise" on screen means increasing angle.
class Path {
 public:
  enum class ElementType { MoveTo, LineTo, QuadCurveTo, CurveTo, Close };
  struct Element {
    ElementType type = ElementType::MoveTo;
    // MoveTo/LineTo use points[0]; QuadCurveTo: control, end; CurveTo: control 1, control 2, end.
    std::array<Point, 3> points{};
    friend bool operator==(const Element&, const Element&) = default;
  };

  Path() = default;

  static Path rect(const Rect& r);
  static Path ellipse(const Rect& r);
  static Path roundedRect(const Rect& r, double radius);
  // Only the corners in the mask are rounded, each with `radii`.
  static Path roundedRect(const Rect& r, unsigned corners, Size radii);
  static Path roundedRect(const Rect& r, const CornerRadii& radii);
  static Path arc(Point center, double radius, double startAngle, double endAngle, bool clockwise);

  // Building. Drawing commands without a current point start a subpath at their first point.
  void moveTo(Point p);
  void lineTo(Point p);
  void quadCurveTo(Point control, Point end);
  void curveTo(Point control1, Point control2, Point end);
  // An arc of the circle around `center`, from `startAngle` to `endAngle`. Clockwise (on screen,
  // y down) the angle increases: an end below the start is moved up by whole turns; a sweep of a
  // full turn or more draws the whole circle once. With a current point, a line joins it to the
  // arc's start; else the arc starts a subpath.
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
  // A circular arc of `radius` tangent to the line from the current point to `tangent1` and to the
  // line from `tangent1` to `tangent2`, with a line from the current point to the arc's start.
  // Degenerate input (no radius, collinear points) adds a line to `tangent1`.
  void addArcToPoint(Point tangent1, Point tangent2, double radius);
  // Closed subpaths of their own, each drawn clockwise on screen from the top-left corner (the
  // ellipse from its rightmost point).
  void addRect(const Rect& r);
  void addEllipse(const Rect& r);
  void addRoundedRect(const Rect& r, const CornerRadii& radii);
  void addLines(const std::vector<Point>& points);
  void addPath(const Path& other);
  void addPath(const Path& other, const AffineTransform& t);
  void close();
  void removeAll();

  bool isEmpty() const { return m_elements.empty(); }
  bool hasCurrentPoint() const { return m_hasCurrent; }
  // The end of the last element (after a close, the start of the closed subpath); (0,0) if none.
  Point currentPoint() const { return m_current; }
  const std::vector<Element>& elements() const { return m_elements; }

  // The smallest rectangle holding every point of the path (curve extrema included, control points
  // not); the null rectangle for an empty path.
  Rect boundingBox() const;
  // The smallest rectangle holding every point including the curves' control points.
  Rect controlPointBounds() const;
  // Whether `p` lies inside the path under the rule; open subpaths count as closed.
  bool contains(Point p, FillRule rule = FillRule::NonZero) const;

  Path transformed(const AffineTransform& t) const;
  void apply(const AffineTransform& t);

  // Appends the path to the Cairo context's current path (in the context's user space).
  void appendTo(cairo_t* cr) const;

  friend bool operator==(const Path&, const Path&) = default;

 private:
  void ensureStart(Point p);
  // The subpaths flattened into polygons.
  std::vector<std::vector<Point>> flatten() const;

  std::vector<Element> m_elements;
  Point m_current;
  Point m_subpathStart;
  bool m_hasCurrent = false;
};

}  // namespace gfx
