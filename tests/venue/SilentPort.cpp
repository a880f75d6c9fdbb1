#include "venue/SilentPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace venue {

namespace {

// A throwaway connect that has not completed after this long is taken as dropped.
constexpr int kPendingProbeMs = 300;
constexpr int kMaxFillers = 8;

}  // namespace

SilentPort::SilentPort() {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listener, 0) != 0)
    return;
  socklen_t len = sizeof addr;
  ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);

  for (int i = 0; i < kMaxFillers && !m_ready; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    m_fillers.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) continue;
    if (errno != EINPROGRESS) return;
    pollfd p{fd, POLLOUT, 0};
    int ready = ::poll(&p, 1, kPendingProbeMs);
    if (ready == 0) m_ready = true;  // still in SYN-SENT: the queue is full
  }
}

SilentPort::~SilentPort() {
  for (int fd : m_fillers) ::close(fd);
  if (m_listener >= 0) ::close(m_listener);
}

}  // namespace venue
