#include "platform/core/RunLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/FdSource.h"
#include "platform/core/Queue.h"
#include "platform/core/Timer.h"
#include "support/RunUntil.h"

using core::Clock;
using core::FdSource;
using core::RunLoop;
using core::Timer;
using Result = RunLoop::RunResult;

namespace {

// A socket pair closed at the end of the test.
struct SocketPair {
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0); }
  ~SocketPair() {
    if (fds[0] >= 0) ::close(fds[0]);
    if (fds[1] >= 0) ::close(fds[1]);
  }
  int fds[2] = {-1, -1};
};

// Every test starts with an empty main loop and leaves one.
class RunLoopTest : public ::testing::Test {
 protected:
  void TearDown() override { support::drainMainLoop(); }
  RunLoop& loop() { return RunLoop::main(); }
};

TEST_F(RunLoopTest, MainLoopBelongsToTheInitialThread) {
  EXPECT_TRUE(RunLoop::isMainThread());
  EXPECT_EQ(&RunLoop::current(), &RunLoop::main());
  RunLoop* other = nullptr;
  bool otherIsMain = true;
  std::thread([&] {
    other = &RunLoop::current();
    otherIsMain = RunLoop::isMainThread();
  }).join();
  EXPECT_NE(other, &RunLoop::main());
  EXPECT_FALSE(otherIsMain);
}

TEST_F(RunLoopTest, TimersFireOnlyInTheirModes) {
  support::VirtualClock clock;
  std::vector<std::string> fired;
  auto inDefault = Timer::create(1, false, [&](Timer&) { fired.push_back("default:" + loop().currentMode()); });
  auto inOther = Timer::create(1, false, [&](Timer&) { fired.push_back("other:" + loop().currentMode()); });
  loop().addTimer(inDefault, RunLoop::DefaultMode);
  loop().addTimer(inOther, "other");

  // Once the one-shot timer has fired the default mode is empty.
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 2), Result::Finished);
  EXPECT_EQ(fired, std::vector<std::string>{"default:default"});
  EXPECT_TRUE(inOther->isValid());
  EXPECT_FALSE(inDefault->isValid());

  EXPECT_EQ(loop().runInMode("other", Clock::now() + 2), Result::Finished);
  EXPECT_EQ(fired.back(), "other:other");
}

TEST_F(RunLoopTest, CommonModeTimersFireInEveryCommonMode) {
  support::VirtualClock clock;
  // Marking a mode common lasts for the loop's life: a fresh name per run of the test.
  static int run = 0;
  const std::string tracking = "tracking-" + std::to_string(++run);
  std::vector<std::string> modes;
  auto timer = Timer::create(1, true, [&](Timer&) { modes.push_back(loop().currentMode()); });
  loop().addTimer(timer, RunLoop::CommonModes);

  loop().runInMode(RunLoop::DefaultMode, Clock::now() + 1.5);
  loop().runInMode(tracking, Clock::now() + 1);  // not common yet: nothing fires
  loop().addCommonMode(tracking);
  loop().runInMode(tracking, Clock::now() + 1);
  loop().runInMode("modal", Clock::now() + 2);  // never marked common
  timer->invalidate();
  EXPECT_EQ(modes, (std::vector<std::string>{"default", tracking}));
  EXPECT_TRUE(loop().isCommonMode(RunLoop::DefaultMode));
  EXPECT_TRUE(loop().isCommonMode(tracking));
  EXPECT_FALSE(loop().isCommonMode("modal"));
}

TEST_F(RunLoopTest, RepeatingTimerInvalidatedFromItsCallbackIsReleased) {
  support::VirtualClock clock;
  int count = 0;
  auto timer = Timer::create(0.5, true, [&](Timer& t) {
    if (++count == 3) t.invalidate();
  });
  std::weak_ptr<Timer> weak = timer;
  loop().addTimer(timer);
  timer.reset();  // the loop keeps it while scheduled
  ASSERT_FALSE(weak.expired());
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 10), Result::Finished);
  EXPECT_EQ(count, 3);
  EXPECT_TRUE(weak.expired());
}

