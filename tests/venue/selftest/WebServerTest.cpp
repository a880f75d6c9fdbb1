#include "venue/WebServer.h"

#include "venue/selftest/HttpGet.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace venue;
using venue::selftest::httpGet;

namespace {

std::uint32_t be32(const std::string& bytes, std::size_t at) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

// Checks every chunk's CRC and that the pixel data inflates to the size the header gives;
// returns the size, or 0 x 0 for a broken PNG.
Size checkPng(const std::string& png) {
  if (png.size() < 8 || png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) return {};
  Size size;
  std::string packed;
  bool ended = false;
  for (std::size_t at = 8; at + 12 <= png.size() && !ended;) {
    std::uint32_t length = be32(png, at);
    if (at + 12 + length > png.size()) return {};
    std::string type = png.substr(at + 4, 4);
    std::string typed = png.substr(at + 4, 4 + length);
    uLong crc = ::crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    if (crc != be32(png, at + 8 + length)) return {};
    if (type == "IHDR") size = {static_cast<int>(be32(png, at + 8)), static_cast<int>(be32(png, at + 12))};
    if (type == "IDAT") packed += png.substr(at + 8, length);
    ended = type == "IEND";
    at += 12 + length;
  }
  if (!ended) return {};
  uLongf expected = static_cast<uLongf>(size.height) * (1 + 3 * static_cast<uLongf>(size.width));
  std::string raw(expected + 16, '\0');
  uLongf rawSize = raw.size();
  if (::uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK ||
      rawSize != expected) {
    return {};
  }
  return size;
}

// The size in a baseline JPEG's frame header, or 0 x 0.
Size jpegSize(const std::string& jpeg) {
  if (jpeg.size() < 4 || jpeg.compare(0, 2, "\xff\xd8") != 0) return {};
  for (std::size_t at = 2; at + 9 < jpeg.size();) {
    if (static_cast<unsigned char>(jpeg[at]) != 0xff) return {};
    unsigned char marker = static_cast<unsigned char>(jpeg[at + 1]);
    std::size_t length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
    if (marker == 0xc0) {
      int height = (static_cast<unsigned char>(jpeg[at + 5]) << 8) | static_cast<unsigned char>(jpeg[at + 6]);
      int width = (static_cast<unsigned char>(jpeg[at + 7]) << 8) | static_cast<unsigned char>(jpeg[at + 8]);
      return {width, height};
    }
    at += 2 + length;
  }
  return {};
}

bool isUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (extra == 9 || (extra == 1 && c < 0xc2) || i + extra >= text.size() + (extra ? 0 : 1)) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += extra + 1;
  }
  return true;
}

class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(web.start()); }
  selftest::HttpAnswer get(const std::string& target) { return httpGet(web.port(), target); }

  WebServer web;
};

}  // namespace

TEST(PictureEncoders, PngIsValidAndSizedJpegIsSized) {
  EXPECT_EQ(checkPng(makePng(37, 11, "x")), (Size{37, 11}));
  EXPECT_EQ(checkPng(makePng(0, -5, "x")), (Size{1, 1}));  // clamped
  EXPECT_EQ(jpegSize(makeJpeg(135, 169, "x")), (Size{135, 169}));
  EXPECT_EQ(makePng(8, 8, "a"), makePng(8, 8, "a"));
  EXPECT_NE(makePng(8, 8, "a"), makePng(8, 8, "b"));
}

TEST_F(WebServerTest, PhotoNamesListOrError) {
  selftest::HttpAnswer names = get("/GetPhoto.aspx?Flag=11&id=1001");
  EXPECT_EQ(names.status, 200);
  EXPECT_EQ(names.body, "a.jpg,b.png,c.txt");
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=1003").body, "Error");
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=nobody").body, "Error");
  web.setStaffPhotos("2001", {{"x.png", "t1"}});
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=2001").body, "x.png");
  EXPECT_EQ(web.lastRequest().endpoint, "Flag=11");
}

TEST_F(WebServerTest, ModificationTimeOfANameWithASpace) {
  selftest::HttpAnswer time = get("/GetPhoto.aspx?Flag=21&id=1002/my%20photo.jpg");
  EXPECT_EQ(time.body, "2024-06-18 20:16:03");
  RecordedRequest r = web.lastRequest();
  EXPECT_EQ(r.query, "Flag=21&id=1002/my%20photo.jpg");
  EXPECT_EQ(r.param("id"), "1002/my photo.jpg");
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=21&id=1002/none.jpg").body, "Error");
  // Chinese names arrive percent-escaped in UTF-8.
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=21&id=1002/%E8%88%9E%E5%8F%B0%E7%85%A7.jpg").body, "2024-06-18 20:15:42");
}

