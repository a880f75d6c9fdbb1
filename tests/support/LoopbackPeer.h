#pragma once

// Plain blocking loopback peers for the socket tests: a listener to accept on, and bounded
// sends and receives on the accepted descriptor.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

namespace looptest {

class Listener {
 public:
  explicit Listener(bool ipv6 = false) {
    m_fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (ipv6) {
      sockaddr_in6 a{};
      a.sin6_family = AF_INET6;
      a.sin6_addr = in6addr_loopback;
      m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    } else {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    m_ok = m_ok && ::listen(m_fd, 16) == 0;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&ss), &len);
    m_port = ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    m_address.assign(reinterpret_cast<const char*>(&ss), len);
  }
  ~Listener() { ::close(m_fd); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool ok() const { return m_ok; }
  uint16_t port() const { return m_port; }
  const std::string& address() const { return m_address; }
  bool hasPending() const {
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }
  // A connection already completed by the kernel, or -1 after the time-out.
  int accept(int timeoutMs = 5000, int receiveBuffer = 0) {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return -1;
    int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0 && receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (fd >= 0) {
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
  }

 private:
  int m_fd = -1;
  bool m_ok = false;
  uint16_t m_port = 0;
  std::string m_address;
};

inline bool sendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads until `count` bytes have come or nothing came for the time-out.
inline std::string receive(int fd, size_t count, int timeoutMs = 5000) {
  std::string out;
  char buf[65536];
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) break;
    ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - out.size()), 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// A port on 127.0.0.1 where nothing listens (connections are refused).
inline uint16_t closedPort() {
  Listener l;
  return l.port();
}

}  // namespace looptest