TEST_F(RunLoopTest, LateRepeatingTimerSkipsMissedFirings) {
  support::VirtualClock clock;
  int count = 0;
  double start = Clock::now();
  auto timer = Timer::createWithFireDate(start + 1, 1, true, [&](Timer&) { ++count; });
  loop().addTimer(timer);
  Clock::advance(5.5);  // dates 1..5 all passed
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now(), true), Result::HandledSource);
  EXPECT_EQ(count, 1);
  EXPECT_DOUBLE_EQ(timer->fireDate(), start + 6);
  timer->setFireDate(Clock::now() + 100);
  support::drainMainLoop();
  EXPECT_EQ(count, 1);
  timer->fire();
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(timer->isValid());
  timer->invalidate();
  timer->fire();  // an invalid timer no longer calls back
  EXPECT_EQ(count, 2);
}

TEST_F(RunLoopTest, CancelPerformsAffectsOnlyThatTarget) {
  support::VirtualClock clock;
  auto a = std::make_shared<int>(0), b = std::make_shared<int>(0);
  std::vector<int> ran;
  loop().performAfterDelay(a, 1, [&] { ran.push_back(1); });
  loop().performAfterDelay(b, 1, [&] { ran.push_back(2); });
  loop().performAfterDelay(a, 0, [&] { ran.push_back(3); });
  loop().performAfterDelay(b, 2, [&] { ran.push_back(4); });
  loop().cancelPerforms(a);
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 5), Result::Finished);
  EXPECT_EQ(ran, (std::vector<int>{2, 4}));
}

TEST_F(RunLoopTest, PerformCancelledByAnEarlierPerformOfTheSameTurnDoesNotRun) {
  auto target = std::make_shared<int>(0), other = std::make_shared<int>(0);
  std::vector<int> ran;
  loop().performAfterDelay(other, 0, [&] {
    ran.push_back(1);
    loop().cancelPerforms(target);
  });
  loop().performAfterDelay(target, 0, [&] { ran.push_back(2); });
  support::drainMainLoop();
  EXPECT_EQ(ran, std::vector<int>{1});
}

TEST_F(RunLoopTest, PerformOfATargetDestroyedBeforeItIsDueIsDroppedUnrun) {
  struct Target {
    core::WeakPtrFactory<Target> weak{this};
  };
  auto shared = std::make_shared<int>(0);
  auto owned = std::make_unique<Target>();
  std::vector<int> ran;
  loop().performAfterDelay(shared, 0, [&] { ran.push_back(1); });
  loop().performAfterDelay(owned->weak.weakPtr(), 0, [&] { ran.push_back(2); });
  loop().performAfterDelay({}, 0, [&] { ran.push_back(3); });
  shared.reset();
  owned.reset();
  support::drainMainLoop();
  EXPECT_EQ(ran, std::vector<int>{3});
}

TEST_F(RunLoopTest, CancellingOnePartOfAnObjectKeepsItsOtherParts) {
  struct Parts {
    int whole = 0, first = 0, second = 0;
  };
  auto owner = std::make_shared<Parts>();
  std::weak_ptr<Parts> weak = owner;
  std::vector<int> ran;
  loop().performAfterDelay(core::WeakToken(weak, &owner->first), 0, [&] { ran.push_back(1); });
  loop().performAfterDelay(core::WeakToken(weak, &owner->second), 0, [&] { ran.push_back(2); });
  loop().performAfterDelay(owner, 0, [&] { ran.push_back(3); });
  loop().cancelPerforms(core::WeakToken(weak, &owner->first));
  support::drainMainLoop();
  EXPECT_EQ(ran, (std::vector<int>{2, 3}));
}

