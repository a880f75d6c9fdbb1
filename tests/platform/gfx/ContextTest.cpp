#include "platform/gfx/Context.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "platform/gfx/Gradient.h"
#include "platform/gfx/Image.h"

namespace {

using gfx::BlendMode;
using gfx::Color;
using gfx::Context;
using gfx::Image;
using gfx::Path;
using gfx::Point;
using gfx::Rect;
using gfx::Size;

int alphaOf(uint32_t p) { return int(p >> 24); }
int redOf(uint32_t p) { return int((p >> 16) & 0xFF); }
int greenOf(uint32_t p) { return int((p >> 8) & 0xFF); }
int blueOf(uint32_t p) { return int(p & 0xFF); }

// Premultiplied ARGB components within one unit of rounding.
void expectPixel(uint32_t actual, int a, int r, int g, int b, int tolerance = 1) {
  EXPECT_NEAR(alphaOf(actual), a, tolerance) << std::hex << actual;
  EXPECT_NEAR(redOf(actual), r, tolerance) << std::hex << actual;
  EXPECT_NEAR(greenOf(actual), g, tolerance) << std::hex << actual;
  EXPECT_NEAR(blueOf(actual), b, tolerance) << std::hex << actual;
}

std::unique_ptr<Context> canvas(double w, double h, double scale = 1) {
  auto c = Context::bitmap(Size{w, h}, scale, false);
  EXPECT_NE(c, nullptr);
  return c;
}

// A 2x2 image: red, green / blue, white.
std::shared_ptr<Image> quadrants(gfx::ImageOrientation o = gfx::ImageOrientation::Up, double scale = 1) {
  return Image::fromPixels(2, 2, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}, scale, o);
}

// ---- Bitmap contexts ----

TEST(ContextTest, BitmapHasScaledPixelsAndStartsTransparent) {
  auto c = canvas(10, 5, 2);
  EXPECT_EQ(c->size(), (Size{10, 5}));
  EXPECT_TRUE(c->isBitmap());
  auto image = c->makeImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 20);
  EXPECT_EQ(image->pixelHeight(), 10);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), (Size{10, 5}));
  EXPECT_EQ(image->pixelAt(7, 3), 0u);

  // A fractional size rounds up to whole pixels.
  auto odd = Context::bitmap(Size{2.25, 1}, 2, false);
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->makeImage()->pixelWidth(), 5);
}

// A bitmap made on first drawing holds no pixels until something draws (changes of state and
// clearing make none), then draws exactly as a bitmap made at once: the transform, the clip and
// the saved states set before are carried over.
TEST(ContextTest, BitmapOnFirstDrawingMakesPixelsOnlyWhenDrawnWithTheStateBefore) {
  auto idle = Context::bitmapOnFirstDrawing(Size{10, 5}, 2);
  ASSERT_NE(idle, nullptr);
  EXPECT_TRUE(idle->isBitmap());
  EXPECT_EQ(idle->size(), (Size{10, 5}));
  idle->translate(1, 1);
  idle->clipToRect(Rect(0, 0, 4, 4));
  idle->clearRect(Rect(0, 0, 10, 5));
  idle->setFillColor(Color::red());
  idle->setAlpha(0);
  idle->fillRect(Rect(0, 0, 10, 5));  // draws nothing at alpha 0
  EXPECT_FALSE(idle->hasPixels());
  EXPECT_EQ(idle->clipBoundingBox(), Rect(0, 0, 4, 4));

  auto paint = [](Context& c) {
    c.translate(1, 0.5);
    c.save();
    c.scaleBy(2, 1);
    c.clipToPath(Path::ellipse(Rect(0, 0, 3, 3)), gfx::FillRule::NonZero);
    c.save();
    c.rotate(0.3);
    c.restore();
    EXPECT_EQ(c.clipBoundingBox(), Rect(0, 0, 3, 3));
    c.setFillColor(Color::red());
    c.fillRect(Rect(-5, -5, 20, 20));
    c.restore();
    c.setFillColor(Color::blue());
    c.fillRect(Rect(6, 2, 2, 2));
  };
  auto later = Context::bitmapOnFirstDrawing(Size{10, 5}, 2);
  auto atOnce = canvas(10, 5, 2);
  paint(*later);
  paint(*atOnce);
  EXPECT_TRUE(later->hasPixels());
  auto a = Context::takeImage(std::move(later)), b = atOnce->makeImage();
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->pixelWidth(), 20);
  ASSERT_EQ(a->pixelHeight(), 10);
  EXPECT_EQ(a->scale(), 2);
  int red = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      EXPECT_EQ(a->pixelAt(x, y), b->pixelAt(x, y)) << x << "," << y;
      red += a->pixelAt(x, y) == 0xFFFF0000u;
    }
  EXPECT_GT(red, 10);
  EXPECT_EQ(a->pixelAt(15, 6), 0xFF0000FFu);
}

