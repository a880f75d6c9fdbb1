#include "platform/display/OffscreenSurface.h"

namespace display {

OffscreenSurface::~OffscreenSurface() = default;

// The compositor's surface is the picture itself: nothing to copy anywhere.
void OffscreenSurface::present(const gfx::Rect&) {}

}  // namespace display
