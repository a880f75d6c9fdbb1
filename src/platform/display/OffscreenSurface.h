#pragma once

#include <memory>

#include "platform/display/Surface.h"

namespace display {

// A surface with no window on a screen: frames are drawn into the compositor's image surface,
// from which tests read pixels and save PNG screenshots. It never touches SDL.
class OffscreenSurface : public Surface {
 public:
  static std::unique_ptr<OffscreenSurface> create() { return std::unique_ptr<OffscreenSurface>(new OffscreenSurface()); }
  ~OffscreenSurface() override;

  bool isOnScreen() const override { return false; }

 protected:
  OffscreenSurface() = default;
  void present(const gfx::Rect& dirty) override;
};

}  // namespace display
