#include "platform/gfx/Transform.h"

#include <cairo.h>

#include <cmath>

namespace gfx {

namespace {

// Determinants this small are treated as singular: inverting would only give noise.
constexpr double kSingular = 1e-12;

}  // namespace

// ---- AffineTransform ----

AffineTransform AffineTransform::rotation(double radians) {
  double s = std::sin(radians), c = std::cos(radians);
  return AffineTransform{c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& n) const {
  return AffineTransform{a * n.a + b * n.c,
                         a * n.b + b * n.d,
                         c * n.a + d * n.c,
                         c * n.b + d * n.d,
                         tx * n.a + ty * n.c + n.tx,
                         tx * n.b + ty * n.d + n.ty};
}

bool AffineTransform::isInvertible() const {
  double det = determinant();
  return std::isfinite(det) && std::fabs(det) > kSingular;
}

AffineTransform AffineTransform::inverted() const {
  if (!isInvertible()) return *this;
  double det = determinant();
  double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
  return AffineTransform{ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

Rect AffineTransform::apply(const Rect& r) const {
  if (r.isNull()) return r;
  Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
  double x1 = p[0].x, x2 = p[0].x, y1 = p[0].y, y2 = p[0].y;
  for (const Point& q : p) {
    x1 = std::min(x1, q.x);
    x2 = std::max(x2, q.x);
    y1 = std::min(y1, q.y);
    y2 = std::max(y2, q.y);
  }
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

void AffineTransform::toCairo(cairo_matrix_t* out) const {
  if (out) cairo_matrix_init(out, a, b, c, d, tx, ty);
}

AffineTransform AffineTransform::fromCairo(const cairo_matrix_t& m) {
  return AffineTransform{m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
}

// ---- Transform3D ----

namespace {

using Rows = std::array<std::array<double, 4>, 4>;

Rows rowsOf(const Transform3D& t) {
  return {{{t.m11, t.m12, t.m13, t.m14}, {t.m21, t.m22, t.m23, t.m24}, {t.m31, t.m32, t.m33, t.m34},
           {t.m41, t.m42, t.m43, t.m44}}};
}

Transform3D fromRows(const Rows& r) {
  Transform3D t;
  t.m11 = r[0][0], t.m12 = r[0][1], t.m13 = r[0][2], t.m14 = r[0][3];
  t.m21 = r[1][0], t.m22 = r[1][1], t.m23 = r[1][2], t.m24 = r[1][3];
  t.m31 = r[2][0], t.m32 = r[2][1], t.m33 = r[2][2], t.m34 = r[2][3];
  t.m41 = r[3][0], t.m42 = r[3][1], t.m43 = r[3][2], t.m44 = r[3][3];
  return t;
}

// Gauss-Jordan elimination with partial pivoting; nullopt when singular.
std::optional<Rows> invert(const Rows& in) {
  Rows m = in;
  Rows inv{};
  for (int i = 0; i < 4; ++i) inv[i][i] = 1;
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
    if (!(std::fabs(m[pivot][col]) > kSingular)) return std::nullopt;
    std::swap(m[pivot], m[col]);
    std::swap(inv[pivot], inv[col]);
    double p = m[col][col];
    for (int k = 0; k < 4; ++k) {
      m[col][k] /= p;
      inv[col][k] /= p;
    }
    for (int r = 0; r < 4; ++r) {
      if (r == col || m[r][col] == 0) continue;
      double f = m[r][col];
      for (int k = 0; k < 4; ++k) {
        m[r][k] -= f * m[col][k];
        inv[r][k] -= f * inv[col][k];
      }
    }
  }
  return inv;
}

}  // namespace

Transform3D Transform3D::translation(double tx, double ty, double tz) {
  Transform3D t;
  t.m41 = tx, t.m42 = ty, t.m43 = tz;
  return t;
}

Transform3D Transform3D::scale(double sx, double sy, double sz) {
  Transform3D t;
  t.m11 = sx, t.m22 = sy, t.m33 = sz;
  return t;
}

Transform3D Transform3D::rotation(double radians, double x, double y, double z) {
  double len = std::sqrt(x * x + y * y + z * z);
  if (!(len > 0) || !std::isfinite(len)) return identity();
  x /= len, y /= len, z /= len;
  double s = std::sin(radians), c = std::cos(radians), k = 1 - c;
  Transform3D t;
  t.m11 = k * x * x + c, t.m12 = k * x * y + s * z, t.m13 = k * x * z - s * y;
  t.m21 = k * x * y - s * z, t.m22 = k * y * y + c, t.m23 = k * y * z + s * x;
  t.m31 = k * x * z + s * y, t.m32 = k * y * z - s * x, t.m33 = k * z * z + c;
  return t;
}

Transform3D Transform3D::fromAffine(const AffineTransform& a) {
  Transform3D t;
  t.m11 = a.a, t.m12 = a.b, t.m21 = a.c, t.m22 = a.d, t.m41 = a.tx, t.m42 = a.ty;
  return t;
}

Transform3D Transform3D::concat(const Transform3D& next) const {
  Rows x = rowsOf(*this), y = rowsOf(next), r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r[i][j] = x[i][0] * y[0][j] + x[i][1] * y[1][j] + x[i][2] * y[2][j] + x[i][3] * y[3][j];
  return fromRows(r);
}

double Transform3D::determinant() const {
  Rows m = rowsOf(*this);
  // Laplace expansion along the first row with 3x3 minors.
  auto minor3 = [&](int skip) {
    int c[3], n = 0;
    for (int j = 0; j < 4; ++j)
      if (j != skip) c[n++] = j;
    return m[1][c[0]] * (m[2][c[1]] * m[3][c[2]] - m[2][c[2]] * m[3][c[1]]) -
           m[1][c[1]] * (m[2][c[0]] * m[3][c[2]] - m[2][c[2]] * m[3][c[0]]) +
           m[1][c[2]] * (m[2][c[0]] * m[3][c[1]] - m[2][c[1]] * m[3][c[0]]);
  };
  return m[0][0] * minor3(0) - m[0][1] * minor3(1) + m[0][2] * minor3(2) - m[0][3] * minor3(3);
}

bool Transform3D::isInvertible() const { return invert(rowsOf(*this)).has_value(); }

Transform3D Transform3D::inverted() const {
  auto inv = invert(rowsOf(*this));
  return inv ? fromRows(*inv) : *this;
}

bool Transform3D::isAffine() const {
  return m13 == 0 && m14 == 0 && m23 == 0 && m24 == 0 && m31 == 0 && m32 == 0 && m33 == 1 && m34 == 0 &&
         m43 == 0 && m44 == 1;
}

Transform3D::Vector4 Transform3D::apply(const Vector4& v) const {
  return Vector4{v.x * m11 + v.y * m21 + v.z * m31 + v.w * m41, v.x * m12 + v.y * m22 + v.z * m32 + v.w * m42,
                 v.x * m13 + v.y * m23 + v.z * m33 + v.w * m43, v.x * m14 + v.y * m24 + v.z * m34 + v.w * m44};
}

std::optional<Point> Transform3D::project(Point p) const {
  Vector4 r = apply(Vector4{p.x, p.y, 0, 1});
  if (!(r.w > 0)) return std::nullopt;
  return Point{r.x / r.w, r.y / r.w};
}

std::array<double, 9> Transform3D::homography() const {
  return {m11, m21, m41, m12, m22, m42, m14, m24, m44};
}

}  // namespace gfx
