#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"

// Rendering a layer on its own and reading its pixels, for the ring and backdrop tests.
namespace kt::testing {

// Straight alpha and colour (0..255) of a pixel of a scale-1 image.
struct Pixel {
  int a = 0, r = 0, g = 0, b = 0;
};

inline Pixel pixelAt(const gfx::Image& image, double x, double y) {
  const uint32_t p = image.pixelAt(static_cast<int>(x), static_cast<int>(y));
  Pixel px;
  px.a = int(p >> 24);
  if (px.a == 0) return px;
  px.r = int((p >> 16) & 0xff) * 255 / px.a;
  px.g = int((p >> 8) & 0xff) * 255 / px.a;
  px.b = int(p & 0xff) * 255 / px.a;
  return px;
}

// The layer and its sublayers at their presentation values, in the layer's bounds, one pixel a point.
inline std::shared_ptr<gfx::Image> render(gfx::Layer& layer) {
  auto ctx = gfx::Context::bitmap(layer.bounds().size, 1);
  if (!ctx) return nullptr;
  gfx::Compositor::renderLayer(layer, *ctx);
  return ctx->makeImage();
}

// A point on a ring's centre line around (c, c), `degrees` clockwise from 12 o'clock.
inline gfx::Point onRing(double c, double radius, double degrees) {
  const double a = degrees * M_PI / 180;
  return gfx::Point{c + radius * std::sin(a), c - radius * std::cos(a)};
}

}  // namespace kt::testing
