#include "link/ClientNetworkCenter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/DataCenter.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/Clock.h"
#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Timer.h"
#include "platform/core/UserDefaults.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"
#include "venue/FrameCodec.h"
#include "venue/RoomServer.h"

namespace kt {
namespace {

class ClientNetworkCenterTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    core::Device::setVendorIdentifierForTesting("0F0F0F0F-2222-3333-4444-555555555555");
    DataCenter::resetSharedInstanceForTesting();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    ClientNetworkCenter::resetSharedInstanceForTesting();
    m_previousSink = core::setLogSink([this](const std::string& line) {
      m_log.push_back(line);
      if (line.rfind("ClientNetworkCenter trying to connect", 0) == 0) attemptTimes.push_back(core::Clock::now());
    });
    ASSERT_TRUE(venueClient.start());
    m_observation = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                                      [this](const core::Notification& n) {
                                        details.push_back(n.userInfo[kBusDetailKey].stringValue());
                                        if (details.back() == kBusClientDidDisconnect) disconnectTimes.push_back(core::Clock::now());
                                      });
  }
  void TearDown() override {
    m_observation.reset();
    ClientNetworkCenter::resetSharedInstanceForTesting();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    venueClient.stop();
    roomServer.stop();
    support::drainMainLoop();
    core::setLogSink(m_previousSink);
    DataCenter::resetSharedInstanceForTesting();
    core::Device::setVendorIdentifierForTesting(std::nullopt);
  }

  static ClientNetworkCenter& link() { return ClientNetworkCenter::sharedInstance(); }
  size_t count(const std::string& detail) const {
    size_t n = 0;
    for (const std::string& d : details) n += d == detail;
    return n;
  }
  bool logged(const std::string& text) const {
    for (const std::string& line : m_log)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  void connectClient() {
    const size_t before = count(kBusClientConnected);
    const size_t accepted = venueClient.connectionsAccepted();
    link().connectToServerWithIp("127.0.0.1", venueClient.port());
    ASSERT_TRUE(support::runUntil([&] { return count(kBusClientConnected) > before; }, 10));
    ASSERT_TRUE(venueClient.waitForConnections(accepted + 1, 5));
  }

  venue::RoomServer venueClient;  // the far end of the venue-client link
  venue::RoomServer roomServer;   // the far end of the room-server link, where needed
  std::vector<std::string> details;
  std::vector<double> attemptTimes;
  std::vector<double> disconnectTimes;
  std::vector<std::string> m_log;

 private:
  core::LogSink m_previousSink;
  core::Observation m_observation;
};

TEST_F(ClientNetworkCenterTest, RetriesOneSecondAfterALostConnectionToTheLastHostAndPort) {
  support::VirtualClock clock;
  EXPECT_TRUE(link().isStopRetry());
  connectClient();
  EXPECT_TRUE(link().isConnect());
  EXPECT_FALSE(link().isStopRetry());
  EXPECT_EQ(link().lastConnectIp(), "127.0.0.1");
  EXPECT_EQ(link().lastConnectPort(), venueClient.port());
  EXPECT_TRUE(logged("ClientNetworkCenter did connect to server"));

  venueClient.closeConnection();
  ASSERT_TRUE(support::runUntil([&] { return count(kBusClientDidDisconnect) == 1; }, 10));
  EXPECT_FALSE(link().isConnect());
  EXPECT_FALSE(link().mainSocket());
  EXPECT_TRUE(link().hasPendingRetry());
  EXPECT_TRUE(logged("ClientNetworkCenter did disconnect already"));

  ASSERT_TRUE(support::runUntil([&] { return count(kBusClientConnected) == 2; }, 10));
  ASSERT_EQ(attemptTimes.size(), 2u);
  EXPECT_GE(attemptTimes[1] - disconnectTimes[0], 1.0);
  EXPECT_FALSE(link().hasPendingRetry());
  EXPECT_TRUE(venueClient.waitForConnections(2, 5));
  EXPECT_TRUE(logged("ClientNetworkCenter trying to connect server ip: 127.0.0.1, port: " +
                     std::to_string(venueClient.port())));

  // Attempts go on, one second after each failure, until one succeeds.
  ASSERT_TRUE(venueClient.setRefusing(true));
  venueClient.closeConnection();
  ASSERT_TRUE(support::runUntil([&] { return attemptTimes.size() >= 4; }, 10));
  ASSERT_TRUE(venueClient.setRefusing(false));
  ASSERT_TRUE(support::runUntil([&] { return count(kBusClientConnected) == 3; }, 10));
  EXPECT_TRUE(link().isConnect());
}

