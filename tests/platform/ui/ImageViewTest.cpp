#include "platform/ui/ImageView.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/gfx/Layer.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

using gfx::Rect;
using ui::ContentMode;
using ui::ImageView;

using ImageViewInWindow = uitest::WindowTest;

TEST_F(ImageViewInWindow, ContentModesPlaceTheImage) {
  // A 20 x 10 image in a 40 x 40 view on a white background.
  auto v = ImageView::create(Rect(0, 0, 40, 40));
  v->setBackgroundColor(gfx::Color::whiteColor());
  v->setImage(uitest::solidImage(20, 10, 0xFFFF0000));
  window->addSubview(v);
  auto at = [&](int x, int y) { return uitest::render(*v)->pixelAt(x, y); };
  const uint32_t red = 0xFFFF0000u, white = 0xFFFFFFFFu;

  v->setContentMode(ContentMode::ScaleToFill);
  EXPECT_EQ(at(2, 2), red);
  EXPECT_EQ(at(37, 37), red);
  v->setContentMode(ContentMode::ScaleAspectFit);  // 40 x 20, centred
  EXPECT_EQ(at(20, 5), white);
  EXPECT_EQ(at(2, 20), red);
  v->setContentMode(ContentMode::ScaleAspectFill);  // 80 x 40, cut at the sides
  EXPECT_EQ(at(20, 2), red);
  v->setContentMode(ContentMode::Center);  // 20 x 10 at (10, 15)
  EXPECT_EQ(at(5, 20), white);
  EXPECT_EQ(at(20, 20), red);
  v->setContentMode(ContentMode::Top);
  EXPECT_EQ(at(20, 3), red);
  EXPECT_EQ(at(20, 20), white);
  v->setContentMode(ContentMode::BottomRight);
  EXPECT_EQ(at(35, 35), red);
  EXPECT_EQ(at(5, 35), white);
}

TEST(ImageViewImages, HighlightedImageAndSize) {
  auto normal = uitest::solidImage(30, 20, 0xFF000000), lit = uitest::solidImage(30, 20, 0xFFFFFFFF);
  auto v = ImageView::withImage(normal);
  EXPECT_EQ(v->frame(), Rect(0, 0, 30, 20));
  EXPECT_FALSE(v->isUserInteractionEnabled());
  v->setHighlightedImage(lit);
  EXPECT_EQ(v->layer()->model().contents, normal);
  v->setHighlighted(true);
  EXPECT_EQ(v->layer()->model().contents, lit);
  v->setImage(nullptr);
  v->setHighlighted(false);
  EXPECT_EQ(v->layer()->model().contents, nullptr);
  EXPECT_EQ(v->sizeThatFits({}), (gfx::Size{0, 0}));
  // Retina images measure in points.
  v->setImage(uitest::solidImage(10, 10, 0xFF000000, 2));
  EXPECT_EQ(v->sizeThatFits({}), (gfx::Size{10, 10}));
  EXPECT_EQ(v->layer()->model().contentsScale, 2);
}

TEST_F(ImageViewInWindow, AnimationImagesCycleAndStopAfterTheRepeats) {
  support::VirtualClock clock;
  auto a = uitest::solidImage(4, 4, 0xFFFF0000), b = uitest::solidImage(4, 4, 0xFF00FF00);
  auto still = uitest::solidImage(4, 4, 0xFF0000FF);
  auto v = ImageView::withImage(still);
  window->addSubview(v);
  v->setAnimationImages({a, b});
  v->setAnimationDuration(1.0);
  v->setAnimationRepeatCount(2);
  v->startAnimating();
  EXPECT_TRUE(v->isAnimating());
  EXPECT_EQ(v->displayedImage(), a);
  ASSERT_TRUE(support::runUntil([&] { return v->displayedImage() == b; }));
  double started = core::Clock::now();
  ASSERT_TRUE(support::runUntil([&] { return !v->isAnimating(); }));
  // Two passes of one second: it ends 1.5 s after the first switch.
  EXPECT_NEAR(core::Clock::now() - started, 1.5, 1e-6);
  EXPECT_EQ(v->displayedImage(), still);
  EXPECT_EQ(v->layer()->model().contents, still);

  v->setAnimationRepeatCount(0);
  v->startAnimating();
  core::Clock::advance(30);
  support::drainMainLoop();
  EXPECT_TRUE(v->isAnimating());
  v->stopAnimating();
  EXPECT_FALSE(v->isAnimating());
}

