#include "venue/WebServer.h"

#include "venue/Gallery.h"
#include "venue/VenueRoom.h"
#include "venue/selftest/HttpGet.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

#include <cstdio>

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
  const uLongf channels = png[25] == 6 ? 4 : 3;  // RGBA or RGB
  uLongf expected = static_cast<uLongf>(size.height) * (1 + channels * static_cast<uLongf>(size.width));
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

// A decoded baseline JPEG as RGB rows (libjpeg), with its stored size.
struct Rows {
  Size size;
  std::vector<unsigned char> rgb;
  // Whether the pixel is as dark as the gallery's marker.
  bool darkAt(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * size.width + x) * 3];
    return p[0] < 50 && p[1] < 50 && p[2] < 50;
  }
};

Rows decodeJpeg(const std::string& jpeg) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  Rows rows;
  rows.size = {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
  rows.rgb.resize(static_cast<std::size_t>(rows.size.width) * rows.size.height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rows.rgb.data() + static_cast<std::size_t>(info.output_scanline) * rows.size.width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return rows;
}

// The orientation value of the first APP1 Exif segment (big-endian, tag 0x0112), or 0.
int exifOrientation(const std::string& jpeg) {
  for (std::size_t at = 2; at + 4 < jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xff;) {
    std::size_t length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
    if (static_cast<unsigned char>(jpeg[at + 1]) == 0xe1 && jpeg.compare(at + 4, 6, std::string("Exif\0\0", 6)) == 0) {
      const std::string tiff = jpeg.substr(at + 10, length - 8);
      if (tiff.compare(0, 4, std::string("MM\0\x2a", 4)) != 0) return 0;
      std::size_t ifd = be32(tiff, 4);
      int entries = (static_cast<unsigned char>(tiff[ifd]) << 8) | static_cast<unsigned char>(tiff[ifd + 1]);
      for (int i = 0; i < entries; ++i) {
        std::size_t e = ifd + 2 + 12 * static_cast<std::size_t>(i);
        if (tiff[e] == 0x01 && tiff[e + 1] == 0x12) return static_cast<unsigned char>(tiff[e + 9]);
      }
      return 0;
    }
    at += 2 + length;
  }
  return 0;
}

// The grey level of pixel (x, y) of an RGB PNG written with the filter "none" on every row (as
// this server writes them); -1 when it cannot be read.
int pngGrey(const std::string& png, int x, int y) {
  if (png.size() < 33) return -1;
  const std::uint32_t width = be32(png, 16);
  std::string packed;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    std::uint32_t length = be32(png, at);
    if (png.compare(at + 4, 4, "IDAT") == 0) packed += png.substr(at + 8, length);
    at += 12 + length;
  }
  const std::size_t stride = 1 + static_cast<std::size_t>(width) * 3;
  std::string raw(stride * (static_cast<std::size_t>(y) + 1), '\0');
  uLongf size = static_cast<uLongf>(raw.size());
  int rc = ::uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, reinterpret_cast<const Bytef*>(packed.data()),
                        static_cast<uLong>(packed.size()));
  if ((rc != Z_OK && rc != Z_BUF_ERROR) || size < raw.size()) return -1;
  const std::size_t at = static_cast<std::size_t>(y) * stride + 1 + static_cast<std::size_t>(x) * 3;
  const auto channel = [&](std::size_t i) { return static_cast<unsigned char>(raw[at + i]); };
  return channel(0) == channel(1) && channel(1) == channel(2) ? channel(0) : -1;
}

