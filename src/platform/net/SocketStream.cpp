#include "platform/net/SocketStream.h"

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "platform/core/FdSource.h"
#include "platform/net/Resolver.h"

namespace net {

namespace {

void setNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags >= 0 && !(flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

}  // namespace

SocketStream::SocketStream(Key, std::string host, uint16_t port, int fd)
    : m_host(std::move(host)), m_port(port), m_fd(fd), m_nativeGiven(fd >= 0) {}

std::shared_ptr<SocketStream> SocketStream::createToHost(const std::string& host, uint16_t port) {
  if (host.empty()) return nullptr;
  return std::make_shared<SocketStream>(Key{}, host, port, -1);
}

std::shared_ptr<SocketStream> SocketStream::createWithNative(int fd) {
  if (fd < 0) return nullptr;
  setNonBlocking(fd);
  return std::make_shared<SocketStream>(Key{}, std::string(), 0, fd);
}

SocketStream::~SocketStream() {
  if (m_resolver) m_resolver->cancel();
  if (m_source) m_source->invalidate();
  if (m_ssl) SSL_free(m_ssl);
  if (m_sslCtx) SSL_CTX_free(m_sslCtx);
  closeDescriptor();
}

void SocketStream::closeDescriptor() {
  if (m_fd < 0) return;
  // A descriptor handed over by the caller is closed only when asked; our own always is.
  if (!m_nativeGiven || m_shouldCloseNative) ::close(m_fd);
  m_fd = -1;
}

bool SocketStream::setClient(Side side, unsigned events, Client client) {
  if (!client || events == 0) {
    m_client[side] = nullptr;
    m_events[side] = 0;
  } else {
    m_client[side] = std::move(client);
    m_events[side] = events;
  }
  updateInterest();
  return true;
}

bool SocketStream::schedule(core::RunLoop& loop, const std::string& mode) {
  auto current = m_loop.lock();
  if (current && current.get() != &loop && !m_modes.empty()) return false;
  m_loop = loop.weak_from_this();
  if (std::find(m_modes.begin(), m_modes.end(), mode) == m_modes.end()) m_modes.push_back(mode);
  if (m_source) loop.addSource(m_source, mode);
  return true;
}

void SocketStream::unschedule(core::RunLoop& loop, const std::string& mode) {
  auto current = m_loop.lock();
  if (!current || current.get() != &loop) return;
  std::erase(m_modes, mode);
  if (m_source) loop.removeSource(m_source, mode);
}

bool SocketStream::open(Side side) {
  if (m_status[side] != StreamStatus::NotOpen) return false;
  m_status[side] = StreamStatus::Opening;
  switch (m_conn) {
    case Conn::Idle:
      start();
      break;
    case Conn::Connected:
      // The other side opened the connection already: report on a later turn, as a connect would.
      m_status[side] = StreamStatus::Open;
      m_armed[side] = true;
      deferOpenCompleted(side);
      break;
    case Conn::Failed:
      m_status[side] = StreamStatus::Error;
      m_error[side] = m_error[1 - side];
      break;
    default:
      break;
  }
  return true;
}

void SocketStream::deferOpenCompleted(Side side) {
  auto loop = m_loop.lock();
  if (!loop) return;
  std::weak_ptr<SocketStream> weak = weak_from_this();
  loop->performAfterDelay(
      weak, 0,
      [weak, side] {
        if (auto self = weak.lock()) {
          if (self->m_status[side] == StreamStatus::Open) self->emit(side, StreamOpenCompleted);
          self->updateInterest();
        }
      },
      m_modes.empty() ? core::RunLoop::Modes{core::RunLoop::CommonModes} : m_modes);
}

void SocketStream::start() {
  if (m_nativeGiven) {
    // A connected descriptor: it reports writable at once, which completes the open.
    m_conn = Conn::Connecting;
    m_addresses.clear();
    std::weak_ptr<SocketStream> weak = weak_from_this();
    m_source = core::FdSource::create(m_fd, 0, [weak](unsigned ready) {
      if (auto self = weak.lock()) self->onReady(ready);
    });
    if (auto loop = m_loop.lock())
      for (const auto& mode : m_modes) loop->addSource(m_source, mode);
    updateInterest();
    return;
  }
  m_conn = Conn::Resolving;
  auto loop = m_loop.lock();
  core::RunLoop& target = loop ? *loop : core::RunLoop::current();
  std::weak_ptr<SocketStream> weak = weak_from_this();
  m_resolver = Resolver::resolve(
      m_host, m_port,
      [weak](const std::vector<std::string>& addresses, int error) {
        if (auto self = weak.lock()) self->onResolved(addresses, error);
      },
      target, m_modes.empty() ? core::RunLoop::Modes{core::RunLoop::CommonModes} : m_modes);
}

void SocketStream::onResolved(const std::vector<std::string>& addresses, int error) {
  m_resolver.reset();
  if (m_conn != Conn::Resolving) return;
  if (error != 0) {
    fail({StreamErrorDomain::NetDB, error, {}});
    return;
  }
  m_addresses = addresses;
  m_nextAddress = 0;
  connectNext();
}

void SocketStream::connectNext() {
  auto self = shared_from_this();
  if (m_source) {
    m_source->invalidate();
    m_source.reset();
  }
  closeDescriptor();
  while (m_nextAddress < m_addresses.size()) {
    const std::string& address = m_addresses[m_nextAddress++];
    const auto* sa = reinterpret_cast<const sockaddr*>(address.data());
    int fd = ::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
      m_lastConnectErrno = errno;
      continue;
    }
    if (::connect(fd, sa, static_cast<socklen_t>(address.size())) != 0 && errno != EINPROGRESS) {
      m_lastConnectErrno = errno;
      ::close(fd);
      continue;
    }
    m_fd = fd;
    m_conn = Conn::Connecting;
    std::weak_ptr<SocketStream> weak = weak_from_this();
    m_source = core::FdSource::create(m_fd, 0, [weak](unsigned ready) {
      if (auto s = weak.lock()) s->onReady(ready);
    });
    if (auto loop = m_loop.lock())
      for (const auto& mode : m_modes) loop->addSource(m_source, mode);
    updateInterest();
    return;
  }
  fail({StreamErrorDomain::Posix, m_lastConnectErrno ? m_lastConnectErrno : ECONNREFUSED, {}});
}

bool SocketStream::pollFor(short events) const {
  if (m_fd < 0) return false;
  pollfd p{m_fd, events, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (events | POLLERR | POLLHUP));
}

void SocketStream::onReady(unsigned ready) {
  auto self = shared_from_this();
  if (m_conn == Conn::Connecting) {
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError == 0 && !(ready & core::FdSource::Writable)) return;
    if (soError != 0) {
      m_lastConnectErrno = soError;
      if (m_nativeGiven) {
        fail({StreamErrorDomain::Posix, soError, {}});
      } else {
        connectNext();
      }
      return;
    }
    finishConnect();
    return;
  }
  if (m_conn != Conn::Connected) return;
  if (m_tlsState == TlsState::Handshaking) {
    driveHandshake();
    return;
  }

