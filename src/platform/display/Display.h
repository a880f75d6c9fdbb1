#pragma once

#include <memory>

#include "platform/display/Surface.h"

// Choosing what the program shows its window on.
namespace display {

// A real window when $DISPLAY or $WAYLAND_DISPLAY is set and SDL can open one there, else (and
// always with KT_OFFSCREEN=1) an offscreen surface. Never fails; when a display is named but no
// window opens on it, standard error says so and why.
std::unique_ptr<Surface> open();

}  // namespace display
