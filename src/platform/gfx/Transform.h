#pragma once

#include <array>
#include <optional>

#include "platform/gfx/Geometry.h"

typedef struct _cairo_matrix cairo_matrix_t;

namespace gfx {

// A 2D affine transform in row-vector form: [x y 1] * | a  b  0 |
//                                                     | c  d  0 |
//                                                     | tx ty 1 |
// so x' = a*x + c*y + tx and y' = b*x + d*y + ty. With y growing downwards a positive rotation
// turns clockwise on screen.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform make(double a, double b, double c, double d, double tx, double ty) {
    return AffineTransform{a, b, c, d, tx, ty};
  }
  static AffineTransform translation(double tx, double ty) { return AffineTransform{1, 0, 0, 1, tx, ty}; }
  static AffineTransform scale(double sx, double sy) { return AffineTransform{sx, 0, 0, sy, 0, 0}; }
  static AffineTransform rotation(double radians);

  // `this` first, then `next`.
  AffineTransform concat(const AffineTransform& next) const;
  // These apply the new step before `this` (the new step is in this transform's own space).
  AffineTransform translated(double dx, double dy) const { return translation(dx, dy).concat(*this); }
  AffineTransform scaled(double sx, double sy) const { return scale(sx, sy).concat(*this); }
  AffineTransform rotated(double radians) const { return rotation(radians).concat(*this); }

  double determinant() const { return a * d - b * c; }
  bool isInvertible() const;
  // The inverse; the transform unchanged when it is not invertible.
  AffineTransform inverted() const;
  bool isIdentity() const { return *this == identity(); }

  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // Sizes ignore the translation (and may come out negative).
  Size apply(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
  // The smallest rectangle holding the four transformed corners; the null rectangle stays null.
  Rect apply(const Rect& r) const;

  void toCairo(cairo_matrix_t* out) const;
  static AffineTransform fromCairo(const cairo_matrix_t& m);

  friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

// A 4x4 transform in row-vector form: [x y z 1] * M. Translation sits in m41..m43; m34 = -1/d
// gives a perspective seen from distance d in front of the z = 0 plane.
struct Transform3D {
  double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  double m41 = 0, m42 = 0, m43 = 0, m44 = 1;

  struct Vector4 {
    double x = 0, y = 0, z = 0, w = 1;
    friend bool operator==(const Vector4&, const Vector4&) = default;
  };

  static Transform3D identity() { return {}; }
  static Transform3D translation(double tx, double ty, double tz);
  static Transform3D scale(double sx, double sy, double sz);
  // A rotation by the angle about the axis (x, y, z) through the origin; identity for a zero axis.
  // About (0, 0, 1) it equals AffineTransform::rotation.
  static Transform3D rotation(double radians, double x, double y, double z);
  static Transform3D fromAffine(const AffineTransform& t);

  // `this` first, then `next`.
  Transform3D concat(const Transform3D& next) const;
  // These apply the new step before `this`.
  Transform3D translated(double tx, double ty, double tz) const { return translation(tx, ty, tz).concat(*this); }
  Transform3D scaled(double sx, double sy, double sz) const { return scale(sx, sy, sz).concat(*this); }
  Transform3D rotated(double radians, double x, double y, double z) const {
    return rotation(radians, x, y, z).concat(*this);
  }

  double determinant() const;
  bool isInvertible() const;
  // The inverse; the transform unchanged when it is not invertible.
  Transform3D inverted() const;
  bool isIdentity() const { return *this == identity(); }
  // True when the transform only acts in the plane (m13, m14, m23, m24, m31, m32, m34, m43 zero,
  // m33 and m44 one), so that toAffine() loses nothing.
  bool isAffine() const;
  AffineTransform toAffine() const { return AffineTransform{m11, m12, m21, m22, m41, m42}; }

  Vector4 apply(const Vector4& v) const;
  // The point (x, y, 0) transformed and divided by w; nullopt when it falls at or behind the eye
  // (w <= 0).
  std::optional<Point> project(Point p) const;
  // The plane-to-plane part for points with z = 0 as a 3x3 matrix, row-major, acting on column
  // vectors: [X Y W]^T = H [x y 1]^T (what a projective image transform takes, inverted).
  std::array<double, 9> homography() const;

  friend bool operator==(const Transform3D&, const Transform3D&) = default;
};

}  // namespace gfx