// The delays (hundredths of a second) of a GIF's graphic control extensions, in order.
std::vector<int> gifDelays(const std::string& gif) {
  std::vector<int> delays;
  for (std::size_t at = gif.find("\x21\xf9\x04"); at != std::string::npos && at + 6 < gif.size();
       at = gif.find("\x21\xf9\x04", at + 1)) {
    delays.push_back(static_cast<unsigned char>(gif[at + 4]) | (static_cast<unsigned char>(gif[at + 5]) << 8));
  }
  return delays;
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

TEST_F(WebServerTest, StaffPhotosComeFromTheRoomsStaffAndShowNumberAndPlace) {
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=1004").body, "P1.jpg,P2.JPG,notes.txt,P3.png");
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=21&id=1004/notes.txt").body, "2026-11-20 14:02:00");
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=12&id=1004/notes.txt&time=x&width=960&height=540").status, 404);

  selftest::HttpAnswer photo = get("/GetPhoto.aspx?Flag=12&id=1004/P3.png&time=2026-11-20%2014:03:00&width=960&height=540");
  ASSERT_EQ(photo.header("Content-Type"), "image/png");
  const StaffPhoto p3 = web.staffPhotos("1004")[3];
  EXPECT_EQ(photo.body, WebServer::staffPhoto("1004", p3, 3, 960, 540));
  EXPECT_NE(photo.body, WebServer::staffPhoto("1004", p3, 2, 960, 540));
  // The caption "1004" over "#4", centred in a dark box, 20 pixels to a glyph dot: the box's
  // corner is dark, the "1"'s top dot light, and the picture around the box untouched.
  EXPECT_EQ(pngGrey(photo.body, 225, 85), 24);
  EXPECT_EQ(pngGrey(photo.body, 285, 105), 240);
  EXPECT_NE(pngGrey(photo.body, 480, 40), 24);

  // One venue: the web server serves the room server's staff.
  VenueRoom room;
  web.setStaff(room.staff());
  room.staff()->setPhotos("1001", {{"new.jpg", "2026-12-07 22:00:00"}});
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=11&id=1001").body, "new.jpg");
  EXPECT_EQ(get("/GetPhoto.aspx?Flag=21&id=1001/new.jpg").body, "2026-12-07 22:00:00");
  web.setStaff(nullptr);  // ignored
  EXPECT_EQ(web.staff(), room.staff());
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
  EXPECT_EQ(jpeg.body, WebServer::staffPhoto("1001", web.staffPhotos("1001")[0], 0, 960, 540));

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

TEST_F(WebServerTest, GalleryServesEveryFormatWithItsTypeAndTags) {
  struct Expected {
    std::string name, type, magic;
  };
  const std::vector<Expected> expected{{"rgb.png", "image/png", "\x89PNG"},
                                       {"alpha.png", "image/png", "\x89PNG"},
                                       {"animated.gif", "image/gif", "GIF89a"},
                                       {"still.webp", "image/webp", "RIFF"},
                                       {"still.tiff", "image/tiff", ""},
                                       {"orient-3.jpg", "image/jpeg", "\xff\xd8"},
                                       {"thumb-17.jpg", "image/jpeg", "\xff\xd8"}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    selftest::HttpAnswer answer = get("/images/" + e.name);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Content-Type"), e.type);
    EXPECT_EQ(answer.body.compare(0, e.magic.size(), e.magic), 0);
    EXPECT_EQ(answer.body, Gallery::picture(e.name)->bytes);
    EXPECT_EQ(answer.header("ETag"), Gallery::entityTag(answer.body));
    EXPECT_EQ(answer.header("Cache-Control"), "max-age=3600");
    EXPECT_EQ(web.lastRequest().endpoint, "images");
  }
  EXPECT_EQ(get("/images/still.webp").body.substr(8, 8), "WEBPVP8L");  // lossless
  std::string tiff = get("/images/still.tiff").body;
  EXPECT_TRUE(tiff.compare(0, 4, std::string("II\x2a\0", 4)) == 0 || tiff.compare(0, 4, std::string("MM\0\x2a", 4)) == 0);
  for (const std::string& name : Gallery::names()) EXPECT_EQ(get("/images/" + name).status, 200) << name;

  EXPECT_EQ(checkPng(get("/images/rgb.png").body), (Size{Gallery::Width, Gallery::Height}));
  std::string alpha = get("/images/alpha.png").body;
  EXPECT_EQ(checkPng(alpha), (Size{Gallery::Width, Gallery::Height}));
  EXPECT_EQ(alpha[25], 6);  // colour type RGBA
  EXPECT_EQ(jpegSize(get("/images/thumb-17.jpg").body), (Size{64, 64}));
  EXPECT_NE(get("/images/thumb-17.jpg").body, get("/images/thumb-18.jpg").body);

  for (const char* missing : {"/images/none.png", "/images/orient-9.jpg", "/images/thumb-.jpg", "/images/thumb-1x.jpg",
                              "/images/"}) {
    EXPECT_EQ(get(missing).status, 404) << missing;
  }
}

TEST_F(WebServerTest, GalleryJpegsCarryEachOrientationWithTheirPixelsTurnedToMatch) {
  // Where the marker of the upright picture lies in the stored pixels, by orientation.
  enum Corner { TopLeft, TopRight, BottomRight, BottomLeft };
  const Corner stored[9] = {TopLeft, TopLeft, TopRight, BottomRight, BottomLeft, TopLeft, BottomLeft, BottomRight, TopRight};
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    std::string jpeg = get("/images/orient-" + std::to_string(orientation) + ".jpg").body;
    EXPECT_EQ(exifOrientation(jpeg), orientation);
    Rows rows = decodeJpeg(jpeg);
    const Size expected = orientation >= 5 ? Size{Gallery::Height, Gallery::Width} : Size{Gallery::Width, Gallery::Height};
    ASSERT_EQ(rows.size, expected);
    const int right = rows.size.width - 3, bottom = rows.size.height - 3;
    const bool dark[4] = {rows.darkAt(2, 2), rows.darkAt(right, 2), rows.darkAt(right, bottom), rows.darkAt(2, bottom)};
    for (int corner = 0; corner < 4; ++corner) EXPECT_EQ(dark[corner], corner == stored[orientation]) << corner;
  }
}

TEST_F(WebServerTest, GalleryGifHasItsFramesAndDelays) {
  std::string gif = get("/images/animated.gif").body;
  EXPECT_EQ(gifDelays(gif), Gallery::gifDelays());
  EXPECT_NE(gif.find("NETSCAPE2.0"), std::string::npos);
  EXPECT_EQ(gif.back(), ';');  // the trailer
}

TEST_F(WebServerTest, GalleryAnswersAMatchingIfNoneMatchWithNotModified) {
  selftest::HttpAnswer first = get("/images/rgb.png");
  const std::string tag = first.header("ETag");
  ASSERT_FALSE(tag.empty());
  for (const std::string& condition : {tag, "\"other\", " + tag, "W/" + tag, std::string("*")}) {
    SCOPED_TRACE(condition);
    selftest::HttpAnswer again = httpGet(web.port(), "/images/rgb.png", "127.0.0.1", {"If-None-Match: " + condition});
    EXPECT_EQ(again.status, 304);
    EXPECT_EQ(again.body, "");
    EXPECT_EQ(again.header("ETag"), tag);
    EXPECT_EQ(again.header("Cache-Control"), "max-age=3600");
  }
  selftest::HttpAnswer changed = httpGet(web.port(), "/images/rgb.png", "127.0.0.1", {"If-None-Match: \"other\""});
  EXPECT_EQ(changed.status, 200);
  EXPECT_EQ(changed.body, first.body);
  // Another picture's tag does not match.
  EXPECT_EQ(httpGet(web.port(), "/images/alpha.png", "127.0.0.1", {"If-None-Match: " + tag}).status, 200);

  web.setGalleryMaxAge(5);
  EXPECT_EQ(get("/images/rgb.png").header("Cache-Control"), "max-age=5");
}

TEST_F(WebServerTest, GalleryServesARangeOnlyWhileIfRangeHoldsItsTag) {
  const std::string whole = Gallery::picture("rgb.png")->bytes;
  const std::string tag = Gallery::entityTag(whole);
  for (const std::vector<std::string>& fields :
       {std::vector<std::string>{"Range: bytes=10-"}, std::vector<std::string>{"Range: bytes=10-", "If-Range: " + tag}}) {
    selftest::HttpAnswer part = httpGet(web.port(), "/images/rgb.png", "127.0.0.1", fields);
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, whole.substr(10));
    EXPECT_EQ(part.header("Content-Range"), "bytes 10-" + std::to_string(whole.size() - 1) + "/" + std::to_string(whole.size()));
  }
  selftest::HttpAnswer changed =
      httpGet(web.port(), "/images/rgb.png", "127.0.0.1", {"Range: bytes=10-", "If-Range: \"other\""});
  EXPECT_EQ(changed.status, 200);
  EXPECT_EQ(changed.body, whole);
  // A reply whose status a fault changes is no part: it goes whole.
  web.setFault("/images/rgb.png", Fault::status(200).only(1));
  EXPECT_EQ(httpGet(web.port(), "/images/rgb.png", "127.0.0.1", {"Range: bytes=10-"}).body, whole);
}

