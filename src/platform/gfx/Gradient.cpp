#include "platform/gfx/Gradient.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace gfx {

std::optional<Gradient> Gradient::withColors(const std::vector<Color>& colors, const std::vector<double>& locations) {
  if (colors.empty()) return std::nullopt;
  if (!locations.empty() && locations.size() != colors.size()) return std::nullopt;
  Gradient g;
  for (size_t i = 0; i < colors.size(); ++i) {
    double loc = 0;
    if (!locations.empty()) {
      if (!std::isfinite(locations[i])) return std::nullopt;
      loc = std::clamp(locations[i], 0.0, 1.0);
    } else if (colors.size() > 1) {
      loc = double(i) / double(colors.size() - 1);
    }
    g.m_stops.push_back({loc, colors[i]});
  }
  std::stable_sort(g.m_stops.begin(), g.m_stops.end(),
                   [](const Stop& a, const Stop& b) { return a.location < b.location; });
  return g;
}

std::optional<Gradient> Gradient::withComponents(const double* rgba, const double* locations, size_t count) {
  if (!rgba || count == 0) return std::nullopt;
  std::vector<Color> colors;
  std::vector<double> locs;
  for (size_t i = 0; i < count; ++i) {
    colors.emplace_back(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]);
    if (locations) locs.push_back(locations[i]);
  }
  return withColors(colors, locs);
}

Color Gradient::colorAt(double location) const {
  double t = std::clamp(location, 0.0, 1.0);
  if (t <= m_stops.front().location) return m_stops.front().color;
  if (t >= m_stops.back().location) return m_stops.back().color;
  for (size_t i = 1; i < m_stops.size(); ++i) {
    const Stop& a = m_stops[i - 1];
    const Stop& b = m_stops[i];
    if (t <= b.location) {
      double span = b.location - a.location;
      double f = span > 0 ? (t - a.location) / span : 1;
      return Color(a.color.r() + (b.color.r() - a.color.r()) * f, a.color.g() + (b.color.g() - a.color.g()) * f,
                   a.color.b() + (b.color.b() - a.color.b()) * f, a.color.a() + (b.color.a() - a.color.a()) * f);
    }
  }
  return m_stops.back().color;
}

namespace {

void addStop(cairo_pattern_t* p, double loc, const Color& c) {
  cairo_pattern_add_color_stop_rgba(p, loc, c.r(), c.g(), c.b(), c.a());
}

}  // namespace

void Gradient::addStops(cairo_pattern_t* pattern, unsigned options) const {
  const Stop& first = m_stops.front();
  const Stop& last = m_stops.back();
  if (!(options & GradientDrawsBeforeStart)) {
    addStop(pattern, 0, Color::clear());
    addStop(pattern, 0, first.color);
  }
  // Cairo interpolates straight (not premultiplied) colour between stops, as we do.
  for (const Stop& s : m_stops) addStop(pattern, s.location, s.color);
  if (!(options & GradientDrawsAfterEnd)) {
    addStop(pattern, 1, last.color);
    addStop(pattern, 1, Color::clear());
  }
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
}

cairo_pattern_t* Gradient::linearPattern(Point start, Point end, unsigned options) const {
  cairo_pattern_t* p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  addStops(p, options);
  return p;
}

cairo_pattern_t* Gradient::radialPattern(Point startCenter, double startRadius, Point endCenter, double endRadius,
                                         unsigned options) const {
  cairo_pattern_t* p = cairo_pattern_create_radial(startCenter.x, startCenter.y, std::max(0.0, startRadius),
                                                   endCenter.x, endCenter.y, std::max(0.0, endRadius));
  addStops(p, options);
  return p;
}

}  // namespace gfx
