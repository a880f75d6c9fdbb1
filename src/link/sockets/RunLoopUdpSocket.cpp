#include "link/sockets/RunLoopUdpSocket.h"

#include "platform/core/Clock.h"
#include "platform/core/FdSource.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace kt {
namespace {

constexpr const char* kSocketErrorText = "General CFSocket error";
constexpr const char* kBadAddressText = "remoteAddr parameter is not a valid address";
constexpr const char* kBadGroupText = "Invalid group and/or address, not matching existing socket(s)";
constexpr const char* kIPv4UnavailableText = "IPv4 is unavailable due to binding/connecting using IPv6 only";
constexpr const char* kIPv6UnavailableText =
    "IPv6 is unavailable due to binding/connecting using IPv4 only or is not supported on this platform";
constexpr const char* kSendTimeoutText = "Send operation timed out";
constexpr const char* kReceiveTimeoutText = "Receive operation timed out";

constexpr const char* kClosedReason = "The socket is closed.";
constexpr const char* kBindTwiceReason = "Cannot bind a socket more than once.";
constexpr const char* kBindAfterConnectReason = "Cannot bind after connecting. If needed, bind first, then connect.";
constexpr const char* kConnectTwiceReason = "Cannot connect a socket more than once.";
constexpr const char* kJoinUnboundReason = "Must bind a socket before joining a multicast group.";
constexpr const char* kJoinConnectedReason = "Cannot join a multicast group if connected.";
constexpr const char* kAddressTextReason = "Cannot convert address to string.";

// The socket API's "no particular family" value.
constexpr sa_family_t kAnyFamily = 0;

template <typename T>
std::string toBytes(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// Copies a socket address out of its bytes (which need not be aligned).
template <typename T>
T fromBytes(const std::string& bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
  return value;
}

std::string ipv4Address(in_addr_t address, uint16_t port) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(port);
  sin.sin_addr.s_addr = address;
  return toBytes(sin);
}

std::string ipv6Address(const in6_addr& address, uint16_t port) {
  sockaddr_in6 sin6{};
  sin6.sin6_family = AF_INET6;
  sin6.sin6_port = htons(port);
  sin6.sin6_addr = address;
  return toBytes(sin6);
}

sa_family_t familyOf(const std::string& address) {
  if (address.size() < sizeof(sa_family_t)) return kAnyFamily;
  sa_family_t family = kAnyFamily;
  std::memcpy(&family, address.data(), sizeof family);
  return family;
}

// The numeric text of an address, by its family; nothing when the bytes are not a whole address.
std::optional<std::string> hostText(const std::string& address) {
  if (address.size() < sizeof(sa_family_t)) return std::nullopt;
  if (familyOf(address) == AF_INET) {
    if (address.size() < sizeof(sockaddr_in)) return std::nullopt;
    auto sin = fromBytes<sockaddr_in>(address);
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &sin.sin_addr, text, sizeof text)) return std::nullopt;
    return std::string(text);
  }
  if (address.size() < sizeof(sockaddr_in6)) return std::nullopt;
  auto sin6 = fromBytes<sockaddr_in6>(address);
  char text[INET6_ADDRSTRLEN];
  if (!::inet_ntop(AF_INET6, &sin6.sin6_addr, text, sizeof text)) return std::nullopt;
  return std::string(text);
}

// The address a descriptor is bound to (own = true) or connected to.
std::optional<std::string> descriptorAddress(int fd, bool own) {
  if (fd < 0) return std::nullopt;
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  int rc = own ? ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length)
               : ::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length);
  if (rc != 0) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(&storage), std::min<size_t>(length, sizeof storage));
}

}  // namespace

// ---- creation and destruction ----

RunLoopUdpSocket::RunLoopUdpSocket(Key, std::shared_ptr<RunLoopUdpSocketDelegate> delegate, int64_t userData)
    : m_delegate(std::move(delegate)), m_userData(userData), m_runLoopModes{core::RunLoop::DefaultMode} {}

std::shared_ptr<RunLoopUdpSocket> RunLoopUdpSocket::create(std::shared_ptr<RunLoopUdpSocketDelegate> delegate,
                                                           int64_t userData, bool enableIPv4, bool enableIPv6) {
  auto sock = std::make_shared<RunLoopUdpSocket>(Key{}, std::move(delegate), userData);
  sock->setUp(enableIPv4, enableIPv6);
  return sock;
}

std::shared_ptr<RunLoopUdpSocket> RunLoopUdpSocket::createIPv4(std::shared_ptr<RunLoopUdpSocketDelegate> delegate) {
  return create(std::move(delegate), 0, true, false);
}

std::shared_ptr<RunLoopUdpSocket> RunLoopUdpSocket::createIPv6(std::shared_ptr<RunLoopUdpSocketDelegate> delegate) {
  return create(std::move(delegate), 0, false, true);
}

