#include "link/sockets/RunLoopUdpSocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "support/RunUntil.h"

namespace kt {
namespace {

using namespace std::string_literals;

struct Event {
  std::string kind;  // "sent", "notSent", "received", "notReceived", "closed"
  long tag = 0;
  std::string data;
  std::string host;
  uint16_t port = 0;
  core::Error error;

  Event(std::string k, long t = 0, core::Error e = {}) : kind(std::move(k)), tag(t), error(std::move(e)) {}
};

// Records every callback; hooks let a test answer or act from inside one.
class Recorder : public RunLoopUdpSocketDelegate {
 public:
  std::vector<Event> events;
  std::function<bool(RunLoopUdpSocket&, const Event&)> answer;  // for received data; default: accept
  std::function<void(RunLoopUdpSocket&, const Event&)> after;   // after any recorded event

  void onUdpSocketDidSendDataWithTag(RunLoopUdpSocket& sock, long tag) override { record(sock, Event("sent", tag)); }
  void onUdpSocketDidNotSendDataWithTag(RunLoopUdpSocket& sock, long tag, const core::Error& error) override {
    record(sock, Event("notSent", tag, error));
  }
  bool onUdpSocketDidReceiveData(RunLoopUdpSocket& sock, const std::string& data, long tag, const std::string& host,
                                 uint16_t port) override {
    Event e("received", tag);
    e.data = data;
    e.host = host;
    e.port = port;
    bool accepted = answer ? answer(sock, e) : true;
    record(sock, e);
    return accepted;
  }
  void onUdpSocketDidNotReceiveDataWithTag(RunLoopUdpSocket& sock, long tag, const core::Error& error) override {
    record(sock, Event("notReceived", tag, error));
  }
  void onUdpSocketDidClose(RunLoopUdpSocket& sock) override { record(sock, Event("closed")); }

  size_t count(const std::string& kind) const {
    size_t n = 0;
    for (const auto& e : events) n += e.kind == kind;
    return n;
  }
  std::vector<std::string> kinds() const {
    std::vector<std::string> out;
    for (const auto& e : events) out.push_back(e.kind);
    return out;
  }

 private:
  void record(RunLoopUdpSocket& sock, const Event& e) {
    events.push_back(e);
    if (after) after(sock, e);
  }
};

bool loopbackIPv6Available() {
  int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  sockaddr_in6 sin6{};
  sin6.sin6_family = AF_INET6;
  sin6.sin6_addr = in6addr_loopback;
  bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&sin6), sizeof sin6) == 0;
  ::close(fd);
  return ok;
}

bool loopbackHasMulticast() {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_MULTICAST);
  ::close(fd);
  return ok;
}

std::string ipv4(const char* host, uint16_t port) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(port);
  ::inet_pton(AF_INET, host, &sin.sin_addr);
  return std::string(reinterpret_cast<const char*>(&sin), sizeof sin);
}

// A socket bound to 127.0.0.1 on a free port, with its own recorder.
struct Peer {
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<RunLoopUdpSocket> sock;

  explicit Peer(const char* host = "127.0.0.1") {
    sock = RunLoopUdpSocket::create(recorder);
    core::Error error;
    EXPECT_TRUE(sock->bindToAddress(std::string(host), 0, &error)) << error.description();
  }
  ~Peer() {
    if (sock) sock->setDelegate(nullptr);
  }
  uint16_t port() const { return sock->localPort(); }
};

template <typename Fn>
void expectMisuse(Fn&& fn, const std::string& reason) {
  try {
    fn();
    ADD_FAILURE() << "no exception, expected: " << reason;
  } catch (const RunLoopUdpSocketException& e) {
    EXPECT_EQ(e.what(), reason);
    EXPECT_STREQ(e.name(), "RunLoopUdpSocketException");
  }
}

// ---- sending and receiving on loopback ----

