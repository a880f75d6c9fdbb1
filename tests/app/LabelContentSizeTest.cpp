#include <gtest/gtest.h>

#include "app/LabelContentSize.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Label.h"

#include <string>

namespace kt {
namespace {

double lineHeight(int size) { return gfx::Font::systemFont(size)->lineHeight(); }
double oneLineWidth(const std::string& text, int size) {
  return gfx::TextLayout(text, gfx::TextStyle::withFont(gfx::Font::systemFont(size))).size().width;
}

TEST(LabelContentSize, WrapsAtTheLabelWidth) {
  auto label = ui::Label::create(gfx::Rect(0, 0, 300, 20));
  label->setFont(gfx::Font::systemFont(17));
  label->setText("short");
  gfx::Size size = currentContentSize(*label);
  EXPECT_NEAR(size.width, oneLineWidth("short", 17), 0.01);
  EXPECT_NEAR(size.height, lineHeight(17), 0.01);

  std::string longText;
  for (int i = 0; i < 12; ++i) longText += "word 文字 ";
  label->setText(longText);
  label->setLineBreakMode(gfx::LineBreakMode::WordWrap);
  size = currentContentSize(*label);
  EXPECT_LE(size.width, 300);
  EXPECT_GT(size.height, 2.5 * lineHeight(17));  // the whole text, not the label's one line

  // The width is read from the label's frame at each call.
  label->setFrame(gfx::Rect(0, 0, 150, 20));
  EXPECT_GT(currentContentSize(*label).height, size.height);
  EXPECT_LE(currentContentSize(*label).width, 150);
}

}  // namespace
}  // namespace kt
