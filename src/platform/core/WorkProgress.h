#pragma once

#include <atomic>
#include <chrono>

namespace core {

// Whether the main thread is at work: it notes the time at the points that show it goes on (a
// view controller's view loaded, a view made, an image decoded, a layer drawn), and a watch on
// another thread (the stop's, in main) reads when it last did, so that a main thread busy with a
// long step is told from one that stands still. A note costs a read of the clock and one atomic
// store; one made on any other thread counts for nothing.
class WorkProgress {
 public:
  using Clock = std::chrono::steady_clock;

  static void note();
  // When the main thread last noted it works; the clock's epoch when it never did.
  static Clock::time_point last() { return Clock::time_point(Clock::duration(s_last.load(std::memory_order_relaxed))); }

 private:
  static_assert(std::atomic<Clock::rep>::is_always_lock_free, "a note must never take a lock");
  static inline std::atomic<Clock::rep> s_last{0};
};

}  // namespace core