TEST(RunLoopUdpSocketTest, SendsAndReceivesOverIPv4Loopback) {
  Peer receiver;
  EXPECT_TRUE(receiver.sock->isIPv4());
  EXPECT_FALSE(receiver.sock->isIPv6()) << "binding to an IPv4 address closes the IPv6 socket";
  EXPECT_EQ(receiver.sock->localHost(), "127.0.0.1");
  ASSERT_NE(receiver.port(), 0);

  auto senderRecorder = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::create(senderRecorder);
  const std::string payload = "a\0b\xff\r\n"s;
  receiver.sock->receiveWithTimeout(-1, 7);
  ASSERT_TRUE(sender->sendData(payload, "127.0.0.1", receiver.port(), -1, 3));

  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("received") == 1 && senderRecorder->count("sent") == 1; }));
  const Event& got = receiver.recorder->events.at(0);
  EXPECT_EQ(got.data, payload);
  EXPECT_EQ(got.tag, 7);
  EXPECT_EQ(got.host, "127.0.0.1");
  EXPECT_EQ(got.port, sender->localPort());
  EXPECT_EQ(senderRecorder->events.at(0).tag, 3);

  // The send bound the sender, so it cannot be bound again.
  expectMisuse([&] { sender->bindToPort(0); }, "Cannot bind a socket more than once.");
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, SendsAndReceivesOverIPv6Loopback) {
  if (!loopbackIPv6Available()) GTEST_SKIP() << "::1 is not available on this machine";
  Peer receiver("::1");
  EXPECT_TRUE(receiver.sock->isIPv6());
  EXPECT_FALSE(receiver.sock->isIPv4());
  EXPECT_EQ(receiver.sock->localHost(), "::1");

  // A dual socket sends to an IPv6-only host through its IPv6 socket.
  auto senderRecorder = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::create(senderRecorder);
  receiver.sock->receiveWithTimeout(-1, 1);
  ASSERT_TRUE(sender->sendData("over six", "::1", receiver.port(), -1, 2));
  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("received") == 1; }));
  EXPECT_EQ(receiver.recorder->events.at(0).data, "over six");
  EXPECT_EQ(receiver.recorder->events.at(0).host, "::1");
  EXPECT_EQ(senderRecorder->kinds(), std::vector<std::string>{"sent"});

  // "localhost" binds both families.
  auto both = RunLoopUdpSocket::create();
  ASSERT_TRUE(both->bindToAddress("localhost"s, 0));
  EXPECT_TRUE(both->isIPv4());
  EXPECT_TRUE(both->isIPv6());
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, ReceivesDatagramsAlreadyWaitingAndTruncatesToMaximumSize) {
  Peer receiver;
  receiver.sock->setMaxReceiveBufferSize(4);
  auto sent = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::createIPv4(sent);
  ASSERT_TRUE(sender->sendData("0123456789", "127.0.0.1", receiver.port(), -1, 0));
  ASSERT_TRUE(sender->sendData("second", "127.0.0.1", receiver.port(), -1, 0));
  // Both datagrams wait at the receiver (loopback delivers within the send) before any receive is queued.
  ASSERT_TRUE(support::runUntil([&] { return sent->count("sent") == 2; }));
  receiver.sock->receiveWithTimeout(-1, 1);
  receiver.sock->receiveWithTimeout(-1, 2);
  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("received") == 2; }));
  EXPECT_EQ(receiver.recorder->events[0].data, "0123");
  EXPECT_EQ(receiver.recorder->events[0].tag, 1);
  EXPECT_EQ(receiver.recorder->events[1].data, "seco");
  EXPECT_EQ(receiver.recorder->events[1].tag, 2);
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, DelegateAnsweringNoKeepsTheReceiveCurrent) {
  Peer receiver;
  receiver.recorder->answer = [](RunLoopUdpSocket&, const Event& e) { return e.data != "skip"; };
  auto sender = RunLoopUdpSocket::createIPv4();
  receiver.sock->receiveWithTimeout(-1, 4);
  ASSERT_TRUE(sender->sendData("skip", "127.0.0.1", receiver.port(), -1, 0));
  ASSERT_TRUE(sender->sendData("take", "127.0.0.1", receiver.port(), -1, 0));
  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("received") == 2; }));
  EXPECT_EQ(receiver.recorder->events[0].data, "skip");
  EXPECT_EQ(receiver.recorder->events[1].data, "take");
  EXPECT_EQ(receiver.recorder->events[1].tag, 4);
}

TEST(RunLoopUdpSocketTest, ReceiveTimesOutWithCode5AndTheNextReceiveProceeds) {
  support::VirtualClock clock;
  Peer receiver;
  receiver.sock->receiveWithTimeout(2.0, 9);
  receiver.sock->receiveWithTimeout(-1, 10);
  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("notReceived") == 1; }));
  const core::Error& error = receiver.recorder->events.at(0).error;
  EXPECT_EQ(receiver.recorder->events.at(0).tag, 9);
  EXPECT_EQ(error.domain(), "RunLoopUdpSocketErrorDomain");
  EXPECT_EQ(error.code(), 5);
  EXPECT_EQ(error.localizedDescription(), "Receive operation timed out");

  auto sender = RunLoopUdpSocket::createIPv4();
  ASSERT_TRUE(sender->sendData("late", "127.0.0.1", receiver.port(), -1, 0));
  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("received") == 1; }));
  EXPECT_EQ(receiver.recorder->events.back().tag, 10);
  EXPECT_EQ(receiver.recorder->events.back().data, "late");
}