TEST_F(RunLoopTest, ZeroDelayPerformRunsOnALaterTurnNeverSynchronously) {
  support::VirtualClock clock;  // frozen time: "due now" must still wait for the next turn
  std::vector<int> ran;
  auto target = std::make_shared<int>(0);
  loop().performAfterDelay(target, 0, [&] {
    ran.push_back(1);
    loop().performAfterDelay(target, 0, [&] { ran.push_back(2); });
    EXPECT_EQ(ran.size(), 1u);
  });
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, HUGE_VAL, true), Result::HandledSource);
  EXPECT_EQ(ran, std::vector<int>{1});
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, HUGE_VAL, true), Result::HandledSource);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST_F(RunLoopTest, NestedRunInAnotherModeFiresOnlyThatModesSources) {
  support::VirtualClock clock;
  std::vector<std::string> log;
  auto target = std::make_shared<int>(0);
  auto modalTimer =
      Timer::create(1, false, [&](Timer&) { log.push_back("modal timer in " + loop().currentMode()); });
  loop().addTimer(modalTimer, "modal");
  loop().performAfterDelay(target, 0.5, [&] { log.push_back("default perform"); });
  loop().performAfterDelay(target, 0, [&] {
    log.push_back("outer in " + loop().currentMode());
    EXPECT_EQ(loop().runDepth(), 1);
    Result r = loop().runInMode("modal", Clock::now() + 10, true);
    EXPECT_EQ(r, Result::HandledSource);
    log.push_back("back in " + loop().currentMode());
  });
  EXPECT_EQ(loop().currentMode(), "");
  loop().runInMode(RunLoop::DefaultMode, Clock::now() + 5);
  EXPECT_EQ(log, (std::vector<std::string>{"outer in default", "modal timer in modal", "back in default",
                                            "default perform"}));
  EXPECT_EQ(loop().currentMode(), "");
}

TEST_F(RunLoopTest, RunResultsReportWhyTheRunEnded) {
  // Nothing in the mode at all.
  EXPECT_EQ(loop().runInMode("empty", Clock::now() + 10), Result::Finished);

  support::VirtualClock clock;
  auto far = Timer::create(1000, false, [](Timer&) {});
  loop().addTimer(far, "waiting");
  double start = Clock::now();
  EXPECT_EQ(loop().runInMode("waiting", start + 3), Result::TimedOut);
  EXPECT_DOUBLE_EQ(Clock::now(), start + 3);  // the clock skipped to untilDate, not to the timer
  EXPECT_TRUE(far->isValid());

  auto target = std::make_shared<int>(0);
  loop().performAfterDelay(target, 1, [&] { loop().stop(); }, {"waiting"});
  EXPECT_EQ(loop().runInMode("waiting", HUGE_VAL), Result::Stopped);

  loop().performAfterDelay(target, 1, [] {}, {"waiting"});
  EXPECT_EQ(loop().runInMode("waiting", HUGE_VAL, true), Result::HandledSource);
  far->invalidate();
  EXPECT_EQ(loop().runInMode("waiting", HUGE_VAL), Result::Finished);
}

TEST_F(RunLoopTest, StopFromAnotherThreadEndsRun) {
  auto keepAlive = Timer::create(3600, false, [](Timer&) {});
  loop().addTimer(keepAlive);
  std::atomic<bool> running{false};
  loop().performAfterDelay({}, 0, [&] { running = true; });
  std::thread stopper([&] {
    while (!running) std::this_thread::yield();
    RunLoop::main().stop();
  });
  loop().run();  // returns only through stop()
  stopper.join();
  EXPECT_TRUE(running);
  keepAlive->invalidate();
}

