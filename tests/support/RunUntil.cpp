#include "support/RunUntil.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"

namespace support {
namespace {

// Wakes the main loop with empty blocks, so runUntil looks at its condition again:
// - on virtual time, whenever a whole look passes without the loop coming back. The loop then
//   waits only on real sources, with no date to skip to, and a condition that another thread or
//   a peer makes true (a frame the stand-in received) would go unseen until the time-out. A
//   look is longer than the loop's grace period, so the poke never keeps it from skipping ahead;
// - after the real time-out, every 20 ms until runUntil is done, so a loop waiting for ever
//   comes back to notice.
class Watchdog {
 public:
  static constexpr auto kLook = std::chrono::milliseconds(25);

  Watchdog(double seconds, bool virtualTime)
      : m_thread([this, seconds, virtualTime] {
          std::unique_lock lock(m_mutex);
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
          uint64_t seen = m_turns.load();
          while (!m_done) {
            const bool late = std::chrono::steady_clock::now() >= deadline;
            if (!late && !virtualTime) {
              if (m_cv.wait_until(lock, deadline, [this] { return m_done; })) return;
              continue;
            }
            const uint64_t turns = m_turns.load();
            if (late || turns == seen) core::RunLoop::main().performBlock([] {}, {core::RunLoop::DefaultMode});
            seen = turns;
            m_cv.wait_for(lock, late ? std::chrono::milliseconds(20) : std::chrono::milliseconds(kLook));
          }
        }) {}

  ~Watchdog() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }

  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // Called by runUntil each time the loop comes back to it.
  void noteTurn() { m_turns.fetch_add(1); }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  std::atomic<uint64_t> m_turns{0};
  std::thread m_thread;
};

}  // namespace

bool runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
  if (condition()) return true;
  auto& loop = core::RunLoop::main();
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  Watchdog watchdog(timeoutSeconds, core::Clock::isVirtual());
  while (elapsed() < timeoutSeconds) {
    // Real time: wait in slices, so conditions changed by other threads are noticed.
    // Virtual time: no end date, or the loop would skip the clock ahead to it.
    double until = core::Clock::isVirtual() ? HUGE_VAL : core::Clock::now() + 0.05;
    auto result = loop.runInMode(core::RunLoop::DefaultMode, until, true);
    watchdog.noteTurn();
    if (condition()) return true;
    // The loop is being stopped: every run returns at once until the outermost one has, so a
    // wait nested in a callback gives up here and leaves the stop to the enclosing runs.
    if (result == core::RunLoop::RunResult::Stopped) return false;
    if (result == core::RunLoop::RunResult::Finished) {
      // Nothing on the loop at all: whatever the test waits for happens on another thread.
      if (!core::Clock::isVirtual()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      // Virtual time: as a waiting loop would, give real work a grace period, then skip to
      // the next date someone else waits for (a delayed block, another thread's loop).
      std::this_thread::sleep_for(std::chrono::duration<double>(core::RunLoop::virtualGracePeriod()));
      if (condition()) return true;
      if (loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now(), true) == core::RunLoop::RunResult::HandledSource) continue;
      core::Clock::advanceTo(core::Clock::nextPendingDeadline());
    }
  }
  return condition();
}

bool runUntilClockHeld(const std::function<bool()>& condition, double timeoutSeconds) {
  if (!core::Clock::isVirtual()) return runUntil(condition, timeoutSeconds);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    drainMainLoop();
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void drainMainLoop() {
  auto& loop = core::RunLoop::main();
  double now = core::Clock::now();
  while (loop.runInMode(core::RunLoop::DefaultMode, now, true) == core::RunLoop::RunResult::HandledSource) {
  }
}

VirtualClock::VirtualClock() : m_wasVirtual(core::Clock::isVirtual()) { core::Clock::setVirtual(true); }

VirtualClock::~VirtualClock() { core::Clock::setVirtual(m_wasVirtual); }

}  // namespace support

