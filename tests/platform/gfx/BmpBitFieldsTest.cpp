// BMP pixels laid out by bit-field masks: every field width from 1 to 32 bits scales into 0..255,
// masks with gaps or shared bits are corrupt data, and every decoded pixel is valid premultiplied
// ARGB (no colour channel above alpha).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/core/Error.h"
#include "platform/gfx/Image.h"

namespace gfx {
namespace {

// Where the masks sit: after a 40-byte header (three, or four with the alpha compression), or
// inside a 108-byte header.
enum class Masks { AfterHeader, AfterHeaderWithAlpha, InV4Header };

struct Fields {
  uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

// A top-down BMP of `pixels` (row after row), each pixel `bpp` bits little-endian.
std::string bitFieldBmp(int w, int h, int bpp, Fields f, const std::vector<uint32_t>& pixels,
                        Masks layout = Masks::InV4Header) {
  auto le = [](std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t headerSize = layout == Masks::InV4Header ? 108 : 40;
  const uint32_t maskBytes = layout == Masks::AfterHeader ? 12 : layout == Masks::AfterHeaderWithAlpha ? 16 : 0;
  const uint32_t offset = 14 + headerSize + maskBytes;
  const size_t rowBytes = ((static_cast<size_t>(bpp) * w + 31) / 32) * 4;
  std::string s = "BM";
  le(s, offset + static_cast<uint32_t>(rowBytes * h), 4);
  le(s, 0, 4);
  le(s, offset, 4);
  le(s, headerSize, 4);
  le(s, w, 4);
  le(s, static_cast<uint32_t>(-h), 4);
  le(s, 1, 2);
  le(s, bpp, 2);
  le(s, layout == Masks::AfterHeaderWithAlpha ? 6 : 3, 4);  // alpha bit fields, or bit fields
  le(s, static_cast<uint32_t>(rowBytes * h), 4);
  le(s, 2835, 4), le(s, 2835, 4);
  le(s, 0, 4), le(s, 0, 4);
  le(s, f.red, 4), le(s, f.green, 4), le(s, f.blue, 4);
  if (layout != Masks::AfterHeader) le(s, f.alpha, 4);
  s.resize(offset, '\0');  // the rest of a larger header
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) le(s, pixels[static_cast<size_t>(y) * w + x], bpp / 8);
    s.append(rowBytes - static_cast<size_t>(w) * bpp / 8, '\0');
  }
  return s;
}

// The field of `mask` in `v` scaled to 0..255 and rounded, worked out in floating point.
uint32_t scaled(uint32_t v, uint32_t mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const double max = static_cast<double>(mask >> shift);
  return static_cast<uint32_t>(std::lround(static_cast<double>((v & mask) >> shift) * 255.0 / max));
}

uint32_t expectedPixel(uint32_t v, Fields f) {
  const uint32_t a = f.alpha ? scaled(v, f.alpha) : 255;
  auto mul = [a](uint32_t c) { return static_cast<uint32_t>(std::lround(c * a / 255.0)); };
  if (a == 0) return 0;
  return (a << 24) | (mul(scaled(v, f.red)) << 16) | (mul(scaled(v, f.green)) << 8) | mul(scaled(v, f.blue));
}

// Decodes `pixels` (rows of 256, a multiple of that or a single shorter row) and checks each
// against the rounded scaling and that it is valid premultiplied ARGB.
void expectDecodes(int bpp, Fields f, const std::vector<uint32_t>& pixels, Masks layout = Masks::InV4Header) {
  const int w = static_cast<int>(std::min<size_t>(pixels.size(), 256));
  const int h = static_cast<int>(pixels.size()) / w;
  ASSERT_EQ(static_cast<size_t>(w) * h, pixels.size());
  core::Error error;
  auto image = Image::decode(bitFieldBmp(w, h, bpp, f, pixels, layout), 1.0, &error);
  ASSERT_TRUE(image) << error.description();
  int wrong = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t got = image->pixelAt(static_cast<int>(i % w), static_cast<int>(i / w));
    const uint32_t a = got >> 24;
    const bool premultiplied = ((got >> 16) & 0xFF) <= a && ((got >> 8) & 0xFF) <= a && (got & 0xFF) <= a;
    const uint32_t want = expectedPixel(pixels[i], f);
    if ((got != want || !premultiplied) && ++wrong <= 5) {
      ADD_FAILURE() << std::hex << "pixel " << pixels[i] << " decoded " << got << " want " << want;
    }
  }
}

void expectCorrupt(int bpp, Fields f, Masks layout = Masks::InV4Header) {
  core::Error error;
  EXPECT_FALSE(Image::decode(bitFieldBmp(1, 1, bpp, f, {0}, layout), 1.0, &error))
      << std::hex << f.red << " " << f.green << " " << f.blue << " " << f.alpha;
  EXPECT_EQ(error.code(), Image::Corrupt);
}

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

TEST(BmpBitFields, SixteenBitFiveSixFive) {
  const Fields f{0xF800, 0x07E0, 0x001F, 0};
  const std::string bmp = bitFieldBmp(6, 1, 16, f, {0xFFFF, 0xF800, 0x07E0, 0x0010, 0x0400, 0x0800}, Masks::AfterHeader);
  auto image = Image::decode(bmp);
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->hasAlpha());
  EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 255, 255));
  EXPECT_EQ(image->pixelAt(1, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(image->pixelAt(2, 0), argb(255, 0, 255, 0));
  EXPECT_EQ(image->pixelAt(3, 0), argb(255, 0, 0, 132));  // 16 of 31: 131.6
  EXPECT_EQ(image->pixelAt(4, 0), argb(255, 0, 130, 0));  // 32 of 63: 129.5
  EXPECT_EQ(image->pixelAt(5, 0), argb(255, 8, 0, 0));    // 1 of 31: 8.2
  std::vector<uint32_t> all(65536);
  for (uint32_t v = 0; v < all.size(); ++v) all[v] = v;
  expectDecodes(16, f, all, Masks::AfterHeader);
}

TEST(BmpBitFields, SixteenBitFiveFiveFiveIgnoresTheTopBit) {
  const Fields f{0x7C00, 0x03E0, 0x001F, 0};
  auto image = Image::decode(bitFieldBmp(3, 1, 16, f, {0x7FFF, 0x8000, 0xFC00}, Masks::AfterHeader));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 255, 255));
  EXPECT_EQ(image->pixelAt(1, 0), argb(255, 0, 0, 0));
  EXPECT_EQ(image->pixelAt(2, 0), argb(255, 255, 0, 0));
  std::vector<uint32_t> all(65536);
  for (uint32_t v = 0; v < all.size(); ++v) all[v] = v;
  expectDecodes(16, f, all, Masks::AfterHeader);
  // Four bits of each with alpha, every value: the colour is premultiplied by the alpha field.
  expectDecodes(16, {0x0F00, 0x00F0, 0x000F, 0xF000}, all, Masks::AfterHeaderWithAlpha);
}

