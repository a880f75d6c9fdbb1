#include "link/sockets/RunLoopSocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/sockets/SocketPackets.h"
#include "platform/core/Bundle.h"
#include "platform/core/FdSource.h"
#include "platform/core/Log.h"
#include "platform/core/Timer.h"
#include "platform/net/Socket.h"
#include "platform/net/SocketStream.h"

namespace kt {

namespace {

constexpr size_t kReadChunk = 256;     // bytes per stream read of an available or read-ahead read

using net::SocketStream;

core::Error localizedError(int64_t code, const char* key, const char* fallback) {
  return core::Error::withDescription(RunLoopSocket::ErrorDomain, code,
                                      core::Bundle::main().localizedString(key, fallback, "RunLoopSocket"));
}

int familyOf(const std::string& address) {
  if (address.size() < sizeof(sa_family_t)) return AF_UNSPEC;
  sa_family_t family;
  std::memcpy(&family, address.data(), sizeof family);
  return family;
}

std::string addressOfDescriptor(int fd, bool peer, size_t capacity) {
  sockaddr_storage ss{};
  socklen_t len = static_cast<socklen_t>(std::min(capacity, sizeof ss));
  int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len)
                : ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
  if (rc != 0) return {};
  return std::string(reinterpret_cast<const char*>(&ss), std::min<size_t>(len, capacity));
}

std::string anyAddress4(uint16_t port, bool loopback) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
  return std::string(reinterpret_cast<const char*>(&a), sizeof a);
}

std::string anyAddress6(uint16_t port, bool loopback) {
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_port = htons(port);
  a.sin6_addr = loopback ? in6addr_loopback : in6addr_any;
  return std::string(reinterpret_cast<const char*>(&a), sizeof a);
}

std::string textOrNull(const std::optional<std::string>& text) { return text ? *text : "(null)"; }

const char* statusWord(const std::shared_ptr<SocketStream>& stream, SocketStream::Side side) {
  static const char* const words[] = {"not open", "opening", "open", "reading", "writing", "at end", "closed", "has error"};
  int status = stream ? static_cast<int>(stream->status(side)) : 0;
  return words[(status >= 0 && status <= 7) ? status : 0];
}

}  // namespace

// ---- creation -----------------------------------------------------------------------------

RunLoopSocket::RunLoopSocket(Key, std::shared_ptr<RunLoopSocketDelegate> delegate, int64_t userData)
    : m_delegate(std::move(delegate)), m_userData(userData) {}

std::shared_ptr<RunLoopSocket> RunLoopSocket::create(std::shared_ptr<RunLoopSocketDelegate> delegate,
                                                     int64_t userData) {
  return std::make_shared<RunLoopSocket>(Key{}, std::move(delegate), userData);
}

RunLoopSocket::~RunLoopSocket() {
  // Closed without telling the delegate: nothing may call back into an object being destroyed.
  m_flags &= static_cast<uint16_t>(~DelegateStarted);
  close();
  cancelDeferredCalls();
}

template <typename Fn>
auto RunLoopSocket::guarded(Fn fn) {
  std::weak_ptr<RunLoopSocket> weak = weak_from_this();
  return [weak, fn](auto&&... args) {
    if (auto self = weak.lock()) {
      fn(*self, std::forward<decltype(args)>(args)...);
      // Should the callout have dropped every other reference, the socket goes on a later turn.
      core::RunLoop::current().releaseLater(std::move(self));
    }
  };
}

std::function<void()> RunLoopSocket::guardedCall(void (RunLoopSocket::*member)()) {
  return guarded([member](RunLoopSocket& s) { (s.*member)(); });
}

bool RunLoopSocket::canSafelySetDelegate() const {
  return m_readQueue.empty() && m_writeQueue.empty() && !m_currentRead && !m_currentWrite;
}

std::shared_ptr<net::Socket> RunLoopSocket::getSocket() const { return m_socket4 ? m_socket4 : m_socket6; }

void RunLoopSocket::checkForThreadSafety() const {
  if (m_runLoop && m_runLoop != &core::RunLoop::current())
    throw RunLoopSocketException("Attempting to access RunLoopSocket instance from incorrect thread.");
}

// ---- errors -------------------------------------------------------------------------------

core::Error RunLoopSocket::getSocketError() {
  return localizedError(SocketError, "RunLoopSocketCFSocketError", "General CFSocket error");
}
core::Error RunLoopSocket::getAbortError() {
  return localizedError(CanceledError, "RunLoopSocketCanceledError", "Connection canceled");
}
core::Error RunLoopSocket::getConnectTimeoutError() {
  return localizedError(ConnectTimeoutError, "RunLoopSocketConnectTimeoutError", "Attempt to connect to host timed out");
}
core::Error RunLoopSocket::getReadMaxedOutError() {
  return localizedError(ReadMaxedOutError, "RunLoopSocketReadMaxedOutError", "Read operation reached set maximum length");
}
core::Error RunLoopSocket::getReadTimeoutError() {
  return localizedError(ReadTimeoutError, "RunLoopSocketReadTimeoutError", "Read operation timed out");
}
core::Error RunLoopSocket::getWriteTimeoutError() {
  return localizedError(WriteTimeoutError, "RunLoopSocketWriteTimeoutError", "Write operation timed out");
}
core::Error RunLoopSocket::getErrnoError(int errnoValue) {
  return core::Error::withDescription(PosixErrorDomain, errnoValue, std::strerror(errnoValue));
}

