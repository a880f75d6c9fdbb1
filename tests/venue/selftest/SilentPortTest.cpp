#include "venue/SilentPort.h"

#include "venue/selftest/LoopbackClient.h"

#include <gtest/gtest.h>
#include <poll.h>

using namespace venue;

TEST(SilentPort, NonBlockingConnectStaysPendingForASecond) {
  SilentPort silent;
  ASSERT_TRUE(silent.isReady());
  EXPECT_EQ(silent.address(), "127.0.0.1:" + std::to_string(silent.port()));

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr = selftest::loopback(silent.port());
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int error = rc == 0 ? 0 : errno;
  EXPECT_EQ(error, EINPROGRESS);

  // Neither connected nor refused after a full second.
  pollfd p{fd, POLLOUT, 0};
  EXPECT_EQ(::poll(&p, 1, 1000), 0);
  int soError = -1;
  socklen_t len = sizeof soError;
  ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
  EXPECT_EQ(soError, 0);
  ::close(fd);
}
