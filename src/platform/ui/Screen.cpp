#include "platform/ui/Screen.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"

namespace ui {

Screen& Screen::main() {
  static Screen screen;
  return screen;
}

gfx::Rect Screen::bounds() const {
  double w = m_pixels.width / m_scale, h = m_pixels.height / m_scale;
  InterfaceOrientation o = Application::shared().statusBarOrientation();
  bool landscape = o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
  bool portrait = o == InterfaceOrientation::Portrait || o == InterfaceOrientation::PortraitUpsideDown;
  if ((landscape && h > w) || (portrait && w > h)) std::swap(w, h);
  return gfx::Rect(0, 0, w, h);
}

gfx::Rect Screen::applicationFrame() const {
  gfx::Rect b = bounds();
  double bar = std::min(Application::shared().statusBarFrame().height(), b.height());
  return gfx::Rect(0, bar, b.width(), b.height() - bar);
}

int Screen::displayQuarterTurns(InterfaceOrientation o) const {
  bool landscape = o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
  bool portrait = o == InterfaceOrientation::Portrait || o == InterfaceOrientation::PortraitUpsideDown;
  if (!m_displayWide || m_pixels.width == m_pixels.height || (!landscape && !portrait) || landscape == *m_displayWide)
    return 0;
  if (*m_displayWide) return o == InterfaceOrientation::PortraitUpsideDown ? 1 : -1;
  return o == InterfaceOrientation::LandscapeLeft ? -1 : 1;
}

void Screen::setMode(gfx::Size pixels, double scale) {
  if (pixels.width <= 0 || pixels.height <= 0 || scale <= 0) return;
  const double before = drawingScale();
  m_pixels = pixels;
  m_scale = scale;
  gfx::Image::setModeScale(scale);
  followScale(before);
}

void Screen::setDrawingScale(std::optional<double> scale) {
  if (scale && !(std::isfinite(*scale) && *scale > 0)) return;
  const double before = drawingScale();
  m_drawingScale = scale;
  followScale(before);
}

void Screen::followScale(double before) {
  const double now = drawingScale();
  gfx::Image::setDrawingScale(now);
  if (now != before) View::followDrawingScaleEverywhere();
}

}  // namespace ui
