#include "link/ServerNetworkCenter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/DataCenter.h"
#include "link/ClientNetworkCenter.h"
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
#include "venue/SilentPort.h"

namespace kt {
namespace {

struct BusEvent {
  std::string code;
  std::string detail;
  bool isConnect = false;  // the link's flag while the observers ran
};

// The text a frame is posted with: everything but the CRC byte, as UTF-8.
std::string postedText(const std::string& frame) { return *venue::gb18030ToUtf8(frame.substr(0, frame.size() - 1)); }

class ServerNetworkCenterTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    core::Device::setVendorIdentifierForTesting("0F0F0F0F-2222-3333-4444-555555555555");
    DataCenter::resetSharedInstanceForTesting();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    ClientNetworkCenter::resetSharedInstanceForTesting();
    m_previousSink = core::setLogSink([this](const std::string& line) { m_log.push_back(line); });
    ASSERT_TRUE(server.start());
    pointAt("127.0.0.1", server.port());
    m_observation = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                                      [this](const core::Notification& n) {
                                        BusEvent event{n.userInfo[kBusCodeKey].stringValue(),
                                                       n.userInfo[kBusDetailKey].stringValue(), center().isConnect()};
                                        events.push_back(event);
                                        if (onEvent) onEvent(event);
                                      });
  }
  void TearDown() override {
    m_observation.reset();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    ClientNetworkCenter::resetSharedInstanceForTesting();
    server.stop();
    support::drainMainLoop();
    core::setLogSink(m_previousSink);
    DataCenter::resetSharedInstanceForTesting();
    core::Device::setVendorIdentifierForTesting(std::nullopt);
  }

  static void pointAt(const std::string& host, uint16_t port) {
    core::UserDefaults::standard().setString("Server_Ip", host);
    core::UserDefaults::standard().setString("Server_Port", std::to_string(port));
  }
  static ServerNetworkCenter& center() { return ServerNetworkCenter::sharedInstance(); }

  size_t count(const std::string& detail) const {
    size_t n = 0;
    for (const BusEvent& e : events) n += e.detail == detail;
    return n;
  }
  std::vector<std::string> received() const {
    std::vector<std::string> out;
    for (const BusEvent& e : events)
      if (e.code == kBusCodeTcpMessage) out.push_back(e.detail);
    return out;
  }
  bool logged(const std::string& text) const {
    for (const std::string& line : m_log)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  void connect() {
    const size_t before = count(kBusServerConnected);
    const size_t accepted = server.connectionsAccepted();
    center().initConnect();
    ASSERT_TRUE(support::runUntil([&] { return count(kBusServerConnected) > before; }, 10));
    ASSERT_TRUE(server.waitForConnections(accepted + 1, 5));
  }

  venue::RoomServer server;
  std::vector<BusEvent> events;
  std::function<void(const BusEvent&)> onEvent;
  std::vector<std::string> m_log;

 private:
  core::LogSink m_previousSink;
  core::Observation m_observation;
};

TEST_F(ServerNetworkCenterTest, ConnectionChangesInOrderWithRequestsFromTheConnectedObserver) {
  server.setReply(60, {"0", "2026-12-07 20:00:00"});
  onEvent = [](const BusEvent& e) {
    if (e.detail == kBusServerConnected) center().sentMsg(60, {});  // written while isConnect is NO
  };
  connect();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, kBusCodeSystemMessage);
  EXPECT_FALSE(events[0].isConnect);
  EXPECT_TRUE(center().isConnect());
  EXPECT_TRUE(center().getConnected());
  EXPECT_TRUE(logged("ServerNetworkCenter trying to connect server ip: 127.0.0.1, port: " + std::to_string(server.port())));
  EXPECT_TRUE(logged("ServerNetworkCenter did connect to server"));

  ASSERT_TRUE(support::runUntil([&] { return received().size() == 1; }, 10));
  ASSERT_EQ(server.frameCount(), 1u);
  EXPECT_EQ(server.frame(0).raw, venue::buildFrame(60, {}));
  // The detail starts with the six length digits and leaves out the CRC byte.
  EXPECT_EQ(received()[0], postedText(venue::buildFrame(60, {"0", "2026-12-07 20:00:00"})));
  EXPECT_EQ(received()[0].substr(0, 8), "000037\r\n");
  EXPECT_TRUE(events[1].isConnect);

  // The disconnection is reported before disconnectToServer returns; the flag drops after it.
  center().disconnectToServer();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[2].detail, kBusServerDidDisconnect);
  EXPECT_TRUE(events[2].isConnect);
  EXPECT_FALSE(center().isConnect());
  EXPECT_FALSE(center().getConnected());
  EXPECT_TRUE(logged("ServerNetworkCenter did disconnect already"));
  EXPECT_TRUE(server.waitForClientClose(5));
}