TEST(RunLoopUdpSocketTest, ConnectedSocketTakesDatagramsFromItsPeerOnly) {
  Peer peer;
  Peer stranger;
  Peer connected;
  ASSERT_TRUE(connected.sock->connectToHost("127.0.0.1", peer.port()));
  EXPECT_TRUE(connected.sock->isConnected());
  EXPECT_TRUE(connected.sock->isConnectedToHost("127.0.0.1", peer.port()));
  EXPECT_EQ(connected.sock->connectedPort(), peer.port());

  connected.sock->receiveWithTimeout(-1, 1);
  ASSERT_TRUE(stranger.sock->sendData("stranger", "127.0.0.1", connected.port(), -1, 0));
  ASSERT_TRUE(peer.sock->sendData("peer", "127.0.0.1", connected.port(), -1, 0));
  ASSERT_TRUE(support::runUntil([&] { return connected.recorder->count("received") == 1; }));
  EXPECT_EQ(connected.recorder->events.at(0).data, "peer");
  EXPECT_EQ(connected.recorder->events.at(0).port, peer.port());

  // Connected: only the peer form of sending; unconnected: only the addressed forms.
  EXPECT_FALSE(connected.sock->sendData("x", "127.0.0.1", peer.port(), -1, 0));
  EXPECT_FALSE(connected.sock->sendDataToAddress("x", ipv4("127.0.0.1", peer.port()), -1, 0));
  EXPECT_FALSE(peer.sock->sendData("x", -1, 0));
  peer.sock->receiveWithTimeout(-1, 5);
  ASSERT_TRUE(connected.sock->sendData("reply", -1, 6));
  ASSERT_TRUE(support::runUntil([&] { return peer.recorder->count("received") == 1; }));
  EXPECT_EQ(peer.recorder->events.back().data, "reply");
  EXPECT_EQ(connected.recorder->events.back().kind, "sent");
  EXPECT_EQ(connected.recorder->events.back().tag, 6);
}

TEST(RunLoopUdpSocketTest, ConnectByAddressAndSendByAddress) {
  Peer peer;
  auto sock = RunLoopUdpSocket::create();
  ASSERT_TRUE(sock->connectToAddress(ipv4("127.0.0.1", peer.port())));
  EXPECT_FALSE(sock->isIPv6());
  EXPECT_EQ(sock->connectedHost(), "127.0.0.1");

  auto sender = RunLoopUdpSocket::createIPv4();
  peer.sock->receiveWithTimeout(-1, 0);
  ASSERT_TRUE(sender->sendDataToAddress("by address", ipv4("127.0.0.1", peer.port()), -1, 0));
  ASSERT_TRUE(support::runUntil([&] { return peer.recorder->count("received") == 1; }));
  EXPECT_EQ(peer.recorder->events.back().data, "by address");
}

// ---- the send queue ----

