// The effect label rendered on its own: the default drop shadow, no shadow when it is switched off,
// the gradient across the glyphs (mixed with the text colour), the inner shadow band, highlight,
// the off-screen path, the sample clamp and where the text is placed.
#include "widgets/controls/EffectLabel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::EffectLabel;
using kt::testing::Pixel;
using kt::testing::pixelAt;

// A wide bar ("一") or a tall stroke ("I"), large, centred in a transparent 300 x 240 label.
std::shared_ptr<EffectLabel> label(const std::string& text) {
  auto l = EffectLabel::create(gfx::Rect(0, 0, 300, 240));
  l->setText(text);
  l->setFont(gfx::Font::boldSystemFont(180));
  l->setTextAlignment(gfx::TextAlignment::Center);
  l->setTextColor(gfx::Color::black());
  return l;
}

// The first and last rows of the centre column where the glyph is solid.
struct Rows {
  int top = -1, bottom = -1;
};
Rows solidRows(const gfx::Image& image, double x) {
  Rows r;
  for (int y = 0; y < 240; ++y) {
    if (pixelAt(image, x, y).a > 200) {
      if (r.top < 0) r.top = y;
      r.bottom = y;
    }
  }
  return r;
}

TEST(EffectLabelTest, DefaultShadowFallsTwoPointsBelowAndSwitchingItOffDrawsNone) {
  auto l = label("一");
  EXPECT_EQ(*l->shadowColor(), gfx::Color(0, 0, 0, 0.75));
  l->setShadowColor(gfx::Color::clear());
  auto plain = kt::testing::render(*l->layer());
  const Rows bar = solidRows(*plain, 150);
  ASSERT_GT(bar.top, 0);
  ASSERT_GT(bar.bottom - bar.top, 6);
  EXPECT_EQ(pixelAt(*plain, 150, bar.bottom + 3).a, 0);
  EXPECT_EQ(pixelAt(*plain, 150, bar.top - 3).a, 0);

  l->setShadowColor(gfx::Color(0, 0, 0, 0.75));
  auto shadowed = kt::testing::render(*l->layer());
  const Pixel below = pixelAt(*shadowed, 150, bar.bottom + 3), above = pixelAt(*shadowed, 150, bar.top - 3);
  EXPECT_GT(below.a, 40);
  EXPECT_GT(below.a, above.a + 20);  // offset downwards
  EXPECT_LT(below.r + below.g + below.b, 30);
  EXPECT_EQ(solidRows(*shadowed, 150).top, bar.top);  // the glyph itself stays put

  // Blur 0 and no offset: no shadow either.
  l->setShadowBlur(0);
  l->setShadowOffset(gfx::Size{0, 0});
  auto none = kt::testing::render(*l->layer());
  EXPECT_EQ(pixelAt(*none, 150, bar.bottom + 3).a, 0);
}

TEST(EffectLabelTest, GradientRunsDownTheTextAndSemiTransparentColoursAreMixedWithTheTextColour) {
  auto l = label("I");
  l->setShadowColor(std::nullopt);
  l->setGradientColors({gfx::Color::red(), gfx::Color::blue()});
  auto image = kt::testing::render(*l->layer());
  const Rows stem = solidRows(*image, 150);
  ASSERT_GT(stem.bottom - stem.top, 40);
  // From red at the top of the text's rectangle to blue at three quarters of its height.
  const gfx::Rect text = l->textPlacement().rect;
  for (int y : {stem.top + 2, (stem.top + stem.bottom) / 2}) {
    const double t = std::clamp((y + 0.5 - text.y()) / (text.height() * 0.75), 0.0, 1.0);
    const Pixel p = pixelAt(*image, 150, y);
    EXPECT_NEAR(p.r, 255 * (1 - t), 12) << y;
    EXPECT_NEAR(p.b, 255 * t, 12) << y;
  }
  const Pixel top = pixelAt(*image, 150, stem.top + 2), bottom = pixelAt(*image, 150, stem.bottom - 1);
  EXPECT_GT(top.r, bottom.r + 40);
  if (stem.bottom > text.y() + text.height() * 0.75) {
    EXPECT_GT(bottom.b, 245);  // past three quarters of the text: the last colour
  }

  // One colour: the text colour alone.
  l->setGradientColors({gfx::Color::red()});
  auto single = kt::testing::render(*l->layer());
  const Pixel mid = pixelAt(*single, 150, (stem.top + stem.bottom) / 2);
  EXPECT_LT(mid.r + mid.g + mid.b, 10);

  // Half-transparent red over blue text is purple, fully opaque.
  l->setTextColor(gfx::Color::blue());
  l->setGradientColors({gfx::Color(1, 0, 0, 0.5), gfx::Color(1, 0, 0, 0.5)});
  auto mixed = kt::testing::render(*l->layer());
  const Pixel p = pixelAt(*mixed, 150, (stem.top + stem.bottom) / 2);
  EXPECT_GT(p.a, 250);
  EXPECT_NEAR(p.r, 128, 6);
  EXPECT_NEAR(p.b, 128, 6);
  EXPECT_EQ(l->gradientStartColor(), gfx::Color(1, 0, 0, 0.5));

  // The start and end colour setters make a pair out of nothing and clear with nothing.
  l->setGradientColors({});
  l->setGradientEndColor(gfx::Color::green());
  EXPECT_EQ(l->gradientColors(), (std::vector<gfx::Color>{gfx::Color::green(), gfx::Color::green()}));
  l->setGradientStartColor(gfx::Color::red());
  EXPECT_EQ(l->gradientColors(), (std::vector<gfx::Color>{gfx::Color::red(), gfx::Color::green()}));
  l->setGradientStartColor(std::nullopt);
  EXPECT_TRUE(l->gradientColors().empty());
}