TEST(ContextTest, BitmapRefusesEmptyOrHugeSizes) {
  EXPECT_EQ(Context::bitmap(Size{0, 10}, 1, false), nullptr);
  EXPECT_EQ(Context::bitmap(Size{-5, 10}, 1, false), nullptr);
  EXPECT_EQ(Context::bitmap(Size{NAN, 10}, 1, false), nullptr);
  EXPECT_EQ(Context::bitmap(Size{100000, 100000}, 1, false), nullptr);
}

TEST(ContextTest, OpaqueBitmapSnapshotsWithFullAlpha) {
  auto c = Context::bitmap(Size{4, 4}, 1, true);
  ASSERT_NE(c, nullptr);
  c->setFillColor(Color(0, 0, 1, 0.5));
  c->fillRect(Rect(0, 0, 2, 4));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(3, 3), 255, 0, 0, 0);    // black where nothing was drawn
  expectPixel(image->pixelAt(0, 0), 255, 0, 0, 128);  // blended over black, alpha kept opaque
}

TEST(ContextTest, SnapshotOnlyFromImageSurfaces) {
  cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
  auto c = Context::forSurface(recording, 1);
  cairo_surface_destroy(recording);
  ASSERT_NE(c, nullptr);
  c->fillRect(Rect(0, 0, 10, 10));  // draws without an image behind it
  EXPECT_EQ(c->makeImage(), nullptr);
  EXPECT_EQ(Context::forSurface(nullptr), nullptr);
}

// ---- Fills and strokes ----

TEST(ContextTest, FillPutsPremultipliedColourInsideOnly) {
  auto c = canvas(20, 20);
  c->setFillColor(Color(1, 0, 0, 0.5));
  c->fillRect(Rect(5, 5, 10, 10));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(5, 5), 128, 128, 0, 0);
  expectPixel(image->pixelAt(14, 14), 128, 128, 0, 0);
  EXPECT_EQ(image->pixelAt(4, 10), 0u);
  EXPECT_EQ(image->pixelAt(15, 10), 0u);
  EXPECT_EQ(image->pixelAt(10, 4), 0u);
}

TEST(ContextTest, ScaleMapsPointsToPixels) {
  auto c = canvas(10, 10, 2);
  c->setFillColor(Color::green());
  c->fillRect(Rect(1, 1, 2, 2));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(2, 2), 255, 0, 255, 0);
  expectPixel(image->pixelAt(5, 5), 255, 0, 255, 0);
  EXPECT_EQ(image->pixelAt(6, 6), 0u);
  EXPECT_EQ(image->pixelAt(1, 1), 0u);
}

TEST(ContextTest, StrokeCentresTheLineOnThePath) {
  auto c = canvas(20, 20);
  c->setStrokeColor(Color::blue());
  c->setLineWidth(2);
  c->strokeRect(Rect(4, 4, 12, 12));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(3, 10), 255, 0, 0, 255);  // x 3..5 is the left edge
  expectPixel(image->pixelAt(4, 10), 255, 0, 0, 255);
  EXPECT_EQ(image->pixelAt(10, 10), 0u);
  EXPECT_EQ(image->pixelAt(1, 10), 0u);
}

TEST(ContextTest, FillAndStrokeDrawsBothColours) {
  auto c = canvas(20, 20);
  c->setFillColor(Color::red());
  c->setStrokeColor(Color::blue());
  c->setLineWidth(2);
  c->draw(Path::rect(Rect(4, 4, 12, 12)), gfx::PathDrawingMode::FillStroke);
  auto image = c->makeImage();
  expectPixel(image->pixelAt(10, 10), 255, 255, 0, 0);
  expectPixel(image->pixelAt(4, 10), 255, 0, 0, 255);
}

