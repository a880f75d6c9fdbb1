#include "platform/display/FrameScaler.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>

namespace display {

PixelRect PixelRect::united(const PixelRect& o) const {
  if (isEmpty()) return o;
  if (o.isEmpty()) return *this;
  return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
}

PixelRect PixelRect::intersected(const PixelRect& o) const {
  PixelRect r{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  return r.isEmpty() ? PixelRect{} : r;
}

namespace {

// Frame pixels per target pixel along one axis, as the transform holds it.
pixman_fixed_t step(int frameSize, int pictureSize) {
  return pixman_double_to_fixed(static_cast<double>(frameSize) / pictureSize);
}

// The target pixels [first, end) of one axis, from the picture's edge, that changed frame pixels
// [x0, x1) reach through the bilinear filter. Target pixel d samples the frame at
// u = (d + 0.5) * step, from the two pixels floor(u - 0.5) and the one after it, so frame pixel k
// reaches exactly the d with k - 0.5 <= u < k + 1.5: from ceil((x0 - 0.5) / step - 0.5) up to, not
// including, ceil((x1 + 0.5) / step - 0.5). One more pixel each side covers the rounding of the
// fixed-point step and positions. Both are kept within the picture's `size` pixels.
void reachAlong(int x0, int x1, pixman_fixed_t fixedStep, int size, int* first, int* end) {
  const double s = pixman_fixed_to_double(fixedStep);
  auto within = [size](double d) { return static_cast<int>(std::clamp(d, 0.0, static_cast<double>(size))); };
  *first = within(std::ceil((x0 - 0.5) / s - 0.5) - 1);
  *end = within(std::ceil((x1 + 0.5) / s - 0.5) + 1);
}

}  // namespace

void FrameScaler::setGeometry(int width, int height, const PixelRect& picture) {
  m_width = std::max(0, width);
  m_height = std::max(0, height);
  m_picture = picture.intersected(PixelRect{0, 0, m_width, m_height});
}

PixelRect FrameScaler::reach(const Frame& frame, const PixelRect& dirty) const {
  if (dirty.isEmpty() || m_picture.isEmpty() || frame.width <= 0 || frame.height <= 0) return {};
  // Only the frame's own pixels can change; anything past them (a caller's "everything", as
  // far as an int goes) is cut off here, before the arithmetic below could overflow.
  const PixelRect changed = dirty.intersected(PixelRect{0, 0, frame.width, frame.height});
  if (changed.isEmpty()) return {};
  const int pw = m_picture.x1 - m_picture.x0, ph = m_picture.y1 - m_picture.y0;
  PixelRect r = changed;
  if (pw != frame.width || ph != frame.height) {
    const pixman_fixed_t sx = step(frame.width, pw), sy = step(frame.height, ph);
    // A step too small to hold: the picture is thousands of times the frame; all of it is redrawn.
    if (sx <= 0 || sy <= 0) return m_picture;
    reachAlong(changed.x0, changed.x1, sx, pw, &r.x0, &r.x1);
    reachAlong(changed.y0, changed.y1, sy, ph, &r.y0, &r.y1);
  }
  r = PixelRect{r.x0 + m_picture.x0, r.y0 + m_picture.y0, r.x1 + m_picture.x0, r.y1 + m_picture.y0};
  return r.intersected(m_picture);
}

void FrameScaler::draw(pixman_image_t* target, const Frame& frame, const PixelRect& area) const {
  const PixelRect stale = area.intersected(PixelRect{0, 0, m_width, m_height});
  if (!target || stale.isEmpty()) return;
  static const pixman_color_t black = {0, 0, 0, 0xFFFF};
  const bool hasFrame = frame.data && frame.width > 0 && frame.height > 0 && !m_picture.isEmpty();
  if (!hasFrame) {
    pixman_box32_t box{stale.x0, stale.y0, stale.x1, stale.y1};
    pixman_image_fill_boxes(PIXMAN_OP_SRC, target, &black, 1, &box);
    return;
  }
  // The bars beside the picture are black.
  const PixelRect bars[] = {{0, 0, m_width, m_picture.y0},
                            {0, m_picture.y1, m_width, m_height},
                            {0, m_picture.y0, m_picture.x0, m_picture.y1},
                            {m_picture.x1, m_picture.y0, m_width, m_picture.y1}};
  for (const PixelRect& bar : bars) {
    PixelRect r = bar.intersected(stale);
    if (r.isEmpty()) continue;
    pixman_box32_t box{r.x0, r.y0, r.x1, r.y1};
    pixman_image_fill_boxes(PIXMAN_OP_SRC, target, &black, 1, &box);
  }
  PixelRect r = stale.intersected(m_picture);
  if (r.isEmpty()) return;
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, frame.width, frame.height, frame.data, frame.stride);
  if (!src) return;
  const int pw = m_picture.x1 - m_picture.x0, ph = m_picture.y1 - m_picture.y0;
  if (pw != frame.width || ph != frame.height) {
    // Target pixels to frame pixels; sampled at pixel centres, the edges padded outwards.
    pixman_transform_t t;
    pixman_transform_init_scale(&t, step(frame.width, pw), step(frame.height, ph));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
  }
  // The source's origin is the picture's, whatever part is drawn, so a part comes out as it does
  // in the whole. The frame's alpha is dropped: what shows is its premultiplied colour over black.
  pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, target, r.x0 - m_picture.x0, r.y0 - m_picture.y0, 0, 0, r.x0,
                           r.y0, r.x1 - r.x0, r.y1 - r.y0);
  pixman_image_unref(src);
}

}  // namespace display
