#include "platform/gfx/Image.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "platform/core/Error.h"
#include "platform/core/RunLoop.h"
#include "platform/core/WorkProgress.h"
#include "platform/gfx/Context.h"

namespace gfx {
namespace {

namespace fs = std::filesystem;

// ---- Encoders for the samples, straight over the libraries ----

struct PngSample {
  int width = 2, height = 2, colorType = PNG_COLOR_TYPE_RGB_ALPHA, depth = 8;
  bool interlace = false;
  std::vector<uint8_t> raw;  // packed rows as the file stores them (16-bit samples big-endian)
  std::vector<png_color> palette;
  std::vector<uint8_t> trns;
};

void appendTo(png_structp png, png_bytep data, size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}

std::string writePng(const PngSample& s) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, appendTo, nullptr);
  png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
               s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), nullptr);
  png_write_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<png_bytep> rows;
  for (int y = 0; y < s.height; ++y) rows.push_back(const_cast<png_bytep>(s.raw.data()) + y * rowBytes);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string rgbaPng(int w, int h, const std::vector<uint8_t>& rgba) {
  PngSample s;
  s.width = w, s.height = h, s.raw = rgba;
  return writePng(s);
}

// components 1 (grey), 3 (RGB) or 4 (CMYK, stored inverted as Adobe writers do).
std::string writeJpeg(int w, int h, int components, const std::vector<uint8_t>& samples, int quality = 95,
                      const std::string& app1 = "") {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = w, c.image_height = h, c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  if (!app1.empty())
    jpeg_write_marker(&c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()), static_cast<unsigned>(app1.size()));
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data()) + c.next_scanline * w * components;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(buf), size);
  std::free(buf);
  return out;
}

// An APP1 "Exif" segment whose IFD0 holds only the orientation tag (SHORT).
std::string exifSegment(int orientation, bool bigEndian) {
  auto u16 = [&](std::string& s, int v) {
    if (bigEndian)
      s += static_cast<char>(v >> 8), s += static_cast<char>(v & 0xFF);
    else
      s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8);
  };
  auto u32 = [&](std::string& s, uint32_t v) {
    if (bigEndian)
      u16(s, v >> 16), u16(s, v & 0xFFFF);
    else
      u16(s, v & 0xFFFF), u16(s, v >> 16);
  };
  std::string s("Exif\0\0", 6);
  s += bigEndian ? "MM" : "II";
  u16(s, 42);
  u32(s, 8);   // IFD0 right after the header
  u16(s, 2);   // two entries: an unrelated one first
  u16(s, 0x010F), u16(s, 2), u32(s, 4), u32(s, 0);  // Make, ASCII
  u16(s, 0x0112), u16(s, 3), u32(s, 1), u16(s, orientation), u16(s, 0);
  u32(s, 0);  // no next IFD
  return s;
}

int appendGif(GifFileType* gif, const GifByteType* data, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
  return n;
}

struct GifFrame {
  int left, top, width, height;
  std::vector<GifByteType> indices;
  int disposal = DISPOSAL_UNSPECIFIED;
  int delayCs = 0;
  int transparent = NO_TRANSPARENT_COLOR;
  bool interlace = false;  // indices then come in interlaced row order
};

// Palette: 0 black, 1 red, 2 green, 3 blue, 4 white, rest grey.
std::string writeGif(int w, int h, const std::vector<GifFrame>& frames) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendGif, &error);
  GifColorType colors[8] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}};
  ColorMapObject* map = GifMakeMapObject(8, colors);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, w, h, 8, 0, map);
  for (const GifFrame& f : frames) {
    GraphicsControlBlock gcb{f.disposal, false, f.delayCs, f.transparent};
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, nullptr);
    for (int y = 0; y < f.height; ++y)
      EGifPutLine(gif, const_cast<GifByteType*>(f.indices.data()) + y * f.width, f.width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/kt-image-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// 8-bit grey (1 channel), grey and alpha (2), RGB (3) or RGBA (4), written by libtiff. The extra
// sample is described as `extraKind` (unassociated alpha unless told; -1: no ExtraSamples tag).
std::string writeTiff(int w, int h, int channels, const std::vector<uint8_t>& samples,
                      int extraKind = EXTRASAMPLE_UNASSALPHA) {
  TempDir dir;
  std::string file = (dir.path / "t.tif").string();
  TIFF* t = TIFFOpen(file.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
  if ((channels == 2 || channels == 4) && extraKind >= 0) {
    uint16_t kind = static_cast<uint16_t>(extraKind);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  for (int y = 0; y < h; ++y) TIFFWriteScanline(t, const_cast<uint8_t*>(samples.data()) + y * w * channels, y, 0);
  TIFFClose(t);
  return readFile(file);
}

// A TIFF of 20 x 2 pixels in one colour, written by libtiff in the layout given, whose first
// extra sample (an unassociated alpha unless told) holds (x * 37) % 256 on the top row, 255 below.
struct TiffLayout {
  const char* name;
  uint16_t photometric;
  uint16_t bits;
  std::vector<uint8_t> colour;  // the colour samples, as 8-bit values (widened for 16 bits)
  uint16_t extras = 1;          // extra samples past the first hold 7 and are undescribed
  bool tiled = false;           // tiles of 16 x 16, so the right-hand one is partly outside
  bool bottomUp = false;        // rows stored bottom first, as the orientation tag says
  uint16_t firstExtra = EXTRASAMPLE_UNASSALPHA;
};

constexpr int kTiffWidth = 20, kTiffHeight = 2;

uint8_t tiffAlphaAt(int x, int y) { return y == 0 ? static_cast<uint8_t>((x * 37) % 256) : 255; }

std::string writeTiff(const TiffLayout& l) {
  TempDir dir;
  std::string file = (dir.path / "t.tif").string();
  const int colours = static_cast<int>(l.colour.size()), spp = colours + l.extras, bytes = l.bits / 8;
  TIFF* t = TIFFOpen(file.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kTiffWidth);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, kTiffHeight);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bits);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ORIENTATION, l.bottomUp ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT);
  std::vector<uint16_t> kinds(l.extras, EXTRASAMPLE_UNSPECIFIED);
  kinds[0] = l.firstExtra;
  TIFFSetField(t, TIFFTAG_EXTRASAMPLES, l.extras, kinds.data());
  // Palette entry 1 is orange.
  std::vector<uint16_t> red(size_t{1} << l.bits), green(red.size()), blue(red.size());
  red[1] = 0xFFFF, green[1] = 0x8080;
  if (l.photometric == PHOTOMETRIC_PALETTE) TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  if (l.tiled) TIFFSetField(t, TIFFTAG_TILEWIDTH, 16), TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
  const int across = l.tiled ? 16 : kTiffWidth;
  for (int left = 0; left < kTiffWidth; left += across) {
    std::vector<uint8_t> block(static_cast<size_t>(across) * (l.tiled ? 16 : kTiffHeight) * spp * bytes);
    for (int y = 0; y < kTiffHeight; ++y)
      for (int x = left; x < std::min(kTiffWidth, left + across); ++x)
        for (int s = 0; s < spp; ++s) {
          const int upright = l.bottomUp ? kTiffHeight - 1 - y : y;
          const uint8_t v = s < colours ? l.colour[s] : s == colours ? tiffAlphaAt(x, upright) : 7;
          const uint16_t wide = static_cast<uint16_t>(v * 257);
          std::memcpy(&block[((static_cast<size_t>(y) * across + (x - left)) * spp + s) * bytes],
                      bytes == 2 ? static_cast<const void*>(&wide) : &v, bytes);
        }
    if (l.tiled) TIFFWriteTile(t, block.data(), left, 0, 0, 0);
    for (int y = 0; y < kTiffHeight && !l.tiled; ++y)
      TIFFWriteScanline(t, &block[static_cast<size_t>(y) * across * spp * bytes], y, 0);
  }
  TIFFClose(t);
  return readFile(file);
}

