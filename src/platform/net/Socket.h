#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace core {
class FdSource;
}

namespace net {

// A socket object for a run loop: a listening socket that reports each accepted connection, or
// a socket that connects to an address without blocking and reports when the connect ends.
// Addresses are socket addresses as bytes (sockaddr_in, 16 bytes; sockaddr_in6, 28 bytes).
// The run-loop source (source()) is added to loops and modes by the owner.
class Socket : public std::enable_shared_from_this<Socket> {
 public:
  enum CallbackType : unsigned { NoCallback = 0, AcceptCallback = 2, ConnectCallback = 4 };
  // Accept: value = the new connection's descriptor (non-blocking, now the callee's).
  // Connect: value = 0 on success, else the errno of the failure.
  using Callback = std::function<void(Socket& socket, CallbackType type, int value)>;

  // A new non-blocking socket; null when the system refuses one.
  static std::shared_ptr<Socket> create(int family, int type, int protocol, unsigned callbackTypes, Callback callback);
  // Wraps an existing descriptor. The wrapper closes it on invalidate unless told otherwise.
  static std::shared_ptr<Socket> createWithNative(int fd, unsigned callbackTypes, Callback callback);

  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int native() const { return m_fd; }
  bool isValid() const { return m_fd >= 0; }
  // Whether invalidate closes the descriptor (default: yes).
  void setCloseOnInvalidate(bool close) { m_closeOnInvalidate = close; }
  // Removes the source from every loop and releases the descriptor.
  void invalidate();

  // Binds to the address; a socket with the accept callback also starts listening.
  bool setAddress(const std::string& address);
  // Starts a non-blocking connect; the connect callback tells how it ended. False when the
  // connect fails at once (errno tells why).
  bool connectToAddress(const std::string& address);

  // Own and peer address as bytes; empty when the system cannot tell.
  std::string address() const;
  std::string peerAddress() const;

  // The run-loop source, made on first use.
  std::shared_ptr<core::FdSource> source();

  struct Key {};
  Socket(Key, int fd, unsigned callbackTypes, Callback callback);

 private:
  void onReady(unsigned ready);
  void updateInterest();

  int m_fd = -1;
  unsigned m_callbackTypes = 0;
  Callback m_callback;
  bool m_closeOnInvalidate = true;
  bool m_listening = false;
  bool m_connecting = false;
  std::shared_ptr<core::FdSource> m_source;
};

}  // namespace net
