#pragma once

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

}  // namespace gfx