TEST(ContextTest, DashesLeaveGaps) {
  auto c = canvas(20, 4);
  c->setStrokeColor(Color::black());
  c->setLineWidth(2);
  c->setLineDash(0, {4, 4});
  Path p;
  p.moveTo({0, 2});
  p.lineTo({20, 2});
  c->stroke(p);
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(1, 2)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(5, 2)), 0);
  EXPECT_EQ(alphaOf(image->pixelAt(9, 2)), 255);
}

TEST(ContextTest, RoundCapReachesPastTheEnd) {
  auto butt = canvas(20, 10);
  auto round = canvas(20, 10);
  for (Context* c : {butt.get(), round.get()}) {
    c->setLineWidth(6);
    if (c == round.get()) c->setLineCap(gfx::LineCap::Round);
    Path p;
    p.moveTo({5, 5});
    p.lineTo({15, 5});
    c->stroke(p);
  }
  EXPECT_EQ(alphaOf(butt->makeImage()->pixelAt(3, 5)), 0);
  EXPECT_EQ(alphaOf(round->makeImage()->pixelAt(3, 5)), 255);
}

TEST(ContextTest, EvenOddLeavesTheHoleNonZeroFillsIt) {
  Path p = Path::rect(Rect(0, 0, 20, 20));
  p.addRect(Rect(5, 5, 10, 10));
  auto evenOdd = canvas(20, 20);
  evenOdd->fill(p, gfx::FillRule::EvenOdd);
  auto nonZero = canvas(20, 20);
  nonZero->fill(p, gfx::FillRule::NonZero);
  EXPECT_EQ(evenOdd->makeImage()->pixelAt(10, 10), 0u);
  EXPECT_EQ(alphaOf(evenOdd->makeImage()->pixelAt(2, 2)), 255);
  EXPECT_EQ(alphaOf(nonZero->makeImage()->pixelAt(10, 10)), 255);
}

TEST(ContextTest, CurrentPathIsTakenInUserSpaceAndConsumed) {
  auto c = canvas(20, 20);
  c->translate(10, 0);
  c->moveTo({0, 0});
  c->lineTo({5, 0});
  c->lineTo({5, 5});
  c->lineTo({0, 5});
  c->closePath();
  c->translate(-10, 0);  // the path keeps where it was added
  EXPECT_NEAR(c->path().boundingBox().x(), 10, 1e-9);
  c->fillPath();
  EXPECT_TRUE(c->isPathEmpty());
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(12, 2)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(2, 2)), 0);

  // An arc continues the subpath with a line from the current point.
  c->beginPath();
  c->moveTo({0, 10});
  c->addArc({10, 10}, 5, M_PI, 2 * M_PI, true);
  EXPECT_EQ(c->path().elements()[1].type, Path::ElementType::LineTo);
}

TEST(ContextTest, SaveRestoreBringsBackStateClipAndTransform) {
  auto c = canvas(20, 20);
  c->setFillColor(Color::red());
  c->save();
  c->setFillColor(Color::blue());
  c->translate(10, 10);
  c->clipToRect(Rect(0, 0, 2, 2));
  c->setAlpha(0.5);
  c->restore();
  c->restore();  // unbalanced: ignored
  EXPECT_EQ(c->saveDepth(), 0);
  EXPECT_EQ(c->fillColor(), Color::red());
  EXPECT_EQ(c->alpha(), 1);
  c->fillRect(Rect(0, 0, 20, 20));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(0, 0), 255, 255, 0, 0);
  expectPixel(image->pixelAt(19, 19), 255, 255, 0, 0);
}

TEST(ContextTest, RotationTurnsClockwiseOnScreen) {
  auto c = canvas(20, 20);
  c->translate(10, 10);
  c->rotate(M_PI / 2);
  c->fillRect(Rect(1, -1, 8, 2));  // to the right of the centre, turned to below it
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(10, 15)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(15, 10)), 0);
}

// ---- Clipping ----

TEST(ContextTest, RoundedClipCutsTheCorners) {
  auto c = canvas(40, 40);
  c->clipToPath(Path::roundedRect(Rect(0, 0, 40, 40), 12));
  c->setFillColor(Color::red());
  c->fillRect(Rect(0, 0, 40, 40));
  auto image = c->makeImage();
  EXPECT_EQ(image->pixelAt(0, 0), 0u);
  EXPECT_EQ(image->pixelAt(39, 39), 0u);
  EXPECT_EQ(image->pixelAt(1, 38), 0u);
  expectPixel(image->pixelAt(20, 20), 255, 255, 0, 0);
  expectPixel(image->pixelAt(20, 0), 255, 255, 0, 0);
  // Part way round the corner the edge is antialiased.
  int a = alphaOf(image->pixelAt(3, 3));
  EXPECT_GT(a, 0);
  EXPECT_LT(a, 255);
}