TEST_F(WebServerTest, GalleryFaultsTruncateRedirectAndFail) {
  const std::string whole = Gallery::picture("rgb.png")->bytes;
  web.setFault("/images/rgb.png", Fault::truncated());
  selftest::HttpAnswer cut = get("/images/rgb.png");
  EXPECT_EQ(cut.status, 200);
  EXPECT_EQ(cut.header("Content-Length"), std::to_string(whole.size()));
  EXPECT_EQ(cut.body, whole.substr(0, whole.size() / 2));  // then the connection closed
  // Only that picture.
  EXPECT_EQ(get("/images/alpha.png").body, Gallery::picture("alpha.png")->bytes);

  web.setFault("/images/rgb.png", Fault::redirect("/images/still.webp"));
  selftest::HttpAnswer moved = get("/images/rgb.png");
  EXPECT_EQ(moved.status, 302);
  EXPECT_EQ(moved.header("Location"), web.baseUrl() + "/images/still.webp");
  web.setFault("/images/rgb.png", Fault::redirect("http://elsewhere.test/x.png"));
  EXPECT_EQ(get("/images/rgb.png").header("Location"), "http://elsewhere.test/x.png");

  web.setFault("images", Fault::status(500));
  EXPECT_EQ(get("/images/alpha.png").status, 500);
  web.setFault("images", Fault::status(404).only(1));
  EXPECT_EQ(get("/images/alpha.png").status, 404);
  EXPECT_EQ(get("/images/alpha.png").status, 200);
  web.setFault("images", Fault::html());
  EXPECT_EQ(get("/images/alpha.png").header("Content-Type"), "text/html; charset=utf-8");
}

