#include "platform/net/ReachabilityMonitor.h"

#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/net/Reachability.h"
#include "support/RunUntil.h"

namespace {

using net::ReachabilityMonitor;

// Netlink messages as the kernel lays them out: each header (plus a small body) padded to 4 bytes.
std::vector<char> messages(std::initializer_list<std::pair<uint16_t, size_t>> typesAndBodySizes) {
  std::vector<char> buffer;
  for (const auto& [type, body] : typesAndBodySizes) {
    nlmsghdr header{};
    header.nlmsg_type = type;
    header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(body));
    const size_t start = buffer.size();
    buffer.resize(start + NLMSG_ALIGN(header.nlmsg_len), '\0');
    std::memcpy(buffer.data() + start, &header, sizeof header);
  }
  return buffer;
}

class ReachabilityMonitorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (m_monitor && m_monitor->isScheduled()) m_monitor->unscheduleFromRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode);
    net::clearReachabilityOverride();
  }
  // Scheduled on the main loop, with the baseline reading taken.
  void startWith(uint32_t flags) {
    net::setReachabilityOverride(flags);
    m_monitor = ReachabilityMonitor::createForAnyAddress();
    m_monitor->setCallback([this](uint32_t f) { m_reports.push_back(f); });
    ASSERT_TRUE(m_monitor->scheduleWithRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode));
    // The first reading is the baseline: not reported.
    ASSERT_TRUE(support::runUntil([&] { return m_monitor->lastFlags() == flags; }));
    support::drainMainLoop();
    ASSERT_TRUE(m_reports.empty());
  }

  std::shared_ptr<ReachabilityMonitor> m_monitor;
  std::vector<uint32_t> m_reports;
};

TEST(ReachabilityMonitorParseTest, CountsLinkAddressAndRouteMessages) {
  auto buffer = messages({{RTM_NEWADDR, 8}, {NLMSG_NOOP, 0}, {RTM_DELROUTE, 12}, {RTM_NEWNEIGH, 5}, {RTM_NEWLINK, 16}});
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(buffer.data(), buffer.size()), 3u);

  auto others = messages({{RTM_NEWNEIGH, 8}, {NLMSG_ERROR, 20}});
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(others.data(), others.size()), 0u);
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(nullptr, 100), 0u);
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(buffer.data(), 0), 0u);
}

TEST(ReachabilityMonitorParseTest, StopsAtMalformedOrTruncatedMessages) {
  // The second message is cut short: only the first counts.
  auto buffer = messages({{RTM_NEWADDR, 8}, {RTM_NEWROUTE, 8}});
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(buffer.data(), buffer.size() - 4), 1u);
  // A length smaller than a header would never advance.
  auto bad = messages({{RTM_NEWADDR, 0}, {RTM_NEWROUTE, 0}});
  nlmsghdr header{};
  std::memcpy(&header, bad.data(), sizeof header);
  header.nlmsg_len = 4;
  std::memcpy(bad.data(), &header, sizeof header);
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(bad.data(), bad.size()), 0u);
  // A length past the end of the buffer.
  auto past = messages({{RTM_NEWLINK, 8}});
  header.nlmsg_type = RTM_NEWLINK;
  header.nlmsg_len = 4096;
  std::memcpy(past.data(), &header, sizeof header);
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(past.data(), past.size()), 0u);
  // Nothing after the end of a multi-part reply counts.
  auto done = messages({{RTM_NEWADDR, 4}, {NLMSG_DONE, 4}, {RTM_NEWROUTE, 4}});
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(done.data(), done.size()), 1u);
}

