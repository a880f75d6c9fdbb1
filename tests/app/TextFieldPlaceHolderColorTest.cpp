#include <gtest/gtest.h>

#include "app/APPFont.h"
#include "app/ColorHexadecimal.h"
#include "app/TextFieldPlaceHolderColor.h"
#include "platform/gfx/Image.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace kt {
namespace {

class TextFieldPlaceHolderColorTest : public support::ScreenTest {
 protected:
  // How many pixels of the field's area have about this colour.
  static int pixelsOf(const gfx::Image& image, const gfx::Rect& area, uint32_t rgb) {
    int count = 0;
    for (double y = area.origin.y; y < area.origin.y + area.size.height; y += 0.5) {
      for (double x = area.origin.x; x < area.origin.x + area.size.width; x += 0.5) {
        const uint32_t c = colorAt(image, gfx::Point{x, y});
        auto near = [](uint32_t a, uint32_t b, int shift) {
          const int d = static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff);
          return d > -12 && d < 12;
        };
        if (near(c, rgb, 16) && near(c, rgb, 8) && near(c, rgb, 0)) ++count;
      }
    }
    return count;
  }
};

TEST_F(TextFieldPlaceHolderColorTest, PlaceholderIsDrawnInTheColour) {
  const gfx::Rect frame(100, 100, 400, 60);
  auto field = ui::TextField::create(frame);
  field->setFont(APPFont::getSysFont_size40());
  // Set before the placeholder text, as the search screen does: it still holds.
  setPlaceholderColorWith(*field, *ColorHexadecimal::colorWithHexString("d02020"));
  field->setPlaceholder("请输入房台号 Room");
  window().addSubview(field);
  auto image = screenshot("placeholder");
  ASSERT_TRUE(image);
  EXPECT_GT(pixelsOf(*image, frame, 0xd02020), 40);

  setPlaceholderColorWith(*field, *ColorHexadecimal::colorWithHexString("2040d0"));
  image = screenshot("placeholder-changed");
  ASSERT_TRUE(image);
  EXPECT_GT(pixelsOf(*image, frame, 0x2040d0), 40);
  EXPECT_EQ(pixelsOf(*image, frame, 0xd02020), 0);

  // Typed text is not the placeholder: it keeps the text colour.
  field->setText("8");
  image = screenshot("text");
  EXPECT_EQ(pixelsOf(*image, frame, 0x2040d0), 0);
}

}  // namespace
}  // namespace kt