// A BMP with a 40-byte header; rows given top row first, padded here.
std::string writeBmp(int w, int h, int bpp, bool topDown, const std::vector<uint8_t>& rowsTopFirst,
                     const std::vector<uint32_t>& palette = {}) {
  auto le = [](std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  size_t packed = (static_cast<size_t>(bpp) * w + 7) / 8, padded = ((static_cast<size_t>(bpp) * w + 31) / 32) * 4;
  uint32_t offset = 14 + 40 + static_cast<uint32_t>(palette.size()) * 4;
  std::string s = "BM";
  le(s, offset + static_cast<uint32_t>(padded * h), 4);
  le(s, 0, 4);
  le(s, offset, 4);
  le(s, 40, 4);
  le(s, w, 4);
  le(s, topDown ? static_cast<uint32_t>(-h) : h, 4);
  le(s, 1, 2);
  le(s, bpp, 2);
  le(s, 0, 4);  // uncompressed
  le(s, static_cast<uint32_t>(padded * h), 4);
  le(s, 2835, 4), le(s, 2835, 4);
  le(s, static_cast<uint32_t>(palette.size()), 4), le(s, 0, 4);
  for (uint32_t c : palette) le(s, c, 4);  // 0x00RRGGBB stored B, G, R, 0
  for (int i = 0; i < h; ++i) {
    int y = topDown ? i : h - 1 - i;
    s.append(reinterpret_cast<const char*>(rowsTopFirst.data()) + y * packed, packed);
    s.append(padded - packed, '\0');
  }
  return s;
}

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

void expectPixelNear(uint32_t got, uint32_t want, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    int g = (got >> shift) & 0xFF, w = (want >> shift) & 0xFF;
    EXPECT_LE(std::abs(g - w), tolerance) << std::hex << "got " << got << " want " << want;
  }
}

std::shared_ptr<Image> decodeOk(const std::string& bytes, double scale = 1.0) {
  core::Error error;
  auto image = Image::decode(bytes, scale, &error);
  EXPECT_TRUE(image) << error.description();
  return image;
}

// ---- Plain images, orientation and size ----

TEST(ImageTest, PixelsScaleAndOrientedSize) {
  auto image = Image::fromPixels(4, 2, std::vector<uint32_t>(8, argb(255, 1, 2, 3)), 2.0, ImageOrientation::Right);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 4);
  EXPECT_EQ(image->size(), (Size{1, 2}));  // sides swap for Left/Right
  EXPECT_EQ(image->withScale(1.0, ImageOrientation::Down)->size(), (Size{4, 2}));
  EXPECT_EQ(image->withScale(1.0, ImageOrientation::LeftMirrored)->size(), (Size{2, 4}));
  EXPECT_EQ(image->pixelAt(3, 1), argb(255, 1, 2, 3));
  EXPECT_EQ(image->pixelAt(4, 0), 0u);
  EXPECT_EQ(image->pixelAt(-1, 0), 0u);
  EXPECT_EQ(image->stride(), 16);

  EXPECT_FALSE(Image::fromPixels(0, 3, {}));
  EXPECT_FALSE(Image::fromPixels(2, 2, std::vector<uint32_t>(3)));
  EXPECT_FALSE(Image::animated({}, 1.0));
}

TEST(ImageTest, UprightMovesPixelsForEveryOrientation) {
  // A 3x2 picture; track where stored (0,0) and (1,0) end up.
  struct Case {
    ImageOrientation o;
    int w, h, x0, y0, x1, y1;
  } cases[] = {
      {ImageOrientation::Up, 3, 2, 0, 0, 1, 0},           {ImageOrientation::UpMirrored, 3, 2, 2, 0, 1, 0},
      {ImageOrientation::Down, 3, 2, 2, 1, 1, 1},         {ImageOrientation::DownMirrored, 3, 2, 0, 1, 1, 1},
      {ImageOrientation::Right, 2, 3, 1, 0, 1, 1},        {ImageOrientation::Left, 2, 3, 0, 2, 0, 1},
      {ImageOrientation::LeftMirrored, 2, 3, 0, 0, 0, 1}, {ImageOrientation::RightMirrored, 2, 3, 1, 2, 1, 1},
  };
  std::vector<uint32_t> px(6, argb(255, 0, 0, 0));
  px[0] = argb(255, 255, 0, 0);
  px[1] = argb(255, 0, 255, 0);
  for (const Case& c : cases) {
    auto up = Image::fromPixels(3, 2, px, 1.0, c.o)->upright();
    ASSERT_TRUE(up);
    EXPECT_EQ(up->orientation(), ImageOrientation::Up);
    EXPECT_EQ(up->pixelWidth(), c.w);
    EXPECT_EQ(up->pixelHeight(), c.h);
    EXPECT_EQ(up->pixelAt(c.x0, c.y0), px[0]) << static_cast<int>(c.o);
    EXPECT_EQ(up->pixelAt(c.x1, c.y1), px[1]) << static_cast<int>(c.o);
  }
}

