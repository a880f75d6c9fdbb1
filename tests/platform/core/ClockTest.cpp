#include "platform/core/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"

namespace {

// Which scenario this thread runs: the listeners below act only on their own scenario's threads,
// as other threads (run loops, the delayed-block thread) may move the clock and call them too.
thread_local int t_role = 0;

// Runs a scenario that a removal could hang in on a thread of its own. A hang fails the test after
// a generous wait instead of hanging the suite and leaves the thread behind, so the scenario keeps
// what it uses in shared state.
bool endsInTime(std::function<void()> scenario) {
  core::Semaphore done;
  std::thread thread([scenario = std::move(scenario), done]() mutable {
    scenario();
    done.signal();
  });
  if (!done.wait(60)) {
    thread.detach();
    return false;
  }
  thread.join();
  return true;
}

// Sets a flag when the listener's function, which owns it, is destroyed.
struct Owned {
  explicit Owned(std::shared_ptr<std::atomic<bool>> destroyed) : m_destroyed(std::move(destroyed)) {}
  ~Owned() { *m_destroyed = true; }
  std::shared_ptr<std::atomic<bool>> m_destroyed;
};

// What a listener removed from inside a call left behind: whether its function was destroyed
// while that call ran, or once the move of the clock it was removed in had returned, and how many
// calls it had after a further move.
struct RemovalRecord {
  std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);
  std::atomic<bool> destroyedWhileCalled{true};
  std::atomic<bool> destroyedAfterMove{false};
  std::atomic<int> callsAfterMove{0};
};

// On a thread of the role's own: a move of the clock in which the listener is removed, then a
// further one, recorded; false when the moves hung.
bool movesInTime(const std::shared_ptr<RemovalRecord>& record, int role, const std::atomic<int>* calls) {
  return endsInTime([record, role, calls] {
    t_role = role;
    core::Clock::advance(0.001);
    record->destroyedAfterMove = record->destroyed->load();
    core::Clock::advance(0.001);
    record->callsAfterMove = calls->load();
  });
}

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

// Two threads, each inside a listener, remove each other's listener. Neither removal may wait for
// the other's call; each function is destroyed by its own call when it returns, not while it runs.
TEST(ClockTest, ListenersOnTwoThreadsMayRemoveEachOther) {
  struct Side {
    core::Semaphore entered, removedOther;
    int id = 0;
    std::atomic<int> calls{0};
    std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> destroyedWhileCalled{true};
  };
  struct Shared {
    Side side[2];
  };
  auto shared = std::make_shared<Shared>();
  for (int i = 0; i < 2; ++i) {
    auto owned = std::make_shared<Owned>(shared->side[i].destroyed);
    shared->side[i].id = core::Clock::addAdvanceListener([shared, i, owned] {
      // Only what lives outside the function from here on: a wrong removal may destroy it.
      Side& self = shared->side[i];
      Side& other = shared->side[1 - i];
      ++self.calls;
      if (t_role != 10 + i) return;
      self.entered.signal();
      other.entered.wait();
      core::Clock::removeAdvanceListener(other.id);
      self.removedOther.signal();
      other.removedOther.wait();
      // Both removals have returned: this listener is removed, and this call still runs.
      self.destroyedWhileCalled = self.destroyed->load();
    });
  }
  const bool ended = endsInTime([] {
    std::thread first([] {
      t_role = 10;
      core::Clock::advance(0.001);
    });
    std::thread second([] {
      t_role = 11;
      core::Clock::advance(0.001);
    });
    first.join();
    second.join();
  });
  ASSERT_TRUE(ended) << "the removals waited for each other";
  for (Side& side : shared->side) {
    EXPECT_FALSE(side.destroyedWhileCalled);
    EXPECT_TRUE(*side.destroyed) << "the last call did not destroy the function";
  }
  const int calls[2] = {shared->side[0].calls, shared->side[1].calls};
  core::Clock::advance(0.001);
  EXPECT_EQ(shared->side[0].calls, calls[0]);
  EXPECT_EQ(shared->side[1].calls, calls[1]);
}

// A listener moves the clock, and a listener of that nested move removes the outer listener,
// whose call is further up the same stack. The outer call runs to its end, then its function is
// destroyed, and it is not called again.
TEST(ClockTest, AListenerOfANestedMoveMayRemoveTheOuterListener) {
  struct Shared : RemovalRecord {
    int outerId = 0;
    std::atomic<int> outerCalls{0};
    std::atomic<bool> nested{false}, removed{false};
  };
  auto shared = std::make_shared<Shared>();
  auto owned = std::make_shared<Owned>(shared->destroyed);
  shared->outerId = core::Clock::addAdvanceListener([shared, owned] {
    // Only what lives outside the function from here on: a wrong removal may destroy it.
    Shared& s = *shared;
    if (t_role != 20) return;
    ++s.outerCalls;
    if (s.nested.exchange(true)) return;
    core::Clock::advance(0.001);
    s.destroyedWhileCalled = s.destroyed->load();
  });
  const int inner = core::Clock::addAdvanceListener([shared] {
    if (t_role != 20 || !shared->nested || shared->removed.exchange(true)) return;
    core::Clock::removeAdvanceListener(shared->outerId);
  });
  owned.reset();
  const bool ended = movesInTime(shared, 20, &shared->outerCalls);
  ASSERT_TRUE(ended) << "the removal waited for the call on its own stack";
  core::Clock::removeAdvanceListener(inner);
  EXPECT_TRUE(shared->removed);
  EXPECT_FALSE(shared->destroyedWhileCalled);
  EXPECT_TRUE(shared->destroyedAfterMove);
  EXPECT_EQ(shared->callsAfterMove, 2);  // the outer call and the nested one, none after
}

