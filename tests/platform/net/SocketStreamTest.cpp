#include "platform/net/SocketStream.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <vector>

#include "support/LoopbackPeer.h"
#include "platform/net/Resolver.h"
#include "platform/net/Socket.h"
#include "support/RunUntil.h"

namespace {

TEST(Resolver, NumericAddressIsReportedOnALaterTurn) {
  bool called = false;
  std::vector<std::string> got;
  auto r = net::Resolver::resolve("127.0.0.1", 80, [&](const std::vector<std::string>& a, int e) {
    called = true;
    got = a;
    EXPECT_EQ(e, 0);
  }, core::RunLoop::main());
  EXPECT_FALSE(called);
  ASSERT_TRUE(support::runUntil([&] { return called; }));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].size(), sizeof(sockaddr_in));
}

TEST(Resolver, CancelledLookupReportsNothing) {
  bool called = false;
  auto r = net::Resolver::resolve("localhost", 80, [&](const std::vector<std::string>&, int) { called = true; },
                                  core::RunLoop::main());
  r->cancel();
  bool other = false;
  auto r2 = net::Resolver::resolve("::1", 80, [&](const std::vector<std::string>&, int) { other = true; },
                                   core::RunLoop::main());
  ASSERT_TRUE(support::runUntil([&] { return other; }));
  support::drainMainLoop();
  EXPECT_FALSE(called);
}

TEST(Resolver, BadNumericTextFailsWithResolverCode) {
  std::vector<std::string> out;
  EXPECT_NE(net::Resolver::lookup("300.1.1.1", 80, true, out), 0);
  EXPECT_TRUE(out.empty());
}

TEST(SocketStream, EventsAcrossALoopbackConnection) {
  looptest::Listener listener;
  auto stream = net::SocketStream::createToHost("127.0.0.1", listener.port());
  std::vector<std::string> events;
  auto record = [&](const char* side) {
    return [&events, side](net::StreamEvent e) { events.push_back(std::string(side) + std::to_string(e)); };
  };
  const unsigned all = 31;
  stream->setClient(net::SocketStream::ReadSide, all, record("r"));
  stream->setClient(net::SocketStream::WriteSide, all, record("w"));
  stream->schedule(core::RunLoop::main(), core::RunLoop::DefaultMode);
  ASSERT_TRUE(stream->open(net::SocketStream::ReadSide));
  ASSERT_TRUE(stream->open(net::SocketStream::WriteSide));
  EXPECT_FALSE(stream->open(net::SocketStream::ReadSide));
  EXPECT_EQ(stream->status(net::SocketStream::ReadSide), net::StreamStatus::Opening);
  ASSERT_TRUE(support::runUntil([&] { return listener.hasPending(); }));
  int peer = listener.accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(support::runUntil([&] { return events.size() >= 3; }));
  EXPECT_EQ(events[0], "r1");
  EXPECT_EQ(events[1], "w1");
  EXPECT_EQ(events[2], "w4");  // room to write, reported once until the next write
  support::drainMainLoop();
  EXPECT_EQ(events.size(), 3u);

  looptest::sendAll(peer, "abc");
  ASSERT_TRUE(support::runUntil([&] { return events.size() == 4; }));
  EXPECT_EQ(events[3], "r2");
  char buf[8];
  EXPECT_EQ(stream->read(buf, sizeof buf), 3);
  EXPECT_EQ(stream->read(buf, sizeof buf), 0);  // nothing waiting: no block, no error
  EXPECT_EQ(stream->status(net::SocketStream::ReadSide), net::StreamStatus::Open);

  ::close(peer);
  ASSERT_TRUE(support::runUntil([&] { return events.size() == 5; }));
  EXPECT_EQ(events[4], "r16");
  EXPECT_EQ(stream->status(net::SocketStream::ReadSide), net::StreamStatus::AtEnd);
  stream->close(net::SocketStream::ReadSide);
  stream->close(net::SocketStream::WriteSide);
  EXPECT_EQ(stream->nativeHandle(), -1);
}

TEST(SocketStream, RefusedConnectReportsPosixError) {
  auto stream = net::SocketStream::createToHost("127.0.0.1", looptest::closedPort());
  bool failed = false;
  stream->setClient(net::SocketStream::ReadSide, net::StreamErrorOccurred, [&](net::StreamEvent) { failed = true; });
  stream->schedule(core::RunLoop::main(), core::RunLoop::DefaultMode);
  stream->open(net::SocketStream::ReadSide);
  ASSERT_TRUE(support::runUntil([&] { return failed; }));
  EXPECT_EQ(stream->status(net::SocketStream::ReadSide), net::StreamStatus::Error);
  EXPECT_EQ(stream->error(net::SocketStream::ReadSide).domain, net::StreamErrorDomain::Posix);
  EXPECT_EQ(stream->error(net::SocketStream::ReadSide).error, ECONNREFUSED);
}

TEST(Socket, ListensAndAcceptsOnTheLoop) {
  std::vector<int> accepted;
  auto listener = net::Socket::create(AF_INET, SOCK_STREAM, 0, net::Socket::AcceptCallback,
                                      [&](net::Socket&, net::Socket::CallbackType type, int fd) {
                                        EXPECT_EQ(type, net::Socket::AcceptCallback);
                                        accepted.push_back(fd);
                                      });
  ASSERT_TRUE(listener);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_TRUE(listener->setAddress(std::string(reinterpret_cast<const char*>(&a), sizeof a)));
  core::RunLoop::main().addSource(listener->source(), core::RunLoop::DefaultMode);
  const std::string address = listener->address();
  ASSERT_EQ(address.size(), sizeof(sockaddr_in));

  int result = -1;
  auto client = net::Socket::create(AF_INET, SOCK_STREAM, 0, net::Socket::ConnectCallback,
                                    [&](net::Socket&, net::Socket::CallbackType, int error) { result = error; });
  ASSERT_TRUE(client->connectToAddress(address));
  core::RunLoop::main().addSource(client->source(), core::RunLoop::DefaultMode);
  ASSERT_TRUE(support::runUntil([&] { return result >= 0 && !accepted.empty(); }));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(client->peerAddress(), address);
  for (int fd : accepted) ::close(fd);
  client->invalidate();
  listener->invalidate();
  EXPECT_FALSE(listener->isValid());
}

}  // namespace
