#include "platform/core/Queue.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"

namespace core {
namespace {

using Block = Queue::Block;
using SteadyClock = std::chrono::steady_clock;

// Queues whose blocks the calling thread is running now, innermost last.
thread_local std::vector<const Queue*> t_queues;

struct CurrentQueue {
  explicit CurrentQueue(const Queue* q) { t_queues.push_back(q); }
  ~CurrentQueue() { t_queues.pop_back(); }
  CurrentQueue(const CurrentQueue&) = delete;
  CurrentQueue& operator=(const CurrentQueue&) = delete;
};

std::chrono::nanoseconds toDuration(double seconds) {
  return std::chrono::nanoseconds(static_cast<int64_t>(std::min(seconds, 1e9) * 1e9));
}

// ---- the shared pool of worker threads ----------------------------------------------------

class Pool {
 public:
  static Pool& shared() {
    // Never destroyed: detached workers may still be waiting on it while the process exits.
    static Pool* pool = new Pool;
    // At exit, before the statics made earlier go (the run-loop registry, for one), work that is
    // queued or running gets a short while to finish, so no worker runs in a half torn-down
    // process; a block that waits for ever only delays the exit by that while.
    static ExitDrain drain{*pool};
    return *pool;
  }

  void submit(Queue::Priority priority, Block task) {
    std::lock_guard lock(m_mutex);
    m_tasks[static_cast<size_t>(priority)].push_back(std::move(task));
    ++m_pending;
    if (m_idle > 0) m_workAvailable.notify_one();
    // More queued work than idle threads to take it: add a thread up to the base size, beyond
    // that let the supervisor decide whether the busy threads are stuck.
    if (m_pending > static_cast<size_t>(m_idle)) {
      if (m_threads < m_base) {
        spawnLocked();
      } else {
        startSupervisorLocked();
      }
    }
  }

  int threadCount() {
    std::lock_guard lock(m_mutex);
    return m_threads;
  }

 private:
  Pool() {
    unsigned hw = std::thread::hardware_concurrency();
    m_base = std::clamp(static_cast<int>(hw), 2, 4);
  }

  void spawnLocked() {
    ++m_threads;
    std::thread([this] { work(); }).detach();
  }

  void work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      if (m_pending > 0) {
        Block task;
        for (auto& tasks : m_tasks) {
          if (!tasks.empty()) {
            task = std::move(tasks.front());
            tasks.pop_front();
            break;
          }
        }
        --m_pending;
        ++m_started;
        ++m_running;
        lock.unlock();
        task();
        task = nullptr;  // captures die outside the lock too
        lock.lock();
        if (--m_running == 0 && m_pending == 0) m_drained.notify_all();
        continue;
      }
      ++m_idle;
      bool woken = m_workAvailable.wait_for(lock, std::chrono::seconds(10), [this] { return m_pending > 0; });
      --m_idle;
      if (!woken && m_threads > m_base) {
        // Extra threads leave when they have had nothing to do for a while.
        --m_threads;
        return;
      }
    }
  }

  // Adds a thread when queued work has not moved for a while because every thread is busy
  // (typically blocked in a wait), so blocked blocks cannot starve the others for ever.
  void startSupervisorLocked() {
    if (m_supervising) return;
    m_supervising = true;
    std::thread([this] {
      std::unique_lock lock(m_mutex);
      uint64_t seen = m_started;
      for (;;) {
        m_supervisorWake.wait_for(lock, std::chrono::milliseconds(50));
        if (m_pending == 0) {
          m_supervising = false;
          return;
        }
        if (m_started == seen && m_idle == 0 && m_threads < kMaxThreads) spawnLocked();
        seen = m_started;
      }
    }).detach();
  }

  struct ExitDrain {
    Pool& pool;
    ~ExitDrain() {
      std::unique_lock lock(pool.m_mutex);
      pool.m_drained.wait_for(lock, kExitDrainTime, [this] { return pool.m_pending == 0 && pool.m_running == 0; });
    }
  };

  static constexpr int kMaxThreads = 64;
  static constexpr std::chrono::seconds kExitDrainTime{2};