// ---- Sniffing ----

TEST(ImageTest, FormatSniffing) {
  using F = ImageFormat;
  EXPECT_EQ(Image::formatOf("\x89PNG\r\n\x1a\n"), F::PNG);
  EXPECT_EQ(Image::formatOf("\xFF\xD8\xFF"), F::JPEG);
  EXPECT_EQ(Image::formatOf("GIF89a"), F::GIF);
  EXPECT_EQ(Image::formatOf("BM"), F::BMP);
  EXPECT_EQ(Image::formatOf(std::string("II*\0", 4)), F::TIFF);
  EXPECT_EQ(Image::formatOf(std::string("MM\0*", 4)), F::TIFF);
  EXPECT_EQ(Image::formatOf(std::string("RIFF\x04\0\0\0WEBP", 12)), F::WebP);
  EXPECT_EQ(Image::formatOf(std::string("RIFF\x04\0\0\0WEB", 11)), F::Unknown);
  EXPECT_EQ(Image::formatOf(std::string("RIFF\x04\0\0\0WAVE", 12)), F::Unknown);
  EXPECT_EQ(Image::formatOf("\xFF"), F::Unknown);
  EXPECT_EQ(Image::formatOf(""), F::Unknown);

  core::Error error;
  EXPECT_FALSE(Image::decode("hello, world", 1.0, &error));
  EXPECT_EQ(error.domain(), Image::ErrorDomain);
  EXPECT_EQ(error.code(), Image::UnknownFormat);
  for (std::string blob : {std::string("II*\0", 4), std::string("MM\0*", 4), std::string("RIFF\x04\0\0\0WEBP", 12),
                           std::string("\xFF\xD8"), std::string("\x89PNG"), std::string("GIF89a"), std::string("BM")}) {
    error = core::Error();
    EXPECT_FALSE(Image::decode(blob, 1.0, &error));
    EXPECT_EQ(error.domain(), Image::ErrorDomain);
  }
}

// ---- PNG ----

TEST(ImageTest, PngColourTypesDepthsAndInterlace) {
  // RGBA with partial alpha: premultiplied on the way in.
  auto rgba = decodeOk(rgbaPng(2, 1, {255, 0, 0, 255, 200, 100, 50, 128}), 2.0);
  ASSERT_TRUE(rgba);
  EXPECT_EQ(rgba->scale(), 2.0);
  EXPECT_EQ(rgba->size(), (Size{1, 0.5}));
  EXPECT_TRUE(rgba->hasAlpha());
  EXPECT_EQ(rgba->pixelAt(0, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(rgba->pixelAt(1, 0), argb(128, 100, 50, 25));

  PngSample grey;
  grey.colorType = PNG_COLOR_TYPE_GRAY, grey.raw = {0, 255, 128, 64};
  auto g = decodeOk(writePng(grey));
  ASSERT_TRUE(g);
  EXPECT_FALSE(g->hasAlpha());
  EXPECT_EQ(g->pixelAt(1, 0), argb(255, 255, 255, 255));
  EXPECT_EQ(g->pixelAt(0, 1), argb(255, 128, 128, 128));

  PngSample bits;  // 1-bit grey: 8 pixels in one byte
  bits.width = 8, bits.height = 1, bits.colorType = PNG_COLOR_TYPE_GRAY, bits.depth = 1, bits.raw = {0xA0};
  auto b = decodeOk(writePng(bits));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->pixelAt(0, 0), argb(255, 255, 255, 255));
  EXPECT_EQ(b->pixelAt(1, 0), argb(255, 0, 0, 0));
  EXPECT_EQ(b->pixelAt(2, 0), argb(255, 255, 255, 255));

  PngSample ga;
  ga.width = 1, ga.height = 1, ga.colorType = PNG_COLOR_TYPE_GRAY_ALPHA, ga.raw = {255, 0};
  auto a = decodeOk(writePng(ga));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->pixelAt(0, 0), 0u);

  PngSample pal;  // palette with a transparent entry
  pal.width = 3, pal.height = 1, pal.colorType = PNG_COLOR_TYPE_PALETTE, pal.raw = {0, 1, 2};
  pal.palette = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
  pal.trns = {0, 255};
  auto p = decodeOk(writePng(pal));
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->hasAlpha());
  EXPECT_EQ(p->pixelAt(0, 0), 0u);
  EXPECT_EQ(p->pixelAt(1, 0), argb(255, 0, 255, 0));
  EXPECT_EQ(p->pixelAt(2, 0), argb(255, 255, 0, 0));

  PngSample deep;  // 16-bit RGBA, big-endian samples
  deep.width = 1, deep.height = 1, deep.depth = 16, deep.raw = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF};
  auto d = decodeOk(writePng(deep));
  ASSERT_TRUE(d);
  EXPECT_EQ(d->pixelAt(0, 0), argb(255, 255, 128, 0));

  PngSample inter;  // Adam7 over 9x9 so every pass has pixels
  inter.width = 9, inter.height = 9, inter.colorType = PNG_COLOR_TYPE_RGB, inter.interlace = true;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) inter.raw.insert(inter.raw.end(), {uint8_t(x * 20), uint8_t(y * 20), 7});
  auto il = decodeOk(writePng(inter));
  ASSERT_TRUE(il);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(il->pixelAt(x, y), argb(255, x * 20, y * 20, 7)) << x << "," << y;
}

