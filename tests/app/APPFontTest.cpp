#include <gtest/gtest.h>

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Screen.h"

#include <functional>
#include <string>
#include <vector>

namespace kt {
namespace {

class APPFontTest : public ::testing::Test {
 protected:
  void TearDown() override { ui::Screen::main().reset(); }
  static void ordinaryTablet() { ui::Screen::main().setMode(gfx::Size{2048, 1536}, 2); }
  static void twelveNineInch() { ui::Screen::main().setMode(gfx::Size{2048, 2732}, 2); }
};

TEST_F(APPFontTest, TwelveNineInchIsExactly2048By2732Pixels) {
  ordinaryTablet();
  EXPECT_FALSE(isTwelveNineInch());
  twelveNineInch();
  EXPECT_TRUE(isTwelveNineInch());
  ui::Screen::main().setMode(gfx::Size{2732, 2048}, 2);  // width first: another tablet
  EXPECT_FALSE(isTwelveNineInch());
  ui::Screen::main().setMode(gfx::Size{1668, 2388}, 2);  // the 11-inch tablet
  EXPECT_FALSE(isTwelveNineInch());
  ui::Screen::main().setMode(gfx::Size{2048, 2733}, 2);
  EXPECT_FALSE(isTwelveNineInch());
}

struct FontRow {
  const char* name;
  std::function<std::shared_ptr<const gfx::Font>()> get;
  bool bold;
  double ordinary;
  double twelveNine;
};

std::vector<FontRow> allFonts() {
  return {
      {"getSysFont_Size22", APPFont::getSysFont_Size22, false, 11, 12},
      {"getSysFont_Size24", APPFont::getSysFont_Size24, false, 11, 12},
      {"getSysFont_size26", APPFont::getSysFont_size26, false, 10, 13},
      {"getSysFont_size28", APPFont::getSysFont_size28, false, 13, 14},
      {"getSysFont_Size30", APPFont::getSysFont_Size30, false, 14, 15},
      {"getSysFont_size32", APPFont::getSysFont_size32, false, 16, 17},
      {"getSysFont_size34", APPFont::getSysFont_size34, false, 17, 18},
      {"getSysFont_size36", APPFont::getSysFont_size36, false, 22, 23},
      {"getSysFont_size40", APPFont::getSysFont_size40, false, 21, 22},
      {"getSysFont_Size44", APPFont::getSysFont_Size44, false, 22, 23},
      {"getSysFont_Size46", APPFont::getSysFont_Size46, false, 22, 24},
      {"getSysFont_size48", APPFont::getSysFont_size48, false, 23, 26},
      {"getSysFont_size50", APPFont::getSysFont_size50, false, 25, 26},
      {"getSysFont_size60", APPFont::getSysFont_size60, false, 34, 36},
      {"getBoldFont_size30", APPFont::getBoldFont_size30, true, 19, 20},
      {"getBoldFont_size34", APPFont::getBoldFont_size34, true, 11, 12},
      {"getBoldFont_size36", APPFont::getBoldFont_size36, true, 11, 12},
      {"getBoldFont_size40", APPFont::getBoldFont_size40, true, 20, 21},
      {"getBoldFont_size44", APPFont::getBoldFont_size44, true, 27, 29},
      {"getBoldFont_size46", APPFont::getBoldFont_size46, true, 28, 30},
      {"getBoldFont_size48", APPFont::getBoldFont_size48, true, 24, 27},
      {"getBoldFont_size60", APPFont::getBoldFont_size60, true, 11, 12},
      {"getBoldFont_size66", APPFont::getBoldFont_size66, true, 11, 12},
  };
}

TEST_F(APPFontTest, EveryGetterHasItsFaceAndSizeOnBothTablets) {
  const std::string family = gfx::Font::systemFont(17)->familyName();
  for (const FontRow& row : allFonts()) {
    SCOPED_TRACE(row.name);
    ordinaryTablet();
    auto ordinary = row.get();
    ASSERT_TRUE(ordinary);
    EXPECT_EQ(ordinary->pointSize(), row.ordinary);
    EXPECT_EQ(ordinary->isBold(), row.bold);
    EXPECT_EQ(ordinary->familyName(), family);

    twelveNineInch();
    auto large = row.get();
    ASSERT_TRUE(large);
    EXPECT_EQ(large->pointSize(), row.twelveNine);
    EXPECT_EQ(large->isBold(), row.bold);
    EXPECT_EQ(large->familyName(), family);
  }
}

TEST_F(APPFontTest, ScreenModeIsReadAtEveryCall) {
  twelveNineInch();
  EXPECT_EQ(APPFont::getSysFont_size34()->pointSize(), 18);
  ui::Screen::main().setMode(gfx::Size{2732, 2048}, 2);
  EXPECT_EQ(APPFont::getSysFont_size34()->pointSize(), 17);
  twelveNineInch();
  EXPECT_EQ(APPFont::getSysFont_size34()->pointSize(), 18);
  ordinaryTablet();
  EXPECT_EQ(APPFont::getSysFont_size34()->pointSize(), 17);
}

}  // namespace
}  // namespace kt
