#include "platform/gfx/PerspectiveSampler.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

// A translucent source whose channels change smoothly (a few levels a pixel at most), so that
// following the mapping to within a fraction of a pixel moves no channel by more than a level.
struct Source {
  static constexpr int kWidth = 300, kHeight = 200;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);

  Source() {
    auto* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < kHeight; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
      for (int x = 0; x < kWidth; ++x) {
        const double a = 150 + 105 * std::sin(x / 23.0) * std::cos(y / 17.0);
        const double r = a * (0.5 + 0.5 * std::sin(x / 31.0)), g = a * (0.5 + 0.5 * std::cos(y / 29.0));
        const double b = a * (0.5 + 0.5 * std::sin((x + y) / 41.0));
        row[x] = uint32_t(std::lround(a)) << 24 | uint32_t(std::lround(r)) << 16 | uint32_t(std::lround(g)) << 8 |
                 uint32_t(std::lround(b));
      }
    }
    cairo_surface_mark_dirty(surface);
  }
  ~Source() { cairo_surface_destroy(surface); }

  uint32_t at(int x, int y) const {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return 0;
    const auto* data = cairo_image_surface_get_data(surface);
    return reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(surface))[x];
  }

  // The channels of the exact bilinear sample at destination pixel (x, y), transparent outside
  // the source and behind the eye.
  std::array<double, 4> exact(const Matrix& g, int x, int y) const {
    const double px = x + 0.5, py = y + 0.5;
    const double w = g[2][0] * px + g[2][1] * py + g[2][2];
    if (!(w > 1e-12)) return {0, 0, 0, 0};
    const double sx = (g[0][0] * px + g[0][1] * py + g[0][2]) / w - 0.5;
    const double sy = (g[1][0] * px + g[1][1] * py + g[1][2]) / w - 0.5;
    if (!(sx > -2 && sy > -2 && sx < kWidth + 1 && sy < kHeight + 1)) return {0, 0, 0, 0};
    const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
    const double fx = sx - x0, fy = sy - y0;
    std::array<double, 4> out{};
    for (int c = 0; c < 4; ++c) {
      auto ch = [&](int px2, int py2) { return double((at(px2, py2) >> (8 * c)) & 255); };
      out[c] = (ch(x0, y0) * (1 - fx) + ch(x0 + 1, y0) * fx) * (1 - fy) +
               (ch(x0, y0 + 1) * (1 - fx) + ch(x0 + 1, y0 + 1) * fx) * fy;
    }
    return out;
  }
};

struct Case {
  std::string name;
  Matrix g;  // destination pixel → source pixel
};

// Mappings a turned layer gives: moved by a fraction of a pixel; turned about a horizontal axis
// (each row from one source row, as a fold) and about a vertical one (as a flip); strongly in
// perspective with the horizon across the destination; shrunk three times and turned; enlarged;
// mirrored and shrunk almost twice along the rows (each row from one source row, read leftwards
// nearly two columns a pixel), and shrunk almost twice the other way round.
std::vector<Case> cases() {
  return {
      {"moved", {{{1, 0, -20.3}, {0, 1, -10.7}, {0, 0, 1}}}},
      {"fold", {{{1, 0.35, -80}, {0, 1.1, -20}, {0, 0.0012, 0.8}}}},
      {"flip", {{{1.1, 0, -30}, {0.25, 1, -60}, {0.0013, 0, 0.7}}}},
      {"horizon", {{{0.5, 0.1, -5}, {0.05, 0.5, -2}, {0.002, 0.0015, -0.2}}}},
      {"shrunk", {{{1.8, 1.0, -250}, {-1.0, 1.8, 150}, {0.0005, 0.0002, 1}}}},
      {"enlarged", {{{0.6, 0.05, -40}, {-0.05, 0.6, -30}, {-0.0002, 0.0003, 1}}}},
      {"mirrored", {{{-1.97, 0, 600.3}, {0, 0.9, -20.6}, {0, 0, 1}}}},
      {"halved", {{{1.99, 0, -150.2}, {0, 1.3, -40.3}, {0, 0, 1}}}},
  };
}

// Large enough to be drawn in bands on several threads.
constexpr int kOutWidth = 420, kOutHeight = 330;
// Around the block drawn into, to see that nothing beyond it is touched.
constexpr int kBorder = 7;
constexpr uint32_t kUnder = 0x80402010u, kBeyond = 0x12345678u;

double channel(uint32_t p, int c) { return double((p >> (8 * c)) & 255); }

