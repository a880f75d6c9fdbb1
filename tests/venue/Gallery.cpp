#include "venue/Gallery.h"

#include "venue/HttpPeer.h"

#include <gif_lib.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace venue {

namespace {

constexpr std::uint8_t kMarker = 16;  // the marker's grey level

bool startsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }
bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The whole number between `head` and `tail` of a name, when that is all there is between them.
std::optional<long> numberIn(const std::string& name, const std::string& head, const std::string& tail) {
  if (!startsWith(name, head) || !endsWith(name, tail) || name.size() <= head.size() + tail.size()) return std::nullopt;
  std::string digits = name.substr(head.size(), name.size() - head.size() - tail.size());
  if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::strtol(digits.c_str(), nullptr, 10);
}

// Where the stored pixel (x, y) of a picture of sw x sh stored pixels is shown once the Exif
// orientation is applied.
std::pair<int, int> shownAt(int orientation, int x, int y, int sw, int sh) {
  switch (orientation) {
    case 2: return {sw - 1 - x, y};                // mirrored left to right
    case 3: return {sw - 1 - x, sh - 1 - y};       // turned half round
    case 4: return {x, sh - 1 - y};                // mirrored top to bottom
    case 5: return {y, x};                         // mirrored about the top-left diagonal
    case 6: return {sh - 1 - y, x};                // to be turned a quarter clockwise
    case 7: return {sh - 1 - y, sw - 1 - x};       // mirrored about the other diagonal
    case 8: return {y, sw - 1 - x};                // to be turned a quarter anticlockwise
    default: return {x, y};
  }
}

// The APP1 payload: "Exif", then a big-endian TIFF header and one directory holding only the
// orientation tag (type SHORT, count 1).
std::string exifWithOrientation(int orientation) {
  std::string exif("Exif\0\0", 6);
  exif += std::string("MM\0\x2a\0\0\0\x08", 8);  // byte order, 42, first directory at 8
  exif += std::string("\0\x01", 2);               // one entry
  exif += std::string("\x01\x12\0\x03\0\0\0\x01", 8);
  exif += static_cast<char>(0);
  exif += static_cast<char>(orientation);
  exif += std::string("\0\0", 2);                 // the value's padding
  exif += std::string("\0\0\0\0", 4);             // no next directory
  return exif;
}

std::string gifOf(const std::vector<std::vector<GifByteType>>& frames, const std::vector<int>& delays) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, [](GifFileType* file, const GifByteType* data, int length) {
    static_cast<std::string*>(file->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
  }, &error);
  if (!gif) return {};
  static const std::array<GifColorType, 8> kColours{{{250, 250, 250}, {kMarker, kMarker, kMarker}, {220, 40, 40},
                                                     {40, 180, 60}, {40, 80, 220}, {230, 200, 30},
                                                     {128, 128, 128}, {0, 0, 0}}};
  ColorMapObject* map = GifMakeMapObject(8, kColours.data());
  bool ok = map != nullptr;
  EGifSetGifVersion(gif, true);
  ok = ok && EGifPutScreenDesc(gif, Gallery::Width, Gallery::Height, 8, 0, map) == GIF_OK;
  // Loop for ever.
  ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
       EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
       EGifPutExtensionBlock(gif, 3, "\x01\x00\x00") == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
  for (std::size_t i = 0; ok && i < frames.size(); ++i) {
    GraphicsControlBlock control{DISPOSE_DO_NOT, false, delays[i], NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    std::size_t length = EGifGCBToExtension(&control, extension);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK &&
         EGifPutImageDesc(gif, 0, 0, Gallery::Width, Gallery::Height, false, nullptr) == GIF_OK;
    std::vector<GifByteType> pixels = frames[i];
    for (int y = 0; ok && y < Gallery::Height; ++y) {
      ok = EGifPutLine(gif, pixels.data() + y * Gallery::Width, Gallery::Width) == GIF_OK;
    }
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  return ok ? out : std::string();
}

// A growing file in memory for libtiff.
struct TiffBuffer {
  std::string bytes;
  std::size_t at = 0;
};

tmsize_t tiffWrite(thandle_t handle, void* data, tmsize_t size) {
  auto* buffer = static_cast<TiffBuffer*>(handle);
  std::size_t end = buffer->at + static_cast<std::size_t>(size);
  if (buffer->bytes.size() < end) buffer->bytes.resize(end);
  std::memcpy(buffer->bytes.data() + buffer->at, data, static_cast<std::size_t>(size));
  buffer->at = end;
  return size;
}

tmsize_t tiffRead(thandle_t handle, void* data, tmsize_t size) {
  auto* buffer = static_cast<TiffBuffer*>(handle);
  std::size_t n = std::min(static_cast<std::size_t>(size), buffer->bytes.size() - std::min(buffer->at, buffer->bytes.size()));
  std::memcpy(data, buffer->bytes.data() + buffer->at, n);
  buffer->at += n;
  return static_cast<tmsize_t>(n);
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto* buffer = static_cast<TiffBuffer*>(handle);
  if (whence == SEEK_CUR) offset += buffer->at;
  if (whence == SEEK_END) offset += buffer->bytes.size();
  buffer->at = static_cast<std::size_t>(offset);
  return offset;
}

toff_t tiffSize(thandle_t handle) { return static_cast<TiffBuffer*>(handle)->bytes.size(); }
int tiffClose(thandle_t) { return 0; }
int tiffMap(thandle_t, void**, toff_t*) { return 0; }
void tiffUnmap(thandle_t, void*, toff_t) {}

}  // namespace

