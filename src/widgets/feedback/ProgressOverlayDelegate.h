#pragma once

#include <functional>

#include "platform/core/WeakPtr.h"

namespace kt {

class ProgressOverlay;

// Told when a ProgressOverlay has been hidden: a protocol of slots. Both operations are optional;
// a delegate takes one by setting its slot. The overlay calls hudWasHiddenWithOverlay when it is
// set, else hudWasHidden when that one is.
//
// The overlay holds its delegate weakly: a delegate that goes away stops being told anything.
class ProgressOverlayDelegate {
 public:
  ProgressOverlayDelegate() = default;
  ProgressOverlayDelegate(const ProgressOverlayDelegate&) = delete;
  ProgressOverlayDelegate& operator=(const ProgressOverlayDelegate&) = delete;
  virtual ~ProgressOverlayDelegate() = default;

  std::function<void(ProgressOverlay& overlay)> hudWasHiddenWithOverlay;
  std::function<void()> hudWasHidden;

  core::WeakPtr<ProgressOverlayDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<ProgressOverlayDelegate> m_weakFactory{this};
};

}  // namespace kt
