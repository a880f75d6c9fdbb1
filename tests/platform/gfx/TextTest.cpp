#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <string>
#include <vector>

#include "platform/core/Log.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

namespace {

using gfx::Color;
using gfx::Context;
using gfx::Font;
using gfx::LineBreakMode;
using gfx::Rect;
using gfx::Size;
using gfx::TextAlignment;
using gfx::TextLayout;
using gfx::TextStyle;

const char* kChinese = "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C";  // 你好世界
const char* kEllipsis = "\xE2\x80\xA6";
const char* kPangram = "The quick brown fox jumps over the lazy dog";

TextStyle styleWith(double size, LineBreakMode mode = LineBreakMode::WordWrap) {
  TextStyle s;
  s.font = Font::systemFont(size);
  s.lineBreak = mode;
  return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The width Pango itself gives the text on a context of its own at 72 dpi without hinting.
double pangoWidth(const std::string& text, const char* family, double size) {
  PangoContext* ctx = pango_font_map_create_context(pango_cairo_font_map_get_default());
  pango_cairo_context_set_resolution(ctx, 72);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(ctx, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(ctx, FALSE);
  PangoLayout* layout = pango_layout_new(ctx);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family);
  pango_font_description_set_absolute_size(desc, size * PANGO_SCALE);
  pango_layout_set_font_description(layout, desc);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  int w = 0, h = 0;
  pango_layout_get_size(layout, &w, &h);
  pango_font_description_free(desc);
  g_object_unref(layout);
  g_object_unref(ctx);
  return double(w) / PANGO_SCALE;
}

// The bounding box of pixels with any alpha; null when there are none.
Rect inkBounds(const gfx::Image& image) {
  int x1 = image.pixelWidth(), y1 = image.pixelHeight(), x2 = -1, y2 = -1;
  for (int y = 0; y < image.pixelHeight(); ++y)
    for (int x = 0; x < image.pixelWidth(); ++x)
      if (image.pixelAt(x, y) >> 24) {
        x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
      }
  if (x2 < 0) return Rect::null();
  return Rect(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

// Sums of the red and blue of the ink in columns [x1, x2).
std::pair<long, long> redAndBlue(const gfx::Image& image, int x1, int x2) {
  long red = 0, blue = 0;
  for (int y = 0; y < image.pixelHeight(); ++y)
    for (int x = x1; x < x2; ++x) {
      uint32_t p = image.pixelAt(x, y);
      red += (p >> 16) & 0xFF;
      blue += p & 0xFF;
    }
  return {red, blue};
}

// ---- Fonts ----

TEST(TextTest, SystemFontIsTheCjkFaceWithConsistentMetrics) {
  auto f = Font::systemFont(17);
  EXPECT_EQ(f->familyName(), Font::SystemFamily);
  EXPECT_EQ(f->pointSize(), 17);
  EXPECT_FALSE(f->isBold());
  EXPECT_FALSE(f->isFallback());
  EXPECT_GT(f->ascender(), 0);
  EXPECT_LT(f->descender(), 0);
  EXPECT_NEAR(f->lineHeight(), f->ascender() - f->descender(), 1e-9);
  // A line is taller than the size but not absurdly so.
  EXPECT_GT(f->lineHeight(), 17);
  EXPECT_LT(f->lineHeight(), 17 * 2);
  // Unhinted metrics scale with the size.
  EXPECT_NEAR(Font::systemFont(34)->lineHeight(), 2 * f->lineHeight(), 0.05);
  EXPECT_NEAR(f->withSize(34)->lineHeight(), 2 * f->lineHeight(), 0.05);

  auto bold = Font::boldSystemFont(17);
  EXPECT_TRUE(bold->isBold());
  EXPECT_EQ(bold->familyName(), Font::SystemFamily);
  EXPECT_GT(TextLayout(kPangram, TextStyle::withFont(bold)).size().width,
            TextLayout(kPangram, TextStyle::withFont(f)).size().width);
}

TEST(TextTest, NamedFontsResolveByFamilyOrPostScriptName) {
  auto byFamily = Font::font("DejaVu Sans", 12);
  EXPECT_FALSE(byFamily->isFallback());
  EXPECT_EQ(byFamily->familyName(), "DejaVu Sans");
  EXPECT_FALSE(byFamily->isBold());

  auto byPostScript = Font::font("DejaVuSans-Bold", 12);
  EXPECT_FALSE(byPostScript->isFallback());
  EXPECT_EQ(byPostScript->familyName(), "DejaVu Sans");
  EXPECT_TRUE(byPostScript->isBold());
  EXPECT_EQ(byPostScript->name(), "DejaVuSans-Bold");
  // A different face measures differently from the system one.
  EXPECT_NE(TextLayout(kPangram, TextStyle::withFont(byFamily)).size().width,
            TextLayout(kPangram, TextStyle::withFont(Font::systemFont(12))).size().width);
}

TEST(TextTest, MissingFamilyFallsBackToTheSystemFontAndSaysSo) {
  std::vector<std::string> logged;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { logged.push_back(line); });
  auto f = Font::font("NoSuchTypeface-BoldItalic", 22);
  auto again = Font::font("NoSuchTypeface-BoldItalic", 22);
  core::setLogSink(previous);

  EXPECT_TRUE(f->isFallback());
  EXPECT_EQ(f->familyName(), Font::SystemFamily);
  EXPECT_EQ(f->name(), "NoSuchTypeface-BoldItalic");
  EXPECT_TRUE(f->isBold());  // the style asked for is kept
  EXPECT_EQ(f->pointSize(), 22);
  ASSERT_EQ(logged.size(), 1u);  // reported once per name
  EXPECT_NE(logged[0].find("NoSuchTypeface-BoldItalic"), std::string::npos);
  // It measures as the system font of that weight.
  EXPECT_NEAR(TextLayout(kChinese, TextStyle::withFont(f)).size().width,
              TextLayout(kChinese, TextStyle::withFont(Font::boldSystemFont(22))).size().width, 1e-9);
}

// ---- Measuring ----

TEST(TextTest, ChineseAndLatinWidthsMatchPango) {
  TextLayout zh(kChinese, styleWith(17));
  Size zs = zh.size();
  EXPECT_NEAR(zs.width, 4 * 17, 0.5);  // ideographs are one em wide
  EXPECT_NEAR(zs.width, pangoWidth(kChinese, Font::SystemFamily, 17), 1e-6);
  EXPECT_NEAR(zs.height, Font::systemFont(17)->lineHeight(), 1e-9);

  TextLayout en(kPangram, styleWith(17));
  EXPECT_GT(en.size().width, 0);
  EXPECT_NEAR(en.size().width, pangoWidth(kPangram, Font::SystemFamily, 17), 1e-6);
  EXPECT_NEAR(TextLayout(kPangram, styleWith(34)).size().width, 2 * en.size().width, en.size().width * 0.01);

  std::string mixed = std::string("KTV ") + kChinese;
  EXPECT_NEAR(TextLayout(mixed, styleWith(17)).size().width, pangoWidth(mixed, Font::SystemFamily, 17), 1e-6);
}

TEST(TextTest, EmptyAndBrokenText) {
  TextLayout empty("", styleWith(17));
  EXPECT_EQ(empty.size(), Size{});
  EXPECT_EQ(empty.boundingSize({100, 100}, gfx::TextUsesLineFragmentOrigin), Size{});
  EXPECT_TRUE(empty.lines({100, 100}).empty());

  TextLayout broken(std::string("ab\xFF\xFE"), styleWith(17));
  EXPECT_GT(broken.size().width, TextLayout("ab", styleWith(17)).size().width);
}

TEST(TextTest, WrappingHeightGrowsWithTheLines) {
  auto font = Font::systemFont(17);
  TextLayout t(kPangram, styleWith(17));
  Size wide = t.boundingSize({1000, 0}, gfx::TextUsesLineFragmentOrigin);
  Size narrow = t.boundingSize({120, 0}, gfx::TextUsesLineFragmentOrigin);
  Size narrower = t.boundingSize({60, 0}, gfx::TextUsesLineFragmentOrigin);
  EXPECT_NEAR(wide.height, font->lineHeight(), 1e-6);
  EXPECT_NEAR(wide.width, t.size().width, 1e-6);
  EXPECT_LE(narrow.width, 120);
  size_t lines = t.lines({120, 0}).size();
  EXPECT_GT(lines, 1u);
  EXPECT_NEAR(narrow.height, lines * font->lineHeight(), 1e-6);
  EXPECT_GT(narrower.height, narrow.height);

  // Without line-fragment origin it is the first line alone.
  Size single = TextLayout(std::string("one\ntwo words"), styleWith(17)).boundingSize({20, 0}, 0);
  EXPECT_NEAR(single.height, font->lineHeight(), 1e-6);
  EXPECT_NEAR(single.width, TextLayout("one", styleWith(17)).size().width, 1e-6);

  // A line break starts a new line.
  EXPECT_NEAR(TextLayout(std::string("a\nb"), styleWith(17)).size().height, 2 * font->lineHeight(), 1e-6);
}

TEST(TextTest, WordWrapBreaksBetweenWordsCharWrapAnywhere) {
  auto words = TextLayout(kPangram, styleWith(17)).lines({120, 0});
  auto chars = TextLayout(kPangram, styleWith(17, LineBreakMode::CharWrap)).lines({120, 0});
  std::string joinedWords, joinedChars;
  for (const auto& l : words) {
    EXPECT_TRUE(endsWith(l, " ") || endsWith(kPangram, l)) << l;
    joinedWords += l;
  }
  for (const auto& l : chars) joinedChars += l;
  EXPECT_EQ(joinedWords, kPangram);
  EXPECT_EQ(joinedChars, kPangram);
  EXPECT_GE(chars[0].size(), words[0].size());
  EXPECT_LE(chars.size(), words.size());
}

TEST(TextTest, TailTruncationEndsWithEllipsisAndFits) {
  TextLayout t(kPangram, styleWith(17, LineBreakMode::TruncateTail));
  double lineHeight = Font::systemFont(17)->lineHeight();
  auto one = t.lines({150, lineHeight});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_TRUE(endsWith(one[0], kEllipsis)) << one[0];
  EXPECT_EQ(std::string(kPangram).rfind(one[0].substr(0, one[0].size() - 3), 0), 0u);
  EXPECT_LE(TextLayout(one[0], styleWith(17)).size().width, 150);
  Size s = t.sizeConstrained({150, lineHeight});
  EXPECT_LE(s.width, 150);
  EXPECT_NEAR(s.height, lineHeight, 1e-6);

  // Measuring with truncation counts only the lines that fit.
  Size measured =
      t.boundingSize({150, lineHeight * 2.5}, gfx::TextUsesLineFragmentOrigin | gfx::TextTruncatesLastVisibleLine);
  EXPECT_NEAR(measured.height, 2 * lineHeight, 1e-6);
  Size full = t.boundingSize({150, lineHeight * 2.5}, gfx::TextUsesLineFragmentOrigin);
  EXPECT_GT(full.height, measured.height);

  // Text that fits is left alone.
  auto fits = t.lines({1000, lineHeight});
  ASSERT_EQ(fits.size(), 1u);
  EXPECT_EQ(fits[0], kPangram);
}

TEST(TextTest, TruncationWithMaxLinesAndOtherPlaces) {
  TextStyle s = styleWith(17, LineBreakMode::TruncateTail);
  s.maxLines = 2;
  auto two = TextLayout(kPangram, s).lines({120, 0});
  ASSERT_EQ(two.size(), 2u);
  EXPECT_FALSE(endsWith(two[0], kEllipsis));
  EXPECT_TRUE(endsWith(two[1], kEllipsis));

  double lineHeight = Font::systemFont(17)->lineHeight();
  auto head = TextLayout(kPangram, styleWith(17, LineBreakMode::TruncateHead)).lines({120, lineHeight});
  ASSERT_EQ(head.size(), 1u);
  EXPECT_EQ(head[0].rfind(kEllipsis, 0), 0u) << head[0];
  EXPECT_TRUE(endsWith(head[0], "dog"));

  auto middle = TextLayout(kPangram, styleWith(17, LineBreakMode::TruncateMiddle)).lines({120, lineHeight});
  ASSERT_EQ(middle.size(), 1u);
  size_t at = middle[0].find(kEllipsis);
  ASSERT_NE(at, std::string::npos);
  EXPECT_GT(at, 0u);
  EXPECT_EQ(middle[0].rfind("The", 0), 0u);
  EXPECT_TRUE(endsWith(middle[0], "dog"));
  EXPECT_LE(TextLayout(middle[0], styleWith(17)).size().width, 120);

  // Word wrap with too many lines just stops.
  TextStyle plain = styleWith(17);
  plain.maxLines = 1;
  auto cut = TextLayout(kPangram, plain).lines({120, 0});
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(std::string(kPangram).rfind(cut[0], 0), 0u);
}

TEST(TextTest, ShrinkToFitReachesButDoesNotPassTheMinimum) {
  TextLayout t(kPangram, styleWith(20));
  double natural = t.size().width;
  auto fit = t.fitOneLine(natural / 2, 5);
  EXPECT_LT(fit.pointSize, 20);
  EXPECT_GE(fit.pointSize, 5);
  EXPECT_LE(fit.size.width, natural / 2);
  // A little larger would not fit.
  EXPECT_GT(TextLayout(kPangram, TextStyle::withFont(Font::systemFont(fit.pointSize * 1.02))).size().width,
            natural / 2);

  auto floor = t.fitOneLine(natural / 4, 12);
  EXPECT_EQ(floor.pointSize, 12);
  EXPECT_LE(floor.size.width, natural / 4);

  auto roomy = t.fitOneLine(natural + 10, 5);
  EXPECT_EQ(roomy.pointSize, 20);

  // Drawing a one-line label with a minimum scale shrinks before truncating.
  TextStyle s = styleWith(20, LineBreakMode::TruncateTail);
  s.maxLines = 1;
  s.minimumScaleFactor = 0.4;
  auto shrunk = TextLayout(kPangram, s).lines({natural / 2, 100});
  ASSERT_EQ(shrunk.size(), 1u);
  EXPECT_EQ(shrunk[0], kPangram);
  s.minimumScaleFactor = 0.75;
  auto truncated = TextLayout(kPangram, s).lines({natural / 2, 100});
  ASSERT_EQ(truncated.size(), 1u);
  EXPECT_TRUE(endsWith(truncated[0], kEllipsis));
}

// ---- Drawing ----

TEST(TextTest, DrawsInkInsideTheRectangleInTheFillColour) {
  auto c = Context::bitmap(Size{200, 60}, 1, false);
  c->setFillColor(Color::red());
  TextLayout t(kChinese, styleWith(20));
  Size drawn = t.draw(*c, Rect(10, 10, 180, 40));
  EXPECT_NEAR(drawn.width, 80, 0.5);
  auto image = c->makeImage();
  Rect ink = inkBounds(*image);
  ASSERT_FALSE(ink.isNull());
  EXPECT_GE(ink.minX(), 10);
  EXPECT_LE(ink.maxX(), 10 + drawn.width + 1);
  EXPECT_GE(ink.minY(), 10);
  EXPECT_LE(ink.maxY(), 10 + drawn.height);
  auto [red, blue] = redAndBlue(*image, 0, 200);
  EXPECT_GT(red, 0);
  EXPECT_EQ(blue, 0);
}

TEST(TextTest, AlignmentPlacesTheLine) {
  auto inkFor = [](TextAlignment alignment) {
    auto c = Context::bitmap(Size{300, 40}, 1, false);
    TextStyle s = styleWith(20);
    s.alignment = alignment;
    TextLayout(kChinese, s).draw(*c, Rect(0, 0, 300, 40));
    return inkBounds(*c->makeImage());
  };
  Rect left = inkFor(TextAlignment::Left), center = inkFor(TextAlignment::Center), right = inkFor(TextAlignment::Right);
  EXPECT_LT(left.minX(), 10);
  EXPECT_GT(right.maxX(), 290);
  EXPECT_NEAR(center.midX(), 150, 4);
  EXPECT_NEAR(inkFor(TextAlignment::Natural).minX(), left.minX(), 0.5);
}

TEST(TextTest, ColourRangesCountUtf16Units) {
  auto c = Context::bitmap(Size{100, 40}, 1, false);
  TextStyle s = styleWith(20);
  s.color = Color::red();
  s.colorRanges.push_back({2, 2, Color::blue()});     // 世界
  s.colorRanges.push_back({100, 5, Color::green()});  // beyond the text: ignored
  TextLayout(kChinese, s).draw(*c, Rect(0, 0, 100, 40));
  auto image = c->makeImage();
  auto [leftRed, leftBlue] = redAndBlue(*image, 0, 40);
  auto [rightRed, rightBlue] = redAndBlue(*image, 40, 80);
  EXPECT_GT(leftRed, 0);
  EXPECT_EQ(leftBlue, 0);
  EXPECT_GT(rightBlue, 0);
  EXPECT_EQ(rightRed, 0);
}

TEST(TextTest, ClipModeCutsAtTheRectangle) {
  auto c = Context::bitmap(Size{200, 40}, 1, false);
  TextStyle s = styleWith(20, LineBreakMode::Clip);
  s.maxLines = 1;
  TextLayout t(kPangram, s);
  auto lines = t.lines({100, 40});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], kPangram);
  t.draw(*c, Rect(0, 0, 100, 40));
  Rect ink = inkBounds(*c->makeImage());
  EXPECT_LE(ink.maxX(), 100);
  EXPECT_GT(ink.maxX(), 90);  // the clipped glyphs reach the edge
}

TEST(TextTest, TextCastsTheContextShadow) {
  auto c = Context::bitmap(Size{100, 60}, 1, false);
  c->setShadow(Size{0, 20}, 0, Color::black());
  c->setFillColor(Color::red());
  TextLayout("\xE4\xB8\x80", styleWith(20)).draw(*c, gfx::Point{10, 5});  // 一: a single bar
  auto image = c->makeImage();
  Rect ink = inkBounds(*image);
  ASSERT_FALSE(ink.isNull());
  // The bar and its shadow 20 points lower: red above, black below.
  auto rowColour = [&](int y) {
    long red = 0, alpha = 0;
    for (int x = 0; x < 100; ++x) {
      red += (image->pixelAt(x, y) >> 16) & 0xFF;
      alpha += image->pixelAt(x, y) >> 24;
    }
    return std::pair<long, long>{red, alpha};
  };
  int barY = -1;
  for (int y = 0; y < 30 && barY < 0; ++y)
    if (rowColour(y).first > 0) barY = y;
  ASSERT_GE(barY, 0);
  EXPECT_GT(rowColour(barY + 20).second, 0);
  EXPECT_EQ(rowColour(barY + 20).first, 0);
}

}  // namespace
