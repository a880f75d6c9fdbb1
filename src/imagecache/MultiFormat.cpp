#include "imagecache/MultiFormat.h"

#include "imagecache/GIF.h"
#include "imagecache/ImageContentType.h"

namespace kt::MultiFormat {

namespace {

// The orientation tag (0x0112) of the first directory of a TIFF structure (a TIFF file, or the
// body of a JPEG's Exif segment); nothing when absent or out of bounds.
std::optional<int64_t> tiffOrientation(std::string_view tiff) {
  auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(tiff[i])); };
  if (tiff.size() < 8) return std::nullopt;
  const bool little = tiff.substr(0, 2) == "II";
  if (!little && tiff.substr(0, 2) != "MM") return std::nullopt;
  auto u16 = [&](size_t i) { return little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1); };
  auto u32 = [&](size_t i) { return little ? u16(i) | u16(i + 2) << 16 : u16(i) << 16 | u16(i + 2); };
  if (u16(2) != 42) return std::nullopt;
  const size_t ifd = u32(4);
  if (ifd > tiff.size() || tiff.size() - ifd < 2) return std::nullopt;
  const size_t count = u16(ifd);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = ifd + 2 + i * 12;
    if (entry > tiff.size() || tiff.size() - entry < 12) return std::nullopt;
    if (u16(entry) != 0x0112) continue;
    // A SHORT (type 3) holds its value in the first two bytes of the value field.
    const uint32_t type = u16(entry + 2);
    if (type == 3) return u16(entry + 8);
    if (type == 4) return u32(entry + 8);
    return std::nullopt;
  }
  return std::nullopt;
}

// The Exif segment (APP1 "Exif\0\0") of JPEG data, from after its marker header.
std::optional<int64_t> jpegOrientation(std::string_view jpeg) {
  auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(jpeg[i])); };
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    if (byte(pos) != 0xFF) return std::nullopt;
    const size_t marker = byte(pos + 1);
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    // Start of scan or end of image: no metadata follows.
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;
    const size_t length = byte(pos + 2) << 8 | byte(pos + 3);
    if (length < 2 || length > jpeg.size() - pos - 2) return std::nullopt;
    const std::string_view body = jpeg.substr(pos + 4, length - 2);
    if (marker == 0xE1 && body.size() >= 6 && body.substr(0, 6) == std::string_view("Exif\0\0", 6))
      return tiffOrientation(body.substr(6));
    pos += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

ImagePtr ic_imageWithData(std::string_view data) {
  if (data.empty()) return nullptr;
  if (ImageContentType::ic_contentTypeForImageData(data) == "image/gif") return GIF::ic_animatedGIFWithData(data);
  ImagePtr image = gfx::Image::decode(data);
  if (!image) return nullptr;
  const gfx::ImageOrientation orientation = ic_imageOrientationFromImageData(data);
  // The TIFF decoder turns the pixels upright itself; giving them the orientation again would
  // turn them twice.
  if (orientation != gfx::ImageOrientation::Up && orientation != image->orientation() &&
      gfx::Image::formatOf(data) != gfx::ImageFormat::TIFF)
    image = image->withScale(image->scale(), orientation);
  return image;
}

gfx::ImageOrientation ic_imageOrientationFromImageData(std::string_view data) {
  std::optional<int64_t> exif;
  switch (gfx::Image::formatOf(data)) {
    case gfx::ImageFormat::JPEG: exif = jpegOrientation(data); break;
    case gfx::ImageFormat::TIFF: exif = tiffOrientation(data); break;
    default: break;
  }
  return exif ? ic_exifOrientationToiOSOrientation(*exif) : gfx::ImageOrientation::Up;
}

gfx::ImageOrientation ic_exifOrientationToiOSOrientation(int64_t exif) {
  using O = gfx::ImageOrientation;
  switch (exif) {
    case 1: return O::Up;
    case 2: return O::UpMirrored;
    case 3: return O::Down;
    case 4: return O::DownMirrored;
    case 5: return O::LeftMirrored;
    case 6: return O::Right;
    case 7: return O::RightMirrored;
    case 8: return O::Left;
    default: return O::Up;
  }
}

}  // namespace kt::MultiFormat