TEST(RunLoopUdpSocketTest, SendsGoOutInQueueOrder) {
  Peer receiver;
  auto recorder = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::createIPv4(recorder);
  for (long tag = 1; tag <= 5; ++tag) {
    ASSERT_TRUE(sender->sendData("datagram " + std::to_string(tag), "127.0.0.1", receiver.port(), 5.0, tag));
    receiver.sock->receiveWithTimeout(-1, tag);
  }
  ASSERT_TRUE(support::runUntil([&] { return receiver.recorder->count("received") == 5 && recorder->count("sent") == 5; }));
  for (long i = 0; i < 5; ++i) {
    EXPECT_EQ(recorder->events[i].tag, i + 1);
    EXPECT_EQ(receiver.recorder->events[i].data, "datagram " + std::to_string(i + 1));
    EXPECT_EQ(receiver.recorder->events[i].tag, i + 1);
  }
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, SendsThatFindNoRoomTimeOutInOrderAndTheQueueRecovers) {
  support::VirtualClock clock;
  Peer receiver;
  auto recorder = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::createIPv4(recorder);
  ASSERT_TRUE(sender->connectToHost("127.0.0.1", receiver.port()));
  // A corked socket with the smallest send buffer keeps what it was given and reports no room.
  const int fd = sender->nativeSocket4();
  ASSERT_GE(fd, 0);
  int value = 1;
  ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &value, sizeof value), 0);
  ASSERT_EQ(::setsockopt(fd, IPPROTO_UDP, UDP_CORK, &value, sizeof value), 0);

  const std::string big(2000, 'x');
  ASSERT_TRUE(sender->sendData(big, 5.0, 1));
  ASSERT_TRUE(sender->sendData(big, 1.0, 2));
  ASSERT_TRUE(sender->sendData(big, 1.0, 3));
  ASSERT_TRUE(support::runUntil([&] { return recorder->events.size() == 3; }));
  EXPECT_EQ(recorder->kinds(), (std::vector<std::string>{"sent", "notSent", "notSent"}));
  EXPECT_EQ(recorder->events[1].tag, 2);
  EXPECT_EQ(recorder->events[2].tag, 3);
  EXPECT_EQ(recorder->events[1].error.domain(), "RunLoopUdpSocketErrorDomain");
  EXPECT_EQ(recorder->events[1].error.code(), 4);
  EXPECT_EQ(recorder->events[1].error.localizedDescription(), "Send operation timed out");

  value = 0;
  ASSERT_EQ(::setsockopt(fd, IPPROTO_UDP, UDP_CORK, &value, sizeof value), 0);
  ASSERT_TRUE(sender->sendData("after", 1.0, 4));
  ASSERT_TRUE(support::runUntil([&] { return recorder->events.size() == 4; }));
  EXPECT_EQ(recorder->events[3].kind, "sent");
  EXPECT_EQ(recorder->events[3].tag, 4);
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, SendWithoutAnySocketFailsInsteadOfStallingTheQueue) {
  auto recorder = std::make_shared<Recorder>();
  auto sock = RunLoopUdpSocket::create(recorder, 0, false, false);
  EXPECT_FALSE(sock->isIPv4());
  EXPECT_FALSE(sock->isIPv6());
  // An address of neither size passes the checks; no socket can carry it.
  ASSERT_TRUE(sock->sendDataToAddress("x", std::string(20, '\0'), -1, 8));
  ASSERT_TRUE(support::runUntil([&] { return recorder->events.size() == 1; }));
  EXPECT_EQ(recorder->events[0].kind, "notSent");
  EXPECT_EQ(recorder->events[0].tag, 8);
  EXPECT_EQ(recorder->events[0].error.code(), -1);
  sock->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, SendErrorsComeBackAsErrnoErrors) {
  auto recorder = std::make_shared<Recorder>();
  auto sock = RunLoopUdpSocket::createIPv4(recorder);
  // Larger than any UDP datagram can be.
  ASSERT_TRUE(sock->sendData(std::string(70000, 'x'), "127.0.0.1", 9, -1, 1));
  ASSERT_TRUE(support::runUntil([&] { return recorder->events.size() == 1; }));
  EXPECT_EQ(recorder->events[0].kind, "notSent");
  EXPECT_EQ(recorder->events[0].error.domain(), "POSIXErrorDomain");
  EXPECT_EQ(recorder->events[0].error.code(), EMSGSIZE);
  EXPECT_EQ(recorder->events[0].error.localizedDescription(), std::strerror(EMSGSIZE));
  sock->setDelegate(nullptr);
}

// ---- broadcast and multicast ----

TEST(RunLoopUdpSocketTest, BroadcastNeedsTheBroadcastFlag) {
  // The loopback network's broadcast address reaches sockets bound to every address.
  Peer receiver("0.0.0.0");
  auto recorder = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::createIPv4(recorder);
  ASSERT_TRUE(sender->sendData("all", "127.255.255.255", receiver.port(), -1, 1));
  ASSERT_TRUE(support::runUntil([&] { return recorder->events.size() == 1; }));
  EXPECT_EQ(recorder->events[0].kind, "notSent");
  EXPECT_EQ(recorder->events[0].error.domain(), "POSIXErrorDomain");
  EXPECT_EQ(recorder->events[0].error.code(), EACCES);

  core::Error error;
  ASSERT_TRUE(sender->enableBroadcast(true, &error)) << error.description();
  receiver.sock->receiveWithTimeout(-1, 2);
  ASSERT_TRUE(sender->sendData("all", "127.255.255.255", receiver.port(), -1, 3));
  ASSERT_TRUE(support::runUntil([&] { return recorder->events.size() == 2 && receiver.recorder->count("received") == 1; }));
  EXPECT_EQ(recorder->events[1].kind, "sent");
  EXPECT_EQ(receiver.recorder->events[0].data, "all");

  int flag = -1;
  socklen_t length = sizeof flag;
  ASSERT_TRUE(sender->enableBroadcast(false));
  ASSERT_EQ(::getsockopt(sender->nativeSocket4(), SOL_SOCKET, SO_BROADCAST, &flag, &length), 0);
  EXPECT_EQ(flag, 0);

  // Without an IPv4 socket there is nothing to enable.
  EXPECT_TRUE(RunLoopUdpSocket::createIPv6()->enableBroadcast(true));
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, MulticastJoinChecksStateAndGroup) {
  auto unbound = RunLoopUdpSocket::create();
  expectMisuse([&] { unbound->joinMulticastGroup("239.255.10.1"); }, "Must bind a socket before joining a multicast group.");

  Peer peer;
  Peer connected;
  ASSERT_TRUE(connected.sock->connectToHost("127.0.0.1", peer.port()));
  expectMisuse([&] { connected.sock->joinMulticastGroup("239.255.10.1"); }, "Cannot join a multicast group if connected.");

  core::Error error;
  EXPECT_FALSE(peer.sock->joinMulticastGroup("a..b", &error));
  EXPECT_EQ(error.domain(), "NetDBErrorDomain");
  EXPECT_EQ(error.localizedDescription().rfind("Invalid parameter 'group': ", 0), 0u) << error.localizedDescription();

  EXPECT_FALSE(peer.sock->joinMulticastGroup("239.255.10.1", "a..b"s, &error));
  EXPECT_EQ(error.localizedDescription().rfind("Invalid parameter 'address': ", 0), 0u) << error.localizedDescription();

  // An IPv6 group on a socket left with IPv4 only.
  EXPECT_FALSE(peer.sock->joinMulticastGroup("ff02::1", &error));
  EXPECT_EQ(error.domain(), "RunLoopUdpSocketErrorDomain");
  EXPECT_EQ(error.code(), 1);
  EXPECT_EQ(error.localizedDescription(), "Invalid group and/or address, not matching existing socket(s)");

  // Not a group address at all: the system refuses the membership.
  EXPECT_FALSE(peer.sock->joinMulticastGroup("127.0.0.1", "127.0.0.1"s, &error));
  EXPECT_EQ(error.domain(), "StreamPOSIXErrorDomain");
  EXPECT_EQ(error.localizedDescription(), "Unable to join IPv4 multicast group");
  ASSERT_NE(error.underlying(), nullptr);
  EXPECT_EQ(error.underlying()->domain(), "POSIXErrorDomain");
}

