#pragma once

// A plain blocking client socket for the stand-in's own tests. Reads are bounded by a receive
// time-out so a broken server fails the test instead of hanging it.

#include "venue/FrameCodec.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

namespace venue::selftest {

inline sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  return addr;
}

class LoopbackClient {
 public:
  LoopbackClient() = default;
  ~LoopbackClient() { close(); }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  // 0 on success, else the errno of the failed connect.
  int connect(std::uint16_t port) {
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{5, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr = loopback(port);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      int error = errno;
      close();
      return error;
    }
    return 0;
  }

  bool write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // Reads exactly n bytes; std::nullopt on end of stream, error or time-out.
  std::optional<std::string> readExactly(std::size_t n) {
    std::string out;
    while (out.size() < n) {
      std::optional<std::string> chunk = readSome(n - out.size());
      if (!chunk) return std::nullopt;
      out += *chunk;
    }
    return out;
  }

  // One recv of at most max bytes; std::nullopt on end of stream, error or time-out.
  std::optional<std::string> readSome(std::size_t max = 65536) {
    std::string buffer(max, '\0');
    ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
    m_lastErrno = n < 0 ? errno : 0;
    if (n <= 0) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
  }

  // Reads the next whole frame through the decoder.
  std::optional<Frame> readFrame() {
    for (;;) {
      if (std::optional<Frame> frame = m_decoder.next()) return frame;
      if (m_decoder.failed()) return std::nullopt;
      std::optional<std::string> chunk = readSome();
      if (!chunk) return std::nullopt;
      m_decoder.feed(*chunk);
    }
  }

  // True when the peer has closed: recv returns 0 (after any bytes still buffered).
  bool readsEndOfStream() {
    char byte;
    ssize_t n = ::recv(m_fd, &byte, 1, 0);
    m_lastErrno = n < 0 ? errno : 0;
    return n == 0;
  }

  void close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_decoder = FrameDecoder();
  }

  int fd() const { return m_fd; }
  int lastErrno() const { return m_lastErrno; }

 private:
  int m_fd = -1;
  int m_lastErrno = 0;
  FrameDecoder m_decoder;
};

}  // namespace venue::selftest