  const bool tls = m_tlsState == TlsState::Established;
  const unsigned readish = core::FdSource::Readable | core::FdSource::HangUp | core::FdSource::Error;
  const bool pending = tls && SSL_pending(m_ssl) > 0;
  if (((ready & readish) || pending) && m_armed[ReadSide] && m_client[ReadSide]) {
    if (m_status[ReadSide] == StreamStatus::AtEnd) {
      m_armed[ReadSide] = false;
      if (!m_endReported) {
        m_endReported = true;
        emit(ReadSide, StreamEndEncountered);
      }
    } else if (m_status[ReadSide] == StreamStatus::Open) {
      long n;
      int sslError = 0;
      char c;
      if (tls) {
        ERR_clear_error();
        n = SSL_peek(m_ssl, &c, 1);
        if (n <= 0) sslError = SSL_get_error(m_ssl, static_cast<int>(n));
      } else {
        n = ::recv(m_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
      }
      if (n > 0) {
        m_armed[ReadSide] = false;
        emit(ReadSide, StreamHasBytesAvailable);
      } else if (tls ? (sslError == SSL_ERROR_ZERO_RETURN || (sslError == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && n == 0))
                     : n == 0) {
        m_status[ReadSide] = StreamStatus::AtEnd;
        m_armed[ReadSide] = false;
        m_endReported = true;
        emit(ReadSide, StreamEndEncountered);
      } else if (tls ? (sslError != SSL_ERROR_WANT_READ && sslError != SSL_ERROR_WANT_WRITE)
                     : (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        failSide(ReadSide, tls ? tlsError(sslError, static_cast<int>(n)) : StreamError{StreamErrorDomain::Posix, errno, {}});
      }
    }
  }
  // The read client may have closed or replaced everything.
  if (m_conn != Conn::Connected) return;
  const unsigned writish = core::FdSource::Writable | core::FdSource::HangUp | core::FdSource::Error;
  if ((ready & writish) && m_armed[WriteSide] && m_client[WriteSide] && m_status[WriteSide] == StreamStatus::Open) {
    m_armed[WriteSide] = false;
    emit(WriteSide, StreamCanAcceptBytes);
  }
  if (m_conn == Conn::Connected) updateInterest();
}

void SocketStream::finishConnect() {
  auto self = shared_from_this();
  m_conn = Conn::Connected;
  bool opened[2] = {false, false};
  for (int side = 0; side < 2; ++side) {
    if (m_status[side] == StreamStatus::Opening) {
      m_status[side] = StreamStatus::Open;
      m_armed[side] = true;
      opened[side] = true;
    }
  }
  if (m_ssl && m_tlsState == TlsState::None && !beginHandshake()) {
    fail({StreamErrorDomain::TLS, 0, "TLS could not be set up on the connection"});
    return;
  }
  updateInterest();
  if (opened[ReadSide]) emit(ReadSide, StreamOpenCompleted);
  if (opened[WriteSide] && m_status[WriteSide] == StreamStatus::Open) emit(WriteSide, StreamOpenCompleted);
}

void SocketStream::fail(const StreamError& error) {
  auto self = shared_from_this();
  const bool connected = m_conn == Conn::Connected;
  m_conn = Conn::Failed;
  if (!connected) {
    if (m_source) {
      m_source->invalidate();
      m_source.reset();
    }
    closeDescriptor();
  } else {
    updateInterest();
  }
  bool report[2] = {false, false};
  for (int side = 0; side < 2; ++side) {
    if (m_status[side] == StreamStatus::Opening || m_status[side] == StreamStatus::Open) {
      m_status[side] = StreamStatus::Error;
      m_error[side] = error;
      report[side] = true;
    }
  }
  if (report[ReadSide]) emit(ReadSide, StreamErrorOccurred);
  if (report[WriteSide] && m_status[WriteSide] == StreamStatus::Error) emit(WriteSide, StreamErrorOccurred);
}

void SocketStream::failSide(Side side, const StreamError& error) {
  m_status[side] = StreamStatus::Error;
  m_error[side] = error;
  m_armed[side] = false;
  emit(side, StreamErrorOccurred);
}

void SocketStream::emit(Side side, StreamEvent event) {
  if (!(m_events[side] & event)) return;
  Client client = m_client[side];  // the client may remove itself while it runs
  if (client) client(event);
}

void SocketStream::updateInterest() {
  if (!m_source) return;
  unsigned interest = 0;
  if (m_conn == Conn::Connecting) {
    interest = core::FdSource::Writable;
  } else if (m_conn == Conn::Connected) {
    if (m_tlsState == TlsState::Handshaking) {
      interest = m_tlsWant;
    } else {
      if (m_armed[ReadSide] && m_client[ReadSide] &&
          (m_status[ReadSide] == StreamStatus::Open || m_status[ReadSide] == StreamStatus::AtEnd))
        interest |= core::FdSource::Readable;
      if (m_armed[WriteSide] && m_client[WriteSide] && m_status[WriteSide] == StreamStatus::Open)
        interest |= core::FdSource::Writable;
      // Bytes already decrypted wait inside the TLS layer, where poll cannot see them.
      if (m_tlsState == TlsState::Established && (interest & core::FdSource::Readable) && !m_kickPending &&
          SSL_pending(m_ssl) > 0) {
        if (auto loop = m_loop.lock()) {
          m_kickPending = true;
          std::weak_ptr<SocketStream> weak = weak_from_this();
          loop->performAfterDelay(
              weak, 0,
              [weak] {
                if (auto s = weak.lock()) {
                  s->m_kickPending = false;
                  s->onReady(core::FdSource::Readable);
                }
              },
              m_modes.empty() ? core::RunLoop::Modes{core::RunLoop::CommonModes} : m_modes);
        }
      }
    }
  }
  if (m_source->interest() != interest) m_source->setInterest(interest);
}

void SocketStream::close(Side side) {
  if (m_status[side] == StreamStatus::Closed) return;
  m_status[side] = StreamStatus::Closed;
  m_client[side] = nullptr;
  m_events[side] = 0;
  m_armed[side] = false;
  const auto other = m_status[1 - side];
  if (other != StreamStatus::Closed && other != StreamStatus::NotOpen) {
    updateInterest();
    return;
  }
  // Both sides are closed: the connection goes.
  m_conn = Conn::Closed;
  if (m_resolver) {
    m_resolver->cancel();
    m_resolver.reset();
  }
  if (auto loop = m_loop.lock()) loop->cancelPerforms(weak_from_this());
  m_kickPending = false;
  if (m_source) {
    m_source->invalidate();
    m_source.reset();
  }
  if (m_ssl) {
    SSL_free(m_ssl);
    m_ssl = nullptr;
  }
  if (m_sslCtx) {
    SSL_CTX_free(m_sslCtx);
    m_sslCtx = nullptr;
  }
  m_tlsState = TlsState::None;
  if (m_shouldCloseNative || !m_nativeGiven) closeDescriptor();
  m_fd = -1;
}

long SocketStream::read(char* buffer, size_t maxLength) {
  if (m_status[ReadSide] == StreamStatus::AtEnd) return 0;
  if (m_status[ReadSide] != StreamStatus::Open || m_conn != Conn::Connected || m_tlsState == TlsState::Handshaking)
    return m_status[ReadSide] == StreamStatus::Error ? -1 : 0;
  m_armed[ReadSide] = true;
  long n = 0;
  if (maxLength == 0) {
    n = 0;
  } else if (m_tlsState == TlsState::Established) {
    ERR_clear_error();
    n = tlsTransferResult(ReadSide, SSL_read(m_ssl, buffer, static_cast<int>(std::min<size_t>(maxLength, 1 << 30))));
  } else {
    n = socketTransferResult(ReadSide, ::recv(m_fd, buffer, maxLength, MSG_DONTWAIT));
  }
  updateInterest();
  return n;
}

long SocketStream::write(const char* data, size_t length) {
  if (m_status[WriteSide] != StreamStatus::Open || m_conn != Conn::Connected || m_tlsState == TlsState::Handshaking)
    return m_status[WriteSide] == StreamStatus::Open ? 0 : -1;
  m_armed[WriteSide] = true;
  long n = 0;
  if (length == 0) {
    n = 0;
  } else if (m_tlsState == TlsState::Established) {
    ERR_clear_error();
    n = tlsTransferResult(WriteSide, SSL_write(m_ssl, data, static_cast<int>(std::min<size_t>(length, 1 << 30))));
  } else {
    n = socketTransferResult(WriteSide, ::send(m_fd, data, length, MSG_DONTWAIT | MSG_NOSIGNAL));
  }
  updateInterest();
  return n;
}

long SocketStream::tlsTransferResult(Side side, int ret) {
  if (ret > 0) return ret;
  const int e = SSL_get_error(m_ssl, ret);
  if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return 0;
  // A clean close (or the peer just going away without an error) ends the read side.
  if (side == ReadSide && (e == SSL_ERROR_ZERO_RETURN || (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && ret == 0))) {
    m_status[ReadSide] = StreamStatus::AtEnd;
    return 0;
  }
  m_status[side] = StreamStatus::Error;
  m_error[side] = tlsError(e, ret);
  return -1;
}

long SocketStream::socketTransferResult(Side side, ssize_t ret) {
  if (ret > 0) return static_cast<long>(ret);
  if (ret == 0) {
    if (side == ReadSide) m_status[ReadSide] = StreamStatus::AtEnd;
    return 0;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  m_status[side] = StreamStatus::Error;
  m_error[side] = {StreamErrorDomain::Posix, errno, {}};
  return -1;
}

bool SocketStream::hasBytesAvailable() {
  if (m_status[ReadSide] != StreamStatus::Open || m_conn != Conn::Connected || m_tlsState == TlsState::Handshaking)
    return false;
  if (m_tlsState == TlsState::Established && SSL_pending(m_ssl) > 0) return true;
  return pollFor(POLLIN);
}

bool SocketStream::canAcceptBytes() {
  if (m_status[WriteSide] != StreamStatus::Open || m_conn != Conn::Connected || m_tlsState == TlsState::Handshaking)
    return false;
  return pollFor(POLLOUT);
}

// ---- TLS ----------------------------------------------------------------------------------

StreamError SocketStream::tlsError(int sslError, int ret) const {
  unsigned long code = ERR_get_error();
  if (code == 0 && sslError == SSL_ERROR_SYSCALL) {
    int e = errno;
    if (ret == 0 || e == 0) e = ECONNRESET;
    return {StreamErrorDomain::Posix, e, {}};
  }
  char text[256] = {0};
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  long number = code != 0 ? static_cast<long>(ERR_GET_REASON(code)) : sslError;
  return {StreamErrorDomain::TLS, number, text};
}

bool SocketStream::setTLSSettings(const core::Value& settings) {
  // Accepted while the connection is still opening: the handshake then starts once it is open.
  if (m_tlsState != TlsState::None || m_ssl) return false;
  if (m_conn != Conn::Connected && m_conn != Conn::Idle && m_conn != Conn::Resolving && m_conn != Conn::Connecting)
    return false;
  if (!settings.isNull() && !settings.isDictionary()) return false;
  const bool isServer = settings[TLSSettingsKeys::IsServer].boolValue();
  const auto* certFile = settings[TLSSettingsKeys::CertificateFile].asString();
  const auto* keyFile = settings[TLSSettingsKeys::PrivateKeyFile].asString();
  const auto* trustFile = settings[TLSSettingsKeys::TrustedCertificatesFile].asString();
  const auto* peerName = settings[TLSSettingsKeys::PeerName].asString();
  const core::Value& validatesValue = settings[TLSSettingsKeys::ValidatesCertificateChain];
  // A client checks the server by default; a server asks for a client certificate only when
  // it is given authorities to check it against.
  const bool validates = validatesValue.isNull() ? (!isServer || trustFile) : validatesValue.boolValue();

  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(isServer ? TLS_server_method() : TLS_client_method());
  if (!ctx) return false;
  auto refuse = [&] {
    SSL_CTX_free(ctx);
    ERR_clear_error();
    return false;
  };
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (certFile && SSL_CTX_use_certificate_chain_file(ctx, certFile->c_str()) != 1) return refuse();
  if (keyFile && SSL_CTX_use_PrivateKey_file(ctx, keyFile->c_str(), SSL_FILETYPE_PEM) != 1) return refuse();
  if (isServer && !certFile) return refuse();
  if (validates) {
    if (trustFile) {
      if (SSL_CTX_load_verify_locations(ctx, trustFile->c_str(), nullptr) != 1) return refuse();
    } else {
      SSL_CTX_set_default_verify_paths(ctx);
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | (isServer ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT : 0), nullptr);
  } else {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  }
  SSL* ssl = SSL_new(ctx);
  if (!ssl) return refuse();
  SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (isServer) {
    SSL_set_accept_state(ssl);
  } else {
    SSL_set_connect_state(ssl);
    if (peerName && !peerName->empty()) {
      SSL_set_tlsext_host_name(ssl, peerName->c_str());
      if (validates) SSL_set1_host(ssl, peerName->c_str());
    }
  }
  m_sslCtx = ctx;
  m_ssl = ssl;
  if (m_conn == Conn::Connected && !beginHandshake()) return false;
  return true;
}

bool SocketStream::beginHandshake() {
  if (SSL_set_fd(m_ssl, m_fd) != 1) {
    SSL_free(m_ssl);
    SSL_CTX_free(m_sslCtx);
    m_ssl = nullptr;
    m_sslCtx = nullptr;
    ERR_clear_error();
    return false;
  }
  m_tlsState = TlsState::Handshaking;
  m_tlsWant = core::FdSource::Readable | core::FdSource::Writable;
  m_armed[ReadSide] = m_armed[WriteSide] = false;
  updateInterest();
  return true;
}

void SocketStream::driveHandshake() {
  ERR_clear_error();
  int r = SSL_do_handshake(m_ssl);
  if (r == 1) {
    m_tlsState = TlsState::Established;
    m_armed[ReadSide] = m_armed[WriteSide] = true;
    updateInterest();
    return;
  }
  int e = SSL_get_error(m_ssl, r);
  if (e == SSL_ERROR_WANT_READ) {
    m_tlsWant = core::FdSource::Readable;
  } else if (e == SSL_ERROR_WANT_WRITE) {
    m_tlsWant = core::FdSource::Writable;
  } else {
    StreamError error = tlsError(e, r);
    m_tlsState = TlsState::None;
    m_tlsWant = 0;
    // The connection is of no further use; both sides report the failure.
    for (int side = 0; side < 2; ++side) m_armed[side] = false;
    updateInterest();
    bool report[2] = {false, false};
    for (int side = 0; side < 2; ++side) {
      if (m_status[side] == StreamStatus::Open) {
        m_status[side] = StreamStatus::Error;
        m_error[side] = error;
        report[side] = true;
      }
    }
    auto self = shared_from_this();
    if (report[ReadSide]) emit(ReadSide, StreamErrorOccurred);
    if (report[WriteSide] && m_status[WriteSide] == StreamStatus::Error) emit(WriteSide, StreamErrorOccurred);
    return;
  }
  updateInterest();
}

}  // namespace net
