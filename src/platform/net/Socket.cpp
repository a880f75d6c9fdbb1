#include "platform/net/Socket.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/core/FdSource.h"

namespace net {

Socket::Socket(Key, int fd, unsigned callbackTypes, Callback callback)
    : m_fd(fd), m_callbackTypes(callbackTypes), m_callback(std::move(callback)) {}

std::shared_ptr<Socket> Socket::create(int family, int type, int protocol, unsigned callbackTypes, Callback callback) {
  int fd = ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
  if (fd < 0) return nullptr;
  return std::make_shared<Socket>(Key{}, fd, callbackTypes, std::move(callback));
}

std::shared_ptr<Socket> Socket::createWithNative(int fd, unsigned callbackTypes, Callback callback) {
  if (fd < 0) return nullptr;
  return std::make_shared<Socket>(Key{}, fd, callbackTypes, std::move(callback));
}

Socket::~Socket() { invalidate(); }

void Socket::invalidate() {
  if (m_source) {
    m_source->invalidate();
    m_source.reset();
  }
  m_callback = nullptr;
  if (m_fd >= 0 && m_closeOnInvalidate) ::close(m_fd);
  m_fd = -1;
}

bool Socket::setAddress(const std::string& address) {
  if (m_fd < 0 || address.empty()) return false;
  if (::bind(m_fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) != 0)
    return false;
  if (m_callbackTypes & AcceptCallback) {
    if (::listen(m_fd, 256) != 0) return false;
    m_listening = true;
    updateInterest();
  }
  return true;
}

bool Socket::connectToAddress(const std::string& address) {
  if (m_fd < 0 || address.empty()) return false;
  int rc = ::connect(m_fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size()));
  if (rc != 0 && errno != EINPROGRESS) return false;
  // Even an at-once success is reported through the loop, like any other connect.
  m_connecting = true;
  updateInterest();
  return true;
}

std::string Socket::address() const {
  if (m_fd < 0) return {};
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return {};
  return std::string(reinterpret_cast<const char*>(&ss), len);
}

std::string Socket::peerAddress() const {
  if (m_fd < 0) return {};
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return {};
  return std::string(reinterpret_cast<const char*>(&ss), len);
}

std::shared_ptr<core::FdSource> Socket::source() {
  if (m_fd < 0) return nullptr;
  if (!m_source) {
    std::weak_ptr<Socket> weak = weak_from_this();
    m_source = core::FdSource::create(m_fd, 0, [weak](unsigned ready) {
      if (auto self = weak.lock()) self->onReady(ready);
    });
    updateInterest();
  }
  return m_source;
}

void Socket::updateInterest() {
  if (!m_source) return;
  unsigned interest = 0;
  if (m_listening && (m_callbackTypes & AcceptCallback)) interest |= core::FdSource::Readable;
  if (m_connecting && (m_callbackTypes & ConnectCallback)) interest |= core::FdSource::Writable;
  m_source->setInterest(interest);
}

void Socket::onReady(unsigned ready) {
  auto self = shared_from_this();
  if (m_connecting) {
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError == 0 && !(ready & core::FdSource::Writable)) return;
    m_connecting = false;
    updateInterest();
    Callback callback = m_callback;
    if (callback) callback(*this, ConnectCallback, soError);
    return;
  }
  if (m_listening) {
    // Take every waiting connection; each one goes to the callback, which owns it from then on.
    for (;;) {
      if (m_fd < 0) return;
      int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      Callback callback = m_callback;
      if (callback) {
        callback(*this, AcceptCallback, fd);
      } else {
        ::close(fd);
      }
    }
  }
}

}  // namespace net
