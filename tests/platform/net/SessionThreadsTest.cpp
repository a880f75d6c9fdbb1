#include "platform/net/SessionThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The exit wakes a registered thread and waits until its registration ends: the line the
// thread writes after its wake-up, a while later, still comes out before the process is gone.
TEST(SessionThreadsDeathTest, ExitWakesARegisteredThreadAndWaitsForIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        net::SessionThreads::waitForThemAtExit();
        static std::atomic<bool> registered{false};
        static std::atomic<bool> woken{false};
        std::thread([] {
          {
            net::SessionThreads::Registration registration([] { woken = true; });
            registered = true;
            while (!woken) std::this_thread::sleep_for(1ms);
            if (!net::SessionThreads::exiting()) std::fputs("woken before the exit\n", stderr);
            std::this_thread::sleep_for(300ms);
            std::fputs("left after the wake-up\n", stderr);
          }
          for (;;) std::this_thread::sleep_for(1s);
        }).detach();
        while (!registered) std::this_thread::sleep_for(1ms);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^left after the wake-up\n$");
}

// A thread whose registration has ended is not waited for.
TEST(SessionThreadsDeathTest, ExitDoesNotWaitForEndedRegistrations) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        net::SessionThreads::waitForThemAtExit();
        { net::SessionThreads::Registration ended([] { std::fputs("woken\n", stderr); }); }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
}

// A command queued before the exit began is not run once it has begun: the one ahead of it
// returns only after the exit has started, and the one behind it would write a line.
TEST(SessionThreadsDeathTest, NoQueuedCommandRunsOnceTheExitHasBegun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        net::SessionThreads::waitForThemAtExit();
        static std::atomic<bool> started{false};
        std::thread([] {
          {
            net::SessionThreads::Registration registration([] {});
            std::deque<std::function<void()>> commands;
            commands.push_back([] {
              started = true;
              while (!net::SessionThreads::exiting()) std::this_thread::sleep_for(1ms);
            });
            commands.push_back([] { std::fputs("ran after the exit began\n", stderr); });
            if (net::SessionThreads::runCommands(commands)) std::fputs("not told of the exit\n", stderr);
          }
          for (;;) std::this_thread::sleep_for(1s);
        }).detach();
        while (!started) std::this_thread::sleep_for(1ms);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
}

// The wait for invalidated sessions ends with the last one's release, or at its bound while one
// still holds on (a stuck session fails a test rather than hanging it).
TEST(SessionThreadsTest, TheWaitForSessionsToLetGoEndsWithTheLastReleaseOrAtItsBound) {
  auto first = std::make_shared<net::SessionThreads::LettingGo>();
  auto second = std::make_shared<net::SessionThreads::LettingGo>();
  EXPECT_EQ(net::SessionThreads::lettingGo(), 2);
  EXPECT_FALSE(net::SessionThreads::waitUntilLetGo(50ms));
  first.reset();
  EXPECT_FALSE(net::SessionThreads::waitUntilLetGo(50ms));
  std::thread releaser([&] { second.reset(); });
  EXPECT_TRUE(net::SessionThreads::waitUntilLetGo(60s));
  releaser.join();
  EXPECT_EQ(net::SessionThreads::lettingGo(), 0);
}

// A session that never lets go does not hold the exit past its bound.
TEST(SessionThreadsDeathTest, ASessionThatNeverLetsGoHoldsTheExitOnlyForItsBound) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        net::SessionThreads::waitForThemAtExit();
        static auto* never = new net::SessionThreads::LettingGo;  // never released
        (void)never;
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