void RunLoopUdpSocket::setUp(bool enableIPv4, bool enableIPv6) {
  auto loop = core::RunLoop::currentShared();
  m_runLoop = loop;
  std::weak_ptr<RunLoopUdpSocket> weak = weak_from_this();
  for (Family family : {Family::V4, Family::V6}) {
    if (!(family == Family::V4 ? enableIPv4 : enableIPv6)) continue;
    const int domain = family == Family::V4 ? AF_INET : AF_INET6;
    // Non-blocking: readiness is only a hint, and the loop's thread must never wait in a call.
    int fd = ::socket(domain, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
      KT_LOG("RunLoopUdpSocket %p could not create its IPv%d socket: %s", static_cast<void*>(this),
             family == Family::V4 ? 4 : 6, std::strerror(errno));
      continue;
    }
    if (family == Family::V6) {
      // The IPv6 socket carries IPv6 only, so that both families can bind the same port.
      int one = 1;
      ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
    fdFor(family) = fd;
    auto source = core::FdSource::create(fd, core::FdSource::Readable | core::FdSource::Writable,
                                         [weak, family](unsigned ready) {
                                           if (auto self = weak.lock()) self->handleSocketEvent(family, ready);
                                         });
    for (const auto& mode : m_runLoopModes) loop->addSource(source, mode);
    sourceFor(family) = std::move(source);
  }
}

RunLoopUdpSocket::~RunLoopUdpSocket() {
  cancelDeferredCalls();
  closeNow(false);
}

std::shared_ptr<core::RunLoop> RunLoopUdpSocket::runLoop() const { return m_runLoop.lock(); }

// ---- errors ----

core::Error RunLoopUdpSocket::udpError(ErrorCode code, const std::string& text) {
  return core::Error::withDescription(ErrorDomain, code, text);
}

core::Error RunLoopUdpSocket::socketError(int savedErrno) {
  core::Error error = udpError(SocketError, kSocketErrorText);
  if (savedErrno != 0) error.setUnderlying(errnoError(savedErrno));
  return error;
}

core::Error RunLoopUdpSocket::errnoError(int savedErrno) {
  return core::Error::withDescription(POSIXErrorDomain, savedErrno, std::strerror(savedErrno));
}

core::Error RunLoopUdpSocket::netdbError(int code, const char* prefix) {
  std::string text = ::gai_strerror(code);
  if (prefix) text = prefix + text;
  return core::Error::withDescription(NetDBErrorDomain, code, text);
}

// ---- address conversion ----

int RunLoopUdpSocket::convertForBind(const std::optional<std::string>& host, uint16_t port, Addresses& out) {
  return convert(host, port, true, out);
}

int RunLoopUdpSocket::convertForSend(const std::optional<std::string>& host, uint16_t port, Addresses& out) {
  return convert(host, port, false, out);
}

int RunLoopUdpSocket::convert(const std::optional<std::string>& host, uint16_t port, bool passive, Addresses& out) {
  out = Addresses{};
  if (!host || host->empty()) {
    if (!passive) return EAI_NONAME;
    out.v4 = ipv4Address(htonl(INADDR_ANY), port);
    out.v6 = ipv6Address(in6addr_any, port);
    return 0;
  }
  if (*host == "localhost" || *host == "loopback") {
    out.v4 = ipv4Address(htonl(INADDR_LOOPBACK), port);
    out.v6 = ipv6Address(in6addr_loopback, port);
    return 0;
  }
  char service[8];
  std::snprintf(service, sizeof service, "%hu", port);
  addrinfo hints{};
  hints.ai_flags = (passive ? AI_PASSIVE : 0) | AI_NUMERICHOST;
  hints.ai_family = kAnyFamily;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  addrinfo* results = nullptr;
  int rc = ::getaddrinfo(host->c_str(), service, &hints, &results);
  if (rc == EAI_NONAME) {
    // Not a numeric address: a name, looked up synchronously.
    hints.ai_flags &= ~AI_NUMERICHOST;
    rc = ::getaddrinfo(host->c_str(), service, &hints, &results);
  }
  if (rc != 0) return rc;
  for (const addrinfo* ai = results; ai; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && !out.v4 && ai->ai_addrlen == sizeof(sockaddr_in)) {
      out.v4 = std::string(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen);
    } else if (ai->ai_family == AF_INET6 && !out.v6 && ai->ai_addrlen == sizeof(sockaddr_in6)) {
      out.v6 = std::string(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen);
    }
  }
  ::freeaddrinfo(results);
  return 0;
}

std::string RunLoopUdpSocket::addressHost(const std::string& address) {
  auto text = hostText(address);
  if (!text) throw InternalInconsistencyException(kAddressTextReason);
  return *text;
}

uint16_t RunLoopUdpSocket::addressPort(const std::string& address) {
  const size_t needed = familyOf(address) == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  if (address.size() < needed) return 0;
  uint16_t port = 0;
  // The port sits at the same offset in both families.
  std::memcpy(&port, address.data() + offsetof(sockaddr_in, sin_port), sizeof port);
  return ntohs(port);
}

// ---- binding, connecting, groups ----

bool RunLoopUdpSocket::bindToPort(uint16_t port, core::Error* error) { return bindToAddress(std::nullopt, port, error); }

