#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace core {
class Error;
}

namespace gfx {

enum class ImageOrientation { Up, Down, Left, Right, UpMirrored, DownMirrored, LeftMirrored, RightMirrored };

// The encoded formats decode() recognises by their first bytes.
enum class ImageFormat { Unknown, PNG, JPEG, GIF, WebP, BMP, TIFF };

// An immutable bitmap: premultiplied ARGB32 pixels (native-endian 32-bit words, Cairo's image
// format) with a scale (pixels per point) and an orientation that says how to draw the pixels
// upright. An animated image also has frames, each an Image, and a total duration.
class Image {
 public:
  // Errors of decode() and fromFile().
  static constexpr const char* ErrorDomain = "ImageErrorDomain";
  enum ErrorCode : int64_t {
    UnknownFormat = 1,  // the first bytes match no supported format
    Corrupt = 2,        // corrupt or truncated data
    TooLarge = 3,       // declared size above MaxPixelSide per side or MaxPixelCount in all
    Unsupported = 4,    // a variant of the format this decoder does not handle
    FileUnreadable = 5, // fromFile(): the file cannot be read (FilePathKey in the user info)
  };
  static constexpr int MaxPixelSide = 16384;
  static constexpr int64_t MaxPixelCount = int64_t{1} << 26;

  // Takes the pixels (stride = width * 4 bytes); nullptr when the size is not positive.
  static std::shared_ptr<Image> fromPixels(int pixelWidth, int pixelHeight, std::vector<uint32_t> argbPremultiplied,
                                           double scale = 1.0, ImageOrientation orientation = ImageOrientation::Up);
  // Takes a reference to a Cairo ARGB32 image surface.
  static std::shared_ptr<Image> fromSurface(cairo_surface_t* surface, double scale = 1.0,
                                            ImageOrientation orientation = ImageOrientation::Up);
  // An animated image from its frames (all of one size) and the whole duration in seconds.
  static std::shared_ptr<Image> animated(std::vector<std::shared_ptr<Image>> frames, double duration);
  // The same pixels with another scale or orientation.
  std::shared_ptr<Image> withScale(double scale, ImageOrientation orientation) const;

  // Decodes PNG, JPEG (with its EXIF orientation), GIF (every frame), WebP, BMP and TIFF,
  // recognised by their first bytes. Corrupt or truncated data gives nullptr and an error.
  static std::shared_ptr<Image> decode(std::string_view bytes, double scale = 1.0, core::Error* error = nullptr);
  // The frames of GIF data one by one, the way an image reader hands them out: one entry per
  // frame the data holds, in order, with the picture composed up to that frame (nullptr for a
  // frame that does not decode, such as one cut short) and its delay in seconds as the file
  // gives it. Reading stops at damage it cannot pass. Empty when the data is no readable GIF.
  struct Frame {
    std::shared_ptr<Image> image;
    double delay = 0;
  };
  static std::vector<Frame> gifFrames(std::string_view bytes, double scale = 1.0);
  static std::shared_ptr<Image> fromFile(const std::string& path, double scale = 1.0, core::Error* error = nullptr);
  // The format the first bytes announce (RIFF data counts as WebP only with "WEBP" at offset 8).
  static ImageFormat formatOf(std::string_view bytes);
  // A named image of the generated artwork ("name" or "name.png"), the file artworkScalesFor()
  // takes first at the drawing scale among "name.png", "name@2x.png" and "name@3x.png"; nullptr
  // when none exists.
  static std::shared_ptr<Image> named(const std::string& name);
  // The one rule by which an artwork file is chosen for a drawing scale: the scales files are drawn
  // at (1, 2 and 3) in the order they are tried, the smallest at or above the drawing scale first
  // (the fewest pixels that still need no enlargement), then the larger ones, then the smaller ones
  // from the largest down, for a picture that lacks the first.
  static std::vector<double> artworkScalesFor(double drawingScale);
  // What an artwork file's name carries before its extension at `scale`: "", "@2x" or "@3x".
  static std::string artworkSuffix(double scale);
  // The screen mode's scale: the scale decoded pictures are given (their size in points); 2 unless
  // changed.
  static void setModeScale(double scale);
  static double modeScale();
  // The scale the screen is drawn at (the window's own, else the mode's): that of the artwork
  // chosen by name and of bitmap contexts made with scale 0; 2 unless changed.
  static void setDrawingScale(double scale);
  static double drawingScale();
  // Named images are cached by name, resource folder and scale until this is called.
  static void clearNamedCache();
  // For an image found by name: the artwork named() finds under the same name at the drawing scale
  // now, when that is another file (the drawing scale has moved to another file's range since this
  // one was found); null otherwise. What draws an image draws this in its place (at the same size
  // in points), so that artwork held across a change of scale is never shown from the old scale's
  // pixels.
  std::shared_ptr<Image> namedAtDrawingScale() const;

