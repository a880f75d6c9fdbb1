#pragma once

#include <cstdint>
#include <vector>

#include "platform/gfx/Geometry.h"

namespace support {

// A stretch of a row of a picture, in points, where the colour is dark.
struct InkRun {
  double from = 0;
  double to = 0;  // the last dark sample
};

// The dark stretches of the row at `y` from `fromX` to `toX`, sampled every half point (a pixel
// at scale 2). `colorAt` gives the 0xAARRGGBB colour at a point; dark is every colour channel
// below `threshold`. Dots or glyphs drawn in a dark colour on a light ground each make one run
// along a line through their middles.
template <class ColorAt>
std::vector<InkRun> darkRuns(ColorAt colorAt, double y, double fromX, double toX, int threshold = 0x70) {
  std::vector<InkRun> runs;
  bool inside = false;
  for (double x = fromX; x < toX; x += 0.5) {
    const uint32_t c = colorAt(gfx::Point{x, y});
    const bool dark = int((c >> 16) & 0xFF) < threshold && int((c >> 8) & 0xFF) < threshold &&
                      int(c & 0xFF) < threshold && (c >> 24) != 0;
    if (dark && !inside) runs.push_back({x, x});
    if (dark) runs.back().to = x;
    inside = dark;
  }
  return runs;
}

}  // namespace support
