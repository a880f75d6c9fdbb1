// Decoding for the image cache: the multi-format decoder (GIF animations, EXIF orientation), the
// forced decoding and the scaling of cached images. A decoded image comes from a known format and
// carries the orientation its EXIF block gives; forced decoding keeps size, scale, orientation and
// opaque pixels; scaling by key and scaling with cropping give the sizes asked for.

#include "FuzzCheck.h"
#include "imagecache/ForceDecode.h"
#include "imagecache/GIF.h"
#include "imagecache/ICImageCache.h"
#include "imagecache/ImageContentType.h"
#include "imagecache/MultiFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::bytes(data, size);
  kt::ImageContentType::ic_contentTypeForImageData(bytes);
  const gfx::ImageOrientation orientation = kt::MultiFormat::ic_imageOrientationFromImageData(bytes);
  const kt::ImagePtr image = kt::MultiFormat::ic_imageWithData(bytes);
  if (!image) return 0;
  KT_FUZZ_CHECK(gfx::Image::formatOf(bytes) != gfx::ImageFormat::Unknown);
  if (gfx::Image::formatOf(bytes) == gfx::ImageFormat::JPEG && orientation != gfx::ImageOrientation::Up)
    KT_FUZZ_CHECK(image->orientation() == orientation);

  const kt::ImagePtr decoded = kt::ForceDecode::decodedImageWithImage(image);
  KT_FUZZ_CHECK(decoded != nullptr);
  KT_FUZZ_CHECK(decoded->pixelWidth() == image->pixelWidth() && decoded->pixelHeight() == image->pixelHeight());
  KT_FUZZ_CHECK(decoded->scale() == image->scale() && decoded->orientation() == image->orientation());
  if (decoded != image) {
    KT_FUZZ_CHECK(!decoded->hasAlpha());
    for (int y = 0; y < image->pixelHeight(); y += 3)
      for (int x = 0; x < image->pixelWidth(); x += 3)
        if (image->pixelAt(x, y) >> 24 == 0xFF) KT_FUZZ_CHECK(decoded->pixelAt(x, y) == image->pixelAt(x, y));
  }

  const kt::ImagePtr scaled = kt::imageScaledForKey("http://h/a@2x.png", image);
  KT_FUZZ_CHECK(scaled && scaled->scale() == 2 && scaled->pixelWidth() == image->pixelWidth());
  KT_FUZZ_CHECK(scaled->frames().size() == image->frames().size());

  const kt::ImagePtr cropped = kt::GIF::ic_animatedImageByScalingAndCroppingToSize(image, {7, 5});
  KT_FUZZ_CHECK(cropped && cropped->size() == (gfx::Size{7, 5}));
  KT_FUZZ_CHECK(cropped->frames().size() == image->frames().size());
  return 0;
}
