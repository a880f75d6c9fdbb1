#include "platform/ui/Screen.h"

#include "platform/gfx/Image.h"

namespace ui {

Screen& Screen::main() {
  static Screen screen;
  return screen;
}

void Screen::setMode(gfx::Size pixels, double scale) {
  if (pixels.width <= 0 || pixels.height <= 0 || scale <= 0) return;
  m_pixels = pixels;
  m_scale = scale;
  gfx::Image::setDefaultScale(scale);
}

}  // namespace ui
