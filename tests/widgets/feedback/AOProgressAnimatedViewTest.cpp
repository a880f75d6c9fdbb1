#include "widgets/feedback/AOProgressAnimatedView.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/core/Clock.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/View.h"
#include "support/RunUntil.h"
#include "widgets/feedback/LayerPixels.h"

namespace kt {
namespace {

using testing::onRing;
using testing::Pixel;
using testing::pixelAt;
using testing::render;

class AOProgressAnimatedViewTest : public ::testing::Test {
 protected:
  support::VirtualClock m_clock;
  std::shared_ptr<ui::View> m_parent = ui::View::create(gfx::Rect(0, 0, 200, 200));
};

TEST_F(AOProgressAnimatedViewTest, RingGeometryFollowsRadiusAndThickness) {
  auto ring = AOProgressAnimatedView::create();
  ring->setStrokeThickness(2);
  ring->setRadius(18);
  EXPECT_EQ(ring->sizeThatFits(gfx::Size{500, 3}), (gfx::Size{48, 48}));
  m_parent->addSubview(ring);
  EXPECT_EQ(ring->ringAnimatedLayer()->bounds(), gfx::Rect(0, 0, 48, 48));

  ring->setRadius(24);
  EXPECT_EQ(ring->sizeThatFits(gfx::Size{}), (gfx::Size{60, 60}));
  EXPECT_EQ(ring->ringAnimatedLayer()->bounds().size, (gfx::Size{60, 60}));
}

TEST_F(AOProgressAnimatedViewTest, LayersExistOnlyWhileInsideAParent) {
  auto ring = AOProgressAnimatedView::create(gfx::Rect(10, 10, 80, 60));
  ring->setRadius(18);
  ring->setStrokeThickness(2);
  EXPECT_TRUE(ring->layer()->sublayers().empty());

  m_parent->addSubview(ring);
  ASSERT_EQ(ring->layer()->sublayers().size(), 1u);
  auto built = ring->layer()->sublayers().front();
  EXPECT_EQ(built.get(), ring->ringAnimatedLayer().get());
  // Centred in the view's bounds.
  EXPECT_EQ(built->position(), (gfx::Point{40, 30}));

  ring->removeFromSuperview();
  EXPECT_TRUE(ring->layer()->sublayers().empty());
  EXPECT_EQ(built->superlayer(), nullptr);

  m_parent->addSubview(ring);
  ASSERT_EQ(ring->layer()->sublayers().size(), 1u);
  EXPECT_NE(ring->layer()->sublayers().front().get(), built.get());

  // A new frame lays the layer out again.
  ring->setFrame(gfx::Rect(0, 0, 100, 100));
  EXPECT_EQ(ring->ringAnimatedLayer()->position(), (gfx::Point{50, 50}));
}

TEST_F(AOProgressAnimatedViewTest, SettingsBeforeTheLayerAreUsedWhenItIsBuilt) {
  auto ring = AOProgressAnimatedView::create();
  ring->setStrokeColor(gfx::Color::red());
  ring->setStrokeThickness(3);
  ring->setRadius(10);
  m_parent->addSubview(ring);
  const auto& layer = ring->ringAnimatedLayer();
  EXPECT_EQ(layer->strokeColor(), gfx::Color::red());
  EXPECT_EQ(layer->lineWidth(), 3);
  EXPECT_EQ(layer->lineCap(), gfx::LineCap::Round);
  // The view's stroke end reaches the layer only through the next setStrokeEnd.
  EXPECT_EQ(layer->strokeEnd(), 1);

  // Later changes go to the existing layer; a new thickness keeps the geometry it was built with.
  ring->setStrokeColor(gfx::Color::blue());
  ring->setStrokeThickness(8);
  EXPECT_EQ(layer->strokeColor(), gfx::Color::blue());
  EXPECT_EQ(layer->lineWidth(), 8);
  EXPECT_EQ(layer->bounds().size, (gfx::Size{33, 33}));
}

TEST_F(AOProgressAnimatedViewTest, QuarterProgressDrawsFromTwelveToThreeOClock) {
  auto ring = AOProgressAnimatedView::create();
  ring->setStrokeColor(gfx::Color::red());
  ring->setStrokeThickness(4);
  ring->setRadius(18);
  m_parent->addSubview(ring);
  ring->setStrokeEnd(0.25);
  // The change animates as a shape layer's stroke does; let it end.
  core::Clock::advance(1);
  auto& layer = *ring->ringAnimatedLayer();
  EXPECT_EQ(layer.presentation().strokeEnd, 0.25);

  auto image = render(layer);
  ASSERT_TRUE(image);
  const double c = 18 + 2 + 5;
  for (double deg : {10.0, 45.0, 80.0}) {
    Pixel p = pixelAt(*image, onRing(c, 18, deg).x, onRing(c, 18, deg).y);
    EXPECT_GT(p.a, 200) << deg;
    EXPECT_GT(p.r, 200) << deg;
    EXPECT_LT(p.g, 40) << deg;
  }
  for (double deg : {110.0, 180.0, 270.0, 340.0}) {
    EXPECT_EQ(pixelAt(*image, onRing(c, 18, deg).x, onRing(c, 18, deg).y).a, 0) << deg;
  }
  // Nothing inside the ring.
  EXPECT_EQ(pixelAt(*image, c, c).a, 0);

  // The whole circle at 1.
  ring->setStrokeEnd(1);
  core::Clock::advance(1);
  image = render(layer);
  for (double deg : {110.0, 180.0, 270.0, 340.0}) {
    EXPECT_GT(pixelAt(*image, onRing(c, 18, deg).x, onRing(c, 18, deg).y).a, 200) << deg;
  }
}

}  // namespace
}  // namespace kt
