#include "link/sockets/RunLoopSocket.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <netdb.h>

#include "support/LoopbackPeer.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/net/SocketStream.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"
#include "venue/SilentPort.h"

using kt::RunLoopSocket;
using kt::RunLoopSocketDelegate;

namespace {

// Records every delegate call; hooks let a test act from inside a callback.
struct Recorder : RunLoopSocketDelegate {
  std::vector<std::string> events;
  std::vector<std::pair<std::string, long>> reads;
  std::vector<size_t> partialReads;
  std::vector<long> writes;
  std::vector<size_t> partialWrites;
  std::vector<double> readTimeoutElapsed;
  std::vector<double> writeTimeoutElapsed;
  std::optional<core::Error> error;
  bool willDisconnect = false;
  bool disconnected = false;
  bool connected = false;
  bool secured = false;
  std::string connectedHost;
  uint16_t connectedPort = 0;
  std::optional<std::string> unread;
  std::vector<std::shared_ptr<RunLoopSocket>> accepted;

  std::function<void(RunLoopSocket&, const std::string&, long)> onRead;
  std::function<void(RunLoopSocket&)> onDisconnect;
  std::function<void(RunLoopSocket&, size_t)> onPartialWrite;
  std::function<double(double)> readExtension;
  std::function<double(double)> writeExtension;
  bool allowConnect = true;

  bool onSocketWillConnect(RunLoopSocket&) override {
    events.push_back("willConnect");
    return allowConnect;
  }
  void onSocketDidAcceptNewSocket(RunLoopSocket&, const std::shared_ptr<RunLoopSocket>& s) override {
    events.push_back("accept");
    accepted.push_back(s);
  }
  void onSocketDidConnectToHost(RunLoopSocket&, const std::string& host, uint16_t port) override {
    events.push_back("connect");
    connected = true;
    connectedHost = host;
    connectedPort = port;
  }
  void onSocketDidReadData(RunLoopSocket& s, const std::string& data, long tag) override {
    events.push_back("read");
    reads.emplace_back(data, tag);
    if (onRead) onRead(s, data, tag);
  }
  void onSocketDidReadPartialDataOfLength(RunLoopSocket&, size_t length, long) override {
    events.push_back("partialRead");
    partialReads.push_back(length);
  }
  void onSocketDidWriteDataWithTag(RunLoopSocket&, long tag) override {
    events.push_back("write");
    writes.push_back(tag);
  }
  void onSocketDidWritePartialDataOfLength(RunLoopSocket& s, size_t length, long) override {
    events.push_back("partialWrite");
    partialWrites.push_back(length);
    if (onPartialWrite) onPartialWrite(s, length);
  }
  double onSocketShouldTimeoutReadWithTag(RunLoopSocket&, long, double elapsed, size_t) override {
    readTimeoutElapsed.push_back(elapsed);
    return readExtension ? readExtension(elapsed) : 0;
  }
  double onSocketShouldTimeoutWriteWithTag(RunLoopSocket&, long, double elapsed, size_t) override {
    writeTimeoutElapsed.push_back(elapsed);
    return writeExtension ? writeExtension(elapsed) : 0;
  }
  void onSocketDidSecure(RunLoopSocket&) override {
    events.push_back("secure");
    secured = true;
  }
  void onSocketWillDisconnectWithError(RunLoopSocket& s, const core::Error* e) override {
    events.push_back("willDisconnect");
    willDisconnect = true;
    if (e) error = *e;
    unread = s.unreadData();
  }
  void onSocketDidDisconnect(RunLoopSocket& s) override {
    events.push_back("didDisconnect");
    disconnected = true;
    if (onDisconnect) onDisconnect(s);
  }
};

class RunLoopSocketTest : public support::TempHomeTest {
 protected:
  void TearDown() override {
    // Accepted sockets and the delegate hold each other: break the cycle.
    for (auto& r : m_recorders) {
      for (auto& s : r->accepted) s->setDelegate(nullptr);
      r->accepted.clear();
      r->onRead = nullptr;
      r->onDisconnect = nullptr;
      r->onPartialWrite = nullptr;
    }
    for (int fd : m_fds) ::close(fd);
  }

