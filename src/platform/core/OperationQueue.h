#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace core {

class OperationQueue;

// A unit of work for an OperationQueue (or started by hand with start()).
//
// An operation is ready when every dependency has finished (cancelled or not); a cancelled
// operation is ready at once and, if it has not started, finishes without running main().
// An asynchronous operation (isAsynchronous() true) stays executing after main() returns,
// until it calls finish(). The completion block runs once, on the thread that finished the
// operation, after isFinished() became true and before waitUntilFinished() returns.
class Operation : public std::enable_shared_from_this<Operation> {
 public:
  enum class QueuePriority { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };

  Operation() = default;
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // The work. The default does nothing.
  virtual void main() {}
  virtual bool isAsynchronous() const { return false; }

  // Runs the operation on the calling thread (queues call this for you).
  void start();
  // Ends an asynchronous operation; a synchronous one is finished by start() itself.
  void finish();
  void cancel();

  bool isCancelled() const;
  bool isExecuting() const;
  bool isFinished() const;
  bool isReady() const;

  void addDependency(const std::shared_ptr<Operation>& operation);
  void removeDependency(const std::shared_ptr<Operation>& operation);
  std::vector<std::shared_ptr<Operation>> dependencies() const;

  QueuePriority queuePriority() const;
  void setQueuePriority(QueuePriority priority);

  void setCompletionBlock(std::function<void()> block);

  // Blocks the calling thread until the operation has finished and its completion block ran.
  void waitUntilFinished();

 private:
  friend class OperationQueue;

  void dependencyChanged();

  mutable std::mutex m_mutex;
  std::condition_variable m_doneChanged;
  bool m_cancelled = false;
  bool m_executing = false;
  bool m_finished = false;
  bool m_done = false;  // finished and the completion block has run
  QueuePriority m_priority = QueuePriority::Normal;
  std::function<void()> m_completion;
  std::vector<std::shared_ptr<Operation>> m_dependencies;
  std::vector<std::weak_ptr<Operation>> m_dependents;
  std::weak_ptr<OperationQueue> m_queue;
  bool m_dispatched = false;  // guarded by the queue's mutex
};

// Runs one or more blocks, in the order they were added.
class BlockOperation : public Operation {
 public:
  static std::shared_ptr<BlockOperation> create(std::function<void()> block);

  void addExecutionBlock(std::function<void()> block);
  void main() override;

 private:
  std::mutex m_blocksMutex;
  std::vector<std::function<void()>> m_blocks;
};

// Runs operations on the global dispatch queue (or, for mainQueue(), on the main thread through
// the main queue), at most maxConcurrentOperationCount at a time. Among ready operations the
// highest priority starts first, in the order they were added within a priority.
//
// A queue is shared_ptr-held; operations that have started keep it alive until they finish.
class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
 public:
  static constexpr int DefaultMaxConcurrentOperationCount = 4;

  static std::shared_ptr<OperationQueue> create(const std::string& name = {});
  static std::shared_ptr<OperationQueue> mainQueue();
  // The queue running the calling code; the main queue on the main thread; else null.
  static std::shared_ptr<OperationQueue> currentQueue();

  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  // An operation belongs to at most one queue and runs once: adding one that is already queued,
  // executing or finished is logged and ignored.
  void addOperation(const std::shared_ptr<Operation>& operation);
  std::shared_ptr<BlockOperation> addOperationWithBlock(std::function<void()> block);
  void addOperations(const std::vector<std::shared_ptr<Operation>>& operations, bool waitUntilFinished);

  int maxConcurrentOperationCount() const;
  void setMaxConcurrentOperationCount(int count);
  bool isSuspended() const;
  // While suspended no operation starts; running ones go on to finish.
  void setSuspended(bool suspended);

  void cancelAllOperations();
  // Blocks until every operation added so far has finished. Not on the main thread for the
  // main queue: its operations need the main loop to run.
  void waitUntilAllOperationsAreFinished();

  size_t operationCount() const;
  std::vector<std::shared_ptr<Operation>> operations() const;

  const std::string& name() const { return m_name; }
  void setName(const std::string& name) { m_name = name; }

 private:
  struct Key {};

 public:
  OperationQueue(Key, std::string name, bool isMain);

 private:
  friend class Operation;

  void startReady();
  void operationFinished(const Operation* operation);

  std::string m_name;
  bool m_isMain = false;
  mutable std::mutex m_mutex;
  std::condition_variable m_emptied;
  std::vector<std::shared_ptr<Operation>> m_operations;  // not finished, in the order added
  int m_running = 0;
  int m_maxConcurrent = DefaultMaxConcurrentOperationCount;
  bool m_suspended = false;
};

}  // namespace core