TEST_F(ServerNetworkCenterTest, SendFormsAreByteExact) {
  center().initConnect();
  // Written before the connection is open: it waits in the socket's queue.
  center().sentMsg(60, {});
  ASSERT_TRUE(support::runUntil([&] { return center().isConnect(); }, 10));
  center().sentMsg(119, {"8001", "", "0"});
  center().sentMsg(105, {"a", std::nullopt, "c"});
  center().sendMsg(147, {"0", "1", "8001"});
  center().sentMsg("\r\n12\r\n宫保鸡丁\r\n");
  center().sentMsg("no framing added");

  const std::string expected = venue::encodeFrame("\r\n60\r\n") + venue::encodeFrame("\r\n119\r\n8001\r\n\r\n0\r\n") +
                               venue::encodeFrame("\r\n105\r\na\r\n") + venue::encodeFrame("\r\n147\r\n0\r\n1\r\n8001") +
                               venue::encodeFrame(*venue::utf8ToGb18030("\r\n12\r\n宫保鸡丁\r\n")) +
                               venue::encodeFrame("no framing added");
  ASSERT_TRUE(support::runUntil([&] { return server.receivedBytes().size() >= expected.size(); }, 10));
  EXPECT_EQ(server.receivedBytes(), expected);
  ASSERT_TRUE(server.waitForFrames(6, 5));
  EXPECT_EQ(server.frame(4).field(0), "宫保鸡丁");
  EXPECT_TRUE(logged("\r\n119\r\n8001\r\n\r\n0\r\n"));  // each message text is logged
}

TEST_F(ServerNetworkCenterTest, ReassemblesFramesHoweverTheyArrive) {
  connect();
  const std::string a = venue::buildFrame(103, {"0", "成功", "宫保鸡丁", "28.00"});
  const std::string b = venue::buildFrame(12, {"0", "下单成功"}, venue::FieldForm::Joined);
  const std::string c = venue::buildFrame(60, {"0", "2026-12-07"});

  // The server cuts its writes on a thread of its own while the client's loop runs.
  auto sendWhileRunning = [&](const std::string& bytes, size_t expected) {
    bool sent = false;
    std::thread sender([&] { sent = server.send(bytes); });
    const bool done = support::runUntil([&] { return received().size() == expected; }, 10);
    sender.join();
    return sent && done;
  };
  server.setChunking(venue::ChunkPolicy::bytewise());
  ASSERT_TRUE(sendWhileRunning(a + b, 2));
  server.setChunking({{4, 9, 1000}, std::chrono::milliseconds(5)});  // one frame in three chunks
  ASSERT_TRUE(sendWhileRunning(c, 3));

  server.setChunking(venue::ChunkPolicy::whole());  // several frames in one write
  ASSERT_TRUE(server.send(c + a + b));
  ASSERT_TRUE(support::runUntil([&] { return received().size() == 6; }, 10));

  const std::vector<std::string> expected = {postedText(a), postedText(b), postedText(c),
                                             postedText(c), postedText(a), postedText(b)};
  EXPECT_EQ(received(), expected);
  EXPECT_TRUE(center().isConnect());
}

TEST_F(ServerNetworkCenterTest, BadFramesAreDroppedWithoutLosingTheNext) {
  connect();
  const std::string good = venue::buildFrame(60, {"0", "日期"});
  const std::string badCrc = venue::withBadCrc(venue::buildFrame(103, {"0"}));
  const std::string undecodable = venue::encodeFrame("\r\n103\r\n" + venue::invalidGb18030() + "\r\n");
  ASSERT_TRUE(server.send(badCrc + undecodable + good));
  ASSERT_TRUE(support::runUntil([&] { return received().size() == 1; }, 10));
  server.setChunking(venue::ChunkPolicy::bytewise());
  ASSERT_TRUE(server.send(undecodable + badCrc + good));
  ASSERT_TRUE(support::runUntil([&] { return received().size() == 2; }, 10));
  EXPECT_EQ(received(), (std::vector<std::string>{postedText(good), postedText(good)}));
  EXPECT_TRUE(center().isConnect());
  EXPECT_EQ(count(kBusServerDidDisconnect), 0u);
}

