#pragma once

// Screens drawn at other scales than 2 compared with their scale-2 picture: each picture brought
// to a common size (a quarter of a pixel a point, where text is a blur of its weight and a
// hairline a faint line), then compared pixel by pixel.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Screen.h"

namespace support {

struct PictureDifference {
  double mean = 0;      // of every colour channel of every pixel, 0..255
  double farShare = 0;  // the share of pixels with a channel more than FarApart away
  static constexpr int FarApart = 48;
};

inline std::shared_ptr<gfx::Image> atCommonSize(const gfx::Image& image) {
  auto ctx = gfx::Context::bitmap(image.size(), 0.25, true);
  if (!ctx) return nullptr;
  ctx->drawImage(image, gfx::Rect(gfx::Point(), image.size()));
  return ctx->makeImage();
}

inline PictureDifference differenceOf(const gfx::Image& a, const gfx::Image& b) {
  PictureDifference d;
  const int w = std::min(a.pixelWidth(), b.pixelWidth()), h = std::min(a.pixelHeight(), b.pixelHeight());
  if (w <= 0 || h <= 0) return PictureDifference{255, 1};
  long total = 0, far = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = a.pixelAt(x, y), q = b.pixelAt(x, y);
      int most = 0;
      for (int shift : {0, 8, 16}) {
        const int c = std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF));
        total += c;
        most = std::max(most, c);
      }
      if (most > PictureDifference::FarApart) ++far;
    }
  }
  d.mean = double(total) / (3.0 * w * h);
  d.farShare = double(far) / (double(w) * h);
  return d;
}

// The screen, shot (by `shoot`, which makes a frame) at scale 2, then drawn at 1 and at
// 2.8125 (full screen on a 3840 x 2160 panel): each the size in pixels its scale gives, the screen
// still 1024 x 768 points, and at the common size within a small difference of the first.
// Pictures still coming (from a web server) are waited for first: the screen is shot once two shots
// `pump` apart are the same.
inline void expectTheSameLayoutAtEveryScale(const std::string& name,
                                            const std::function<std::shared_ptr<gfx::Image>(const std::string&)>& shoot,
                                            const std::function<void()>& pump) {
  auto& screen = ui::Screen::main();
  screen.setDrawingScale(std::nullopt);
  for (int i = 0; i < 30; ++i) {
    auto before = shoot(name + "-2");
    pump();
    auto after = shoot(name + "-2");
    ASSERT_TRUE(before && after);
    if (differenceOf(*before, *after).mean == 0) break;
  }
  auto two = shoot(name + "-2");
  ASSERT_NE(two, nullptr);
  ASSERT_EQ(two->pixelWidth(), 2048);
  auto reference = atCommonSize(*two);
  ASSERT_NE(reference, nullptr);
  for (double scale : {1.0, 2.8125}) {
    SCOPED_TRACE(name + " at " + std::to_string(scale));
    screen.setDrawingScale(scale);
    auto shown = shoot(name + "-" + (scale == 1 ? "1" : "2.8125"));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->pixelWidth(), static_cast<int>(1024 * scale));
    EXPECT_EQ(shown->pixelHeight(), static_cast<int>(768 * scale));
    EXPECT_EQ(screen.bounds(), gfx::Rect(0, 0, 1024, 768));
    auto common = atCommonSize(*shown);
    ASSERT_NE(common, nullptr);
    const PictureDifference d = differenceOf(*reference, *common);
    EXPECT_LT(d.mean, 2.5) << "far apart: " << d.farShare;
    EXPECT_LT(d.farShare, 0.02) << "mean: " << d.mean;
  }
  screen.setDrawingScale(std::nullopt);
}

}  // namespace support