  std::shared_ptr<Recorder> recorder() {
    auto r = std::make_shared<Recorder>();
    m_recorders.push_back(r);
    return r;
  }

  // A client connected to a plain peer; the peer's descriptor is returned.
  int connectPair(const std::shared_ptr<RunLoopSocket>& socket, Recorder& rec, int receiveBuffer = 0) {
    m_listener = std::make_unique<looptest::Listener>();
    EXPECT_TRUE(m_listener->ok());
    core::Error error;
    EXPECT_TRUE(socket->connectToHost("127.0.0.1", m_listener->port(), 5.0, &error)) << error.description();
    EXPECT_TRUE(support::runUntil([&] { return m_listener->hasPending(); }));
    int fd = m_listener->accept(5000, receiveBuffer);
    EXPECT_GE(fd, 0);
    if (fd >= 0) m_fds.push_back(fd);
    EXPECT_TRUE(support::runUntil([&] { return rec.connected; }));
    return fd;
  }

  void closePeer(int fd) {
    ::close(fd);
    std::erase(m_fds, fd);
  }

  std::vector<std::shared_ptr<Recorder>> m_recorders;
  std::vector<int> m_fds;
  std::unique_ptr<looptest::Listener> m_listener;
};

// ---- creation, description, modes --------------------------------------------------------

TEST_F(RunLoopSocketTest, DescriptionOfANewSocket) {
  auto socket = RunLoopSocket::create();
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "<RunLoopSocket %p local nowhere remote nowhere has queued 0 reads 0 writes, no current read, "
                "no current write, read stream %p not open, write stream %p not open, not connected>",
                static_cast<void*>(socket.get()), nullptr, nullptr);
  EXPECT_EQ(socket->description(), expected);
  EXPECT_TRUE(socket->isDisconnected());
  EXPECT_FALSE(socket->isConnected());
  EXPECT_EQ(socket->flags(), RunLoopSocket::PreBuffer);
  EXPECT_TRUE(std::isnan(socket->progressOfReadReturningTag(nullptr, nullptr, nullptr)));
  EXPECT_TRUE(std::isnan(socket->progressOfWriteReturningTag(nullptr, nullptr, nullptr)));
}

TEST_F(RunLoopSocketTest, TerminatorsAndErrors) {
  EXPECT_EQ(RunLoopSocket::CRLFData(), "\r\n");
  EXPECT_EQ(RunLoopSocket::ZeroData(), std::string(1, '\0'));
  core::Error e = RunLoopSocket::getConnectTimeoutError();
  EXPECT_EQ(e.domain(), "RunLoopSocketErrorDomain");
  EXPECT_EQ(e.code(), 2);
  EXPECT_EQ(e.localizedDescription(), "Attempt to connect to host timed out");
  EXPECT_EQ(RunLoopSocket::getSocketError().code(), -1);
  EXPECT_EQ(RunLoopSocket::getWriteTimeoutError().localizedDescription(), "Write operation timed out");
  auto netdb = RunLoopSocket::errorFromStreamError({net::StreamErrorDomain::NetDB, EAI_NONAME, {}});
  ASSERT_TRUE(netdb);
  EXPECT_EQ(netdb->domain(), "NetDBErrorDomain");
  EXPECT_EQ(netdb->localizedDescription(), gai_strerror(EAI_NONAME));
  EXPECT_FALSE(RunLoopSocket::errorFromStreamError({}));
}

