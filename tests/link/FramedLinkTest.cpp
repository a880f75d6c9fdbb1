#include "link/FramedLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DataCenter.h"
#include "link/sockets/RunLoopSocket.h"
#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"
#include "venue/FrameCodec.h"
#include "venue/RoomServer.h"

namespace kt {
namespace {

using Steps = std::vector<std::string>;

// A bare framed link against the stand-in server. Every bus notice and every handler call goes
// into one list of steps, with the link's isConnect flag where it matters.
class FramedLinkTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    core::Device::setVendorIdentifierForTesting("0F0F0F0F-2222-3333-4444-555555555555");
    DataCenter::resetSharedInstanceForTesting();
    m_previousSink = core::setLogSink([this](const std::string& line) { log.push_back(line); });
    ASSERT_TRUE(server.start());
    // Filtered on the sender, as an observer of the record's own posts would be.
    m_observation = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification,
                                      &DataCenter::sharedInstance(), [this](const core::Notification& n) {
                                        const std::string code = n.userInfo[kBusCodeKey].stringValue();
                                        const std::string detail = n.userInfo[kBusDetailKey].stringValue();
                                        steps.push_back(code == kBusCodeTcpMessage ? "notice:frame"
                                                                                   : "notice:" + detail + flag());
                                        if (onNotice) onNotice(detail);
                                      });
    link = makeLink();
  }
  void TearDown() override {
    m_observation.reset();
    link.reset();
    server.stop();
    support::drainMainLoop();
    core::setLogSink(m_previousSink);
    DataCenter::resetSharedInstanceForTesting();
    core::Device::setVendorIdentifierForTesting(std::nullopt);
  }

  std::unique_ptr<FramedLink> makeLink() {
    return std::make_unique<FramedLink>(
        FramedLink::Settings{
            .name = "TestLink", .connectedNotice = "up", .disconnectedNotice = "down", .connectTimeout = 2.0},
        FramedLink::Handlers{
            .connected = [this] { steps.push_back("connected" + flag()); },
            .disconnected = [this] { steps.push_back("disconnected" + flag()); },
            .frameReceived = [this](const std::string&) { steps.push_back("frame"); },
            .badFrame = [this](int32_t length, const std::string&) { steps.push_back("bad:" + std::to_string(length)); },
            .waitingForBody = [this] { steps.push_back("waiting"); }});
  }
  std::string flag() const { return link ? (link->isConnect() ? "(YES)" : "(NO)") : "(gone)"; }
  size_t count(const std::string& step) const { return std::count(steps.begin(), steps.end(), step); }
  bool logged(const std::string& text) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  void connect() {
    const size_t accepted = server.connectionsAccepted();
    link->connect(std::string("127.0.0.1"), server.port());
    ASSERT_TRUE(support::runUntil([&] { return !steps.empty(); }, 10));
    ASSERT_TRUE(server.waitForConnections(accepted + 1, 5));
  }

  venue::RoomServer server;
  std::unique_ptr<FramedLink> link;
  Steps steps;
  std::vector<std::string> log;
  std::function<void(const std::string& detail)> onNotice;

 private:
  core::LogSink m_previousSink;
  core::Observation m_observation;
};

// ---- The order of notices and handlers --------------------------------------------------------------

TEST_F(FramedLinkTest, HandlersFollowTheirNoticesAndTheFlagChangesBetween) {
  connect();
  EXPECT_EQ(steps, (Steps{"notice:up(NO)", "connected(YES)"}));
  EXPECT_TRUE(logged("TestLink trying to connect server ip: 127.0.0.1, port: " + std::to_string(server.port())));
  EXPECT_TRUE(logged("TestLink did connect to server"));

  // A bad frame, then half a good one; the rest comes later.
  steps.clear();
  const std::string good = venue::buildFrame(60, {"0"});
  ASSERT_TRUE(server.send(venue::withBadCrc(venue::buildFrame(60, {})) + good.substr(0, 8)));
  ASSERT_TRUE(support::runUntil([&] { return count("waiting") == 1; }, 10));
  ASSERT_TRUE(server.send(good.substr(8)));
  ASSERT_TRUE(support::runUntil([&] { return count("notice:frame") == 1; }, 10));
  EXPECT_EQ(steps, (Steps{"bad:13", "waiting", "frame", "notice:frame"}));

  steps.clear();
  server.closeConnection();
  ASSERT_TRUE(support::runUntil([&] { return !steps.empty(); }, 10));
  EXPECT_EQ(steps, (Steps{"notice:down(YES)", "disconnected(NO)"}));
  EXPECT_TRUE(logged("TestLink did disconnect already"));
  EXPECT_TRUE(link->socket());  // kept until the owner lets it go
  link->releaseSocket();
  EXPECT_FALSE(link->socket());
}

