#include "platform/net/SessionThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

}  // namespace