TEST(RunLoopUdpSocketTest, MulticastJoinReceivesTheGroupsDatagrams) {
  if (!loopbackHasMulticast()) GTEST_SKIP() << "the loopback interface has no multicast on this machine";
  auto recorder = std::make_shared<Recorder>();
  auto sock = RunLoopUdpSocket::create(recorder);
  ASSERT_TRUE(sock->bindToPort(0));
  core::Error error;
  ASSERT_TRUE(sock->joinMulticastGroup("239.255.10.1", "127.0.0.1"s, &error)) << error.description();
  EXPECT_FALSE(sock->isIPv6());

  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  in_addr loopback{};
  loopback.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback), 0);
  std::string group = ipv4("239.255.10.1", sock->localPort());
  sock->receiveWithTimeout(-1, 1);
  ASSERT_EQ(::sendto(fd, "hello group", 11, 0, reinterpret_cast<const sockaddr*>(group.data()), group.size()), 11);
  ::close(fd);
  ASSERT_TRUE(support::runUntil([&] { return recorder->count("received") == 1; }));
  EXPECT_EQ(recorder->events[0].data, "hello group");
  sock->setDelegate(nullptr);
}

// ---- closing ----

TEST(RunLoopUdpSocketTest, CloseReportsOnceOnALaterTurn) {
  auto recorder = std::make_shared<Recorder>();
  auto sock = RunLoopUdpSocket::create(recorder);
  ASSERT_TRUE(sock->bindToAddress("127.0.0.1"s, 0));
  sock->receiveWithTimeout(-1, 1);
  sock->close();
  sock->close();
  EXPECT_TRUE(sock->isClosed());
  EXPECT_TRUE(recorder->events.empty());
  support::drainMainLoop();
  EXPECT_EQ(recorder->kinds(), std::vector<std::string>{"closed"}) << "the dropped receive is not reported";
  EXPECT_FALSE(sock->isIPv4());
  EXPECT_FALSE(sock->sendData("x", "127.0.0.1", 9, -1, 0));
  sock->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, DestroyingClosesWithoutReport) {
  auto recorder = std::make_shared<Recorder>();
  auto sock = RunLoopUdpSocket::create(recorder);
  sock->close();
  sock.reset();
  support::drainMainLoop();
  EXPECT_TRUE(recorder->events.empty());
}

