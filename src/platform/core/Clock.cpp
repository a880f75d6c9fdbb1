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

std::mutex g_mutex;
bool g_virtual = false;
double g_offset = 0;          // added to the real clocks
double g_frozenMonotonic = 0; // in virtual mode now() is frozen here plus advances
std::atomic<Clock::Listener> g_listener{nullptr};

// Further listeners; called under their own mutex so that removal waits for a running call.
std::mutex g_listenersMutex;
std::vector<std::pair<int, std::function<void()>>> g_listeners;
int g_nextListenerId = 1;

// Published deadlines, guarded by g_mutex.
std::map<const void*, double> g_deadlines;

void notifyListeners() {
  if (auto l = g_listener.load()) l();
  std::lock_guard lock(g_listenersMutex);
  for (auto& [id, fn] : g_listeners) fn();
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
  std::lock_guard lock(g_mutex);
  return g_virtual ? g_frozenMonotonic : realMonotonic() + g_offset;
}

double Clock::wallNow() {
  std::lock_guard lock(g_mutex);
  if (g_virtual) return realWall() - realMonotonic() + g_frozenMonotonic;
  return realWall() + g_offset;
}

void Clock::setVirtual(bool enabled) {
  {
    std::lock_guard lock(g_mutex);
    if (enabled == g_virtual) return;
    if (enabled) {
      g_frozenMonotonic = realMonotonic() + g_offset;
    } else {
      g_offset = g_frozenMonotonic - realMonotonic();
    }
    g_virtual = enabled;
  }
  notifyListeners();
}

bool Clock::isVirtual() {
  std::lock_guard lock(g_mutex);
  return g_virtual;
}

void Clock::advance(double seconds) {
  if (!(seconds > 0)) return;
  {
    std::lock_guard lock(g_mutex);
    if (g_virtual) {
      g_frozenMonotonic += seconds;
    } else {
      g_offset += seconds;
    }
  }
  notifyListeners();
}

void Clock::setAdvanceListener(Listener listener) { g_listener.store(listener); }

int Clock::addAdvanceListener(std::function<void()> listener) {
  std::lock_guard lock(g_listenersMutex);
  int id = g_nextListenerId++;
  g_listeners.emplace_back(id, std::move(listener));
  return id;
}

void Clock::removeAdvanceListener(int id) {
  std::lock_guard lock(g_listenersMutex);
  std::erase_if(g_listeners, [id](const auto& entry) { return entry.first == id; });
}

void Clock::setPendingDeadline(const void* owner, double date) {
  std::lock_guard lock(g_mutex);
  if (std::isfinite(date)) {
    g_deadlines[owner] = date;
  } else {
    g_deadlines.erase(owner);
  }
}

void Clock::clearPendingDeadline(const void* owner) {
  std::lock_guard lock(g_mutex);
  g_deadlines.erase(owner);
}

double Clock::nextPendingDeadline() {
  std::lock_guard lock(g_mutex);
  double now = g_virtual ? g_frozenMonotonic : realMonotonic() + g_offset;
  double best = HUGE_VAL;
  for (const auto& [owner, date] : g_deadlines) {
    if (date > now && date < best) best = date;
  }
  return best;
}

bool Clock::advanceTo(double date) {
  {
    std::lock_guard lock(g_mutex);
    double now = g_virtual ? g_frozenMonotonic : realMonotonic() + g_offset;
    if (!(date > now) || !std::isfinite(date)) return false;
    if (g_virtual) {
      g_frozenMonotonic = date;
    } else {
      g_offset += date - now;
    }
  }
  notifyListeners();
  return true;
}

}  // namespace core