  std::mutex m_mutex;
  std::condition_variable m_workAvailable;
  std::condition_variable m_drained;
  int m_running = 0;
  std::condition_variable m_supervisorWake;
  std::array<std::deque<Block>, 4> m_tasks;  // by priority, highest first
  size_t m_pending = 0;
  uint64_t m_started = 0;
  int m_threads = 0;
  int m_idle = 0;
  int m_base = 2;
  bool m_supervising = false;
};

// ---- delayed blocks -----------------------------------------------------------------------

class DelayedBlocks {
 public:
  static DelayedBlocks& shared() {
    static DelayedBlocks* delayed = new DelayedBlocks;
    return *delayed;
  }

  void add(double date, std::shared_ptr<Queue> queue, Block block) {
    // Registered outside m_mutex: the listener itself takes m_mutex.
    std::call_once(m_startOnce, [this] {
      // A move of the clock hands what fell due to its queues before the move returns, so a
      // run loop that moved virtual time never skips on past a block that is due but not yet
      // handed over (the worker thread may be slow to wake on a busy machine).
      Clock::addAdvanceListener([this] {
        postDue();
        std::lock_guard l(m_mutex);
        m_changed.notify_all();
      });
      std::thread([this] { work(); }).detach();
    });
    {
      std::lock_guard lock(m_mutex);
      m_entries.emplace(date, Entry{std::move(queue), std::move(block)});
      Clock::setPendingDeadline(this, m_entries.begin()->first);
    }
    m_changed.notify_all();
    // A block due now goes to its queue at once, behind whatever fell due before it.
    if (date <= Clock::now()) postDue();
  }

 private:
  struct Entry {
    std::shared_ptr<Queue> queue;
    Block block;
  };

  // Hands every due block to its queue, in the order of their dates. Batches are handed over
  // one at a time, so two callers cannot interleave them.
  void postDue() {
    std::lock_guard posting(m_postMutex);
    std::vector<Entry> due;
    {
      std::lock_guard lock(m_mutex);
      const double now = Clock::now();
      while (!m_entries.empty() && m_entries.begin()->first <= now) {
        due.push_back(std::move(m_entries.begin()->second));
        m_entries.erase(m_entries.begin());
      }
      if (due.empty()) return;
      if (m_entries.empty()) {
        Clock::clearPendingDeadline(this);
      } else {
        Clock::setPendingDeadline(this, m_entries.begin()->first);
      }
    }
    for (auto& e : due) e.queue->async(std::move(e.block));
  }

  void work() {
    for (;;) {
      postDue();
      std::unique_lock lock(m_mutex);
      const double now = Clock::now();
      if (!m_entries.empty() && m_entries.begin()->first <= now) continue;
      if (m_entries.empty() || Clock::isVirtual()) {
        // Virtual time only moves through Clock, whose listener hands over what fell due.
        m_changed.wait(lock);
      } else {
        m_changed.wait_for(lock, toDuration(m_entries.begin()->first - now));
      }
    }
  }

  std::mutex m_postMutex;  // taken before m_mutex
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::multimap<double, Entry> m_entries;
  std::once_flag m_startOnce;
};

}  // namespace

// ---- Queue --------------------------------------------------------------------------------

namespace {

struct Waiter {
  std::mutex mutex;
  std::condition_variable cv;
  bool go = false;
};

}  // namespace

struct Queue::Item {
  Block block;
  bool barrier = false;
  // Set for sync(): the waiting caller runs the block itself once it may start.
  Waiter* waiter = nullptr;
};

struct Queue::State {
  std::mutex mutex;
  std::deque<Item> items;
  int running = 0;
  bool barrierRunning = false;
  int width = 1;

  // Takes from the front what may start now.
  void takeStartable(std::vector<Item>& out) {
    while (!items.empty()) {
      Item& front = items.front();
      if (front.barrier) {
        if (running == 0 && !barrierRunning) {
          barrierRunning = true;
          out.push_back(std::move(front));
          items.pop_front();
        }
        return;
      }
      if (barrierRunning || running >= width) return;
      ++running;
      out.push_back(std::move(front));
      items.pop_front();
    }
  }
};