TEST_F(ServerNetworkCenterTest, CorruptLengthPrefixDropsBufferAndConnection) {
  for (const std::string& prefix : std::vector<std::string>{"000000", "-00001", "abcdef"}) {
    SCOPED_TRACE(prefix);
    events.clear();
    m_log.clear();
    connect();
    const std::string good = venue::buildFrame(60, {"0"});
    ASSERT_TRUE(server.send(good + venue::encodeFrameWithPrefix(prefix, "\r\n60\r\n") + good));
    ASSERT_TRUE(support::runUntil([&] { return count(kBusServerDidDisconnect) == 1; }, 10));
    // The frame before the bad prefix was delivered, nothing after it.
    EXPECT_EQ(received(), std::vector<std::string>{postedText(good)});
    EXPECT_TRUE(logged("corrupt stream"));
    EXPECT_FALSE(center().isConnect());
    EXPECT_TRUE(server.waitForClientClose(5));
  }
}

TEST_F(ServerNetworkCenterTest, ReconnectingFromTheDisconnectObserver) {
  // As the reply decoder does: reconnect at once when the connection is lost.
  onEvent = [](const BusEvent& e) {
    if (e.detail == kBusServerDidDisconnect) center().initConnect();
  };
  connect();
  server.closeConnection();
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerConnected) == 2; }, 10));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].detail, kBusServerDidDisconnect);
  EXPECT_TRUE(center().isConnect());
  EXPECT_TRUE(server.waitForConnections(2, 5));

  // The new connection works both ways.
  onEvent = nullptr;
  server.setReply(60, {"0"});
  center().sentMsg(60, {});
  ASSERT_TRUE(support::runUntil([&] { return received().size() == 1; }, 10));
}

TEST_F(ServerNetworkCenterTest, NewConnectionFromInsideAFrameObserverDropsTheRestOfTheOldStream) {
  connect();
  onEvent = [](const BusEvent& e) {
    if (e.code == kBusCodeTcpMessage) center().initConnect();
  };
  ASSERT_TRUE(server.send(venue::buildFrame(60, {"first"}) + venue::buildFrame(60, {"second"})));
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerConnected) == 2; }, 10));
  onEvent = nullptr;
  ASSERT_EQ(received().size(), 1u);
  EXPECT_NE(received()[0].find("first"), std::string::npos);
  EXPECT_EQ(count(kBusServerDidDisconnect), 0u);
  EXPECT_TRUE(center().isConnect());
}

TEST_F(ServerNetworkCenterTest, InitConnectSilencesTheOldSocket) {
  connect();
  // Again while connected: the old connection closes without a notice.
  center().initConnect();
  EXPECT_FALSE(center().isConnect());
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerConnected) == 2; }, 10));
  ASSERT_TRUE(support::runUntil([&] { return server.openConnections() == 1; }, 10));
  EXPECT_EQ(count(kBusServerDidDisconnect), 0u);
  EXPECT_TRUE(center().isConnect());
}

TEST_F(ServerNetworkCenterTest, InitConnectWhileStillConnectingSilencesTheAttempt) {
  support::VirtualClock clock;
  venue::SilentPort silent;
  if (!silent.isReady()) GTEST_SKIP() << "no silent port on this machine";
  pointAt(silent.host(), silent.port());
  center().initConnect();
  pointAt("127.0.0.1", server.port());
  center().initConnect();
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerConnected) == 1; }, 10));
  // Well past the first attempt's 2.0 s time-out: it never reports.
  bool passed = false;
  auto timer = core::Timer::scheduled(3.0, false, [&](core::Timer&) { passed = true; });
  ASSERT_TRUE(support::runUntil([&] { return passed; }, 10));
  EXPECT_EQ(events.size(), 1u);
  EXPECT_TRUE(center().isConnect());
}

TEST_F(ServerNetworkCenterTest, RefusedConnectionReportsDisconnect) {
  ASSERT_TRUE(server.setRefusing(true));
  center().initConnect();
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerDidDisconnect) == 1; }, 10));
  EXPECT_EQ(count(kBusServerConnected), 0u);
  EXPECT_FALSE(center().isConnect());
  EXPECT_FALSE(center().getConnected());
}

TEST_F(ServerNetworkCenterTest, ConnectTimesOutAfterTwoSeconds) {
  support::VirtualClock clock;
  venue::SilentPort silent;
  if (!silent.isReady()) GTEST_SKIP() << "no silent port on this machine";
  pointAt(silent.host(), silent.port());
  const double start = core::Clock::now();
  center().initConnect();
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerDidDisconnect) == 1; }, 10));
  EXPECT_GE(core::Clock::now() - start, 2.0);
  EXPECT_EQ(events.size(), 1u);
  EXPECT_FALSE(center().isConnect());
}