  // This picture as it is drawn over `pixelWidth` x `pixelHeight` device pixels, one image pixel to
  // a device pixel: upright and resampled to that size once, then kept (shared by every thread
  // that draws it) until the drawing scale changes, this image goes, or the copies outgrow their
  // memory and it is the longest unused. Null where the picture is drawn as it is: it is upright
  // and of that size already, the size is not positive or too large to keep, or it is the first
  // time the picture is asked for at that size (a picture shown once, such as a frame of a video,
  // or a size passed through while a layer's bounds animate, is not worth a copy).
  std::shared_ptr<const Image> resampledTo(int pixelWidth, int pixelHeight) const;
  // The same over `points` at the drawing scale (each side sized by the pixel grid's rule).
  std::shared_ptr<const Image> resampledFor(Size points) const;
  // The bytes the resampled copies hold, and the most they may hold before the longest unused
  // goes; 0 restores the default (16 MiB a unit of the drawing scale squared, at least 16 MiB).
  static size_t resampledBytes();
  static void setResampledLimit(size_t bytes);

  // Encoders; the orientation is applied first, so the result is upright.
  std::optional<std::string> pngData() const;
  std::optional<std::string> jpegData(double quality /* 0..1 */) const;

  int pixelWidth() const { return m_width; }
  int pixelHeight() const { return m_height; }
  double scale() const { return m_scale; }
  ImageOrientation orientation() const { return m_orientation; }
  // Size in points, upright (width and height swap for the Left and Right orientations).
  Size size() const;
  // Whether the source had an alpha channel or transparency (decoded images), or the surface
  // format has alpha (ARGB32). Opaque sources still store ARGB32 with alpha 255.
  bool hasAlpha() const { return m_hasAlpha; }
  // The same picture with the orientation applied to the pixels (orientation Up, same scale).
  std::shared_ptr<Image> upright() const;

  // The pixels as stored (before the orientation), row by row, stride() bytes per row; valid as
  // long as the image lives.
  const uint32_t* pixels() const;
  int stride() const;
  uint32_t pixelAt(int x, int y) const;  // premultiplied ARGB, 0 outside
  // The backing Cairo surface (owned by the image; do not modify its pixels).
  cairo_surface_t* cairoSurface() const { return m_surface; }

  const std::vector<std::shared_ptr<Image>>& frames() const { return m_frames; }
  double duration() const { return m_duration; }
  // Decoded animations: each frame's delay in seconds as the file gives it (0 stays 0), one per
  // frame. duration() counts delays below 0.011 s as 0.1 s, as players do. Empty otherwise.
  const std::vector<double>& frameDelays() const { return m_frameDelays; }

  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

 private:
  Image() = default;
  int m_width = 0;
  int m_height = 0;
  double m_scale = 1.0;
  ImageOrientation m_orientation = ImageOrientation::Up;
  cairo_surface_t* m_surface = nullptr;
  std::vector<std::shared_ptr<Image>> m_frames;
  double m_duration = 0;
  std::vector<double> m_frameDelays;
  bool m_hasAlpha = true;
  std::string m_name;         // as given to named(); empty for an image not found by name
  double m_namedFor = 0;      // the artwork scale named() wanted when it found this file
  mutable std::atomic<bool> m_hasCopies{false};  // resampled copies (or notes of sizes) may be kept
};

}  // namespace gfx