// Threads waking the loop all the time must never leave a later wake-up unheard: after a second of
// blocks posted from two threads (one through the main queue), one more wake-up from another
// thread, a stop or a main-queue block that stops, ends an otherwise idle run long before its end.
TEST_F(RunLoopTest, WakeUpsFromBusyThreadsAreNeverLost) {
  auto keepAlive = Timer::create(3600, false, [](Timer&) {});
  loop().addTimer(keepAlive);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    std::atomic<bool> posting{true};
    std::atomic<int> ran{0};
    auto poster = [&](bool mainQueue) {
      while (posting) {
        if (mainQueue) core::Queue::main()->async([&ran] { ++ran; });
        else RunLoop::main().performBlock([&ran] { ++ran; });
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
    };
    std::thread a(poster, false), b(poster, true);
    std::thread stopper([&, round] {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      posting = false;
      a.join();
      b.join();
      // Blocks may still be queued; what counts is that the last wake-up is heard.
      if (round % 2) core::Queue::main()->async([] { RunLoop::main().stop(); });
      else RunLoop::main().stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const Result result = loop().runInMode(RunLoop::DefaultMode, Clock::now() + 20);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    stopper.join();
    ASSERT_EQ(result, Result::Stopped);
    // A lost wake-up is heard only when the wait for the end date is over, and a stop asked
    // meanwhile still reads Stopped then: the run must have ended well before that date.
    ASSERT_LT(took, 10.0);
    EXPECT_GT(ran.load(), 0);
    support::drainMainLoop();
  }
  keepAlive->invalidate();
}

// A stop that comes while a callback waits in a nested run is meant for the run the program
// runs: it ends the nested run and then the enclosing one, and nothing else is handled on the
// way out. Afterwards the loop runs normally again.
TEST_F(RunLoopTest, AStopDuringANestedRunEndsTheEnclosingRunToo) {
  support::VirtualClock clock;
  auto keepAlive = Timer::create(3600, false, [](Timer&) {});
  loop().addTimer(keepAlive);
  auto target = std::make_shared<int>(0);
  Result inner = Result::Finished;
  bool laterRan = false;
  loop().performAfterDelay(target, 0, [&] {
    loop().performAfterDelay(target, 0, [&] { loop().stop(); });
    inner = loop().runInMode(RunLoop::DefaultMode, HUGE_VAL);
    loop().performAfterDelay(target, 0, [&] { laterRan = true; });
  });
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 10), Result::Stopped);
  EXPECT_EQ(inner, Result::Stopped);
  EXPECT_FALSE(laterRan);
  EXPECT_EQ(loop().runDepth(), 0);

  // The stop is over: the next run handles what is left and waits as asked.
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 1), Result::TimedOut);
  EXPECT_TRUE(laterRan);
  keepAlive->invalidate();
}

// The tests' own nested wait gives up on a stop too, instead of running the stopping loop again
// and again until its time-out.
TEST_F(RunLoopTest, RunUntilNestedInACallbackGivesUpWhenTheLoopStops) {
  support::VirtualClock clock;
  auto keepAlive = Timer::create(3600, false, [](Timer&) {});
  loop().addTimer(keepAlive);
  auto target = std::make_shared<int>(0);
  int looks = 0;
  bool held = true;
  loop().performAfterDelay(target, 0, [&] {
    loop().performAfterDelay(target, 0, [&] { loop().stop(); });
    held = support::runUntil([&] { return ++looks > 1000; }, 30);
  });
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 100), Result::Stopped);
  EXPECT_FALSE(held);
  EXPECT_LE(looks, 3);
  keepAlive->invalidate();
}

// On virtual time, a loop whose only work is a quiet socket waits on it for ever, with no date to
// skip to. The tests' wait still sees a condition another thread makes true (a frame a stand-in
// peer received) at once, not at its time-out, and still lets the clock skip to a timer.
TEST_F(RunLoopTest, RunUntilOnVirtualTimeSeesAnotherThreadsChangeWhileTheLoopWaitsOnASocket) {
  support::VirtualClock clock;
  SocketPair pair;
  auto quiet = FdSource::create(pair.fds[0], FdSource::Readable, [](unsigned) {});
  loop().addSource(quiet);
  constexpr double kTimeout = 30;

  for (int round = 0; round < 3; ++round) {
    std::atomic<bool> done{false};
    std::thread peer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(support::runUntil([&] { return done.load(); }, kTimeout)) << round;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peer.join();
    // Before the change it took the whole time-out: only then was the condition looked at again.
    EXPECT_LT(took, kTimeout / 2) << round;
  }

  bool fired = false;
  const double before = Clock::now();
  auto later = Timer::create(3600, false, [&](Timer&) { fired = true; });
  loop().addTimer(later);
  EXPECT_TRUE(support::runUntil([&] { return fired; }, kTimeout));
  EXPECT_GE(Clock::now(), before + 3600);
  quiet->invalidate();
}

