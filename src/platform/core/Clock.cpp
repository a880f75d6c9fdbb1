#include "platform/core/Clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace core {
namespace {

struct ListenerEntry {
  int id = 0;
  std::function<void()> fn;
  // Guarded by State::listenersMutex from here on.
  bool removed = false;    // no call starts any more
  int calls = 0;           // calls in progress, on any thread
  int waiters = 0;         // removals from outside waiting for those calls to return
  bool claimed = false;    // a thread has taken fn to destroy it
  bool destroyed = false;  // fn is gone
};

struct State {
  std::mutex mutex;
  bool virtualMode = false;
  double offset = 0;           // added to the real clocks
  double frozenMonotonic = 0;  // in virtual mode now() is frozen here plus advances
  double wallShift = 0;        // in virtual mode, added to wallNow() by setWallNow()
  // Published deadlines, guarded by mutex.
  std::map<const void*, double> deadlines;

  // Further listeners. The mutex guards only the list and the entries' flags: listeners are
  // called outside it, since a listener may post to a queue, which may build a run loop, which
  // adds a listener of its own. Removal waits on callDone for the calls in progress.
  std::mutex listenersMutex;
  std::condition_variable callDone;
  std::vector<std::shared_ptr<ListenerEntry>> listeners;
  // Removed, function not destroyed yet (calls still in progress, or being destroyed): a removal
  // from outside still finds them by id and waits, also when the entry was removed before.
  std::vector<std::shared_ptr<ListenerEntry>> retired;
  int nextListenerId = 1;
};

// Never destroyed: detached threads (the delayed-block thread, pool workers, run loops of other
// threads) read the clock and publish deadlines until the process is gone.
State& state() {
  static State* s = new State;
  return *s;
}

std::atomic<Clock::Listener> g_listener{nullptr};

// Further-listener calls in progress on this thread (more than one when a listener moves the clock).
thread_local int t_listenerCalls = 0;

// Destroys a removed entry's function outside the lock (its captures may remove listeners of their
// own), then lets the removals waiting for it return.
void destroyFunction(State& st, const std::shared_ptr<ListenerEntry>& entry, std::unique_lock<std::mutex>& lock) {
  entry->claimed = true;
  std::function<void()> fn;
  fn.swap(entry->fn);
  lock.unlock();
  fn = nullptr;
  lock.lock();
  entry->destroyed = true;
  std::erase(st.retired, entry);
  st.callDone.notify_all();
}

// One call of a listener, counted from before it starts until it ends, by a return or by an
// exception that passes on: the counts stay right whatever the listener does.
class ListenerCall {
 public:
  ListenerCall(State& st, std::shared_ptr<ListenerEntry> entry) : m_st(st), m_entry(std::move(entry)) {
    ++t_listenerCalls;
  }
  ListenerCall(const ListenerCall&) = delete;
  ListenerCall& operator=(const ListenerCall&) = delete;
  ~ListenerCall() {
    --t_listenerCalls;
    std::unique_lock lock(m_st.listenersMutex);
    if (--m_entry->calls > 0 || !m_entry->removed) return;
    // The last call of a removed listener: a removal waiting from outside destroys the function
    // on its own thread; with none waiting (removed from inside a call) this call does.
    if (m_entry->waiters > 0) {
      m_st.callDone.notify_all();
    } else if (!m_entry->claimed) {
      destroyFunction(m_st, m_entry, lock);
    }
  }

