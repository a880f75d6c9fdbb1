// Partial images of a progressive download: the pixel size read from the first bytes stays within
// the decoder's limits and is the size of the picture when the whole JPEG or PNG decodes; rows
// decoded from any prefix are the full announced width, never more rows than announced,
// premultiplied, and a longer prefix never gives fewer rows.

#include "FuzzCheck.h"
#include "imagecache/PartialImage.h"
#include "platform/gfx/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::bytes(data, size);
  const auto announced = kt::PartialImage::pixelSize(bytes);
  if (announced) {
    KT_FUZZ_CHECK(announced->width > 0 && announced->height > 0);
    KT_FUZZ_CHECK(int64_t{announced->width} * announced->height <= gfx::Image::MaxPixelCount);
  }
  const auto format = gfx::Image::formatOf(bytes);
  if (format == gfx::ImageFormat::JPEG || format == gfx::ImageFormat::PNG) {
    if (const auto whole = gfx::Image::decode(bytes)) {
      KT_FUZZ_CHECK(announced.has_value());
      KT_FUZZ_CHECK(announced->width == whole->pixelWidth() && announced->height == whole->pixelHeight());
    }
  }
  const auto rows = kt::PartialImage::decodeRows(bytes);
  if (!rows) return 0;
  KT_FUZZ_CHECK(announced.has_value());
  KT_FUZZ_CHECK(rows->pixelWidth() == announced->width);
  KT_FUZZ_CHECK(rows->pixelHeight() > 0 && rows->pixelHeight() <= announced->height);
  for (int y = 0; y < rows->pixelHeight(); ++y) {
    for (int x = 0; x < rows->pixelWidth(); ++x) {
      const uint32_t p = rows->pixelAt(x, y);
      const uint32_t a = p >> 24;
      KT_FUZZ_CHECK(((p >> 16) & 0xFF) <= a && ((p >> 8) & 0xFF) <= a && (p & 0xFF) <= a);
    }
  }
  // Half the bytes decode to no more rows than all of them.
  const auto fewer = kt::PartialImage::decodeRows(bytes.substr(0, bytes.size() / 2));
  if (fewer) KT_FUZZ_CHECK(fewer->pixelHeight() <= rows->pixelHeight());
  return 0;
}
