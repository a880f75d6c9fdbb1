#pragma once

namespace kt {

class ProgressOverlay;

// Told when a ProgressOverlay has been hidden. Both operations are optional: the overlay calls
// hudWasHidden(overlay) when the delegate implements it, else hudWasHidden() when it implements
// that one, and says so through implements().
class ProgressOverlayDelegate {
 public:
  enum class Op { HudWasHiddenWithOverlay, HudWasHidden };

  virtual ~ProgressOverlayDelegate() = default;

  virtual bool implements(Op op) const {
    (void)op;
    return false;
  }
  virtual void hudWasHidden(ProgressOverlay& overlay) { (void)overlay; }
  virtual void hudWasHidden() {}
};

}  // namespace kt