 private:
  State& m_st;
  std::shared_ptr<ListenerEntry> m_entry;
};

void notifyListeners() {
  if (auto l = g_listener.load()) l();
  State& st = state();
  std::vector<std::shared_ptr<ListenerEntry>> snapshot;
  {
    std::lock_guard lock(st.listenersMutex);
    snapshot = st.listeners;
  }
  for (const auto& entry : snapshot) {
    {
      // Counted before the call, so a removal from here on waits for it; one removed since the
      // snapshot is not called at all.
      std::lock_guard lock(st.listenersMutex);
      if (entry->removed) continue;
      ++entry->calls;
    }
    ListenerCall call(st, entry);
    entry->fn();
  }
}

double realMonotonic() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double realWall() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

double Clock::now() {
  State& st = state();
  std::lock_guard lock(st.mutex);
  return st.virtualMode ? st.frozenMonotonic : realMonotonic() + st.offset;
}

double Clock::wallNow() {
  State& st = state();
  std::lock_guard lock(st.mutex);
  if (st.virtualMode) return realWall() - realMonotonic() + st.frozenMonotonic + st.wallShift;
  return realWall() + st.offset;
}

void Clock::setWallNow(double secondsSince1970) {
  State& st = state();
  std::lock_guard lock(st.mutex);
  if (!st.virtualMode || !std::isfinite(secondsSince1970)) return;
  st.wallShift = secondsSince1970 - (realWall() - realMonotonic() + st.frozenMonotonic);
}

void Clock::setVirtual(bool enabled) {
  {
    State& st = state();
    std::lock_guard lock(st.mutex);
    if (enabled == st.virtualMode) return;
    if (enabled) {
      st.frozenMonotonic = realMonotonic() + st.offset;
    } else {
      st.offset = st.frozenMonotonic - realMonotonic();
      st.wallShift = 0;
    }
    st.virtualMode = enabled;
  }
  notifyListeners();
}

bool Clock::isVirtual() {
  State& st = state();
  std::lock_guard lock(st.mutex);
  return st.virtualMode;
}

void Clock::advance(double seconds) {
  if (!(seconds > 0)) return;
  {
    State& st = state();
    std::lock_guard lock(st.mutex);
    if (st.virtualMode) {
      st.frozenMonotonic += seconds;
    } else {
      st.offset += seconds;
    }
  }
  notifyListeners();
}

void Clock::setAdvanceListener(Listener listener) { g_listener.store(listener); }

int Clock::addAdvanceListener(std::function<void()> listener) {
  auto entry = std::make_shared<ListenerEntry>();
  entry->fn = std::move(listener);
  State& st = state();
  std::lock_guard lock(st.listenersMutex);
  const int id = entry->id = st.nextListenerId++;
  st.listeners.push_back(std::move(entry));
  return id;
}

void Clock::removeAdvanceListener(int id) {
  State& st = state();
  std::unique_lock lock(st.listenersMutex);
  auto hasId = [id](const auto& e) { return e->id == id; };
  std::shared_ptr<ListenerEntry> entry;
  if (auto it = std::find_if(st.listeners.begin(), st.listeners.end(), hasId); it != st.listeners.end()) {
    entry = std::move(*it);
    st.listeners.erase(it);
    entry->removed = true;
    st.retired.push_back(entry);
  } else if (auto r = std::find_if(st.retired.begin(), st.retired.end(), hasId); r != st.retired.end()) {
    entry = *r;  // removed before, and a call or the destruction of the function is still going on
  } else {
    return;
  }
  if (t_listenerCalls > 0) {
    // Inside a listener call, waiting could hang: a call in progress may be further up this
    // thread's stack (the listener itself, or one that moved the clock), or on a thread whose
    // listener is removing this thread's in turn. The last call to return destroys the function,
    // or a removal from outside that waits for it.
    if (entry->calls == 0 && entry->waiters == 0 && !entry->claimed) destroyFunction(st, entry, lock);
    return;
  }
  // From outside: whatever the listener uses may be freed once this returns, so wait for every
  // call in progress, also when an earlier removal (from inside a call) did not.
  ++entry->waiters;
  st.callDone.wait(lock, [&] { return entry->calls == 0; });
  --entry->waiters;
  if (!entry->claimed) {
    // A snapshot taken earlier may still hold the entry: the function (and its captures) is
    // destroyed here, not later by whichever thread drops the snapshot.
    destroyFunction(st, entry, lock);
  } else {
    st.callDone.wait(lock, [&] { return entry->destroyed; });
  }
}

void Clock::setPendingDeadline(const void* owner, double date) {
  State& st = state();
  std::lock_guard lock(st.mutex);
  if (std::isfinite(date)) {
    st.deadlines[owner] = date;
  } else {
    st.deadlines.erase(owner);
  }
}

void Clock::clearPendingDeadline(const void* owner) {
  State& st = state();
  std::lock_guard lock(st.mutex);
  st.deadlines.erase(owner);
}

double Clock::nextPendingDeadline() {
  State& st = state();
  std::lock_guard lock(st.mutex);
  double now = st.virtualMode ? st.frozenMonotonic : realMonotonic() + st.offset;
  double best = HUGE_VAL;
  for (const auto& [owner, date] : st.deadlines) {
    if (date > now && date < best) best = date;
  }
  return best;
}

bool Clock::advanceTo(double date) {
  {
    State& st = state();
    std::lock_guard lock(st.mutex);
    double now = st.virtualMode ? st.frozenMonotonic : realMonotonic() + st.offset;
    if (!(date > now) || !std::isfinite(date)) return false;
    if (st.virtualMode) {
      st.frozenMonotonic = date;
    } else {
      st.offset += date - now;
    }
  }
  notifyListeners();
  return true;
}

}  // namespace core
