#include "songs/WGLabelGradient.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

namespace {

int channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xff); }
int alphaOf(uint32_t p) { return channel(p, 24); }

// The label's own drawing of its bounds, at 2 pixels a point.
std::shared_ptr<gfx::Image> drawn(ui::Label& label) {
  auto ctx = gfx::Context::bitmap(label.bounds().size, 2);
  label.drawRect(*ctx, label.bounds());
  return ctx->makeImage();
}

// Calls f(x, y, pixel) for every pixel of the image where the text shows (alpha above half).
template <class F>
void forInk(const gfx::Image& image, F f) {
  for (int y = 0; y < image.pixelHeight(); ++y)
    for (int x = 0; x < image.pixelWidth(); ++x)
      if (alphaOf(image.pixelAt(x, y)) > 128) f(x, y, image.pixelAt(x, y));
}

// The gradient label's drawing, checked against a plain label of the same frame and text: the
// same ink box, within a pixel of rounding, nothing where the plain label shows nothing, and
// nothing of its own text colour (green).
std::shared_ptr<gfx::Image> expectWhereAPlainLabelDraws(kt::WGLabelGradient& label) {
  label.setTextColor(gfx::Color(0, 1, 0, 1));
  auto plain = ui::Label::create(label.frame());
  plain->setFont(label.font());
  plain->setText(label.text());
  auto image = drawn(label), reference = drawn(*plain);
  int box[2][4] = {{9999, 9999, -1, -1}, {9999, 9999, -1, -1}};
  for (int i : {0, 1}) {
    forInk(i ? *reference : *image, [&](int x, int y, uint32_t) {
      box[i][0] = std::min(box[i][0], x), box[i][1] = std::min(box[i][1], y);
      box[i][2] = std::max(box[i][2], x), box[i][3] = std::max(box[i][3], y);
    });
  }
  EXPECT_GE(box[0][2], 0) << "nothing drawn";
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(box[0][k], box[1][k], 1) << k;
  for (int y = 0; y < image->pixelHeight(); ++y)
    for (int x = 0; x < image->pixelWidth(); ++x) {
      const uint32_t p = image->pixelAt(x, y);
      if (alphaOf(p) == 0) continue;
      EXPECT_GT(alphaOf(reference->pixelAt(x, y)), 0) << x << "," << y;
      EXPECT_LT(channel(p, 8), 16) << x << "," << y;
    }
  return image;
}

std::shared_ptr<kt::WGLabelGradient> fittedLabel(const std::string& text, double size) {
  auto label = kt::WGLabelGradient::create();
  label->setFont(gfx::Font::systemFont(size));
  label->setText(text);
  label->setColors({gfx::Color(1, 0, 0, 1), gfx::Color(0, 0, 1, 1)});
  label->sizeToFit();
  return label;
}

TEST(WGLabelGradientTest, TheGradientRunsFromBottomLeftToTopRightThroughTheGlyphsOnly) {
  // A square glyph shows both directions of the gradient: red at the bottom left, blue at the
  // top right.
  auto image = expectWhereAPlainLabelDraws(*fittedLabel("国", 60));
  const int w = image->pixelWidth() / 2, h = image->pixelHeight() / 2;
  double redness[2][2] = {};  // [bottom][right]: mean of red minus blue
  int count[2][2] = {};
  forInk(*image, [&](int x, int y, uint32_t p) {
    redness[y >= h][x >= w] += channel(p, 16) - channel(p, 0);
    ++count[y >= h][x >= w];
  });
  for (auto b : {0, 1})
    for (auto r : {0, 1}) redness[b][r] /= std::max(1, count[b][r]);
  EXPECT_GT(redness[1][0], redness[0][1] + 100);
  EXPECT_GT(redness[1][0] + redness[1][1], redness[0][0] + redness[0][1] + 40);
  EXPECT_GT(redness[0][0] + redness[1][0], redness[0][1] + redness[1][1] + 40);

  // A label taller than its text shows it where a plain label does; no colours show nothing.
  auto tall = fittedLabel("清除历史记录", 17);
  tall->setFrame(gfx::Rect(0, 0, tall->frame().width(), tall->frame().height() * 3));
  expectWhereAPlainLabelDraws(*tall);
  tall->setColors({});
  int inked = 0;
  forInk(*drawn(*tall), [&](int, int, uint32_t) { ++inked; });
  EXPECT_EQ(inked, 0);
}

}  // namespace