TEST(RunLoopUdpSocketTest, CloseAfterSendingDrainsTheQueueThenCloses) {
  Peer receiver;
  auto recorder = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::createIPv4(recorder);
  ASSERT_TRUE(sender->sendData("one", "127.0.0.1", receiver.port(), -1, 1));
  ASSERT_TRUE(sender->sendData("two", "127.0.0.1", receiver.port(), -1, 2));
  sender->closeAfterSending();
  EXPECT_FALSE(sender->sendData("three", "127.0.0.1", receiver.port(), -1, 3)) << "no new sends once closing";
  ASSERT_TRUE(support::runUntil([&] { return recorder->count("closed") == 1; }));
  EXPECT_EQ(recorder->kinds(), (std::vector<std::string>{"sent", "sent", "closed"}));

  // Both sides: closes once the receive side is drained too.
  auto both = std::make_shared<Recorder>();
  auto sock = RunLoopUdpSocket::createIPv4(both);
  ASSERT_TRUE(sock->bindToAddress("127.0.0.1"s, 0));
  sock->receiveWithTimeout(-1, 1);
  sock->closeAfterSendingAndReceiving();
  ASSERT_TRUE(receiver.sock->sendData("last", "127.0.0.1", sock->localPort(), -1, 0));
  ASSERT_TRUE(support::runUntil([&] { return both->count("closed") == 1; }));
  EXPECT_EQ(both->kinds(), (std::vector<std::string>{"received", "closed"}));
  sender->setDelegate(nullptr);
  sock->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, DelegateMayCloseAndDropTheSocketFromInsideCallbacks) {
  Peer sender;
  // From a receive: the socket closes and loses its last reference while still reporting.
  {
    auto recorder = std::make_shared<Recorder>();
    auto owner = std::make_shared<std::shared_ptr<RunLoopUdpSocket>>(RunLoopUdpSocket::createIPv4(recorder));
    std::weak_ptr<RunLoopUdpSocket> watch = *owner;
    ASSERT_TRUE((*owner)->bindToAddress("127.0.0.1"s, 0));
    recorder->after = [owner](RunLoopUdpSocket& sock, const Event&) {
      sock.close();
      owner->reset();
    };
    (*owner)->receiveWithTimeout(-1, 1);
    (*owner)->receiveWithTimeout(-1, 2);
    ASSERT_TRUE(sender.sock->sendData("bye", "127.0.0.1", (*owner)->localPort(), -1, 0));
    ASSERT_TRUE(sender.sock->sendData("again", "127.0.0.1", (*owner)->localPort(), -1, 0));
    ASSERT_TRUE(support::runUntil([&] { return watch.expired(); }));
    support::drainMainLoop();
    EXPECT_EQ(recorder->kinds(), std::vector<std::string>{"received"}) << "destroyed before the close report";
  }
  // From a time-out, on the virtual clock.
  {
    support::VirtualClock clock;
    auto recorder = std::make_shared<Recorder>();
    auto owner = std::make_shared<std::shared_ptr<RunLoopUdpSocket>>(RunLoopUdpSocket::createIPv4(recorder));
    std::weak_ptr<RunLoopUdpSocket> watch = *owner;
    recorder->after = [owner](RunLoopUdpSocket&, const Event&) { owner->reset(); };
    (*owner)->receiveWithTimeout(1.0, 1);
    ASSERT_TRUE(support::runUntil([&] { return watch.expired(); }));
    EXPECT_EQ(recorder->kinds(), std::vector<std::string>{"notReceived"});
  }
  // From the close report itself.
  {
    auto recorder = std::make_shared<Recorder>();
    auto owner = std::make_shared<std::shared_ptr<RunLoopUdpSocket>>(RunLoopUdpSocket::create(recorder));
    std::weak_ptr<RunLoopUdpSocket> watch = *owner;
    recorder->after = [owner](RunLoopUdpSocket&, const Event&) { owner->reset(); };
    (*owner)->close();
    ASSERT_TRUE(support::runUntil([&] { return watch.expired(); }));
    EXPECT_EQ(recorder->kinds(), std::vector<std::string>{"closed"});
  }
}

// ---- misuse and bad input ----

TEST(RunLoopUdpSocketTest, MisuseRaisesNamedExceptions) {
  auto closed = RunLoopUdpSocket::create();
  closed->close();
  expectMisuse([&] { closed->bindToPort(0); }, "The socket is closed.");
  expectMisuse([&] { closed->connectToHost("127.0.0.1", 9); }, "The socket is closed.");
  expectMisuse([&] { closed->joinMulticastGroup("239.1.1.1"); }, "The socket is closed.");

  auto bound = RunLoopUdpSocket::create();
  ASSERT_TRUE(bound->bindToAddress("127.0.0.1"s, 0));
  expectMisuse([&] { bound->bindToPort(0); }, "Cannot bind a socket more than once.");

  auto connected = RunLoopUdpSocket::create();
  ASSERT_TRUE(connected->connectToHost("127.0.0.1", 9));
  expectMisuse([&] { connected->bindToPort(0); }, "Cannot bind after connecting. If needed, bind first, then connect.");
  expectMisuse([&] { connected->connectToHost("127.0.0.1", 10); }, "Cannot connect a socket more than once.");
  expectMisuse([&] { connected->connectToAddress(ipv4("127.0.0.1", 10)); }, "Cannot connect a socket more than once.");

  try {
    RunLoopUdpSocket::addressHost("abc");
    ADD_FAILURE() << "no exception";
  } catch (const InternalInconsistencyException& e) {
    EXPECT_STREQ(e.what(), "Cannot convert address to string.");
    EXPECT_STREQ(e.name(), "InternalInconsistencyException");
  }
  EXPECT_EQ(RunLoopUdpSocket::addressHost(ipv4("10.1.2.3", 80)), "10.1.2.3");
  EXPECT_EQ(RunLoopUdpSocket::addressPort(ipv4("10.1.2.3", 8080)), 8080);
}

