#pragma once

// Pictures made in code for the image library's tests.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"

namespace testimages {

// A still image of one colour (premultiplied ARGB).
std::shared_ptr<gfx::Image> solid(int width, int height, uint32_t argb, double scale = 1);
// Opaque, three vertical bands: red up to a quarter of the width, green to three quarters, then blue.
std::shared_ptr<gfx::Image> bands(int width, int height);

// JPEG bytes of an opaque image, and the same with an APP1 Exif segment (orientation tag
// 0x0112, big-endian "MM" or little-endian "II") right after the start-of-image marker.
std::string jpeg(int width, int height);
std::string withExifOrientation(const std::string& jpeg, int orientation, bool littleEndian = false);

// A GIF of `delays.size()` frames (delays in hundredths of a second), each frame of one palette
// colour; the frame i of a 2-colour-per-row pattern when `bands` is set (as bands() above).
std::string gif(int width, int height, const std::vector<int>& delays, bool bandsPattern = false);

}  // namespace testimages