bool RunLoopUdpSocket::bindToAddress(const std::optional<std::string>& host, uint16_t port, core::Error* error) {
  if (has(Closed)) throw RunLoopUdpSocketException(kClosedReason);
  if (has(Bound)) throw RunLoopUdpSocketException(kBindTwiceReason);
  if (has(Connected)) throw RunLoopUdpSocketException(kBindAfterConnectReason);

  Addresses addresses;
  if (int rc = convertForBind(host, port, addresses); rc != 0) {
    core::setError(error, netdbError(rc));
    return false;
  }
  const int one = 1;
  for (int fd : {m_fd4, m_fd6}) {
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  if (addresses.v4) {
    if (m_fd4 >= 0) {
      if (::bind(m_fd4, reinterpret_cast<const sockaddr*>(addresses.v4->data()), sizeof(sockaddr_in)) != 0) {
        core::setError(error, socketError(errno));
        return false;
      }
      if (!addresses.v6) closeSocket(Family::V6);
    } else if (!addresses.v6) {
      core::setError(error, udpError(IPv4UnavailableError, kIPv4UnavailableText));
      return false;
    }
  }
  if (addresses.v6) {
    if (m_fd6 >= 0) {
      if (::bind(m_fd6, reinterpret_cast<const sockaddr*>(addresses.v6->data()), sizeof(sockaddr_in6)) != 0) {
        core::setError(error, socketError(errno));
        return false;
      }
      if (!addresses.v4) closeSocket(Family::V4);
    } else if (!addresses.v4) {
      core::setError(error, udpError(IPv6UnavailableError, kIPv6UnavailableText));
      return false;
    }
  }
  m_flags |= Bound;
  return true;
}

bool RunLoopUdpSocket::connectToHost(const std::string& host, uint16_t port, core::Error* error) {
  if (has(Closed)) throw RunLoopUdpSocketException(kClosedReason);
  if (has(Connected)) throw RunLoopUdpSocketException(kConnectTwiceReason);

  Addresses addresses;
  if (int rc = convertForSend(host, port, addresses); rc != 0) {
    core::setError(error, netdbError(rc));
    return false;
  }
  if (addresses.v4) {
    if (m_fd4 >= 0) {
      // A datagram connect only records the peer: it completes at once.
      if (::connect(m_fd4, reinterpret_cast<const sockaddr*>(addresses.v4->data()), sizeof(sockaddr_in)) != 0) {
        core::setError(error, socketError(errno));
        return false;
      }
      m_flags |= Connected;
      closeSocket(Family::V6);
      return true;
    }
    if (!addresses.v6) {
      core::setError(error, udpError(IPv4UnavailableError, kIPv4UnavailableText));
      return false;
    }
  }
  if (addresses.v6) {
    if (m_fd6 < 0) {
      core::setError(error, udpError(IPv6UnavailableError, kIPv6UnavailableText));
      return false;
    }
    if (::connect(m_fd6, reinterpret_cast<const sockaddr*>(addresses.v6->data()), sizeof(sockaddr_in6)) != 0) {
      core::setError(error, socketError(errno));
      return false;
    }
    m_flags |= Connected;
    closeSocket(Family::V4);
    return true;
  }
  // Resolved to neither family: no error to report.
  core::setError(error, core::Error());
  return false;
}

bool RunLoopUdpSocket::connectToAddress(const std::string& address, core::Error* error) {
  if (has(Closed)) throw RunLoopUdpSocketException(kClosedReason);
  if (has(Connected)) throw RunLoopUdpSocketException(kConnectTwiceReason);

  // The size picks the family; the family field must agree, since a connect to "any family"
  // would dissolve the association instead of making one.
  Family family;
  if (address.size() == sizeof(sockaddr_in) && familyOf(address) == AF_INET) {
    family = Family::V4;
  } else if (address.size() == sizeof(sockaddr_in6) && familyOf(address) == AF_INET6) {
    family = Family::V6;
  } else {
    core::setError(error, udpError(BadParamError, kBadAddressText));
    return false;
  }
  const int fd = fdFor(family);
  if (fd < 0) {
    core::setError(error, family == Family::V4 ? udpError(IPv4UnavailableError, kIPv4UnavailableText)
                                               : udpError(IPv6UnavailableError, kIPv6UnavailableText));
    return false;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) != 0) {
    core::setError(error, socketError(errno));
    return false;
  }
  m_flags |= Connected;
  closeSocket(family == Family::V4 ? Family::V6 : Family::V4);
  return true;
}

bool RunLoopUdpSocket::joinMulticastGroup(const std::string& group, core::Error* error) {
  return joinMulticastGroup(group, std::nullopt, error);
}