TEST(RunLoopUdpSocketTest, BadAddressesGiveErrors) {
  core::Error error;
  auto sock = RunLoopUdpSocket::create();
  EXPECT_FALSE(sock->connectToAddress(std::string(20, '\0'), &error));
  EXPECT_EQ(error.domain(), "RunLoopUdpSocketErrorDomain");
  EXPECT_EQ(error.code(), 1);
  EXPECT_EQ(error.localizedDescription(), "remoteAddr parameter is not a valid address");

  // The right size with the wrong family would dissolve the association, not make one.
  std::string noFamily = ipv4("127.0.0.1", 9);
  noFamily[0] = noFamily[1] = '\0';
  error = {};
  EXPECT_FALSE(sock->connectToAddress(noFamily, &error));
  EXPECT_EQ(error.code(), 1);
  EXPECT_FALSE(sock->isConnected());

  error = {};
  EXPECT_FALSE(sock->connectToHost("", 9, &error));
  EXPECT_EQ(error.domain(), "NetDBErrorDomain");
  EXPECT_EQ(error.code(), EAI_NONAME);
  EXPECT_EQ(error.localizedDescription(), ::gai_strerror(EAI_NONAME));

  error = {};
  EXPECT_FALSE(sock->bindToAddress("a..b"s, 0, &error));
  EXPECT_EQ(error.domain(), "NetDBErrorDomain");

  auto only4 = RunLoopUdpSocket::createIPv4();
  error = {};
  EXPECT_FALSE(only4->bindToAddress("::1"s, 0, &error));
  EXPECT_EQ(error.code(), 3);
  EXPECT_EQ(error.localizedDescription(),
            "IPv6 is unavailable due to binding/connecting using IPv4 only or is not supported on this platform");
  error = {};
  EXPECT_FALSE(only4->connectToHost("::1", 9, &error));
  EXPECT_EQ(error.code(), 3);

  auto only6 = RunLoopUdpSocket::createIPv6();
  error = {};
  EXPECT_FALSE(only6->bindToAddress("127.0.0.1"s, 0, &error));
  EXPECT_EQ(error.code(), 2);
  EXPECT_EQ(error.localizedDescription(), "IPv4 is unavailable due to binding/connecting using IPv6 only");
  error = {};
  EXPECT_FALSE(only6->connectToAddress(ipv4("127.0.0.1", 9), &error));
  EXPECT_EQ(error.code(), 2);

  // A port already taken without address reuse on the other side.
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  std::string taken = ipv4("127.0.0.1", 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(taken.data()), taken.size()), 0);
  socklen_t length = static_cast<socklen_t>(taken.size());
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(taken.data()), &length), 0);
  auto clash = RunLoopUdpSocket::create();
  error = {};
  EXPECT_FALSE(clash->bindToAddress("127.0.0.1"s, RunLoopUdpSocket::addressPort(taken), &error));
  EXPECT_EQ(error.code(), -1);
  ASSERT_NE(error.underlying(), nullptr);
  EXPECT_EQ(error.underlying()->code(), EADDRINUSE);
  ::close(fd);
}

TEST(RunLoopUdpSocketTest, SendsWithoutAUsableAddressAreRefused) {
  auto only4 = RunLoopUdpSocket::createIPv4();
  EXPECT_FALSE(only4->sendData("x", "::1", 9, -1, 0)) << "no IPv4 address for an IPv6 host";
  EXPECT_FALSE(only4->sendData("x", "", 9, -1, 0));
  EXPECT_FALSE(only4->sendData("x", "a..b", 9, -1, 0));
  EXPECT_FALSE(only4->sendData("", "127.0.0.1", 9, -1, 0)) << "empty data";
  EXPECT_FALSE(only4->sendDataToAddress("x", std::string(28, '\0'), -1, 0)) << "IPv6-sized address without IPv6";

  auto only6 = RunLoopUdpSocket::createIPv6();
  EXPECT_FALSE(only6->sendData("x", "127.0.0.1", 9, -1, 0));
  EXPECT_FALSE(only6->sendDataToAddress("x", ipv4("127.0.0.1", 9), -1, 0));
}

