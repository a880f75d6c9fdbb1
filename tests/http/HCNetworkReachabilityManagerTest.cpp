#include "http/HCNetworkReachabilityManager.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/net/Reachability.h"
#include "platform/net/ReachabilityMonitor.h"
#include "support/RunUntil.h"

namespace {

using namespace kt;

TEST(HCNetworkReachabilityStatusTest, FlagsToStatus) {
  using namespace net;
  struct Case {
    uint32_t flags;
    HCNetworkReachabilityStatus status;
  } cases[] = {
      {0, HCNetworkReachabilityStatusNotReachable},
      {Reachable, HCNetworkReachabilityStatusReachableViaWiFi},
      {Reachable | IsWWAN, HCNetworkReachabilityStatusReachableViaWWAN},
      {IsWWAN, HCNetworkReachabilityStatusNotReachable},
      {Reachable | ConnectionRequired, HCNetworkReachabilityStatusNotReachable},
      {Reachable | ConnectionRequired | ConnectionOnTraffic, HCNetworkReachabilityStatusReachableViaWiFi},
      {Reachable | ConnectionRequired | ConnectionOnDemand, HCNetworkReachabilityStatusReachableViaWiFi},
      {Reachable | ConnectionRequired | ConnectionOnTraffic | InterventionRequired,
       HCNetworkReachabilityStatusNotReachable},
      {Reachable | ConnectionRequired | ConnectionOnDemand | InterventionRequired | IsWWAN,
       HCNetworkReachabilityStatusNotReachable},
      // Intervention matters only when a connection is required.
      {Reachable | InterventionRequired, HCNetworkReachabilityStatusReachableViaWiFi},
      {Reachable | ConnectionRequired | ConnectionOnTraffic | IsWWAN, HCNetworkReachabilityStatusReachableViaWWAN},
      {ConnectionOnTraffic | ConnectionOnDemand, HCNetworkReachabilityStatusNotReachable},
  };
  for (const Case& c : cases) EXPECT_EQ(HCNetworkReachabilityStatusForFlags(c.flags), c.status) << std::hex << c.flags;
}

TEST(HCNetworkReachabilityStatusTest, StatusTexts) {
  EXPECT_EQ(HCStringFromNetworkReachabilityStatus(-1), "Unknown");
  EXPECT_EQ(HCStringFromNetworkReachabilityStatus(0), "Not Reachable");
  EXPECT_EQ(HCStringFromNetworkReachabilityStatus(1), "Reachable via WWAN");
  EXPECT_EQ(HCStringFromNetworkReachabilityStatus(2), "Reachable via WiFi");
  EXPECT_EQ(HCStringFromNetworkReachabilityStatus(3), "Unknown");
  EXPECT_EQ(HCStringFromNetworkReachabilityStatus(-2), "Unknown");
}

TEST(HCNetworkReachabilityManagerCreateTest, ManagersStartUnknown) {
  auto shared = HCNetworkReachabilityManager::sharedManager();
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared, HCNetworkReachabilityManager::sharedManager());
  EXPECT_NE(shared, HCNetworkReachabilityManager::manager());

  auto manager = HCNetworkReachabilityManager::managerForDomain("localhost");
  ASSERT_TRUE(manager);
  EXPECT_EQ(manager->networkReachabilityStatus(), HCNetworkReachabilityStatusUnknown);
  EXPECT_FALSE(manager->isReachable());
  EXPECT_FALSE(manager->isReachableViaWWAN());
  EXPECT_FALSE(manager->isReachableViaWiFi());
  EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Unknown");
  EXPECT_FALSE(manager->networkReachability()->isScheduled());

  sockaddr_un unixAddress{};
  unixAddress.sun_family = AF_UNIX;
  EXPECT_FALSE(HCNetworkReachabilityManager::managerForAddress(reinterpret_cast<const sockaddr*>(&unixAddress)));
  EXPECT_FALSE(HCNetworkReachabilityManager::initWithReachability(nullptr));
}

class HCNetworkReachabilityManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_observation = core::Observation(core::NotificationCenter::defaultCenter(), HCReachabilityChangedNotification,
                                      nullptr, [this](const core::Notification& n) {
                                        m_events.push_back("notification " + n.userInfo[HCReachabilityNotificationStatusItem].stringValue());
                                        m_notificationObject = n.object;
                                      });
  }
  void TearDown() override {
    m_manager.reset();
    support::drainMainLoop();
    net::clearReachabilityOverride();
  }
  void makeManager() {
    m_manager = HCNetworkReachabilityManager::manager();
    m_manager->setReachabilityStatusChangeBlock([this](HCNetworkReachabilityStatus status) {
      m_events.push_back("block " + std::to_string(status) + " " + std::to_string(m_manager->networkReachabilityStatus()));
    });
  }

  std::shared_ptr<HCNetworkReachabilityManager> m_manager;
  std::vector<std::string> m_events;
  void* m_notificationObject = reinterpret_cast<void*>(1);
  core::Observation m_observation;
};

