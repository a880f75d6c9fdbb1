#include <gtest/gtest.h>

#include "app/ColorHexadecimal.h"
#include "app/ColorQX.h"

#include <optional>
#include <string>

namespace kt {
namespace {

void expectColor(const std::optional<gfx::Color>& c, double r, double g, double b, double a = 1.0) {
  ASSERT_TRUE(c.has_value());
  EXPECT_DOUBLE_EQ(c->r(), r);
  EXPECT_DOUBLE_EQ(c->g(), g);
  EXPECT_DOUBLE_EQ(c->b(), b);
  EXPECT_DOUBLE_EQ(c->a(), a);
}

TEST(ColorHexadecimal, ColorWithHexStringReadsThreeAndSixDigits) {
  expectColor(ColorHexadecimal::colorWithHexString("#fff"), 1, 1, 1);
  expectColor(ColorHexadecimal::colorWithHexString("abc"), 10 / 15.0, 11 / 15.0, 12 / 15.0);
  expectColor(ColorHexadecimal::colorWithHexString("FFFFFF"), 1, 1, 1);
  expectColor(ColorHexadecimal::colorWithHexString("ffffff"), 1, 1, 1);
  expectColor(ColorHexadecimal::colorWithHexString("dfebff"), 0xdf / 255.0, 0xeb / 255.0, 1);
  expectColor(ColorHexadecimal::colorWithHexString("#475686"), 0x47 / 255.0, 0x56 / 255.0, 0x86 / 255.0);
  expectColor(ColorHexadecimal::colorWithHexString("000"), 0, 0, 0);
}

TEST(ColorHexadecimal, ColorWithHexStringRefusesOtherText) {
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString(""));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("#"));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("#12345"));      // five digits
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("0x514786"));    // no "0x" prefix here
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("##fff"));       // only one "#" is removed
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("#1234567"));
  // Characters that are not digits never read as a number beyond one byte.
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("-1-1-1"));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("zz0000"));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("1g2233"));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString(" 12233"));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("+f+f+f"));
  EXPECT_FALSE(ColorHexadecimal::colorWithHexString("中文"));  // six bytes, no digits
}

TEST(ColorHexadecimal, GetColorStripsPrefixesAfterLowerCasing) {
  const gfx::Color expected(81 / 255.0, 71 / 255.0, 134 / 255.0, 1);
  EXPECT_EQ(ColorHexadecimal::getColor("514786"), expected);
  EXPECT_EQ(ColorHexadecimal::getColor("0X514786"), expected);
  EXPECT_EQ(ColorHexadecimal::getColor("0x514786"), expected);
  EXPECT_EQ(ColorHexadecimal::getColor("#514786"), expected);
  EXPECT_EQ(ColorHexadecimal::getColor("DFEBFF"), ColorHexadecimal::getColor("dfebff"));
  EXPECT_EQ(ColorHexadecimal::getColorWithAlpha("#514786"), expected.withAlpha(0.33));
}

TEST(ColorHexadecimal, GetColorGivesOpaqueBlackForTextItDoesNotAccept) {
  for (const char* text : {"#fff", "", "51478", "0x51478", "5147861", "#0x514786", "51x786", "-1-1-1", "中文字"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ColorHexadecimal::getColor(text), gfx::Color::black());
    EXPECT_EQ(ColorHexadecimal::getColorWithAlpha(text), gfx::Color::black());
  }
}

TEST(ColorQX, GetColorReadsTheFirstSixCharacters) {
  const gfx::Color expected(81 / 255.0, 71 / 255.0, 134 / 255.0, 1);
  EXPECT_EQ(ColorQX::getColor("514786"), expected);
  EXPECT_EQ(ColorQX::getColor("514786abcd"), expected);
  EXPECT_EQ(ColorQX::getColor("FFffFF"), gfx::Color(1, 1, 1, 1));
  // Nothing is stripped: the first pair is "#5", which is no number.
  EXPECT_EQ(ColorQX::getColor("#514786"), gfx::Color::black());
}

TEST(ColorQX, GetColorGivesBlackForShortOrNonHexadecimalText) {
  for (const char* text : {"", "5", "51478", "zz4786", "51-186", "5147 6", "中文"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ColorQX::getColor(text), gfx::Color::black());
  }
}

}  // namespace
}  // namespace kt
