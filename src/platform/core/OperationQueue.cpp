#include "platform/core/OperationQueue.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"

namespace core {
namespace {

thread_local OperationQueue* t_currentQueue = nullptr;

struct CurrentOperationQueue {
  explicit CurrentOperationQueue(OperationQueue* q) : m_saved(t_currentQueue) { t_currentQueue = q; }
  ~CurrentOperationQueue() { t_currentQueue = m_saved; }
  CurrentOperationQueue(const CurrentOperationQueue&) = delete;
  CurrentOperationQueue& operator=(const CurrentOperationQueue&) = delete;
  OperationQueue* m_saved = nullptr;
};

}  // namespace

// ---- Operation ----------------------------------------------------------------------------

void Operation::start() {
  bool cancelled = false;
  {
    std::lock_guard lock(m_mutex);
    if (m_finished || m_executing) return;
    cancelled = m_cancelled;
    m_executing = !cancelled;
  }
  auto keep = weak_from_this().lock();  // null when not shared-held
  if (!cancelled) {
    main();
    if (isAsynchronous()) return;
  }
  finish();
}

void Operation::finish() {
  std::function<void()> completion;
  {
    std::lock_guard lock(m_mutex);
    if (m_finished) return;
    m_executing = false;
    m_finished = true;
    completion = std::move(m_completion);
    m_completion = nullptr;
  }
  auto keep = weak_from_this().lock();  // null when not shared-held
  if (completion) completion();
  std::vector<std::weak_ptr<Operation>> dependents;
  std::shared_ptr<OperationQueue> queue;
  {
    std::lock_guard lock(m_mutex);
    m_done = true;
    m_doneChanged.notify_all();
    dependents = m_dependents;
    queue = m_queue.lock();
  }
  if (queue) queue->operationFinished(this);
  for (const auto& w : dependents) {
    if (auto dependent = w.lock()) dependent->dependencyChanged();
  }
}

void Operation::dependencyChanged() {
  std::shared_ptr<OperationQueue> queue;
  {
    std::lock_guard lock(m_mutex);
    queue = m_queue.lock();
  }
  if (queue) queue->startReady();
}

void Operation::cancel() {
  {
    std::lock_guard lock(m_mutex);
    if (m_finished || m_cancelled) return;
    m_cancelled = true;
  }
  // A cancelled operation is ready: its queue can retire it now.
  dependencyChanged();
}

bool Operation::isCancelled() const {
  std::lock_guard lock(m_mutex);
  return m_cancelled;
}

bool Operation::isExecuting() const {
  std::lock_guard lock(m_mutex);
  return m_executing;
}

bool Operation::isFinished() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

bool Operation::isReady() const {
  std::vector<std::shared_ptr<Operation>> dependencies;
  {
    std::lock_guard lock(m_mutex);
    if (m_cancelled) return true;
    dependencies = m_dependencies;
  }
  return std::all_of(dependencies.begin(), dependencies.end(), [](const auto& d) { return d->isFinished(); });
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
  if (!operation || operation.get() == this) return;
  {
    std::lock_guard lock(m_mutex);
    if (std::find(m_dependencies.begin(), m_dependencies.end(), operation) != m_dependencies.end()) return;
    m_dependencies.push_back(operation);
  }
  std::lock_guard lock(operation->m_mutex);
  operation->m_dependents.push_back(weak_from_this());
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
  if (!operation) return;
  {
    std::lock_guard lock(m_mutex);
    std::erase(m_dependencies, operation);
  }
  {
    std::lock_guard lock(operation->m_mutex);
    std::erase_if(operation->m_dependents, [this](const std::weak_ptr<Operation>& w) {
      auto d = w.lock();
      return !d || d.get() == this;
    });
  }
  dependencyChanged();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
  std::lock_guard lock(m_mutex);
  return m_dependencies;
}

Operation::QueuePriority Operation::queuePriority() const {
  std::lock_guard lock(m_mutex);
  return m_priority;
}

void Operation::setQueuePriority(QueuePriority priority) {
  std::lock_guard lock(m_mutex);
  m_priority = priority;
}

void Operation::setCompletionBlock(std::function<void()> block) {
  std::lock_guard lock(m_mutex);
  m_completion = std::move(block);
}

void Operation::waitUntilFinished() {
  std::unique_lock lock(m_mutex);
  m_doneChanged.wait(lock, [this] { return m_done; });
}

// ---- BlockOperation -----------------------------------------------------------------------

std::shared_ptr<BlockOperation> BlockOperation::create(std::function<void()> block) {
  auto operation = std::make_shared<BlockOperation>();
  operation->addExecutionBlock(std::move(block));
  return operation;
}

void BlockOperation::addExecutionBlock(std::function<void()> block) {
  if (isExecuting() || isFinished()) {
    KT_LOG("execution block added to an operation that has started: ignored");
    return;
  }
  std::lock_guard lock(m_blocksMutex);
  m_blocks.push_back(std::move(block));
}

void BlockOperation::main() {
  std::vector<std::function<void()>> blocks;
  {
    std::lock_guard lock(m_blocksMutex);
    blocks.swap(m_blocks);
  }
  for (auto& block : blocks) {
    if (block) block();
  }
}

// ---- OperationQueue -----------------------------------------------------------------------

OperationQueue::OperationQueue(Key, std::string name, bool isMain) : m_name(std::move(name)), m_isMain(isMain) {
  if (isMain) m_maxConcurrent = 1;
}

OperationQueue::~OperationQueue() = default;

std::shared_ptr<OperationQueue> OperationQueue::create(const std::string& name) {
  return std::make_shared<OperationQueue>(Key{}, name, false);
}

std::shared_ptr<OperationQueue> OperationQueue::mainQueue() {
  static std::shared_ptr<OperationQueue>* queue =
      new std::shared_ptr<OperationQueue>(std::make_shared<OperationQueue>(Key{}, "main", true));
  return *queue;
}

std::shared_ptr<OperationQueue> OperationQueue::currentQueue() {
  if (t_currentQueue) return t_currentQueue->shared_from_this();
  if (RunLoop::isMainThread()) return mainQueue();
  return nullptr;
}

void OperationQueue::addOperation(const std::shared_ptr<Operation>& operation) {
  if (!operation) return;
  {
    std::lock_guard opLock(operation->m_mutex);
    if (!operation->m_queue.expired() || operation->m_executing || operation->m_finished) {
      KT_LOG("operation already queued, running or finished: ignored");
      return;
    }
    operation->m_queue = weak_from_this();
  }
  {
    std::lock_guard lock(m_mutex);
    m_operations.push_back(operation);
  }
  startReady();
}

std::shared_ptr<BlockOperation> OperationQueue::addOperationWithBlock(std::function<void()> block) {
  auto operation = BlockOperation::create(std::move(block));
  addOperation(operation);
  return operation;
}

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& operations, bool waitUntilFinished) {
  for (const auto& op : operations) addOperation(op);
  if (waitUntilFinished) {
    for (const auto& op : operations) {
      if (op) op->waitUntilFinished();
    }
  }
}

