#include "platform/gfx/Animation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string_view>

namespace gfx {

// ---- Transform decomposition ---------------------------------------------------------------
//
// The upper 3x3 part of a transform (row-vector form, rows a0..a2) is split into scale, skew and
// rotation: a0 = sx*r0, a1 = kxy*r0 + sy*r1, a2 = kxz*r0 + kyz*r1 + sz*r2 with r0..r2 orthonormal.
// Translation is the fourth row; the perspective column is kept as it is.
namespace {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 sub(Vec3 a, Vec3 b, double k) { return {a.x - k * b.x, a.y - k * b.y, a.z - k * b.z}; }
Vec3 mul(Vec3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
Vec3 add(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(Vec3 a) { return std::sqrt(dot(a, a)); }

struct Decomposed {
  Vec3 translation;
  double sx = 1, sy = 1, sz = 1;
  double kxy = 0, kxz = 0, kyz = 0;
  Vec3 r[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double p[4] = {0, 0, 0, 1};  // m14, m24, m34, m44
};

// A unit row orthogonal to the given ones, for degenerate (zero-scale) rows.
Vec3 fallbackRow(int index, const Vec3* earlier) {
  static const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  if (index == 2) return cross(earlier[0], earlier[1]);
  for (int i = 0; i < 3; ++i) {
    Vec3 v = axes[(index + i) % 3];
    for (int j = 0; j < index; ++j) v = sub(v, earlier[j], dot(v, earlier[j]));
    double len = length(v);
    if (len > 1e-9) return mul(v, 1 / len);
  }
  return axes[index];
}

Decomposed decompose(const Transform3D& m) {
  Decomposed d;
  d.translation = {m.m41, m.m42, m.m43};
  d.p[0] = m.m14, d.p[1] = m.m24, d.p[2] = m.m34, d.p[3] = m.m44;
  Vec3 a0{m.m11, m.m12, m.m13}, a1{m.m21, m.m22, m.m23}, a2{m.m31, m.m32, m.m33};
  d.sx = length(a0);
  d.r[0] = d.sx > 1e-12 ? mul(a0, 1 / d.sx) : fallbackRow(0, d.r);
  d.kxy = dot(d.r[0], a1);
  Vec3 b1 = sub(a1, d.r[0], d.kxy);
  d.sy = length(b1);
  d.r[1] = d.sy > 1e-12 ? mul(b1, 1 / d.sy) : fallbackRow(1, d.r);
  d.kxz = dot(d.r[0], a2);
  d.kyz = dot(d.r[1], a2);
  Vec3 b2 = sub(sub(a2, d.r[0], d.kxz), d.r[1], d.kyz);
  d.sz = length(b2);
  d.r[2] = d.sz > 1e-12 ? mul(b2, 1 / d.sz) : fallbackRow(2, d.r);
  if (dot(d.r[0], cross(d.r[1], d.r[2])) < 0) {
    // A mirror: fold it into the scales so the rows form a rotation.
    for (auto& row : d.r) row = mul(row, -1);
    d.sx = -d.sx, d.sy = -d.sy, d.sz = -d.sz;
    d.kxy = -d.kxy, d.kxz = -d.kxz, d.kyz = -d.kyz;
  }
  return d;
}

Transform3D recompose(const Decomposed& d) {
  Vec3 a0 = mul(d.r[0], d.sx);
  Vec3 a1 = add(mul(d.r[0], d.kxy), mul(d.r[1], d.sy));
  Vec3 a2 = add(add(mul(d.r[0], d.kxz), mul(d.r[1], d.kyz)), mul(d.r[2], d.sz));
  Transform3D m;
  m.m11 = a0.x, m.m12 = a0.y, m.m13 = a0.z, m.m14 = d.p[0];
  m.m21 = a1.x, m.m22 = a1.y, m.m23 = a1.z, m.m24 = d.p[1];
  m.m31 = a2.x, m.m32 = a2.y, m.m33 = a2.z, m.m34 = d.p[2];
  m.m41 = d.translation.x, m.m42 = d.translation.y, m.m43 = d.translation.z, m.m44 = d.p[3];
  return m;
}

struct Quaternion {
  double x = 0, y = 0, z = 0, w = 1;
};

// The rows r0..r2 act on row vectors; the usual column-vector rotation matrix is their transpose,
// c[i][j] = r[j][i].
Quaternion toQuaternion(const Vec3 r[3]) {
  auto c = [&](int i, int j) {
    const Vec3& row = r[j];
    return i == 0 ? row.x : i == 1 ? row.y : row.z;
  };
  Quaternion q;
  double tr = c(0, 0) + c(1, 1) + c(2, 2);
  if (tr > 0) {
    double s = std::sqrt(tr + 1) * 2;
    q = {(c(2, 1) - c(1, 2)) / s, (c(0, 2) - c(2, 0)) / s, (c(1, 0) - c(0, 1)) / s, 0.25 * s};
  } else if (c(0, 0) > c(1, 1) && c(0, 0) > c(2, 2)) {
    double s = std::sqrt(1 + c(0, 0) - c(1, 1) - c(2, 2)) * 2;
    q = {0.25 * s, (c(0, 1) + c(1, 0)) / s, (c(0, 2) + c(2, 0)) / s, (c(2, 1) - c(1, 2)) / s};
  } else if (c(1, 1) > c(2, 2)) {
    double s = std::sqrt(1 + c(1, 1) - c(0, 0) - c(2, 2)) * 2;
    q = {(c(0, 1) + c(1, 0)) / s, 0.25 * s, (c(1, 2) + c(2, 1)) / s, (c(0, 2) - c(2, 0)) / s};
  } else {
    double s = std::sqrt(1 + c(2, 2) - c(0, 0) - c(1, 1)) * 2;
    q = {(c(0, 2) + c(2, 0)) / s, (c(1, 2) + c(2, 1)) / s, 0.25 * s, (c(1, 0) - c(0, 1)) / s};
  }
  return q;
}

void fromQuaternion(const Quaternion& q, Vec3 r[3]) {
  double x = q.x, y = q.y, z = q.z, w = q.w;
  double c[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                    {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                    {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  for (int j = 0; j < 3; ++j) r[j] = {c[0][j], c[1][j], c[2][j]};
}

Quaternion slerp(Quaternion a, Quaternion b, double t) {
  double d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (d < 0) {
    b = {-b.x, -b.y, -b.z, -b.w};
    d = -d;
  }
  double wa, wb;
  if (d > 0.9995) {
    wa = 1 - t, wb = t;
  } else {
    double theta = std::acos(std::min(d, 1.0));
    double s = std::sin(theta);
    wa = std::sin((1 - t) * theta) / s, wb = std::sin(t * theta) / s;
  }
  Quaternion q{wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
  double len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (len > 0) q = {q.x / len, q.y / len, q.z / len, q.w / len};
  return q;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

Transform3D interpolateTransform(const Transform3D& from, const Transform3D& to, double t) {
  if (t <= 0) return from;
  if (t >= 1) return to;
  Decomposed a = decompose(from), b = decompose(to), r;
  r.translation = {lerp(a.translation.x, b.translation.x, t), lerp(a.translation.y, b.translation.y, t),
                   lerp(a.translation.z, b.translation.z, t)};
  r.sx = lerp(a.sx, b.sx, t), r.sy = lerp(a.sy, b.sy, t), r.sz = lerp(a.sz, b.sz, t);
  r.kxy = lerp(a.kxy, b.kxy, t), r.kxz = lerp(a.kxz, b.kxz, t), r.kyz = lerp(a.kyz, b.kyz, t);
  for (int i = 0; i < 4; ++i) r.p[i] = lerp(a.p[i], b.p[i], t);
  fromQuaternion(slerp(toQuaternion(a.r), toQuaternion(b.r), t), r.r);
  return recompose(r);
}

// Euler angles of a rotation built as Rx(ax) then Ry(ay) then Rz(az).
struct Euler {
  double x = 0, y = 0, z = 0;
};

Euler eulerOf(const Vec3 r[3]) {
  Euler e;
  e.y = std::asin(std::clamp(-r[0].z, -1.0, 1.0));
  if (std::fabs(std::cos(e.y)) > 1e-9) {
    e.z = std::atan2(r[0].y, r[0].x);
    e.x = std::atan2(r[1].z, r[2].z);
  } else {
    e.z = 0;
    e.x = std::atan2(-r[2].y, r[1].y);
  }
  return e;
}

void rowsFromEuler(const Euler& e, Vec3 r[3]) {
  Transform3D m = Transform3D::rotation(e.x, 1, 0, 0)
                      .concat(Transform3D::rotation(e.y, 0, 1, 0))
                      .concat(Transform3D::rotation(e.z, 0, 0, 1));
  r[0] = {m.m11, m.m12, m.m13};
  r[1] = {m.m21, m.m22, m.m23};
  r[2] = {m.m31, m.m32, m.m33};
}

// ---- Value arithmetic ----------------------------------------------------------------------

Color lerpColor(const Color& a, const Color& b, double t) {
  return Color(lerp(a.r(), b.r(), t), lerp(a.g(), b.g(), t), lerp(a.b(), b.b(), t), lerp(a.a(), b.a(), t));
}

template <class F>
std::optional<AnimValue> componentwise(const AnimValue& a, const AnimValue& b, F f) {
  if (a.index() != b.index()) return std::nullopt;
  if (auto x = std::get_if<double>(&a)) return AnimValue(f(*x, std::get<double>(b)));
  if (auto x = std::get_if<Point>(&a)) {
    const Point& y = std::get<Point>(b);
    return AnimValue(Point{f(x->x, y.x), f(x->y, y.y)});
  }
  if (auto x = std::get_if<Size>(&a)) {
    const Size& y = std::get<Size>(b);
    return AnimValue(Size{f(x->width, y.width), f(x->height, y.height)});
  }
  if (auto x = std::get_if<Rect>(&a)) {
    const Rect& y = std::get<Rect>(b);
    return AnimValue(Rect(f(x->x(), y.x()), f(x->y(), y.y()), f(x->width(), y.width()), f(x->height(), y.height())));
  }
  if (auto x = std::get_if<Color>(&a)) {
    const Color& y = std::get<Color>(b);
    return AnimValue(Color(f(x->r(), y.r()), f(x->g(), y.g()), f(x->b(), y.b()), f(x->a(), y.a())));
  }
  return std::nullopt;
}

}  // namespace

std::optional<AnimValue> interpolateValues(const AnimValue& from, const AnimValue& to, double t) {
  if (from.index() != to.index()) return std::nullopt;
  if (auto x = std::get_if<Transform3D>(&from)) return AnimValue(interpolateTransform(*x, std::get<Transform3D>(to), t));
  if (auto x = std::get_if<Color>(&from)) return AnimValue(lerpColor(*x, std::get<Color>(to), t));
  return componentwise(from, to, [t](double a, double b) { return lerp(a, b, t); });
}

std::optional<AnimValue> addValues(const AnimValue& a, const AnimValue& b) {
  if (a.index() != b.index()) return std::nullopt;
  if (auto x = std::get_if<Transform3D>(&a)) return AnimValue(std::get<Transform3D>(b).concat(*x));
  return componentwise(a, b, [](double x, double y) { return x + y; });
}

std::optional<AnimValue> subtractValues(const AnimValue& a, const AnimValue& b) {
  if (a.index() != b.index()) return std::nullopt;
  if (auto x = std::get_if<Transform3D>(&a)) return AnimValue(std::get<Transform3D>(b).inverted().concat(*x));
  return componentwise(a, b, [](double x, double y) { return x - y; });
}

std::optional<AnimValue> addScaledValue(const AnimValue& a, const AnimValue& b, double k) {
  if (a.index() != b.index()) return std::nullopt;
  if (auto x = std::get_if<Transform3D>(&a)) {
    Transform3D r = *x;
    const Transform3D& step = std::get<Transform3D>(b);
    for (int i = 0; i < static_cast<int>(k); ++i) r = step.concat(r);
    return AnimValue(r);
  }
  return componentwise(a, b, [k](double x, double y) { return x + y * k; });
}

// ---- Key paths -----------------------------------------------------------------------------

namespace {

std::vector<std::string_view> splitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t dot = path.find('.', start);
    parts.push_back(path.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

using Parts = std::vector<std::string_view>;

std::optional<AnimValue> subGet(const AnimValue& v, const Parts& parts, size_t i) {
  if (i == parts.size()) return v;
  std::string_view k = parts[i];
  bool last = i + 1 == parts.size();
  if (auto p = std::get_if<Point>(&v)) {
    if (!last) return std::nullopt;
    if (k == "x") return AnimValue(p->x);
    if (k == "y") return AnimValue(p->y);
    return std::nullopt;
  }
  if (auto s = std::get_if<Size>(&v)) {
    if (!last) return std::nullopt;
    if (k == "width") return AnimValue(s->width);
    if (k == "height") return AnimValue(s->height);
    return std::nullopt;
  }
  if (auto r = std::get_if<Rect>(&v)) {
    if (k == "origin") return subGet(AnimValue(r->origin), parts, i + 1);
    if (k == "size") return subGet(AnimValue(r->size), parts, i + 1);
    return std::nullopt;
  }
  if (auto m = std::get_if<Transform3D>(&v)) {
    std::string_view axis = last ? std::string_view() : parts[i + 1];
    if (i + 2 < parts.size()) return std::nullopt;
    if (k == "translation") {
      if (axis.empty()) return AnimValue(Size{m->m41, m->m42});
      if (axis == "x") return AnimValue(m->m41);
      if (axis == "y") return AnimValue(m->m42);
      if (axis == "z") return AnimValue(m->m43);
      return std::nullopt;
    }
    Decomposed d = decompose(*m);
    if (k == "scale") {
      if (axis.empty()) return AnimValue((d.sx + d.sy + d.sz) / 3);
      if (axis == "x") return AnimValue(d.sx);
      if (axis == "y") return AnimValue(d.sy);
      if (axis == "z") return AnimValue(d.sz);
      return std::nullopt;
    }
    if (k == "rotation") {
      Euler e = eulerOf(d.r);
      if (axis.empty() || axis == "z") return AnimValue(e.z);
      if (axis == "x") return AnimValue(e.x);
      if (axis == "y") return AnimValue(e.y);
      return std::nullopt;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

bool subSet(AnimValue& v, const Parts& parts, size_t i, const AnimValue& value) {
  if (i == parts.size()) {
    if (value.index() == v.index()) {
      v = value;
      return true;
    }
    // A number for a transform (0 by convention) sets the identity.
    if (std::holds_alternative<Transform3D>(v) && std::holds_alternative<double>(value)) {
      v = Transform3D::identity();
      return true;
    }
    return false;
  }
  std::string_view k = parts[i];
  bool last = i + 1 == parts.size();
  const double* num = std::get_if<double>(&value);
  if (auto p = std::get_if<Point>(&v)) {
    if (!last || !num) return false;
    if (k == "x") p->x = *num;
    else if (k == "y") p->y = *num;
    else return false;
    return true;
  }
  if (auto s = std::get_if<Size>(&v)) {
    if (!last || !num) return false;
    if (k == "width") s->width = *num;
    else if (k == "height") s->height = *num;
    else return false;
    return true;
  }
  if (auto r = std::get_if<Rect>(&v)) {
    if (k == "origin") {
      AnimValue o(r->origin);
      if (!subSet(o, parts, i + 1, value)) return false;
      r->origin = std::get<Point>(o);
      return true;
    }
    if (k == "size") {
      AnimValue s(r->size);
      if (!subSet(s, parts, i + 1, value)) return false;
      r->size = std::get<Size>(s);
      return true;
    }
    return false;
  }
  if (auto m = std::get_if<Transform3D>(&v)) {
    std::string_view axis = last ? std::string_view() : parts[i + 1];
    if (i + 2 < parts.size()) return false;
    if (k == "translation") {
      if (axis.empty()) {
        auto s = std::get_if<Size>(&value);
        if (!s) return false;
        m->m41 = s->width, m->m42 = s->height;
        return true;
      }
      if (!num) return false;
      if (axis == "x") m->m41 = *num;
      else if (axis == "y") m->m42 = *num;
      else if (axis == "z") m->m43 = *num;
      else return false;
      return true;
    }
    if (!num) return false;
    Decomposed d = decompose(*m);
    if (k == "scale") {
      if (axis.empty()) {
        d.kxy *= d.sy != 0 ? *num / d.sy : 0;
        d.kxz *= d.sz != 0 ? *num / d.sz : 0;
        d.kyz *= d.sz != 0 ? *num / d.sz : 0;
        d.sx = d.sy = d.sz = *num;
      } else if (axis == "x") {
        d.sx = *num;
      } else if (axis == "y") {
        d.kxy *= d.sy != 0 ? *num / d.sy : 0;
        d.sy = *num;
      } else if (axis == "z") {
        d.sz = *num;
      } else {
        return false;
      }
      *m = recompose(d);
      return true;
    }
    if (k == "rotation") {
      Euler e = eulerOf(d.r);
      if (axis.empty() || axis == "z") e.z = *num;
      else if (axis == "x") e.x = *num;
      else if (axis == "y") e.y = *num;
      else return false;
      rowsFromEuler(e, d.r);
      *m = recompose(d);
      return true;
    }
    return false;
  }
  return false;
}

AnimValue colorValue(const std::optional<Color>& c) { return c ? AnimValue(*c) : AnimValue(Color::clear()); }

std::optional<AnimValue> rootGet(const LayerState& s, std::string_view k) {
  if (k == "position") return AnimValue(s.position);
  if (k == "bounds") return AnimValue(s.bounds);
  if (k == "anchorPoint") return AnimValue(s.anchorPoint);
  if (k == "zPosition") return AnimValue(s.zPosition);
  if (k == "transform") return AnimValue(s.transform);
  if (k == "sublayerTransform") return AnimValue(s.sublayerTransform);
  if (k == "opacity") return AnimValue(s.opacity);
  if (k == "backgroundColor") return colorValue(s.backgroundColor);
  if (k == "cornerRadius") return AnimValue(s.cornerRadius);
  if (k == "borderWidth") return AnimValue(s.borderWidth);
  if (k == "borderColor") return AnimValue(s.borderColor);
  if (k == "shadowColor") return AnimValue(s.shadowColor);
  if (k == "shadowOpacity") return AnimValue(s.shadowOpacity);
  if (k == "shadowOffset") return AnimValue(s.shadowOffset);
  if (k == "shadowRadius") return AnimValue(s.shadowRadius);
  if (k == "contentsScale") return AnimValue(s.contentsScale);
  if (k == "strokeStart") return AnimValue(s.strokeStart);
  if (k == "strokeEnd") return AnimValue(s.strokeEnd);
  if (k == "lineWidth") return AnimValue(s.lineWidth);
  if (k == "lineDashPhase") return AnimValue(s.lineDashPhase);
  if (k == "fillColor") return colorValue(s.fillColor);
  if (k == "strokeColor") return colorValue(s.strokeColor);
  if (k == "startPoint") return AnimValue(s.startPoint);
  if (k == "endPoint") return AnimValue(s.endPoint);
  return std::nullopt;
}

template <class T>
bool assign(T& field, const AnimValue& v) {
  if (auto x = std::get_if<T>(&v)) {
    field = *x;
    return true;
  }
  return false;
}

bool assignColor(std::optional<Color>& field, const AnimValue& v) {
  if (auto x = std::get_if<Color>(&v)) {
    field = *x;
    return true;
  }
  return false;
}

bool rootSet(LayerState& s, std::string_view k, const AnimValue& v) {
  if (k == "position") return assign(s.position, v);
  if (k == "bounds") return assign(s.bounds, v);
  if (k == "anchorPoint") return assign(s.anchorPoint, v);
  if (k == "zPosition") return assign(s.zPosition, v);
  if (k == "transform") return assign(s.transform, v);
  if (k == "sublayerTransform") return assign(s.sublayerTransform, v);
  if (k == "opacity") return assign(s.opacity, v);
  if (k == "backgroundColor") return assignColor(s.backgroundColor, v);
  if (k == "cornerRadius") return assign(s.cornerRadius, v);
  if (k == "borderWidth") return assign(s.borderWidth, v);
  if (k == "borderColor") return assign(s.borderColor, v);
  if (k == "shadowColor") return assign(s.shadowColor, v);
  if (k == "shadowOpacity") return assign(s.shadowOpacity, v);
  if (k == "shadowOffset") return assign(s.shadowOffset, v);
  if (k == "shadowRadius") return assign(s.shadowRadius, v);
  if (k == "contentsScale") return assign(s.contentsScale, v);
  if (k == "strokeStart") return assign(s.strokeStart, v);
  if (k == "strokeEnd") return assign(s.strokeEnd, v);
  if (k == "lineWidth") return assign(s.lineWidth, v);
  if (k == "lineDashPhase") return assign(s.lineDashPhase, v);
  if (k == "fillColor") return assignColor(s.fillColor, v);
  if (k == "strokeColor") return assignColor(s.strokeColor, v);
  if (k == "startPoint") return assign(s.startPoint, v);
  if (k == "endPoint") return assign(s.endPoint, v);
  return false;
}

}  // namespace

std::optional<AnimValue> stateValueForKeyPath(const LayerState& state, const std::string& keyPath) {
  Parts parts = splitPath(keyPath);
  auto root = rootGet(state, parts[0]);
  if (!root) return std::nullopt;
  return subGet(*root, parts, 1);
}

bool setStateValueForKeyPath(LayerState& state, const std::string& keyPath, const AnimValue& value) {
  Parts parts = splitPath(keyPath);
  auto root = rootGet(state, parts[0]);
  if (!root) return false;
  if (!subSet(*root, parts, 1, value)) return false;
  return rootSet(state, parts[0], *root);
}

// ---- Timing --------------------------------------------------------------------------------

std::shared_ptr<Animation> Animation::noAction() {
  static const std::shared_ptr<Animation> none = std::make_shared<Animation>();
  return none;
}

std::shared_ptr<Animation> Animation::copy() const { return std::make_shared<Animation>(*this); }

double Animation::simpleDuration(double inherited) const {
  if (duration > 0 && std::isfinite(duration)) return duration;
  return inherited > 0 ? inherited : 0.25;
}

double Animation::activeDuration(double inherited) const {
  double d = simpleDuration(inherited);
  double local;
  if (repeatDuration > 0) {
    local = repeatDuration;
  } else {
    double count = repeatCount > 0 ? static_cast<double>(repeatCount) : 1.0;
    if (!std::isfinite(count) || count >= FLT_MAX) return INFINITY;
    local = d * count * (autoreverses ? 2 : 1);
  }
  if (!(speed > 0) || !std::isfinite(local)) return INFINITY;
  return local / speed;
}

std::optional<Animation::Progress> Animation::progressAt(double parentTime, double inherited, bool holdEnd) const {
  const double d = simpleDuration(inherited);
  const double active = activeDuration(inherited);
  const double activeLocal = std::isfinite(active) ? active * speed : INFINITY;
  const bool backwards = fillMode == FillMode::Backwards || fillMode == FillMode::Both;
  const bool forwards = holdEnd || fillMode == FillMode::Forwards || fillMode == FillMode::Both;
  const double elapsed = parentTime - beginTime;
  double local;
  bool atEnd = false;
  if (elapsed < 0) {
    if (!backwards) return std::nullopt;
    local = 0;
  } else if (elapsed >= active) {
    if (!forwards) return std::nullopt;
    local = activeLocal;
    atEnd = true;
  } else {
    local = speed > 0 ? elapsed * speed : 0;
  }
  double t = local;
  if (!atEnd) {
    t += timeOffset;
    if (std::isfinite(activeLocal) && activeLocal > 0) t = std::fmod(t, activeLocal);
    if (t < 0) t = 0;
  }
  const double period = d * (autoreverses ? 2 : 1);
  double iterations = std::floor(t / period);
  double within = t - iterations * period;
  if (atEnd && within <= period * 1e-9 && t > 0) {
    iterations -= 1;
    within = period;
  }
  if (autoreverses && within > d) within = 2 * d - within;
  Progress p;
  p.fraction = std::clamp(within / d, 0.0, 1.0);
  p.iteration = static_cast<int>(std::clamp(iterations, 0.0, 1e9));
  if (timingFunction) p.fraction = timingFunction->evaluate(p.fraction);
  return p;
}

void Animation::applyAt(LayerState&, double, double, bool) const {}

// ---- Property animations -------------------------------------------------------------------

std::shared_ptr<Animation> PropertyAnimation::copy() const { return std::make_shared<PropertyAnimation>(*this); }

std::optional<AnimValue> PropertyAnimation::valueAt(double, int, const AnimValue&) const { return std::nullopt; }

void PropertyAnimation::applyAt(LayerState& state, double parentTime, double inherited, bool holdEnd) const {
  auto progress = progressAt(parentTime, inherited, holdEnd);
  if (!progress) return;
  auto underlying = stateValueForKeyPath(state, keyPath);
  if (!underlying) return;
  auto value = valueAt(progress->fraction, progress->iteration, *underlying);
  if (!value) return;
  if (additive) {
    value = addValues(*underlying, *value);
    if (!value) return;
  }
  setStateValueForKeyPath(state, keyPath, *value);
}

std::shared_ptr<BasicAnimation> BasicAnimation::withKeyPath(std::string keyPath) {
  auto a = std::make_shared<BasicAnimation>();
  a->keyPath = std::move(keyPath);
  return a;
}

std::shared_ptr<Animation> BasicAnimation::copy() const { return std::make_shared<BasicAnimation>(*this); }

std::optional<AnimValue> BasicAnimation::valueAt(double fraction, int iteration, const AnimValue& underlying) const {
  // Additive animations measure the missing ends from zero (the underlying value is added later).
  std::optional<AnimValue> base = underlying;
  if (additive) base = subtractValues(underlying, underlying);
  if (!base) return std::nullopt;
  std::optional<AnimValue> from, to;
  if (fromValue && toValue) {
    from = fromValue, to = toValue;
  } else if (fromValue && byValue) {
    from = fromValue, to = addValues(*fromValue, *byValue);
  } else if (byValue && toValue) {
    from = subtractValues(*toValue, *byValue), to = toValue;
  } else if (fromValue) {
    from = fromValue, to = base;
  } else if (toValue) {
    from = base, to = toValue;
  } else if (byValue) {
    from = base, to = addValues(*base, *byValue);
  } else {
    return std::nullopt;
  }
  if (!from || !to) return std::nullopt;
  auto value = interpolateValues(*from, *to, fraction);
  if (value && cumulative && iteration > 0) {
    if (auto step = subtractValues(*to, *from)) value = addScaledValue(*value, *step, iteration);
  }
  return value;
}

// ---- Keyframes -----------------------------------------------------------------------------

namespace {

// The point `fraction` of the way along the path, by length.
std::optional<Point> pointAlong(const Path& path, double fraction) {
  std::vector<std::pair<Point, Point>> segments;
  Point current, start;
  for (const auto& e : path.elements()) {
    switch (e.type) {
      case Path::ElementType::MoveTo:
        current = start = e.points[0];
        break;
      case Path::ElementType::LineTo:
        segments.push_back({current, e.points[0]});
        current = e.points[0];
        break;
      case Path::ElementType::QuadCurveTo:
      case Path::ElementType::CurveTo: {
        bool quad = e.type == Path::ElementType::QuadCurveTo;
        Point p0 = current, c1 = e.points[0], c2 = quad ? e.points[0] : e.points[1], p3 = quad ? e.points[1] : e.points[2];
        if (quad) {
          // The quadratic as a cubic.
          c1 = {p0.x + 2.0 / 3 * (e.points[0].x - p0.x), p0.y + 2.0 / 3 * (e.points[0].y - p0.y)};
          c2 = {p3.x + 2.0 / 3 * (e.points[0].x - p3.x), p3.y + 2.0 / 3 * (e.points[0].y - p3.y)};
        }
        const int steps = 24;
        Point prev = p0;
        for (int i = 1; i <= steps; ++i) {
          double s = static_cast<double>(i) / steps, u = 1 - s;
          Point q{u * u * u * p0.x + 3 * u * u * s * c1.x + 3 * u * s * s * c2.x + s * s * s * p3.x,
                  u * u * u * p0.y + 3 * u * u * s * c1.y + 3 * u * s * s * c2.y + s * s * s * p3.y};
          segments.push_back({prev, q});
          prev = q;
        }
        current = p3;
        break;
      }
      case Path::ElementType::Close:
        segments.push_back({current, start});
        current = start;
        break;
    }
  }
  if (segments.empty()) {
    if (path.isEmpty()) return std::nullopt;
    return current;
  }
  double total = 0;
  for (const auto& [a, b] : segments) total += std::hypot(b.x - a.x, b.y - a.y);
  double target = std::clamp(fraction, 0.0, 1.0) * total;
  for (const auto& [a, b] : segments) {
    double len = std::hypot(b.x - a.x, b.y - a.y);
    if (target <= len && len > 0) {
      double k = target / len;
      return Point{a.x + (b.x - a.x) * k, a.y + (b.y - a.y) * k};
    }
    target -= len;
  }
  return segments.back().second;
}

}  // namespace

std::shared_ptr<KeyframeAnimation> KeyframeAnimation::withKeyPath(std::string keyPath) {
  auto a = std::make_shared<KeyframeAnimation>();
  a->keyPath = std::move(keyPath);
  return a;
}

std::shared_ptr<Animation> KeyframeAnimation::copy() const { return std::make_shared<KeyframeAnimation>(*this); }

std::optional<AnimValue> KeyframeAnimation::valueAt(double fraction, int iteration, const AnimValue&) const {
  if (path) {
    auto p = pointAlong(*path, fraction);
    if (!p) return std::nullopt;
    return AnimValue(*p);
  }
  const size_t n = values.size();
  if (n == 0) return std::nullopt;
  std::optional<AnimValue> value;
  if (n == 1) {
    value = values[0];
  } else {
    std::vector<double> times = keyTimes;
    if (times.size() != n) {
      times.resize(n);
      for (size_t i = 0; i < n; ++i) times[i] = static_cast<double>(i) / static_cast<double>(n - 1);
    }
    if (fraction <= times[0]) {
      value = values[0];
    } else if (fraction >= times[n - 1]) {
      value = values[n - 1];
    } else {
      size_t i = 0;
      while (i + 2 < n && fraction >= times[i + 1]) ++i;
      double span = times[i + 1] - times[i];
      double local = span > 0 ? (fraction - times[i]) / span : 1;
      if (i < timingFunctions.size()) local = timingFunctions[i].evaluate(local);
      value = interpolateValues(values[i], values[i + 1], local);
    }
  }
  if (value && cumulative && iteration > 0) {
    if (auto step = subtractValues(values[n - 1], values[0])) value = addScaledValue(*value, *step, iteration);
  }
  return value;
}

// ---- Groups and transitions ----------------------------------------------------------------

std::shared_ptr<AnimationGroup> AnimationGroup::make() { return std::make_shared<AnimationGroup>(); }

std::shared_ptr<Animation> AnimationGroup::copy() const {
  auto g = std::make_shared<AnimationGroup>(*this);
  for (auto& child : g->animations)
    if (child) child = child->copy();
  return g;
}

void AnimationGroup::applyAt(LayerState& state, double parentTime, double inherited, bool holdEnd) const {
  auto progress = progressAt(parentTime, inherited, holdEnd);
  if (!progress) return;
  const double d = simpleDuration(inherited);
  const double local = progress->fraction * d;
  // After the group's end its children hold their end values as the group does.
  const bool holdChildren = parentTime - beginTime >= activeDuration(inherited);
  for (const auto& child : animations)
    if (child) child->applyAt(state, local, d, holdChildren);
}

std::shared_ptr<TransitionAnimation> TransitionAnimation::make(Type type) {
  auto t = std::make_shared<TransitionAnimation>();
  t->type = type;
  return t;
}

std::shared_ptr<Animation> TransitionAnimation::copy() const { return std::make_shared<TransitionAnimation>(*this); }

}  // namespace gfx