TEST_F(RunLoopSocketTest, RunLoopModes) {
  auto socket = RunLoopSocket::create();
  EXPECT_FALSE(socket->removeRunLoopMode(core::RunLoop::DefaultMode));
  EXPECT_EQ(socket->runLoopModes(), std::vector<std::string>{core::RunLoop::DefaultMode});
  EXPECT_TRUE(socket->removeRunLoopMode("absent"));
  EXPECT_FALSE(socket->addRunLoopMode(""));
  EXPECT_TRUE(socket->addRunLoopMode("tracking"));
  EXPECT_TRUE(socket->addRunLoopMode("tracking"));
  EXPECT_TRUE(socket->removeRunLoopMode(core::RunLoop::DefaultMode));
  EXPECT_EQ(socket->runLoopModes(), std::vector<std::string>{"tracking"});
  EXPECT_FALSE(socket->setRunLoopModes({}));
  EXPECT_TRUE(socket->setRunLoopModes({core::RunLoop::DefaultMode}));
  EXPECT_FALSE(socket->moveToRunLoop(nullptr));
}

TEST_F(RunLoopSocketTest, MisuseRaisesNamedException) {
  auto socket = RunLoopSocket::create();
  try {
    socket->connectToHost("127.0.0.1", 1, 1.0);
    FAIL() << "no exception";
  } catch (const kt::RunLoopSocketException& e) {
    EXPECT_STREQ(e.name(), "RunLoopSocketException");
    EXPECT_EQ(e.reason(), "Attempting to connect without a delegate. Set a delegate first.");
  }
  auto rec = recorder();
  socket->setDelegate(rec);
  ASSERT_TRUE(socket->acceptOnInterface("127.0.0.1", 0));
  EXPECT_THROW(socket->acceptOnPort(0), kt::RunLoopSocketException);
  try {
    socket->connectToHost("127.0.0.1", 1, 1.0);
    FAIL() << "no exception";
  } catch (const kt::RunLoopSocketException& e) {
    EXPECT_EQ(e.reason(), "Attempting to connect while connected or accepting connections. Disconnect first.");
  }
  socket->disconnect();
}

// ---- connecting ---------------------------------------------------------------------------

TEST_F(RunLoopSocketTest, ConnectsAndReportsPeer) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  ASSERT_GE(peer, 0);
  EXPECT_EQ(rec->events, (std::vector<std::string>{"willConnect", "connect"}));
  EXPECT_EQ(rec->connectedHost, "127.0.0.1");
  EXPECT_EQ(rec->connectedPort, m_listener->port());
  EXPECT_TRUE(socket->isConnected());
  EXPECT_TRUE(socket->isIPv4());
  EXPECT_FALSE(socket->isIPv6());
  EXPECT_EQ(socket->localHost(), "127.0.0.1");
  EXPECT_NE(socket->localPort(), 0);
  auto address = socket->connectedAddress();
  ASSERT_TRUE(address);
  EXPECT_EQ(address->size(), sizeof(sockaddr_in));
  EXPECT_EQ(RunLoopSocket::portFromAddress(*address), m_listener->port());
  const std::string text = socket->description();
  EXPECT_NE(text.find("remote 127.0.0.1 " + std::to_string(m_listener->port()) + " "), std::string::npos) << text;
  EXPECT_NE(text.find("read stream"), std::string::npos);
  EXPECT_EQ(text.find("not connected"), std::string::npos);
}

TEST_F(RunLoopSocketTest, ConnectByNameTriesEachAddress) {
  // "localhost" may resolve to ::1 first, where nothing listens; the IPv4 address must follow.
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  looptest::Listener listener;
  ASSERT_TRUE(socket->connectToHost("localhost", listener.port(), 5.0));
  ASSERT_TRUE(support::runUntil([&] { return listener.hasPending(); }));
  int fd = listener.accept();
  ASSERT_GE(fd, 0);
  m_fds.push_back(fd);
  ASSERT_TRUE(support::runUntil([&] { return rec->connected || rec->disconnected; }));
  EXPECT_TRUE(rec->connected);
  EXPECT_EQ(rec->connectedHost, "127.0.0.1");
}