// A listener removes itself: the removal returns, the function is destroyed once the call has
// returned, and it is not called again.
TEST(ClockTest, AListenerMayRemoveItself) {
  struct Shared : RemovalRecord {
    int id = 0;
    std::atomic<int> calls{0};
  };
  auto shared = std::make_shared<Shared>();
  auto owned = std::make_shared<Owned>(shared->destroyed);
  shared->id = core::Clock::addAdvanceListener([shared, owned] {
    // Only what lives outside the function from here on: a wrong removal may destroy it.
    Shared& s = *shared;
    if (t_role != 30) return;
    ++s.calls;
    core::Clock::removeAdvanceListener(s.id);
    s.destroyedWhileCalled = s.destroyed->load();
  });
  owned.reset();
  const bool ended = movesInTime(shared, 30, &shared->calls);
  ASSERT_TRUE(ended) << "the listener's removal of itself waited for its own call";
  EXPECT_FALSE(shared->destroyedWhileCalled);
  EXPECT_TRUE(shared->destroyedAfterMove);
  EXPECT_EQ(shared->callsAfterMove, 1);
}

// A listener on one thread removes a listener whose call runs on another; the owner then removes
// it again from outside any listener call. That removal returns only once the call has returned
// and the function is destroyed, so the owner may free what the listener uses right after.
TEST(ClockTest, ASecondRemovalFromOutsideWaitsForTheCallInProgress) {
  // Shared with the threads, which a failure leaves behind.
  struct Shared {
    core::Semaphore entered, release, removedInside, removed;
    int id = 0;
    std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> returned{false};
    std::atomic<bool> returnedBeforeRemoval{false};
    std::atomic<bool> destroyedBeforeRemoval{false};
  };
  auto shared = std::make_shared<Shared>();
  auto owned = std::make_shared<Owned>(shared->destroyed);
  shared->id = core::Clock::addAdvanceListener([shared, owned] {
    if (t_role != 50) return;
    shared->entered.signal();
    shared->release.wait();
    shared->returned = true;
  });
  owned.reset();
  const int remover = core::Clock::addAdvanceListener([shared] {
    if (t_role != 51) return;
    core::Clock::removeAdvanceListener(shared->id);
    shared->removedInside.signal();
  });
  std::thread held([] {
    t_role = 50;
    core::Clock::advance(0.001);
  });
  shared->entered.wait();
  std::thread inside([] {
    t_role = 51;
    core::Clock::advance(0.001);
  });
  shared->removedInside.wait();
  std::thread outside([shared] {
    core::Clock::removeAdvanceListener(shared->id);
    shared->returnedBeforeRemoval = shared->returned.load();
    shared->destroyedBeforeRemoval = shared->destroyed->load();
    shared->removed.signal();
  });
  // Time for a removal that does not wait to return while the call is held.
  const bool removedWhileHeld = shared->removed.wait(0.2);
  shared->release.signal();
  EXPECT_FALSE(removedWhileHeld);
  if (!removedWhileHeld && !shared->removed.wait(60)) {
    ADD_FAILURE() << "the removal never returned";
    held.detach();
    inside.detach();
    outside.detach();
    return;
  }
  EXPECT_TRUE(shared->returnedBeforeRemoval);
  EXPECT_TRUE(shared->destroyedBeforeRemoval);
  held.join();
  inside.join();
  outside.join();
  core::Clock::removeAdvanceListener(remover);
}

// A listener's exception leaves the move of the clock, and the clock counts that call as
// returned: removing the listener from another thread neither waits for it nor leaves the
// function behind.
TEST(ClockTest, AListenerThatThrowsLeavesNoCallInProgress) {
  struct Shared {
    int id = 0;
    std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> threw{false};
    std::atomic<bool> destroyedByRemoval{false};
  };
  auto shared = std::make_shared<Shared>();
  auto owned = std::make_shared<Owned>(shared->destroyed);
  shared->id = core::Clock::addAdvanceListener([owned] {
    if (t_role == 60) throw std::runtime_error("listener failed");
  });
  owned.reset();
  const bool ended = endsInTime([shared] {
    std::thread mover([shared] {
      t_role = 60;
      try {
        core::Clock::advance(0.001);
      } catch (const std::runtime_error&) {
        shared->threw = true;
      }
    });
    mover.join();
    core::Clock::removeAdvanceListener(shared->id);
    shared->destroyedByRemoval = shared->destroyed->load();
  });
  ASSERT_TRUE(ended) << "the removal waited for the call that threw";
  EXPECT_TRUE(shared->threw);
  EXPECT_TRUE(shared->destroyedByRemoval);
}

}  // namespace
