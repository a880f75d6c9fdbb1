#pragma once

#include <memory>
#include <optional>
#include <string_view>

namespace gfx {
class Image;
}

// Reading an image whose bytes have only partly arrived, for the partial images of a
// progressive download.
namespace kt::PartialImage {

struct PixelSize {
  int width = 0;
  int height = 0;
};

// The pixel size the header of a PNG, JPEG or GIF announces, once the header has arrived;
// nothing for other data, or for a size the platform's decoder would refuse as too large.
std::optional<PixelSize> pixelSize(std::string_view data);

// The top rows that the bytes so far decode to, as an image of the full width and only the rows
// decoded (premultiplied ARGB, scale 1, orientation Up). Baseline JPEG and non-interlaced PNG;
// a progressive JPEG gives all its rows as its last whole scan leaves them (the top rows of its
// first scan until that one is whole). nullptr for other data and when no whole row has arrived.
std::shared_ptr<gfx::Image> decodeRows(std::string_view data);

}  // namespace kt::PartialImage
