#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/WeakPtr.h"

namespace core {

class Timer;
class FdSource;

// The event loop of a thread: timers, file-descriptor sources, delayed performs and blocks sent
// from other threads, each active in one or more modes. Only what is active in the mode being
// run fires. Everything is called on the loop's own thread, and callbacks may nest (run the
// loop again, possibly in another mode), remove themselves or destroy their owner: whatever is
// being called is kept alive for the call and checked for validity just before it.
//
// One loop per thread. The main loop belongs to the process's initial thread (the one whose
// thread id equals the process id), whichever thread first asks for it; it lives until exit.
// A loop of any other thread lives as long as that thread.
//
// Time is core::Clock. With the virtual clock, a loop that has nothing ready waits a short real
// grace period for real I/O or blocks from other threads, and if nothing arrives moves the clock
// to the earliest date anybody waits for (its own timers and performs, untilDate, and dates
// published by other waiters through Clock::setPendingDeadline).
//
// Thread use: performBlock, stop and wakeUp may be called from any thread; everything else is
// called on the loop's own thread.
class RunLoop : public std::enable_shared_from_this<RunLoop> {
 public:
  enum class RunResult { Finished, Stopped, TimedOut, HandledSource };
  using Modes = std::vector<std::string>;

  static const std::string& DefaultMode;  // "default"
  static const std::string& CommonModes;  // "common": active in every mode marked common

  static RunLoop& main();
  static RunLoop& current();
  static std::shared_ptr<RunLoop> currentShared();
  static bool isMainThread();

  // Real time a virtual-clock loop waits for I/O before skipping ahead (default 15 ms).
  static void setVirtualGracePeriod(double seconds);
  static double virtualGracePeriod();

  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Modes. The default mode is common from the start.
  void addCommonMode(const std::string& mode);
  bool isCommonMode(const std::string& mode) const;
  // The innermost mode being run, "" when the loop is not running.
  const std::string& currentMode() const;
  int runDepth() const { return static_cast<int>(m_modeStack.size()); }

  // Timers and sources; adding to a further mode keeps the earlier ones.
  void addTimer(const std::shared_ptr<Timer>& timer, const std::string& mode = DefaultMode);
  void addSource(const std::shared_ptr<FdSource>& source, const std::string& mode = DefaultMode);
  // Removes the source from one mode (CommonModes removes the common registration); the source
  // stays valid and can be added again. FdSource::invalidate removes it everywhere.
  void removeSource(const std::shared_ptr<FdSource>& source, const std::string& mode);

  // Runs fn on a later turn of this loop, after `delay` seconds (0 still means a later turn,
  // never now), in the given modes, unless its target has been destroyed by then.
  void performAfterDelay(const WeakToken& target, double delay, std::function<void()> fn,
                         const Modes& modes = {DefaultMode});
  // Drops every pending perform of that target on this loop.
  void cancelPerforms(const WeakToken& target);

  // Thread-safe: queues fn to run on this loop's thread, FIFO, and wakes the loop.
  void performBlock(std::function<void()> fn, const Modes& modes = {CommonModes});

  // Keeps the object alive until control has come back to the loop: it is released at the next
  // turn of the run (or an outer run) that was running when this was called.
  void releaseLater(std::shared_ptr<void> object);

  // Runs the loop in `mode` until untilDate (Clock::now() scale), stop(), nothing left in the
  // mode, or, with returnAfterSourceHandled, the first turn that called anything.
  RunResult runInMode(const std::string& mode, double untilDate, bool returnAfterSourceHandled = false);
  // Runs the default mode until stopped, or until nothing is left in it.
  void run();
  // Thread-safe: stops the loop. The innermost run returns Stopped, and so does every run it
  // is nested in, each as soon as control is back in it (after the callback that ran the
  // nested loop returns); nothing more is handled meanwhile. A run started before the
  // outermost one has returned (a nested wait begun again) returns Stopped at once. So a stop
  // meant for run() (a termination signal, a lost display) is not lost when it comes while a
  // callback waits in a nested run: the nested waiter must give up its wait on Stopped, not
  // run the loop again, and leave the rest to the enclosing runs. Once the outermost run has
  // returned the stop is over and the next run goes on normally. A stop while nothing runs is
  // kept for the next run, so a stop racing with the start of a run is not lost.
  //
  // A nested wait for something of one's own ends by its own condition (runInMode with
  // returnAfterSourceHandled, looped until done), never by stop().
  void stop();
  // Whether a stop has been asked and is not over yet (the loop's own thread): work that only
  // matters to a loop that goes on (a first screen being built before the loop's first turn) can
  // be left undone.
  bool isStopping() const { return stopping(); }
  // Thread-safe: ends the current wait without handling anything.
  void wakeUp();

 private:
  struct Key {};

 public:
  RunLoop(Key, bool isMain);

 private:
  friend class Timer;
  friend class FdSource;

  struct TimerSlot {
    std::shared_ptr<Timer> timer;
    Modes modes;
  };
  struct SourceSlot {
    std::shared_ptr<FdSource> source;
    Modes modes;
  };
  struct Perform {
    WeakToken target;
    std::function<void()> fn;
    Modes modes;
  };
  struct Block {
    std::function<void()> fn;
    Modes modes;
  };
  struct Deferred {
    int depth = 0;
    std::shared_ptr<void> object;
  };

  bool onOwnThread() const;
  bool isActive(const Modes& modes, const std::string& mode) const;
  bool hasWorkIn(const std::string& mode);
  // A stop has been asked and not yet taken, or the runs in progress are being stopped.
  bool stopping() const;
  void forgetTimer(const Timer* timer);
  void forgetSource(const FdSource* source);
  void releaseDeferred();
  bool runBlocks(const std::string& mode);
  bool runTimers(const std::string& mode, double now);
  bool runPerforms(const std::string& mode, double now, uint64_t seqLimit);
  bool pollSources(const std::string& mode, int timeoutMs, bool& woke);
  double nextDeadline(const std::string& mode) const;

  bool m_isMain = false;
  std::thread::id m_owner;
  int m_wakeFd = -1;
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_wakePending{false};
  // While a stop ends the runs in progress: how many enclosing runs have yet to return.
  int m_stopDepth = 0;

  std::vector<std::string> m_commonModes;
  std::vector<std::string> m_modeStack;
  std::vector<TimerSlot> m_timers;
  std::vector<SourceSlot> m_sources;
  std::map<std::pair<double, uint64_t>, Perform> m_performs;
  uint64_t m_nextPerformSeq = 1;
  std::vector<Deferred> m_deferred;

  mutable std::mutex m_blocksMutex;
  std::deque<Block> m_blocks;
};

}  // namespace core