TEST_F(FramedLinkTest, AnObserverThatClosesOrReconnectsTakesOverFromTheHandlers) {
  // Closed from inside the connected notice: the link reports the loss and never reads as up.
  onNotice = [this](const std::string& detail) {
    if (detail == "up") link->disconnect();
  };
  link->connect(std::string("127.0.0.1"), server.port());
  ASSERT_TRUE(support::runUntil([&] { return count("disconnected(NO)") == 1; }, 10));
  EXPECT_EQ(steps, (Steps{"notice:up(NO)", "notice:down(NO)", "disconnected(NO)"}));
  EXPECT_FALSE(link->isConnect());

  // A new attempt from inside the disconnected notice: that attempt owns the link now.
  onNotice = [this](const std::string& detail) {
    if (detail == "down") link->connect(std::string("127.0.0.1"), server.port());
  };
  steps.clear();
  link->connect(std::string("127.0.0.1"), server.port());
  ASSERT_TRUE(support::runUntil([&] { return count("connected(YES)") == 1; }, 10));
  ASSERT_TRUE(server.waitForConnections(2, 5));
  steps.clear();
  server.closeConnection();
  ASSERT_TRUE(support::runUntil([&] { return count("connected(YES)") == 1; }, 10));
  EXPECT_EQ(steps, (Steps{"notice:down(YES)", "notice:up(NO)", "connected(YES)"}));
  EXPECT_TRUE(link->isConnect());
}

// ---- A link that goes away -------------------------------------------------------------------------

TEST_F(FramedLinkTest, ALinkDestroyedByAnObserverIsNotTouchedAgain) {
  for (const std::string during : {"up", "frame", "down"}) {
    SCOPED_TRACE(during);
    steps.clear();
    if (!link) link = makeLink();
    onNotice = [&](const std::string& detail) {
      if (detail == during || (during == "frame" && detail.find("first") != std::string::npos)) link.reset();
    };
    const size_t accepted = server.connectionsAccepted();
    link->connect(std::string("127.0.0.1"), server.port());
    ASSERT_TRUE(support::runUntil([&] { return server.connectionsAccepted() > accepted; }, 10));
    if (during != "up") {
      ASSERT_TRUE(support::runUntil([&] { return count("connected(YES)") == 1; }, 10));
      if (during == "frame") {
        ASSERT_TRUE(server.send(venue::buildFrame(60, {"first"}) + venue::buildFrame(60, {"second"})));
      } else {
        server.closeConnection();
      }
    }
    ASSERT_TRUE(support::runUntil([&] { return !link; }, 10));
    support::drainMainLoop();
    // Nothing after the notice that dropped it: no handler, no second frame.
    EXPECT_EQ(steps.back().rfind("notice:", 0), 0u) << steps.back();
    EXPECT_EQ(count("notice:frame"), during == "frame" ? 1u : 0u);
    if (during != "down") {
      EXPECT_TRUE(server.waitForClientClose(5));
    }
    onNotice = nullptr;
  }
}

TEST_F(FramedLinkTest, ASocketDelegateKeptBeyondItsLinkReachesNothing) {
  connect();
  std::shared_ptr<RunLoopSocket> socket = link->socket();
  std::shared_ptr<RunLoopSocketDelegate> delegate = socket->delegate();
  ASSERT_TRUE(delegate);
  link.reset();
  EXPECT_FALSE(socket->delegate());  // silenced

  steps.clear();
  delegate->onSocketDidConnectToHost(*socket, "127.0.0.1", server.port());
  delegate->onSocketDidReadData(*socket, venue::buildFrame(60, {"0"}), 0);
  delegate->onSocketDidDisconnect(*socket);
  EXPECT_EQ(steps, Steps{});
}

}  // namespace
}  // namespace kt
