// A deadline counted in the time the program ran: a wake-up later than expected by more than the
// allowance moves it by the excess alone, from the start on and at every turn; a late one within
// the allowance, or none, leaves it.
#include "platform/display/RunningTimeDeadline.h"

#include <gtest/gtest.h>

namespace {

using display::RunningTimeDeadline;
using Clock = RunningTimeDeadline::Clock;
using namespace std::chrono_literals;

TEST(RunningTimeDeadlineTest, OnlyLatenessBeyondTheAllowanceMovesTheDeadline) {
  const Clock::time_point start{100s};
  RunningTimeDeadline d(10s, start);
  EXPECT_EQ(d.deadline(), start + 10s);
  // A pause before the first wait counts as one.
  d.wokeAt(start + 4s);
  EXPECT_EQ(d.deadline(), start + 13s);
  // On time, and late within the allowance: unchanged.
  d.expectBackAt(start + 4s + 100ms);
  d.wokeAt(start + 4s + 100ms);
  d.expectBackAt(start + 5s);
  d.wokeAt(start + 5s + RunningTimeDeadline::PauseAllowance);
  EXPECT_EQ(d.deadline(), start + 13s);
  EXPECT_FALSE(d.passedAt(start + 13s - 1ms));
  EXPECT_TRUE(d.passedAt(start + 13s));
}

// A machine that wakes the waiter a little over the allowance late at every turn still reaches
// the limit: each turn moves it by the excess only, not by the whole lateness.
TEST(RunningTimeDeadlineTest, ATurnLateAtEveryWaitMovesItByTheExcessAlone) {
  const Clock::time_point start{0s};
  RunningTimeDeadline d(5s, start);
  Clock::time_point now = start;
  int turns = 0;
  while (!d.passedAt(now) && turns < 1000) {
    d.expectBackAt(now + 100ms);
    now += 100ms + RunningTimeDeadline::PauseAllowance + 10ms;
    d.wokeAt(now);
    ++turns;
  }
  EXPECT_TRUE(d.passedAt(now));
  EXPECT_EQ(d.deadline(), start + 5s + turns * 10ms);
  EXPECT_LT(turns, 10);
}

}  // namespace
