#pragma once

#include <cstdint>

typedef union pixman_image pixman_image_t;

namespace display {

// A rectangle of pixels: [x0, x1) x [y0, y1).
struct PixelRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
  PixelRect united(const PixelRect& o) const;
  PixelRect intersected(const PixelRect& o) const;
  bool operator==(const PixelRect&) const = default;
};

// Draws frames into a window's pixels (a compositor's buffer, an X window's framebuffer): the frame
// scaled into the picture's rectangle (bilinear, the frame's edges padded outwards), black beside
// it, the frame's alpha dropped (its premultiplied colour over black). A part of the target is
// drawn exactly as it is in a drawing of the whole, so only what a change reaches needs drawing.
class FrameScaler {
 public:
  // A frame's pixels: premultiplied ARGB, native-endian words (a Cairo image surface's).
  struct Frame {
    uint32_t* data = nullptr;
    int width = 0, height = 0, stride = 0;  // stride in bytes
  };

  // The target's size in pixels and where the frame goes in it (kept within the target).
  void setGeometry(int width, int height, const PixelRect& picture);
  int width() const { return m_width; }
  int height() const { return m_height; }
  const PixelRect& picture() const { return m_picture; }

  // The target's pixels that show `frame`'s pixels in `dirty`: scaled, and widened by the reach of
  // the filter, within the picture.
  PixelRect reach(const Frame& frame, const PixelRect& dirty) const;
  // Draws `area` of `target` (the geometry's size): the frame where the picture is, black
  // elsewhere (everywhere when the frame has no pixels).
  void draw(pixman_image_t* target, const Frame& frame, const PixelRect& area) const;

 private:
  int m_width = 0, m_height = 0;
  PixelRect m_picture;
};

}  // namespace display