bool RunLoopUdpSocket::joinMulticastGroup(const std::string& group, const std::optional<std::string>& address, core::Error* error) {
  if (has(Closed)) throw RunLoopUdpSocketException(kClosedReason);
  if (!has(Bound)) throw RunLoopUdpSocketException(kJoinUnboundReason);
  if (has(Connected)) throw RunLoopUdpSocketException(kJoinConnectedReason);

  Addresses interface;
  if (int rc = convertForBind(address, 0, interface); rc != 0) {
    core::setError(error, netdbError(rc, "Invalid parameter 'address': "));
    return false;
  }
  Addresses groupAddresses;
  if (int rc = convertForBind(group, 0, groupAddresses); rc != 0) {
    core::setError(error, netdbError(rc, "Invalid parameter 'group': "));
    return false;
  }

  if (groupAddresses.v4 && interface.v4 && m_fd4 >= 0) {
    ip_mreq request{};
    request.imr_multiaddr = fromBytes<sockaddr_in>(*groupAddresses.v4).sin_addr;
    request.imr_interface = fromBytes<sockaddr_in>(*interface.v4).sin_addr;
    int rc = ::setsockopt(m_fd4, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    if (rc != 0) {
      core::Error failure =
          core::Error::withDescription(StreamPOSIXErrorDomain, rc, "Unable to join IPv4 multicast group");
      failure.setUnderlying(errnoError(errno));
      core::setError(error, failure);
      return false;
    }
    closeSocket(Family::V6);
    return true;
  }
  if (groupAddresses.v6 && interface.v6 && m_fd6 >= 0) {
    ipv6_mreq request{};
    request.ipv6mr_multiaddr = fromBytes<sockaddr_in6>(*groupAddresses.v6).sin6_addr;
    request.ipv6mr_interface = 0;
    int rc = ::setsockopt(m_fd6, IPPROTO_IPV6, IPV6_JOIN_GROUP, &request, sizeof request);
    if (rc != 0) {
      core::Error failure =
          core::Error::withDescription(StreamPOSIXErrorDomain, rc, "Unable to join IPv6 multicast group");
      failure.setUnderlying(errnoError(errno));
      core::setError(error, failure);
      return false;
    }
    closeSocket(Family::V4);
    return true;
  }
  core::setError(error, udpError(BadParamError, kBadGroupText));
  return false;
}

bool RunLoopUdpSocket::enableBroadcast(bool flag, core::Error* error) {
  if (m_fd4 < 0) return true;
  int value = flag ? 1 : 0;
  int rc = ::setsockopt(m_fd4, SOL_SOCKET, SO_BROADCAST, &value, sizeof value);
  if (rc != 0) {
    core::Error failure =
        core::Error::withDescription(StreamPOSIXErrorDomain, rc, "Unable to enable broadcast message sending");
    failure.setUnderlying(errnoError(errno));
    core::setError(error, failure);
    return false;
  }
  return true;
}

void RunLoopUdpSocket::closeSocket(Family family) {
  // The source goes first, so that the loop never watches a closed (or reused) descriptor.
  if (auto& source = sourceFor(family)) {
    source->invalidate();
    source.reset();
  }
  int& fd = fdFor(family);
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
  m_flags &= family == Family::V4 ? ~(CanSend4 | HasData4) : ~(CanSend6 | HasData6);
}

// ---- sending ----

bool RunLoopUdpSocket::sendData(const std::string& data, double timeout, long tag) {
  if (data.empty() || has(NoNewIO) || has(Closed) || !isConnected()) return false;
  return queueSend(UdpSendPacket{data, std::string(), timeout, tag});
}

bool RunLoopUdpSocket::sendData(const std::string& data, const std::string& host, uint16_t port, double timeout,
                                long tag) {
  if (data.empty() || has(NoNewIO) || has(Closed) || isConnected()) return false;
  Addresses addresses;
  if (convertForSend(host, port, addresses) != 0) return false;
  // IPv4 first; a host with no address of a family that has a socket is refused here, rather
  // than sending to an empty address later.
  std::string address;
  if (m_fd4 >= 0 && addresses.v4) {
    address = *addresses.v4;
  } else if (m_fd6 >= 0 && addresses.v6) {
    address = *addresses.v6;
  } else {
    return false;
  }
  return queueSend(UdpSendPacket{data, std::move(address), timeout, tag});
}

bool RunLoopUdpSocket::sendDataToAddress(const std::string& data, const std::string& address, double timeout,
                                         long tag) {
  if (data.empty() || has(NoNewIO) || has(Closed) || isConnected()) return false;
  if (address.size() == sizeof(sockaddr_in) && m_fd4 < 0) return false;
  if (address.size() == sizeof(sockaddr_in6) && m_fd6 < 0) return false;
  return queueSend(UdpSendPacket{data, address, timeout, tag});
}

bool RunLoopUdpSocket::queueSend(UdpSendPacket packet) {
  m_sendQueue.push_back(std::make_shared<UdpSendPacket>(std::move(packet)));
  scheduleDequeueSend();
  return true;
}

void RunLoopUdpSocket::scheduleDequeueSend() {
  if (has(SendDequeueScheduled) || has(Closed)) return;
  m_flags |= SendDequeueScheduled;
  performLater(sendDequeueTarget(), &RunLoopUdpSocket::maybeDequeueSend);
}

void RunLoopUdpSocket::maybeDequeueSend() {
  m_flags &= ~SendDequeueScheduled;
  if (m_currentSend) return;
  if (!m_sendQueue.empty()) {
    m_currentSend = m_sendQueue.front();
    m_sendQueue.pop_front();
    if (m_currentSend->timeout >= 0) m_sendTimer = startTimer(core::Clock::now() + m_currentSend->timeout, true);
    if (auto family = socketForPacket(*m_currentSend)) {
      doSend(*family);
    } else {
      // No socket can ever carry it: fail it now rather than stall the queue behind it.
      failCurrentSend(socketError(0));
      scheduleDequeueSend();
    }
  } else if (has(CloseAfterSends)) {
    if (!has(CloseAfterReceives) || receivesDrained()) close();
  }
}

std::optional<RunLoopUdpSocket::Family> RunLoopUdpSocket::socketForPacket(const UdpSendPacket& packet) const {
  if (m_fd4 >= 0 && m_fd6 >= 0) return packet.address.size() == sizeof(sockaddr_in) ? Family::V4 : Family::V6;
  if (m_fd4 >= 0) return Family::V4;
  if (m_fd6 >= 0) return Family::V6;
  return std::nullopt;
}

bool RunLoopUdpSocket::pollDescriptor(int fd, short events) const {
  if (fd < 0) {
    KT_LOG("Error - Could not get CFSocketNativeHandle from CFSocketRef");
    return false;
  }
  pollfd entry{fd, events, 0};
  int n;
  do {
    n = ::poll(&entry, 1, 0);
  } while (n < 0 && errno == EINTR);
  // A pending error counts as ready: the next call on the descriptor reports it.
  return n > 0 && (entry.revents & (events | POLLERR)) != 0;
}

bool RunLoopUdpSocket::canAcceptBytes(Family family) {
  if (has(family == Family::V4 ? CanSend4 : CanSend6)) return true;
  return pollDescriptor(fdFor(family), POLLOUT);
}

bool RunLoopUdpSocket::hasBytesAvailable(Family family) {
  if (has(family == Family::V4 ? HasData4 : HasData6)) return true;
  return pollDescriptor(fdFor(family), POLLIN);
}

void RunLoopUdpSocket::doSend(Family family) {
  if (!m_currentSend || socketForPacket(*m_currentSend) != family) return;
  const uint16_t canSendFlag = family == Family::V4 ? CanSend4 : CanSend6;
  if (!canAcceptBytes(family)) {
    if (auto& source = sourceFor(family)) source->enable(core::FdSource::Writable);
    return;
  }
  const int fd = fdFor(family);
  const UdpSendPacket& packet = *m_currentSend;
  ssize_t sent;
  do {
    if (has(Connected)) {
      sent = ::send(fd, packet.buffer.data(), packet.buffer.size(), MSG_NOSIGNAL);
    } else {
      sent = ::sendto(fd, packet.buffer.data(), packet.buffer.size(), MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(packet.address.data()),
                      static_cast<socklen_t>(packet.address.size()));
    }
  } while (sent < 0 && errno == EINTR);
  const int savedErrno = errno;
  m_flags &= ~canSendFlag;
  if (sent < 0 && (savedErrno == EAGAIN || savedErrno == EWOULDBLOCK)) {
    // The room went between the readiness report and the call: wait for the next one.
    if (auto& source = sourceFor(family)) source->enable(core::FdSource::Writable);
    return;
  }
  if (sent < 0) {
    failCurrentSend(errnoError(savedErrno));
  } else {
    // Sending binds an unbound socket.
    m_flags |= Bound;
    completeCurrentSend();
  }
  scheduleDequeueSend();
}

void RunLoopUdpSocket::completeCurrentSend() {
  auto packet = m_currentSend;
  if (auto delegate = m_delegate) delegate->onUdpSocketDidSendDataWithTag(*this, packet->tag);
  if (m_currentSend == packet) endCurrentSend();
}

void RunLoopUdpSocket::failCurrentSend(const core::Error& error) {
  auto packet = m_currentSend;
  if (auto delegate = m_delegate) delegate->onUdpSocketDidNotSendDataWithTag(*this, packet->tag, error);
  if (m_currentSend == packet) endCurrentSend();
}

void RunLoopUdpSocket::endCurrentSend() {
  if (m_sendTimer) {
    m_sendTimer->invalidate();
    m_sendTimer.reset();
  }
  m_currentSend.reset();
}

void RunLoopUdpSocket::doSendTimeout(core::Timer& timer) {
  if (&timer != m_sendTimer.get() || !m_currentSend) return;
  failCurrentSend(udpError(SendTimeoutError, kSendTimeoutText));
  scheduleDequeueSend();
}

// ---- receiving ----

void RunLoopUdpSocket::receiveWithTimeout(double timeout, long tag) {
  if (has(NoNewIO) || has(Closed)) return;
  auto packet = std::make_shared<UdpReceivePacket>();
  packet->timeout = timeout;
  packet->tag = tag;
  m_receiveQueue.push_back(std::move(packet));
  scheduleDequeueReceive();
}

void RunLoopUdpSocket::scheduleDequeueReceive() {
  if (has(ReceiveDequeueScheduled) || has(Closed)) return;
  m_flags |= ReceiveDequeueScheduled;
  performLater(receiveDequeueTarget(), &RunLoopUdpSocket::maybeDequeueReceive);
}

void RunLoopUdpSocket::maybeDequeueReceive() {
  m_flags &= ~ReceiveDequeueScheduled;
  if (m_currentReceive) return;
  if (!m_receiveQueue.empty()) {
    m_currentReceive = m_receiveQueue.front();
    m_receiveQueue.pop_front();
    if (m_currentReceive->timeout >= 0) {
      m_receiveTimer = startTimer(core::Clock::now() + m_currentReceive->timeout, false);
    }
    // Alternate which family is read first, so that a busy one cannot starve the other.
    if (has(ReceiveOrder4First)) {
      if (m_fd4 >= 0) doReceive(Family::V4);
      if (m_fd6 >= 0) doReceive(Family::V6);
    } else {
      if (m_fd6 >= 0) doReceive(Family::V6);
      if (m_fd4 >= 0) doReceive(Family::V4);
    }
    m_flags ^= ReceiveOrder4First;
  } else if (has(CloseAfterReceives)) {
    if (!has(CloseAfterSends) || sendsDrained()) close();
  }
}

void RunLoopUdpSocket::doReceive(Family family) {
  const uint16_t hasDataFlag = family == Family::V4 ? HasData4 : HasData6;
  while (m_currentReceive && fdFor(family) >= 0) {
    if (!hasBytesAvailable(family)) {
      if (auto& source = sourceFor(family)) source->enable(core::FdSource::Readable);
      return;
    }
    std::string buffer(m_maxReceiveBufferSize, '\0');
    sockaddr_storage from{};
    socklen_t fromLength = family == Family::V4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    ssize_t received;
    do {
      received = ::recvfrom(fdFor(family), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from),
                            &fromLength);
    } while (received < 0 && errno == EINTR);
    const int savedErrno = errno;
    m_flags &= ~hasDataFlag;
    if (received < 0 && (savedErrno == EAGAIN || savedErrno == EWOULDBLOCK)) {
      if (auto& source = sourceFor(family)) source->enable(core::FdSource::Readable);
      return;
    }
    if (received < 0) {
      failCurrentReceive(errnoError(savedErrno));
      scheduleDequeueReceive();
      return;
    }
    const std::string fromBytes(reinterpret_cast<const char*>(&from),
                                std::min<size_t>(fromLength, sizeof from));
    const std::string host = hostText(fromBytes).value_or(std::string());
    const uint16_t port = addressPort(fromBytes);
    // A connected socket takes datagrams from its peer only.
    if (has(Connected) && !isConnectedToHost(host, port)) continue;

    buffer.resize(static_cast<size_t>(received));
    m_currentReceive->buffer = std::move(buffer);
    m_currentReceive->host = host;
    m_currentReceive->port = port;
    if (maybeCompleteCurrentReceive()) {
      scheduleDequeueReceive();
      return;
    }
    // Not the datagram wanted: the same receive takes the next one.
    if (m_currentReceive) {
      m_currentReceive->buffer.reset();
      m_currentReceive->host.clear();
      m_currentReceive->port = 0;
    }
  }
}

