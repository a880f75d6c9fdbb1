#pragma once

#include "platform/gfx/Geometry.h"

namespace kt {

// The 12.9-inch tablet: the main screen's current mode is exactly 2048 pixels wide and 2732
// high (2732 x 2048 is not it). Read from the screen at every call, never remembered, so a
// change of mode takes effect at the next frame or font chosen.
bool isTwelveNineInch();

// The first value on the 1024 x 768 point screen, the second on the 12.9-inch tablet, decided at
// the call (frames, sizes and fonts of the screens each carry the two).
gfx::Rect pick(const gfx::Rect& standard, const gfx::Rect& large);
double pick(double standard, double large);

}  // namespace kt
