#include "platform/core/Clock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace core {
namespace {

struct State {
  std::mutex mutex;
  bool virtualMode = false;
  double offset = 0;           // added to the real clocks
  double frozenMonotonic = 0;  // in virtual mode now() is frozen here plus advances
  double wallShift = 0;        // in virtual mode, added to wallNow() by setWallNow()
  // Published deadlines, guarded by mutex.
  std::map<const void*, double> deadlines;

  // Further listeners; called under their own mutex so that removal waits for a running call.
  std::mutex listenersMutex;
  std::vector<std::pair<int, std::function<void()>>> listeners;
  int nextListenerId = 1;
};

// Never destroyed: detached threads (the delayed-block thread, pool workers, run loops of other
// threads) read the clock and publish deadlines until the process is gone.
State& state() {
  static State* s = new State;
  return *s;
}

std::atomic<Clock::Listener> g_listener{nullptr};

void notifyListeners() {
  if (auto l = g_listener.load()) l();
  State& st = state();
  std::lock_guard lock(st.listenersMutex);
  for (auto& [id, fn] : st.listeners) fn();
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
  State& st = state();
  std::lock_guard lock(st.listenersMutex);
  int id = st.nextListenerId++;
  st.listeners.emplace_back(id, std::move(listener));
  return id;
}

void Clock::removeAdvanceListener(int id) {
  State& st = state();
  std::lock_guard lock(st.listenersMutex);
  std::erase_if(st.listeners, [id](const auto& entry) { return entry.first == id; });
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