TEST_F(WebServerTest, ClipsAreMp4WithRangesAndTheBrokenOneKeepsOnlyItsFirstBox) {
  const std::string clip = WebServer::clipBytes();
  ASSERT_GT(clip.size(), 1000u) << WebServer::clipPath();
  EXPECT_EQ(clip.substr(4, 4), "ftyp");

  selftest::HttpAnswer whole = get("/clips/sample.mp4");
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(whole.header("Content-Type"), "video/mp4");
  EXPECT_EQ(whole.body, clip);
  // What a player asks when it seeks: the part, marked as one.
  selftest::HttpAnswer part = httpGet(web.port(), "/clips/sample.mp4", "127.0.0.1", {"Range: bytes=100-199"});
  EXPECT_EQ(part.status, 206);
  EXPECT_EQ(part.body, clip.substr(100, 100));
  EXPECT_EQ(part.header("Content-Range"), "bytes 100-199/" + std::to_string(clip.size()));
  EXPECT_EQ(httpGet(web.port(), "/clips/sample.mp4", "127.0.0.1", {"Range: bytes=0-"}).body, clip);
  EXPECT_EQ(httpGet(web.port(), "/clips/sample.mp4", "127.0.0.1", {"Range: bytes=99999999-"}).status, 416);

  selftest::HttpAnswer broken = get("/clips/broken.mp4");
  EXPECT_EQ(broken.header("Content-Type"), "video/mp4");
  ASSERT_EQ(broken.body.size(), clip.size());
  EXPECT_EQ(broken.body.substr(0, 32), clip.substr(0, 32));
  EXPECT_NE(broken.body.substr(32, 64), clip.substr(32, 64));
  EXPECT_EQ(get("/clips/other.mp4").status, 404);
}