TEST(ImageTest, PngRoundTripAndUprightOutput) {
  std::vector<uint32_t> px = {argb(255, 10, 20, 30), argb(128, 128, 0, 64), 0, argb(255, 0, 255, 0)};
  auto image = Image::fromPixels(2, 2, px);
  auto png = image->pngData();
  ASSERT_TRUE(png);
  auto back = decodeOk(*png);
  ASSERT_TRUE(back);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back->pixelAt(i % 2, i / 2), px[i]);

  // A Right-oriented 2x1 comes out 1x2, stored (0,0) on top.
  auto turned = Image::fromPixels(2, 1, {argb(255, 255, 0, 0), argb(255, 0, 0, 255)}, 1.0, ImageOrientation::Right);
  auto up = decodeOk(*turned->pngData());
  ASSERT_TRUE(up);
  EXPECT_EQ(up->orientation(), ImageOrientation::Up);
  EXPECT_EQ(up->pixelWidth(), 1);
  EXPECT_EQ(up->pixelHeight(), 2);
  EXPECT_EQ(up->pixelAt(0, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(up->pixelAt(0, 1), argb(255, 0, 0, 255));
  EXPECT_FALSE(up->hasAlpha());  // opaque pictures are written without alpha
}

TEST(ImageTest, DecodedImagesDrawWhatTheyHold) {
  // Every decoder writes its pixels straight into the surface; drawing must see them.
  std::vector<uint32_t> px(4, argb(255, 0, 0, 255));
  auto png = Image::fromPixels(2, 2, px)->pngData();
  ASSERT_TRUE(png);
  auto decoded = decodeOk(*png);
  ASSERT_TRUE(decoded);
  auto ctx = gfx::Context::bitmap({2, 2}, 1);
  ctx->drawImage(*decoded, gfx::Rect(0, 0, 2, 2));
  EXPECT_EQ(ctx->makeImage()->pixelAt(1, 1), argb(255, 0, 0, 255));
}

// ---- JPEG ----

TEST(ImageTest, JpegRgbGreyAndCmyk) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 64; ++i) rgb.insert(rgb.end(), {200, 40, 90});
  auto c = decodeOk(writeJpeg(8, 8, 3, rgb));
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->hasAlpha());
  expectPixelNear(c->pixelAt(4, 4), argb(255, 200, 40, 90), 4);

  auto g = decodeOk(writeJpeg(8, 8, 1, std::vector<uint8_t>(64, 77)));
  ASSERT_TRUE(g);
  expectPixelNear(g->pixelAt(0, 0), argb(255, 77, 77, 77), 2);

  // Pure red as inverted CMYK: C=0 M=255 Y=255 K=0 stored as 255, 0, 0, 255.
  std::vector<uint8_t> cmyk;
  for (int i = 0; i < 64; ++i) cmyk.insert(cmyk.end(), {255, 0, 0, 255});
  auto k = decodeOk(writeJpeg(8, 8, 4, cmyk));
  ASSERT_TRUE(k);
  expectPixelNear(k->pixelAt(3, 3), argb(255, 255, 0, 0), 4);
}

TEST(ImageTest, JpegExifOrientation) {
  const ImageOrientation expected[] = {ImageOrientation::Up,           ImageOrientation::UpMirrored,
                                       ImageOrientation::Down,         ImageOrientation::DownMirrored,
                                       ImageOrientation::LeftMirrored, ImageOrientation::Right,
                                       ImageOrientation::RightMirrored, ImageOrientation::Left};
  std::vector<uint8_t> rgb(16 * 8 * 3, 128);
  for (int tag = 1; tag <= 8; ++tag) {
    for (bool big : {false, true}) {
      auto image = decodeOk(writeJpeg(16, 8, 3, rgb, 90, exifSegment(tag, big)));
      ASSERT_TRUE(image);
      EXPECT_EQ(image->orientation(), expected[tag - 1]) << tag << (big ? " MM" : " II");
      EXPECT_EQ(image->pixelWidth(), 16);
      bool swapped = tag >= 5;
      EXPECT_EQ(image->size(), swapped ? (Size{8, 16}) : (Size{16, 8}));
    }
  }
  // Out-of-range values and broken segments leave it upright.
  for (const std::string& app1 : {exifSegment(9, false), exifSegment(0, true), std::string("Exif\0\0II*\0\xFF\xFF\xFF\x7F", 14),
                                  std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33)}) {
    auto image = decodeOk(writeJpeg(16, 8, 3, rgb, 90, app1));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->orientation(), ImageOrientation::Up);
  }
}

TEST(ImageTest, JpegRoundTripIsUprightAndFollowsQuality) {
  std::mt19937 rng(7);
  std::vector<uint32_t> noise(64 * 32);
  for (auto& p : noise) p = 0xFF000000u | (rng() & 0xFFFFFF);
  noise[0] = argb(255, 255, 255, 255);
  auto image = Image::fromPixels(64, 32, noise, 1.0, ImageOrientation::Left);
  auto best = image->jpegData(1.0), worst = image->jpegData(0.0);
  ASSERT_TRUE(best && worst);
  EXPECT_LT(worst->size(), best->size());
  auto back = decodeOk(*best);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->orientation(), ImageOrientation::Up);
  EXPECT_EQ(back->pixelWidth(), 32);
  EXPECT_EQ(back->pixelHeight(), 64);

  auto flat = Image::fromPixels(16, 16, std::vector<uint32_t>(256, argb(255, 30, 140, 220)));
  auto again = decodeOk(*flat->jpegData(0.9));
  ASSERT_TRUE(again);
  expectPixelNear(again->pixelAt(8, 8), argb(255, 30, 140, 220), 3);
}

// ---- GIF ----