bool RunLoopUdpSocket::maybeCompleteCurrentReceive() {
  auto packet = m_currentReceive;
  if (auto delegate = m_delegate) {
    if (!delegate->onUdpSocketDidReceiveData(*this, *packet->buffer, packet->tag, packet->host, packet->port)) {
      return false;
    }
  }
  if (m_currentReceive == packet) endCurrentReceive();
  return true;
}

void RunLoopUdpSocket::failCurrentReceive(const core::Error& error) {
  auto packet = m_currentReceive;
  if (auto delegate = m_delegate) delegate->onUdpSocketDidNotReceiveDataWithTag(*this, packet->tag, error);
  if (m_currentReceive == packet) endCurrentReceive();
}

void RunLoopUdpSocket::endCurrentReceive() {
  if (m_receiveTimer) {
    m_receiveTimer->invalidate();
    m_receiveTimer.reset();
  }
  m_currentReceive.reset();
}

void RunLoopUdpSocket::doReceiveTimeout(core::Timer& timer) {
  if (&timer != m_receiveTimer.get() || !m_currentReceive) return;
  failCurrentReceive(udpError(ReceiveTimeoutError, kReceiveTimeoutText));
  scheduleDequeueReceive();
}

// ---- socket events ----

void RunLoopUdpSocket::handleSocketEvent(Family family, unsigned ready) {
  bool writable = (ready & core::FdSource::Writable) != 0;
  bool readable = (ready & core::FdSource::Readable) != 0;
  if (ready & (core::FdSource::Error | core::FdSource::HangUp)) {
    // A pending error: let whichever call comes next on the descriptor report it. Both
    // interests go quiet until then, so a lasting error cannot spin the loop.
    writable = readable = true;
  }
  if (writable) {
    auto& source = sourceFor(family);
    if (!source) return;
    source->disable(core::FdSource::Writable);
    m_flags |= family == Family::V4 ? CanSend4 : CanSend6;
    doSend(family);
  }
  if (readable) {
    // The delegate may have closed the socket from a send callback.
    auto& source = sourceFor(family);
    if (!source) return;
    source->disable(core::FdSource::Readable);
    m_flags |= family == Family::V4 ? HasData4 : HasData6;
    doReceive(family);
  }
}

