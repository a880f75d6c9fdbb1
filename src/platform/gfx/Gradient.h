#pragma once

#include <optional>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

typedef struct _cairo_pattern cairo_pattern_t;

namespace gfx {

// Whether a gradient also paints beyond its ends with the end colours: before the start point (or
// inside the start circle) and after the end point (or outside the end circle).
enum GradientDrawingOptions : unsigned {
  GradientDrawsBeforeStart = 1 << 0,
  GradientDrawsAfterEnd = 1 << 1,
};

// Colour stops along 0..1, kept sorted by location (stops at equal locations keep their order).
class Gradient {
 public:
  struct Stop {
    double location = 0;
    Color color;
    friend bool operator==(const Stop&, const Stop&) = default;
  };

  // Colours with their locations (clamped to 0..1), in any order; without locations the stops are spread evenly
  // from 0 to 1 (a single colour sits at 0). nullopt when there is no colour, when the lists
  // differ in length or when a location is not a number. Pattern colours count as their black.
  static std::optional<Gradient> withColors(const std::vector<Color>& colors,
                                            const std::vector<double>& locations = {});
  // `count` colours as r, g, b, a quadruples (0..1), with `count` locations or none.
  static std::optional<Gradient> withComponents(const double* rgba, const double* locations, size_t count);

  const std::vector<Stop>& stops() const { return m_stops; }
  // The colour at `location` (clamped to 0..1), interpolated between its neighbouring stops with
  // straight alpha.
  Color colorAt(double location) const;

  // Cairo patterns for drawing (the caller owns the result). Parts not painted because of the
  // options are transparent.
  cairo_pattern_t* linearPattern(Point start, Point end, unsigned options) const;
  cairo_pattern_t* radialPattern(Point startCenter, double startRadius, Point endCenter, double endRadius,
                                 unsigned options) const;

 private:
  void addStops(cairo_pattern_t* pattern, unsigned options) const;
  std::vector<Stop> m_stops;
};

}  // namespace gfx