Queue::Queue(Key, Kind kind, std::string label, Priority priority)
    : m_kind(kind), m_label(std::move(label)), m_priority(priority) {
  if (kind == Kind::Serial || kind == Kind::Concurrent) {
    m_state = std::make_unique<State>();
    m_state->width = kind == Kind::Serial ? 1 : INT_MAX;
  }
}

Queue::~Queue() = default;

std::shared_ptr<Queue> Queue::main() {
  static std::shared_ptr<Queue>* queue =
      new std::shared_ptr<Queue>(std::make_shared<Queue>(Key{}, Kind::Main, "main", Priority::Default));
  return *queue;
}

std::shared_ptr<Queue> Queue::global(Priority priority) {
  static std::array<std::shared_ptr<Queue>, 4>* queues = [] {
    auto* q = new std::array<std::shared_ptr<Queue>, 4>;
    const char* names[4] = {"global.high", "global.default", "global.low", "global.background"};
    for (size_t i = 0; i < 4; ++i) (*q)[i] = std::make_shared<Queue>(Key{}, Kind::Global, names[i], static_cast<Priority>(i));
    return q;
  }();
  return (*queues)[static_cast<size_t>(priority)];
}

std::shared_ptr<Queue> Queue::createSerial(const std::string& label, Priority priority) {
  return std::make_shared<Queue>(Key{}, Kind::Serial, label, priority);
}

std::shared_ptr<Queue> Queue::createConcurrent(const std::string& label, Priority priority) {
  return std::make_shared<Queue>(Key{}, Kind::Concurrent, label, priority);
}

bool Queue::isCurrent(const Queue& queue) {
  if (queue.m_kind == Kind::Main) return RunLoop::isMainThread();
  return std::find(t_queues.begin(), t_queues.end(), &queue) != t_queues.end();
}

int Queue::poolThreadCount() { return Pool::shared().threadCount(); }

void Queue::async(Block block) { submit(std::move(block), false); }
void Queue::barrierAsync(Block block) { submit(std::move(block), true); }
void Queue::sync(const Block& block) { runSync(block, false); }
void Queue::barrierSync(const Block& block) { runSync(block, true); }

void Queue::after(double delaySeconds, Block block) {
  DelayedBlocks::shared().add(Clock::now() + std::max(delaySeconds, 0.0), shared_from_this(), std::move(block));
}

void Queue::submit(Block block, bool barrier) {
  switch (m_kind) {
    case Kind::Main:
      RunLoop::main().performBlock(std::move(block), {RunLoop::CommonModes});
      return;
    case Kind::Global:
      Pool::shared().submit(m_priority, [self = shared_from_this(), block = std::move(block)] {
        CurrentQueue current(self.get());
        block();
      });
      return;
    case Kind::Serial:
    case Kind::Concurrent: {
      std::vector<Item> start;
      {
        std::lock_guard lock(m_state->mutex);
        m_state->items.push_back(Item{std::move(block), barrier && m_kind == Kind::Concurrent, nullptr});
        m_state->takeStartable(start);
      }
      startItems(start);
      return;
    }
  }
}

void Queue::startItems(std::vector<Item>& items) {
  for (auto& item : items) {
    if (item.waiter) {
      std::lock_guard lock(item.waiter->mutex);
      item.waiter->go = true;
      item.waiter->cv.notify_one();
      continue;
    }
    Pool::shared().submit(m_priority, [self = shared_from_this(), block = std::move(item.block), barrier = item.barrier] {
      {
        CurrentQueue current(self.get());
        block();
      }
      self->itemDone(barrier);
    });
  }
}

void Queue::itemDone(bool barrier) {
  std::vector<Item> start;
  {
    std::lock_guard lock(m_state->mutex);
    if (barrier) {
      m_state->barrierRunning = false;
    } else {
      --m_state->running;
    }
    m_state->takeStartable(start);
  }
  startItems(start);
}

