#include "venue/RoomServer.h"

#include "venue/selftest/LoopbackClient.h"

#include <gtest/gtest.h>
#include <linux/tcp.h>

#include <thread>

using namespace venue;
using venue::selftest::LoopbackClient;

namespace {

// Data segments the client's socket has received so far: one per server write when the
// writes are spaced out, whatever the client's read pattern.
unsigned dataSegmentsIn(int fd) {
  tcp_info info{};
  socklen_t len = sizeof info;
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return 0;
  return info.tcpi_data_segs_in;
}

class RoomServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()); }

  void connectClient() {
    std::size_t accepted = server.connectionsAccepted();
    ASSERT_EQ(client.connect(server.port()), 0);
    ASSERT_TRUE(server.waitForConnections(accepted + 1, 5));
  }

  RoomServer server;
  LoopbackClient client;
};

}  // namespace

TEST_F(RoomServerTest, AnswersScriptedRepliesAndStaysSilentOtherwise) {
  server.setReply(60, {"0", "成功"});
  server.setReplyHandler(12, [](const Frame& request) {
    Reply reply;
    reply.fields = {"0", "点了" + request.field(1)};
    return std::optional<Reply>(reply);
  });
  connectClient();

  ASSERT_TRUE(client.write(buildFrame(61, {"nobody answers"})));
  ASSERT_TRUE(client.write(buildFrame(60, {})));
  std::optional<Frame> reply = client.readFrame();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->crcOk);
  EXPECT_EQ(reply->code, 60);
  EXPECT_EQ(reply->fields, (std::vector<std::string>{"0", "成功"}));

  ASSERT_TRUE(client.write(buildFrame(12, {"8001", "宫保鸡丁"}, FieldForm::Joined)));
  reply = client.readFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->code, 12);
  EXPECT_EQ(reply->field(1), "点了宫保鸡丁");

  // Nothing was sent for 61: the first reply was 60's.
  ASSERT_TRUE(server.waitForFrames(3, 5));
  EXPECT_EQ(server.frame(0).code, 61);
}

TEST_F(RoomServerTest, DefaultHandlerRawRepliesAndReplyCode) {
  server.setDefaultHandler([](const Frame& request) {
    Reply reply;
    reply.code = 900;
    reply.fields = {std::to_string(request.code.value_or(-1))};
    return std::optional<Reply>(reply);
  });
  Reply two;
  two.raw = buildFrame(1, {"a"}) + buildFrame(1, {"b"});
  server.setReply(1, two);
  connectClient();

  ASSERT_TRUE(client.write(buildFrame(44, {})));
  std::optional<Frame> reply = client.readFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->code, 900);
  EXPECT_EQ(reply->field(0), "44");

  ASSERT_TRUE(client.write(buildFrame(1, {})));
  EXPECT_EQ(client.readFrame()->field(0), "a");
  EXPECT_EQ(client.readFrame()->field(0), "b");
}

TEST_F(RoomServerTest, RecordsEverythingByteForByte) {
  server.setDefaultHandler([](const Frame&) { return std::optional<Reply>(Reply{}); });
  connectClient();
  std::string first = buildFrame(20, {"张三", "13800000000"}, FieldForm::Joined);
  std::string second = withBadCrc(buildFrame(21, {"x"}));
  std::string third = encodeFrame("\r\n22\r\n" + invalidGb18030() + "\r\n");
  std::string stream = first + second + third;
  // Written in awkward pieces: the server reassembles them.
  ASSERT_TRUE(client.write(stream.substr(0, 3)));
  ASSERT_TRUE(client.write(stream.substr(3, first.size())));
  ASSERT_TRUE(client.write(stream.substr(3 + first.size())));

  ASSERT_TRUE(server.waitForFrames(3, 5));
  EXPECT_EQ(server.receivedBytes(), stream);
  std::vector<Frame> frames = server.frames();
  EXPECT_EQ(frames[0].raw, first);
  EXPECT_EQ(frames[0].fields, (std::vector<std::string>{"张三", "13800000000"}));
  EXPECT_FALSE(frames[0].finalCrlf);
  EXPECT_EQ(frames[1].raw, second);
  EXPECT_FALSE(frames[1].crcOk);
  EXPECT_EQ(frames[2].raw, third);
  EXPECT_FALSE(frames[2].textOk);
  EXPECT_TRUE(server.decodeErrors().empty());

  // Replies went to the good-CRC frames only (empty replies: code and nothing else).
  EXPECT_EQ(client.readFrame()->code, 20);
  EXPECT_EQ(client.readFrame()->code, 22);
}

