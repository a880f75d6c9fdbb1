#include "songs/WGLabelGradient.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

const gfx::Color kRed(1, 0, 0, 1);
const gfx::Color kBlue(0, 0, 1, 1);
const gfx::Color kGreen(0, 1, 0, 1);

// The label's own drawing of its bounds into a bitmap at 2 pixels a point.
std::shared_ptr<gfx::Image> drawn(ui::Label& label) {
  auto ctx = gfx::Context::bitmap(label.bounds().size, 2);
  label.drawRect(*ctx, label.bounds());
  return ctx->makeImage();
}

int alphaOf(uint32_t argb) { return static_cast<int>(argb >> 24); }
int redOf(uint32_t argb) { return static_cast<int>((argb >> 16) & 0xff); }
int greenOf(uint32_t argb) { return static_cast<int>((argb >> 8) & 0xff); }
int blueOf(uint32_t argb) { return static_cast<int>(argb & 0xff); }

struct Box {
  int minX = 1 << 20, minY = 1 << 20, maxX = -1, maxY = -1;
  void add(int x, int y) {
    minX = std::min(minX, x), minY = std::min(minY, y), maxX = std::max(maxX, x), maxY = std::max(maxY, y);
  }
};

// The pixels where the text shows (alpha above half).
Box inkBox(const gfx::Image& image) {
  Box box;
  for (int y = 0; y < image.pixelHeight(); ++y)
    for (int x = 0; x < image.pixelWidth(); ++x)
      if (alphaOf(image.pixelAt(x, y)) > 128) box.add(x, y);
  return box;
}

// Mean of red minus blue over the ink in a part of the image.
double redness(const gfx::Image& image, int x0, int y0, int x1, int y1) {
  double sum = 0;
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      uint32_t p = image.pixelAt(x, y);
      if (alphaOf(p) > 128) sum += redOf(p) - blueOf(p), ++n;
    }
  return n ? sum / n : 0;
}

std::shared_ptr<kt::WGLabelGradient> fittedLabel(const std::string& text, double size) {
  auto label = kt::WGLabelGradient::create();
  label->setFont(gfx::Font::systemFont(size));
  label->setText(text);
  label->setColors({kRed, kBlue});
  label->sizeToFit();
  return label;
}

// The gradient shows exactly where a plain label of the same frame shows its text, and nowhere
// else; none of it in the label's own text colour. The drawing, for more checks.
std::shared_ptr<gfx::Image> expectWhereAPlainLabelDraws(kt::WGLabelGradient& label) {
  label.setTextColor(kGreen);
  auto plain = ui::Label::create(label.frame());
  plain->setFont(label.font());
  plain->setText(label.text());
  auto image = drawn(label);
  auto reference = drawn(*plain);
  const Box ink = inkBox(*image), plainInk = inkBox(*reference);
  EXPECT_GE(ink.maxX, 0) << "nothing drawn";
  EXPECT_NEAR(ink.minX, plainInk.minX, 1);
  EXPECT_NEAR(ink.maxX, plainInk.maxX, 1);
  EXPECT_NEAR(ink.minY, plainInk.minY, 1);
  EXPECT_NEAR(ink.maxY, plainInk.maxY, 1);
  int stray = 0, flat = 0;
  for (int y = 0; y < image->pixelHeight(); ++y)
    for (int x = 0; x < image->pixelWidth(); ++x) {
      const uint32_t p = image->pixelAt(x, y);
      if (alphaOf(p) == 0) continue;
      if (alphaOf(reference->pixelAt(x, y)) == 0) ++stray;
      if (greenOf(p) > 16) ++flat;
    }
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(flat, 0);
  return image;
}

TEST(WGLabelGradientTest, TheGradientRunsFromBottomLeftToTopRightThroughTheGlyphsOnly) {
  // A square glyph shows both directions of the gradient.
  auto label = fittedLabel("国", 60);
  auto image = expectWhereAPlainLabelDraws(*label);
  const Box ink = inkBox(*image);
  const int midX = (ink.minX + ink.maxX) / 2, midY = (ink.minY + ink.maxY) / 2;
  const int w = image->pixelWidth(), h = image->pixelHeight();
  // Bottom left against top right, bottom against top, left against right.
  EXPECT_GT(redness(*image, 0, midY, midX, h), redness(*image, midX, 0, w, midY) + 100);
  EXPECT_GT(redness(*image, 0, midY, w, h), redness(*image, 0, 0, w, midY) + 20);
  EXPECT_GT(redness(*image, 0, 0, midX, h), redness(*image, midX, 0, w, h) + 20);
}

TEST(WGLabelGradientTest, ATallerLabelShowsItsTextWhereAPlainOneDoes) {
  auto tall = fittedLabel("清除历史记录", 17);
  tall->setFrame(gfx::Rect(0, 0, tall->frame().width(), tall->frame().height() * 3));
  expectWhereAPlainLabelDraws(*tall);

  // No colours: nothing shows at all.
  tall->setColors({});
  auto image = drawn(*tall);
  EXPECT_LT(inkBox(*image).maxX, 0);
  EXPECT_EQ(alphaOf(image->pixelAt(image->pixelWidth() / 4, image->pixelHeight() / 2)), 0);
}

}  // namespace
