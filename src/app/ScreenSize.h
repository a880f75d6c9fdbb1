#pragma once

namespace kt {

// The 12.9-inch tablet: the main screen's current mode is exactly 2048 pixels wide and 2732
// high (2732 x 2048 is not it). Read from the screen at every call, never remembered, so a
// change of mode takes effect at the next frame or font chosen.
bool isTwelveNineInch();

}  // namespace kt
