#include "assets/Pictogram.h"

#include <gtest/gtest.h>

#include "assets/Painter.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

namespace kt::assets {
namespace {

using K = Pictogram::Kind;

// Whether any pixel of the rectangle (in pixels) has some alpha.
bool inkIn(const gfx::Image& image, int x0, int y0, int x1, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if ((image.pixelAt(x, y) >> 24) > 0) return true;
  return false;
}

TEST(PictogramTest, EveryKindDrawsInsideItsBoxOnly) {
  for (int k = static_cast<int>(K::Play); k <= static_cast<int>(K::Gift); ++k) {
    auto context = gfx::Context::bitmap({40, 40}, 2);
    ASSERT_NE(context, nullptr);
    Pictogram::draw(*context, static_cast<K>(k), gfx::Rect(8, 8, 24, 24), gfx::Color(1, 1, 1));
    auto image = context->makeImage();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(inkIn(*image, 16, 16, 64, 64)) << "kind " << k;
    EXPECT_FALSE(inkIn(*image, 0, 0, 80, 16)) << "kind " << k << " above its box";
    EXPECT_FALSE(inkIn(*image, 0, 64, 80, 80)) << "kind " << k << " below its box";
    EXPECT_FALSE(inkIn(*image, 0, 0, 16, 80)) << "kind " << k << " left of its box";
    EXPECT_FALSE(inkIn(*image, 64, 0, 80, 80)) << "kind " << k << " right of its box";
  }
}

TEST(PictogramTest, AWideBoxCentresASquarePictogram) {
  auto context = gfx::Context::bitmap({60, 20}, 1);
  ASSERT_NE(context, nullptr);
  Pictogram::draw(*context, K::Minus, gfx::Rect(0, 0, 60, 20), gfx::Color(1, 0, 0));
  auto image = context->makeImage();
  EXPECT_TRUE(inkIn(*image, 20, 0, 40, 20));
  EXPECT_FALSE(inkIn(*image, 0, 0, 19, 20));
  EXPECT_FALSE(inkIn(*image, 41, 0, 60, 20));
  // Drawn in the colour given.
  const uint32_t middle = image->pixelAt(30, 10);
  EXPECT_EQ(middle >> 24, 255u);
  EXPECT_EQ((middle >> 16) & 0xFF, 255u);
  EXPECT_EQ(middle & 0xFFFF, 0u);
}

TEST(PictogramTest, CutOutsLeaveWhatLiesBeneath) {
  // The record and the gift cut gaps into themselves, not into the picture under them.
  for (K kind : {K::Record, K::Gift}) {
    auto context = gfx::Context::bitmap({24, 24}, 2);
    ASSERT_NE(context, nullptr);
    context->setFillColor(gfx::Color(0, 0, 1));
    context->fillRect(gfx::Rect(0, 0, 24, 24));
    Pictogram::draw(*context, kind, gfx::Rect(0, 0, 24, 24), gfx::Color(1, 1, 1));
    auto image = context->makeImage();
    for (int y = 0; y < image->pixelHeight(); ++y)
      for (int x = 0; x < image->pixelWidth(); ++x)
        ASSERT_EQ(image->pixelAt(x, y) >> 24, 255u) << "hole at " << x << "," << y;
  }
}

TEST(PictogramTest, AnEmptyBoxDrawsNothing) {
  auto context = gfx::Context::bitmap({10, 10}, 1);
  Pictogram::draw(*context, K::Star, gfx::Rect(2, 2, 0, 6), gfx::Color(1, 1, 1));
  EXPECT_FALSE(inkIn(*context->makeImage(), 0, 0, 10, 10));
}

TEST(PainterTest, BackdropCoversEverythingAndRepeatsItself) {
  auto draw = [](unsigned seed) {
    auto context = gfx::Context::bitmap({64, 48}, 1);
    Painter(*context).backdrop({64, 48}, palette::dusk(), palette::night(), seed);
    return context->makeImage();
  };
  auto a = draw(3), b = draw(3), c = draw(4);
  bool differs = false;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(a->pixelAt(x, y) >> 24, 255u);
      ASSERT_EQ(a->pixelAt(x, y), b->pixelAt(x, y));
      differs = differs || a->pixelAt(x, y) != c->pixelAt(x, y);
    }
  EXPECT_TRUE(differs);
}

TEST(PainterTest, TextIsCentredInItsRectangle) {
  auto context = gfx::Context::bitmap({200, 40}, 1);
  Painter(*context).text("点歌", gfx::Rect(0, 0, 200, 40), 20, gfx::Color(1, 1, 1), true);
  auto image = context->makeImage();
  EXPECT_TRUE(inkIn(*image, 80, 5, 120, 35));
  EXPECT_FALSE(inkIn(*image, 0, 0, 70, 40));
  EXPECT_FALSE(inkIn(*image, 130, 0, 200, 40));
}

}  // namespace
}  // namespace kt::assets
