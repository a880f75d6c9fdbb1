#pragma once

#include <algorithm>
#include <cmath>

#include "platform/gfx/Geometry.h"

// The one rule that puts drawing on whole device pixels. Everything sized or placed in pixels
// (a layer's bitmap, the compositor's surface, the window's picture, a layer's edges on screen)
// goes through it, so that a frame drawn at a scale has exactly the picture's pixels and two
// layers that share an edge in points share it in pixels.
namespace gfx {

// Where an edge at `position` (device pixels from the frame's origin) lands: on the pixel
// boundary at or after it. A millionth of a pixel below a boundary counts as on it, so that the
// rounding error of points times a scale never adds a pixel.
inline double pixelEdge(double position) { return std::ceil(position - 1e-6); }

// The pixel boundary at or before `position`, a millionth of a pixel above one counting as on
// it: where the pixels a length covers wholly end.
inline double pixelEdgeBefore(double position) { return std::floor(position + 1e-6); }

// The pixels `points` take at `scale` from a whole pixel: the far edge's pixel boundary, so that
// the last, partly covered pixel is one of them.
inline double pixelLength(double points, double scale) { return pixelEdge(points * scale); }

// A rectangle of device pixels with each edge put on its pixel boundary; a length of 1/scale
// points covers exactly one pixel wherever it starts.
inline Rect pixelAligned(const Rect& device) {
  if (device.isNull()) return device;
  const double x1 = pixelEdge(device.minX()), y1 = pixelEdge(device.minY());
  const double x2 = pixelEdge(device.maxX()), y2 = pixelEdge(device.maxY());
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

// The largest scale, at most `most`, at which `points` take (by pixelLength) at least one pixel a
// side, no more than `maxSide` a side and no more than `maxPixels` in all: `most` itself when it
// fits, else the largest step of 1/64 below the limits that does (a finer step below 1/64). 0 when
// none does. Bitmaps too large at their scale and the compositor's largest frame search alike.
inline double largestFittingScale(Size points, double most, double maxSide, double maxPixels) {
  if (!(points.width > 0) || !(points.height > 0) || !std::isfinite(points.width) || !std::isfinite(points.height) ||
      !(most > 0))
    return 0;
  auto fits = [&](double k) {
    const double pw = pixelLength(points.width, k), ph = pixelLength(points.height, k);
    return pw >= 1 && ph >= 1 && pw <= maxSide && ph <= maxSide && pw * ph <= maxPixels;
  };
  if (std::isfinite(most) && fits(most)) return most;
  double k = std::min({most, maxSide / points.width, maxSide / points.height, std::sqrt(maxPixels / points.width / points.height)});
  if (!(k > 0) || !std::isfinite(k)) return 0;
  const double step = k >= 1.0 / 64 ? 1.0 / 64 : k / 64;
  k = std::floor(k / step) * step;
  // Each side rounded up to whole pixels can still take a pixel too many.
  for (int i = 0; i < 64 && k > 0 && !fits(k); ++i) k -= step;
  return k > 0 && fits(k) ? k : 0;
}

}  // namespace gfx