TEST(ReachabilityMonitorParseTest, ReadsMessagesAtAnyAlignment) {
  // As delivered through a stream: messages fed one byte into the buffer.
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
  auto sent = messages({{RTM_NEWROUTE, 8}, {RTM_DELADDR, 8}});
  ASSERT_EQ(::send(fds[0], sent.data(), sent.size(), 0), static_cast<ssize_t>(sent.size()));
  std::vector<char> received(sent.size() + 1);
  ASSERT_EQ(::recv(fds[1], received.data() + 1, sent.size(), 0), static_cast<ssize_t>(sent.size()));
  EXPECT_EQ(ReachabilityMonitor::countRouteChanges(received.data() + 1, sent.size()), 2u);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(ReachabilityMonitorCreateTest, TargetsAndCurrentFlags) {
  sockaddr_un unixAddress{};
  unixAddress.sun_family = AF_UNIX;
  EXPECT_FALSE(ReachabilityMonitor::createWithAddress(reinterpret_cast<const sockaddr*>(&unixAddress)));
  EXPECT_FALSE(ReachabilityMonitor::createWithAddress(nullptr));

  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto local = ReachabilityMonitor::createWithAddress(reinterpret_cast<const sockaddr*>(&loopback));
  ASSERT_TRUE(local);
  EXPECT_EQ(local->flags(), std::optional<uint32_t>(net::Reachable | net::IsLocalAddress | net::IsDirect));

  // A host name is resolved; one that cannot be is not reachable.
  auto named = ReachabilityMonitor::createWithName("localhost");
  EXPECT_TRUE(named->flags().value_or(0) & net::IsLocalAddress);
  EXPECT_EQ(ReachabilityMonitor::createWithName("no-such-host.invalid")->flags(), std::optional<uint32_t>(0u));

  // A forced answer applies to names too, without resolving them.
  net::setReachabilityOverride(net::Reachable | net::IsWWAN);
  EXPECT_EQ(ReachabilityMonitor::createWithName("no-such-host.invalid")->flags(),
            std::optional<uint32_t>(net::Reachable | net::IsWWAN));
  net::setReachabilityOverride(std::nullopt);
  EXPECT_EQ(named->flags(), std::nullopt);
  net::clearReachabilityOverride();
}

TEST_F(ReachabilityMonitorTest, ReportsOnlyChanges) {
  startWith(net::Reachable);
  // Routing messages bring a new reading; unchanged flags are not reported.
  auto routeChange = messages({{RTM_NEWROUTE, 8}});
  net::setReachabilityOverride(net::Reachable);
  EXPECT_EQ(m_monitor->handleNetlinkMessages(routeChange.data(), routeChange.size()), 1u);
  net::setReachabilityOverride(0u);
  m_monitor->handleNetlinkMessages(routeChange.data(), routeChange.size());
  ASSERT_TRUE(support::runUntil([&] { return !m_reports.empty(); }));
  EXPECT_EQ(m_reports, std::vector<uint32_t>{0u});
  // Messages that are not link, address or route changes read nothing.
  net::setReachabilityOverride(net::Reachable);
  auto neighbour = messages({{RTM_NEWNEIGH, 8}});
  EXPECT_EQ(m_monitor->handleNetlinkMessages(neighbour.data(), neighbour.size()), 0u);
  m_monitor->recompute();
  ASSERT_TRUE(support::runUntil([&] { return m_reports.size() == 2; }));
  EXPECT_EQ(m_reports.back(), uint32_t{net::Reachable});
  // Flags that cannot be read are not a change.
  net::setReachabilityOverride(std::nullopt);
  m_monitor->recompute();
  net::setReachabilityOverride(net::Reachable | net::IsDirect);
  m_monitor->recompute();
  ASSERT_TRUE(support::runUntil([&] { return m_reports.size() == 3; }));
  EXPECT_EQ(m_reports.back(), uint32_t{net::Reachable | net::IsDirect});
}

TEST_F(ReachabilityMonitorTest, SchedulingOnOneLoopAndModeAtATime) {
  startWith(net::Reachable);
  EXPECT_TRUE(m_monitor->isScheduled());
  EXPECT_FALSE(m_monitor->scheduleWithRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode));
  EXPECT_FALSE(m_monitor->unscheduleFromRunLoop(core::RunLoop::main(), "other"));
  EXPECT_TRUE(m_monitor->unscheduleFromRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode));
  EXPECT_FALSE(m_monitor->isScheduled());
  EXPECT_FALSE(m_monitor->isListening());
  EXPECT_FALSE(m_monitor->unscheduleFromRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode));
}

TEST_F(ReachabilityMonitorTest, NothingIsReportedAfterUnscheduling) {
  startWith(net::Reachable);
  net::setReachabilityOverride(0u);
  m_monitor->recompute();  // under way when unscheduled: dropped
  m_monitor->unscheduleFromRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode);
  m_monitor->recompute();  // not scheduled: nothing
  // A marker block queued after the background reading has had time to come back.
  // Scheduled again, the new baseline is Reachable; the dropped 0 never shows.
  net::setReachabilityOverride(net::Reachable);
  ASSERT_TRUE(m_monitor->scheduleWithRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode));
  ASSERT_TRUE(support::runUntil([&] { return m_monitor->lastFlags() == uint32_t{net::Reachable}; }));
  support::drainMainLoop();
  EXPECT_TRUE(m_reports.empty());
  EXPECT_EQ(m_monitor->lastFlags(), uint32_t{net::Reachable});
}

TEST_F(ReachabilityMonitorTest, DestroyingTheMonitorDropsPendingReadings) {
  startWith(net::Reachable);
  net::setReachabilityOverride(0u);
  m_monitor->recompute();
  m_monitor.reset();
  support::drainMainLoop();
  EXPECT_TRUE(m_reports.empty());
}

TEST_F(ReachabilityMonitorTest, TheCallbackMayDropTheLastOwner) {
  startWith(net::Reachable);
  m_monitor->setCallback([this](uint32_t f) {
    m_reports.push_back(f);
    m_monitor.reset();
  });
  net::setReachabilityOverride(0u);
  m_monitor->recompute();
  ASSERT_TRUE(support::runUntil([&] { return !m_reports.empty(); }));
  EXPECT_FALSE(m_monitor);
}

}  // namespace