TEST_F(RunLoopSocketTest, RefusedConnectionReportsPosixError) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  ASSERT_TRUE(socket->connectToHost("127.0.0.1", looptest::closedPort(), 2.0));
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }));
  EXPECT_EQ(rec->events, (std::vector<std::string>{"willConnect", "willDisconnect", "didDisconnect"}));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->domain(), RunLoopSocket::PosixErrorDomain);
  EXPECT_EQ(rec->error->code(), ECONNREFUSED);
  EXPECT_TRUE(socket->isDisconnected());
}

TEST_F(RunLoopSocketTest, ConnectTimesOutAgainstSilentAddress) {
  venue::SilentPort silent;
  if (!silent.isReady()) GTEST_SKIP() << "no silent address on this machine";
  support::VirtualClock clock;
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  const double start = core::Clock::now();
  ASSERT_TRUE(socket->connectToHost(silent.host(), silent.port(), 2.0));
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }, 20));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->domain(), "RunLoopSocketErrorDomain");
  EXPECT_EQ(rec->error->code(), RunLoopSocket::ConnectTimeoutError);
  EXPECT_EQ(rec->error->localizedDescription(), "Attempt to connect to host timed out");
  EXPECT_GE(core::Clock::now() - start, 2.0);
  EXPECT_FALSE(rec->connected);
}

TEST_F(RunLoopSocketTest, SynchronousFailuresTellTheDelegateNothing) {
  auto rec = recorder();
  rec->allowConnect = false;
  auto socket = RunLoopSocket::create(rec);
  core::Error error;
  EXPECT_FALSE(socket->connectToHost("127.0.0.1", 9, 1.0, &error));
  EXPECT_EQ(error.code(), RunLoopSocket::CanceledError);
  EXPECT_EQ(error.localizedDescription(), "Connection canceled");
  EXPECT_TRUE(socket->isDisconnected());
  EXPECT_FALSE(socket->connectToAddress(std::string("xx"), &error));
  EXPECT_EQ(error.code(), -1);
  EXPECT_EQ(error.localizedDescription(), "Remote address is not IPv4 or IPv6");
  EXPECT_EQ(rec->events, (std::vector<std::string>{"willConnect"}));
  EXPECT_FALSE(rec->disconnected);
}

TEST_F(RunLoopSocketTest, ConnectToAddress) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  looptest::Listener listener;
  ASSERT_TRUE(socket->connectToAddress(listener.address(), 5.0));
  ASSERT_TRUE(support::runUntil([&] { return listener.hasPending(); }));
  int fd = listener.accept();
  ASSERT_GE(fd, 0);
  m_fds.push_back(fd);
  ASSERT_TRUE(support::runUntil([&] { return rec->connected; }));
  EXPECT_EQ(rec->connectedPort, listener.port());
  EXPECT_TRUE(socket->isIPv4());
  socket->writeData("ping", -1, 3);
  ASSERT_TRUE(support::runUntil([&] { return !rec->writes.empty(); }));
  EXPECT_EQ(looptest::receive(fd, 4), "ping");
}

TEST_F(RunLoopSocketTest, DisconnectIsSynchronousAndSilentAboutErrors) {
  auto rec = recorder();
  auto never = RunLoopSocket::create(rec);
  never->disconnect();
  EXPECT_TRUE(rec->events.empty());

  auto socket = RunLoopSocket::create(rec);
  connectPair(socket, *rec);
  socket->writeData("queued", 5.0, 0);
  socket->disconnect();
  EXPECT_TRUE(rec->disconnected);
  EXPECT_FALSE(rec->willDisconnect);
  EXPECT_TRUE(socket->isDisconnected());
  EXPECT_EQ(socket->flags(), RunLoopSocket::PreBuffer);
  support::drainMainLoop();
  EXPECT_TRUE(rec->writes.empty());
}