TEST(ImageTest, GifFramesComposeWithDisposalAndKeepDelays) {
  std::vector<GifFrame> frames = {
      {0, 0, 4, 4, std::vector<GifByteType>(16, 1), DISPOSE_DO_NOT, 10},        // red everywhere
      {1, 1, 2, 2, {3, 3, 3, 7}, DISPOSE_BACKGROUND, 0, 7},                    // blue square, one hole
      {0, 0, 1, 1, {2}, DISPOSE_PREVIOUS, 1},                                  // green corner, undone later
      {3, 3, 1, 1, {4}, DISPOSE_DO_NOT, 50},                                   // white corner
  };
  auto image = decodeOk(writeGif(4, 4, frames));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->frames().size(), 4u);
  EXPECT_EQ(image->frameDelays(), (std::vector<double>{0.1, 0.0, 0.01, 0.5}));
  EXPECT_DOUBLE_EQ(image->duration(), 0.1 + 0.1 + 0.1 + 0.5);  // short delays play as 0.1 s
  EXPECT_EQ(image->pixelWidth(), 4);

  const uint32_t red = argb(255, 255, 0, 0), blue = argb(255, 0, 0, 255), green = argb(255, 0, 255, 0),
                 white = argb(255, 255, 255, 255);
  auto f = [&](int i) { return image->frames()[i]; };
  EXPECT_EQ(f(0)->pixelAt(2, 2), red);
  EXPECT_EQ(image->pixelAt(2, 2), red);  // the image itself shows the first frame
  EXPECT_EQ(f(1)->pixelAt(1, 1), blue);
  EXPECT_EQ(f(1)->pixelAt(2, 2), red);  // the hole shows the frame below
  EXPECT_EQ(f(1)->pixelAt(0, 0), red);
  // Frame 2 was cleared to transparent before frame 3.
  EXPECT_EQ(f(2)->pixelAt(1, 1), 0u);
  EXPECT_EQ(f(2)->pixelAt(0, 0), green);
  EXPECT_EQ(f(2)->pixelAt(3, 0), red);
  // Frame 3 restored what was under it.
  EXPECT_EQ(f(3)->pixelAt(0, 0), red);
  EXPECT_EQ(f(3)->pixelAt(3, 3), white);
  EXPECT_EQ(f(3)->pixelAt(2, 1), 0u);
  EXPECT_TRUE(image->hasAlpha());

  auto scaled = image->withScale(2.0, ImageOrientation::Up);
  EXPECT_EQ(scaled->frames()[3]->scale(), 2.0);
  EXPECT_EQ(scaled->frameDelays().size(), 4u);
}

TEST(ImageTest, GifSingleFrameAndInterlace) {
  // Interlaced rows arrive as 0, 4, 2, 6, 1, 3, 5, 7.
  std::vector<GifByteType> rows = {0, 4, 2, 6, 1, 3, 5, 7};
  std::vector<GifByteType> indices;
  for (GifByteType r : rows) indices.push_back(r % 5);
  auto image = decodeOk(writeGif(1, 8, {{0, 0, 1, 8, indices, 0, 0, NO_TRANSPARENT_COLOR, true}}));
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->frames().empty());  // one frame: a plain image
  EXPECT_TRUE(image->frameDelays().empty());
  EXPECT_FALSE(image->hasAlpha());
  const uint32_t palette[] = {argb(255, 0, 0, 0), argb(255, 255, 0, 0), argb(255, 0, 255, 0), argb(255, 0, 0, 255),
                              argb(255, 255, 255, 255)};
  for (int y = 0; y < 8; ++y) EXPECT_EQ(image->pixelAt(0, y), palette[y % 5]) << y;
}

// ---- WebP, BMP, TIFF ----

TEST(ImageTest, WebpLossless) {
  std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 0, 255, 128, 0, 0, 0, 0, 10, 20, 30, 255};
  uint8_t* out = nullptr;
  size_t n = WebPEncodeLosslessRGBA(rgba.data(), 2, 2, 8, &out);
  ASSERT_GT(n, 0u);
  std::string bytes(reinterpret_cast<char*>(out), n);
  WebPFree(out);
  auto image = decodeOk(bytes);
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->hasAlpha());
  EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(image->pixelAt(1, 0), argb(128, 0, 0, 128));
  EXPECT_EQ(image->pixelAt(0, 1), 0u);
  EXPECT_EQ(image->pixelAt(1, 1), argb(255, 10, 20, 30));
}

// An animated WebP put together by hand from two lossless stills: VP8X, ANIM, then one ANMF
// chunk per frame holding the still's VP8L chunk.
std::string animatedWebp(int w, int h, const std::vector<std::vector<uint8_t>>& framesRgba,
                         const std::vector<int>& durationsMs) {
  auto le = [](std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  auto chunk = [&](const char* tag, const std::string& body) {
    std::string c(tag, 4);
    le(c, static_cast<uint32_t>(body.size()), 4);
    c += body;
    if (body.size() % 2) c += '\0';
    return c;
  };
  std::string vp8x;
  le(vp8x, 0x02 | 0x10, 4);  // animation, alpha
  le(vp8x, w - 1, 3), le(vp8x, h - 1, 3);
  std::string anim;
  le(anim, 0, 4), le(anim, 0, 2);  // transparent background, loop forever
  std::string body = "WEBP" + chunk("VP8X", vp8x) + chunk("ANIM", anim);
  for (size_t i = 0; i < framesRgba.size(); ++i) {
    uint8_t* out = nullptr;
    size_t n = WebPEncodeLosslessRGBA(framesRgba[i].data(), w, h, w * 4, &out);
    std::string still(reinterpret_cast<char*>(out), n);
    WebPFree(out);
    std::string anmf;
    le(anmf, 0, 3), le(anmf, 0, 3), le(anmf, w - 1, 3), le(anmf, h - 1, 3);
    le(anmf, durationsMs[i], 3);
    anmf += static_cast<char>(0x02);  // no blending, no disposal
    anmf += still.substr(12);         // the VP8L chunk
    body += chunk("ANMF", anmf);
  }
  std::string riff = "RIFF";
  le(riff, static_cast<uint32_t>(body.size()), 4);
  return riff + body;
}

TEST(ImageTest, WebpAnimation) {
  std::vector<uint8_t> red, blue;
  for (int i = 0; i < 4; ++i) red.insert(red.end(), {255, 0, 0, 255}), blue.insert(blue.end(), {0, 0, 255, 128});
  auto image = decodeOk(animatedWebp(2, 2, {red, blue}, {40, 250}));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->frames().size(), 2u);
  EXPECT_EQ(image->frameDelays(), (std::vector<double>{0.04, 0.25}));
  EXPECT_DOUBLE_EQ(image->duration(), 0.29);
  EXPECT_EQ(image->frames()[0]->pixelAt(1, 1), argb(255, 255, 0, 0));
  EXPECT_EQ(image->frames()[1]->pixelAt(0, 0), argb(128, 0, 0, 128));
}