// ---- queries and scheduling ----

TEST(RunLoopUdpSocketTest, QueriesOnNewBoundAndClosedSockets) {
  auto fresh = RunLoopUdpSocket::create();
  EXPECT_EQ(fresh->maxReceiveBufferSize(), 9216u);
  EXPECT_FALSE(fresh->connectedHost().has_value());
  EXPECT_EQ(fresh->connectedPort(), 0);
  EXPECT_FALSE(fresh->isConnected());
  EXPECT_EQ(fresh->maximumTransmissionUnit(), 0u) << "not bound to any interface yet";
  EXPECT_EQ(fresh->runLoopModes(), RunLoopUdpSocket::Modes{core::RunLoop::DefaultMode});

  Peer bound;
  EXPECT_GT(bound.sock->maximumTransmissionUnit(), 0u);
  const uint16_t port = bound.port();
  EXPECT_EQ(bound.sock->localHost(), "127.0.0.1");
  bound.sock->close();
  EXPECT_EQ(bound.sock->localPort(), port) << "kept from while it was bound";
  EXPECT_EQ(bound.sock->localHost(), "127.0.0.1");
  EXPECT_EQ(bound.sock->maximumTransmissionUnit(), 0u);
  support::drainMainLoop();
}

TEST(RunLoopUdpSocketTest, RunsOnlyInItsRunLoopModes) {
  Peer receiver;
  EXPECT_FALSE(receiver.sock->setRunLoopModes({}));
  EXPECT_TRUE(receiver.sock->setRunLoopModes({core::RunLoop::DefaultMode}));
  ASSERT_TRUE(receiver.sock->setRunLoopModes({"udp-test-mode"}));
  EXPECT_EQ(receiver.sock->runLoopModes(), RunLoopUdpSocket::Modes{"udp-test-mode"});

  auto sent = std::make_shared<Recorder>();
  auto sender = RunLoopUdpSocket::createIPv4(sent);
  ASSERT_TRUE(sender->sendData("moded", "127.0.0.1", receiver.port(), -1, 0));
  ASSERT_TRUE(support::runUntil([&] { return sent->count("sent") == 1; }));
  receiver.sock->receiveWithTimeout(-1, 1);
  support::drainMainLoop();
  EXPECT_TRUE(receiver.recorder->events.empty()) << "nothing happens in the default mode";

  auto& loop = core::RunLoop::main();
  const auto start = std::chrono::steady_clock::now();
  while (receiver.recorder->events.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    loop.runInMode("udp-test-mode", core::Clock::now() + 0.05, true);
  }
  ASSERT_EQ(receiver.recorder->count("received"), 1u);
  EXPECT_EQ(receiver.recorder->events[0].data, "moded");

  EXPECT_FALSE(receiver.sock->moveToRunLoop(nullptr));
  EXPECT_TRUE(receiver.sock->moveToRunLoop(&loop));
  sender->setDelegate(nullptr);
}

TEST(RunLoopUdpSocketTest, MovesToAnotherThreadsRunLoop) {
  Peer receiver;
  std::promise<core::RunLoop*> loopReady;
  std::promise<void> received;
  receiver.recorder->after = [&](RunLoopUdpSocket&, const Event&) { received.set_value(); };
  std::atomic<bool> done{false};
  std::thread worker([&] {
    auto& loop = core::RunLoop::current();
    // Keeps the loop waiting rather than finding nothing to run.
    auto keepAlive = core::Timer::create(1.0, true, [](core::Timer&) {});
    loop.addTimer(keepAlive);
    loopReady.set_value(&loop);
    while (!done.load()) loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now() + 0.05, true);
    keepAlive->invalidate();
  });
  core::RunLoop* workerLoop = loopReady.get_future().get();
  // The port is read before the move: from then on the socket belongs to the worker's thread.
  const uint16_t port = receiver.port();
  ASSERT_TRUE(receiver.sock->moveToRunLoop(workerLoop));
  workerLoop->performBlock([sock = receiver.sock] { sock->receiveWithTimeout(-1, 1); });

  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  std::string to = ipv4("127.0.0.1", port);
  ASSERT_EQ(::sendto(fd, "moved", 5, 0, reinterpret_cast<const sockaddr*>(to.data()), to.size()), 5);
  ::close(fd);
  bool arrived = received.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  done.store(true);
  worker.join();
  ASSERT_TRUE(arrived);
  ASSERT_EQ(receiver.recorder->events.size(), 1u);
  EXPECT_EQ(receiver.recorder->events[0].data, "moved");
}

}  // namespace
}  // namespace kt
