#include "platform/core/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"

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

// Moving the virtual clock hands the due delayed blocks to their queues, and handing one to the
// main queue builds the main run loop, which adds a clock listener of its own: that must not wait
// for the move that is calling the listeners. A child process, so that the main loop does not
// exist yet; a hang ends the child after a bounded wait instead of hanging the test.
TEST(ClockDeathTest, MovingTheClockMayBuildTheMainLoopThatListensToIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        core::Semaphore moved;
        std::thread([moved]() mutable {
          if (!moved.wait(60)) std::_Exit(2);
        }).detach();
        core::Clock::setVirtual(true);
        bool ran = false;
        core::Queue::main()->after(0.5, [&] { ran = true; });
        core::Clock::advance(1);
        // Handed over before advance() returned: one turn of the main loop runs it.
        core::RunLoop::main().runInMode(core::RunLoop::DefaultMode, core::Clock::now(), true);
        moved.signal();
        std::exit(ran ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

// Removing a listener while another thread is calling it returns only after that call has
// returned, so whatever the listener uses may be freed right after the removal.
TEST(ClockTest, RemovalWaitsForTheCallInProgress) {
  // Shared with the threads, which a failure leaves behind.
  struct Shared {
    core::Semaphore entered, release, removed;
    std::atomic<bool> first{true};
    std::atomic<bool> returned{false};
    std::atomic<bool> returnedBeforeRemoval{false};
  };
  auto shared = std::make_shared<Shared>();
  int listener = core::Clock::addAdvanceListener([shared] {
    if (!shared->first.exchange(false)) return;
    shared->entered.signal();
    shared->release.wait();
    shared->returned = true;
  });
  std::thread mover([] { core::Clock::advance(0.001); });
  shared->entered.wait();
  std::thread remover([shared, listener] {
    core::Clock::removeAdvanceListener(listener);
    shared->returnedBeforeRemoval = shared->returned.load();
    shared->removed.signal();
  });
  // Time for a removal that does not wait to return while the call is held.
  const bool removedWhileHeld = shared->removed.wait(0.2);
  shared->release.signal();
  EXPECT_FALSE(removedWhileHeld);
  if (!removedWhileHeld && !shared->removed.wait(60)) {
    ADD_FAILURE() << "the removal never returned";
    mover.detach();
    remover.detach();
    return;
  }
  EXPECT_TRUE(shared->returnedBeforeRemoval);
  mover.join();
  remover.join();
}

}  // namespace