TEST(ContextTest, EvenOddClipLeavesAHole) {
  auto c = canvas(20, 20);
  Path p = Path::rect(Rect(0, 0, 20, 20));
  p.addRect(Rect(5, 5, 10, 10));
  c->clipToPath(p, gfx::FillRule::EvenOdd);
  c->fillRect(Rect(0, 0, 20, 20));
  auto image = c->makeImage();
  EXPECT_EQ(image->pixelAt(10, 10), 0u);
  EXPECT_EQ(alphaOf(image->pixelAt(2, 10)), 255);
  EXPECT_EQ(c->clipBoundingBox(), Rect(0, 0, 20, 20));
}

TEST(ContextTest, MaskClipShowsThroughItsAlpha) {
  // Left column opaque, right column at a quarter.
  auto mask = Image::fromPixels(2, 1, {0xFF000000u, 0x40000000u});
  ASSERT_NE(mask, nullptr);
  auto c = canvas(20, 10);
  c->clipToMask(Rect(0, 0, 20, 10), *mask);
  c->setInterpolationQuality(gfx::InterpolationQuality::None);
  c->setFillColor(Color::whiteColor());
  c->fillRect(Rect(0, 0, 20, 10));
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(1, 5)), 255);
  EXPECT_NEAR(alphaOf(image->pixelAt(18, 5)), 64, 1);
}

TEST(ContextTest, MaskClipStopsAtItsRectangleAndCombines) {
  auto opaque = Image::fromPixels(1, 1, {0xFF000000u});
  auto half = Image::fromPixels(1, 1, {0x80000000u});
  auto c = canvas(20, 20);
  c->save();
  c->clipToMask(Rect(0, 0, 10, 20), *opaque);
  c->clipToMask(Rect(0, 0, 20, 10), *half);
  c->fillRect(Rect(0, 0, 20, 20));
  c->restore();
  auto image = c->makeImage();
  EXPECT_NEAR(alphaOf(image->pixelAt(5, 5)), 128, 1);  // both masks
  EXPECT_EQ(alphaOf(image->pixelAt(15, 5)), 0);        // outside the first
  EXPECT_EQ(alphaOf(image->pixelAt(5, 15)), 0);        // outside the second

  // After the restore the masks are gone.
  c->setFillColor(Color::red());
  c->fillRect(Rect(15, 15, 5, 5));
  expectPixel(c->makeImage()->pixelAt(17, 17), 255, 255, 0, 0);
}

TEST(ContextTest, MaskClipFromAPictureWithoutAlphaUsesBrightness) {
  // A mid-grey PNG without an alpha channel.
  cairo_surface_t* rgb = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* cr = cairo_create(rgb);
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_paint(cr);
  cairo_destroy(cr);
  std::string png;
  cairo_surface_write_to_png_stream(
      rgb,
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(rgb);
  auto mask = Image::decode(png);
  ASSERT_NE(mask, nullptr);
  ASSERT_FALSE(mask->hasAlpha());

  auto c = canvas(4, 4);
  c->clipToMask(Rect(0, 0, 4, 4), *mask);
  c->fillRect(Rect(0, 0, 4, 4));
  EXPECT_NEAR(alphaOf(c->makeImage()->pixelAt(2, 2)), 128, 2);
}

// ---- Gradients ----

TEST(ContextTest, LinearGradientHasItsMidColourHalfWay) {
  auto g = gfx::Gradient::withColors({Color::red(), Color::blue()});
  ASSERT_TRUE(g.has_value());
  auto c = canvas(101, 1);
  c->drawLinearGradient(*g, {0.5, 0}, {100.5, 0}, gfx::GradientDrawsBeforeStart | gfx::GradientDrawsAfterEnd);
  auto image = c->makeImage();
  expectPixel(image->pixelAt(50, 0), 255, 128, 0, 128, 2);
  expectPixel(image->pixelAt(0, 0), 255, 255, 0, 0, 2);
  expectPixel(image->pixelAt(100, 0), 255, 0, 0, 255, 2);
}

TEST(ContextTest, GradientPaintsBeyondItsEndsOnlyWhenAsked) {
  auto g = gfx::Gradient::withColors({Color::red(), Color::blue()});
  auto none = canvas(30, 1);
  none->drawLinearGradient(*g, {10, 0}, {20, 0}, 0);
  auto image = none->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(5, 0)), 0);
  EXPECT_EQ(alphaOf(image->pixelAt(25, 0)), 0);
  EXPECT_EQ(alphaOf(image->pixelAt(15, 0)), 255);

  auto after = canvas(30, 1);
  after->drawLinearGradient(*g, {10, 0}, {20, 0}, gfx::GradientDrawsAfterEnd);
  image = after->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(5, 0)), 0);
  expectPixel(image->pixelAt(25, 0), 255, 0, 0, 255);
}

