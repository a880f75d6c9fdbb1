#include "platform/core/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/FdSource.h"
#include "platform/core/Log.h"
#include "platform/core/Timer.h"

namespace core {

// The mode names are never destroyed: loops on other threads read them while the process exits.
const std::string& RunLoop::DefaultMode = *new std::string("default");
const std::string& RunLoop::CommonModes = *new std::string("common");

namespace {

std::atomic<double> g_gracePeriod{0.015};

// Every live loop, so that a change of the clock wakes them all to look at their timers again.
std::mutex g_loopsMutex;
// Never destroyed: loops of other threads come and go, and the clock wakes them, while the process
// exits.
std::vector<RunLoop*>& liveLoops() {
  static auto* loops = new std::vector<RunLoop*>;
  return *loops;
}
std::once_flag g_listenerOnce;

void registerLoop(RunLoop* loop) {
  std::call_once(g_listenerOnce, [] {
    Clock::addAdvanceListener([] {
      std::lock_guard lock(g_loopsMutex);
      for (RunLoop* l : liveLoops()) l->wakeUp();
    });
  });
  std::lock_guard lock(g_loopsMutex);
  liveLoops().push_back(loop);
}

void unregisterLoop(RunLoop* loop) {
  std::lock_guard lock(g_loopsMutex);
  std::erase(liveLoops(), loop);
}

int millisecondsUntil(double date, double now) {
  if (!std::isfinite(date)) return -1;
  double ms = std::ceil((date - now) * 1000.0);
  if (ms <= 0) return 0;
  if (ms > 1e9) return 1000000000;
  return static_cast<int>(ms);
}

thread_local std::shared_ptr<RunLoop> t_loop;

}  // namespace

RunLoop::RunLoop(Key, bool isMain) : m_isMain(isMain), m_owner(std::this_thread::get_id()) {
  m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (m_wakeFd < 0) KT_LOG("eventfd failed: the loop cannot be woken from other threads");
  m_commonModes.push_back(DefaultMode);
  registerLoop(this);
}

RunLoop::~RunLoop() {
  unregisterLoop(this);
  Clock::clearPendingDeadline(this);
  if (m_wakeFd >= 0) ::close(m_wakeFd);
}

RunLoop& RunLoop::main() {
  // Never destroyed: other threads may still hop to the main loop while the process exits.
  static std::shared_ptr<RunLoop>* loop = new std::shared_ptr<RunLoop>(std::make_shared<RunLoop>(Key{}, true));
  return **loop;
}

std::shared_ptr<RunLoop> RunLoop::currentShared() {
  if (isMainThread()) return main().shared_from_this();
  if (!t_loop) t_loop = std::make_shared<RunLoop>(Key{}, false);
  return t_loop;
}

RunLoop& RunLoop::current() {
  if (isMainThread()) return main();
  return *currentShared();
}

bool RunLoop::isMainThread() {
  // The answer never changes for a thread: ask the kernel once.
  thread_local const bool isMain = ::syscall(SYS_gettid) == ::getpid();
  return isMain;
}

void RunLoop::setVirtualGracePeriod(double seconds) { g_gracePeriod.store(seconds > 0 ? seconds : 0); }
double RunLoop::virtualGracePeriod() { return g_gracePeriod.load(); }

bool RunLoop::onOwnThread() const {
  return m_isMain ? isMainThread() : std::this_thread::get_id() == m_owner;
}

void RunLoop::addCommonMode(const std::string& mode) {
  if (mode == CommonModes || isCommonMode(mode)) return;
  m_commonModes.push_back(mode);
}

bool RunLoop::isCommonMode(const std::string& mode) const {
  return std::find(m_commonModes.begin(), m_commonModes.end(), mode) != m_commonModes.end();
}

const std::string& RunLoop::currentMode() const {
  static const std::string* none = new std::string;  // never destroyed, as the mode names
  return m_modeStack.empty() ? *none : m_modeStack.back();
}

bool RunLoop::isActive(const Modes& modes, const std::string& mode) const {
  for (const auto& m : modes) {
    if (m == mode) return true;
    if (m == CommonModes && isCommonMode(mode)) return true;
  }
  return false;
}

// ---- registration -------------------------------------------------------------------------

void RunLoop::addTimer(const std::shared_ptr<Timer>& timer, const std::string& mode) {
  if (!timer || !timer->isValid()) return;
  auto owner = timer->m_loop.lock();
  if (owner && owner.get() != this) {
    KT_LOG("a timer belongs to one run loop; ignored");
    return;
  }
  timer->m_loop = weak_from_this();
  for (auto& slot : m_timers) {
    if (slot.timer == timer) {
      if (std::find(slot.modes.begin(), slot.modes.end(), mode) == slot.modes.end()) slot.modes.push_back(mode);
      return;
    }
  }
  m_timers.push_back({timer, {mode}});
  if (!onOwnThread()) wakeUp();
}

void RunLoop::forgetTimer(const Timer* timer) {
  std::erase_if(m_timers, [timer](const TimerSlot& s) { return s.timer.get() == timer; });
}

void RunLoop::addSource(const std::shared_ptr<FdSource>& source, const std::string& mode) {
  if (!source || !source->isValid()) return;
  for (auto& slot : m_sources) {
    if (slot.source == source) {
      if (std::find(slot.modes.begin(), slot.modes.end(), mode) == slot.modes.end()) slot.modes.push_back(mode);
      return;
    }
  }
  m_sources.push_back({source, {mode}});
  source->m_loops.push_back(weak_from_this());
}

void RunLoop::removeSource(const std::shared_ptr<FdSource>& source, const std::string& mode) {
  for (auto it = m_sources.begin(); it != m_sources.end(); ++it) {
    if (it->source != source) continue;
    std::erase(it->modes, mode);
    if (it->modes.empty()) {
      // Released at the next turn, in case this runs inside the source's own callback and
      // the loop held the last reference.
      releaseLater(std::move(it->source));
      m_sources.erase(it);
      std::erase_if(source->m_loops, [this](const std::weak_ptr<RunLoop>& w) {
        auto l = w.lock();
        return !l || l.get() == this;
      });
    }
    return;
  }
}

void RunLoop::forgetSource(const FdSource* source) {
  std::erase_if(m_sources, [source](const SourceSlot& s) { return s.source.get() == source; });
}

void RunLoop::performAfterDelay(const WeakToken& target, double delay, std::function<void()> fn, const Modes& modes) {
  if (!onOwnThread()) {
    performBlock([self = shared_from_this(), target, delay, fn = std::move(fn), modes]() mutable {
      self->performAfterDelay(target, delay, std::move(fn), modes);
    });
    return;
  }
  double date = Clock::now() + (delay > 0 ? delay : 0);
  m_performs.emplace(std::make_pair(date, m_nextPerformSeq++), Perform{target, std::move(fn), modes});
}

void RunLoop::cancelPerforms(const WeakToken& target) {
  if (!onOwnThread()) {
    performBlock([self = shared_from_this(), target] { self->cancelPerforms(target); });
    return;
  }
  // The functions are destroyed after the map is consistent again: their captures may do anything.
  std::vector<std::function<void()>> dropped;
  for (auto it = m_performs.begin(); it != m_performs.end();) {
    if (it->second.target == target) {
      dropped.push_back(std::move(it->second.fn));
      it = m_performs.erase(it);
    } else {
      ++it;
    }
  }
}

void RunLoop::performBlock(std::function<void()> fn, const Modes& modes) {
  {
    std::lock_guard lock(m_blocksMutex);
    m_blocks.push_back({std::move(fn), modes});
  }
  wakeUp();
}

void RunLoop::releaseLater(std::shared_ptr<void> object) {
  if (!object) return;
  int depth = m_modeStack.empty() ? INT_MAX : static_cast<int>(m_modeStack.size());
  m_deferred.push_back({depth, std::move(object)});
}

void RunLoop::stop() {
  m_stopRequested.store(true);
  wakeUp();
}

bool RunLoop::stopping() const { return m_stopDepth > 0 || m_stopRequested.load(); }

void RunLoop::wakeUp() {
  if (m_wakeFd < 0) return;
  // One write until the loop has consumed it: the loop looks at everything after waking.
  if (m_wakePending.exchange(true)) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

// ---- one turn -----------------------------------------------------------------------------

void RunLoop::releaseDeferred() {
  if (m_deferred.empty()) return;
  int depth = static_cast<int>(m_modeStack.size());
  std::vector<std::shared_ptr<void>> released;
  for (auto it = m_deferred.begin(); it != m_deferred.end();) {
    if (it->depth >= depth) {
      released.push_back(std::move(it->object));
      it = m_deferred.erase(it);
    } else {
      ++it;
    }
  }
  // Destructors run here, with the loop's lists consistent; they may defer further objects.
  released.clear();
}

bool RunLoop::hasWorkIn(const std::string& mode) {
  // Drop what was invalidated from another thread; the loop thread releases it.
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (!it->timer->isValid()) {
      it->timer->m_callback.reset();
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& s : m_timers)
    if (isActive(s.modes, mode)) return true;
  for (const auto& s : m_sources)
    if (s.source->isValid() && isActive(s.modes, mode)) return true;
  for (const auto& [key, p] : m_performs)
    if (isActive(p.modes, mode)) return true;
  std::lock_guard lock(m_blocksMutex);
  for (const auto& b : m_blocks)
    if (isActive(b.modes, mode)) return true;
  return false;
}

bool RunLoop::runBlocks(const std::string& mode) {
  size_t count = 0;
  {
    std::lock_guard lock(m_blocksMutex);
    for (const auto& b : m_blocks)
      if (isActive(b.modes, mode)) ++count;
  }
  bool handled = false;
  // One at a time: a block that runs the loop again lets the nested run take the next ones in
  // order, so FIFO holds across nesting.
  for (size_t i = 0; i < count; ++i) {
    std::function<void()> fn;
    {
      std::lock_guard lock(m_blocksMutex);
      auto it = std::find_if(m_blocks.begin(), m_blocks.end(), [&](const Block& b) { return isActive(b.modes, mode); });
      if (it == m_blocks.end()) break;
      fn = std::move(it->fn);
      m_blocks.erase(it);
    }
    if (fn) fn();
    handled = true;
    if (stopping()) break;
  }
  return handled;
}

bool RunLoop::runTimers(const std::string& mode, double now) {
  std::vector<std::shared_ptr<Timer>> due;
  for (const auto& s : m_timers) {
    if (s.timer->isValid() && s.timer->fireDate() <= now && isActive(s.modes, mode)) due.push_back(s.timer);
  }
  if (due.empty()) return false;
  std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a->fireDate() < b->fireDate(); });
  bool handled = false;
  for (const auto& timer : due) {
    if (!timer->isValid() || timer->fireDate() > now) continue;
    auto slot = std::find_if(m_timers.begin(), m_timers.end(), [&](const TimerSlot& s) { return s.timer == timer; });
    if (slot == m_timers.end() || !isActive(slot->modes, mode)) continue;
    timer->fireFromLoop(now);
    handled = true;
    if (stopping()) break;
  }
  return handled;
}

