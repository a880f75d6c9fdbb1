#include "app/ScreenSize.h"

#include "platform/ui/Screen.h"

namespace kt {

bool isTwelveNineInch() {
  const gfx::Size pixels = ui::Screen::main().currentMode().size;
  return pixels.width == 2048 && pixels.height == 2732;
}

}  // namespace kt
