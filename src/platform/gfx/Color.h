#pragma once

#include <memory>

namespace gfx {

class Image;

// A colour with straight (not premultiplied) alpha, components 0..1; or a pattern that tiles an image.
class Color {
 public:
  Color() = default;
  Color(double r, double g, double b, double a = 1.0) : m_r(r), m_g(g), m_b(b), m_a(a) {}

  static Color rgba(double r, double g, double b, double a = 1.0) { return Color(r, g, b, a); }
  static Color white(double w, double a = 1.0) { return Color(w, w, w, a); }
  static Color patternImage(std::shared_ptr<const Image> image);

  static Color clear() { return Color(0, 0, 0, 0); }
  static Color black() { return Color(0, 0, 0, 1); }
  static Color whiteColor() { return Color(1, 1, 1, 1); }
  static Color red() { return Color(1, 0, 0, 1); }
  static Color green() { return Color(0, 1, 0, 1); }
  static Color blue() { return Color(0, 0, 1, 1); }
  static Color gray() { return Color(0.5, 0.5, 0.5, 1); }
  static Color lightGray() { return Color(2.0 / 3, 2.0 / 3, 2.0 / 3, 1); }
  static Color darkGray() { return Color(1.0 / 3, 1.0 / 3, 1.0 / 3, 1); }

  double r() const { return m_r; }
  double g() const { return m_g; }
  double b() const { return m_b; }
  double a() const { return m_a; }
  Color withAlpha(double a) const {
    Color c = *this;
    c.m_a = a;
    return c;
  }

  // Pattern colours tile their image; their r, g, b, a are those of black, alpha 1.
  bool isPattern() const { return m_pattern != nullptr; }
  const std::shared_ptr<const Image>& pattern() const { return m_pattern; }

  friend bool operator==(const Color& x, const Color& y) {
    return x.m_r == y.m_r && x.m_g == y.m_g && x.m_b == y.m_b && x.m_a == y.m_a && x.m_pattern == y.m_pattern;
  }

 private:
  double m_r = 0, m_g = 0, m_b = 0, m_a = 0;
  std::shared_ptr<const Image> m_pattern;
};

inline Color Color::patternImage(std::shared_ptr<const Image> image) {
  Color c(0, 0, 0, 1);
  c.m_pattern = std::move(image);
  return c;
}

}  // namespace gfx
