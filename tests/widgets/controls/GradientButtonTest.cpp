// The gradient button painted on its own: the preset gradients running bottom to top, the held-down
// look only in the plain highlighted state, gradients kept once made, the snapped outline, lists
// that make no gradient, sizes too small to paint, and the archive.
#include "widgets/controls/GradientButton.h"

#include <gtest/gtest.h>

#include "platform/gfx/Context.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::GradientButton;
using kt::testing::Pixel;
using kt::testing::pixelAt;

// Within two steps of 255 of the colour.
void expectColor(const Pixel& p, double r, double g, double b, const char* where) {
  EXPECT_GT(p.a, 250) << where;
  EXPECT_NEAR(p.r, r * 255, 2.5) << where;
  EXPECT_NEAR(p.g, g * 255, 2.5) << where;
  EXPECT_NEAR(p.b, b * 255, 2.5) << where;
}

std::shared_ptr<GradientButton> orange() {
  auto button = GradientButton::create(gfx::Rect(0, 0, 100, 41));
  button->useSimpleOrangeStyle();
  return button;
}

TEST(GradientButtonTest, GradientRunsFromTheBottomStopToTheTopStop) {
  auto button = orange();
  auto image = kt::testing::render(*button->layer());
  // Location 0 lies on the bottom edge (y 40.5), 1 on the top edge, interpolated between.
  expectColor(pixelAt(*image, 50, 0), 0.970, 0.582, 0.0, "top");
  expectColor(pixelAt(*image, 50, 39), 0.935, 0.403, 0.020, "bottom");
  const double t = (40.5 - 20.5) / 40.5;
  expectColor(pixelAt(*image, 50, 20), 0.935 + t * 0.035, 0.403 + t * 0.179, 0.020 * (1 - t), "middle");
  // No stroke weight: no outline, and the rounded corner leaves the very corner clear.
  EXPECT_EQ(pixelAt(*image, 0, 0).a, 0);
  EXPECT_EQ(button->titleColorForState(ui::ControlStateNormal), gfx::Color::whiteColor());
}

TEST(GradientButtonTest, HeldDownLookOnlyInThePlainHighlightedStateNotWhenAlsoSelected) {
  auto button = orange();
  button->setHighlighted(true);
  expectColor(pixelAt(*kt::testing::render(*button->layer()), 50, 0), 0.935, 0.400, 0.0, "held top");
  button->setSelected(true);
  expectColor(pixelAt(*kt::testing::render(*button->layer()), 50, 0), 0.970, 0.582, 0.0, "held and selected");
}

TEST(GradientButtonTest, GradientsAreKeptOnceMadeButLaterTitleColoursApply) {
  auto button = GradientButton::create(gfx::Rect(0, 0, 100, 41));
  button->useWhiteStyle();
  ASSERT_NE(button->normalGradient(), nullptr);
  button->useBlackStyle();
  button->setNeedsDisplay();
  expectColor(pixelAt(*kt::testing::render(*button->layer()), 50, 0), 0.995, 0.995, 0.995, "still white");
  EXPECT_EQ(button->titleColorForState(ui::ControlStateNormal), gfx::Color::whiteColor());
  EXPECT_EQ(button->normalGradientColors()->size(), 4u);
}

