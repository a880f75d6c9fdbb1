#include "imagecache/GIF.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TestImages.h"
#include "support/ScopedEnv.h"

using namespace kt::GIF;

namespace {

constexpr uint32_t kGreen = 0xFF00FF00;

// Restores the screen's image scale after a test that changes it.
struct ModeScale {
  explicit ModeScale(double scale) { gfx::Image::setModeScale(scale); }
  ~ModeScale() { gfx::Image::setModeScale(m_saved); }
  double m_saved = gfx::Image::modeScale();
};

void expectAllGreen(const gfx::Image& image) {
  // A pixel in from each edge: the edges themselves may be filtered.
  for (int y = 1; y < image.pixelHeight() - 1; y += 7)
    for (int x = 1; x < image.pixelWidth() - 1; x += 7) ASSERT_EQ(image.pixelAt(x, y), kGreen) << x << "," << y;
}

}  // namespace

TEST(GIFTest, FrameTiming) {
  ModeScale scale(2);
  // Ten frames without delay last a second in all.
  const kt::ImagePtr zero = ic_animatedGIFWithData(testimages::gif(4, 4, std::vector<int>(10, 0)));
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->frames().size(), 10u);
  EXPECT_FLOAT_EQ(static_cast<float>(zero->duration()), 1.0f);
  EXPECT_EQ(zero->frames()[0]->scale(), 2.0);
  EXPECT_EQ(zero->frames()[0]->orientation(), gfx::ImageOrientation::Up);
  // A hundredth of a second counts as a tenth; 0.05 s stays.
  const kt::ImagePtr mixed = ic_animatedGIFWithData(testimages::gif(4, 4, {1, 5, 20}));
  ASSERT_TRUE(mixed);
  EXPECT_FLOAT_EQ(static_cast<float>(mixed->duration()), 0.35f);

  const auto decoded = gfx::Image::decode(testimages::gif(4, 4, {1, 5, 20}));
  EXPECT_FLOAT_EQ(ic_frameDurationAtIndex(0, *decoded), 0.1f);
  EXPECT_FLOAT_EQ(ic_frameDurationAtIndex(1, *decoded), 0.05f);
  EXPECT_FLOAT_EQ(ic_frameDurationAtIndex(2, *decoded), 0.2f);
  EXPECT_FLOAT_EQ(ic_frameDurationAtIndex(3, *decoded), 0.1f);  // no such frame
}

TEST(GIFTest, OneFrameIsStillAndBadDataIsNothing) {
  const kt::ImagePtr still = ic_animatedGIFWithData(testimages::gif(4, 4, {50}));
  ASSERT_TRUE(still);
  EXPECT_TRUE(still->frames().empty());
  EXPECT_EQ(still->scale(), 1.0);
  EXPECT_EQ(ic_animatedGIFWithData(""), nullptr);
  EXPECT_EQ(ic_animatedGIFWithData("GIF89a\x04\x00"), nullptr);
}

TEST(GIFTest, AGIFCutShortGivesItsWholeFrames) {
  ModeScale scale(1);
  // Cut inside the picture data of the third frame: the first two decode, the third is left out.
  // Frames are red, green, blue.
  const std::string whole = testimages::gif(4, 4, {10, 20, 30});
  const kt::ImagePtr image = ic_animatedGIFWithData(whole.substr(0, whole.size() - 3));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->frames().size(), 2u);
  EXPECT_FLOAT_EQ(static_cast<float>(image->duration()), 0.3f);
  EXPECT_EQ(image->frames()[0]->pixelAt(2, 2), 0xFFFF0000u);
  EXPECT_EQ(image->frames()[1]->pixelAt(2, 2), kGreen);
  // Cut right after the first frame (where a one-frame GIF has its last byte): a still image.
  const kt::ImagePtr first = ic_animatedGIFWithData(whole.substr(0, testimages::gif(4, 4, {10}).size() - 1));
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->frames().empty());
  EXPECT_EQ(first->pixelAt(2, 2), 0xFFFF0000u);
}