TEST(BmpBitFields, ThirtyTwoBitTenBitFieldsScaleIntoByteRange) {
  const Fields f{0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
  auto image = Image::decode(bitFieldBmp(3, 1, 32, f, {0xFFFFFFFF, 0xBFF80001, 0x3FFFFFFF}));
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->hasAlpha());
  EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 255, 255));
  // Alpha 2 of 3 is 170; red 1023 of 1023, green 512 of 1023 (127.6), blue 1 of 1023 (0.2).
  EXPECT_EQ(image->pixelAt(1, 0), argb(170, 170, 85, 0));
  EXPECT_EQ(image->pixelAt(2, 0), 0u);  // alpha 0: nothing shows
  std::mt19937 random(7);
  std::vector<uint32_t> pixels(4096);
  for (uint32_t& v : pixels) v = static_cast<uint32_t>(random());
  expectDecodes(32, f, pixels);
  expectDecodes(32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0}, pixels, Masks::AfterHeader);
}

TEST(BmpBitFields, FieldsOfEveryWidthFromOneToThirtyTwoBits) {
  std::mt19937 random(11);
  std::vector<uint32_t> pixels(512);
  for (uint32_t& v : pixels) v = static_cast<uint32_t>(random());
  pixels[0] = 0, pixels[1] = 0xFFFFFFFF;
  for (int width = 1; width <= 32; ++width) {
    SCOPED_TRACE(width);
    const uint32_t wide = width == 32 ? 0xFFFFFFFF : ((1u << width) - 1) << (32 - width);
    expectDecodes(32, {wide, 0, 0, 0}, pixels);  // red alone, at the top
    expectDecodes(32, {0, 0, 0, wide}, pixels);  // alpha alone: the colour stays 0
    if (width <= 8) expectDecodes(32, {0, wide >> 16, wide >> (32 - width), wide}, pixels);
  }
  // The widest field at its extremes, where a 32-bit product would wrap.
  auto image = Image::decode(bitFieldBmp(3, 1, 32, {0xFFFFFFFF, 0, 0, 0}, {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF}));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 0, 0));
  EXPECT_EQ(image->pixelAt(1, 0), argb(255, 128, 0, 0));  // 127.50000003
  EXPECT_EQ(image->pixelAt(2, 0), argb(255, 127, 0, 0));  // 127.49999997
}