TEST(ImageTest, BmpDepthsAndRowOrder) {
  // 24-bit, 3x2 (rows padded to 12 bytes); BGR order.
  std::vector<uint8_t> bgr = {0, 0, 255, 0, 255, 0, 255, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (bool topDown : {false, true}) {
    auto image = decodeOk(writeBmp(3, 2, 24, topDown, bgr));
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->hasAlpha());
    EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 0, 0)) << topDown;
    EXPECT_EQ(image->pixelAt(2, 0), argb(255, 0, 0, 255));
    EXPECT_EQ(image->pixelAt(0, 1), argb(255, 3, 2, 1));
  }
  // 32-bit with alpha, and 32-bit whose alpha bytes are all unused (0).
  auto alpha = decodeOk(writeBmp(2, 1, 32, true, {0, 0, 255, 255, 0, 200, 0, 128}));
  ASSERT_TRUE(alpha);
  EXPECT_TRUE(alpha->hasAlpha());
  EXPECT_EQ(alpha->pixelAt(0, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(alpha->pixelAt(1, 0), argb(128, 0, 100, 0));
  auto opaque = decodeOk(writeBmp(2, 1, 32, false, {0, 0, 255, 0, 0, 200, 0, 0}));
  ASSERT_TRUE(opaque);
  EXPECT_FALSE(opaque->hasAlpha());
  EXPECT_EQ(opaque->pixelAt(1, 0), argb(255, 0, 200, 0));
  // 8-bit palette.
  auto pal = decodeOk(writeBmp(3, 1, 8, false, {2, 0, 1}, {0x000000, 0x00FF00, 0x102030}));
  ASSERT_TRUE(pal);
  EXPECT_EQ(pal->pixelAt(0, 0), argb(255, 0x10, 0x20, 0x30));
  EXPECT_EQ(pal->pixelAt(2, 0), argb(255, 0, 255, 0));
  // An index past the palette is corrupt data.
  core::Error error;
  EXPECT_FALSE(Image::decode(writeBmp(1, 1, 8, false, {5}, {0, 0}), 1.0, &error));
  EXPECT_EQ(error.code(), Image::Corrupt);
}

TEST(ImageTest, TiffRgbAndAlpha) {
  auto rgb = decodeOk(writeTiff(2, 2, 3, {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7}));
  ASSERT_TRUE(rgb);
  EXPECT_FALSE(rgb->hasAlpha());
  EXPECT_EQ(rgb->pixelAt(0, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(rgb->pixelAt(0, 1), argb(255, 0, 0, 255));  // first row stays on top
  EXPECT_EQ(rgb->pixelAt(1, 1), argb(255, 9, 8, 7));

  auto rgba = decodeOk(writeTiff(1, 1, 4, {200, 100, 50, 128}));
  ASSERT_TRUE(rgba);
  EXPECT_TRUE(rgba->hasAlpha());
  expectPixelNear(rgba->pixelAt(0, 0), argb(128, 100, 50, 25), 1);

  auto grey = decodeOk(writeTiff(2, 1, 2, {200, 100, 50, 255}));
  ASSERT_TRUE(grey);
  expectPixelNear(grey->pixelAt(0, 0), argb(100, 78, 78, 78), 1);
  EXPECT_EQ(grey->pixelAt(1, 0), argb(255, 50, 50, 50));
}

TEST(ImageTest, TiffColourNeverAboveAlpha) {
  // Samples that claim to be premultiplied, or an undescribed fourth sample, with colour above alpha.
  for (int kind : {EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNSPECIFIED, -1}) {
    SCOPED_TRACE(kind);
    auto image = decodeOk(writeTiff(2, 1, 4, {255, 128, 64, 32, 10, 20, 30, 255}, kind));
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->hasAlpha());
    EXPECT_EQ(image->pixelAt(0, 0), argb(32, 32, 32, 32));
    EXPECT_EQ(image->pixelAt(1, 0), argb(255, 10, 20, 30));
  }
  // An undescribed fourth sample that is opaque everywhere: no alpha.
  auto opaque = decodeOk(writeTiff(1, 1, 4, {1, 2, 3, 255}, -1));
  ASSERT_TRUE(opaque);
  EXPECT_FALSE(opaque->hasAlpha());
}

TEST(ImageTest, TiffAlphaOfEveryLayout) {
  const uint32_t grey = argb(255, 200, 200, 200), orange = argb(255, 255, 128, 0), white = argb(255, 255, 255, 255),
                 rgb = argb(255, 200, 100, 50);
  // The layouts whose alpha the library's reader dropped, and the block edges of the wrapper.
  const std::vector<std::pair<TiffLayout, uint32_t>> layouts = {
      {{"16-bit grey", PHOTOMETRIC_MINISBLACK, 16, {200}}, grey},
      {{"palette", PHOTOMETRIC_PALETTE, 8, {1}}, orange},
      {{"CMYK", PHOTOMETRIC_SEPARATED, 8, {0, 0, 0, 0}}, white},
      {{"8-bit grey, a second extra sample", PHOTOMETRIC_MINISBLACK, 8, {200}, 2}, grey},
      {{"16-bit grey bottom up", PHOTOMETRIC_MINISBLACK, 16, {200}, 1, false, true}, grey},
      {{"16-bit RGB in tiles", PHOTOMETRIC_RGB, 16, {200, 100, 50}, 1, true}, rgb},
  };
  for (const auto& [layout, colour] : layouts) {
    SCOPED_TRACE(layout.name);
    auto image = decodeOk(writeTiff(layout));
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->hasAlpha());
    for (int y = 0; y < kTiffHeight; ++y)
      for (int x = 0; x < kTiffWidth; ++x) {
        const uint32_t a = tiffAlphaAt(x, y);
        auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
        const uint32_t want = argb(a, mul((colour >> 16) & 0xFF), mul((colour >> 8) & 0xFF), mul(colour & 0xFF));
        expectPixelNear(image->pixelAt(x, y), want, 1);
      }
  }
}

TEST(ImageTest, TiffUndescribedExtraSamplesAreAlphaForRgbAlone) {
  // An undescribed first extra sample is a spot colour or the like, except for a fourth RGB
  // sample: that one has always been taken as an (associated) alpha.
  struct Case {
    TiffLayout layout;
    uint32_t colour;
    bool alpha;
  };
  const std::vector<Case> cases = {
      {{"CMYK and a spot colour", PHOTOMETRIC_SEPARATED, 8, {0, 127, 255, 0}, 1, false, false,
        EXTRASAMPLE_UNSPECIFIED},
       argb(255, 255, 128, 0), false},
      {{"8-bit grey and three more samples", PHOTOMETRIC_MINISBLACK, 8, {200}, 3, false, false,
        EXTRASAMPLE_UNSPECIFIED},
       argb(255, 200, 200, 200), false},
      {{"16-bit grey and three more samples", PHOTOMETRIC_MINISBLACK, 16, {200}, 3, false, false,
        EXTRASAMPLE_UNSPECIFIED},
       argb(255, 200, 200, 200), false},
      {{"RGB and a fourth sample", PHOTOMETRIC_RGB, 8, {200, 100, 50}, 1, false, false, EXTRASAMPLE_UNSPECIFIED},
       argb(255, 200, 100, 50), true},
  };
  for (const auto& [layout, colour, alpha] : cases) {
    SCOPED_TRACE(layout.name);
    auto image = decodeOk(writeTiff(layout));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->hasAlpha(), alpha);
    for (int y = 0; y < kTiffHeight; ++y)
      for (int x = 0; x < kTiffWidth; ++x) {
        const uint32_t a = alpha ? tiffAlphaAt(x, y) : 255;
        auto clamp = [a](uint32_t c) { return std::min(c, a); };
        const uint32_t want =
            argb(a, clamp((colour >> 16) & 0xFF), clamp((colour >> 8) & 0xFF), clamp(colour & 0xFF));
        expectPixelNear(image->pixelAt(x, y), want, 1);
      }
  }
}