TEST(GIFTest, ScaleAndCropAnimationKeepsTheMiddle) {
  ModeScale scale(2);
  // 200 x 100 with bands red | green | blue at 50 and 150: filling 100 x 100 draws each frame at
  // 200 x 100 from x = -50, so only the green band shows.
  const kt::ImagePtr source = ic_animatedGIFWithData(testimages::gif(200, 100, {10, 30}, true));
  ASSERT_TRUE(source);
  const kt::ImagePtr animation = gfx::Image::animated(
      {source->frames()[0]->withScale(1, gfx::ImageOrientation::Up), source->frames()[1]->withScale(1, gfx::ImageOrientation::Up)},
      source->duration());
  const kt::ImagePtr cropped = ic_animatedImageByScalingAndCroppingToSize(animation, {100, 100});
  ASSERT_TRUE(cropped);
  ASSERT_EQ(cropped->frames().size(), 2u);
  EXPECT_DOUBLE_EQ(cropped->duration(), animation->duration());
  for (const auto& frame : cropped->frames()) {
    EXPECT_EQ(frame->size(), (gfx::Size{100, 100}));
    EXPECT_EQ(frame->pixelWidth(), 200);  // at the screen's scale
    expectAllGreen(*frame);
  }
  // Its own size, or zero: the same image.
  EXPECT_EQ(ic_animatedImageByScalingAndCroppingToSize(animation, {200, 100}), animation);
  EXPECT_EQ(ic_animatedImageByScalingAndCroppingToSize(animation, {0, 0}), animation);
  EXPECT_EQ(ic_animatedImageByScalingAndCroppingToSize(nullptr, {10, 10}), nullptr);
}

TEST(GIFTest, ScaleAndCropStillImageGivesTheStillImage) {
  ModeScale scale(1);
  // 100 x 200 into 50 x 50: the height is cropped around the middle.
  const kt::ImagePtr tall = testimages::solid(100, 200, kGreen);
  const kt::ImagePtr cropped = ic_animatedImageByScalingAndCroppingToSize(tall, {50, 50});
  ASSERT_TRUE(cropped);
  EXPECT_TRUE(cropped->frames().empty());
  EXPECT_EQ(cropped->size(), (gfx::Size{50, 50}));
  expectAllGreen(*cropped);
  const kt::ImagePtr wide = ic_animatedImageByScalingAndCroppingToSize(testimages::bands(200, 100), {100, 100});
  ASSERT_TRUE(wide);
  expectAllGreen(*wide);
}

// A bundled animation is read from the file the drawing scale takes (the smallest at or above it),
// its frames at that file's scale, so that the same points are shown from the pixels drawn for them.
TEST(GIFTest, ABundledAnimationIsTheDrawingScalesFile) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("kt_gif_named_" + std::to_string(::getpid()));
  fs::create_directories(root);
  auto write = [&](const std::string& file, int side) {
    std::ofstream(root / file, std::ios::binary) << testimages::gif(side, side, {5, 5});
  };
  write("spin.gif", 4);
  write("spin@2x.gif", 8);
  write("spin@3x.gif", 12);
  write("turn.gif", 4);
  write("turn@2x.gif", 8);
  support::ScopedEnv resources("KT_RESOURCES", root.string().c_str());
  const double saved = gfx::Image::drawingScale();
  ModeScale mode(2);
  const struct {
    const char* name;
    double drawing, file;
  } cases[] = {{"spin", 1, 1}, {"spin", 1.40625, 2}, {"spin", 2, 2}, {"spin", 2.8125, 3}, {"turn", 2.8125, 2}};
  for (const auto& c : cases) {
    gfx::Image::setDrawingScale(c.drawing);
    const kt::ImagePtr image = ic_animatedGIFNamed(c.name);
    ASSERT_TRUE(image) << c.name << " at " << c.drawing;
    ASSERT_EQ(image->frames().size(), 2u);
    EXPECT_EQ(image->frames()[0]->scale(), c.file) << c.name << " at " << c.drawing;
    EXPECT_EQ(image->frames()[0]->pixelWidth(), static_cast<int>(4 * c.file));
    EXPECT_EQ(image->frames()[0]->size(), (gfx::Size{4, 4}));
  }
  gfx::Image::setDrawingScale(saved);
  std::error_code ec;
  fs::remove_all(root, ec);
}