// ---- closing ----

void RunLoopUdpSocket::emptyQueues() {
  endCurrentSend();
  endCurrentReceive();
  m_sendQueue.clear();
  m_receiveQueue.clear();
  if (auto loop = runLoop()) {
    loop->cancelPerforms(sendDequeueTarget());
    loop->cancelPerforms(receiveDequeueTarget());
  }
  m_flags &= ~(SendDequeueScheduled | ReceiveDequeueScheduled);
}

void RunLoopUdpSocket::cancelDeferredCalls() {
  if (auto loop = runLoop()) {
    loop->cancelPerforms(sendDequeueTarget());
    loop->cancelPerforms(receiveDequeueTarget());
    loop->cancelPerforms(socketTarget());
  }
  m_flags &= ~(SendDequeueScheduled | ReceiveDequeueScheduled);
}

void RunLoopUdpSocket::close() { closeNow(true); }

void RunLoopUdpSocket::closeNow(bool report) {
  // A second close would report a second time.
  if (has(Closed)) return;
  emptyQueues();
  closeSocket(Family::V4);
  closeSocket(Family::V6);
  auto loop = runLoop();
  m_runLoop.reset();
  if (report) {
    if (!loop) loop = core::RunLoop::currentShared();
    std::weak_ptr<RunLoopUdpSocket> weak = weak_from_this();
    loop->performAfterDelay(
        closeReportTarget(), 0,
        [weak, delegate = m_delegate] {
          auto self = weak.lock();
          if (self && delegate) delegate->onUdpSocketDidClose(*self);
        },
        m_runLoopModes);
  }
  m_flags |= Closed;
}

