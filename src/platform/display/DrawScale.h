#pragma once

#include <optional>

namespace display {

// The lowest and highest scale the interface may be drawn at when one is fixed.
constexpr double MinDrawScale = 0.5;
constexpr double MaxDrawScale = 4;

// The scale a window draws the interface at whatever its size, the picture then resampled into
// the window: KT_DRAW_SCALE when set, else the setting "Draw_Scale"; none (the window's own
// scale) when neither is. A value that is not a number from MinDrawScale to MaxDrawScale is said
// on standard error (once while it stays, again when it comes back after a change) and left aside: a bad KT_DRAW_SCALE leaves the setting
// to decide, a bad setting the window's own scale.
std::optional<double> drawScaleSetting();

}  // namespace display