bool RunLoop::runPerforms(const std::string& mode, double now, uint64_t seqLimit) {
  std::vector<std::pair<double, uint64_t>> due;
  for (const auto& [key, p] : m_performs) {
    if (key.first > now) break;
    if (key.second < seqLimit && isActive(p.modes, mode)) due.push_back(key);
  }
  bool handled = false;
  for (const auto& key : due) {
    // Looked up again: an earlier perform may have cancelled this one.
    auto it = m_performs.find(key);
    if (it == m_performs.end()) continue;
    std::function<void()> fn = std::move(it->second.fn);
    const bool targetGone = it->second.target.expired();
    m_performs.erase(it);
    // A perform outlives nothing: the object it was for has gone, so it is dropped unrun.
    if (targetGone) continue;
    if (fn) fn();
    handled = true;
    if (stopping()) break;
  }
  return handled;
}

double RunLoop::nextDeadline(const std::string& mode) const {
  double best = HUGE_VAL;
  for (const auto& s : m_timers) {
    if (s.timer->isValid() && isActive(s.modes, mode)) best = std::min(best, s.timer->fireDate());
  }
  for (const auto& [key, p] : m_performs) {
    if (key.first >= best) break;
    if (isActive(p.modes, mode)) {
      best = key.first;
      break;
    }
  }
  return best;
}

