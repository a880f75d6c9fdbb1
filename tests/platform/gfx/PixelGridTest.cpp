// Layers that are not turned land on whole device pixels at every drawing scale: views meeting
// edge to edge show nothing of what lies beneath, at fractional scales and at fractional point
// positions alike, and a hairline (1/scale points) is one full row.
#include "platform/gfx/PixelGrid.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "NoActions.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"

namespace gfx {
namespace {

// Full screen on a 1280 x 800 tablet, 1920 x 1080, a 1600 x 1200 window and 3840 x 2160.
const double kFractionalScales[] = {800.0 / 768, 1.40625, 1.5625, 2.8125};

// The grey level (the green channel of an opaque pixel; -1 where it is not opaque).
int grey(cairo_surface_t* s, int x, int y) {
  const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
  const uint32_t v = reinterpret_cast<const uint32_t*>(row)[x];
  return (v >> 24) == 255 ? int((v >> 8) & 255) : -1;
}

// Rows (or columns, `columns`) of the surface, looked at along the middle of `across` (device
// pixels), whose grey is darker or lighter than both neighbours'.
std::vector<int> outliers(cairo_surface_t* s, bool columns, int across) {
  cairo_surface_flush(s);
  const int n = columns ? cairo_image_surface_get_width(s) : cairo_image_surface_get_height(s);
  std::vector<int> found;
  auto at = [&](int i) { return columns ? grey(s, i, across) : grey(s, across, i); };
  for (int i = 1; i + 1 < n; ++i) {
    const int before = at(i - 1), here = at(i), after = at(i + 1);
    if ((here < before && here < after) || (here > before && here > after)) found.push_back(i);
  }
  return found;
}

class WhiteContent : public LayerDelegate {
 public:
  void drawLayer(Layer& layer, Context& ctx) override {
    ctx.setFillColor(Color::whiteColor());
    ctx.fillRect(layer.bounds());
  }
};

std::string scaleName(double k) { return "at " + std::to_string(k); }

// The drawing scale of a window drawn at `k` (layers draw no finer), for the guard's life.
class DrawingScale {
 public:
  explicit DrawingScale(double k) { Image::setDrawingScale(k); }
  ~DrawingScale() { Image::setDrawingScale(m_saved); }
  DrawingScale(const DrawingScale&) = delete;
  DrawingScale& operator=(const DrawingScale&) = delete;