std::optional<core::Error> RunLoopSocket::errorFromStreamError(const net::StreamError& error) {
  using D = net::StreamErrorDomain;
  if (error.domain == D::None && error.error == 0) return std::nullopt;
  switch (error.domain) {
    case D::Posix:
      return core::Error(PosixErrorDomain, error.error);
    case D::NetDB:
      return core::Error::withDescription(NetDBErrorDomain, error.error, ::gai_strerror(static_cast<int>(error.error)));
    case D::TLS:
      if (!error.detail.empty()) return core::Error::withDescription(TLSErrorDomain, error.error, error.detail);
      return core::Error(TLSErrorDomain, error.error);
    default:
      return core::Error(UnlistedStreamErrorDomain, error.error);
  }
}

std::optional<core::Error> RunLoopSocket::getStreamError() const {
  if (m_readStream && m_readStream->error(SocketStream::ReadSide).error != 0)
    return errorFromStreamError(m_readStream->error(SocketStream::ReadSide));
  if (m_writeStream && m_writeStream->error(SocketStream::WriteSide).error != 0)
    return errorFromStreamError(m_writeStream->error(SocketStream::WriteSide));
  return std::nullopt;
}

// ---- connecting ---------------------------------------------------------------------------

bool RunLoopSocket::connectToHost(const std::string& host, uint16_t port, core::Error* error) {
  return connectToHost(host, port, -1.0, error);
}

bool RunLoopSocket::connectToHost(const std::string& host, uint16_t port, double timeout, core::Error* error) {
  if (!m_delegate) throw RunLoopSocketException("Attempting to connect without a delegate. Set a delegate first.");
  if (!isDisconnected())
    throw RunLoopSocketException("Attempting to connect while connected or accepting connections. Disconnect first.");
  auto keep = keepAlive();
  emptyQueues();

  core::Error failure;
  bool ok = createStreamsToHost(host, port, &failure) && attachStreamsToRunLoop(nullptr, &failure);
  if (ok) {
    auto delegate = delegateForCall();
    if (delegate && !delegate->onSocketWillConnect(*this)) {
      failure = getAbortError();
      ok = false;
    }
  }
  ok = ok && openStreams(&failure);
  if (!ok) {
    close();
    core::setError(error, failure);
    return false;
  }
  if (timeout >= 0) m_connectTimer = startTimer(timeout, &RunLoopSocket::doConnectTimeout);
  m_flags |= DelegateStarted;
  return true;
}

bool RunLoopSocket::createStreamsToHost(const std::string& host, uint16_t port, core::Error* error) {
  auto stream = SocketStream::createToHost(host, port);
  if (!stream) {
    // No host at all: there is no stream error to give, so say what was wrong.
    core::setError(error, getStreamError().value_or(getErrnoError(EINVAL)));
    return false;
  }
  stream->setShouldCloseNative(true);
  m_readStream = stream;
  m_writeStream = stream;
  return true;
}

bool RunLoopSocket::createStreamsFromNative(int fd, core::Error* error) {
  auto stream = SocketStream::createWithNative(fd);
  if (!stream) {
    core::Error e = getStreamError().value_or(getSocketError());
    KT_LOG("RunLoopSocket %p couldn't create streams from accepted socket: %s", static_cast<void*>(this),
           e.description().c_str());
    core::setError(error, e);
    return false;
  }
  stream->setShouldCloseNative(true);
  m_readStream = stream;
  m_writeStream = stream;
  return true;
}

void RunLoopSocket::scheduleStreams(core::RunLoop& loop, const std::string& mode) {
  if (m_readStream) m_readStream->schedule(loop, mode);
  if (m_writeStream && m_writeStream != m_readStream) m_writeStream->schedule(loop, mode);
}

void RunLoopSocket::unscheduleStreams(core::RunLoop& loop, const std::string& mode) {
  if (m_readStream) m_readStream->unschedule(loop, mode);
  if (m_writeStream && m_writeStream != m_readStream) m_writeStream->unschedule(loop, mode);
}

bool RunLoopSocket::attachStreamsToRunLoop(core::RunLoop* runLoop, core::Error* error) {
  m_runLoop = runLoop ? runLoop : &core::RunLoop::current();
  if (!m_readStream || !m_writeStream) return false;
  const unsigned readEvents = net::StreamOpenCompleted | net::StreamHasBytesAvailable | net::StreamErrorOccurred |
                              net::StreamEndEncountered;
  const unsigned writeEvents = net::StreamOpenCompleted | net::StreamCanAcceptBytes | net::StreamErrorOccurred |
                               net::StreamEndEncountered;
  if (!m_readStream->setClient(SocketStream::ReadSide, readEvents,
                               guarded([](RunLoopSocket& s, net::StreamEvent e) { s.doReadStreamEvent(e); }))) {
    core::Error e = getStreamError().value_or(getSocketError());
    KT_LOG("RunLoopSocket %p couldn't attach read stream to run-loop,", static_cast<void*>(this));
    KT_LOG("Error: %s", e.description().c_str());
    core::setError(error, e);
    return false;
  }
  if (!m_writeStream->setClient(SocketStream::WriteSide, writeEvents,
                                guarded([](RunLoopSocket& s, net::StreamEvent e) { s.doWriteStreamEvent(e); }))) {
    core::Error e = getStreamError().value_or(getSocketError());
    KT_LOG("RunLoopSocket %p couldn't attach write stream to run-loop,", static_cast<void*>(this));
    KT_LOG("Error: %s", e.description().c_str());
    core::setError(error, e);
    return false;
  }
  for (const auto& mode : m_runLoopModes) scheduleStreams(*m_runLoop, mode);
  return true;
}

