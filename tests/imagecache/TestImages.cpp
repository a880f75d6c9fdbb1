#include "TestImages.h"

#include <gif_lib.h>

#include <stdexcept>

namespace testimages {

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

int bandIndex(int x, int width) { return x < width / 4 ? 0 : x < width * 3 / 4 ? 1 : 2; }

int appendBytes(GifFileType* gif, const GifByteType* bytes, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), length);
  return length;
}

}  // namespace

std::shared_ptr<gfx::Image> solid(int width, int height, uint32_t argb, double scale) {
  return gfx::Image::fromPixels(width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb), scale);
}

std::shared_ptr<gfx::Image> bands(int width, int height) {
  static const uint32_t colours[] = {kRed, kGreen, kBlue};
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = colours[bandIndex(x, width)];
  return gfx::Image::fromPixels(width, height, std::move(pixels));
}

std::string jpeg(int width, int height) { return *bands(width, height)->jpegData(0.9); }

std::string withExifOrientation(const std::string& jpeg, int orientation, bool littleEndian) {
  auto u16 = [&](int v) {
    return littleEndian ? std::string{char(v & 0xFF), char(v >> 8)} : std::string{char(v >> 8), char(v & 0xFF)};
  };
  auto u32 = [&](int v) { return littleEndian ? u16(v & 0xFFFF) + u16(v >> 16) : u16(v >> 16) + u16(v & 0xFFFF); };
  std::string tiff = (littleEndian ? std::string("II") : std::string("MM")) + u16(42) + u32(8);
  tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
  const std::string body = std::string("Exif\0\0", 6) + tiff;
  const int length = static_cast<int>(body.size()) + 2;
  const std::string segment = std::string("\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + body;
  return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

std::string gif(int width, int height, const std::vector<int>& delays, bool bandsPattern) {
  std::string out;
  int error = 0;
  GifFileType* file = EGifOpen(&out, appendBytes, &error);
  if (!file) throw std::runtime_error("EGifOpen failed");
  GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(file, true);
  EGifPutScreenDesc(file, width, height, 2, 0, map);
  std::vector<GifPixelType> row(static_cast<size_t>(width));
  for (size_t i = 0; i < delays.size(); ++i) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, delays[i], NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&gcb, extension);
    EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    EGifPutImageDesc(file, 0, 0, width, height, false, nullptr);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x)
        row[static_cast<size_t>(x)] = static_cast<GifPixelType>(bandsPattern ? bandIndex(x, width) : i % 4);
      EGifPutLine(file, row.data(), width);
    }
  }
  EGifCloseFile(file, &error);
  GifFreeMapObject(map);
  return out;
}

}  // namespace testimages
