#include "imagecache/ForceDecode.h"

#include <gtest/gtest.h>

#include "TestImages.h"

using kt::ForceDecode::decodedImageWithImage;

TEST(ForceDecodeTest, OpaqueImageIsRedrawnWithItsPixelsScaleAndOrientation) {
  const auto decoded = gfx::Image::decode(testimages::jpeg(16, 8));
  ASSERT_TRUE(decoded);
  ASSERT_FALSE(decoded->hasAlpha());
  const kt::ImagePtr source = decoded->withScale(2, gfx::ImageOrientation::Right);
  const kt::ImagePtr redrawn = decodedImageWithImage(source);
  ASSERT_TRUE(redrawn);
  EXPECT_NE(redrawn, source);
  EXPECT_NE(redrawn->cairoSurface(), source->cairoSurface());
  EXPECT_FALSE(redrawn->hasAlpha());
  EXPECT_EQ(redrawn->scale(), 2.0);
  EXPECT_EQ(redrawn->orientation(), gfx::ImageOrientation::Right);
  ASSERT_EQ(redrawn->pixelWidth(), 16);
  ASSERT_EQ(redrawn->pixelHeight(), 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(redrawn->pixelAt(x, y), source->pixelAt(x, y));
}

TEST(ForceDecodeTest, AlphaAnimationsAndNothingStayAsTheyAre) {
  const auto png = gfx::Image::decode(*testimages::solid(4, 4, 0x80400000)->pngData());
  ASSERT_TRUE(png && png->hasAlpha());
  EXPECT_EQ(decodedImageWithImage(png), png);
  const auto opaqueFrame = gfx::Image::decode(testimages::jpeg(4, 4));
  const kt::ImagePtr animation = gfx::Image::animated({opaqueFrame, opaqueFrame}, 0.2);
  EXPECT_EQ(decodedImageWithImage(animation), animation);
  EXPECT_EQ(decodedImageWithImage(nullptr), nullptr);
}