void RunLoopUdpSocket::closeAfterSending() {
  if (has(Closed)) return;
  m_flags |= NoNewIO | CloseAfterSends;
  maybeScheduleClose();
}

void RunLoopUdpSocket::closeAfterReceiving() {
  if (has(Closed)) return;
  m_flags |= NoNewIO | CloseAfterReceives;
  maybeScheduleClose();
}

void RunLoopUdpSocket::closeAfterSendingAndReceiving() {
  if (has(Closed)) return;
  m_flags |= NoNewIO | CloseAfterSends | CloseAfterReceives;
  maybeScheduleClose();
}

void RunLoopUdpSocket::maybeScheduleClose() {
  if (has(Closed)) return;
  bool drained = false;
  if (has(CloseAfterReceives)) {
    drained = receivesDrained() && (!has(CloseAfterSends) || sendsDrained());
  } else if (has(CloseAfterSends)) {
    drained = sendsDrained();
  }
  if (drained) performLater(socketTarget(), &RunLoopUdpSocket::close);
}

// ---- queries ----

std::optional<std::string> RunLoopUdpSocket::localHost() const {
  if (m_cachedLocalHost) return m_cachedLocalHost;
  auto address = descriptorAddress(m_fd4 >= 0 ? m_fd4 : m_fd6, true);
  if (!address) return std::nullopt;
  std::optional<std::string> host = hostText(*address);
  if (has(Bound)) m_cachedLocalHost = host;
  return host;
}

uint16_t RunLoopUdpSocket::localPort() const {
  if (m_cachedLocalPort) return m_cachedLocalPort;
  auto address = descriptorAddress(m_fd4 >= 0 ? m_fd4 : m_fd6, true);
  if (!address) return 0;
  uint16_t port = addressPort(*address);
  if (has(Bound)) m_cachedLocalPort = port;
  return port;
}

std::optional<std::string> RunLoopUdpSocket::connectedHost() const {
  if (m_cachedConnectedHost) return m_cachedConnectedHost;
  auto address = descriptorAddress(m_fd4 >= 0 ? m_fd4 : m_fd6, false);
  if (!address) return std::nullopt;
  std::optional<std::string> host = hostText(*address);
  if (has(Connected)) m_cachedConnectedHost = host;
  return host;
}

uint16_t RunLoopUdpSocket::connectedPort() const {
  if (m_cachedConnectedPort) return m_cachedConnectedPort;
  auto address = descriptorAddress(m_fd4 >= 0 ? m_fd4 : m_fd6, false);
  if (!address) return 0;
  uint16_t port = addressPort(*address);
  if (has(Connected)) m_cachedConnectedPort = port;
  return port;
}

bool RunLoopUdpSocket::isConnected() const { return has(Connected) && !has(Closed); }

bool RunLoopUdpSocket::isConnectedToHost(const std::string& host, uint16_t port) const {
  return connectedHost() == host && connectedPort() == port;
}

bool RunLoopUdpSocket::isClosed() const { return has(Closed); }

