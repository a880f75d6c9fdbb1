// The snapshot stack rendered on its own: nothing without an image, the single print with its
// curl shadow, the stack of three prints, the fit of the stack, and the download fallback.
#include "widgets/controls/SnapshotStackView.h"

#include <gtest/gtest.h>

#include "imagecache/ICWebImageManager.h"
#include "imagecache/ViewLoaderFixture.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::SnapshotStackView;
using kt::testing::Pixel;
using kt::testing::pixelAt;

std::shared_ptr<gfx::Image> solid(gfx::Size size, const gfx::Color& color) {
  auto ctx = gfx::Context::bitmap(size, 1);
  ctx->setFillColor(color);
  ctx->fillRect(gfx::Rect(gfx::Point{}, size));
  return ctx->makeImage();
}

int opaqueCount(const gfx::Image& image, int size) {
  int n = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) n += pixelAt(image, x, y).a > 0;
  return n;
}

bool isWhite(const Pixel& p) { return p.a > 250 && p.r > 250 && p.g > 250 && p.b > 250; }
bool isRed(const Pixel& p) { return p.a > 250 && p.r > 250 && p.g < 5 && p.b < 5; }

TEST(SnapshotStackViewTest, NothingIsDrawnWithoutAnImageInEitherLook) {
  auto view = SnapshotStackView::create(gfx::Rect(0, 0, 200, 200));
  EXPECT_EQ(opaqueCount(*kt::testing::render(*view->layer()), 200), 0);
  view->setDisplayAsStack(true);
  EXPECT_EQ(opaqueCount(*kt::testing::render(*view->layer()), 200), 0);
  EXPECT_FALSE(view->photoFrame());
}

TEST(SnapshotStackViewTest, SinglePrintFramesTheImageWithACurlShadowBeneath) {
  auto view = SnapshotStackView::create(gfx::Rect(0, 0, 200, 200));
  view->setImage(solid({400, 300}, gfx::Color::red()));
  support::expectRect(*view->photoFrame(), 0.5, 18.5, 199, 152, "frame");
  auto image = kt::testing::render(*view->layer());
  // The image in (7, 25, 186, 139), the white mat around it, the hairline at the frame's edge.
  EXPECT_TRUE(isRed(pixelAt(*image, 100, 90)));
  EXPECT_TRUE(isRed(pixelAt(*image, 7.5, 25.5)));
  EXPECT_TRUE(isRed(pixelAt(*image, 192.5, 163.5)));
  EXPECT_TRUE(isWhite(pixelAt(*image, 4, 90)));
  EXPECT_TRUE(isWhite(pixelAt(*image, 100, 166)));
  const Pixel edge = pixelAt(*image, 100, 18);
  EXPECT_GT(edge.a, 100);
  EXPECT_LT(edge.r, 200);
  // A shadow under the bottom edge only, strongest towards the sides where the curl hangs lowest.
  const Pixel under = pixelAt(*image, 10, 173);
  EXPECT_GT(under.a, 20);
  EXPECT_LT(under.r, 10);
  EXPECT_EQ(pixelAt(*image, 100, 14).a, 0);
  EXPECT_EQ(pixelAt(*image, 100, 185).a, 0);
}

TEST(SnapshotStackViewTest, StackFitsTheWidestTurnedPrintAndDrawsTurnedPrintsBehindTheFlatOne) {
  auto view = SnapshotStackView::create(gfx::Rect(0, 0, 200, 200));
  view->setImage(solid({400, 300}, gfx::Color::red()));
  EXPECT_EQ(view->snapshotPositions()[1].boundingRectSize, (gfx::Size{0, 0}));
  view->setDisplayAsStack(true);
  // The print turned by -3 degrees is the widest box: the stack is fitted by width to it.
  EXPECT_EQ(view->minScaleShotIdx(), 1);
  EXPECT_TRUE(view->scaledUsingWidth());
  EXPECT_NEAR(view->snapshotPositions()[1].boundingRectSize.width, 400 * std::cos(3 * M_PI / 180) + 300 * std::sin(3 * M_PI / 180),
              1e-9);
  const gfx::Rect frame = *view->photoFrame();
  const double scale = 189 / view->snapshotPositions()[1].boundingRectSize.width;
  EXPECT_DOUBLE_EQ(frame.width(), std::floor(float(400 * scale)));

  auto image = kt::testing::render(*view->layer());
  EXPECT_TRUE(isRed(pixelAt(*image, 100, 100)));
  EXPECT_TRUE(isWhite(pixelAt(*image, frame.x() + 3, frame.y() + frame.height() / 2)));
  // Corners of the turned prints stick out beyond the flat one: paper with a grey edge.
  int outside = 0, whiteOutside = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (frame.contains(gfx::Point{x + 0.5, y + 0.5})) continue;
      const Pixel p = pixelAt(*image, x, y);
      if (p.a > 250) ++outside;
      // Light and grey, under the soft shadows of the prints above.
      if (p.a > 250 && p.r > 170 && p.r == p.g && p.g == p.b) ++whiteOutside;
    }
  }
  EXPECT_GT(whiteOutside, 100);
  EXPECT_GT(outside, whiteOutside);

  // Setting the same look again changes nothing; the single look is back to its own frame.
  view->setDisplayAsStack(true);
  EXPECT_EQ(view->minScaleShotIdx(), 1);
  view->setDisplayAsStack(false);
  support::expectRect(*view->photoFrame(), 0.5, 18.5, 199, 152, "single frame");
}