 private:
  double m_saved = Image::drawingScale();
};

// Ten opaque white views of 44 points stacked from a fractional position on black, then the same
// drawing their own white content, then showing white artwork; beside them three views a third of 1024 points wide side by side:
// every pixel between their outer edges is white, every row and column outside them black, none
// grey.
TEST(PixelGridTest, ViewsMeetingEdgeToEdgeShowNoSeamAtFractionalScales) {
  WhiteContent white;
  for (double k : kFractionalScales) {
    SCOPED_TRACE(scaleName(k));
    DrawingScale drawing(k);
    // White artwork of the views' pixel size, every pixel opaque.
    std::shared_ptr<const Image> art;
    {
      auto ctx = Context::bitmap({80.6, 44}, k);
      ASSERT_NE(ctx, nullptr);
      ctx->setFillColor(Color::whiteColor());
      ctx->fillRect(Rect(0, 0, 100, 100));
      art = ctx->makeImage();
    }
    for (int drawn = 0; drawn < 3; ++drawn) {
      SCOPED_TRACE(drawn == 1 ? "drawing their content" : drawn == 2 ? "showing an image" : "with a background");
      Compositor comp({1100, 500}, k);
      ASSERT_NE(comp.surface(), nullptr);
      auto root = Layer::create();
      std::vector<std::shared_ptr<Layer>> views;
      {
        NoActions na;
        root->setFrame(Rect(0, 0, 1100, 500));
        root->setBackgroundColor(Color::black());
        root->setContentsScale(k);
        auto add = [&](const Rect& frame) {
          auto l = Layer::create();
          l->setFrame(frame);
          l->setContentsScale(k);
          if (drawn == 1) {
            l->setDelegate(&white);
            l->setNeedsDisplay();
          } else if (drawn == 2) {
            l->setContents(art);
          } else {
            l->setBackgroundColor(Color::whiteColor());
          }
          root->addSublayer(l);
          views.push_back(l);
        };
        for (int i = 0; i < 10; ++i) add(Rect(10.3, 100.0 / 3 + 44 * i, 80.6, 44));
        for (int i = 0; i < 3; ++i) add(Rect(100 + 1024.0 / 3 * i, 0.7, 1024.0 / 3, 20.2));
      }
      comp.renderFrame(root);
      cairo_surface_t* s = comp.surface();
      cairo_surface_flush(s);
      // Inside the stack and the row of three: white; the edges on the pixels the rule gives.
      const int x1 = int(pixelEdge(10.3 * k)), x2 = int(pixelEdge(90.9 * k));
      const int y1 = int(pixelEdge(100.0 / 3 * k)), y2 = int(pixelEdge((100.0 / 3 + 440) * k));
      int notWhite = 0;
      for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x) notWhite += grey(s, x, y) != 255;
      EXPECT_EQ(notWhite, 0);
      EXPECT_EQ(grey(s, x1 - 1, (y1 + y2) / 2), 0);
      EXPECT_EQ(grey(s, x2, (y1 + y2) / 2), 0);
      EXPECT_EQ(grey(s, (x1 + x2) / 2, y1 - 1), 0);
      EXPECT_EQ(grey(s, (x1 + x2) / 2, y2), 0);
      EXPECT_EQ(outliers(s, false, (x1 + x2) / 2), std::vector<int>{}) << "a row greyer than both neighbours";
      EXPECT_EQ(outliers(s, true, int(10 * k)), std::vector<int>{}) << "a column greyer than both neighbours";
      const int rowY = int(10 * k);
      for (int x = int(pixelEdge(100 * k)); x < int(pixelEdge(1124 * k)) && x < cairo_image_surface_get_width(s); ++x)
        ASSERT_EQ(grey(s, x, rowY), 255) << "column " << x;
      for (auto& v : views) v->setDelegate(nullptr);
    }
  }
}

// A cell's separator (1/scale points at the foot of a 44-point cell at a fractional position)
// is one black row between white ones, and a border of 1/scale points one pixel wide; the same at
// 1 and 2.
TEST(PixelGridTest, AHairlineIsOneFullRow) {
  std::vector<double> scales(std::begin(kFractionalScales), std::end(kFractionalScales));
  scales.push_back(1);
  scales.push_back(2);
  for (double k : scales) {
    SCOPED_TRACE(scaleName(k));
    Compositor comp({200, 200}, k);
    auto root = Layer::create();
    std::shared_ptr<Layer> framed;
    {
      NoActions na;
      root->setFrame(Rect(0, 0, 200, 200));
      root->setBackgroundColor(Color::whiteColor());
      auto cell = Layer::create();
      cell->setFrame(Rect(0, 61.7, 200, 44));
      cell->setBackgroundColor(Color::whiteColor());
      auto separator = Layer::create();
      separator->setFrame(Rect(15, 44 - 1 / k, 185, 1 / k));
      separator->setBackgroundColor(Color::black());
      cell->addSublayer(separator);
      root->addSublayer(cell);
      framed = Layer::create();
      framed->setFrame(Rect(20.2, 130.45, 50.3, 30.1));
      framed->setBackgroundColor(Color::whiteColor());
      framed->setBorderWidth(1 / k);
      framed->setBorderColor(Color::black());
      root->addSublayer(framed);
    }
    comp.renderFrame(root);
    cairo_surface_t* s = comp.surface();
    cairo_surface_flush(s);
    std::vector<int> dark;
    for (int y = 0; y < int(pixelLength(130, k)); ++y) {
      const int g = grey(s, int(100 * k), y);
      EXPECT_TRUE(g == 0 || g == 255) << "row " << y << " is grey " << g;
      if (g == 0) dark.push_back(y);
    }
    EXPECT_EQ(dark, std::vector<int>{int(pixelEdge((61.7 + 44) * k)) - 1});
    // The border: one black column on each side, white within.
    const int midY = int(145 * k);
    std::vector<int> borderColumns;
    for (int x = int(15 * k); x < int(80 * k); ++x) {
      const int g = grey(s, x, midY);
      EXPECT_TRUE(g == 0 || g == 255) << "column " << x << " is grey " << g;
      if (g == 0) borderColumns.push_back(x);
    }
    EXPECT_EQ(borderColumns, (std::vector<int>{int(pixelEdge(20.2 * k)), int(pixelEdge(70.5 * k)) - 1}));
  }
}

// Layers turned in perspective keep their own sampling: a layer folded about its middle still
// shows soft edges rather than stair steps put on whole pixels (its edge columns are partly
// covered).
TEST(PixelGridTest, ATurnedLayerKeepsItsOwnSampling) {
  const double k = 1.40625;
  Compositor comp({200, 200}, k);
  auto root = Layer::create();
  {
    NoActions na;
    root->setFrame(Rect(0, 0, 200, 200));
    auto turned = Layer::create();
    turned->setFrame(Rect(50.3, 50.3, 100, 100));
    turned->setBackgroundColor(Color::whiteColor());
    Transform3D t = Transform3D::identity();
    t.m34 = -1.0 / 500;
    turned->setTransform(Transform3D::rotation(0.4, 0, 1, 0).concat(t));
    root->addSublayer(turned);
  }
  comp.renderFrame(root);
  cairo_surface_t* s = comp.surface();
  cairo_surface_flush(s);
  int partial = 0;
  for (int y = 0; y < cairo_image_surface_get_height(s); ++y) {
    for (int x = 0; x < cairo_image_surface_get_width(s); ++x) {
      const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
      const uint32_t a = reinterpret_cast<const uint32_t*>(row)[x] >> 24;
      partial += a > 0 && a < 255;
    }
  }
  EXPECT_GT(partial, 50);
}

// Bitmap, surface and window sizes and edges come from one rule: points times the scale, on the
// pixel boundary at or after it, a millionth of a pixel's rounding error aside.
TEST(PixelGridTest, SizesAndEdgesShareOneRule) {
  EXPECT_EQ(pixelLength(1024, 1.40625), 1440);
  EXPECT_EQ(pixelLength(768, 800.0 / 768), 800);
  EXPECT_EQ(pixelLength(40.3, 1.0417), 42);
  EXPECT_EQ(pixelLength(44, 2.8125), 124);
  EXPECT_EQ(pixelEdge(1024.0 / 3 * 3), 1024);
  EXPECT_EQ(pixelEdge(2.0000000001), 2);
  EXPECT_EQ(pixelEdge(2.001), 3);
  auto ctx = Context::bitmap({40.3, 20.3}, 1.0417);
  ASSERT_NE(ctx, nullptr);
  auto img = ctx->makeImage();
  EXPECT_EQ(img->pixelWidth(), int(pixelLength(40.3, 1.0417)));
  EXPECT_EQ(img->pixelHeight(), int(pixelLength(20.3, 1.0417)));
  Compositor comp({1024, 768}, 1.40625);
  ASSERT_NE(comp.surface(), nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(comp.surface()), 1440);
  EXPECT_EQ(cairo_image_surface_get_height(comp.surface()), 1080);
  // A hairline covers exactly one pixel wherever it starts.
  for (double y : {0.0, 0.3, 61.7, 100.0 / 3, 1024.0 / 3})
    for (double k : kFractionalScales) {
      const Rect r = pixelAligned(Rect(0, y * k, 10, 1));
      EXPECT_EQ(r.height(), 1) << y << " " << k;
    }
}

// Frames that redraw only what changed leave the pixels a full redraw gives, while views on whole
// pixels move by fractions of a pixel, grow and shrink below one (a layer thinner than a pixel
// keeps the one it ends in, within what its own extent rounds out to).
TEST(PixelGridTest, ChangedRegionsMatchAFullRedrawAtFractionalScales) {
  for (double k : kFractionalScales) {
    SCOPED_TRACE(scaleName(k));
    DrawingScale drawing(k);
    Compositor comp({300, 200}, k);
    auto root = Layer::create();
    auto moving = Layer::create(), thin = Layer::create(), bordered = Layer::create();
    {
      NoActions na;
      root->setFrame(Rect(0, 0, 300, 200));
      root->setBackgroundColor(Color::black());
      moving->setBackgroundColor(Color::whiteColor());
      thin->setBackgroundColor(Color::rgba(1, 0, 0));
      bordered->setBackgroundColor(Color::rgba(0, 0, 1));
      bordered->setBorderWidth(1 / k);
      bordered->setBorderColor(Color::whiteColor());
      bordered->setMasksToBounds(true);
      root->addSublayer(moving);
      root->addSublayer(thin);
      root->addSublayer(bordered);
    }
    for (int step = 0; step < 12; ++step) {
      {
        NoActions na;
        // The thin one alone on odd steps, so that the region redrawn is its own.
        if (step % 2 == 0) {
          moving->setFrame(Rect(10 + step * 7.3, 20.45 + step * 3.7, 40.3 + step * 0.55, 30.2));
          bordered->setFrame(Rect(200.35 - step * 1.13, 120.6, 1024.0 / 3 / 8 + step, 44.0 / 3));
        } else {
          thin->setFrame(Rect(150 + step * 3.1, 10 + step * 0.17, 0.2 + 0.05 * step, 100));
        }
      }
      comp.renderFrame(root);
      Compositor fresh({300, 200}, k);
      fresh.renderFrame(root);
      cairo_surface_t* a = comp.surface();
      cairo_surface_t* b = fresh.surface();
      cairo_surface_flush(a);
      cairo_surface_flush(b);
      int differ = 0;
      for (int y = 0; y < cairo_image_surface_get_height(a); ++y)
        differ += std::memcmp(cairo_image_surface_get_data(a) + static_cast<size_t>(y) * cairo_image_surface_get_stride(a),
                              cairo_image_surface_get_data(b) + static_cast<size_t>(y) * cairo_image_surface_get_stride(b),
                              static_cast<size_t>(cairo_image_surface_get_width(a)) * 4) != 0;
      ASSERT_EQ(differ, 0) << "rows differing after step " << step;
    }
  }
}

// Content taller than a bitmap can be at its scale (16384 pixels a side: 5825 points at 2.8125)
// is drawn at the largest scale that fits and shown, not left out.
TEST(PixelGridTest, ALayerTallerThanTheBitmapLimitStillDraws) {
  const double k = 2.8125;
  DrawingScale drawing(k);
  class Red : public LayerDelegate {
   public:
    void drawLayer(Layer& layer, Context& ctx) override {
      ctx.setFillColor(Color::red());
      ctx.fillRect(layer.bounds());
    }
  } red;
  Compositor comp({100, 100}, k);
  auto root = Layer::create();
  auto tall = Layer::create();
  {
    NoActions na;
    root->setFrame(Rect(0, 0, 100, 100));
    tall->setFrame(Rect(0, -5950, 100, 6000));  // its last 50 points show
    tall->setContentsScale(k);
    tall->setDelegate(&red);
    tall->setNeedsDisplay();
    root->addSublayer(tall);
  }
  comp.renderFrame(root);
  ASSERT_NE(tall->drawnContent(), nullptr);
  EXPECT_LE(tall->drawnContent()->pixelHeight(), 16384);
  EXPECT_LT(tall->drawnContent()->scale(), k);
  cairo_surface_t* s = comp.surface();
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(int(25 * k)) * cairo_image_surface_get_stride(s);
  EXPECT_EQ(reinterpret_cast<const uint32_t*>(row)[int(50 * k)], 0xFFFF0000u);
  tall->setDelegate(nullptr);
  // A bitmap that fits keeps its scale.
  EXPECT_EQ(Context::fittingScale({100, 5000}, k), k);
  EXPECT_EQ(Context::fittingScale({100, 0}, k), 0);
}

// Bitmaps too large at their scale and the compositor's largest frame take the largest scale
// that fits by one search: a step of 1/64 below the limits, the sides rounded up by the grid.
TEST(PixelGridTest, TheLargestScaleThatFitsIsFoundAlikeForBitmapsAndFrames) {
  // 4096 x 4096 pixels: 4720 x 3540 at 295/64; 4736 x 3552 at the next step is too many.
  EXPECT_EQ(Compositor::largestScale({1024, 768}), 295.0 / 64);
  // 16384 pixels a side: 6000 points take 16312 at 174/64, 16407 at the next step.
  EXPECT_EQ(Context::fittingScale({100, 6000}, 2.8125), 174.0 / 64);
  EXPECT_NE(Context::bitmap({100, 6000}, 174.0 / 64), nullptr);
  EXPECT_EQ(Context::bitmap({100, 6000}, 175.0 / 64), nullptr);
  // Each side rounded up can take more pixels than the limits allow: the steps go down until they
  // fit (a one-point line is two rows above scale 1, which 2000 pixels in all cannot hold).
  EXPECT_EQ(largestFittingScale({1000.3, 1}, 8, 1e9, 2000), 1.0);
  EXPECT_EQ(largestFittingScale({1000.3, 1}, 0.5, 1e9, 2000), 0.5);
  EXPECT_EQ(pixelEdgeBefore(2.9999999), 3);
  EXPECT_EQ(pixelEdgeBefore(2.999), 2);
}

}  // namespace
}  // namespace gfx