TEST(BmpBitFields, ZeroMaskIsAnAbsentChannel) {
  // No green: that channel is 0. No alpha mask: opaque.
  auto image = Image::decode(bitFieldBmp(2, 1, 32, {0x00FF0000, 0, 0x000000FF, 0}, {0xFFFFFFFF, 0x00120034}));
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->hasAlpha());
  EXPECT_EQ(image->pixelAt(0, 0), argb(255, 255, 0, 255));
  EXPECT_EQ(image->pixelAt(1, 0), argb(255, 0x12, 0, 0x34));
  // No colour at all: opaque black; an alpha mask alone: black of that alpha.
  auto black = Image::decode(bitFieldBmp(1, 1, 16, {}, {0xFFFF}, Masks::AfterHeader));
  ASSERT_TRUE(black);
  EXPECT_EQ(black->pixelAt(0, 0), argb(255, 0, 0, 0));
  auto shade = Image::decode(bitFieldBmp(1, 1, 32, {0, 0, 0, 0xFF000000}, {0x80FFFFFF}, Masks::AfterHeaderWithAlpha));
  ASSERT_TRUE(shade);
  EXPECT_TRUE(shade->hasAlpha());
  EXPECT_EQ(shade->pixelAt(0, 0), argb(0x80, 0, 0, 0));
}

TEST(BmpBitFields, MasksWithGapsOrSharedBitsAreCorrupt) {
  // A gap in one mask.
  expectCorrupt(16, {0xF0F0, 0x0000, 0x000F, 0}, Masks::AfterHeader);
  expectCorrupt(32, {0xF0F00000, 0x0000FF00, 0x000000FF, 0});
  expectCorrupt(32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x81000000});  // alpha split at both ends
  expectCorrupt(32, {0x00FF0000, 0x0000FF00, 0x000000FD, 0});
  // Two masks sharing a bit.
  expectCorrupt(16, {0xF800, 0x0FE0, 0x001F, 0}, Masks::AfterHeader);
  expectCorrupt(32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF800000});  // alpha over red
  expectCorrupt(32, {0x00FF0000, 0x00FF0000, 0x000000FF, 0});            // the same mask twice
  expectCorrupt(32, {0xFFFFFFFF, 0, 0x00000001, 0}, Masks::AfterHeaderWithAlpha);
  // The same masks without the gap or the overlap decode.
  core::Error error;
  EXPECT_TRUE(Image::decode(bitFieldBmp(1, 1, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, {0}), 1.0, &error))
      << error.description();
}

}  // namespace
}  // namespace gfx
