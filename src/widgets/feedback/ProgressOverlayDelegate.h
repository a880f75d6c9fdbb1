#pragma once

#include <functional>

namespace kt {

class ProgressOverlay;

// Told when a ProgressOverlay has been hidden: a protocol of slots. Both operations are optional;
// a delegate takes one by setting its slot. The overlay calls hudWasHiddenWithOverlay when it is
// set, else hudWasHidden when that one is.
class ProgressOverlayDelegate {
 public:
  virtual ~ProgressOverlayDelegate() = default;

  std::function<void(ProgressOverlay& overlay)> hudWasHiddenWithOverlay;
  std::function<void()> hudWasHidden;
};

}  // namespace kt