TEST_F(RoomServerTest, BrokenPrefixFromClientIsReported) {
  connectClient();
  ASSERT_TRUE(client.write(buildFrame(1, {}) + encodeFrameWithPrefix("00000A", "\r\n2\r\n")));
  std::size_t total = buildFrame(1, {}).size() + 6 + 5 + 1;
  ASSERT_TRUE(server.waitForBytes(total, 5));
  EXPECT_EQ(server.frameCount(), 1u);
  ASSERT_EQ(server.decodeErrors().size(), 1u);
}

TEST_F(RoomServerTest, UnsolicitedFramesAndChunking) {
  connectClient();
  const std::string frame = buildFrame(70, {"广播"});

  // Whole: two frames in one write arrive together, so one read returns both.
  ASSERT_TRUE(server.send(frame + frame));
  EXPECT_EQ(client.readSome(), frame + frame);

  // One byte at a time: at least one segment per byte (a tail-loss probe may add a copy).
  server.setChunking(ChunkPolicy::bytewise(std::chrono::milliseconds(2)));
  unsigned before = dataSegmentsIn(client.fd());
  ASSERT_TRUE(server.sendFrame(70, {"广播"}));
  std::optional<Frame> decoded = client.readFrame();
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->raw, frame);
  EXPECT_GE(dataSegmentsIn(client.fd()) - before, frame.size());

  // A frame across writes of 5 bytes, then 8 bytes at a time: 5 + 8 + 6.
  server.setChunking({{5, 8}, std::chrono::milliseconds(2)});
  before = dataSegmentsIn(client.fd());
  ASSERT_TRUE(server.send(frame));
  ASSERT_EQ(client.readExactly(frame.size()), frame);
  EXPECT_GE(dataSegmentsIn(client.fd()) - before, 3u);

  // Back to whole writes.
  server.setChunking(ChunkPolicy::whole());
  ASSERT_TRUE(server.send(frame + frame + frame));
  EXPECT_EQ(client.readSome(), frame + frame + frame);
}

TEST_F(RoomServerTest, CloseAfterReplyEndsTheStreamAfterTheReply) {
  Reply reply;
  reply.fields = {"1", "房间已关闭"};
  reply.closeAfter = true;
  server.setReply(3, reply);
  connectClient();
  ASSERT_TRUE(client.write(buildFrame(3, {})));
  std::optional<Frame> received = client.readFrame();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->field(1), "房间已关闭");
  EXPECT_TRUE(client.readsEndOfStream());

  EXPECT_FALSE(server.clientClosed());
  client.close();
  EXPECT_TRUE(server.waitForClientClose(5));
  EXPECT_EQ(server.openConnections(), 0u);
}

TEST_F(RoomServerTest, CloseAndResetOnRequest) {
  connectClient();
  server.closeConnection();
  EXPECT_TRUE(client.readsEndOfStream());
  EXPECT_FALSE(server.send("x"));  // writing side is shut

  ASSERT_EQ(client.connect(server.port()), 0);
  ASSERT_TRUE(server.waitForConnections(2, 5));
  server.resetConnection();
  EXPECT_FALSE(client.readsEndOfStream());
  EXPECT_EQ(client.lastErrno(), ECONNRESET);
}

TEST_F(RoomServerTest, RefuseModeClosesThePortAndReopensIt) {
  std::uint16_t port = server.port();
  ASSERT_TRUE(server.setRefusing(true));
  EXPECT_EQ(client.connect(port), ECONNREFUSED);
  EXPECT_EQ(server.connectionsAccepted(), 0u);

  ASSERT_TRUE(server.setRefusing(false));
  EXPECT_EQ(server.port(), port);
  ASSERT_EQ(client.connect(port), 0);
  EXPECT_TRUE(server.waitForConnections(1, 5));
}