// A stored port past 65535 was cut to 16 bits: the server's own port plus 65536 reached the server
// while the log named another port. Out of range, the attempt fails at once, names the setting and
// makes no socket at all; and it is reported as a refused connection is, on the next turn of the
// loop, so that the first screen offers its retry rather than saying it connects for ever.
TEST_F(ServerNetworkCenterTest, AStoredPortOutsideOneTo65535IsNeverTriedAndReportedAsAFailure) {
  connect();
  events.clear();
  const std::string wrapsToTheServer = std::to_string(server.port() + 65536);
  for (const std::string& stored : {wrapsToTheServer, std::string("70000"), std::string("65536"), std::string("0"),
                                    std::string("-1")}) {
    SCOPED_TRACE(stored);
    core::UserDefaults::standard().setString("Server_Port", stored);
    m_log.clear();
    events.clear();
    center().initConnect();
    EXPECT_TRUE(logged("Fail to develop connection: the setting Server_Port (" + stored +
                       ") is not a port from 1 to 65535"));
    EXPECT_FALSE(center().mainSocket());
    // Not from inside initConnect: its caller finishes first.
    EXPECT_TRUE(events.empty());
    support::drainMainLoop();
    EXPECT_FALSE(center().isConnect());
    // The connection that was open is closed without a notice, as for any new attempt; the
    // failed attempt's own notice comes once.
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, kBusCodeSystemMessage);
    EXPECT_EQ(events[0].detail, kBusServerDidDisconnect);
  }

  // The top of the range is tried.
  core::UserDefaults::standard().setString("Server_Port", "65535");
  m_log.clear();
  center().initConnect();
  EXPECT_TRUE(center().mainSocket());
  EXPECT_FALSE(logged("not a port"));
}

// An empty or unset venue host fails at once: reported as a refused connection on the next turn,
// once per attempt. A new attempt made before that turn takes over: the stale report is dropped.
TEST_F(ServerNetworkCenterTest, AnEmptyOrUnsetHostIsReportedAsAFailedAttemptOnTheNextTurn) {
  for (const bool unset : {false, true}) {
    SCOPED_TRACE(unset ? "unset" : "empty");
    if (unset) core::UserDefaults::standard().removeObjectForKey("Server_Ip");
    else core::UserDefaults::standard().setString("Server_Ip", "");
    events.clear();
    center().initConnect();
    EXPECT_TRUE(events.empty());
    support::drainMainLoop();
    EXPECT_EQ(count(kBusServerDidDisconnect), 1u);
    EXPECT_EQ(count(kBusServerConnected), 0u);
  }

  events.clear();
  center().initConnect();
  pointAt("127.0.0.1", server.port());
  center().initConnect();
  ASSERT_TRUE(support::runUntil([&] { return count(kBusServerConnected) == 1; }, 10));
  support::drainMainLoop();
  EXPECT_EQ(count(kBusServerDidDisconnect), 0u);
  EXPECT_TRUE(center().isConnect());
}

TEST_F(ServerNetworkCenterTest, OversizeMessageIsRefused) {
  connect();
  center().sentMsg(std::string(FrameCodec::kMaxBodyLength + 1, 'a'));
  EXPECT_TRUE(logged("refused a message of 999993 bytes"));
  center().sentMsg("\xFF not text");
  EXPECT_TRUE(logged("refused a message that is not UTF-8 text"));
  center().sentMsg(60, {});
  const std::string expected = venue::buildFrame(60, {});
  ASSERT_TRUE(support::runUntil([&] { return server.frameCount() == 1; }, 10));
  // Only the small message went out.
  EXPECT_EQ(server.receivedBytes(), expected);
  EXPECT_TRUE(center().isConnect());
}

TEST_F(ServerNetworkCenterTest, CrcHelpers) {
  EXPECT_EQ(ServerNetworkCenter::getCRC("123456789", 9), 0xA1);
  EXPECT_EQ(ServerNetworkCenter::getCRC("123456789", 0), 0);
  EXPECT_TRUE(ServerNetworkCenter::checkIfVaildMsg(venue::buildFrame(60, {})));
  EXPECT_FALSE(ServerNetworkCenter::checkIfVaildMsg(venue::withBadCrc(venue::buildFrame(60, {}))));
}

}  // namespace
}  // namespace kt