TEST_F(RunLoopSocketTest, PeerCloseIsAnOrderlyEnd) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  socket->readDataWithTimeout(-1, 0);
  closePeer(peer);
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }));
  EXPECT_TRUE(rec->willDisconnect);
  EXPECT_FALSE(rec->error);
}

// ---- reads --------------------------------------------------------------------------------

TEST_F(RunLoopSocketTest, AvailableReadTakesEverythingThatArrived) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  socket->readDataWithTimeout(-1, 7);
  support::drainMainLoop();
  EXPECT_TRUE(rec->reads.empty());  // stays current with nothing waiting
  std::string big(1000, 'x');
  big[999] = 'y';
  looptest::sendAll(peer, big);
  ASSERT_TRUE(support::runUntil([&] { return !rec->reads.empty(); }));
  size_t total = rec->reads[0].first.size();
  EXPECT_EQ(rec->reads[0].second, 7);
  // Whatever did not make it into the first read comes with the next one.
  while (total < big.size()) {
    size_t before = rec->reads.size();
    socket->readDataWithTimeout(-1, 7);
    ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() > before; }));
    total += rec->reads.back().first.size();
  }
  std::string joined;
  for (auto& r : rec->reads) joined += r.first;
  EXPECT_EQ(joined, big);
}

TEST_F(RunLoopSocketTest, FixedLengthReadAcrossChunks) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  socket->readDataToLength(5, -1, 1);
  socket->readDataWithTimeout(-1, 2);
  looptest::sendAll(peer, "ab");
  ASSERT_TRUE(support::runUntil([&] { return !rec->partialReads.empty(); }));
  EXPECT_EQ(rec->partialReads[0], 2u);
  long tag = 0;
  uint64_t done = 0, total = 0;
  EXPECT_FLOAT_EQ(socket->progressOfReadReturningTag(&tag, &done, &total), 0.4f);
  EXPECT_EQ(tag, 1);
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(total, 5u);
  looptest::sendAll(peer, "cdefg");
  ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() == 2; }));
  EXPECT_EQ(rec->reads[0], (std::pair<std::string, long>("abcde", 1)));
  EXPECT_EQ(rec->reads[1], (std::pair<std::string, long>("fg", 2)));
}

TEST_F(RunLoopSocketTest, CallerBufferGetsBytesAtOffset) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  auto buffer = std::make_shared<std::string>("XY");
  socket->readDataToLength(3, -1, buffer, 2, 1);
  // An available read into a roomy buffer is limited by its room and the maximum.
  auto roomy = std::make_shared<std::string>("0123456789");
  socket->readDataWithTimeout(-1, roomy, 4, 4, 2);
  looptest::sendAll(peer, "abcdefgh");
  ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() == 2; }));
  EXPECT_EQ(*buffer, "XYabc");
  EXPECT_EQ(rec->reads[0].first, "abc");
  EXPECT_EQ(rec->reads[1].first, "defg");
  EXPECT_EQ(*roomy, "0123defg89");  // kept at its length: nothing grew
}

TEST_F(RunLoopSocketTest, RequestsBreakingTheirRulesAreIgnored) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  socket->readDataToLength(0, -1, 1);
  socket->readDataToData("", -1, 2);
  socket->readDataToData("\r\n", -1, 1, 3);  // maximum shorter than the terminator
  socket->readDataWithTimeout(-1, std::make_shared<std::string>("ab"), 3, 4);  // offset past the end
  socket->writeData("", -1, 5);
  socket->readDataWithTimeout(-1, 6);
  looptest::sendAll(peer, "z");
  ASSERT_TRUE(support::runUntil([&] { return !rec->reads.empty(); }));
  EXPECT_EQ(rec->reads[0], (std::pair<std::string, long>("z", 6)));
  EXPECT_TRUE(rec->writes.empty());
}

