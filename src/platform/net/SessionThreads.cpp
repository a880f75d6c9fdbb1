#include "platform/net/SessionThreads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace net::SessionThreads {

namespace {

// How long the exit waits for a thread that does not leave (one blocked waiting for its
// delegate, say).
constexpr auto kExitWait = std::chrono::seconds(3);

struct Registry {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<int, std::function<void()>> wakes;  // by registration
  int nextId = 1;
  int lettingGo = 0;  // invalidated sessions that still hold something
  std::atomic<bool> exiting{false};
};

// Never destroyed: used by the exit handler and by threads that end during exit.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

// Registrations held by the calling thread: an exit that starts on a session thread does not
// wait for that thread itself.
thread_local int t_held = 0;

void atExit() {
  Registry& r = registry();
  std::unique_lock lock(r.mutex);
  r.exiting = true;
  // Woken outside the registry's lock: a wake takes its session's lock, and a session takes the
  // registry's lock under its own as it is invalidated.
  std::vector<std::function<void()>> wakes;
  for (const auto& [id, wake] : r.wakes) wakes.push_back(wake);
  lock.unlock();
  for (const auto& wake : wakes) wake();
  wakes.clear();
  lock.lock();
  // One bound for both: the threads, then the invalidated sessions' last events on their queues
  // (not when the exit began on a session thread, whose own session cannot let go meanwhile).
  const auto deadline = std::chrono::steady_clock::now() + kExitWait;
  r.changed.wait_until(lock, deadline, [&] { return r.wakes.size() <= static_cast<std::size_t>(t_held); });
  if (t_held == 0) r.changed.wait_until(lock, deadline, [&] { return r.lettingGo == 0; });
}

}  // namespace

void waitForThemAtExit() {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(atExit); });
}

bool exiting() { return registry().exiting.load(); }

bool runCommands(std::deque<std::function<void()>>& commands) {
  for (auto& command : commands) {
    if (exiting()) return false;
    command();
  }
  return !exiting();
}

Registration::Registration(std::function<void()> wake) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  m_id = r.nextId++;
  r.wakes.emplace(m_id, std::move(wake));
  ++t_held;
}

Registration::~Registration() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.wakes.erase(m_id);
  --t_held;
  r.changed.notify_all();
}

LettingGo::LettingGo() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  ++r.lettingGo;
}

LettingGo::~LettingGo() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  --r.lettingGo;
  r.changed.notify_all();
}

int lettingGo() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.lettingGo;
}

bool waitUntilLetGo(std::chrono::milliseconds bound) {
  Registry& r = registry();
  std::unique_lock lock(r.mutex);
  return r.changed.wait_for(lock, bound, [&] { return r.lettingGo == 0; });
}

}  // namespace net::SessionThreads