std::vector<std::uint8_t> Gallery::upright() {
  std::vector<std::uint8_t> pixels = drawPicture(Width, Height, "gallery");
  for (int y = 0; y < MarkerHeight; ++y) {
    std::fill_n(pixels.begin() + (static_cast<std::ptrdiff_t>(y) * Width) * 3, MarkerWidth * 3, kMarker);
  }
  return pixels;
}

std::string Gallery::orientedJpeg(int orientation) {
  orientation = std::clamp(orientation, 1, 8);
  const bool across = orientation >= 5;
  const int sw = across ? Height : Width;
  const int sh = across ? Width : Height;
  std::vector<std::uint8_t> shown = upright();
  std::vector<std::uint8_t> stored(shown.size());
  for (int y = 0; y < sh; ++y) {
    for (int x = 0; x < sw; ++x) {
      auto [ux, uy] = shownAt(orientation, x, y, sw, sh);
      std::memcpy(&stored[(static_cast<std::size_t>(y) * sw + x) * 3], &shown[(static_cast<std::size_t>(uy) * Width + ux) * 3], 3);
    }
  }
  return encodeJpeg(stored, sw, sh, exifWithOrientation(orientation));
}

std::string Gallery::alphaPng() {
  std::vector<std::uint8_t> rgb = upright();
  std::vector<std::uint8_t> rgba;
  rgba.reserve(static_cast<std::size_t>(Width) * Height * 4);
  const int half = Width / 2;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * Width + x) * 3];
      rgba.insert(rgba.end(), p, p + 3);
      rgba.push_back(static_cast<std::uint8_t>(x < half ? 255 : 255 * (Width - 1 - x) / (Width - 1 - half)));
    }
  }
  return encodePng(rgba, Width, Height, 4);
}

std::vector<int> Gallery::gifDelays() { return {10, 20, 30, 40}; }

std::string Gallery::animatedGif() {
  std::vector<std::vector<GifByteType>> frames;
  for (int i = 0; i < GifFrames; ++i) {
    std::vector<GifByteType> frame(static_cast<std::size_t>(Width) * Height, 0);
    for (int y = 0; y < MarkerHeight; ++y) std::fill_n(frame.begin() + y * Width, MarkerWidth, 1);
    // A 10 x 10 square of the frame's own colour, moving right frame by frame.
    const int left = 6 + i * 12;
    for (int y = 18; y < 28; ++y) std::fill_n(frame.begin() + y * Width + left, 10, static_cast<GifByteType>(2 + i));
    frames.push_back(std::move(frame));
  }
  return gifOf(frames, gifDelays());
}