// Artwork found at one pixel a point stays sharp when the window's scale grows: the view, filled
// while the drawing scale was 1, draws the double artwork once the scale is 2.
TEST_F(ImageViewInWindow, ArtworkFilledAtOneScaleIsDrawnSharpAtTheNext) {
  support::TempHome home;
  const std::filesystem::path images = std::filesystem::path(home.path()) / "res" / "images";
  std::filesystem::create_directories(images);
  const uint32_t red = 0xFFFF0000u, blue = 0xFF0000FFu;
  // Red on the left, blue on the right: one column each in the plain file, two in the double.
  auto halves = [&](int side) {
    std::vector<uint32_t> px;
    for (int i = 0; i < side * side; ++i) px.push_back(i % side < side / 2 ? red : blue);
    return gfx::Image::fromPixels(side, side, std::move(px), side / 2.0)->pngData();
  };
  std::ofstream(images / "Halves.png", std::ios::binary) << *halves(2);
  std::ofstream(images / "Halves@2x.png", std::ios::binary) << *halves(4);
  support::ScopedEnv resources("KT_RESOURCES", (images.parent_path()).c_str());
  gfx::Image::clearNamedCache();

  ui::Screen::main().setDrawingScale(1.0);
  auto v = ImageView::create(Rect(0, 0, 2, 2));
  v->setImage(gfx::Image::named("Halves"));
  window->addSubview(v);
  ui::Screen::main().setDrawingScale(2.0);

  window->layoutAndDisplayIfNeeded();
  auto ctx = gfx::Context::bitmap(v->bounds().size, ui::Screen::main().drawingScale());
  gfx::Compositor::renderLayer(*v->layer(), *ctx);
  auto picture = ctx->makeImage();
  ASSERT_EQ(picture->pixelWidth(), 4);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(picture->pixelAt(1, y), red) << y;
    EXPECT_EQ(picture->pixelAt(2, y), blue) << y;
  }
  ui::Screen::main().reset();
  gfx::Image::clearNamedCache();
}

// A frame at 1280 x 800 (800 / 768 pixels a point, the double artwork chosen) shows an image
// view's artwork even when every layer is drawn again, as a whole frame of the window benchmark
// draws it: the image view draws nothing of its own, so nothing of its own covers its image.
TEST_F(ImageViewInWindow, FrameAt1280x800ShowsTheArtworkWhenEveryLayerIsDrawnAgain) {
  support::TempHome home;
  const std::filesystem::path images = std::filesystem::path(home.path()) / "res" / "images";
  std::filesystem::create_directories(images);
  const uint32_t red = 0xFFFF0000u, blue = 0xFF0000FFu, white = 0xFFFFFFFFu;
  // 40 x 40 points, red on the left and blue on the right.
  auto halves = [&](double scale) {
    const int side = static_cast<int>(40 * scale);
    std::vector<uint32_t> px;
    for (int i = 0; i < side * side; ++i) px.push_back(i % side < side / 2 ? red : blue);
    return gfx::Image::fromPixels(side, side, std::move(px), scale)->pngData();
  };
  std::ofstream(images / "Halves.png", std::ios::binary) << *halves(1);
  std::ofstream(images / "Halves@2x.png", std::ios::binary) << *halves(2);
  support::ScopedEnv resources("KT_RESOURCES", (images.parent_path()).c_str());
  gfx::Image::clearNamedCache();

  const double k = 800.0 / 768;
  ui::Screen::main().setDrawingScale(k);
  window->setBackgroundColor(gfx::Color::whiteColor());
  auto v = ImageView::create(Rect(100, 100, 40, 40));
  v->setImage(gfx::Image::named("Halves"));
  ASSERT_TRUE(v->image());
  EXPECT_EQ(v->image()->scale(), 2);
  window->addSubview(v);
  std::function<void(gfx::Layer&)> redrawAll = [&](gfx::Layer& layer) {
    layer.setNeedsDisplay();
    for (const auto& sub : layer.sublayers()) redrawAll(*sub);
  };
  redrawAll(*window->layer());
  window->layoutAndDisplayIfNeeded();
  gfx::Compositor frame({1024, 768}, k);
  frame.renderFrame(window->layer());
  auto picture = frame.snapshot();
  ASSERT_TRUE(picture);
  ASSERT_GE(picture->pixelWidth(), 1066);
  auto at = [&](double x, double y) { return picture->pixelAt(int(x * k), int(y * k)); };
  for (double y : {102.0, 120.0, 138.0}) {
    EXPECT_EQ(at(102, y), red) << y;
    EXPECT_EQ(at(118, y), red) << y;
    EXPECT_EQ(at(122, y), blue) << y;
    EXPECT_EQ(at(138, y), blue) << y;
  }
  EXPECT_EQ(at(90, 120), white);
  ui::Screen::main().reset();
  gfx::Image::clearNamedCache();
}
