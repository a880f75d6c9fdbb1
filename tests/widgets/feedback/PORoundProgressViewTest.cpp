#include "widgets/feedback/PORoundProgressView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

namespace {

using kt::PORoundProgressView;

// The pie drawn over black at one pixel per point: the red channel of a point (0 black, 255 white).
class PieDrawing {
 public:
  explicit PieDrawing(float progress) {
    auto view = PORoundProgressView::create();
    view->setProgress(progress);
    auto ctx = gfx::Context::bitmap(view->bounds().size, 1);
    ctx->setFillColor(gfx::Color::black());
    ctx->fillRect(view->bounds());
    view->drawRect(*ctx, view->bounds());
    m_image = ctx->makeImage();
  }
  int at(int x, int y) const { return static_cast<int>((m_image->pixelAt(x, y) >> 16) & 0xFF); }
  bool white(int x, int y) const { return at(x, y) > 240; }
  // The faint disc: white at 10 % over black.
  bool faint(int x, int y) const { return at(x, y) > 15 && at(x, y) < 40; }

 private:
  std::shared_ptr<gfx::Image> m_image;
};

TEST(PORoundProgressViewTest, IsA37PointClearView) {
  auto view = PORoundProgressView::create();
  EXPECT_EQ(view->bounds().size.width, 37);
  EXPECT_EQ(view->bounds().size.height, 37);
  EXPECT_FALSE(view->isOpaque());
  EXPECT_EQ(view->backgroundColor(), gfx::Color::clear());
  EXPECT_EQ(view->progress(), 0);
}

// Points inside the disc, one per quarter: top right, bottom right, bottom left, top left.
constexpr int Quarters[4][2] = {{25, 11}, {25, 25}, {11, 25}, {11, 11}};

TEST(PORoundProgressViewTest, PieGrowsClockwiseFromTheTop) {
  for (int filled = 0; filled <= 4; ++filled) {
    SCOPED_TRACE(filled);
    PieDrawing pie(filled / 4.0f);
    for (int q = 0; q < 4; ++q) {
      const int x = Quarters[q][0], y = Quarters[q][1];
      if (q < filled) EXPECT_TRUE(pie.white(x, y)) << "quarter " << q << ": " << pie.at(x, y);
      else EXPECT_TRUE(pie.faint(x, y)) << "quarter " << q << ": " << pie.at(x, y);
    }
    // The rim is drawn whatever the progress; outside it stays black.
    EXPECT_GT(pie.at(18, 2), 150);
    EXPECT_EQ(pie.at(0, 0), 0);
  }
}

TEST(PORoundProgressViewTest, OutOfRangeProgressIsHeldWithinTheCircle) {
  // Below zero (or not a number) shows nothing done, not a slice wrapped round the circle.
  for (float bad : {-0.25f, std::numeric_limits<float>::quiet_NaN()}) {
    PieDrawing pie(bad);
    for (const auto& q : Quarters) EXPECT_TRUE(pie.faint(q[0], q[1])) << bad;
  }
  PieDrawing over(3.5f);
  for (const auto& q : Quarters) EXPECT_TRUE(over.white(q[0], q[1]));
}

}  // namespace
