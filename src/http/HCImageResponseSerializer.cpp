#include "http/HCImageResponseSerializer.h"

#include "http/HCKeyedCoding.h"
#include "platform/gfx/Image.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace kt {

std::shared_ptr<gfx::Image> hc_safeImageWithData(std::string_view data) {
  static std::mutex lock;
  std::lock_guard guard(lock);
  return gfx::Image::decode(data, 1.0);
}

HCImageResponseSerializer::HCImageResponseSerializer() : m_imageScale(gfx::Image::modeScale()) {
  setAcceptableContentTypes(std::set<std::string>{"image/tiff", "image/jpeg", "image/gif", "image/png", "image/ico",
                                                  "image/x-icon", "image/bmp", "image/x-bmp", "image/x-xbitmap",
                                                  "image/x-win-bitmap"});
}

std::shared_ptr<HCHTTPResponseSerializer> HCImageResponseSerializer::copy() const {
  auto other = std::make_shared<HCImageResponseSerializer>();
  copySettingsInto(*other);
  other->m_imageScale = m_imageScale;
  other->m_automaticallyInflates = m_automaticallyInflates;
  return other;
}

core::Value HCImageResponseSerializer::encodeWithCoder() const {
  core::Value coder = HCHTTPResponseSerializer::encodeWithCoder();
  coder.set("imageScale", m_imageScale);
  coder.set("automaticallyInflatesResponseImage", m_automaticallyInflates);
  return coder;
}

void HCImageResponseSerializer::decodeWithCoder(const core::Value& coder) {
  HCHTTPResponseSerializer::decodeWithCoder(coder);
  // A scale must be a positive number.
  if (auto scale = decodeDouble(coder, "imageScale"); scale && *scale > 0) m_imageScale = *scale;
  if (auto inflates = decodeBool(coder, "automaticallyInflatesResponseImage")) m_automaticallyInflates = *inflates;
}

std::shared_ptr<gfx::Image> HCImageResponseSerializer::imageAtScale(std::string_view data) const {
  auto image = hc_safeImageWithData(data);
  if (!image || !image->frames().empty()) return image;
  return image->withScale(m_imageScale, image->orientation());
}

std::shared_ptr<gfx::Image> HCImageResponseSerializer::inflatedImage(std::string_view data) const {
  if (data.empty()) return nullptr;
  auto image = imageAtScale(data);
  if (!image || !image->frames().empty()) return image;
  int64_t pixels = static_cast<int64_t>(image->pixelWidth()) * image->pixelHeight();
  if (pixels > MaxInflatedPixels) return image;
  // Decoded images here are 8-bit premultiplied ARGB already; inflating gives the image a
  // private copy of its bitmap, as a redraw into a fresh bitmap context would.
  const int width = image->pixelWidth();
  const int height = image->pixelHeight();
  std::vector<uint32_t> copy(static_cast<size_t>(pixels));
  const auto* rows = reinterpret_cast<const uint8_t*>(image->pixels());
  if (!rows) return image;
  for (int y = 0; y < height; ++y) {
    std::memcpy(copy.data() + static_cast<size_t>(y) * width, rows + static_cast<size_t>(y) * image->stride(),
                static_cast<size_t>(width) * 4);
  }
  auto inflated = gfx::Image::fromPixels(width, height, std::move(copy), m_imageScale, image->orientation());
  return inflated ? inflated : image;
}

HCResponseObject HCImageResponseSerializer::responseObjectForResponse(const net::HTTPURLResponse* response,
                                                                      const std::optional<std::string>& data,
                                                                      std::optional<core::Error>* error) const {
  if (!validateForDecoding(response, data, error)) return std::monostate{};
  if (!data) return std::monostate{};
  auto image = m_automaticallyInflates ? inflatedImage(*data) : imageAtScale(*data);
  if (!image) return std::monostate{};
  return image;
}

}  // namespace kt
