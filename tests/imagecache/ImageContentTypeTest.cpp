#include "imagecache/ImageContentType.h"

#include <gtest/gtest.h>

using kt::ImageContentType::contentTypeForImageData;
using kt::ImageContentType::ic_contentTypeForImageData;

TEST(ImageContentTypeTest, TypeByFirstByte) {
  using namespace std::string_literals;
  EXPECT_EQ(ic_contentTypeForImageData("\xFF\xD8\xFF\xE0"s), "image/jpeg");
  EXPECT_EQ(ic_contentTypeForImageData("\x89PNG\r\n\x1A\n"s), "image/png");
  EXPECT_EQ(ic_contentTypeForImageData("GIF89a"), "image/gif");
  EXPECT_EQ(ic_contentTypeForImageData("II*\0"s), "image/tiff");
  EXPECT_EQ(ic_contentTypeForImageData("MM\0*"s), "image/tiff");
  EXPECT_EQ(ic_contentTypeForImageData("RIFF\x10\0\0\0WEBP"s), "image/webp");
  EXPECT_EQ(ic_contentTypeForImageData("RIFF\x10\0\0\0WEBPVP8 "s), "image/webp");
  // Only the first byte counts for the others.
  EXPECT_EQ(ic_contentTypeForImageData("\xFF"s), "image/jpeg");
  EXPECT_EQ(ic_contentTypeForImageData("I"), "image/tiff");
}

TEST(ImageContentTypeTest, NoType) {
  using namespace std::string_literals;
  EXPECT_EQ(ic_contentTypeForImageData(""), std::nullopt);
  EXPECT_EQ(ic_contentTypeForImageData("BM6\0"s), std::nullopt);
  EXPECT_EQ(ic_contentTypeForImageData("<html>"), std::nullopt);
  // "R" needs the whole RIFF ... WEBP header of 12 bytes.
  EXPECT_EQ(ic_contentTypeForImageData("RIFF\x10\0\0\0WEB"s), std::nullopt);
  EXPECT_EQ(ic_contentTypeForImageData("RIFF\x10\0\0\0WAVE"s), std::nullopt);
  EXPECT_EQ(ic_contentTypeForImageData("R"), std::nullopt);
  EXPECT_EQ(contentTypeForImageData("GIF87a"), "image/gif");
  EXPECT_EQ(contentTypeForImageData(""), std::nullopt);
}
