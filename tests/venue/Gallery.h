#pragma once

// The pictures of the web server's gallery ("/images/<name>"), one in every format the client
// decodes. The still pictures are one upright 60 x 40 picture with a dark marker in its top-left
// corner, so a client that drew a picture the wrong way round shows it in the wrong corner.
//
//   orient-<1..8>.jpg   JPEG whose Exif orientation tag (0x0112) is 1..8; the pixels are stored
//                       turned so that, once the orientation is applied, the picture is upright
//                       (orientations 5 to 8 store 40 x 60 pixels)
//   rgb.png             PNG, RGB without alpha
//   alpha.png           PNG, RGBA: the left half opaque, the right half fading out to the edge
//   animated.gif        an animated GIF of 4 frames (a square moving right), delays of 0.1, 0.2,
//                       0.3 and 0.4 s, looping for ever
//   still.webp          lossless WebP
//   still.tiff          TIFF, RGB, uncompressed
//   thumb-<n>.jpg       a 64 x 64 JPEG thumbnail for any whole number n (a colour of its own each)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace venue {

struct HttpReply;
struct RecordedRequest;

struct GalleryPicture {
  std::string contentType;  // "image/jpeg"
  std::string bytes;
};

class Gallery {
 public:
  static constexpr int Width = 60;
  static constexpr int Height = 40;
  static constexpr int MarkerWidth = 12;   // the marker: the top-left 12 x 8 points, nearly black
  static constexpr int MarkerHeight = 8;
  static constexpr int ThumbnailSide = 64;
  static constexpr int GifFrames = 4;

  // The picture of that name, or nothing for a name that is not in the gallery.
  static std::optional<GalleryPicture> picture(const std::string& name);
  // The names of the gallery's fixed pictures (the thumbnails aside).
  static std::vector<std::string> names();
  // The frame delays of animated.gif in hundredths of a second.
  static std::vector<int> gifDelays();
  // A strong entity tag for a body: a quoted hexadecimal digest.
  static std::string entityTag(const std::string& bytes);
  // The reply to a gallery request, the picture named by the path after `prefix` ("/images/"):
  // with its ETag and "Cache-Control: max-age=<maxAgeSeconds>", 304 without a body when
  // If-None-Match names its tag ("*", a list, weak tags compared weakly), 206 with the range a
  // Range field asks for unless If-Range names another tag (then 200 with the whole picture),
  // 404 for another name.
  static HttpReply reply(const RecordedRequest& request, const std::string& prefix, int maxAgeSeconds);

  // The upright picture as RGB rows.
  static std::vector<std::uint8_t> upright();
  static std::string orientedJpeg(int orientation);
  static std::string alphaPng();
  static std::string animatedGif();
  static std::string webp();
  static std::string tiff();
  static std::string thumbnail(long index);
};

}  // namespace venue
