#include "widgets/feedback/AORadialGradientLayer.h"

#include <gtest/gtest.h>

#include "platform/gfx/Transaction.h"
#include "widgets/feedback/LayerPixels.h"

namespace kt {
namespace {

using testing::pixelAt;
using testing::render;

TEST(AORadialGradientLayerTest, RadialGradientDarkensOutwardToThreeQuartersBlack) {
  auto layer = AORadialGradientLayer::create();
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  layer->setFrame(gfx::Rect(0, 0, 1024, 768));
  gfx::Transaction::commit();
  layer->setGradientCenter(gfx::Point{512, 384});
  layer->setNeedsDisplay();
  auto image = render(*layer);
  ASSERT_TRUE(image);
  EXPECT_LE(pixelAt(*image, 512, 384).a, 2);
  // 384 from the centre: half way to the end circle (radius 768).
  EXPECT_NEAR(pixelAt(*image, 512, 0).a, 0.75 * 255 / 2, 4);
  EXPECT_NEAR(pixelAt(*image, 0, 0).a, 0.75 * 255 * 640 / 768, 4);
  EXPECT_EQ(pixelAt(*image, 0, 0).r, 0);

  // Beyond the end circle: black at 75 %.
  layer->setGradientCenter(gfx::Point{0, 0});
  layer->setNeedsDisplay();
  image = render(*layer);
  EXPECT_NEAR(pixelAt(*image, 1000, 700).a, 191, 2);
  EXPECT_NEAR(pixelAt(*image, 600, 500).a, 191, 2);  // 781 away
}

}  // namespace
}  // namespace kt
