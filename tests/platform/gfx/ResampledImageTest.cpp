// Pictures drawn at a drawing scale other than their own: the artwork file a scale takes, the copy
// resampled once to the pixels a picture covers (its size, its pixels, when it is made, kept and
// let go, across threads), and the compositor and drawing contexts drawing from that copy one to
// one.
#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "NoActions.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"

namespace gfx {
namespace {

// Sets the drawing scale (and leaves the copies' limit at its default) for one test.
class ResampledImageTest : public ::testing::Test {
 protected:
  void SetUp() override { Image::setResampledLimit(0); }
  void TearDown() override {
    Image::setDrawingScale(m_saved);
    Image::setResampledLimit(0);
  }
  double m_saved = Image::drawingScale();
};

// Vertical stripes of `period` pixels, opaque black and white, with a red first row.
std::shared_ptr<Image> stripes(int w, int h, int period, double scale) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px[static_cast<size_t>(y) * w + x] = y == 0 ? 0xFFFF0000u : (x / period) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
  return Image::fromPixels(w, h, std::move(px), scale);
}

// A picture's copy is made the second time it is drawn at a size.
std::shared_ptr<const Image> copyOf(const Image& image, int w, int h) {
  auto first = image.resampledTo(w, h);
  return first ? first : image.resampledTo(w, h);
}

uint32_t surfacePixel(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
  return reinterpret_cast<const uint32_t*>(row)[x];
}

TEST(ArtworkScaleTest, TheSmallestFileAtOrAboveTheDrawingScaleComesFirst) {
  using V = std::vector<double>;
  EXPECT_EQ(Image::artworkScalesFor(0.5), (V{1, 2, 3}));
  EXPECT_EQ(Image::artworkScalesFor(1), (V{1, 2, 3}));
  EXPECT_EQ(Image::artworkScalesFor(1.0417), (V{2, 3, 1}));
  EXPECT_EQ(Image::artworkScalesFor(1.40625), (V{2, 3, 1}));
  EXPECT_EQ(Image::artworkScalesFor(2), (V{2, 3, 1}));
  EXPECT_EQ(Image::artworkScalesFor(2.8125), (V{3, 2, 1}));
  EXPECT_EQ(Image::artworkScalesFor(5.625), (V{3, 2, 1}));
  EXPECT_EQ(Image::artworkSuffix(1), "");
  EXPECT_EQ(Image::artworkSuffix(2), "@2x");
  EXPECT_EQ(Image::artworkSuffix(3), "@3x");
}

TEST_F(ResampledImageTest, ACopyIsMadeOnceAtTheSizeDrawnAndKeptForLaterDraws) {
  Image::setDrawingScale(1.40625);
  // 1-pixel stripes at scale 2, 30 x 20 points: 42.1875 x 28.125 pixels at 1.40625.
  auto image = stripes(60, 40, 1, 2);
  // Shown once (a frame of a video, say), it is drawn as it is.
  EXPECT_EQ(image->resampledFor({30, 20}), nullptr);
  const size_t before = Image::resampledBytes();
  auto copy = image->resampledFor({30, 20});
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->pixelWidth(), 43);
  EXPECT_EQ(copy->pixelHeight(), 29);
  EXPECT_EQ(copy->orientation(), ImageOrientation::Up);
  EXPECT_EQ(Image::resampledBytes(), before + 43 * 29 * 4);
  // The same copy at every later draw.
  EXPECT_EQ(image->resampledFor({30, 20}), copy);
  EXPECT_EQ(Image::resampledBytes(), before + 43 * 29 * 4);
  // Reduced, the stripes (finer than a device pixel) average to grey; the red row stays red at the top.
  for (int x = 1; x < 42; ++x) {
    const uint32_t mid = copy->pixelAt(x, 15);
    EXPECT_EQ(mid >> 24, 0xFFu);
    EXPECT_GT(mid & 0xFF, 0x30u) << x;
    EXPECT_LT(mid & 0xFF, 0xD0u) << x;
  }
  EXPECT_GT((copy->pixelAt(20, 0) >> 16) & 0xFF, 0x80u);
  // Sizes passed through once each (bounds animating) are drawn as they are, none copied.
  for (int w = 44; w < 60; ++w) EXPECT_EQ(image->resampledTo(w, 29), nullptr);
  EXPECT_EQ(Image::resampledBytes(), before + 43 * 29 * 4);
  // A picture already of the size it covers needs no copy.
  auto exact = stripes(43, 29, 2, 1.40625);
  EXPECT_EQ(exact->resampledFor({30, 20}), nullptr);
  EXPECT_EQ(exact->resampledFor({30, 20}), nullptr);
}

