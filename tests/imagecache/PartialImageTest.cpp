#include "imagecache/PartialImage.h"

#include "platform/gfx/Image.h"
#include "venue/HttpPeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A progressive JPEG of the picture, with stray bytes and fill bytes (0xFF repeated) before its
// frame header, as a JPEG reader tolerates them.
std::string progressiveJpegWithStrayBytes(int width, int height) {
  std::string bytes = venue::encodeJpeg(venue::drawPicture(width, height, "progressive"), width, height, "", true);
  size_t pos = 2;
  while (static_cast<uint8_t>(bytes[pos + 1]) != 0xC2)
    pos += 2 + ((static_cast<uint8_t>(bytes[pos + 2]) << 8) | static_cast<uint8_t>(bytes[pos + 3]));
  return bytes.insert(pos, std::string("\x00junk\xFF\x00\xFF\xFF\xFF", 11));
}

TEST(PartialImageTest, ProgressiveJpegWithStrayBytesGivesItsSizeAndAPreviewFromItsPieces) {
  const std::string bytes = progressiveJpegWithStrayBytes(160, 120);
  auto whole = gfx::Image::decode(bytes);
  ASSERT_TRUE(whole);
  // Fed in pieces: the first holds the header, and a preview of every row shows before the last.
  const size_t piece = bytes.size() / 6;
  int previewRows = 0;
  for (size_t end = piece; end < bytes.size(); end += piece) {
    SCOPED_TRACE(end);
    const std::string_view prefix = std::string_view(bytes).substr(0, end);
    auto size = PartialImage::pixelSize(prefix);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 160);
    EXPECT_EQ(size->height, 120);
    if (auto rows = PartialImage::decodeRows(prefix)) {
      EXPECT_EQ(rows->pixelWidth(), 160);
      EXPECT_GE(rows->pixelHeight(), previewRows);
      previewRows = rows->pixelHeight();
    }
  }
  EXPECT_EQ(previewRows, 120);
  // All the bytes: the picture itself.
  auto all = PartialImage::decodeRows(bytes);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->pixelHeight(), 120);
  expectTopRowsOf(*all, *whole);
}

// A progressive JPEG of the picture with `inserted` straight after its start-of-image marker.
std::string progressiveJpegWithAfterStart(const std::string& inserted) {
  std::string bytes = venue::encodeJpeg(venue::drawPicture(64, 48, "oddly framed"), 64, 48, "", true);
  return bytes.insert(2, inserted);
}

// The decoder reads the picture; the size and the rows of a download say the same, from the
// first bytes as from all of them.
void expectReadAlike(const std::string& bytes) {
  auto whole = gfx::Image::decode(bytes);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->pixelWidth(), 64);
  auto size = PartialImage::pixelSize(std::string_view(bytes).substr(0, bytes.size() / 3));
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 64);
  EXPECT_EQ(size->height, 48);
  auto rows = PartialImage::decodeRows(bytes);
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->pixelHeight(), 48);
  expectTopRowsOf(*rows, *whole);
}

TEST(PartialImageTest, MarkerSegmentTooShortForItsLengthIsReadPast) {
  for (const char* segment : {"\xFF\xE1\x00\x00", "\xFF\xFE\x00\x01"}) {
    SCOPED_TRACE(static_cast<unsigned char>(segment[1]));
    expectReadAlike(progressiveJpegWithAfterStart(std::string(segment, 4)));
  }
}

TEST(PartialImageTest, StrayBytesStraightAfterTheStartAreSkipped) {
  expectReadAlike(progressiveJpegWithAfterStart("\x12\x34"));
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
