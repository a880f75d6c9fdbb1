#pragma once

#include <poll.h>

namespace display {

// Whether the interrupt descriptor (a termination signal's; -1: none) is readable now.
inline bool interruptedNow(int interruptFd) {
  pollfd p{interruptFd, POLLIN, 0};
  return interruptFd >= 0 && poll(&p, 1, 0) > 0;
}

}  // namespace display