bool RunLoopSocket::openStreams(core::Error* error) {
  if (!m_readStream || !m_readStream->open(SocketStream::ReadSide)) {
    KT_LOG("RunLoopSocket %p couldn't open read stream,", static_cast<void*>(this));
    core::setError(error, getStreamError().value_or(getSocketError()));
    return false;
  }
  if (!m_writeStream || !m_writeStream->open(SocketStream::WriteSide)) {
    KT_LOG("RunLoopSocket %p couldn't open write stream,", static_cast<void*>(this));
    core::setError(error, getStreamError().value_or(getSocketError()));
    return false;
  }
  return true;
}

void RunLoopSocket::attachSocketsToRunLoop(core::RunLoop* runLoop) {
  m_runLoop = runLoop ? runLoop : &core::RunLoop::current();
  if (m_socket4) {
    m_source4 = m_socket4->source();
    for (const auto& mode : m_runLoopModes) m_runLoop->addSource(m_source4, mode);
  }
  if (m_socket6) {
    m_source6 = m_socket6->source();
    for (const auto& mode : m_runLoopModes) m_runLoop->addSource(m_source6, mode);
  }
}

bool RunLoopSocket::setSocketFromStreams(core::Error* error) {
  int fd = m_readStream ? m_readStream->nativeHandle() : -1;
  if (fd < 0) {
    core::setError(error, getStreamError().value_or(getSocketError()));
    return false;
  }
  // A wrapper without callbacks, for the address queries; the streams own the descriptor.
  auto wrapper = net::Socket::createWithNative(fd, net::Socket::NoCallback, nullptr);
  if (!wrapper) {
    core::setError(error, getSocketError());
    return false;
  }
  wrapper->setCloseOnInvalidate(false);
  if (m_nativeSocket4 > 0) {
    m_socket4 = wrapper;
  } else if (m_nativeSocket6 > 0) {
    m_socket6 = wrapper;
  } else {
    std::string peer = wrapper->peerAddress();
    if (peer.empty()) {
      KT_LOG("RunLoopSocket couldn't determine IP version of socket");
      wrapper->invalidate();
      core::setError(error, getSocketError());
      return false;
    }
    if (familyOf(peer) == AF_INET) {
      m_socket4 = wrapper;
      m_nativeSocket4 = fd;
    } else {
      m_socket6 = wrapper;
      m_nativeSocket6 = fd;
    }
  }
  return true;
}

void RunLoopSocket::doStreamOpen() {
  if (!(m_flags & ReadOpened) || !(m_flags & WriteOpened)) return;
  core::Error error;
  if (!setSocketFromStreams(&error)) {
    KT_LOG("RunLoopSocket %p couldn't get socket from streams, %s. Disconnecting.", static_cast<void*>(this),
           error.description().c_str());
    closeWithError(&error);
    return;
  }
  endConnectTimeout();
  if (auto delegate = delegateForCall()) {
    delegate->onSocketDidConnectToHost(*this, connectedHost().value_or(""), connectedPort());
  }
  maybeDequeueRead();
  maybeDequeueWrite();
}

void RunLoopSocket::doConnectTimeout() {
  endConnectTimeout();
  core::Error error = getConnectTimeoutError();
  closeWithError(&error);
}

void RunLoopSocket::endConnectTimeout() {
  if (m_connectTimer) m_connectTimer->invalidate();
  m_connectTimer.reset();
}

bool RunLoopSocket::connectToAddress(const std::string& remoteAddress, core::Error* error) {
  return connectToAddress(remoteAddress, std::nullopt, -1.0, error);
}

bool RunLoopSocket::connectToAddress(const std::string& remoteAddress, double timeout, core::Error* error) {
  return connectToAddress(remoteAddress, std::nullopt, timeout, error);
}

bool RunLoopSocket::connectToAddress(const std::string& remoteAddress,
                                     const std::optional<std::string>& interfaceAddress, double timeout,
                                     core::Error* error) {
  if (!m_delegate) throw RunLoopSocketException("Attempting to connect without a delegate. Set a delegate first.");
  if (!isDisconnected())
    throw RunLoopSocketException("Attempting to connect while connected or accepting connections. Disconnect first.");
  auto keep = keepAlive();
  emptyQueues();

  core::Error failure;
  bool ok = true;
  auto callback = guarded([](RunLoopSocket& s, net::Socket& socket, net::Socket::CallbackType type, int value) {
    s.doSocketEvent(socket, type, value);
  });
  const int family = familyOf(remoteAddress);
  if (family == AF_INET6 && remoteAddress.size() >= sizeof(sockaddr_in6)) {
    m_socket6 = net::Socket::create(AF_INET6, SOCK_STREAM, IPPROTO_TCP, net::Socket::ConnectCallback, callback);
    if (!m_socket6) failure = getSocketError(), ok = false;
  } else if (family == AF_INET && remoteAddress.size() >= sizeof(sockaddr_in)) {
    m_socket4 = net::Socket::create(AF_INET, SOCK_STREAM, IPPROTO_TCP, net::Socket::ConnectCallback, callback);
    if (!m_socket4) failure = getSocketError(), ok = false;
  } else {
    failure = core::Error::withDescription(ErrorDomain, SocketError, "Remote address is not IPv4 or IPv6");
    ok = false;
  }
  if (ok && interfaceAddress) {
    const int ifFamily = familyOf(*interfaceAddress);
    if (ifFamily != AF_INET && ifFamily != AF_INET6) {
      failure = core::Error::withDescription(ErrorDomain, SocketError, "Interface address is not IPv4 or IPv6");
      ok = false;
    } else {
      int fd = getSocket()->native();
      if (::bind(fd, reinterpret_cast<const sockaddr*>(interfaceAddress->data()),
                 static_cast<socklen_t>(interfaceAddress->size())) != 0) {
        failure = getErrnoError(errno);
        ok = false;
      }
    }
  }
  if (ok) {
    attachSocketsToRunLoop(nullptr);
    auto delegate = delegateForCall();
    if (delegate && !delegate->onSocketWillConnect(*this)) {
      failure = getAbortError();
      ok = false;
    }
  }
  if (ok) {
    auto socket = getSocket();
    if (!socket || !socket->connectToAddress(remoteAddress)) {
      failure = getSocketError();
      ok = false;
    }
  }
  if (!ok) {
    close();
    core::setError(error, failure);
    return false;
  }
  if (timeout >= 0) m_connectTimer = startTimer(timeout, &RunLoopSocket::doConnectTimeout);
  m_flags |= DelegateStarted;
  return true;
}