// A waiter that, told Stopped, waits again before returning (a second synchronous call from the
// same callback) is not held up: the loop is still stopping, so its run returns at once.
TEST_F(RunLoopTest, ARunStartedWhileTheLoopIsStoppingReturnsAtOnce) {
  support::VirtualClock clock;
  auto keepAlive = Timer::create(3600, false, [](Timer&) {});
  loop().addTimer(keepAlive);
  auto target = std::make_shared<int>(0);
  Result first = Result::Finished, second = Result::Finished;
  loop().performAfterDelay(target, 0, [&] {
    loop().performAfterDelay(target, 0, [&] { loop().stop(); });
    first = loop().runInMode(RunLoop::DefaultMode, HUGE_VAL);
    second = loop().runInMode(RunLoop::DefaultMode, Clock::now() + 10);
  });
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now() + 100), Result::Stopped);
  EXPECT_EQ(first, Result::Stopped);
  EXPECT_EQ(second, Result::Stopped);
  keepAlive->invalidate();
}

TEST_F(RunLoopTest, BlocksFromOtherThreadsRunInOrderOnTheLoopThread) {
  std::vector<int> ran;
  std::atomic<bool> offThread{false};
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) {
      RunLoop::main().performBlock([&ran, &offThread, i] {
        if (!RunLoop::isMainThread()) offThread = true;
        ran.push_back(i);
      });
    }
  });
  poster.join();
  EXPECT_TRUE(ran.empty());  // nothing runs before the loop does
  ASSERT_TRUE(support::runUntil([&] { return ran.size() == 200; }));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(ran[i], i);
  EXPECT_FALSE(offThread);
}

TEST_F(RunLoopTest, BlocksForOneModeWaitForThatMode) {
  std::vector<std::string> ran;
  loop().performBlock([&] { ran.push_back("modal-only"); }, {"modal"});
  loop().performBlock([&] { ran.push_back("common"); });
  support::drainMainLoop();
  EXPECT_EQ(ran, std::vector<std::string>{"common"});
  loop().runInMode("modal", Clock::now(), false);
  EXPECT_EQ(ran, (std::vector<std::string>{"common", "modal-only"}));
}

TEST_F(RunLoopTest, FdSourceReportsReadinessAndFollowsInterestChanges) {
  SocketPair pair;
  std::vector<unsigned> events;
  std::shared_ptr<FdSource> source;
  source = FdSource::create(pair.fds[0], FdSource::Readable, [&](unsigned ready) {
    events.push_back(ready);
    if (ready & FdSource::Readable) {
      char buffer[16];
      while (::read(pair.fds[0], buffer, sizeof buffer) > 0) {
      }
      source->disable(FdSource::Readable);
      source->enable(FdSource::Writable);
    } else if (ready & FdSource::Writable) {
      source->setInterest(0);
    }
  });
  loop().addSource(source);
  support::drainMainLoop();
  EXPECT_TRUE(events.empty());  // nothing to read yet

  ASSERT_EQ(::write(pair.fds[1], "x", 1), 1);
  ASSERT_TRUE(support::runUntil([&] { return events.size() == 2; }));
  EXPECT_EQ(events[0], FdSource::Readable);
  EXPECT_EQ(events[1], FdSource::Writable);

  ::close(pair.fds[1]);
  pair.fds[1] = -1;
  source->enable(FdSource::Readable);
  ASSERT_TRUE(support::runUntil([&] { return events.size() == 3; }));
  EXPECT_TRUE(events[2] & FdSource::HangUp);
  source->invalidate();
  EXPECT_FALSE(source->isValid());
}

TEST_F(RunLoopTest, SourceInOtherModeOnlyFiresThere) {
  SocketPair pair;
  int calls = 0;
  auto source = FdSource::create(pair.fds[0], FdSource::Readable, [&](unsigned) {
    char c;
    while (::read(pair.fds[0], &c, 1) > 0) {
    }
    ++calls;
  });
  loop().addSource(source, "other");
  ASSERT_EQ(::write(pair.fds[1], "x", 1), 1);
  support::drainMainLoop();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(loop().runInMode("other", HUGE_VAL, true), Result::HandledSource);
  EXPECT_EQ(calls, 1);
  loop().removeSource(source, "other");
  EXPECT_EQ(loop().runInMode("other", HUGE_VAL), Result::Finished);
  EXPECT_TRUE(source->isValid());
}

