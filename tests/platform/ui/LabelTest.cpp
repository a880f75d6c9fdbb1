#include "platform/ui/Label.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/gfx/Font.h"

using gfx::Rect;
using gfx::Size;
using ui::Label;

using LabelInWindow = uitest::WindowTest;

TEST(LabelSizing, OneLineUnwrappedOrWrappedToTheWidth) {
  auto label = Label::create(Rect(0, 0, 100, 30));
  EXPECT_EQ(label->sizeThatFits({100, 0}), (Size{0, 0}));
  label->setFont(gfx::Font::systemFont(20));
  label->setText("Hello, world: a somewhat long line of text");
  Size one = label->sizeThatFits({100, 0});
  EXPECT_GT(one.width, 100);  // one line does not wrap
  EXPECT_EQ(one.width, std::ceil(one.width));
  EXPECT_NEAR(one.height, std::ceil(gfx::Font::systemFont(20)->lineHeight()), 1);

  label->setNumberOfLines(0);
  Size wrapped = label->sizeThatFits({100, 0});
  EXPECT_LE(wrapped.width, 100);
  EXPECT_GE(wrapped.height, 2 * one.height - 2);

  label->setNumberOfLines(2);
  Size two = label->sizeThatFits({100, 0});
  EXPECT_NEAR(two.height, 2 * gfx::Font::systemFont(20)->lineHeight(), 2);

  label->sizeToFit();
  EXPECT_EQ(label->frame().size, label->sizeThatFits({100, 0}));
}

TEST(LabelSizing, TextRectIsLimitedByTheLinesAndTheBounds) {
  auto label = Label::create();
  label->setText("一二三四五六七八九十一二三四五六七八九十");
  label->setFont(gfx::Font::systemFont(10));
  Rect r = label->textRectForBounds(Rect(5, 5, 50, 200), 1);
  EXPECT_EQ(r.origin, (gfx::Point{5, 5}));
  EXPECT_LE(r.width(), 50);
  double line = r.height();
  Rect three = label->textRectForBounds(Rect(5, 5, 50, 200), 3);
  EXPECT_NEAR(three.height(), 3 * line, 0.5);
  EXPECT_EQ(label->textRectForBounds(Rect(0, 0, 50, 200), 0).height(), 4 * line);
}

// A label keeps its text laid out between drawings: every change of the text or of its style is
// measured and laid out anew.
TEST(LabelSizing, EachChangeOfTextOrStyleIsLaidOutAnew) {
  auto label = Label::create(Rect(0, 0, 100, 60));
  label->setFont(gfx::Font::systemFont(17));
  label->setText("Hello");
  EXPECT_EQ(label->visibleLines(), std::vector<std::string>{"Hello"});
  const double hello = label->textRectForBounds(label->bounds(), 1).width();
  label->setText("Hello, world, and a few more words");
  ASSERT_EQ(label->visibleLines().size(), 1u);
  EXPECT_NE(label->visibleLines()[0].find("\u2026"), std::string::npos);
  EXPECT_GT(label->textRectForBounds(label->bounds(), 1).width(), hello);
  label->setLineBreakMode(gfx::LineBreakMode::Clip);
  EXPECT_EQ(label->visibleLines()[0].find("\u2026"), std::string::npos);
  label->setNumberOfLines(0);
  ASSERT_GE(label->visibleLines().size(), 2u);
  const std::string first = label->visibleLines()[0];
  const double tall = label->textRectForBounds(label->bounds(), 0).height();
  label->setFont(gfx::Font::systemFont(8));
  EXPECT_GT(label->visibleLines()[0].size(), first.size());
  EXPECT_LT(label->textRectForBounds(label->bounds(), 0).height(), tall);
}

TEST(LabelSizing, VisibleLinesAreTruncated) {
  auto label = Label::create(Rect(0, 0, 80, 30));
  label->setText("A line that cannot fit here");
  auto lines = label->visibleLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("…"), std::string::npos);
}

TEST_F(LabelInWindow, TextIsCentredVertically) {
  auto label = Label::create(Rect(0, 0, 60, 60));
  label->setText("██");
  label->setFont(gfx::Font::systemFont(12));
  label->setBackgroundColor(gfx::Color::whiteColor());
  window->addSubview(label);
  auto image = uitest::render(*label);
  ASSERT_TRUE(image);
  // Dark ink somewhere in the middle band, none near the top or bottom edges.
  auto dark = [&](int y) {
    for (int x = 0; x < 60; ++x) {
      if ((image->pixelAt(x, y) & 0xFF) < 0x80) return true;
    }
    return false;
  };
  EXPECT_TRUE(dark(30));
  EXPECT_FALSE(dark(5));
  EXPECT_FALSE(dark(55));
}

TEST_F(LabelInWindow, TextIsDrawnWholeBeyondALowFrameUnlessItClips) {
  auto container = ui::View::create(Rect(0, 0, 200, 100));
  container->setBackgroundColor(gfx::Color::whiteColor());
  window->addSubview(container);
  auto label = Label::create(Rect(10, 44, 180, 12));  // lower than the font's line
  label->setText("ygzg");
  label->setFont(gfx::Font::systemFont(24));
  container->addSubview(label);
  auto inkBelowTheFrame = [&] {
    auto image = uitest::render(*container);
    for (int y = 56; y < 70; ++y)
      for (int x = 10; x < 190; ++x)
        if ((image->pixelAt(x, y) & 0xFF) < 0x80) return true;
    return false;
  };
  EXPECT_TRUE(inkBelowTheFrame());  // the descenders
  label->setClipsToBounds(true);
  EXPECT_FALSE(inkBelowTheFrame());
}

TEST_F(LabelInWindow, HighlightedAndDisabledColours) {
  auto label = Label::create(Rect(0, 0, 40, 30));
  label->setText("██");
  label->setTextColor(gfx::Color::red());
  label->setHighlightedTextColor(gfx::Color::blue());
  label->setTextAlignment(gfx::TextAlignment::Center);
  window->addSubview(label);
  auto ink = [&] {
    auto image = uitest::render(*label);
    uint32_t best = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        uint32_t p = image->pixelAt(x, y);
        if ((p >> 24) > (best >> 24)) best = p;
      }
    }
    return best;
  };
  EXPECT_EQ(ink(), 0xFFFF0000u);
  label->setHighlighted(true);
  EXPECT_EQ(ink(), 0xFF0000FFu);
  label->setHighlighted(false);
  label->setEnabled(false);
  EXPECT_LT(ink() >> 24, 0xFFu);
  EXPECT_FALSE(label->isUserInteractionEnabled());
}