void RunLoopSocket::doSocketOpen(net::Socket& socket, int socketError) {
  if (socketError != 0) {
    core::Error error = getSocketError();
    closeWithError(&error);
    return;
  }
  const int fd = socket.native();
  if (&socket == m_socket4.get()) {
    m_nativeSocket4 = fd;
  } else {
    m_nativeSocket6 = fd;
  }
  // The descriptor now belongs to the streams.
  socket.setCloseOnInvalidate(false);
  auto keepSocket = socket.shared_from_this();
  socket.invalidate();
  m_socket4.reset();
  m_socket6.reset();
  m_source4.reset();
  m_source6.reset();

  core::Error error;
  if (!createStreamsFromNative(fd, &error) || !attachStreamsToRunLoop(nullptr, &error) || !openStreams(&error)) {
    closeWithError(&error);
  }
}

// ---- listening ----------------------------------------------------------------------------

bool RunLoopSocket::acceptOnPort(uint16_t port, core::Error* error) { return acceptOnInterface("", port, error); }

bool RunLoopSocket::acceptOnInterface(const std::string& interface, uint16_t port, core::Error* error) {
  if (!m_delegate) throw RunLoopSocketException("Attempting to accept without a delegate. Set a delegate first.");
  if (!isDisconnected())
    throw RunLoopSocketException("Attempting to accept while connected or accepting connections. Disconnect first.");
  auto keep = keepAlive();
  emptyQueues();

  std::optional<std::string> address4, address6;
  if (interface.empty()) {
    address4 = anyAddress4(port, false);
    address6 = anyAddress6(port, false);
  } else if (interface == "localhost" || interface == "loopback") {
    address4 = anyAddress4(port, true);
    address6 = anyAddress6(port, true);
  } else {
    // Listening needs its address before this returns; interface names are local
    // (numeric addresses and the hosts file), so this look-up does not wait on the network.
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char service[8];
    std::snprintf(service, sizeof service, "%hu", port);
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(interface.c_str(), service, &hints, &result);
    if (rc != 0) {
      core::setError(error, core::Error::withDescription(NetDBErrorDomain, rc, ::gai_strerror(rc)));
      return false;
    }
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
      if (ai->ai_family == AF_INET && !address4)
        address4 = std::string(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen);
      else if (ai->ai_family == AF_INET6 && !address6)
        address6 = std::string(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen);
    }
    ::freeaddrinfo(result);
  }
  if (!address4 && !address6) return false;

  auto callback = guarded([](RunLoopSocket& s, net::Socket& socket, net::Socket::CallbackType type, int value) {
    s.doSocketEvent(socket, type, value);
  });
  auto fail = [&] {
    core::setError(error, getSocketError());
    if (m_socket4) m_socket4->invalidate();
    if (m_socket6) m_socket6->invalidate();
    m_socket4.reset();
    m_socket6.reset();
    m_source4.reset();
    m_source6.reset();
    m_runLoop = nullptr;
    return false;
  };
  if (address4) {
    m_socket4 = net::Socket::create(AF_INET, SOCK_STREAM, 0, net::Socket::AcceptCallback, callback);
    if (!m_socket4) return fail();
  }
  if (address6) {
    m_socket6 = net::Socket::create(AF_INET6, SOCK_STREAM, 0, net::Socket::AcceptCallback, callback);
    if (m_socket6) {
      // Linux lets an IPv6 socket take IPv4 connections too; here each family has its own socket
      // on the same port, so the IPv6 one keeps to IPv6.
      int one = 1;
      ::setsockopt(m_socket6->native(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
  }
  attachSocketsToRunLoop(nullptr);
  int one = 1;
  if (m_socket4) ::setsockopt(m_socket4->native(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (m_socket6) ::setsockopt(m_socket6->native(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (m_socket4 && !m_socket4->setAddress(*address4)) return fail();
  if (m_socket6 && address6) {
    if (port == 0 && m_socket4) {
      uint16_t actual = portFromAddress(m_socket4->address());
      sockaddr_in6 a6;
      std::memcpy(&a6, address6->data(), sizeof a6);
      a6.sin6_port = htons(actual);
      address6 = std::string(reinterpret_cast<const char*>(&a6), sizeof a6);
    }
    if (!m_socket6->setAddress(*address6)) return fail();
  }
  m_flags |= DelegateStarted;
  return true;
}

void RunLoopSocket::doSocketEvent(net::Socket& socket, unsigned type, int value) {
  switch (type) {
    case net::Socket::AcceptCallback:
      doAcceptFromSocket(socket, value);
      break;
    case net::Socket::ConnectCallback:
      doSocketOpen(socket, value);
      break;
    default:
      KT_LOG("RunLoopSocket %p received unexpected CFSocketCallBackType %i", static_cast<void*>(this),
             static_cast<int>(type));
      break;
  }
}

void RunLoopSocket::doAcceptFromSocket(net::Socket& socket, int fd) {
  if (fd < 0) return;
  auto newSocket = create(m_delegate, 0);
  newSocket->m_runLoopModes = m_runLoopModes;
  core::Error error;
  if (!newSocket->createStreamsFromNative(fd, &error)) {
    ::close(fd);  // nobody else owns it yet
    newSocket->close();
    return;
  }
  if (&socket == m_socket4.get()) {
    newSocket->m_nativeSocket4 = fd;
  } else {
    newSocket->m_nativeSocket6 = fd;
  }
  auto delegate = delegateForCall();
  if (delegate) delegate->onSocketDidAcceptNewSocket(*this, newSocket);
  newSocket->m_flags |= DelegateStarted;
  core::RunLoop* loop = delegate ? delegate->onSocketWantsRunLoopForNewSocket(*this, newSocket) : nullptr;

  bool ok = newSocket->attachStreamsToRunLoop(loop, &error);
  if (ok) {
    auto newDelegate = newSocket->delegateForCall();
    if (newDelegate && !newDelegate->onSocketWillConnect(*newSocket)) ok = false;
  }
  ok = ok && newSocket->openStreams(&error);
  if (!ok) newSocket->close();
}

// ---- stream events ------------------------------------------------------------------------

bool RunLoopSocket::doStreamEvent(Side side, unsigned event) {
  IoSide s = ioSide(side);
  if (event == net::StreamOpenCompleted) {
    m_flags |= s.opened;
    doStreamOpen();
  } else if (event == s.readyEvent) {
    if (m_flags & s.tls) {
      onTLSHandshakeSuccessful();
    } else {
      m_flags |= s.ready;
      (this->*s.transfer)();
    }
  } else if (event == net::StreamErrorOccurred || event == net::StreamEndEncountered) {
    std::optional<core::Error> error;
    if (s.stream) error = errorFromStreamError(s.stream->error(static_cast<SocketStream::Side>(s.streamSide)));
    closeWithError(error ? &*error : nullptr);
  } else {
    return false;
  }
  return true;
}

void RunLoopSocket::doReadStreamEvent(unsigned event) {
  if (!doStreamEvent(Side::Read, event))
    KT_LOG("RunLoopSocket %p received unexpected CFReadStream callback, CFStreamEventType %i",
           static_cast<void*>(this), static_cast<int>(event));
}

void RunLoopSocket::doWriteStreamEvent(unsigned event) {
  if (!doStreamEvent(Side::Write, event))
    KT_LOG("RunLoopSocket %p received unexpected CFWriteStream callback, CFStreamEventType %i",
           static_cast<void*>(this), static_cast<int>(event));
}

// ---- closing ------------------------------------------------------------------------------

void RunLoopSocket::emptyQueues() {
  if (m_currentRead) endCurrentRead();
  if (m_currentWrite) endCurrentWrite();
  m_readQueue.clear();
  m_writeQueue.clear();
  core::RunLoop::current().cancelPerforms(target(&m_readQueue));
  core::RunLoop::current().cancelPerforms(target(&m_writeQueue));
  m_flags &= static_cast<uint16_t>(~(ReadDequeueScheduled | WriteDequeueScheduled));
}

void RunLoopSocket::cancelDeferredCalls() {
  auto& loop = core::RunLoop::current();
  loop.cancelPerforms(target(this));
  loop.cancelPerforms(target(&m_readQueue));
  loop.cancelPerforms(target(&m_writeQueue));
  m_flags &= static_cast<uint16_t>(~(ReadDequeueScheduled | WriteDequeueScheduled));
}

void RunLoopSocket::close() {
  auto keep = keepAlive();
  emptyQueues();
  m_partialReadBuffer.clear();
  core::RunLoop::current().cancelPerforms(target(this));  // a deferred disconnect
  endConnectTimeout();

  if (m_readStream) {
    if (m_runLoop)
      for (const auto& mode : m_runLoopModes) m_readStream->unschedule(*m_runLoop, mode);
    m_readStream->setClient(SocketStream::ReadSide, 0, nullptr);
    m_readStream->close(SocketStream::ReadSide);
    m_readStream.reset();
  }
  if (m_writeStream) {
    if (m_runLoop)
      for (const auto& mode : m_runLoopModes) m_writeStream->unschedule(*m_runLoop, mode);
    m_writeStream->setClient(SocketStream::WriteSide, 0, nullptr);
    m_writeStream->close(SocketStream::WriteSide);
    m_writeStream.reset();
  }

  if (m_socket4) m_socket4->invalidate();
  if (m_socket6) m_socket6->invalidate();
  m_socket4.reset();
  m_socket6.reset();
  m_nativeSocket4 = 0;
  m_nativeSocket6 = 0;

  for (auto* source : {&m_source4, &m_source6}) {
    if (*source && m_runLoop)
      for (const auto& mode : m_runLoopModes) m_runLoop->removeSource(*source, mode);
    source->reset();
  }
  m_runLoop = nullptr;

  const bool wasStarted = m_flags & DelegateStarted;
  m_flags &= PreBuffer;
  if (wasStarted) {
    if (auto delegate = delegateForCall()) delegate->onSocketDidDisconnect(*this);
  }
}

void RunLoopSocket::disconnect() { close(); }

void RunLoopSocket::closeWithError(const core::Error* error) {
  auto keep = keepAlive();
  // The error may live in something the callout below destroys.
  std::optional<core::Error> copy;
  if (error) copy = *error;
  m_flags |= ClosingWithError;
  if (m_flags & DelegateStarted) {
    recoverUnreadData();
    if (auto delegate = delegateForCall()) delegate->onSocketWillDisconnectWithError(*this, copy ? &*copy : nullptr);
  }
  close();
}

void RunLoopSocket::recoverUnreadData() {
  if (auto packet = currentReadPacket(); packet && packet->bytesDone > 0) {
    m_partialReadBuffer.insert(0, packet->buffer->data() + packet->startOffset, packet->bytesDone);
  }
  emptyQueues();
}

std::optional<std::string> RunLoopSocket::unreadData() {
  if (!(m_flags & ClosingWithError) || !m_readStream) return std::nullopt;
  size_t held = m_partialReadBuffer.size();
  for (;;) {
    if (!m_readStream->hasBytesAvailable()) break;
    if (held == m_partialReadBuffer.size()) m_partialReadBuffer.resize(held + kReadChunk);
    long n = m_readStream->read(&m_partialReadBuffer[held], m_partialReadBuffer.size() - held);
    if (n <= 0) break;
    held += static_cast<size_t>(n);
  }
  m_partialReadBuffer.resize(held);
  return m_partialReadBuffer;
}

void RunLoopSocket::disconnectAfterReading() {
  m_flags |= NoNewIO | CloseAfterReads;
  maybeScheduleDisconnect();
}

void RunLoopSocket::disconnectAfterWriting() {
  m_flags |= NoNewIO | CloseAfterWrites;
  maybeScheduleDisconnect();
}

void RunLoopSocket::disconnectAfterReadingAndWriting() {
  m_flags |= NoNewIO | CloseAfterReads | CloseAfterWrites;
  maybeScheduleDisconnect();
}

void RunLoopSocket::maybeScheduleDisconnect() {
  bool shouldDisconnect = false;
  if (m_flags & CloseAfterReads) {
    if (m_readQueue.empty() && !m_currentRead) {
      shouldDisconnect = !(m_flags & CloseAfterWrites) || (m_writeQueue.empty() && !m_currentWrite);
    }
  } else if (m_flags & CloseAfterWrites) {
    shouldDisconnect = m_writeQueue.empty() && !m_currentWrite;
  }
  if (shouldDisconnect) {
    core::RunLoop::current().performAfterDelay(target(this), 0, guarded([](RunLoopSocket& s) { s.disconnect(); }),
                                               m_runLoopModes);
  }
}

// ---- state and addresses ------------------------------------------------------------------

bool RunLoopSocket::isDisconnected() const {
  return m_nativeSocket4 <= 0 && m_nativeSocket6 <= 0 && !m_socket4 && !m_socket6 && !m_readStream &&
         !m_writeStream;
}

bool RunLoopSocket::isConnected() const { return areStreamsConnected(); }

bool RunLoopSocket::areStreamsConnected() const {
  if (!m_readStream || !m_writeStream) return false;
  using S = net::StreamStatus;
  S r = m_readStream->status(SocketStream::ReadSide);
  S w = m_writeStream->status(SocketStream::WriteSide);
  return (r == S::Open || r == S::Reading || r == S::Error) && (w == S::Open || w == S::Writing || w == S::Error);
}

bool RunLoopSocket::isIPv4() const { return m_nativeSocket4 > 0 || m_socket4 != nullptr; }
bool RunLoopSocket::isIPv6() const { return m_nativeSocket6 > 0 || m_socket6 != nullptr; }

std::optional<std::string> RunLoopSocket::hostFromAddress(const std::string& address) {
  const int family = familyOf(address);
  if (family == AF_INET && address.size() >= sizeof(sockaddr_in)) {
    sockaddr_in a;
    std::memcpy(&a, address.data(), sizeof a);
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text)) return std::nullopt;
    return std::string(text);
  }
  if (family == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) {
    sockaddr_in6 a;
    std::memcpy(&a, address.data(), sizeof a);
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text)) return std::nullopt;
    return std::string(text);
  }
  return std::nullopt;
}

uint16_t RunLoopSocket::portFromAddress(const std::string& address) {
  // The port sits at offset 2 in both families, in network order.
  if (address.size() < 4) return 0;
  uint16_t port;
  std::memcpy(&port, address.data() + 2, sizeof port);
  return ntohs(port);
}

// The first address found, in the order: IPv4 socket object, IPv6 socket object, IPv4
// descriptor, IPv6 descriptor; limited to the families asked for. Empty when none is present.
std::string RunLoopSocket::firstAddress(bool peer, bool want4, bool want6) const {
  if (want4 && m_socket4) return peer ? m_socket4->peerAddress() : m_socket4->address();
  if (want6 && m_socket6) return peer ? m_socket6->peerAddress() : m_socket6->address();
  if (want4 && m_nativeSocket4 > 0) return addressOfDescriptor(m_nativeSocket4, peer, sizeof(sockaddr_in));
  if (want6 && m_nativeSocket6 > 0) return addressOfDescriptor(m_nativeSocket6, peer, sizeof(sockaddr_in6));
  return {};
}

std::optional<std::string> RunLoopSocket::connectedHost() const { return hostFromAddress(firstAddress(true, true, true)); }
uint16_t RunLoopSocket::connectedPort() const { return portFromAddress(firstAddress(true, true, true)); }
std::optional<std::string> RunLoopSocket::localHost() const { return hostFromAddress(firstAddress(false, true, true)); }
uint16_t RunLoopSocket::localPort() const { return portFromAddress(firstAddress(false, true, true)); }
std::optional<std::string> RunLoopSocket::connectedHost4() const { return hostFromAddress(firstAddress(true, true, false)); }
uint16_t RunLoopSocket::connectedPort4() const { return portFromAddress(firstAddress(true, true, false)); }
std::optional<std::string> RunLoopSocket::localHost4() const { return hostFromAddress(firstAddress(false, true, false)); }
uint16_t RunLoopSocket::localPort4() const { return portFromAddress(firstAddress(false, true, false)); }
std::optional<std::string> RunLoopSocket::connectedHost6() const { return hostFromAddress(firstAddress(true, false, true)); }
uint16_t RunLoopSocket::connectedPort6() const { return portFromAddress(firstAddress(true, false, true)); }
std::optional<std::string> RunLoopSocket::localHost6() const { return hostFromAddress(firstAddress(false, false, true)); }
uint16_t RunLoopSocket::localPort6() const { return portFromAddress(firstAddress(false, false, true)); }

std::optional<std::string> RunLoopSocket::connectedAddress() const { return socketAddress(true); }

std::optional<std::string> RunLoopSocket::localAddress() const { return socketAddress(false); }

std::optional<std::string> RunLoopSocket::socketAddress(bool peer) const {
  std::string a;
  if (auto socket = getSocket()) {
    a = peer ? socket->peerAddress() : socket->address();
  } else if (m_nativeSocket4 > 0) {
    a = addressOfDescriptor(m_nativeSocket4, peer, sizeof(sockaddr_in));
  } else if (m_nativeSocket6 > 0) {
    a = addressOfDescriptor(m_nativeSocket6, peer, sizeof(sockaddr_in6));
  }
  return a.empty() ? std::nullopt : std::optional<std::string>(a);
}

// ---- run loop -----------------------------------------------------------------------------

std::shared_ptr<core::Timer> RunLoopSocket::startTimer(double seconds, void (RunLoopSocket::*handler)(),
                                                       double fireDate) {
  auto fn = guarded([handler](RunLoopSocket& s) { (s.*handler)(); });
  auto timer = fireDate >= 0
                   ? core::Timer::createWithFireDate(fireDate, 0, false, [fn](core::Timer&) { fn(); })
                   : core::Timer::create(seconds, false, [fn](core::Timer&) { fn(); });
  core::RunLoop& loop = m_runLoop ? *m_runLoop : core::RunLoop::current();
  for (const auto& mode : m_runLoopModes) loop.addTimer(timer, mode);
  return timer;
}

void RunLoopSocket::rescheduleTimers() {
  // A timer cannot leave a loop or a mode: the read and write timers are made again with the
  // same fire dates in the current loop and modes.
  if (m_readTimer && m_readTimer->isValid()) {
    double date = m_readTimer->fireDate();
    m_readTimer->invalidate();
    m_readTimer = startTimer(0, &RunLoopSocket::doReadTimeout, date);
  }
  if (m_writeTimer && m_writeTimer->isValid()) {
    double date = m_writeTimer->fireDate();
    m_writeTimer->invalidate();
    m_writeTimer = startTimer(0, &RunLoopSocket::doWriteTimeout, date);
  }
}

void RunLoopSocket::deferSteps(core::RunLoop& loop, const std::vector<std::string>& modes) {
  loop.performAfterDelay(target(this), 0, guarded([](RunLoopSocket& s) { s.maybeDequeueRead(); }), modes);
  loop.performAfterDelay(target(this), 0, guarded([](RunLoopSocket& s) { s.maybeDequeueWrite(); }), modes);
  loop.performAfterDelay(target(this), 0, guarded([](RunLoopSocket& s) { s.maybeScheduleDisconnect(); }), modes);
}

bool RunLoopSocket::moveToRunLoop(core::RunLoop* runLoop) {
  if (!runLoop) return false;
  if (runLoop == m_runLoop) return true;
  cancelDeferredCalls();
  if (m_runLoop) {
    if (m_readStream && m_writeStream)
      for (const auto& mode : m_runLoopModes) unscheduleStreams(*m_runLoop, mode);
    for (const auto& mode : m_runLoopModes) {
      if (m_source4) m_runLoop->removeSource(m_source4, mode);
      if (m_source6) m_runLoop->removeSource(m_source6, mode);
    }
  }
  m_runLoop = runLoop;
  rescheduleTimers();
  for (const auto& mode : m_runLoopModes) {
    if (m_source4) m_runLoop->addSource(m_source4, mode);
    if (m_source6) m_runLoop->addSource(m_source6, mode);
  }
  if (m_readStream && m_writeStream && !attachStreamsToRunLoop(runLoop, nullptr)) return false;
  deferSteps(*runLoop, m_runLoopModes);
  return true;
}

bool RunLoopSocket::setRunLoopModes(const std::vector<std::string>& modes) {
  if (modes.empty()) return false;
  if (modes == m_runLoopModes) return true;
  cancelDeferredCalls();
  if (m_runLoop) {
    for (const auto& mode : m_runLoopModes) {
      if (m_readStream && m_writeStream) unscheduleStreams(*m_runLoop, mode);
      if (m_source4) m_runLoop->removeSource(m_source4, mode);
      if (m_source6) m_runLoop->removeSource(m_source6, mode);
    }
  }
  m_runLoopModes = modes;
  if (m_runLoop) {
    rescheduleTimers();
    for (const auto& mode : m_runLoopModes) {
      if (m_source4) m_runLoop->addSource(m_source4, mode);
      if (m_source6) m_runLoop->addSource(m_source6, mode);
    }
  }
  if (m_readStream && m_writeStream && !attachStreamsToRunLoop(nullptr, nullptr)) return false;
  deferSteps(core::RunLoop::current(), m_runLoopModes);
  return true;
}

bool RunLoopSocket::addRunLoopMode(const std::string& mode) {
  if (mode.empty()) return false;
  if (std::find(m_runLoopModes.begin(), m_runLoopModes.end(), mode) != m_runLoopModes.end()) return true;
  cancelDeferredCalls();
  m_runLoopModes.push_back(mode);
  if (m_runLoop) {
    if (m_readTimer) m_runLoop->addTimer(m_readTimer, mode);
    if (m_writeTimer) m_runLoop->addTimer(m_writeTimer, mode);
    if (m_source4) m_runLoop->addSource(m_source4, mode);
    if (m_source6) m_runLoop->addSource(m_source6, mode);
  }
  scheduleStreams(core::RunLoop::current(), mode);
  deferSteps(core::RunLoop::current(), m_runLoopModes);
  return true;
}

bool RunLoopSocket::removeRunLoopMode(const std::string& mode) {
  if (mode.empty()) return false;
  auto it = std::find(m_runLoopModes.begin(), m_runLoopModes.end(), mode);
  if (it == m_runLoopModes.end()) return true;
  if (m_runLoopModes.size() == 1) return false;
  cancelDeferredCalls();
  m_runLoopModes.erase(it);
  if (m_runLoop) {
    rescheduleTimers();
    if (m_source4) m_runLoop->removeSource(m_source4, mode);
    if (m_source6) m_runLoop->removeSource(m_source6, mode);
  }
  unscheduleStreams(core::RunLoop::current(), mode);
  deferSteps(core::RunLoop::current(), m_runLoopModes);
  return true;
}

// ---- description --------------------------------------------------------------------------

std::string RunLoopSocket::description() const {
  std::string ms;
  ms.reserve(150);
  char buf[256];
  std::snprintf(buf, sizeof buf, "<RunLoopSocket %p", static_cast<const void*>(this));
  ms += buf;

  auto placeText = [&](bool local) -> std::string {
    auto host4 = local ? localHost4() : connectedHost4();
    auto host6 = local ? localHost6() : connectedHost6();
    const bool has4 = isIPv4(), has6 = isIPv6();
    if (has4 && has6) {
      std::snprintf(buf, sizeof buf, " %u", static_cast<unsigned>(local ? localPort() : connectedPort()));
      return textOrNull(host4) + "/" + textOrNull(host6) + buf;
    }
    if (has4 || has6) {
      std::snprintf(buf, sizeof buf, " %u",
                    static_cast<unsigned>(has4 ? (local ? localPort4() : connectedPort4())
                                               : (local ? localPort6() : connectedPort6())));
      return textOrNull(has4 ? host4 : host6) + buf;
    }
    return "nowhere";
  };
  ms += " local " + placeText(true) + " remote " + placeText(false) + " ";

  std::snprintf(buf, sizeof buf, "has queued %u reads %u writes, ", static_cast<unsigned>(m_readQueue.size()),
                static_cast<unsigned>(m_writeQueue.size()));
  ms += buf;

  if (auto read = currentReadPacket()) {
    int percent = 0;
    if (read->bytesDone > 0) {
      percent = read->readLength > 0 ? static_cast<int>(static_cast<double>(read->bytesDone) /
                                                        static_cast<double>(read->readLength) * 100.0)
                                     : 100;
    }
    std::snprintf(buf, sizeof buf, "currently read %u bytes (%d%% done), ", static_cast<unsigned>(read->buffer->size()),
                  percent);
    ms += buf;
  } else {
    ms += "no current read, ";
  }
  if (auto write = currentWritePacket()) {
    int percent = 0;
    if (write->bytesDone > 0 && !write->buffer.empty()) {
      percent = static_cast<int>(static_cast<double>(write->bytesDone) / static_cast<double>(write->buffer.size()) * 100.0);
    }
    std::snprintf(buf, sizeof buf, "currently written %u (%d%%), ", static_cast<unsigned>(write->buffer.size()), percent);
    ms += buf;
  } else {
    ms += "no current write, ";
  }

  std::snprintf(buf, sizeof buf, "read stream %p %s, ",
                m_readStream ? m_readStream->sideId(SocketStream::ReadSide) : nullptr,
                statusWord(m_readStream, SocketStream::ReadSide));
  ms += buf;
  std::snprintf(buf, sizeof buf, "write stream %p %s",
                m_writeStream ? m_writeStream->sideId(SocketStream::WriteSide) : nullptr,
                statusWord(m_writeStream, SocketStream::WriteSide));
  ms += buf;

  if ((m_flags & CloseAfterReads) && (m_flags & CloseAfterWrites)) {
    ms += ", will disconnect after reads & writes";
  } else if (m_flags & CloseAfterReads) {
    ms += ", will disconnect after reads";
  } else if (m_flags & CloseAfterWrites) {
    ms += ", will disconnect after writes";
  }
  if (!isConnected()) ms += ", not connected";
  ms += ">";
  return ms;
}

}  // namespace kt