// ---- Bad input ----

std::vector<std::pair<std::string, std::string>> samples() {
  std::vector<uint8_t> rgb(16 * 16 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> rgba(8 * 8 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 13);
  uint8_t* webp = nullptr;
  size_t webpSize = WebPEncodeRGBA(rgba.data(), 8, 8, 32, 80, &webp);
  std::string webpBytes(reinterpret_cast<char*>(webp), webpSize);
  WebPFree(webp);
  PngSample inter;
  inter.width = 8, inter.height = 8, inter.interlace = true, inter.raw = rgba;
  return {
      {"png", rgbaPng(8, 8, rgba)},
      {"interlaced png", writePng(inter)},
      {"jpeg", writeJpeg(16, 16, 3, rgb, 90, exifSegment(6, false))},
      {"gif", writeGif(4, 4, {{0, 0, 4, 4, std::vector<GifByteType>(16, 1), 0, 5},
                              {1, 1, 2, 2, {2, 3, 4, 5}, 2, 5, 3}})},
      {"webp", webpBytes},
      {"animated webp", animatedWebp(2, 2, {std::vector<uint8_t>(16, 200), std::vector<uint8_t>(16, 90)}, {30, 60})},
      {"bmp", writeBmp(3, 2, 24, false, std::vector<uint8_t>(18, 99))},
      {"tiff", writeTiff(4, 4, 3, std::vector<uint8_t>(48, 50))},
  };
}

TEST(ImageTest, TruncatedDataOfEveryFormatIsAnError) {
  testing::internal::CaptureStderr();
  for (const auto& [name, bytes] : samples()) {
    ASSERT_TRUE(Image::decode(bytes)) << name;
    for (size_t len = 0; len < bytes.size(); ++len) {
      core::Error error;
      auto image = Image::decode(std::string_view(bytes).substr(0, len), 1.0, &error);
      EXPECT_FALSE(image) << name << " cut at " << len << " of " << bytes.size();
      if (!image) {
        EXPECT_EQ(error.domain(), Image::ErrorDomain) << name << " " << len;
      }
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ImageTest, DamagedDataNeverCrashesOrPrints) {
  testing::internal::CaptureStderr();
  std::mt19937 rng(1234);
  for (const auto& [name, bytes] : samples()) {
    for (int round = 0; round < 300; ++round) {
      std::string bad = bytes;
      int flips = 1 + static_cast<int>(rng() % 4);
      for (int i = 0; i < flips; ++i) {
        // Keep the signature so that the format's own decoder sees the damage.
        size_t at = 4 + rng() % (bad.size() - 4);
        bad[at] = static_cast<char>(rng());
      }
      core::Error error;
      auto image = Image::decode(bad, 1.0, &error);
      if (image) {
        EXPECT_GT(image->pixelWidth(), 0);
        EXPECT_NE(image->pixels(), nullptr);
      } else {
        EXPECT_EQ(error.domain(), Image::ErrorDomain) << name;
      }
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ImageTest, HugeDeclaredSizesAreRefused) {
  auto expectTooLarge = [](const std::string& bytes, const char* what) {
    core::Error error;
    EXPECT_FALSE(Image::decode(bytes, 1.0, &error)) << what;
    EXPECT_EQ(error.code(), Image::TooLarge) << what << ": " << error.description();
  };
  // PNG: a valid IHDR chunk (with its CRC) for 20000 x 20000.
  {
    std::string ihdr("IHDR\0\0\x4E\x20\0\0\x4E\x20\x08\x06\0\0\0", 17);
    uint32_t crc = 0xFFFFFFFFu;  // the PNG chunk CRC (CRC-32, reflected, polynomial 0xEDB88320)
    for (unsigned char ch : ihdr) {
      crc ^= ch;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFFu;
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0d", 12);
    png += ihdr;
    for (int i = 3; i >= 0; --i) png += static_cast<char>((crc >> (8 * i)) & 0xFF);
    expectTooLarge(png, "png");
  }
  // GIF: a 20000 x 1 logical screen.
  {
    std::string gif = writeGif(4, 1, {{0, 0, 4, 1, {1, 1, 1, 1}}});
    gif[6] = static_cast<char>(20000 & 0xFF), gif[7] = static_cast<char>(20000 >> 8);
    expectTooLarge(gif, "gif");
  }
  // BMP: 20000 pixels wide.
  {
    std::string bmp = writeBmp(1, 1, 24, false, {1, 2, 3});
    bmp[18] = static_cast<char>(20000 & 0xFF), bmp[19] = static_cast<char>(20000 >> 8);
    expectTooLarge(bmp, "bmp");
  }
  // JPEG: 10000 x 10000 fits each side but not the pixel budget.
  {
    std::string jpg = writeJpeg(8, 8, 3, std::vector<uint8_t>(192, 5));
    size_t sof = jpg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    jpg[sof + 5] = static_cast<char>(10000 >> 8), jpg[sof + 6] = static_cast<char>(10000 & 0xFF);
    jpg[sof + 7] = static_cast<char>(10000 >> 8), jpg[sof + 8] = static_cast<char>(10000 & 0xFF);
    expectTooLarge(jpg, "jpeg");
  }
}

// ---- Files and named artwork ----

TEST(ImageTest, FromFileReportsUnreadableFiles) {
  core::Error error;
  EXPECT_FALSE(Image::fromFile("/nonexistent/kt/picture.png", 1.0, &error));
  EXPECT_EQ(error.domain(), Image::ErrorDomain);
  EXPECT_EQ(error.code(), Image::FileUnreadable);
  EXPECT_EQ(error.userInfo()[core::Error::FilePathKey].stringValue(), "/nonexistent/kt/picture.png");
}

class NamedImageTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("KT_RESOURCES");
    m_oldResources = old ? std::optional<std::string>(old) : std::nullopt;
    fs::create_directories(m_dir.path / "images");
    setenv("KT_RESOURCES", m_dir.path.c_str(), 1);
    Image::clearNamedCache();
  }
  void TearDown() override {
    Image::setDrawingScale(2.0);
    Image::clearNamedCache();
    if (m_oldResources)
      setenv("KT_RESOURCES", m_oldResources->c_str(), 1);
    else
      unsetenv("KT_RESOURCES");
  }
  void put(const std::string& file, int side, std::array<uint8_t, 4> colour) {
    std::vector<uint8_t> px;
    for (int i = 0; i < side * side; ++i) px.insert(px.end(), colour.begin(), colour.end());
    std::ofstream(m_dir.path / "images" / file, std::ios::binary) << rgbaPng(side, side, px);
  }

  TempDir m_dir;
  std::optional<std::string> m_oldResources;
};

TEST_F(NamedImageTest, PrefersDoubleScaleAndCaches) {
  put("btn.png", 2, {255, 0, 0, 255});
  put("btn@2x.png", 4, {0, 0, 255, 255});
  put("plain.png", 3, {0, 255, 0, 255});
  put("DefaultImage.png", 1, {1, 2, 3, 255});

  auto two = Image::named("btn");
  ASSERT_TRUE(two);
  EXPECT_EQ(two->scale(), 2.0);
  EXPECT_EQ(two->size(), (Size{2, 2}));
  EXPECT_EQ(two->pixelAt(0, 0), argb(255, 0, 0, 255));
  EXPECT_EQ(Image::named("btn.png"), two);  // same cached object with or without the suffix

  auto plain = Image::named("plain");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->scale(), 1.0);
  EXPECT_EQ(plain->size(), (Size{3, 3}));
  ASSERT_TRUE(Image::named("DefaultImage.jpg"));  // the artwork is PNG even when a JPEG is named
  EXPECT_FALSE(Image::named("missing"));
  EXPECT_FALSE(Image::named(""));

  // The artwork follows the scale pixels are drawn at, not the mode's: one pixel a point takes
  // the plain file, any fractional scale above it the double one.
  Image::setDrawingScale(1.0);
  auto one = Image::named("btn");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->scale(), 1.0);
  EXPECT_EQ(one->size(), (Size{2, 2}));
  EXPECT_EQ(one->pixelAt(0, 0), argb(255, 255, 0, 0));
  Image::setDrawingScale(1.0417);
  EXPECT_EQ(Image::named("btn"), two);

  // An image held across a change of drawing scale is drawn from the file the new scale takes,
  // where the artwork has one.
  EXPECT_EQ(one->namedAtDrawingScale(), two);
  EXPECT_FALSE(two->namedAtDrawingScale());
  EXPECT_FALSE(plain->namedAtDrawingScale());
  Image::setDrawingScale(1.0);
  EXPECT_EQ(two->namedAtDrawingScale(), one);
  EXPECT_FALSE(one->namedAtDrawingScale());
  EXPECT_FALSE(Image::fromPixels(2, 2, std::vector<uint32_t>(4, 0xFF0000FFu), 1)->namedAtDrawingScale());

  // Cached until cleared.
  fs::remove(m_dir.path / "images" / "plain.png");
  Image::setDrawingScale(2.0);
  EXPECT_EQ(Image::named("plain"), plain);
  Image::clearNamedCache();
  EXPECT_FALSE(Image::named("plain"));
}

TEST_F(NamedImageTest, FollowsTheResourceFolder) {
  put("icon.png", 2, {9, 9, 9, 255});
  ASSERT_TRUE(Image::named("icon"));
  TempDir other;
  fs::create_directories(other.path / "images");
  setenv("KT_RESOURCES", other.path.c_str(), 1);
  EXPECT_FALSE(Image::named("icon"));
}

// An image decoded on the main thread shows it at work to the stop's watch (core::WorkProgress);
// decoded on other threads, at the same time, it does not: a main thread that stands still is
// ended even while the queues decode.
TEST(ImageWorkProgressTest, OnlyTheMainThreadsDecodingShowsItAtWork) {
  ASSERT_TRUE(core::RunLoop::isMainThread());
  const auto before = core::WorkProgress::Clock::now();
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([] {
      for (int n = 0; n < 200; ++n) {
        Image::decode("not an image");
        core::WorkProgress::note();
      }
    });
  for (auto& w : workers) w.join();
  EXPECT_LT(core::WorkProgress::last(), before);
  // Even one that fails.
  Image::decode("not an image");
  EXPECT_GE(core::WorkProgress::last(), before);
}

}  // namespace
}  // namespace gfx