uint32_t RunLoopUdpSocket::maximumTransmissionUnit() const {
  const int fd = m_fd4 >= 0 ? m_fd4 : m_fd6;
  auto own = descriptorAddress(fd, true);
  if (!own) return 0;
  const sa_family_t family = familyOf(*own);

  // The interface is the one that holds the socket's own address.
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) != 0) return 0;
  std::string name;
  for (const ifaddrs* ifa = interfaces; ifa && name.empty(); ifa = ifa->ifa_next) {
    if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != family || !ifa->ifa_name) continue;
    if (family == AF_INET) {
      auto mine = fromBytes<sockaddr_in>(*own);
      if (reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr == mine.sin_addr.s_addr) {
        name = ifa->ifa_name;
      }
    } else if (family == AF_INET6) {
      auto mine = fromBytes<sockaddr_in6>(*own);
      if (std::memcmp(&reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr)->sin6_addr, &mine.sin6_addr,
                      sizeof(in6_addr)) == 0) {
        name = ifa->ifa_name;
      }
    }
  }
  ::freeifaddrs(interfaces);
  if (name.empty() || name.size() >= IFNAMSIZ) return 0;

  ifreq request{};
  std::memcpy(request.ifr_name, name.c_str(), name.size() + 1);
  if (::ioctl(fd, SIOCGIFMTU, &request) != 0 || request.ifr_mtu <= 0) return 0;
  return static_cast<uint32_t>(request.ifr_mtu);
}

// ---- scheduling ----

void RunLoopUdpSocket::performLater(const core::WeakToken& target, void (RunLoopUdpSocket::*method)()) {
  auto loop = runLoop();
  if (!loop) loop = core::RunLoop::currentShared();
  std::weak_ptr<RunLoopUdpSocket> weak = weak_from_this();
  loop->performAfterDelay(
      target, 0,
      [weak, method] {
        // Held for the call: the delegate may drop the last other reference from inside it.
        if (auto self = weak.lock()) ((*self).*method)();
      },
      m_runLoopModes);
}

std::shared_ptr<core::Timer> RunLoopUdpSocket::startTimer(double fireDate, bool send) {
  auto loop = runLoop();
  if (!loop) return nullptr;
  std::weak_ptr<RunLoopUdpSocket> weak = weak_from_this();
  auto timer = core::Timer::createWithFireDate(fireDate, 0, false, [weak, send](core::Timer& fired) {
    auto self = weak.lock();
    if (!self) return;
    if (send) {
      self->doSendTimeout(fired);
    } else {
      self->doReceiveTimeout(fired);
    }
  });
  for (const auto& mode : m_runLoopModes) loop->addTimer(timer, mode);
  return timer;
}

void RunLoopUdpSocket::detachFromRunLoop() {
  if (auto loop = runLoop()) {
    for (const auto& source : {m_source4, m_source6}) {
      if (!source) continue;
      for (const auto& mode : m_runLoopModes) loop->removeSource(source, mode);
    }
  }
  // A timer belongs to one loop: keep its date and make it again where the socket goes.
  if (m_sendTimer) {
    m_detachedSendFireDate = m_sendTimer->fireDate();
    m_sendTimer->invalidate();
    m_sendTimer.reset();
  }
  if (m_receiveTimer) {
    m_detachedReceiveFireDate = m_receiveTimer->fireDate();
    m_receiveTimer->invalidate();
    m_receiveTimer.reset();
  }
}

void RunLoopUdpSocket::attachToRunLoop() {
  auto loop = runLoop();
  if (!loop) return;
  for (const auto& source : {m_source4, m_source6}) {
    if (!source) continue;
    for (const auto& mode : m_runLoopModes) loop->addSource(source, mode);
  }
  if (m_detachedSendFireDate && m_currentSend) m_sendTimer = startTimer(*m_detachedSendFireDate, true);
  if (m_detachedReceiveFireDate && m_currentReceive) m_receiveTimer = startTimer(*m_detachedReceiveFireDate, false);
  m_detachedSendFireDate.reset();
  m_detachedReceiveFireDate.reset();
}

bool RunLoopUdpSocket::moveToRunLoop(core::RunLoop* runLoop) {
  if (!runLoop) return false;
  auto current = this->runLoop();
  if (current.get() == runLoop) return true;
  cancelDeferredCalls();
  detachFromRunLoop();
  m_runLoop = runLoop->shared_from_this();
  if (&core::RunLoop::current() == runLoop) {
    attachToRunLoop();
    performLater(socketTarget(), &RunLoopUdpSocket::maybeDequeueSend);
    performLater(socketTarget(), &RunLoopUdpSocket::maybeDequeueReceive);
    performLater(socketTarget(), &RunLoopUdpSocket::maybeScheduleClose);
  } else {
    // Sources and timers are added on the loop's own thread; the socket lives there from now on.
    std::weak_ptr<RunLoopUdpSocket> weak = weak_from_this();
    runLoop->performBlock(
        [weak] {
          auto self = weak.lock();
          if (!self) return;
          self->attachToRunLoop();
          self->maybeDequeueSend();
          self->maybeDequeueReceive();
          self->maybeScheduleClose();
        },
        m_runLoopModes);
  }
  return true;
}

bool RunLoopUdpSocket::setRunLoopModes(const Modes& modes) {
  if (modes.empty()) return false;
  if (modes == m_runLoopModes) return true;
  cancelDeferredCalls();
  detachFromRunLoop();
  m_runLoopModes = modes;
  attachToRunLoop();
  performLater(socketTarget(), &RunLoopUdpSocket::maybeDequeueSend);
  performLater(socketTarget(), &RunLoopUdpSocket::maybeDequeueReceive);
  performLater(socketTarget(), &RunLoopUdpSocket::maybeScheduleClose);
  return true;
}

}  // namespace kt
