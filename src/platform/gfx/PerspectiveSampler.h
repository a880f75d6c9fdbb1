#pragma once

// The compositor's projective sampler: internal to gfx.

#include <cstddef>
#include <cstdint>

typedef struct _cairo_surface cairo_surface_t;

namespace gfx {

class PerspectiveSampler {
 public:
  // A block of premultiplied ARGB32 pixels, `stride` pixels from the start of one row to the next.
  struct Pixels {
    uint32_t* data = nullptr;
    int width = 0, height = 0;
    ptrdiff_t stride = 0;
  };

  // Draws `src` (a premultiplied ARGB32 image surface, flushed: it is only read, so an image's
  // surface can be drawn from on several threads at once) into `out` through the homography g
  // (destination pixel → source pixel, both with their origin at the top left, on column
  // vectors), sampling bilinearly between pixel centres. Without `over` every pixel of `out` is
  // written, transparent outside the source and behind the eye; with it the pixels are laid over
  // what `out` holds (OVER), which is left alone outside. A large `out` is drawn in bands of rows
  // on a few threads kept for it. False, with nothing drawn, for a source of another format or
  // with no pixels, or an empty `out`.
  static bool sample(cairo_surface_t* src, const double g[3][3], const Pixels& out, bool over);

  // Whether AVX2 may be used where the processor has it (as it is unless told otherwise); the
  // narrower code gives the same pixels, which tests compare.
  static void allowAvx2(bool allowed);
};

}  // namespace gfx
