#include "imagecache/MultiFormat.h"

#include <gtest/gtest.h>

#include "TestImages.h"

using gfx::ImageOrientation;
using namespace kt::MultiFormat;

namespace {

const ImageOrientation kExifTable[] = {ImageOrientation::Up,           ImageOrientation::UpMirrored,
                                       ImageOrientation::Down,         ImageOrientation::DownMirrored,
                                       ImageOrientation::LeftMirrored, ImageOrientation::Right,
                                       ImageOrientation::RightMirrored, ImageOrientation::Left};

void expectSamePixels(const gfx::Image& a, const gfx::Image& b) {
  ASSERT_EQ(a.pixelWidth(), b.pixelWidth());
  ASSERT_EQ(a.pixelHeight(), b.pixelHeight());
  for (int y = 0; y < a.pixelHeight(); ++y)
    for (int x = 0; x < a.pixelWidth(); ++x) ASSERT_EQ(a.pixelAt(x, y), b.pixelAt(x, y)) << x << "," << y;
}

}  // namespace

TEST(MultiFormatTest, ExifOrientationTable) {
  for (int exif = 1; exif <= 8; ++exif) EXPECT_EQ(ic_exifOrientationToiOSOrientation(exif), kExifTable[exif - 1]);
  // The platform values of the enumerators.
  EXPECT_EQ(static_cast<int>(ic_exifOrientationToiOSOrientation(2)), 4);
  EXPECT_EQ(static_cast<int>(ic_exifOrientationToiOSOrientation(6)), 3);
  EXPECT_EQ(static_cast<int>(ic_exifOrientationToiOSOrientation(8)), 2);
  for (int64_t other : {0, 9, -1, 65536 + 6}) EXPECT_EQ(ic_exifOrientationToiOSOrientation(other), ImageOrientation::Up);
}

TEST(MultiFormatTest, OrientationFromData) {
  const std::string plain = testimages::jpeg(8, 4);
  EXPECT_EQ(ic_imageOrientationFromImageData(plain), ImageOrientation::Up);
  for (int exif = 1; exif <= 8; ++exif) {
    EXPECT_EQ(ic_imageOrientationFromImageData(testimages::withExifOrientation(plain, exif)), kExifTable[exif - 1]);
    EXPECT_EQ(ic_imageOrientationFromImageData(testimages::withExifOrientation(plain, exif, true)),
              kExifTable[exif - 1]);
  }
  EXPECT_EQ(ic_imageOrientationFromImageData(*testimages::solid(2, 2, 0x80000000)->pngData()), ImageOrientation::Up);
  EXPECT_EQ(ic_imageOrientationFromImageData(""), ImageOrientation::Up);
  // An Exif segment whose length runs past the data.
  std::string cut = testimages::withExifOrientation(plain, 6).substr(0, 20);
  EXPECT_EQ(ic_imageOrientationFromImageData(cut), ImageOrientation::Up);
}

TEST(MultiFormatTest, JpegWithOrientationSixIsRightWithTheSamePixels) {
  const std::string plain = testimages::jpeg(8, 4);
  const kt::ImagePtr upright = ic_imageWithData(plain);
  const kt::ImagePtr turned = ic_imageWithData(testimages::withExifOrientation(plain, 6));
  ASSERT_TRUE(upright && turned);
  EXPECT_EQ(upright->orientation(), ImageOrientation::Up);
  EXPECT_EQ(turned->orientation(), ImageOrientation::Right);
  EXPECT_EQ(static_cast<int>(turned->orientation()), 3);
  EXPECT_EQ(turned->scale(), 1.0);
  expectSamePixels(*upright, *turned);
  EXPECT_EQ(turned->size().width, 4);  // drawn upright: a quarter turn
}

TEST(MultiFormatTest, DecodesByType) {
  EXPECT_EQ(ic_imageWithData(""), nullptr);
  EXPECT_EQ(ic_imageWithData("not an image"), nullptr);
  EXPECT_EQ(ic_imageWithData(testimages::jpeg(8, 4).substr(0, 40)), nullptr);
  const kt::ImagePtr png = ic_imageWithData(*testimages::solid(3, 2, 0x80000000)->pngData());
  ASSERT_TRUE(png);
  EXPECT_TRUE(png->hasAlpha());
  EXPECT_EQ(png->pixelWidth(), 3);
  // GIF data goes through the animation reader.
  const kt::ImagePtr gif = ic_imageWithData(testimages::gif(4, 4, {0, 0, 0}));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->frames().size(), 3u);
}