TEST_F(RunLoopSocketTest, TerminatorWithReadAheadKeepsSurplusForNextRead) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  socket->readDataToData(RunLoopSocket::CRLFData(), -1, 1);
  looptest::sendAll(peer, "ab\r\ncd");
  ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() == 1; }));
  EXPECT_EQ(rec->reads[0].first, "ab\r\n");
  socket->readDataToData(RunLoopSocket::CRLFData(), -1, 2);
  looptest::sendAll(peer, "ef\r\n");
  ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() == 2; }));
  EXPECT_EQ(rec->reads[1].first, "cdef\r\n");
}

TEST_F(RunLoopSocketTest, TerminatorFoundInsideReadAhead) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  looptest::sendAll(peer, "x\r\ny\r\nz");
  socket->readDataToData(RunLoopSocket::CRLFData(), -1, 1);
  socket->readDataToData(RunLoopSocket::CRLFData(), -1, 2);
  socket->readDataWithTimeout(-1, 3);
  ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() == 3; }));
  EXPECT_EQ(rec->reads[0].first, "x\r\n");
  EXPECT_EQ(rec->reads[1].first, "y\r\n");
  EXPECT_EQ(rec->reads[2].first, "z");
}

TEST_F(RunLoopSocketTest, TerminatorSplitAcrossReadsWithAndWithoutReadAhead) {
  for (bool readAhead : {true, false}) {
    SCOPED_TRACE(readAhead ? "read-ahead" : "no read-ahead");
    auto rec = recorder();
    auto socket = RunLoopSocket::create(rec);
    if (!readAhead) socket->disablePreBuffering();
    int peer = connectPair(socket, *rec);
    const std::string term = "END!";
    socket->readDataToData(term, -1, 1);
    socket->readDataWithTimeout(-1, 2);
    // The terminator arrives in three pieces, a false start first.
    looptest::sendAll(peer, "abcEN");
    ASSERT_TRUE(support::runUntil([&] { return rec->partialReads.size() == 1; }));
    looptest::sendAll(peer, "xEND");
    ASSERT_TRUE(support::runUntil([&] { return rec->partialReads.size() == 2; }));
    looptest::sendAll(peer, "!tail");
    ASSERT_TRUE(support::runUntil([&] { return rec->reads.size() == 2; }));
    EXPECT_EQ(rec->reads[0].first, "abcENxEND!");
    EXPECT_EQ(rec->reads[1].first, "tail");
    socket->disconnect();
  }
}

TEST_F(RunLoopSocketTest, ReadToMaximumWithoutTerminatorFailsWithCode3) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  socket->readDataToData(RunLoopSocket::LFData(), -1, 4, 1);
  looptest::sendAll(peer, "abcdef");
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->code(), RunLoopSocket::ReadMaxedOutError);
  EXPECT_EQ(rec->error->localizedDescription(), "Read operation reached set maximum length");
  EXPECT_TRUE(rec->reads.empty());
}

TEST_F(RunLoopSocketTest, ReadTimeoutExtensionAccumulatesAndUnreadDataIsRecovered) {
  support::VirtualClock clock;
  auto rec = recorder();
  rec->readExtension = [](double elapsed) { return elapsed < 6 ? 2.0 : 0.0; };
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  looptest::sendAll(peer, "abc");
  socket->readDataToData(RunLoopSocket::CRLFData(), 5.0, 1);
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }, 20));
  EXPECT_EQ(rec->readTimeoutElapsed, (std::vector<double>{5.0, 7.0}));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->code(), RunLoopSocket::ReadTimeoutError);
  EXPECT_EQ(rec->unread, "abc");
}

// ---- writes -------------------------------------------------------------------------------

