#include "platform/core/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using core::Notification;
using core::NotificationCenter;
using core::Observation;
using core::Value;

TEST(NotificationCenterTest, DeliversSynchronouslyWithTheNotification) {
  NotificationCenter center;
  int sender = 0;
  std::vector<std::string> seen;
  Observation o(center, "RoomOpened", nullptr, [&](const Notification& n) {
    seen.push_back(n.name + ":" + n.userInfo["room"].stringValue());
    EXPECT_EQ(n.object, &sender);
  });
  center.post("RoomOpened", &sender, Value(Value::Dictionary{{"room", 8}}));
  ASSERT_EQ(seen.size(), 1u);  // already delivered when post() returned
  EXPECT_EQ(seen[0], "RoomOpened:8");
}

TEST(NotificationCenterTest, FiltersByNameAndSender) {
  NotificationCenter center;
  int a = 0, b = 0;
  std::vector<std::string> seen;
  auto record = [&](std::string tag) { return [&seen, tag](const Notification&) { seen.push_back(tag); }; };
  Observation byName(center, "Ping", nullptr, record("name"));
  Observation bySender(center, "Ping", &a, record("name+a"));
  Observation anyName(center, "", &b, record("any+b"));
  Observation everything(center, "", nullptr, record("all"));

  center.post("Ping", &a);
  EXPECT_EQ(seen, (std::vector<std::string>{"name", "name+a", "all"}));
  seen.clear();
  center.post("Ping", &b);
  EXPECT_EQ(seen, (std::vector<std::string>{"name", "any+b", "all"}));
  seen.clear();
  center.post("Other");
  EXPECT_EQ(seen, (std::vector<std::string>{"all"}));
}

TEST(NotificationCenterTest, RegistrationOrderAndRemoval) {
  NotificationCenter center;
  std::vector<int> order;
  std::vector<NotificationCenter::ObserverId> ids;
  for (int i = 0; i < 5; ++i) {
    ids.push_back(center.addObserver("N", nullptr, [&order, i](const Notification&) { order.push_back(i); }));
  }
  center.removeObserver(ids[2]);
  center.removeObserver(ids[2]);  // twice is harmless
  center.removeObserver(9999);
  center.post("N");
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 4}));
}

TEST(NotificationCenterTest, RemovalDuringAPost) {
  NotificationCenter center;
  std::vector<std::string> seen;
  NotificationCenter::ObserverId self = 0, victim = 0;
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    seen.push_back("self");
    center.removeObserver(self);
  });
  center.addObserver("N", nullptr, [&](const Notification&) {
    seen.push_back("remover");
    center.removeObserver(victim);
  });
  victim = center.addObserver("N", nullptr, [&](const Notification&) { seen.push_back("victim"); });
  center.post("N");
  EXPECT_EQ(seen, (std::vector<std::string>{"self", "remover"}));
  seen.clear();
  center.post("N");
  EXPECT_EQ(seen, (std::vector<std::string>{"remover"}));
}

TEST(NotificationCenterTest, AddedDuringAPostWaitsForTheNext) {
  NotificationCenter center;
  int added = 0;
  int adderCalls = 0;
  std::vector<Observation> owned;
  center.addObserver("N", nullptr, [&](const Notification&) {
    ++adderCalls;
    owned.emplace_back(center, "N", nullptr, [&](const Notification&) { ++added; });
  });
  center.post("N");
  EXPECT_EQ(added, 0);
  center.post("N");
  EXPECT_EQ(added, 1);
  EXPECT_EQ(adderCalls, 2);
}

TEST(NotificationCenterTest, RecursivePosts) {
  NotificationCenter center;
  std::vector<std::string> seen;
  Observation outer(center, "Outer", nullptr, [&](const Notification&) {
    seen.push_back("outer begin");
    center.post("Inner");
    seen.push_back("outer end");
  });
  Observation inner(center, "Inner", nullptr, [&](const Notification&) { seen.push_back("inner"); });
  Observation depth(center, "Countdown", nullptr, [&](const Notification& n) {
    int left = n.userInfo.intValue();
    seen.push_back(std::to_string(left));
    if (left > 0) center.post("Countdown", nullptr, Value(left - 1));
  });
  center.post("Outer");
  center.post("Countdown", nullptr, Value(2));
  EXPECT_EQ(seen, (std::vector<std::string>{"outer begin", "inner", "outer end", "2", "1", "0"}));
}

TEST(NotificationCenterTest, ObservationOwnsItsRegistration) {
  NotificationCenter center;
  int calls = 0;
  {
    Observation first(center, "N", nullptr, [&](const Notification&) { ++calls; });
    Observation moved = std::move(first);
    EXPECT_FALSE(first);
    center.post("N");
    EXPECT_EQ(calls, 1);
    Observation assigned;
    assigned = std::move(moved);
    center.post("N");
    EXPECT_EQ(calls, 2);
  }
  center.post("N");
  EXPECT_EQ(calls, 2);

  Observation replaced(center, "N", nullptr, [&](const Notification&) { calls += 10; });
  replaced = Observation(center, "N", nullptr, [&](const Notification&) { calls += 100; });
  center.post("N");
  EXPECT_EQ(calls, 102);
}

TEST(NotificationCenterTest, DefaultCenterIsShared) {
  EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
  int calls = 0;
  Observation o(NotificationCenter::defaultCenter(), "core.test.Shared", nullptr, [&](const Notification&) { ++calls; });
  NotificationCenter::defaultCenter().post("core.test.Shared");
  EXPECT_EQ(calls, 1);
}

constexpr int kThreads = 4, kRounds = 500;

TEST(NotificationCenterTest, ThreadsAddPostAndRemoveTogether) {
  NotificationCenter center;
  std::atomic<int> stable{0};
  Observation keeper(center, "Tick", nullptr, [&](const Notification&) { stable.fetch_add(1); });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&center] {
      std::atomic<int> mine{0};
      for (int i = 0; i < kRounds; ++i) {
        auto id = center.addObserver("Tick", nullptr, [&mine](const Notification&) { mine.fetch_add(1); });
        center.post("Tick");
        center.removeObserver(id);
      }
      // Each thread's own observer saw at least its own posts.
      EXPECT_GE(mine.load(), kRounds);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(stable.load(), kThreads * kRounds);
}

}  // namespace