TEST(GradientButtonTest, OutlineSnapsItsWidthAndCoordinatesToPixels) {
  auto button = GradientButton::create(gfx::Rect(0, 0, 100, 40));
  const double resolution = 0.5 * (100 / 99.5 + 1);
  button->setStrokeWeight(1.0);
  EXPECT_DOUBLE_EQ(button->outline()->lineWidth, 1 / resolution);
  button->setStrokeWeight(0.4);
  EXPECT_DOUBLE_EQ(button->outline()->lineWidth, 1 / resolution);
  button->setStrokeWeight(1.6);
  EXPECT_DOUBLE_EQ(button->outline()->lineWidth, 2 / resolution);
  button->setStrokeWeight(0);
  EXPECT_DOUBLE_EQ(button->outline()->lineWidth, 0);

  // Radius 0: the straight edges run along x 0 and W - 0.5, y 0 and H - 0.5, snapped (align 0.5
  // for weight 1).
  button->setStrokeWeight(1.0);
  const auto outline = button->outline();
  ASSERT_TRUE(outline);
  const auto& e = outline->path.elements();
  ASSERT_EQ(e.size(), 10u);
  auto snap = [&](double v) { return (std::round(resolution * v + 0.5) - 0.5) / resolution; };
  EXPECT_EQ(e[2].points[0], (gfx::Point{snap(99.5), snap(0)}));  // right edge, up
  EXPECT_EQ(e[4].points[0], (gfx::Point{snap(0), snap(0)}));     // top edge, leftward
  EXPECT_EQ(e[6].points[0], (gfx::Point{snap(0), snap(40)}));    // left edge, down
  EXPECT_EQ(e[8].points[0], (gfx::Point{snap(100), snap(39.5)}));  // bottom edge, rightward

  // Painted in the stroke colour.
  button->setStrokeColor(gfx::Color::blue());
  EXPECT_GT(pixelAt(*kt::testing::render(*button->layer()), 0, 20).b, 200);
}

TEST(GradientButtonTest, ListsThatCannotMakeAGradientPaintNone) {
  auto button = GradientButton::create(gfx::Rect(0, 0, 100, 40));
  button->setNormalGradientColors(std::vector<gfx::Color>{gfx::Color::red(), gfx::Color::blue()});
  button->setNormalGradientLocations(std::vector<float>{0.0f});
  EXPECT_EQ(button->normalGradient(), nullptr);
  EXPECT_EQ(pixelAt(*kt::testing::render(*button->layer()), 50, 20).a, 0);
  button->setNormalGradientColors(std::vector<gfx::Color>{});
  button->setNormalGradientLocations(std::vector<float>{});
  EXPECT_EQ(button->normalGradient(), nullptr);
  // Nothing was kept: mended lists make the gradient at the next read.
  button->setNormalGradientColors(std::vector<gfx::Color>{gfx::Color::red()});
  button->setNormalGradientLocations(std::vector<float>{0.5f});
  ASSERT_NE(button->normalGradient(), nullptr);
  EXPECT_EQ(button->normalGradient()->stops().size(), 1u);
}

TEST(GradientButtonTest, SizesTheScaleCannotDivideByPaintNothing) {
  for (gfx::Size size : {gfx::Size{0.5, 40}, gfx::Size{100, 0}, gfx::Size{0, 0}}) {
    auto button = GradientButton::create(gfx::Rect(gfx::Point{}, size));
    button->useAlertStyle();
    button->setStrokeWeight(1);
    EXPECT_FALSE(button->outline());
    auto ctx = gfx::Context::bitmap({4, 4}, 1);
    button->drawRect(*ctx, button->bounds());
    EXPECT_EQ(pixelAt(*ctx->makeImage(), 0, 0).a, 0);
  }
}

TEST(GradientButtonTest, ArchiveWithoutNormalColoursTakesTheWhiteLookAndTheDarkBlueStroke) {
  auto button = GradientButton::initWithCoder(core::Value(core::Value::Dictionary{}));
  EXPECT_EQ(button->cornerRadius(), 9.0);
  EXPECT_EQ(button->strokeWeight(), 1.0);
  EXPECT_EQ(*button->strokeColor(), gfx::Color(0.076, 0.103, 0.195, 1.0));
  EXPECT_EQ(button->normalGradientLocations(), (std::vector<float>{0.0f, 1.0f, 0.601f}));

  auto source = orange();
  source->setCornerRadius(4);
  auto copy = GradientButton::initWithCoder(source->encodeWithCoder());
  EXPECT_EQ(copy->cornerRadius(), 0.0);
  EXPECT_EQ(copy->normalGradientColors(), source->normalGradientColors());
  EXPECT_EQ(copy->highlightGradientLocations(), source->highlightGradientLocations());

  // An entry that is not a colour drops its list rather than a part of it.
  core::Value bad = source->encodeWithCoder();
  bad.set("highlightGradientColors", core::Value(core::Value::Array{core::Value("red")}));
  auto damaged = GradientButton::initWithCoder(bad);
  EXPECT_FALSE(damaged->highlightGradientColors());
  EXPECT_EQ(damaged->normalGradientColors(), source->normalGradientColors());
}

}  // namespace