TEST_F(RunLoopSocketTest, WritesGoOutWholeAndInOrder) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  int peer = connectPair(socket, *rec);
  std::string big(10000, 'q');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  socket->writeData("first", 5.0, 1);
  socket->writeData(big, 5.0, 2);
  socket->writeData("last", 5.0, 3);
  EXPECT_EQ(looptest::receive(peer, 0), "");
  std::string got;
  ASSERT_TRUE(support::runUntil([&] {
    got += looptest::receive(peer, 5 + big.size() + 4 - got.size(), 0);
    return rec->writes.size() == 3;
  }));
  got += looptest::receive(peer, 5 + big.size() + 4 - got.size());
  EXPECT_EQ(got, "first" + big + "last");
  EXPECT_EQ(rec->writes, (std::vector<long>{1, 2, 3}));
}

TEST_F(RunLoopSocketTest, StalledPeerTimesOutWriteAfterExtension) {
  support::VirtualClock clock;
  auto rec = recorder();
  rec->writeExtension = [](double elapsed) { return elapsed < 2 ? 2.0 : 0.0; };
  auto socket = RunLoopSocket::create(rec);
  connectPair(socket, *rec, 4096);
  int small = 4096;
  ::setsockopt(socket->getWriteStream()->nativeHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  socket->writeData(std::string(8 << 20, 'w'), 1.0, 9);
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }, 30));
  EXPECT_EQ(rec->writeTimeoutElapsed, (std::vector<double>{1.0, 3.0}));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->code(), RunLoopSocket::WriteTimeoutError);
  EXPECT_FALSE(rec->partialWrites.empty());
  EXPECT_TRUE(rec->writes.empty());
}

TEST_F(RunLoopSocketTest, DisconnectDuringWrite) {
  auto rec = recorder();
  auto socket = RunLoopSocket::create(rec);
  connectPair(socket, *rec, 4096);
  rec->onPartialWrite = [](RunLoopSocket& s, size_t) { s.disconnect(); };
  socket->writeData(std::string(8 << 20, 'w'), -1, 1);
  socket->writeData("after", -1, 2);
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }));
  EXPECT_FALSE(rec->willDisconnect);
  EXPECT_TRUE(rec->writes.empty());
  EXPECT_EQ(rec->events.back(), "didDisconnect");
  EXPECT_EQ(rec->partialWrites.size(), 1u);
  support::drainMainLoop();
  EXPECT_TRUE(socket->isDisconnected());
}

// ---- destruction from inside callbacks --------------------------------------------------

TEST_F(RunLoopSocketTest, DelegateDropsLastReferenceInsideReadCallback) {
  auto rec = recorder();
  auto holder = std::make_shared<std::shared_ptr<RunLoopSocket>>(RunLoopSocket::create(rec));
  std::weak_ptr<RunLoopSocket> weak = *holder;
  int peer = connectPair(*holder, *rec);
  rec->onRead = [holder](RunLoopSocket& s, const std::string&, long) {
    s.disconnect();
    holder->reset();
    // Still usable until the callback has returned.
    EXPECT_TRUE(s.isDisconnected());
  };
  (*holder)->readDataWithTimeout(-1, 0);
  looptest::sendAll(peer, "bye");
  ASSERT_TRUE(support::runUntil([&] { return weak.expired(); }));
  EXPECT_EQ(rec->reads.size(), 1u);
  EXPECT_TRUE(rec->disconnected);
}

TEST_F(RunLoopSocketTest, ReconnectFromDisconnectCallbackReplacesSocket) {
  // The event-bus pattern: on disconnect, replace the socket at once and drop the old one.
  auto rec = recorder();
  auto current = std::make_shared<std::shared_ptr<RunLoopSocket>>(RunLoopSocket::create(rec));
  std::weak_ptr<RunLoopSocket> first = *current;
  int peer = connectPair(*current, *rec);
  int reconnects = 0;
  const uint16_t port = m_listener->port();
  rec->onDisconnect = [current, &reconnects, port, rec = rec.get()](RunLoopSocket&) {
    if (reconnects++ > 0) return;
    *current = RunLoopSocket::create(current->get()->delegate());
    rec->connected = false;
    (*current)->connectToHost("127.0.0.1", port, 5.0);
  };
  (*current)->readDataWithTimeout(-1, 0);
  closePeer(peer);
  ASSERT_TRUE(support::runUntil([&] { return reconnects == 1 && m_listener->hasPending(); }));
  int second = m_listener->accept();
  ASSERT_GE(second, 0);
  m_fds.push_back(second);
  ASSERT_TRUE(support::runUntil([&] { return rec->connected && first.expired(); }));
  EXPECT_TRUE((*current)->isConnected());
  (*current)->disconnect();
  current->reset();
}

