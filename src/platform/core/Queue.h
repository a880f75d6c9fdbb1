#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace core {

// Dispatch queues.
//
// - Queue::main(): blocks run on the main thread, from the main run loop in its common modes,
//   in FIFO order, never synchronously from async().
// - Queue::global(priority): concurrent queues over one shared pool of worker threads. The pool
//   keeps a few threads; when every thread is busy and queued work makes no progress for a short
//   while (a block is blocked waiting), it adds a thread, up to a fixed cap.
// - createSerial / createConcurrent: private queues on that pool. A serial queue runs one block
//   at a time in FIFO order. On a concurrent queue, barrier blocks run alone: after everything
//   submitted before them, and before anything submitted after them starts.
//
// sync() runs the block on the calling thread once the queue lets it run, and returns after it.
// sync() onto a serial queue (or the main queue) from code already running on it can never
// proceed: it is a programming error, logged and aborted rather than hanging silently.
//
// after() waits on core::Clock: with the virtual clock a delayed block runs when the clock
// passes its date, and the date is published so that a run loop skipping ahead stops there.
class Queue : public std::enable_shared_from_this<Queue> {
 public:
  enum class Priority { High, Default, Low, Background };
  using Block = std::function<void()>;

  static std::shared_ptr<Queue> main();
  static std::shared_ptr<Queue> global(Priority priority = Priority::Default);
  static std::shared_ptr<Queue> createSerial(const std::string& label, Priority priority = Priority::Default);
  static std::shared_ptr<Queue> createConcurrent(const std::string& label, Priority priority = Priority::Default);

  // Whether the calling code runs on `queue` (inside one of its blocks, or inside sync() onto it;
  // for the main queue: on the main thread).
  static bool isCurrent(const Queue& queue);
  bool isCurrent() const { return isCurrent(*this); }

  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  void async(Block block);
  void sync(const Block& block);
  // On a global queue (or the main or a serial queue) these behave as async/sync.
  void barrierAsync(Block block);
  void barrierSync(const Block& block);
  void after(double delaySeconds, Block block);

  const std::string& label() const { return m_label; }
  bool isMain() const { return m_kind == Kind::Main; }
  bool isSerial() const { return m_kind == Kind::Serial || m_kind == Kind::Main; }

  // Number of threads the shared pool has now (for tests and diagnostics).
  static int poolThreadCount();

 private:
  enum class Kind { Main, Global, Serial, Concurrent };
  struct Key {};
  struct Item;
  struct State;

 public:
  Queue(Key, Kind kind, std::string label, Priority priority);

 private:
  void submit(Block block, bool barrier);
  void runSync(const Block& block, bool barrier);
  void startItems(std::vector<Item>& items);
  void itemDone(bool barrier);

  Kind m_kind = Kind::Global;
  std::string m_label;
  Priority m_priority = Priority::Default;
  std::unique_ptr<State> m_state;  // private queues only
};

// Counts work in flight: notify() blocks run once the count is back to zero.
// Copies share the same group.
class Group {
 public:
  Group();

  void enter();
  void leave();
  // enter(), then leave() after the block has run on the queue.
  void async(const std::shared_ptr<Queue>& queue, Queue::Block block);
  // Runs the block on the queue when nothing is in the group (right away if nothing is now).
  void notify(const std::shared_ptr<Queue>& queue, Queue::Block block);
  // Blocks the calling thread until the group is empty; a negative time-out waits for ever.
  // Real time. Returns whether the group became empty.
  bool wait(double timeoutSeconds = -1);

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// A counting semaphore. Copies share the same count.
class Semaphore {
 public:
  explicit Semaphore(long count = 0);

  void signal();
  // Waits for the count to be positive and takes one; a negative time-out waits for ever.
  // Real time. Returns false on time-out.
  bool wait(double timeoutSeconds = -1);

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// Runs fn exactly once per flag, whatever the number of threads calling.
using OnceFlag = std::once_flag;
template <typename Fn>
void once(OnceFlag& flag, Fn&& fn) {
  std::call_once(flag, std::forward<Fn>(fn));
}

}  // namespace core