void OperationQueue::startReady() {
  std::vector<std::shared_ptr<Operation>> starting;
  {
    std::lock_guard lock(m_mutex);
    while (!m_suspended && m_running < m_maxConcurrent) {
      std::shared_ptr<Operation> best;
      for (const auto& op : m_operations) {
        if (op->m_dispatched || !op->isReady()) continue;
        // Strictly higher wins, so the earliest added stays first within a priority.
        if (!best || static_cast<int>(op->queuePriority()) > static_cast<int>(best->queuePriority())) best = op;
      }
      if (!best) break;
      best->m_dispatched = true;
      ++m_running;
      starting.push_back(std::move(best));
    }
  }
  auto target = m_isMain ? Queue::main() : Queue::global(Queue::Priority::Default);
  for (auto& op : starting) {
    target->async([self = shared_from_this(), op = std::move(op)] {
      CurrentOperationQueue current(self.get());
      op->start();
    });
  }
}

void OperationQueue::operationFinished(const Operation* operation) {
  {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_operations.begin(), m_operations.end(), [&](const auto& op) { return op.get() == operation; });
    if (it == m_operations.end()) return;
    if ((*it)->m_dispatched) --m_running;
    m_operations.erase(it);
    if (m_operations.empty()) m_emptied.notify_all();
  }
  startReady();
}

int OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(m_mutex);
  return m_maxConcurrent;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  {
    std::lock_guard lock(m_mutex);
    m_maxConcurrent = count > 0 ? count : DefaultMaxConcurrentOperationCount;
  }
  startReady();
}

bool OperationQueue::isSuspended() const {
  std::lock_guard lock(m_mutex);
  return m_suspended;
}

void OperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard lock(m_mutex);
    m_suspended = suspended;
  }
  if (!suspended) startReady();
}

void OperationQueue::cancelAllOperations() {
  for (const auto& op : operations()) op->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock lock(m_mutex);
  m_emptied.wait(lock, [this] { return m_operations.empty(); });
}

size_t OperationQueue::operationCount() const {
  std::lock_guard lock(m_mutex);
  return m_operations.size();
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
  std::lock_guard lock(m_mutex);
  return m_operations;
}

}  // namespace core