// Each pixel is the exact bilinear sample to within two levels a channel, stays a premultiplied
// colour, and is exactly transparent where the source does not reach; laid over a destination,
// it is that sample OVER what was there, and the pixels beside the block are left alone.
TEST(PerspectiveSamplerTest, PixelsAreTheExactSampleWrittenOrLaidOverOnlyInTheirBlock) {
  const Source source;
  for (const Case& test : cases()) {
    for (bool over : {false, true}) {
      SCOPED_TRACE(test.name + (over ? " laid over" : " written"));
      const int bw = kOutWidth + 2 * kBorder;
      std::vector<uint32_t> buffer(size_t(bw) * (kOutHeight + 2 * kBorder), kBeyond);
      for (int y = 0; y < kOutHeight; ++y)
        std::fill_n(&buffer[size_t(y + kBorder) * bw + kBorder], kOutWidth, over ? kUnder : kBeyond);
      double g[3][3];
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) g[i][j] = test.g[i][j];
      PerspectiveSampler::sample(source.surface, g, {&buffer[size_t(kBorder) * bw + kBorder], kOutWidth, kOutHeight, bw},
                                 over);
      int wrong = 0, reached = 0, unreached = 0, beside = 0;
      for (int y = 0; y < kOutHeight + 2 * kBorder; ++y) {
        for (int x = 0; x < bw; ++x) {
          const uint32_t got = buffer[size_t(y) * bw + x];
          const int ox = x - kBorder, oy = y - kBorder;
          if (ox < 0 || oy < 0 || ox >= kOutWidth || oy >= kOutHeight) {
            if (got != kBeyond) ++beside;
            continue;
          }
          std::array<double, 4> want = source.exact(test.g, ox, oy);
          const bool none = want[0] == 0 && want[1] == 0 && want[2] == 0 && want[3] == 0;
          ++(none ? unreached : reached);
          if (none && !over) {
            if (got != 0) ++wrong;
            continue;
          }
          if (over)
            for (int c = 0; c < 4; ++c) want[c] += channel(kUnder, c) * (255 - want[3]) / 255;
          bool ok = channel(got, 0) <= channel(got, 3) && channel(got, 1) <= channel(got, 3) &&
                    channel(got, 2) <= channel(got, 3);
          for (int c = 0; c < 4; ++c) ok = ok && std::fabs(channel(got, c) - want[c]) <= 2;
          if (!ok && ++wrong <= 5)
            ADD_FAILURE() << "pixel " << ox << "," << oy << ": " << std::hex << got << std::dec << " against "
                          << want[3] << " " << want[2] << " " << want[1] << " " << want[0];
        }
      }
      EXPECT_EQ(wrong, 0);
      EXPECT_EQ(beside, 0);
      // Each mapping covers part of the destination and leaves part of it.
      EXPECT_GT(reached, kOutWidth * kOutHeight / 20);
      EXPECT_GT(unreached, kOutWidth * kOutHeight / 20);
    }
  }
}

// The same pixels whether drawn with AVX2 or without it (where the processor has none, both are
// drawn the narrower way).
TEST(PerspectiveSamplerTest, SameWithAndWithoutAvx2) {
  const Source source;
  for (const Case& test : cases()) {
    for (bool over : {false, true}) {
      SCOPED_TRACE(test.name + (over ? " laid over" : " written"));
      double g[3][3];
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) g[i][j] = test.g[i][j];
      std::vector<uint32_t> drawn[2];
      for (bool avx2 : {false, true}) {
        std::vector<uint32_t>& buffer = drawn[avx2];
        buffer.assign(size_t(kOutWidth) * kOutHeight, kUnder);
        PerspectiveSampler::allowAvx2(avx2);
        PerspectiveSampler::sample(source.surface, g, {buffer.data(), kOutWidth, kOutHeight, kOutWidth}, over);
      }
      PerspectiveSampler::allowAvx2(true);
      int differ = 0;
      for (size_t i = 0; i < drawn[0].size(); ++i) {
        if (drawn[0][i] != drawn[1][i] && ++differ <= 5)
          ADD_FAILURE() << "pixel " << i % kOutWidth << "," << i / kOutWidth << ": " << std::hex << drawn[1][i]
                        << " against " << drawn[0][i];
      }
      EXPECT_EQ(differ, 0);
    }
  }
}

// Only ARGB32 is sampled: a narrower format would be read past its rows' ends, and RGB24's
// unused byte is no alpha. Others are refused with nothing drawn.
TEST(PerspectiveSamplerTest, SourcesOfOtherFormatsAreRefusedWithNothingDrawn) {
  const double g[3][3] = {{1, 0, -20.3}, {0, 1, -10.7}, {0, 0, 1}};
  for (cairo_format_t format : {CAIRO_FORMAT_A8, CAIRO_FORMAT_A1, CAIRO_FORMAT_RGB16_565, CAIRO_FORMAT_RGB24}) {
    SCOPED_TRACE(format);
    cairo_surface_t* source = cairo_image_surface_create(format, Source::kWidth, Source::kHeight);
    ASSERT_EQ(cairo_surface_status(source), CAIRO_STATUS_SUCCESS);
    std::vector<uint32_t> buffer(size_t(kOutWidth) * kOutHeight, kBeyond);
    EXPECT_FALSE(PerspectiveSampler::sample(source, g, {buffer.data(), kOutWidth, kOutHeight, kOutWidth}, false));
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), kBeyond), kOutWidth * kOutHeight);
    cairo_surface_destroy(source);
  }
}

}  // namespace
}  // namespace gfx