std::string Gallery::webp() {
  std::vector<std::uint8_t> rgb = upright();
  std::uint8_t* output = nullptr;
  std::size_t size = WebPEncodeLosslessRGB(rgb.data(), Width, Height, Width * 3, &output);
  std::string out(reinterpret_cast<const char*>(output), size);
  WebPFree(output);
  return out;
}

std::string Gallery::tiff() {
  TiffBuffer buffer;
  TIFF* tif = TIFFClientOpen("still.tiff", "w", &buffer, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                             tiffUnmap);
  if (!tif) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, Width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, Height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, Height);
  std::vector<std::uint8_t> rgb = upright();
  bool ok = true;
  for (int y = 0; ok && y < Height; ++y) ok = TIFFWriteScanline(tif, rgb.data() + y * Width * 3, y, 0) == 1;
  TIFFClose(tif);
  return ok ? buffer.bytes : std::string();
}

std::string Gallery::thumbnail(long index) {
  return makeJpeg(ThumbnailSide, ThumbnailSide, "thumb/" + std::to_string(index));
}

std::vector<std::string> Gallery::names() {
  std::vector<std::string> out;
  for (int i = 1; i <= 8; ++i) out.push_back("orient-" + std::to_string(i) + ".jpg");
  for (const char* name : {"rgb.png", "alpha.png", "animated.gif", "still.webp", "still.tiff"}) out.emplace_back(name);
  return out;
}

std::optional<GalleryPicture> Gallery::picture(const std::string& name) {
  if (auto n = numberIn(name, "orient-", ".jpg"); n && *n >= 1 && *n <= 8)
    return GalleryPicture{"image/jpeg", orientedJpeg(static_cast<int>(*n))};
  if (auto n = numberIn(name, "thumb-", ".jpg")) return GalleryPicture{"image/jpeg", thumbnail(*n)};
  if (name == "rgb.png") return GalleryPicture{"image/png", encodePng(upright(), Width, Height, 3)};
  if (name == "alpha.png") return GalleryPicture{"image/png", alphaPng()};
  if (name == "animated.gif") return GalleryPicture{"image/gif", animatedGif()};
  if (name == "still.webp") return GalleryPicture{"image/webp", webp()};
  if (name == "still.tiff") return GalleryPicture{"image/tiff", tiff()};
  return std::nullopt;
}

std::string Gallery::entityTag(const std::string& bytes) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a, 64 bits
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char text[24];
  std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
  return text;
}

HttpReply Gallery::reply(const RecordedRequest& request, const std::string& prefix, int maxAgeSeconds) {
  std::optional<GalleryPicture> found = picture(request.path.substr(prefix.size()));
  if (!found) return {404, "text/html; charset=utf-8", "<html><body>404 Not Found</body></html>"};
  std::string tag = entityTag(found->bytes);
  HeaderList headers{{"ETag", tag}, {"Cache-Control", "max-age=" + std::to_string(maxAgeSeconds)}};
  // If-None-Match: "*" or a comma-separated list of tags, weak ones ("W/...") compared weakly.
  std::string match = request.header("If-None-Match").value_or("");
  bool matched = false;
  for (std::size_t at = 0; at < match.size() && !matched;) {
    std::size_t comma = match.find(',', at);
    if (comma == std::string::npos) comma = match.size();
    std::string one = match.substr(at, comma - at);
    one.erase(0, one.find_first_not_of(" \t"));
    one.erase(one.find_last_not_of(" \t") + 1);
    if (one.rfind("W/", 0) == 0) one.erase(0, 2);
    matched = one == "*" || one == tag;
    at = comma + 1;
  }
  if (matched) return {304, found->contentType, "", headers};
  // A range is a part (the HTTP server cuts it out), unless If-Range names another version of
  // the picture: then the whole of it.
  const std::optional<std::string> ifRange = request.header("If-Range");
  if (request.header("Range") && (!ifRange || *ifRange == tag)) return {206, found->contentType, std::move(found->bytes), headers};
  return {200, found->contentType, std::move(found->bytes), headers};
}

}  // namespace venue
