#include "platform/core/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

// Detached threads (the delayed-block thread, pool workers) keep reading the clock and
// publishing deadlines while the process runs its exit handlers; the clock's state must still
// be there for them. The sanitizer builds report the use of freed state and fail the child.
TEST(ClockDeathTest, ThreadsMayKeepUsingTheClockWhileTheProcessExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static std::atomic<bool> running{false};
        std::thread([] {
          static int marker;
          int listener = core::Clock::addAdvanceListener([] {});
          for (;;) {
            core::Clock::setPendingDeadline(&marker, core::Clock::now() + 1);
            core::Clock::nextPendingDeadline();
            core::Clock::clearPendingDeadline(&marker);
            core::Clock::advance(0.001);
            core::Clock::removeAdvanceListener(listener);
            listener = core::Clock::addAdvanceListener([] {});
            running = true;
          }
        }).detach();
        while (!running) std::this_thread::yield();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