// A reduction averages the source pixels under each copy pixel by the part of each covered: three
// columns (white, black, white) into two give each copy pixel two thirds of its white column and a
// third of the black one; a flat colour, with alpha, stays exactly itself.
TEST_F(ResampledImageTest, AReductionWeighsEachSourcePixelByThePartCovered) {
  Image::setDrawingScale(1);
  const uint32_t white = 0xFFFFFFFFu, black = 0xFF000000u;
  std::vector<uint32_t> columns;
  for (int y = 0; y < 3; ++y) columns.insert(columns.end(), {white, black, white});
  auto copy = copyOf(*Image::fromPixels(3, 3, std::move(columns), 1), 2, 2);
  ASSERT_NE(copy, nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(copy->pixelAt(x, y), 0xFFAAAAAAu) << x << "," << y;
  const uint32_t halfRed = 0x80800000u;  // premultiplied
  auto flat = copyOf(*Image::fromPixels(7, 5, std::vector<uint32_t>(35, halfRed), 1), 3, 2);
  ASSERT_NE(flat, nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(flat->pixelAt(x, y), halfRed) << x << "," << y;
}

TEST_F(ResampledImageTest, ATurnedPictureIsCopiedUpright) {
  Image::setDrawingScale(1);
  // Stored 2 x 1 (white, black), shown turned a quarter clockwise: 1 wide, 2 tall, white at the top.
  auto stored = Image::fromPixels(2, 1, {0xFFFFFFFFu, 0xFF000000u}, 1, ImageOrientation::Right);
  ASSERT_NE(stored, nullptr);
  auto copy = copyOf(*stored, 1, 2);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->orientation(), ImageOrientation::Up);
  EXPECT_EQ(copy->pixelWidth(), 1);
  EXPECT_EQ(copy->pixelHeight(), 2);
  auto upright = stored->upright();
  EXPECT_EQ(copy->pixelAt(0, 0), upright->pixelAt(0, 0));
  EXPECT_EQ(copy->pixelAt(0, 1), upright->pixelAt(0, 1));
}

TEST_F(ResampledImageTest, CopiesGoWithTheDrawingScaleAndWithTheirPicture) {
  Image::setDrawingScale(1.40625);
  const size_t base = Image::resampledBytes();
  {
    auto image = stripes(60, 40, 2, 2);
    ASSERT_NE(copyOf(*image, 43, 29), nullptr);
    EXPECT_EQ(Image::resampledBytes(), base + 43 * 29 * 4);
  }
  // The picture gone, so is its copy.
  EXPECT_EQ(Image::resampledBytes(), base);

  auto image = stripes(60, 40, 2, 2);
  auto copy = copyOf(*image, 43, 29);
  ASSERT_NE(copy, nullptr);
  // Another drawing scale: every copy goes, and the picture is copied anew at the new one.
  Image::setDrawingScale(2.8125);
  EXPECT_EQ(Image::resampledBytes(), 0u);
  EXPECT_EQ(image->resampledFor({30, 20}), nullptr);  // the first time at the new scale
  auto larger = image->resampledFor({30, 20});
  ASSERT_NE(larger, nullptr);
  EXPECT_EQ(larger->pixelWidth(), 85);
  EXPECT_EQ(larger->pixelHeight(), 57);
  EXPECT_EQ(Image::resampledBytes(), 85u * 57 * 4);
  // The same scale set again keeps them.
  Image::setDrawingScale(2.8125);
  EXPECT_EQ(image->resampledFor({30, 20}), larger);
}

TEST_F(ResampledImageTest, CopiesKeepWithinTheirLimitTheLongestUnusedGoingFirst) {
  Image::setDrawingScale(1.5);
  std::vector<std::shared_ptr<Image>> images;
  for (int i = 0; i < 4; ++i) images.push_back(stripes(40, 40, 2, 2));  // 30 x 30 pixels at 1.5: 3600 bytes
  Image::setResampledLimit(3 * 3600);
  std::vector<std::shared_ptr<const Image>> copies;
  for (int i = 0; i < 3; ++i) copies.push_back(copyOf(*images[i], 30, 30));
  EXPECT_EQ(Image::resampledBytes(), 3u * 3600);
  // The first drawn again, then a fourth: the second, now the longest unused, goes.
  EXPECT_EQ(images[0]->resampledTo(30, 30), copies[0]);
  ASSERT_NE(copyOf(*images[3], 30, 30), nullptr);
  EXPECT_EQ(Image::resampledBytes(), 3u * 3600);
  EXPECT_EQ(images[0]->resampledTo(30, 30), copies[0]);
  EXPECT_EQ(images[2]->resampledTo(30, 30), copies[2]);
  auto again = copyOf(*images[1], 30, 30);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, copies[1]);  // made anew
  EXPECT_LE(Image::resampledBytes(), 3u * 3600);
  // A copy larger than the whole limit is still drawn from, alone.
  Image::setResampledLimit(100);
  EXPECT_EQ(Image::resampledBytes(), 3600u);
  // Too large to keep at all: drawn as it is.
  auto huge = stripes(8, 8, 2, 2);
  EXPECT_EQ(copyOf(*huge, 5000, 5000), nullptr);
}