TEST(ContextTest, RadialGradientRunsFromTheCentreOut) {
  auto g = gfx::Gradient::withColors({Color(0, 0, 0, 0), Color(0, 0, 0, 0.75)});
  auto c = canvas(41, 41);
  c->drawRadialGradient(*g, {20.5, 20.5}, 0, {20.5, 20.5}, 20, gfx::GradientDrawsAfterEnd);
  auto image = c->makeImage();
  EXPECT_LE(alphaOf(image->pixelAt(20, 20)), 2);
  EXPECT_NEAR(alphaOf(image->pixelAt(30, 20)), 96, 3);  // half way: 0.375
  EXPECT_NEAR(alphaOf(image->pixelAt(0, 0)), 191, 2);   // past the end
}

TEST(ContextTest, GradientStopsAreSortedAndValidated) {
  auto g = gfx::Gradient::withColors({Color::red(), Color::blue(), Color::green()}, {0, 1, 0.5});
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->stops()[1].color, Color::green());
  EXPECT_EQ(g->colorAt(0.25), Color(0.5, 0.5, 0, 1));
  EXPECT_FALSE(gfx::Gradient::withColors({}).has_value());
  EXPECT_FALSE(gfx::Gradient::withColors({Color::red(), Color::blue()}, {0}).has_value());
  double rgba[] = {1, 0, 0, 1, 0, 0, 1, 1};
  auto fromComponents = gfx::Gradient::withComponents(rgba, nullptr, 2);
  ASSERT_TRUE(fromComponents.has_value());
  EXPECT_EQ(fromComponents->stops()[1].location, 1);
}

TEST(ContextTest, GradientIsClippedToTheClip) {
  auto g = gfx::Gradient::withColors({Color::red(), Color::red()});
  auto c = canvas(20, 20);
  c->clipToRect(Rect(5, 5, 5, 5));
  c->drawLinearGradient(*g, {0, 0}, {20, 0}, 3);
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(7, 7)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(12, 7)), 0);
}

// ---- Shadows ----

TEST(ContextTest, SharpShadowIsOffsetBelowTheShape) {
  auto c = canvas(40, 40);
  c->setShadow(Size{5, 5}, 0, Color(0, 0, 0, 0.5));
  c->setFillColor(Color::red());
  c->fillRect(Rect(10, 10, 10, 10));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(15, 15), 255, 255, 0, 0);  // the shape over its shadow
  expectPixel(image->pixelAt(22, 22), 128, 0, 0, 0);    // shadow only
  EXPECT_EQ(alphaOf(image->pixelAt(26, 22)), 0);        // beyond the shadow
  EXPECT_EQ(alphaOf(image->pixelAt(12, 8)), 0);         // nothing above the shape
}

TEST(ContextTest, BlurredShadowSpreadsAndFades) {
  auto c = canvas(60, 60);
  c->setShadow(Size{0, 10}, 8, Color::black());
  c->fillRect(Rect(20, 10, 20, 20));
  auto image = c->makeImage();
  // Deep inside the shadow's footprint it is nearly full; at its edge about half; outside the
  // footprint it fades, and far away it is gone.
  EXPECT_GT(alphaOf(image->pixelAt(30, 33)), 200);
  EXPECT_NEAR(alphaOf(image->pixelAt(30, 40)), 128, 30);
  int near = alphaOf(image->pixelAt(30, 42));
  int farther = alphaOf(image->pixelAt(30, 45));
  EXPECT_GT(near, farther);
  EXPECT_GT(farther, 0);
  EXPECT_EQ(alphaOf(image->pixelAt(30, 55)), 0);
  // Side spread at the shadow's own height, below the shape.
  EXPECT_GT(alphaOf(image->pixelAt(41, 35)), 0);
  EXPECT_LT(alphaOf(image->pixelAt(41, 35)), 128);
}