bool RunLoop::pollSources(const std::string& mode, int timeoutMs, bool& woke) {
  std::vector<pollfd> fds;
  std::vector<std::shared_ptr<FdSource>> sources;
  fds.push_back({m_wakeFd, POLLIN, 0});
  for (const auto& s : m_sources) {
    const auto& src = s.source;
    if (!src->isValid() || !(src->interest() & (FdSource::Readable | FdSource::Writable))) continue;
    if (!isActive(s.modes, mode)) continue;
    short events = 0;
    if (src->interest() & FdSource::Readable) events |= POLLIN;
    if (src->interest() & FdSource::Writable) events |= POLLOUT;
    fds.push_back({src->fd(), events, 0});
    sources.push_back(src);
  }
  int n = ::poll(fds.data(), fds.size(), timeoutMs);
  woke = n != 0;  // also an interrupted wait: look again before skipping time
  if (n <= 0) return false;
  if (fds[0].revents) {
    // Read first, then clear: a wakeUp() in between finds the flag still set and skips its
    // write, which is fine, since the loop looks at everything after this turn. Cleared first,
    // that wakeUp's write would be read away here while the flag it set stayed set, and every
    // later wakeUp would skip its write for good.
    uint64_t value;
    while (::read(m_wakeFd, &value, sizeof value) > 0) {
    }
    m_wakePending.store(false);
  }
  bool handled = false;
  for (size_t i = 1; i < fds.size(); ++i) {
    short rev = fds[i].revents;
    if (!rev) continue;
    const auto& src = sources[i - 1];
    // Checked again just before the call: an earlier callback may have removed or changed it.
    if (!src->isValid()) continue;
    auto slot = std::find_if(m_sources.begin(), m_sources.end(), [&](const SourceSlot& s) { return s.source == src; });
    if (slot == m_sources.end() || !isActive(slot->modes, mode)) continue;
    unsigned interest = src->interest();
    unsigned ready = 0;
    if ((rev & POLLIN) && (interest & FdSource::Readable)) ready |= FdSource::Readable;
    if ((rev & POLLOUT) && (interest & FdSource::Writable)) ready |= FdSource::Writable;
    if (rev & (POLLERR | POLLNVAL)) ready |= FdSource::Error;
    if (rev & POLLHUP) ready |= FdSource::HangUp;
    if (!ready || !(interest & (FdSource::Readable | FdSource::Writable))) continue;
    auto callback = src->m_callback;
    if (!callback) continue;
    (*callback)(ready);
    handled = true;
    if (stopping()) break;
  }
  return handled;
}