void Queue::runSync(const Block& block, bool barrier) {
  switch (m_kind) {
    case Kind::Main: {
      if (RunLoop::isMainThread()) {
        KT_LOG("sync onto the main queue from the main thread can never run: aborting");
        std::abort();
      }
      Waiter done;
      RunLoop::main().performBlock(
          [&] {
            block();
            std::lock_guard lock(done.mutex);
            done.go = true;
            done.cv.notify_one();
          },
          {RunLoop::CommonModes});
      std::unique_lock lock(done.mutex);
      done.cv.wait(lock, [&] { return done.go; });
      return;
    }
    case Kind::Global: {
      CurrentQueue current(this);
      block();
      return;
    }
    case Kind::Serial:
    case Kind::Concurrent: {
      if (m_kind == Kind::Serial && isCurrent()) {
        KT_LOG("sync onto serial queue '%s' from that queue can never run: aborting", m_label.c_str());
        std::abort();
      }
      Waiter waiter;
      std::vector<Item> start;
      {
        std::lock_guard lock(m_state->mutex);
        m_state->items.push_back(Item{nullptr, barrier && m_kind == Kind::Concurrent, &waiter});
        m_state->takeStartable(start);
      }
      startItems(start);
      {
        std::unique_lock lock(waiter.mutex);
        waiter.cv.wait(lock, [&] { return waiter.go; });
      }
      {
        CurrentQueue current(this);
        block();
      }
      itemDone(barrier && m_kind == Kind::Concurrent);
      return;
    }
  }
}

// ---- Group --------------------------------------------------------------------------------

struct Group::State {
  std::mutex mutex;
  std::condition_variable empty;
  long count = 0;
  std::vector<std::pair<std::shared_ptr<Queue>, Block>> notifies;
};

Group::Group() : m_state(std::make_shared<State>()) {}

void Group::enter() {
  std::lock_guard lock(m_state->mutex);
  ++m_state->count;
}

void Group::leave() {
  std::vector<std::pair<std::shared_ptr<Queue>, Block>> notifies;
  {
    std::lock_guard lock(m_state->mutex);
    if (m_state->count <= 0) {
      KT_LOG("leave() without a matching enter(): ignored");
      return;
    }
    if (--m_state->count > 0) return;
    notifies.swap(m_state->notifies);
    m_state->empty.notify_all();
  }
  for (auto& [queue, block] : notifies) queue->async(std::move(block));
}

void Group::async(const std::shared_ptr<Queue>& queue, Queue::Block block) {
  enter();
  queue->async([group = *this, block = std::move(block)]() mutable {
    block();
    group.leave();
  });
}

void Group::notify(const std::shared_ptr<Queue>& queue, Queue::Block block) {
  {
    std::lock_guard lock(m_state->mutex);
    if (m_state->count > 0) {
      m_state->notifies.emplace_back(queue, std::move(block));
      return;
    }
  }
  queue->async(std::move(block));
}

bool Group::wait(double timeoutSeconds) {
  std::unique_lock lock(m_state->mutex);
  auto isEmpty = [this] { return m_state->count == 0; };
  if (timeoutSeconds < 0) {
    m_state->empty.wait(lock, isEmpty);
    return true;
  }
  return m_state->empty.wait_for(lock, toDuration(timeoutSeconds), isEmpty);
}

// ---- Semaphore ----------------------------------------------------------------------------

struct Semaphore::State {
  std::mutex mutex;
  std::condition_variable positive;
  long count = 0;
};

Semaphore::Semaphore(long count) : m_state(std::make_shared<State>()) { m_state->count = count; }

void Semaphore::signal() {
  std::lock_guard lock(m_state->mutex);
  ++m_state->count;
  m_state->positive.notify_one();
}

bool Semaphore::wait(double timeoutSeconds) {
  std::unique_lock lock(m_state->mutex);
  auto positive = [this] { return m_state->count > 0; };
  if (timeoutSeconds < 0) {
    m_state->positive.wait(lock, positive);
  } else if (!m_state->positive.wait_for(lock, toDuration(timeoutSeconds), positive)) {
    return false;
  }
  --m_state->count;
  return true;
}

}  // namespace core