TEST_F(ClientNetworkCenterTest, NoRetryBeforeTheFirstConnection) {
  support::VirtualClock clock;
  ASSERT_TRUE(venueClient.setRefusing(true));
  link().connectToServerWithIp("127.0.0.1", venueClient.port());
  ASSERT_TRUE(support::runUntil([&] { return count(kBusClientDidDisconnect) == 1; }, 10));
  EXPECT_TRUE(link().isStopRetry());
  EXPECT_FALSE(link().hasPendingRetry());
  bool passed = false;
  auto timer = core::Timer::scheduled(3.0, false, [&](core::Timer&) { passed = true; });
  ASSERT_TRUE(support::runUntil([&] { return passed; }, 10));
  EXPECT_EQ(attemptTimes.size(), 1u);
}

TEST_F(ClientNetworkCenterTest, ExcludesTheRoomServerLinkBothWays) {
  ASSERT_TRUE(roomServer.start());
  core::UserDefaults::standard().setString("Server_Ip", "127.0.0.1");
  core::UserDefaults::standard().setString("Server_Port", std::to_string(roomServer.port()));
  ServerNetworkCenter& server = ServerNetworkCenter::sharedInstance();
  server.initConnect();
  ASSERT_TRUE(support::runUntil([&] { return server.isConnect(); }, 10));

  connectClient();
  EXPECT_EQ(details, (std::vector<std::string>{kBusServerConnected, kBusServerDidDisconnect, kBusClientConnected}));
  EXPECT_FALSE(server.isConnect());
  EXPECT_TRUE(roomServer.waitForClientClose(5));

  // The room-server link's next attempt closes this one first, synchronously.
  link().setIsStopRetry(true);
  server.initConnect();
  EXPECT_EQ(details.back(), kBusClientDidDisconnect);
  EXPECT_FALSE(link().isConnect());
  ASSERT_TRUE(support::runUntil([&] { return server.isConnect(); }, 10));
  EXPECT_TRUE(venueClient.waitForClientClose(5));
  EXPECT_FALSE(link().hasPendingRetry());
}

TEST_F(ClientNetworkCenterTest, DeliversGoodFramesAndLogsWhatItSkips) {
  connectClient();
  const std::string good = venue::buildFrame(109, {"0", "账单"});
  const std::string bad = venue::withBadCrc(venue::buildFrame(60, {}));
  // Part of a frame: the link says it waits for the rest.
  ASSERT_TRUE(venueClient.send(good.substr(0, 10)));
  ASSERT_TRUE(support::runUntil([&] { return logged("数据接收不完整，等待内容"); }, 10));
  EXPECT_EQ(details.size(), 1u);
  ASSERT_TRUE(venueClient.send(good.substr(10)));
  ASSERT_TRUE(support::runUntil([&] { return details.size() == 2; }, 10));
  const std::string text = *venue::gb18030ToUtf8(good.substr(0, good.size() - 1));
  EXPECT_EQ(details[1], text);
  EXPECT_TRUE(logged("clientNetWork have receive msg:" + text));

  ASSERT_TRUE(venueClient.send(bad + good));
  ASSERT_TRUE(support::runUntil([&] { return details.size() == 3; }, 10));
  EXPECT_EQ(details[2], text);
  EXPECT_TRUE(logged("error wrong key again length: 13 and data: <"));
  EXPECT_TRUE(link().isConnect());
}

TEST_F(ClientNetworkCenterTest, SendsTheTerminatedFormAndTextsAsTheyStand) {
  connectClient();
  link().sentMsg(119, {"8001", "", "0", std::nullopt, "never"});
  link().sentMsg("\r\n60\r\n");
  link().sentMsg(std::string(FrameCodec::kMaxBodyLength + 1, 'x'));  // refused
  const std::string expected = venue::encodeFrame("\r\n119\r\n8001\r\n\r\n0\r\n") + venue::encodeFrame("\r\n60\r\n");
  ASSERT_TRUE(support::runUntil([&] { return venueClient.receivedBytes().size() >= expected.size(); }, 10));
  EXPECT_EQ(venueClient.receivedBytes(), expected);
  EXPECT_FALSE(logged("\r\n119\r\n"));  // this link does not log its messages
}

TEST_F(ClientNetworkCenterTest, ConnectingAgainReplacesThePendingRetry) {
  support::VirtualClock clock;
  connectClient();
  venueClient.closeConnection();
  ASSERT_TRUE(support::runUntil([&] { return link().hasPendingRetry(); }, 10));
  link().connectToServerWithIp("127.0.0.1", venueClient.port());
  EXPECT_FALSE(link().hasPendingRetry());
  ASSERT_TRUE(support::runUntil([&] { return count(kBusClientConnected) == 2; }, 10));
  bool passed = false;
  auto timer = core::Timer::scheduled(3.0, false, [&](core::Timer&) { passed = true; });
  ASSERT_TRUE(support::runUntil([&] { return passed; }, 10));
  EXPECT_EQ(attemptTimes.size(), 2u);
  EXPECT_TRUE(venueClient.waitForConnections(2, 5));
  EXPECT_EQ(venueClient.connectionsAccepted(), 2u);
}

}  // namespace
}  // namespace kt