RunLoop::RunResult RunLoop::runInMode(const std::string& mode, double untilDate, bool returnAfterSourceHandled) {
  if (!onOwnThread()) {
    KT_LOG("a run loop runs only on its own thread");
    return RunResult::Finished;
  }
  m_modeStack.push_back(mode);
  RunResult result = RunResult::Finished;
  for (;;) {
    releaseDeferred();
    // A stop asked while the loop is already stopping is part of that stop.
    const bool asked = m_stopRequested.exchange(false);
    if (asked || m_stopDepth > 0) {
      // The runs this one is nested in stop as well, each when control is back in it.
      m_stopDepth = static_cast<int>(m_modeStack.size()) - 1;
      result = RunResult::Stopped;
      break;
    }
    if (!hasWorkIn(mode)) {
      result = RunResult::Finished;
      break;
    }
    double now = Clock::now();
    uint64_t seqLimit = m_nextPerformSeq;
    bool handled = runBlocks(mode);
    if (!stopping()) handled |= runTimers(mode, now);
    if (!stopping()) handled |= runPerforms(mode, now, seqLimit);
    if (stopping()) continue;

    bool pendingBlocks = false;
    {
      std::lock_guard lock(m_blocksMutex);
      for (const auto& b : m_blocks) {
        if (isActive(b.modes, mode)) {
          pendingBlocks = true;
          break;
        }
      }
    }
    const bool wait = !handled && !pendingBlocks;
    const bool virtualTime = Clock::isVirtual();
    double skipTo = HUGE_VAL;
    int timeoutMs = 0;
    if (wait) {
      now = Clock::now();
      double own = std::min(nextDeadline(mode), untilDate);
      if (own <= now) {
        timeoutMs = 0;
      } else if (virtualTime) {
        Clock::setPendingDeadline(this, own);
        skipTo = std::min(own, Clock::nextPendingDeadline());
        timeoutMs = static_cast<int>(std::ceil(g_gracePeriod.load() * 1000.0));
      } else {
        timeoutMs = millisecondsUntil(own, now);
      }
    }
    bool woke = false;
    handled |= pollSources(mode, timeoutMs, woke);
    if (!woke && wait && virtualTime && timeoutMs > 0 && std::isfinite(skipTo)) {
      // Nothing real arrived during the grace period: skip to the next date anybody waits for.
      Clock::advanceTo(skipTo);
    }
    if (stopping()) continue;
    if (handled && returnAfterSourceHandled) {
      result = RunResult::HandledSource;
      break;
    }
    if (Clock::now() >= untilDate) {
      result = RunResult::TimedOut;
      break;
    }
  }
  m_modeStack.pop_back();
  if (m_modeStack.empty()) Clock::clearPendingDeadline(this);
  return result;
}

void RunLoop::run() {
  for (;;) {
    RunResult r = runInMode(DefaultMode, HUGE_VAL);
    if (r == RunResult::Stopped || r == RunResult::Finished) return;
  }
}

}  // namespace core