TEST(EffectLabelTest, InnerShadowLeavesItsColourAlongTheEdgeTheOffsetUncovers) {
  auto l = label("一");
  l->setShadowColor(std::nullopt);
  auto plain = kt::testing::render(*l->layer());
  const Rows bar = solidRows(*plain, 150);
  ASSERT_GT(bar.bottom - bar.top, 8);

  l->setInnerShadowColor(gfx::Color::red());
  l->setInnerShadowOffset(gfx::Size{0, 4});
  auto image = kt::testing::render(*l->layer());
  const Pixel edge = pixelAt(*image, 150, bar.top + 1), inside = pixelAt(*image, 150, bar.bottom - 1);
  EXPECT_GT(edge.r, 200);
  EXPECT_LT(edge.g + edge.b, 30);
  EXPECT_LT(inside.r + inside.g + inside.b, 30);
  EXPECT_GT(inside.a, 200);
  // Nothing outside the glyph.
  EXPECT_EQ(pixelAt(*image, 150, bar.top - 4).a, 0);
}

TEST(EffectLabelTest, HighlightOversamplingAndPlacement) {
  auto l = label("一");
  l->setShadowColor(std::nullopt);
  l->setTextColor(gfx::Color::red());
  l->setHighlighted(true);
  auto image = kt::testing::render(*l->layer());
  const Rows bar = solidRows(*image, 150);
  ASSERT_GE(bar.top, 0);
  EXPECT_GT(pixelAt(*image, 150, (bar.top + bar.bottom) / 2).r, 240);

  // Through the off-screen image (more samples, or a background) the text is the same.
  l->setOversampling(100);
  EXPECT_EQ(l->oversampling(), 32u);
  l->setOversampling(0);
  EXPECT_EQ(l->oversampling(), l->minSamples());
  EXPECT_EQ(l->minSamples(), 1u);  // samples a pixel of the context drawn into
  l->setOversampling(4);
  l->setBackgroundColor(gfx::Color::whiteColor());
  auto sampled = kt::testing::render(*l->layer());
  EXPECT_GT(pixelAt(*sampled, 150, (bar.top + bar.bottom) / 2).r, 240);
  EXPECT_LT(pixelAt(*sampled, 150, (bar.top + bar.bottom) / 2).g, 20);
  EXPECT_GT(pixelAt(*sampled, 150, 5).g, 240);

  // Right-aligned at the bottom of the inset content.
  l->setFont(gfx::Font::systemFont(20));
  l->setTextAlignment(gfx::TextAlignment::Right);
  l->setContentMode(ui::ContentMode::Bottom);
  l->setTextInsets(gfx::EdgeInsets{10, 20, 30, 40});
  const gfx::Rect r = l->textPlacement().rect;
  EXPECT_DOUBLE_EQ(r.x() + r.width(), 260);
  EXPECT_DOUBLE_EQ(r.y() + r.height(), 210);
  l->setContentMode(ui::ContentMode::TopLeft);
  l->setTextAlignment(gfx::TextAlignment::Left);
  EXPECT_EQ(l->textPlacement().rect.origin, (gfx::Point{20, 10}));
}