TEST(SnapshotStackViewTest, AnImageSmallerThanTheViewIsFittedByItsTighterSideAndStaysInside) {
  // A 240 x 180 picture in a 300 x 300 view: the width limits (the stack's prints are wider than
  // high), so the stack must not overflow the view sideways.
  auto view = SnapshotStackView::create(gfx::Rect(0, 0, 300, 300));
  view->setDisplayAsStack(true);
  view->setImage(solid({240, 180}, gfx::Color::red()));
  EXPECT_TRUE(view->scaledUsingWidth());
  EXPECT_EQ(view->minScaleShotIdx(), 1);
  const gfx::Rect frame = *view->photoFrame();
  EXPECT_GE(frame.x(), 0);
  EXPECT_LE(frame.x() + frame.width(), 300);
  auto image = kt::testing::render(*view->layer());
  EXPECT_EQ(pixelAt(*image, 1, 150).a, 0);
  EXPECT_EQ(pixelAt(*image, 298, 150).a, 0);
}

TEST(SnapshotStackViewTest, ADownloadWithoutAHeightShowsTheDefaultImageAndAnEmptyImageDrawsNothing) {
  auto view = SnapshotStackView::create(gfx::Rect(0, 0, 200, 200));
  auto fallback = solid({100, 100}, gfx::Color::blue());
  view->setDefaultImage(fallback);
  auto manager = kt::ICWebImageManager::sharedManager();
  view->webImageManager(*manager, nullptr);
  EXPECT_EQ(view->image(), fallback);
  auto red = solid({40, 30}, gfx::Color::red());
  view->webImageManager(*manager, red);
  EXPECT_EQ(view->image(), red);

  // An image with no area counts as none: no frame, nothing drawn, no division by its height.
  auto empty = gfx::Image::fromPixels(0, 0, {});
  if (empty) {
    view->setImage(empty);
    view->setDisplayAsStack(true);
    EXPECT_FALSE(view->photoFrame());
    EXPECT_EQ(opaqueCount(*kt::testing::render(*view->layer()), 200), 0);
  }
}

class SnapshotStackLoadTest : public viewloader::ViewLoaderTest {};

TEST_F(SnapshotStackLoadTest, TheLatestLoadShowsItsPictureAndAFailedOneLeavesTheImage) {
  auto view = SnapshotStackView::create(gfx::Rect(0, 0, 200, 200));
  view->setImageWithURL(thumb(1));
  view->setImageWithURL(thumb(2));
  ASSERT_TRUE(support::runUntil([&] { return view->image() != nullptr; }));
  settle();
  EXPECT_TRUE(viewloader::isThumbnail(view->image(), 2));

  view->setImageWithURL(url("missing.jpg"));
  settle();
  EXPECT_TRUE(viewloader::isThumbnail(view->image(), 2));

  // A view that goes before its load finishes is simply not told.
  view->setImageWithURL(thumb(3));
  view.reset();
  settle();
}

class SnapshotStackScreenTest : public support::SessionsLetGoAtEnd, public support::ScreenTest {};

TEST_F(SnapshotStackScreenTest, Screenshot) {
  auto picture = gfx::Image::named("DefaultImage.jpg");
  ASSERT_TRUE(picture);
  auto single = SnapshotStackView::create(gfx::Rect(60, 60, 300, 300));
  single->setImage(picture);
  auto stack = SnapshotStackView::create(gfx::Rect(460, 60, 300, 300));
  stack->setDisplayAsStack(true);
  stack->setImage(picture);
  window().addSubview(single);
  window().addSubview(stack);
  ASSERT_TRUE(screenshot("prints"));
}

}  // namespace