TEST_F(HCNetworkReachabilityManagerTest, StartingReportsTheCurrentStatusThenTheNotification) {
  net::setReachabilityOverride(net::Reachable);
  makeManager();
  m_manager->startMonitoring();
  EXPECT_TRUE(m_manager->networkReachability()->isScheduled());
  ASSERT_TRUE(support::runUntil([&] { return m_events.size() >= 2; }));
  // The status is set before the block runs; the notification follows, with no object.
  EXPECT_EQ(m_events, (std::vector<std::string>{"block 2 2", "notification 2"}));
  EXPECT_EQ(m_notificationObject, nullptr);
  EXPECT_TRUE(m_manager->isReachable());
  EXPECT_TRUE(m_manager->isReachableViaWiFi());
  EXPECT_EQ(m_manager->localizedNetworkReachabilityStatusString(), "Reachable via WiFi");
}

TEST_F(HCNetworkReachabilityManagerTest, ChangesAreReported) {
  net::setReachabilityOverride(net::Reachable);
  makeManager();
  m_manager->startMonitoring();
  ASSERT_TRUE(support::runUntil([&] { return m_manager->networkReachability()->lastFlags().has_value() && m_events.size() >= 2; }));
  m_events.clear();

  net::setReachabilityOverride(net::Reachable | net::IsWWAN);
  m_manager->networkReachability()->recompute();
  ASSERT_TRUE(support::runUntil([&] { return m_events.size() >= 2; }));
  EXPECT_EQ(m_events, (std::vector<std::string>{"block 1 1", "notification 1"}));
  EXPECT_TRUE(m_manager->isReachableViaWWAN());
  EXPECT_EQ(m_manager->localizedNetworkReachabilityStatusString(), "Reachable via WWAN");

  m_events.clear();
  net::setReachabilityOverride(0u);
  m_manager->networkReachability()->recompute();
  ASSERT_TRUE(support::runUntil([&] { return m_events.size() >= 2; }));
  EXPECT_EQ(m_events, (std::vector<std::string>{"block 0 0", "notification 0"}));
  EXPECT_FALSE(m_manager->isReachable());
}

TEST_F(HCNetworkReachabilityManagerTest, StartingTwiceSchedulesOnceAndStopUnschedules) {
  net::setReachabilityOverride(net::Reachable);
  makeManager();
  m_manager->startMonitoring();
  m_manager->startMonitoring();
  EXPECT_TRUE(m_manager->networkReachability()->isScheduled());
  ASSERT_TRUE(support::runUntil([&] { return m_manager->networkReachabilityStatus() == HCNetworkReachabilityStatusReachableViaWiFi; }));
  m_manager->stopMonitoring();
  EXPECT_FALSE(m_manager->networkReachability()->isScheduled());
  // No change is watched any more.
  support::drainMainLoop();
  m_events.clear();
  net::setReachabilityOverride(0u);
  m_manager->networkReachability()->recompute();
  support::drainMainLoop();
  EXPECT_EQ(m_manager->networkReachabilityStatus(), HCNetworkReachabilityStatusReachableViaWiFi);
}

TEST_F(HCNetworkReachabilityManagerTest, MonitoringDoesNotKeepTheManagerAlive) {
  net::setReachabilityOverride(net::Reachable);
  makeManager();
  m_manager->startMonitoring();
  std::weak_ptr<HCNetworkReachabilityManager> weak = m_manager;
  std::weak_ptr<net::ReachabilityMonitor> monitor = m_manager->networkReachability();
  m_manager.reset();
  EXPECT_TRUE(weak.expired());
  // The first reading still posts the notification; the block of the gone manager is not called.
  ASSERT_TRUE(support::runUntil([&] { return !m_events.empty(); }));
  EXPECT_EQ(m_events, (std::vector<std::string>{"notification 2"}));
  // The monitor goes with the manager once the first reading has let go of it.
  EXPECT_TRUE(support::runUntil([&] { return monitor.expired(); }));
}

TEST_F(HCNetworkReachabilityManagerTest, UnreadableFlagsAreNotReported) {
  net::setReachabilityOverride(std::nullopt);
  makeManager();
  m_manager->startMonitoring();
  // Once the flags are readable again, a change brings the first report.
  net::setReachabilityOverride(net::Reachable | net::IsWWAN);
  m_manager->networkReachability()->recompute();
  ASSERT_TRUE(support::runUntil([&] { return !m_events.empty(); }));
  EXPECT_EQ(m_events.front().rfind("block 1", 0), 0u);
}

}  // namespace