// Made while the screen drew at one pixel a point and drawn at 2.8125 (the window since made full
// screen on a larger display), a label with a background draws its off-screen picture at the
// context's scale: the glyph's edges as sharp as the label drawn straight, not enlarged 2.8 times.
TEST(EffectLabelTest, TheOffScreenPictureIsDrawnAtTheScaleOfTheContextDrawnInto) {
  ui::Screen::main().setDrawingScale(1);
  auto l = label("一");
  ui::Screen::main().reset();
  l->setShadowColor(std::nullopt);
  const double k = 2.8125;
  // Rows of the centre column between white and black: anti-aliasing at the bar's two edges.
  auto blurredRows = [&](const gfx::Image& image) {
    int rows = 0;
    for (int y = 0; y < image.pixelHeight(); ++y) {
      const Pixel p = pixelAt(image, 150 * k, y);
      if (p.g > 16 && p.g < 239) ++rows;
    }
    return rows;
  };
  auto straight = gfx::Context::bitmap({300, 240}, k, true);
  ASSERT_NE(straight, nullptr);
  straight->setFillColor(gfx::Color::whiteColor());
  straight->fillRect(gfx::Rect(0, 0, 300, 240));
  l->drawRect(*straight, l->bounds());
  const int sharp = blurredRows(*straight->makeImage());
  ASSERT_LE(sharp, 4);

  l->setBackgroundColor(gfx::Color::whiteColor());  // drawn through the off-screen picture
  auto through = gfx::Context::bitmap({300, 240}, k, true);
  ASSERT_NE(through, nullptr);
  through->setFillColor(gfx::Color::whiteColor());
  through->fillRect(gfx::Rect(0, 0, 300, 240));
  l->drawRect(*through, l->bounds());
  auto image = through->makeImage();
  EXPECT_LE(blurredRows(*image), sharp) << "drawn straight: " << sharp;
  int black = 0;
  for (int y = 0; y < image->pixelHeight(); ++y) black += pixelAt(*image, 150 * k, y).g <= 16;
  EXPECT_GT(black, 20);  // the bar is there
}

TEST(EffectLabelTest, ComponentsOfAPatternColourAreLoggedAndOpaqueBlack) {
  std::array<double, 4> c{};
  std::vector<std::string> lines;
  auto previous = core::setLogSink([&](const std::string& line) { lines.push_back(line); });
  EffectLabel::getComponents(c, gfx::Color::patternImage(gfx::Image::fromPixels(1, 1, {0xff00ff00u})));
  core::setLogSink(previous);
  EXPECT_EQ(c, (std::array<double, 4>{0, 0, 0, 1}));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Unsupported gradient color format: 6"), std::string::npos) << lines[0];
}

TEST(EffectLabelTest, FittingShrinksTheFontToTheWidth) {
  auto l = label("一二三四五六");
  l->setFont(gfx::Font::systemFont(60));
  l->setNumberOfLines(1);
  l->setAdjustsFontSizeToFitWidth(true);
  l->setMinimumScaleFactor(0.1);
  const auto placement = l->textPlacement();
  EXPECT_LT(placement.pointSize, 60);
  EXPECT_LE(placement.rect.width(), 300);
}

class EffectLabelScreenTest : public support::ScreenTest {};

TEST_F(EffectLabelScreenTest, Screenshot) {
  auto plain = label("收银台");
  plain->setFont(gfx::Font::boldSystemFont(60));
  plain->setFrame(gfx::Rect(40, 40, 400, 120));
  auto fancy = label("包厢套餐");
  fancy->setFont(gfx::Font::boldSystemFont(60));
  fancy->setFrame(gfx::Rect(40, 200, 400, 120));
  fancy->setGradientColors({gfx::Color(1, 0.85, 0.2), gfx::Color(0.8, 0.1, 0.1)});
  fancy->setInnerShadowColor(gfx::Color::whiteColor());
  fancy->setInnerShadowOffset(gfx::Size{0, 2});
  window().addSubview(plain);
  window().addSubview(fancy);
  auto shot = screenshot("labels");
  ASSERT_TRUE(shot);
}

}  // namespace
