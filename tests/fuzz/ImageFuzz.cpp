// Image decoding: PNG, JPEG, GIF, WebP, BMP and TIFF, told apart by their first bytes. A decoded
// image stays within the size limits, its pixels are premultiplied (no colour above its alpha)
// and opaque unless it says it has alpha, every frame of an animation has the picture's size, and
// an opaque picture written as PNG decodes to the same pixels. GIF frames read one by one keep
// the frames that decode.

#include <algorithm>
#include <vector>

#include "FuzzCheck.h"
#include "platform/gfx/Image.h"

namespace {

bool checkPixels(const gfx::Image& image) {
  KT_FUZZ_CHECK(image.pixelWidth() > 0 && image.pixelHeight() > 0);
  KT_FUZZ_CHECK(image.pixelWidth() <= gfx::Image::MaxPixelSide && image.pixelHeight() <= gfx::Image::MaxPixelSide);
  KT_FUZZ_CHECK(int64_t{image.pixelWidth()} * image.pixelHeight() <= gfx::Image::MaxPixelCount);
  bool opaque = true;
  for (int y = 0; y < image.pixelHeight(); ++y) {
    for (int x = 0; x < image.pixelWidth(); ++x) {
      const uint32_t p = image.pixelAt(x, y);
      const uint32_t a = p >> 24;
      KT_FUZZ_CHECK(((p >> 16) & 0xFF) <= a && ((p >> 8) & 0xFF) <= a && (p & 0xFF) <= a);
      opaque = opaque && a == 0xFF;
    }
  }
  return opaque;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::bytes(data, size);
  const std::shared_ptr<gfx::Image> image = gfx::Image::decode(bytes);

  // GIF frames one by one: the frames that decode have one size; data the decoder takes whole
  // gives every frame.
  const std::vector<gfx::Image::Frame> frames = gfx::Image::gifFrames(bytes);
  const gfx::Image* first = nullptr;
  for (const auto& frame : frames) {
    if (!frame.image) continue;
    checkPixels(*frame.image);
    if (!first) first = frame.image.get();
    KT_FUZZ_CHECK(frame.image->pixelWidth() == first->pixelWidth());
    KT_FUZZ_CHECK(frame.image->pixelHeight() == first->pixelHeight());
  }
  if (image && gfx::Image::formatOf(bytes) == gfx::ImageFormat::GIF) {
    KT_FUZZ_CHECK(frames.size() == std::max<size_t>(image->frames().size(), 1));
    for (const auto& frame : frames) KT_FUZZ_CHECK(frame.image != nullptr);
  }
  if (!image) return 0;
  KT_FUZZ_CHECK(gfx::Image::formatOf(bytes) != gfx::ImageFormat::Unknown);
  const bool opaque = checkPixels(*image);
  KT_FUZZ_CHECK(opaque || image->hasAlpha());
  for (const auto& frame : image->frames()) {
    KT_FUZZ_CHECK(frame->pixelWidth() == image->pixelWidth() && frame->pixelHeight() == image->pixelHeight());
    checkPixels(*frame);
  }
  if (!image->frames().empty()) KT_FUZZ_CHECK(image->frameDelays().size() == image->frames().size());

  const std::optional<std::string> png = image->pngData();
  KT_FUZZ_CHECK(png.has_value());
  const std::shared_ptr<gfx::Image> again = gfx::Image::decode(*png);
  KT_FUZZ_CHECK(again != nullptr);
  const std::shared_ptr<gfx::Image> upright = image->upright();
  KT_FUZZ_CHECK(again->pixelWidth() == upright->pixelWidth() && again->pixelHeight() == upright->pixelHeight());
  if (opaque) {
    for (int y = 0; y < again->pixelHeight(); ++y)
      for (int x = 0; x < again->pixelWidth(); ++x) KT_FUZZ_CHECK(again->pixelAt(x, y) == upright->pixelAt(x, y));
  }
  return 0;
}
