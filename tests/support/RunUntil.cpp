#include "support/RunUntil.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"

namespace support {
namespace {

// After the real time-out, pokes the main loop with empty blocks until runUntil is done, so a
// loop waiting for ever (virtual time with nothing scheduled) comes back to notice.
class Watchdog {
 public:
  explicit Watchdog(double seconds)
      : m_thread([this, seconds] {
          std::unique_lock lock(m_mutex);
          auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
          if (m_cv.wait_until(lock, deadline, [this] { return m_done; })) return;
          while (!m_done) {
            core::RunLoop::main().performBlock([] {}, {core::RunLoop::DefaultMode});
            m_cv.wait_for(lock, std::chrono::milliseconds(20));
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

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  std::thread m_thread;
};

}  // namespace

bool runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
  if (condition()) return true;
  auto& loop = core::RunLoop::main();
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  Watchdog watchdog(timeoutSeconds);
  while (elapsed() < timeoutSeconds) {
    // Real time: wait in slices, so conditions changed by other threads are noticed.
    // Virtual time: no end date, or the loop would skip the clock ahead to it.
    double until = core::Clock::isVirtual() ? HUGE_VAL : core::Clock::now() + 0.05;
    auto result = loop.runInMode(core::RunLoop::DefaultMode, until, true);
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