TEST(ContextTest, ShadowIgnoresTheUserTransformButFollowsTheScale) {
  auto c = canvas(20, 20, 2);  // 40x40 pixels
  c->scaleBy(0.5, 0.5);
  c->setShadow(Size{5, 0}, 0, Color::black());
  c->fillRect(Rect(0, 0, 10, 10));  // 5x5 points: 10x10 pixels
  auto image = c->makeImage();
  // Offset 5 points = 10 pixels, unaffected by the user scale.
  EXPECT_EQ(alphaOf(image->pixelAt(15, 5)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(21, 5)), 0);
}

TEST(ContextTest, ShadowOfAShapeOutsideTheClipStillFallsInside) {
  auto c = canvas(40, 20);
  c->clipToRect(Rect(20, 0, 20, 20));
  c->setShadow(Size{15, 0}, 0);
  c->setFillColor(Color::red());
  c->fillRect(Rect(5, 5, 10, 10));
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(10, 10)), 0);   // the shape is clipped away
  EXPECT_EQ(alphaOf(image->pixelAt(25, 10)), 85);  // its shadow lands in the clip (1/3 black by default)
}

TEST(ContextTest, TransparentShadowColourTurnsShadowOff) {
  auto c = canvas(20, 20);
  c->setShadow(Size{5, 5}, 0, Color::clear());
  c->fillRect(Rect(0, 0, 10, 10));
  EXPECT_EQ(alphaOf(c->makeImage()->pixelAt(12, 12)), 0);
}

// ---- Blend modes and alpha ----

// Fills with `top` over a full cover of `bottom` in `mode` and returns the middle pixel.
uint32_t blended(BlendMode mode, Color bottom, Color top) {
  auto c = canvas(4, 4);
  c->setFillColor(bottom);
  c->fillRect(Rect(0, 0, 4, 4));
  c->setBlendMode(mode);
  c->setFillColor(top);
  c->fillRect(Rect(0, 0, 4, 4));
  return c->makeImage()->pixelAt(2, 2);
}

TEST(ContextTest, SeparableBlendModesOnKnownColours) {
  Color grey = Color::white(0.5), red = Color::red();
  expectPixel(blended(BlendMode::Normal, grey, red), 255, 255, 0, 0);
  expectPixel(blended(BlendMode::Multiply, grey, red), 255, 128, 0, 0);
  expectPixel(blended(BlendMode::Screen, grey, red), 255, 255, 128, 128);
  expectPixel(blended(BlendMode::Darken, grey, red), 255, 128, 0, 0);
  expectPixel(blended(BlendMode::Lighten, grey, red), 255, 255, 128, 128);
  expectPixel(blended(BlendMode::Difference, grey, red), 255, 127, 128, 128);
  expectPixel(blended(BlendMode::Exclusion, grey, red), 255, 128, 128, 128);
  expectPixel(blended(BlendMode::Overlay, grey, red), 255, 255, 0, 0);
  expectPixel(blended(BlendMode::HardLight, grey, red), 255, 255, 0, 0);
  expectPixel(blended(BlendMode::PlusLighter, grey, Color(0.25, 0.25, 0.25)), 255, 192, 192, 192);
}

TEST(ContextTest, PorterDuffModesOnKnownColours) {
  Color halfBlue(0, 0, 1, 0.5), red = Color::red();
  expectPixel(blended(BlendMode::Copy, red, halfBlue), 128, 0, 0, 128);
  expectPixel(blended(BlendMode::Clear, red, halfBlue), 0, 0, 0, 0);
  expectPixel(blended(BlendMode::SourceIn, halfBlue, red), 128, 128, 0, 0);
  expectPixel(blended(BlendMode::SourceOut, halfBlue, red), 128, 128, 0, 0);
  expectPixel(blended(BlendMode::SourceAtop, halfBlue, red), 128, 128, 0, 0);
  expectPixel(blended(BlendMode::DestinationOver, halfBlue, red), 255, 128, 0, 128);
  expectPixel(blended(BlendMode::DestinationIn, red, halfBlue), 128, 128, 0, 0);
  expectPixel(blended(BlendMode::DestinationOut, red, halfBlue), 128, 128, 0, 0);
  expectPixel(blended(BlendMode::DestinationAtop, red, halfBlue), 128, 128, 0, 0);
  expectPixel(blended(BlendMode::XOR, halfBlue, halfBlue), 128, 0, 0, 128);
  // Stored mode numbers keep the platform's numbering.
  EXPECT_EQ(static_cast<BlendMode>(20), BlendMode::SourceAtop);
  EXPECT_EQ(static_cast<BlendMode>(27), BlendMode::PlusLighter);
}

