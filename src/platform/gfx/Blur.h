#pragma once

// The blur of shadows and backdrops: three box passes approximating a Gaussian, over the alpha of
// a surface or over all its channels.

#include <array>

#include "platform/gfx/Color.h"

typedef struct _cairo_surface cairo_surface_t;

namespace gfx {

// Box radii whose three passes approximate a Gaussian of standard deviation sigma.
std::array<int, 3> boxRadii(double sigma);

// Turns an ARGB32 surface into its blurred alpha painted in the colour at `opacity`.
void blurAndTint(cairo_surface_t* s, const std::array<int, 3>& radii, const Color& c, double opacity);

// Blurs every channel of a premultiplied ARGB32 surface in place (a backdrop's blur). Outside
// the surface counts as transparent: callers give it a margin of the blur's reach.
void blurChannels(cairo_surface_t* s, const std::array<int, 3>& radii);

}  // namespace gfx
