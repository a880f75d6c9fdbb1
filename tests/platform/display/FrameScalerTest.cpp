#include "platform/display/FrameScaler.h"

#include <gtest/gtest.h>
#include <pixman.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using display::FrameScaler;
using display::PixelRect;

// Pixels to draw into, as a window's are: no alpha.
struct Target {
  Target(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0x12345678u) {
    image = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, pixels.data(), w * 4);
  }
  ~Target() { pixman_image_unref(image); }
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFFu; }

  int width, height;
  std::vector<uint32_t> pixels;
  pixman_image_t* image = nullptr;
};

// Pixels that each differ sharply from their neighbours, so that whatever the filter reaches of a
// change shows it.
struct Pattern {
  Pattern(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x)
        pixels[y * w + x] = 0xFF000000u | (static_cast<uint32_t>(x * 97 + y * 57) * 2654435761u >> 8);
    }
  }
  FrameScaler::Frame frame() { return {pixels.data(), width, height, width * 4}; }

  int width, height;
  std::vector<uint32_t> pixels;
};

// Changes drawn only as far as they reach, over a drawing of the frame before them, leave what a
// drawing of the whole new frame shows, pixel for pixel: scaled down, up by fractions, and up by
// factors where the filter reaches several pixels past each changed one; with bars beside the
// picture; changes at the frame's edges (where the edges are padded outwards) and inside.
TEST(FrameScalerTest, ChangesDrawnAsFarAsTheyReachMatchTheWholeFrameDrawn) {
  struct Case {
    int targetWidth, targetHeight;
    PixelRect picture;
  };
  const Case cases[] = {
      {20, 15, {0, 0, 20, 15}},       // half
      {40, 30, {0, 0, 40, 30}},       // the frame's own size
      {50, 37, {0, 0, 50, 37}},       // 1.25 and a little less
      {300, 200, {30, 10, 270, 190}}, // 6 times, with bars on every side
      {320, 240, {0, 0, 320, 240}},   // 8 times
      {548, 411, {0, 0, 548, 411}},   // 13.7 times
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.picture.x1 - c.picture.x0) + " x " + std::to_string(c.picture.y1 - c.picture.y0));
    FrameScaler scaler;
    scaler.setGeometry(c.targetWidth, c.targetHeight, c.picture);
    Pattern pattern(40, 30);
    Target parts(c.targetWidth, c.targetHeight);
    scaler.draw(parts.image, pattern.frame(), {0, 0, c.targetWidth, c.targetHeight});

    uint32_t seed = 12345;
    auto next = [&](int below) {
      seed = seed * 1103515245u + 12345u;
      return static_cast<int>((seed >> 16) % static_cast<uint32_t>(below));
    };
    const PixelRect edges[] = {{0, 0, 1, 1}, {39, 29, 40, 30}, {0, 10, 2, 13}, {37, 0, 40, 1}};
    for (int i = 0; i < 24; ++i) {
      PixelRect change;
      if (i < 4) {
        change = edges[i];
      } else {
        const int x = next(38), y = next(28);
        change = {x, y, x + 1 + next(3), y + 1 + next(2)};
      }
      for (int y = change.y0; y < change.y1; ++y) {
        for (int x = change.x0; x < change.x1; ++x) pattern.pixels[y * 40 + x] = i % 2 ? 0xFFFFFFFFu : 0xFF000000u;
      }
      scaler.draw(parts.image, pattern.frame(), scaler.reach(pattern.frame(), change));
    }

    Target whole(c.targetWidth, c.targetHeight);
    scaler.draw(whole.image, pattern.frame(), {0, 0, c.targetWidth, c.targetHeight});
    int differing = 0;
    for (int y = 0; y < c.targetHeight; ++y) {
      for (int x = 0; x < c.targetWidth; ++x) differing += parts.at(x, y) != whole.at(x, y);
    }
    EXPECT_EQ(differing, 0);
  }
}

// A change reaches its neighbourhood only, within the picture.
TEST(FrameScalerTest, AChangeReachesItsNeighbourhoodWithinThePicture) {
  FrameScaler scaler;
  Pattern pattern(40, 30);
  scaler.setGeometry(300, 200, {30, 10, 270, 190});  // 6 times
  const PixelRect r = scaler.reach(pattern.frame(), {20, 15, 21, 16});
  EXPECT_LE(r.x1 - r.x0, 2 * 6 + 4);
  EXPECT_LE(r.y1 - r.y0, 2 * 6 + 4);
  EXPECT_EQ(scaler.reach(pattern.frame(), {0, 0, 1, 1}).x0, 30);
  EXPECT_EQ(scaler.reach(pattern.frame(), {39, 29, 40, 30}).y1, 190);
  EXPECT_TRUE(scaler.reach(pattern.frame(), {}).isEmpty());

  scaler.setGeometry(40, 30, {0, 0, 40, 30});  // unscaled: exactly the change
  EXPECT_EQ(scaler.reach(pattern.frame(), {3, 4, 5, 9}), (PixelRect{3, 4, 5, 9}));
}

// A change given as far as an int reaches each way (everything) reaches the whole picture, scaled
// or not; one wholly beyond the frame reaches nothing.
TEST(FrameScalerTest, AChangeFarBeyondTheFrameIsCutToTheFrame) {
  FrameScaler scaler;
  Pattern pattern(40, 30);
  const PixelRect everything{-INT_MAX, -INT_MAX, INT_MAX, INT_MAX};
  for (const PixelRect picture : {PixelRect{30, 10, 270, 190}, PixelRect{7, 5, 47, 35}}) {
    scaler.setGeometry(300, 200, picture);
    EXPECT_EQ(scaler.reach(pattern.frame(), everything), picture);
    EXPECT_EQ(scaler.reach(pattern.frame(), {-INT_MAX, 0, 10, 5}).x0, picture.x0);
    EXPECT_EQ(scaler.reach(pattern.frame(), {30, 20, INT_MAX, INT_MAX}).x1, picture.x1);
    EXPECT_TRUE(scaler.reach(pattern.frame(), {INT_MAX - 9, 0, INT_MAX, 30}).isEmpty());
  }
}

// The bars are black, a frame's alpha shows as its colour over black, and with no frame the
// picture is black too.
TEST(FrameScalerTest, BarsAreBlackAndTheFramesAlphaIsDropped) {
  std::vector<uint32_t> pixels(4 * 3, 0x80402010u);  // premultiplied, half transparent
  FrameScaler::Frame frame{pixels.data(), 4, 3, 16};
  FrameScaler scaler;
  scaler.setGeometry(12, 5, {2, 1, 10, 4});  // twice as wide as the frame, as high
  Target target(12, 5);
  scaler.draw(target.image, frame, {0, 0, 12, 5});
  EXPECT_EQ(target.at(0, 0), 0u);
  EXPECT_EQ(target.at(1, 2), 0u);
  EXPECT_EQ(target.at(11, 2), 0u);
  EXPECT_EQ(target.at(5, 4), 0u);
  EXPECT_EQ(target.at(5, 2), 0x402010u);
  EXPECT_EQ(target.at(2, 1), 0x402010u);

  // Drawn only where asked.
  Target part(12, 5);
  scaler.draw(part.image, frame, {4, 2, 6, 3});
  EXPECT_EQ(part.at(4, 2), 0x402010u);
  EXPECT_EQ(part.at(3, 2), 0x345678u);

  scaler.draw(target.image, FrameScaler::Frame{}, {0, 0, 12, 5});
  EXPECT_EQ(target.at(5, 2), 0u);
}

}  // namespace