TEST_F(RoomServerTest, KeepsSuccessiveConnections) {
  server.setReply(5, {"0", "ok"});
  LoopbackClient second;
  connectClient();
  ASSERT_TRUE(client.write(buildFrame(5, {"first"})));
  ASSERT_TRUE(client.readFrame());
  client.close();
  ASSERT_TRUE(server.waitForClientClose(5));

  ASSERT_EQ(second.connect(server.port()), 0);
  ASSERT_TRUE(server.waitForConnections(2, 5));
  EXPECT_FALSE(server.clientClosed());  // the most recent one is open
  ASSERT_TRUE(second.write(buildFrame(5, {"second"})));
  ASSERT_TRUE(second.readFrame());
  ASSERT_TRUE(server.waitForFrames(2, 5));
  EXPECT_EQ(server.frame(0).connection, 0u);
  EXPECT_EQ(server.frame(1).connection, 1u);
  EXPECT_EQ(server.frame(1).field(0), "second");

  // Unsolicited output goes to the newest connection.
  ASSERT_TRUE(server.sendFrame(80, {}));
  EXPECT_EQ(second.readFrame()->code, 80);
  EXPECT_EQ(server.connectionsAccepted(), 2u);
}

TEST(RoomServerStopReading, FillsTheClientsBuffers) {
  RoomServer server;
  ServerOptions options;
  options.receiveBufferSize = 4096;
  ASSERT_TRUE(server.start(options));
  server.setReading(false);
  LoopbackClient client;
  ASSERT_EQ(client.connect(server.port()), 0);
  int small = 16384;
  ::setsockopt(client.fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  ::fcntl(client.fd(), F_SETFL, ::fcntl(client.fd(), F_GETFL) | O_NONBLOCK);

  const std::string block(4096, 'q');
  std::size_t written = 0;
  int error = 0;
  // Bounded: a server that reads would swallow all 64 MB without EAGAIN.
  while (written < (64u << 20)) {
    ssize_t n = ::send(client.fd(), block.data(), block.size(), MSG_NOSIGNAL);
    if (n < 0) {
      error = errno;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(error, EAGAIN);
  EXPECT_EQ(server.receivedBytes().size(), 0u);

  // Reading again drains everything that was written.
  server.setReading(true);
  EXPECT_TRUE(server.waitForBytes(written, 10));
  EXPECT_EQ(server.receivedBytes().size(), written);
}

TEST(RoomServerStopReading, NoticesClientCloseWhileNotReading) {
  RoomServer server;
  ASSERT_TRUE(server.start());
  server.setReading(false);
  LoopbackClient client;
  ASSERT_EQ(client.connect(server.port()), 0);
  ASSERT_TRUE(server.waitForConnections(1, 5));
  ASSERT_TRUE(client.write("unread"));
  client.close();
  EXPECT_TRUE(server.waitForClientClose(5));
}

TEST(RoomServerLifetime, StopWakesABlockedSendAndIsIdempotent) {
  RoomServer server;
  ASSERT_TRUE(server.start());
  LoopbackClient client;  // never reads
  ASSERT_EQ(client.connect(server.port()), 0);
  ASSERT_TRUE(server.waitForConnections(1, 5));
  bool sent = true;
  std::thread sender([&] { sent = server.send(std::string(64u << 20, 'w')); });
  server.stop();
  sender.join();
  EXPECT_FALSE(sent);
  EXPECT_FALSE(server.isRunning());
  server.stop();
  EXPECT_FALSE(server.send("x"));
}

TEST(RoomServerLifetime, StartFailsOnABusyPortAndStopsByDestruction) {
  std::uint16_t port = 0;
  {
    RoomServer first;
    ASSERT_TRUE(first.start());
    port = first.port();
    EXPECT_NE(port, 0);
    RoomServer second;
    ServerOptions options;
    options.port = port;
    EXPECT_FALSE(second.start(options));
    EXPECT_FALSE(first.start());  // already running
  }
  LoopbackClient client;
  EXPECT_EQ(client.connect(port), ECONNREFUSED);
}