// An owner of a source that removes the source when it is destroyed, as real owners do.
struct Connection {
  Connection(int fd, std::function<void()> onRead) : onRead(std::move(onRead)) {
    source = FdSource::create(fd, FdSource::Readable, [this](unsigned) {
      auto handler = this->onRead;  // the handler may destroy this Connection
      handler();
    });
    RunLoop::main().addSource(source, RunLoop::CommonModes);
  }
  ~Connection() { source->invalidate(); }
  std::function<void()> onRead;
  std::shared_ptr<FdSource> source;
};

TEST_F(RunLoopTest, SourceMayDestroyItsOwnerAndOtherSourcesFromItsCallback) {
  SocketPair a, b;
  std::unique_ptr<Connection> first, second;
  bool secondRan = false;
  first = std::make_unique<Connection>(a.fds[0], [&] {
    second.reset();  // ready in the same turn: must not be called any more
    first.reset();   // and itself, from inside its own callback
  });
  second = std::make_unique<Connection>(b.fds[0], [&] { secondRan = true; });
  std::weak_ptr<FdSource> firstSource = first->source;
  ASSERT_EQ(::write(a.fds[1], "x", 1), 1);
  ASSERT_EQ(::write(b.fds[1], "y", 1), 1);
  ASSERT_TRUE(support::runUntil([&] { return !first; }));
  EXPECT_FALSE(secondRan);
  support::drainMainLoop();
  EXPECT_TRUE(firstSource.expired());
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, Clock::now()), Result::Finished);
}

TEST_F(RunLoopTest, ReleaseLaterKeepsAnObjectUntilControlReturnsToTheLoop) {
  struct Tracker {
    explicit Tracker(std::vector<std::string>& log) : log(log) {}
    ~Tracker() { log.push_back("destroyed"); }
    std::vector<std::string>& log;
  };
  std::vector<std::string> log;
  auto holder = std::make_shared<std::shared_ptr<Tracker>>(std::make_shared<Tracker>(log));
  auto target = std::make_shared<int>(0);
  loop().performAfterDelay(target, 0, [&] {
    loop().releaseLater(*holder);
    holder->reset();  // the last reference the code holds
    log.push_back("callback done");
  });
  EXPECT_EQ(loop().runInMode(RunLoop::DefaultMode, HUGE_VAL, true), Result::HandledSource);
  EXPECT_EQ(log, std::vector<std::string>{"callback done"});
  support::drainMainLoop();
  EXPECT_EQ(log, (std::vector<std::string>{"callback done", "destroyed"}));
}

TEST_F(RunLoopTest, ReleaseLaterInsideANestedRunWaitsForTheOuterCallout) {
  std::weak_ptr<int> weak;
  auto target = std::make_shared<int>(0);
  bool aliveAfterNested = false;
  loop().performAfterDelay(target, 0, [&] {
    auto object = std::make_shared<int>(7);
    weak = object;
    loop().releaseLater(std::move(object));
    loop().performAfterDelay(target, 0, [] {}, {"inner"});
    loop().runInMode("inner", HUGE_VAL);  // turns of the inner run do not release it
    aliveAfterNested = !weak.expired();
  });
  support::drainMainLoop();
  EXPECT_TRUE(aliveAfterNested);
  EXPECT_TRUE(weak.expired());
}

TEST_F(RunLoopTest, VirtualTimeSkipsLongTimersWhileRealIoStillArrives) {
  support::VirtualClock clock;
  SocketPair pair;
  std::string received;
  auto source = FdSource::create(pair.fds[0], FdSource::Readable, [&](unsigned) {
    char buffer[64];
    ssize_t n;
    while ((n = ::read(pair.fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, n);
  });
  loop().addSource(source);
  bool fired = false;
  double start = Clock::now();
  auto hour = Timer::create(3600, false, [&](Timer&) { fired = true; });
  loop().addTimer(hour);

  std::thread writer([fd = pair.fds[1]] {
    for (const char* part : {"hello ", "from ", "a thread"}) {
      ASSERT_GT(::write(fd, part, std::strlen(part)), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // real pacing of the writer, not a test wait
    }
  });
  // A real hour would time out here: the run loop must skip the clock to the timer.
  EXPECT_TRUE(support::runUntil([&] { return fired && received == "hello from a thread"; }, 10));
  writer.join();
  EXPECT_GE(Clock::now(), start + 3600);
  source->invalidate();
}

}  // namespace
