#pragma once

#include "platform/core/Queue.h"

#include <functional>

namespace kt {

// Runs the block on the main thread and returns after it: directly when already there, else by a
// blocking hand-over to the main queue. The caller must hold no lock the main thread may want.
inline void performOnMainThreadSync(const std::function<void()>& block) {
  auto main = core::Queue::main();
  if (main->isCurrent()) {
    block();
  } else {
    main->sync(block);
  }
}

}  // namespace kt