TEST_F(WebServerTest, StaffPhotoByNameInItsFormatAndSize) {
  selftest::HttpAnswer png = get("/GetPhoto.aspx?Flag=12&id=1001/b.png&time=2024-05-02%2011:30:00&width=960&height=540");
  EXPECT_EQ(png.status, 200);
  EXPECT_EQ(png.header("Content-Type"), "image/png");
  EXPECT_EQ(checkPng(png.body), (Size{960, 540}));

  selftest::HttpAnswer jpeg = get("/GetPhoto.aspx?Flag=12&id=1001/a.jpg&time=x&width=960&height=540");
  EXPECT_EQ(jpeg.header("Content-Type"), "image/jpeg");
  EXPECT_EQ(jpegSize(jpeg.body), (Size{960, 540}));
  EXPECT_EQ(jpeg.body, WebServer::staffPhoto("1001", web.staffPhotos("1001")[0], 960, 540));

  EXPECT_EQ(get("/GetPhoto.aspx?Flag=12&id=1001/c.txt&width=960&height=540").status, 404);
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=12&id=1001/zzz.jpg&width=960&height=540").status, 404);
}

TEST_F(WebServerTest, ChangedModificationTimeGivesAnotherPicture) {
  const std::string target = "/GetPhoto.aspx?Flag=12&id=1001/a.jpg&width=96&height=54";
  std::string before = get(target).body;
  ASSERT_TRUE(web.setPhotoTime("1001", "a.jpg", "2025-01-01 00:00:00"));
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=21&id=1001/a.jpg").body, "2025-01-01 00:00:00");
  EXPECT_NE(get(target).body, before);
  EXPECT_FALSE(web.setPhotoTime("1001", "nope.jpg", "t"));
}

TEST_F(WebServerTest, DishHeadAndSongPicturesAtTheAskedSize) {
  selftest::HttpAnswer dish =
      get("/GetPhoto.aspx?Flag=00&id=A012&width=300.000000&height=200.000000&time=2024-01-01%2012:00:00");
  EXPECT_EQ(dish.status, 200);
  EXPECT_EQ(jpegSize(dish.body), (Size{300, 200}));
  // Without the time, as one of the food screens asks.
  EXPECT_EQ(jpegSize(get("/GetPhoto.aspx?Flag=00&id=A012&width=80.000000&height=60.000000").body), (Size{80, 60}));

  selftest::HttpAnswer head = get("/GetPhoto.aspx?Flag=98&ID=0012&Width=135.000000&Height=169.000000");
  EXPECT_EQ(jpegSize(head.body), (Size{135, 169}));
  EXPECT_EQ(head.body, WebServer::headImage("0012", 135, 169));
  EXPECT_EQ(web.lastRequest().query, "Flag=98&ID=0012&Width=135.000000&Height=169.000000");

  EXPECT_EQ(jpegSize(get("/GetPhoto.aspx?Flag=30&ID=song7.jpg&Width=50.000000&Height=40.000000").body), (Size{50, 40}));
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=30&ID=song7&Width=50&Height=40").status, 404);
  // Sizes are clamped; keys and page name ignore case.
  EXPECT_EQ(jpegSize(get("/getphoto.aspx?flag=98&id=7&width=99999&height=0").body), (Size{2048, 1}));
}

TEST_F(WebServerTest, SingerPictureAndUnknownRequests) {
  selftest::HttpAnswer singer = get("/singer/%E7%8E%8B%E8%8F%B2.png");
  EXPECT_EQ(singer.header("Content-Type"), "image/png");
  EXPECT_EQ(checkPng(singer.body), (Size{160, 160}));
  EXPECT_EQ(singer.body, WebServer::singerPicture("王菲"));
  EXPECT_EQ(web.lastRequest().endpoint, "singer");

  EXPECT_EQ(get("/GetPhoto.aspx?Flag=77&id=1").status, 400);
  EXPECT_EQ(get("/GetPhoto.aspx?id=1").status, 400);
  EXPECT_EQ(get("/Other.aspx").status, 404);
}

TEST_F(WebServerTest, FaultsPerFlag) {
  web.setFault("Flag=11", Fault::status(500));
  selftest::HttpAnswer error = get("/GetPhoto.aspx?Flag=11&id=1001");
  EXPECT_EQ(error.status, 500);
  EXPECT_EQ(error.body, "a.jpg,b.png,c.txt");  // an error status with a body
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=21&id=1001/a.jpg").status, 200);

  web.setFault("Flag=11", Fault::emptyBody());
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=1001").body, "");

  web.setFault("Flag=11", Fault::nonUtf8());
  selftest::HttpAnswer bad = get("/GetPhoto.aspx?Flag=11&id=1001");
  EXPECT_EQ(bad.status, 200);
  EXPECT_FALSE(isUtf8(bad.body));
  EXPECT_TRUE(isUtf8(web.photoNamesText("1002")));

  web.setFault("Flag=11", Fault::slow(std::chrono::milliseconds(20)));
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=1001").body, "a.jpg,b.png,c.txt");

  web.setFault("singer", Fault::close());
  EXPECT_FALSE(get("/singer/x.png").answered);
  web.clearFaults();
  EXPECT_TRUE(get("/singer/x.png").answered);
}
