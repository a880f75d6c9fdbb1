#include "platform/gl/EAGLLayer.h"

#include <cmath>

namespace gl {

namespace {
int pixels(double points, double scale) {
  const double v = std::round(points * (scale > 0 ? scale : 1));
  return v > 0 && std::isfinite(v) ? static_cast<int>(v) : 0;
}
}  // namespace

int EAGLLayer::drawablePixelWidth() const { return pixels(bounds().width(), contentsScale()); }
int EAGLLayer::drawablePixelHeight() const { return pixels(bounds().height(), contentsScale()); }

}  // namespace gl