// ---- listening ----------------------------------------------------------------------------

TEST_F(RunLoopSocketTest, ListenAndAcceptIPv4) {
  auto serverRec = recorder();
  auto server = RunLoopSocket::create(serverRec);
  core::Error error;
  ASSERT_TRUE(server->acceptOnInterface("127.0.0.1", 0, &error)) << error.description();
  EXPECT_TRUE(server->isIPv4());
  EXPECT_FALSE(server->isIPv6());
  const uint16_t port = server->localPort();
  ASSERT_NE(port, 0);

  auto clientRec = recorder();
  auto client = RunLoopSocket::create(clientRec);
  ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5.0));
  ASSERT_TRUE(support::runUntil([&] { return clientRec->connected && serverRec->connected; }));
  ASSERT_EQ(serverRec->accepted.size(), 1u);
  auto accepted = serverRec->accepted[0];
  EXPECT_EQ(serverRec->events, (std::vector<std::string>{"accept", "willConnect", "connect"}));
  EXPECT_TRUE(accepted->isIPv4());
  EXPECT_EQ(accepted->connectedPort(), client->localPort());

  accepted->readDataToData(RunLoopSocket::LFData(), 5.0, 4);
  client->writeData("hello\n", 5.0, 0);
  ASSERT_TRUE(support::runUntil([&] { return !serverRec->reads.empty(); }));
  EXPECT_EQ(serverRec->reads[0], (std::pair<std::string, long>("hello\n", 4)));
  accepted->disconnect();
  ASSERT_TRUE(support::runUntil([&] { return clientRec->disconnected; }));
  server->disconnect();
}

TEST_F(RunLoopSocketTest, ListenAndAcceptIPv6) {
  auto serverRec = recorder();
  auto server = RunLoopSocket::create(serverRec);
  if (!server->acceptOnInterface("::1", 0)) GTEST_SKIP() << "::1 is not available on this machine";
  EXPECT_TRUE(server->isIPv6());
  const uint16_t port = server->localPort6();
  auto clientRec = recorder();
  auto client = RunLoopSocket::create(clientRec);
  ASSERT_TRUE(client->connectToHost("::1", port, 5.0));
  ASSERT_TRUE(support::runUntil([&] { return clientRec->connected && serverRec->connected; }));
  EXPECT_EQ(clientRec->connectedHost, "::1");
  EXPECT_TRUE(client->isIPv6());
  ASSERT_EQ(serverRec->accepted.size(), 1u);
  EXPECT_TRUE(serverRec->accepted[0]->isIPv6());
  auto address = client->connectedAddress();
  ASSERT_TRUE(address);
  EXPECT_EQ(address->size(), sizeof(sockaddr_in6));
  server->disconnect();
}

TEST_F(RunLoopSocketTest, ListenOnEveryInterfaceSharesThePort) {
  auto rec = recorder();
  auto server = RunLoopSocket::create(rec);
  ASSERT_TRUE(server->acceptOnPort(0));
  EXPECT_TRUE(server->isIPv4());
  if (server->isIPv6()) {
    EXPECT_EQ(server->localPort4(), server->localPort6());
    EXPECT_NE(server->description().find("0.0.0.0/:: "), std::string::npos) << server->description();
  }
  server->disconnect();
  EXPECT_TRUE(rec->disconnected);
  EXPECT_TRUE(server->isDisconnected());
}

}  // namespace
