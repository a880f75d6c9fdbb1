#include "platform/core/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "support/RunUntil.h"

using core::BlockOperation;
using core::Operation;
using core::OperationQueue;
using Priority = core::Operation::QueuePriority;

namespace {

// Records the order in which operations run, from any thread.
struct Recorder {
  void add(int value) {
    std::lock_guard lock(mutex);
    order.push_back(value);
  }
  std::vector<int> get() {
    std::lock_guard lock(mutex);
    return order;
  }
  std::mutex mutex;
  std::vector<int> order;
};

std::shared_ptr<BlockOperation> recording(Recorder& recorder, int value, Priority priority = Priority::Normal) {
  auto op = BlockOperation::create([&recorder, value] { recorder.add(value); });
  op->setQueuePriority(priority);
  return op;
}

TEST(OperationQueueTest, HigherPriorityStartsFirstAndFifoWithinAPriority) {
  auto queue = OperationQueue::create("priorities");
  EXPECT_EQ(queue->name(), "priorities");
  queue->setMaxConcurrentOperationCount(1);
  queue->setSuspended(true);
  Recorder recorder;
  queue->addOperations({recording(recorder, 1, Priority::Low), recording(recorder, 2), recording(recorder, 3, Priority::VeryHigh),
                        recording(recorder, 4, Priority::High), recording(recorder, 5), recording(recorder, 6, Priority::VeryLow)},
                       false);
  EXPECT_EQ(queue->operationCount(), 6u);
  EXPECT_TRUE(recorder.get().empty());  // suspended: nothing starts
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(recorder.get(), (std::vector<int>{3, 4, 2, 5, 1, 6}));
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, DependenciesHoldBackAnOperationAcrossQueues) {
  auto first = OperationQueue::create();
  auto second = OperationQueue::create();
  first->setSuspended(true);
  Recorder recorder;
  auto a = recording(recorder, 1);
  auto b = recording(recorder, 2);
  auto c = recording(recorder, 3);
  b->addDependency(a);
  c->addDependency(b);
  EXPECT_FALSE(b->isReady());
  second->addOperation(c);
  second->addOperation(b);
  first->addOperation(a);
  EXPECT_TRUE(a->isReady());
  EXPECT_EQ(second->operationCount(), 2u);
  first->setSuspended(false);
  second->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(recorder.get(), (std::vector<int>{1, 2, 3}));

  // A cancelled dependency counts as finished too.
  auto cancelled = recording(recorder, 4);
  auto dependent = recording(recorder, 5);
  dependent->addDependency(cancelled);
  first->setSuspended(true);
  first->addOperation(cancelled);
  second->addOperation(dependent);
  cancelled->cancel();
  first->setSuspended(false);
  dependent->waitUntilFinished();
  EXPECT_EQ(recorder.get(), (std::vector<int>{1, 2, 3, 5}));

  // A removed dependency no longer holds back.
  auto never = recording(recorder, 6);
  auto freed = recording(recorder, 7);
  freed->addDependency(never);
  second->addOperation(freed);
  EXPECT_FALSE(freed->isFinished());
  freed->removeDependency(never);
  freed->waitUntilFinished();
  EXPECT_TRUE(freed->dependencies().empty());
}

TEST(OperationQueueTest, MaxConcurrencyOneMakesTheQueueSerial) {
  auto queue = OperationQueue::create();
  queue->setMaxConcurrentOperationCount(1);
  std::atomic<int> active{0};
  std::atomic<bool> overlapped{false};
  Recorder recorder;
  for (int i = 0; i < 50; ++i) {
    queue->addOperationWithBlock([&, i] {
      if (++active > 1) overlapped = true;
      std::this_thread::yield();
      recorder.add(i);
      --active;
    });
  }
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_FALSE(overlapped);
  auto order = recorder.get();
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

TEST(OperationQueueTest, DefaultQueueRunsSeveralAtOnce) {
  auto queue = OperationQueue::create();
  EXPECT_GT(queue->maxConcurrentOperationCount(), 1);
  core::Semaphore a, b;
  bool okA = false, okB = false;
  queue->addOperationWithBlock([&] {
    a.signal();
    okA = b.wait(10);
  });
  queue->addOperationWithBlock([&] {
    b.signal();
    okB = a.wait(10);
  });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(okA && okB);
}

TEST(OperationQueueTest, SuspensionLetsRunningOperationsFinish) {
  auto queue = OperationQueue::create();
  queue->setMaxConcurrentOperationCount(1);
  core::Semaphore started, proceed;
  Recorder recorder;
  queue->addOperationWithBlock([&] {
    started.signal();
    proceed.wait();
    recorder.add(1);
  });
  auto second = recording(recorder, 2);
  queue->addOperation(second);
  ASSERT_TRUE(started.wait(10));
  queue->setSuspended(true);
  proceed.signal();
  ASSERT_TRUE(support::runUntil([&] { return queue->operationCount() == 1; }));
  EXPECT_EQ(recorder.get(), std::vector<int>{1});
  EXPECT_FALSE(second->isExecuting());
  EXPECT_FALSE(second->isFinished());
  queue->setSuspended(false);
  second->waitUntilFinished();
  EXPECT_EQ(recorder.get(), (std::vector<int>{1, 2}));
}

TEST(OperationQueueTest, CancelledBeforeStartFinishesWithoutRunning) {
  auto queue = OperationQueue::create();
  queue->setSuspended(true);
  bool ran = false;
  std::atomic<int> completions{0};
  auto op = BlockOperation::create([&] { ran = true; });
  op->setCompletionBlock([&] { ++completions; });
  queue->addOperation(op);
  auto other = queue->addOperationWithBlock([] {});
  queue->cancelAllOperations();
  EXPECT_TRUE(op->isCancelled());
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(op->isFinished());
  EXPECT_FALSE(op->isExecuting());
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(other->isCancelled());

  // Adding a finished operation again does nothing.
  queue->addOperation(op);
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, CompletionBlockRunsOnceAfterFinish) {
  auto queue = OperationQueue::create();
  std::atomic<int> completions{0};
  std::atomic<bool> finishedInCompletion{false};
  auto op = BlockOperation::create([] {});
  op->addExecutionBlock([] {});
  op->setCompletionBlock([&, raw = op.get()] {
    finishedInCompletion = raw->isFinished();
    ++completions;
  });
  queue->addOperation(op);
  op->waitUntilFinished();
  op->start();  // a finished operation does not run again
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(finishedInCompletion);
}

// Finishes later, from another thread, like a network request would.
class AsyncOperation : public Operation {
 public:
  bool isAsynchronous() const override { return true; }
  void main() override { mainReturned = true; }
  std::atomic<bool> mainReturned{false};
};

TEST(OperationQueueTest, AsynchronousOperationExecutesUntilItFinishes) {
  auto queue = OperationQueue::create();
  queue->setMaxConcurrentOperationCount(1);
  auto op = std::make_shared<AsyncOperation>();
  Recorder recorder;
  queue->addOperation(op);
  queue->addOperation(recording(recorder, 1));
  ASSERT_TRUE(support::runUntil([&] { return op->mainReturned.load(); }));
  EXPECT_TRUE(op->isExecuting());
  EXPECT_FALSE(op->isFinished());
  EXPECT_EQ(queue->operationCount(), 2u);
  EXPECT_TRUE(recorder.get().empty());  // still occupies the only slot
  std::thread([op] { op->finish(); }).join();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(op->isFinished());
  EXPECT_EQ(recorder.get(), std::vector<int>{1});
}

TEST(OperationQueueTest, MainQueueRunsOnTheMainThreadFromTheLoop) {
  auto main = OperationQueue::mainQueue();
  EXPECT_EQ(main->maxConcurrentOperationCount(), 1);
  EXPECT_EQ(OperationQueue::currentQueue(), main);
  std::vector<int> order;
  bool onMain = true;
  std::shared_ptr<OperationQueue> currentInside;
  std::thread([&] {
    EXPECT_EQ(OperationQueue::currentQueue(), nullptr);
    for (int i = 0; i < 5; ++i) {
      main->addOperationWithBlock([&, i] {
        onMain = onMain && core::RunLoop::isMainThread();
        currentInside = OperationQueue::currentQueue();
        order.push_back(i);
      });
    }
  }).join();
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(support::runUntil([&] { return order.size() == 5; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(onMain);
  EXPECT_EQ(currentInside, main);
  support::runUntil([&] { return main->operationCount() == 0; });
}

TEST(OperationQueueTest, CurrentQueueInsideABackgroundOperation) {
  auto queue = OperationQueue::create("bg");
  std::shared_ptr<OperationQueue> seen;
  queue->addOperationWithBlock([&] { seen = OperationQueue::currentQueue(); });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(seen, queue);
}

}  // namespace