TEST(ContextTest, SourceInTouchesOnlyTheShapeDrawn) {
  auto c = canvas(20, 20);
  c->setFillColor(Color::blue());
  c->fillRect(Rect(0, 0, 20, 20));
  c->setBlendMode(BlendMode::SourceIn);
  c->setFillColor(Color::red());
  c->fillRect(Rect(0, 0, 5, 5));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(2, 2), 255, 255, 0, 0);
  expectPixel(image->pixelAt(10, 10), 255, 0, 0, 255);  // untouched, as the platform draws
}

TEST(ContextTest, SourceAtopTintsOnlyWhereThereIsInk) {
  // The tinting idiom: draw a shape, then fill everything in source-atop.
  auto c = canvas(20, 20);
  c->fillEllipse(Rect(0, 0, 20, 20));
  c->setBlendMode(BlendMode::SourceAtop);
  c->setFillColor(Color::green());
  c->fillRect(Rect(0, 0, 20, 20));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(10, 10), 255, 0, 255, 0);
  EXPECT_EQ(image->pixelAt(0, 0), 0u);
}

TEST(ContextTest, AlphaScalesEverythingDrawn) {
  auto c = canvas(10, 10);
  c->setAlpha(0.5);
  c->setFillColor(Color::red());
  c->setStrokeColor(Color::red());
  c->setLineWidth(4);
  // The overlap of fill and stroke is not counted twice.
  c->draw(Path::rect(Rect(2, 2, 6, 6)), gfx::PathDrawingMode::FillStroke);
  auto image = c->makeImage();
  expectPixel(image->pixelAt(2, 2), 128, 128, 0, 0);
  expectPixel(image->pixelAt(5, 5), 128, 128, 0, 0);
}

TEST(ContextTest, ClearRectMakesPixelsTransparentInsideTheClip) {
  auto c = canvas(20, 20);
  c->fillRect(Rect(0, 0, 20, 20));
  c->clipToRect(Rect(0, 0, 10, 20));
  c->setShadow(Size{4, 4}, 2);  // not used by clearing
  c->clearRect(Rect(5, 5, 10, 10));
  auto image = c->makeImage();
  EXPECT_EQ(image->pixelAt(7, 7), 0u);
  EXPECT_EQ(alphaOf(image->pixelAt(12, 7)), 255);  // outside the clip
  EXPECT_EQ(alphaOf(image->pixelAt(2, 2)), 255);
}

// ---- Images ----

TEST(ContextTest, ImageIsScaledIntoTheRectangle) {
  auto c = canvas(20, 20);
  c->setInterpolationQuality(gfx::InterpolationQuality::None);
  c->drawImage(*quadrants(), Rect(0, 0, 20, 20));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(3, 3), 255, 255, 0, 0);
  expectPixel(image->pixelAt(16, 3), 255, 0, 255, 0);
  expectPixel(image->pixelAt(3, 16), 255, 0, 0, 255);
  expectPixel(image->pixelAt(16, 16), 255, 255, 255, 255);
}

TEST(ContextTest, SmoothScalingKeepsEdgesCrisp) {
  auto c = canvas(30, 30);
  c->drawImage(*quadrants(), Rect(5, 5, 20, 20));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(5, 5), 255, 255, 0, 0);  // corner: no blending with transparency
  EXPECT_EQ(image->pixelAt(4, 5), 0u);
  // In the middle the four colours mix.
  uint32_t mid = image->pixelAt(15, 15);
  EXPECT_GT(redOf(mid), 0);
  EXPECT_GT(greenOf(mid), 0);
  EXPECT_GT(blueOf(mid), 0);
}

