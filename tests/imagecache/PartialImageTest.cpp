#include "imagecache/PartialImage.h"

#include "platform/gfx/Image.h"
#include "venue/HttpPeer.h"

#include <gtest/gtest.h>

#include <string>

namespace kt {
namespace {

struct Picture {
  const char* kind;
  std::string bytes;
};

// Every row decoded from part of the bytes is the same row decoded from all of them.
void expectTopRowsOf(const gfx::Image& partial, const gfx::Image& whole) {
  ASSERT_EQ(partial.pixelWidth(), whole.pixelWidth());
  for (int y = 0; y < partial.pixelHeight(); ++y) {
    for (int x = 0; x < partial.pixelWidth(); x += 7) ASSERT_EQ(partial.pixelAt(x, y), whole.pixelAt(x, y));
  }
}

TEST(PartialImageTest, PrefixesDecodeToTheTopRows) {
  for (const Picture& p : {Picture{"png", venue::makePng(400, 300, "partial")},
                           Picture{"jpeg", venue::makeJpeg(400, 300, "partial")}}) {
    SCOPED_TRACE(p.kind);
    auto whole = gfx::Image::decode(p.bytes);
    ASSERT_TRUE(whole);
    auto all = PartialImage::decodeRows(p.bytes);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->pixelHeight(), 300);
    expectTopRowsOf(*all, *whole);

    auto half = PartialImage::decodeRows(std::string_view(p.bytes).substr(0, p.bytes.size() / 2));
    ASSERT_TRUE(half);
    EXPECT_GT(half->pixelHeight(), 0);
    EXPECT_LT(half->pixelHeight(), 300);
    expectTopRowsOf(*half, *whole);

    auto size = PartialImage::pixelSize(std::string_view(p.bytes).substr(0, p.bytes.size() / 2));
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 400);
    EXPECT_EQ(size->height, 300);
    // Only the header: a size, but no row yet.
    EXPECT_FALSE(PartialImage::decodeRows(std::string_view(p.bytes).substr(0, 40)));
  }
}

TEST(PartialImageTest, HeadersThatSayNothingUsableGiveNothing) {
  std::string png = venue::makePng(4, 4, "x");
  EXPECT_FALSE(PartialImage::pixelSize(png.substr(0, 23)));
  std::string huge = png;
  huge[16] = huge[20] = 0x7F;  // 2 billion pixels a side
  EXPECT_FALSE(PartialImage::pixelSize(huge));
  EXPECT_FALSE(PartialImage::decodeRows(huge));

  std::string gif("GIF89a\x20\x00\x10\x00", 10);
  auto size = PartialImage::pixelSize(gif);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 32);
  EXPECT_EQ(size->height, 16);
  EXPECT_FALSE(PartialImage::decodeRows(gif));

  EXPECT_FALSE(PartialImage::pixelSize("<html>Error</html>"));
  EXPECT_FALSE(PartialImage::pixelSize("\xFF\xD8\xFF\xE0\x00"));
  EXPECT_FALSE(PartialImage::decodeRows(""));
}

}  // namespace
}  // namespace kt
