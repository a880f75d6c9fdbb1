#include "platform/core/Queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "support/RunUntil.h"

using core::Group;
using core::Queue;
using core::Semaphore;

namespace {

class QueueTest : public ::testing::Test {
 protected:
  void TearDown() override { support::drainMainLoop(); }
};

TEST_F(QueueTest, SerialQueueRunsBlocksOneAtATimeInOrder) {
  auto queue = Queue::createSerial("serial");
  EXPECT_EQ(queue->label(), "serial");
  std::vector<int> order;
  std::atomic<int> active{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> notCurrent{false};
  for (int i = 0; i < 300; ++i) {
    queue->async([&, i] {
      if (++active > 1) overlapped = true;
      if (!queue->isCurrent()) notCurrent = true;
      order.push_back(i);
      --active;
    });
  }
  std::vector<int> seen;
  queue->sync([&] { seen = order; });  // runs after everything submitted before it
  ASSERT_EQ(seen.size(), 300u);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(seen[i], i);
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(notCurrent);
  EXPECT_FALSE(queue->isCurrent());
}

TEST_F(QueueTest, BarrierRunsAloneBetweenWhatCameBeforeAndAfter) {
  auto queue = Queue::createConcurrent("concurrent");
  std::atomic<int> active{0};
  std::atomic<int> before{0};
  std::atomic<bool> barrierDone{false};
  std::atomic<bool> barrierSawOthers{false};
  std::atomic<int> barrierSawBefore{-1};
  std::atomic<bool> afterStartedEarly{false};
  Group group;
  for (int i = 0; i < 20; ++i) {
    group.async(queue, [&] {
      ++active;
      std::this_thread::yield();
      ++before;
      --active;
    });
  }
  group.enter();
  queue->barrierAsync([&] {
    if (active.load() != 0) barrierSawOthers = true;
    barrierSawBefore = before.load();
    std::this_thread::yield();
    if (active.load() != 0) barrierSawOthers = true;
    barrierDone = true;
    group.leave();
  });
  for (int i = 0; i < 20; ++i) {
    group.async(queue, [&] {
      ++active;
      if (!barrierDone) afterStartedEarly = true;
      --active;
    });
  }
  ASSERT_TRUE(group.wait(10));
  EXPECT_EQ(barrierSawBefore, 20);
  EXPECT_FALSE(barrierSawOthers);
  EXPECT_FALSE(afterStartedEarly);

  // barrierSync also waits for what came before and returns after the block.
  std::atomic<int> count{0};
  for (int i = 0; i < 10; ++i) queue->async([&] { ++count; });
  int seen = -1;
  queue->barrierSync([&] { seen = count.load(); });
  EXPECT_EQ(seen, 10);
}

TEST_F(QueueTest, ConcurrentQueueRunsBlocksAtTheSameTime) {
  // Two blocks that each wait for the other can only finish if they overlap.
  auto queue = Queue::createConcurrent("pairs");
  Semaphore a, b;
  Group group;
  bool okA = false, okB = false;
  group.async(queue, [&] {
    a.signal();
    okA = b.wait(10);
  });
  group.async(queue, [&] {
    b.signal();
    okB = a.wait(10);
  });
  ASSERT_TRUE(group.wait(20));
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
}

TEST_F(QueueTest, GlobalPoolGrowsWhenItsThreadsAreBlocked) {
  // More blocked blocks than the pool's base size; only a later block can release them.
  const int blocked = 12;
  Semaphore release;
  Group group;
  for (int i = 0; i < blocked; ++i) group.async(Queue::global(), [&] { release.wait(); });
  group.async(Queue::global(Queue::Priority::Low), [&] {
    for (int i = 0; i < blocked; ++i) release.signal();
  });
  EXPECT_TRUE(group.wait(20));
  EXPECT_LE(Queue::poolThreadCount(), 64);
}

TEST_F(QueueTest, GroupNotifiesAfterEverythingAndWaitTimesOut) {
  Group group;
  Semaphore gate;
  std::atomic<int> done{0};
  for (int i = 0; i < 5; ++i) group.async(Queue::global(), [&] { ++done; });
  group.async(Queue::global(), [&] {
    gate.wait();
    ++done;
  });
  int doneWhenNotified = -1;
  group.notify(Queue::main(), [&] { doneWhenNotified = done.load(); });
  EXPECT_FALSE(group.wait(0.05));
  support::drainMainLoop();
  EXPECT_EQ(doneWhenNotified, -1);
  gate.signal();
  EXPECT_TRUE(group.wait(10));
  ASSERT_TRUE(support::runUntil([&] { return doneWhenNotified != -1; }));
  EXPECT_EQ(doneWhenNotified, 6);

  // Notify on an empty group runs (asynchronously) right away.
  bool ran = false;
  Group empty;
  empty.notify(Queue::main(), [&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_TRUE(support::runUntil([&] { return ran; }));
  empty.leave();  // unbalanced: ignored
  EXPECT_TRUE(empty.wait(0));
}

TEST_F(QueueTest, SemaphoreCountsSignalsAndTimesOut) {
  Semaphore semaphore(2);
  EXPECT_TRUE(semaphore.wait(0));
  EXPECT_TRUE(semaphore.wait(0));
  EXPECT_FALSE(semaphore.wait(0.02));
  std::thread([semaphore]() mutable { semaphore.signal(); }).join();
  EXPECT_TRUE(semaphore.wait(0));
  EXPECT_FALSE(semaphore.wait(0));
}

TEST_F(QueueTest, MainQueueHopsRunInOrderOnlyWhenTheMainLoopRuns) {
  std::vector<int> order;
  std::atomic<bool> wrongThread{false};
  std::vector<std::thread> threads;
  std::mutex submitMutex;
  std::vector<int> submitted;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        std::lock_guard lock(submitMutex);  // the submission order is the expected order
        int value = t * 100 + i;
        submitted.push_back(value);
        Queue::main()->async([&, value] {
          if (!core::RunLoop::isMainThread() || !Queue::main()->isCurrent()) wrongThread = true;
          order.push_back(value);
        });
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(support::runUntil([&] { return order.size() == submitted.size(); }));
  EXPECT_EQ(order, submitted);
  EXPECT_FALSE(wrongThread);
}

TEST_F(QueueTest, MainQueueAsyncFromTheMainThreadIsNeverSynchronous) {
  bool ran = false;
  Queue::main()->async([&] { ran = true; });
  EXPECT_FALSE(ran);
  support::drainMainLoop();
  EXPECT_TRUE(ran);
}

TEST_F(QueueTest, SyncOntoMainFromABackgroundThreadWaitsForTheMainLoop) {
  std::atomic<bool> returned{false};
  bool ranOnMain = false;
  std::thread worker([&] {
    Queue::main()->sync([&] { ranOnMain = core::RunLoop::isMainThread(); });
    returned = true;
  });
  ASSERT_TRUE(support::runUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST_F(QueueTest, AfterHonoursTheVirtualClock) {
  support::VirtualClock clock;
  double start = core::Clock::now();
  std::atomic<double> ranAt{-1};
  std::vector<int> order;
  Queue::global()->after(30, [&] { ranAt = core::Clock::now(); });
  Queue::main()->after(20, [&] { order.push_back(2); });
  Queue::main()->after(10, [&] { order.push_back(1); });
  // Thirty virtual seconds pass quickly: the main loop skips to each published date.
  ASSERT_TRUE(support::runUntil([&] { return ranAt.load() >= 0 && order.size() == 2; }));
  EXPECT_GE(ranAt.load(), start + 30);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(QueueTest, OnceRunsExactlyOnceAcrossThreads) {
  core::OnceFlag flag;
  std::atomic<int> calls{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&] { core::once(flag, [&] { ++calls; }); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(calls, 1);
}

TEST(QueueDeathTest, SyncOntoASerialQueueFromItselfAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto queue = Queue::createSerial("self");
        queue->sync([&] { queue->sync([] {}); });
      },
      "");
}

}  // namespace
