#pragma once

#include <functional>

namespace support {

// The real time a wait gives its condition unless told otherwise. What a test waits for often
// happens on another thread or in a peer (a reply, a camera picture, a decoder), and even the
// main thread's own work runs several times slower under a sanitizer beside busy processes, so
// the bound is far above what a passing wait takes there; only a wait that fails runs to it.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr double kDefaultWait = 60.0;
#else
inline constexpr double kDefaultWait = 20.0;
#endif

// Runs the main run loop in the default mode until the condition holds or the time-out passes.
// The condition is checked before starting, after every turn that handled something, and every
// few tens of milliseconds of real time while the loop waits, so that a change made by another
// thread or a peer is seen. The time-out is real time, so a test on the virtual clock still gives
// up. Returns whether the condition held.
bool runUntil(const std::function<bool()>& condition, double timeoutSeconds = kDefaultWait);

// Like runUntil, but never moves the virtual clock: for a test that waits on another thread or
// a peer while what the clock drives (an animation, a delayed block) must stay where it is.
bool runUntilClockHeld(const std::function<bool()>& condition, double timeoutSeconds = kDefaultWait);

// Runs the main loop in the default mode for whatever is ready now (blocks, due timers and
// performs, ready descriptors), without waiting and without moving the virtual clock.
void drainMainLoop();

// Switches core::Clock to virtual time for the lifetime of the object and back to real time after.
class VirtualClock {
 public:
  VirtualClock();
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

 private:
  bool m_wasVirtual = false;
};

}  // namespace support
