#include "app/ScreenSize.h"

#include "platform/ui/Screen.h"

namespace kt {

bool isTwelveNineInch() {
  const gfx::Size pixels = ui::Screen::main().currentMode().size;
  return pixels.width == 2048 && pixels.height == 2732;
}

gfx::Rect pick(const gfx::Rect& standard, const gfx::Rect& large) { return isTwelveNineInch() ? large : standard; }

double pick(double standard, double large) { return isTwelveNineInch() ? large : standard; }

}  // namespace kt