TEST_F(ResampledImageTest, ThreadsDrawingOnePictureAtOnceShareOneCopy) {
  Image::setDrawingScale(1.40625);
  auto image = stripes(200, 100, 3, 2);
  image->resampledTo(141, 71);  // the first draw, which keeps nothing
  std::vector<std::shared_ptr<const Image>> seen(8);
  std::vector<std::thread> threads;
  std::atomic<bool> go{false};
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      for (int k = 0; k < 20; ++k) {
        seen[i] = image->resampledTo(141, 71);
        auto other = stripes(20, 20, 2, 2);  // pictures coming and going alongside
        copyOf(*other, 15, 15);
      }
    });
  }
  go = true;
  for (auto& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
  EXPECT_EQ(Image::resampledBytes(), 141u * 71 * 4);
}

TEST_F(ResampledImageTest, TheCompositorDrawsAPictureFromItsCopyPixelForPixel) {
  const double k = 1.40625;
  Image::setDrawingScale(k);
  Compositor comp({100, 100}, k);
  auto root = Layer::create();
  auto picture = stripes(80, 60, 1, 2);  // stripes of one pixel at scale 2: 40 x 30 points
  auto layer = Layer::create();
  {
    NoActions na;
    root->setFrame(Rect(0, 0, 100, 100));
    layer->setFrame(Rect(10.3, 10, 40, 30));  // device pixels 14.48 to 70.73 and 14.06 to 56.25
    layer->setContents(picture);
    layer->setContentsScale(2);
    root->addSublayer(layer);
  }
  comp.renderFrame(root);
  comp.invalidate();
  comp.renderFrame(root);  // drawn again: the picture's copy is kept from here on
  // The layer's edges on the pixel boundaries at or after them: 15 to 71 and 15 to 57, the copy
  // made at that size.
  auto copy = picture->resampledTo(56, 42);
  ASSERT_NE(copy, nullptr);
  for (int y = 0; y < 42; y += 3)
    for (int x = 0; x < 56; ++x)
      ASSERT_EQ(surfacePixel(comp.surface(), 15 + x, 15 + y), copy->pixelAt(x, y)) << x << "," << y;
}

// The rect (device pixels 14.06 to 126.56 and 14.06 to 98.44) lands on the pixel grid as a layer's
// edges would: from 15 to 127 and 15 to 99, the copy made at that size and nothing drawn past it.
TEST_F(ResampledImageTest, AContextAtTheDrawingScaleDrawsAPictureFromItsCopyWithinThePixelGrid) {
  const double k = 2.8125;
  Image::setDrawingScale(k);
  auto picture = stripes(40, 30, 1, 1);  // 40 x 30 points at scale 1, enlarged 2.8125 times
  auto ctx = Context::bitmap({60, 50}, k);
  ASSERT_NE(ctx, nullptr);
  ctx->drawImage(*picture, Rect(5, 5, 40, 30));
  ctx->drawImage(*picture, Rect(5, 5, 40, 30));
  auto drawn = ctx->makeImage();
  auto copy = picture->resampledTo(112, 84);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Image::resampledBytes(), 112u * 84 * 4) << "a copy of another size was made";
  for (int y = 0; y < 84; ++y)
    for (int x = 0; x < 112; ++x)
      ASSERT_EQ(drawn->pixelAt(15 + x, 15 + y), copy->pixelAt(x, y)) << x << "," << y;
  // The grid's last column and row covered, none past them.
  for (int y = 0; y < drawn->pixelHeight(); ++y) {
    ASSERT_EQ(drawn->pixelAt(127, y) >> 24, 0u) << "row " << y;
    if (y >= 15 && y < 99) {
      ASSERT_EQ(drawn->pixelAt(126, y) >> 24, 0xFFu) << "row " << y;
    }
  }
  for (int x = 0; x < drawn->pixelWidth(); ++x) {
    ASSERT_EQ(drawn->pixelAt(x, 99) >> 24, 0u) << "column " << x;
    if (x >= 15 && x < 127) {
      ASSERT_EQ(drawn->pixelAt(x, 98) >> 24, 0xFFu) << "column " << x;
    }
  }
}

}  // namespace
}  // namespace gfx