TEST(ContextTest, ImageOrientationIsAppliedWhenDrawn) {
  struct Case {
    gfx::ImageOrientation orientation;
    uint32_t topLeft, topRight, bottomLeft, bottomRight;
  };
  const uint32_t R = 0xFFFF0000u, G = 0xFF00FF00u, B = 0xFF0000FFu, W = 0xFFFFFFFFu;
  const Case cases[] = {
      {gfx::ImageOrientation::Up, R, G, B, W},           {gfx::ImageOrientation::Down, W, B, G, R},
      {gfx::ImageOrientation::Right, B, R, W, G},        {gfx::ImageOrientation::Left, G, W, R, B},
      {gfx::ImageOrientation::UpMirrored, G, R, W, B},   {gfx::ImageOrientation::DownMirrored, B, W, R, G},
      {gfx::ImageOrientation::LeftMirrored, R, B, G, W}, {gfx::ImageOrientation::RightMirrored, W, G, B, R},
  };
  for (const Case& k : cases) {
    auto c = canvas(2, 2);
    c->setInterpolationQuality(gfx::InterpolationQuality::None);
    c->drawImage(*quadrants(k.orientation), Rect(0, 0, 2, 2));
    auto image = c->makeImage();
    SCOPED_TRACE(static_cast<int>(k.orientation));
    EXPECT_EQ(image->pixelAt(0, 0), k.topLeft);
    EXPECT_EQ(image->pixelAt(1, 0), k.topRight);
    EXPECT_EQ(image->pixelAt(0, 1), k.bottomLeft);
    EXPECT_EQ(image->pixelAt(1, 1), k.bottomRight);
  }
}

TEST(ContextTest, ImageAtAPointTakesItsSizeInPoints) {
  // 4x2 pixels at scale 2, turned: 1x2 points upright.
  std::vector<uint32_t> px(8, 0xFF00FF00u);
  auto turned = Image::fromPixels(4, 2, px, 2, gfx::ImageOrientation::Right);
  auto c = canvas(4, 4);
  c->drawImage(*turned, Point{1, 1});
  auto image = c->makeImage();
  EXPECT_EQ(alphaOf(image->pixelAt(1, 1)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(1, 2)), 255);
  EXPECT_EQ(alphaOf(image->pixelAt(2, 1)), 0);
  EXPECT_EQ(alphaOf(image->pixelAt(1, 3)), 0);
}

TEST(ContextTest, TiledImageAndPatternColourRepeat) {
  auto tile = Image::fromPixels(2, 1, {0xFFFF0000u, 0xFF0000FFu});
  auto tiled = canvas(8, 2);
  tiled->setInterpolationQuality(gfx::InterpolationQuality::None);
  tiled->drawTiledImage(*tile, Rect(1, 0, 2, 1));
  auto image = tiled->makeImage();
  EXPECT_EQ(image->pixelAt(1, 0), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(2, 0), 0xFF0000FFu);
  EXPECT_EQ(image->pixelAt(3, 0), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(0, 1), 0xFF0000FFu);  // tiles go both ways from their origin

  auto patterned = canvas(8, 2);
  patterned->setInterpolationQuality(gfx::InterpolationQuality::None);
  patterned->setFillColor(Color::patternImage(tile));
  patterned->fillRect(Rect(2, 0, 6, 2));
  image = patterned->makeImage();
  EXPECT_EQ(image->pixelAt(1, 0), 0u);
  EXPECT_EQ(image->pixelAt(2, 0), 0xFFFF0000u);  // aligned on the origin, not on the rectangle
  EXPECT_EQ(image->pixelAt(5, 1), 0xFF0000FFu);
}

TEST(ContextTest, ImageWithShadowAndAlpha) {
  auto c = canvas(20, 20);
  c->setAlpha(0.5);
  c->setShadow(Size{4, 0}, 0, Color::black());
  auto solid = Image::fromPixels(1, 1, {0xFFFFFFFFu});
  c->drawImage(*solid, Rect(0, 0, 8, 8));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(2, 2), 128, 128, 128, 128);
  expectPixel(image->pixelAt(10, 2), 128, 0, 0, 0);
}

TEST(ContextTest, CustomDrawingGoesThroughTheEffects) {
  auto c = canvas(20, 20);
  c->setShadow(Size{0, 5}, 0, Color::black());
  c->setFillColor(Color::blue());
  c->drawCustom(
      [&](cairo_t* cr) {
        c->setSourceToFill(cr);
        cairo_rectangle(cr, 0, 0, 5, 5);
        cairo_fill(cr);
      },
      Rect(0, 0, 5, 5));
  auto image = c->makeImage();
  expectPixel(image->pixelAt(2, 2), 255, 0, 0, 255);
  expectPixel(image->pixelAt(2, 7), 255, 0, 0, 0);
}

}  // namespace
