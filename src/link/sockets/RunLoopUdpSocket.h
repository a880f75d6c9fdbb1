#pragma once

#include "platform/core/Error.h"
#include "platform/core/WeakPtr.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace core {
class FdSource;
class RunLoop;
class Timer;
}  // namespace core

namespace kt {

class RunLoopUdpSocket;

// What a datagram socket tells its owner. Every operation is optional: its default body is
// exactly what happens when a delegate does not implement it. All of them run on the socket's
// run loop, and any of them may call the socket back (close it, queue more, drop it).
class RunLoopUdpSocketDelegate {
 public:
  virtual ~RunLoopUdpSocketDelegate() = default;
  // A datagram was handed to the system.
  virtual void onUdpSocketDidSendDataWithTag(RunLoopUdpSocket& /*sock*/, long /*tag*/) {}
  // A send failed or timed out.
  virtual void onUdpSocketDidNotSendDataWithTag(RunLoopUdpSocket& /*sock*/, long /*tag*/,
                                                const core::Error& /*error*/) {}
  // A datagram arrived for the current receive. false = not the one wanted: the receive stays
  // current and takes the next datagram.
  virtual bool onUdpSocketDidReceiveData(RunLoopUdpSocket& /*sock*/, const std::string& /*data*/,
                                         long /*tag*/, const std::string& /*host*/, uint16_t /*port*/) {
    return true;
  }
  // A receive failed or timed out.
  virtual void onUdpSocketDidNotReceiveDataWithTag(RunLoopUdpSocket& /*sock*/, long /*tag*/,
                                                   const core::Error& /*error*/) {}
  // Sent on a later turn of the run loop after close(); never when the socket is destroyed.
  virtual void onUdpSocketDidClose(RunLoopUdpSocket& /*sock*/) {}
};

// Raised for misuse: binding, connecting or joining a group in the wrong state.
class RunLoopUdpSocketException : public std::logic_error {
 public:
  explicit RunLoopUdpSocketException(const std::string& reason) : std::logic_error(reason) {}
  const char* name() const { return "RunLoopUdpSocketException"; }
};

// Raised when a socket address cannot be turned into text (not IPv4 or IPv6, or too short).
class InternalInconsistencyException : public std::logic_error {
 public:
  explicit InternalInconsistencyException(const std::string& reason) : std::logic_error(reason) {}
  const char* name() const { return "InternalInconsistencyException"; }
};

// A UDP endpoint driven by one thread's run loop: an IPv4 and an IPv6 datagram socket (until a
// bind, connect or group join settles on one family), queued sends and receives with time-outs,
// and one delegate. No thread, no lock; it never blocks, except that a host name that is not a
// numeric address is resolved synchronously.
//
// Socket addresses given as bytes are the system's own: a sockaddr_in (16 bytes) or a
// sockaddr_in6 (28 bytes), family at offset 0.
class RunLoopUdpSocket : public std::enable_shared_from_this<RunLoopUdpSocket> {
 public:
  using Modes = std::vector<std::string>;

  // The socket's own errors.
  static constexpr const char* ErrorDomain = "RunLoopUdpSocketErrorDomain";
  enum ErrorCode : int64_t {
    SocketError = -1,           // "General CFSocket error"
    BadParamError = 1,          // an address that is not valid, or a group not matching the sockets
    IPv4UnavailableError = 2,
    IPv6UnavailableError = 3,
    SendTimeoutError = 4,
    ReceiveTimeoutError = 5,
  };
  // Resolver failures: code = the getaddrinfo result, text = gai_strerror.
  static constexpr const char* NetDBErrorDomain = "NetDBErrorDomain";
  // Refused multicast or broadcast options: code = the option call's result.
  static constexpr const char* StreamPOSIXErrorDomain = "StreamPOSIXErrorDomain";
  // Failed system calls: code = errno, text = strerror.
  static constexpr const char* POSIXErrorDomain = "POSIXErrorDomain";

  static constexpr uint32_t DefaultMaxReceiveBufferSize = 9216;

  // Makes the socket on the current thread's run loop, with a datagram socket for each enabled
  // family. The delegate is kept alive by the socket.
  static std::shared_ptr<RunLoopUdpSocket> create(std::shared_ptr<RunLoopUdpSocketDelegate> delegate = nullptr,
                                                  int64_t userData = 0, bool enableIPv4 = true,
                                                  bool enableIPv6 = true);
  static std::shared_ptr<RunLoopUdpSocket> createIPv4(std::shared_ptr<RunLoopUdpSocketDelegate> delegate = nullptr);
  static std::shared_ptr<RunLoopUdpSocket> createIPv6(std::shared_ptr<RunLoopUdpSocketDelegate> delegate = nullptr);

  // Closes the socket without telling the delegate.
  ~RunLoopUdpSocket();
  RunLoopUdpSocket(const RunLoopUdpSocket&) = delete;
  RunLoopUdpSocket& operator=(const RunLoopUdpSocket&) = delete;

  const std::shared_ptr<RunLoopUdpSocketDelegate>& delegate() const { return m_delegate; }
  void setDelegate(std::shared_ptr<RunLoopUdpSocketDelegate> delegate) { m_delegate = std::move(delegate); }
  int64_t userData() const { return m_userData; }
  void setUserData(int64_t userData) { m_userData = userData; }
  uint32_t maxReceiveBufferSize() const { return m_maxReceiveBufferSize; }
  void setMaxReceiveBufferSize(uint32_t size) { m_maxReceiveBufferSize = size; }

  // Binding, connecting and groups. Misuse raises RunLoopUdpSocketException; other failures
  // return false with the error stored when `error` is given.
  bool bindToPort(uint16_t port, core::Error* error = nullptr);
  // Host unset or "" = every address; "localhost" / "loopback" = the loopback addresses.
  bool bindToAddress(const std::optional<std::string>& host, uint16_t port, core::Error* error = nullptr);
  bool connectToHost(const std::string& host, uint16_t port, core::Error* error = nullptr);
  bool connectToAddress(const std::string& address, core::Error* error = nullptr);
  bool joinMulticastGroup(const std::string& group, core::Error* error = nullptr);
  // `address` is the local interface address (unset = any).
  bool joinMulticastGroup(const std::string& group, const std::optional<std::string>& address, core::Error* error = nullptr);
  bool enableBroadcast(bool flag, core::Error* error = nullptr);

  // Sending: true = queued. Empty data, a socket closing or closed, and the wrong connection
  // state are refused. A negative time-out means none.
  // To the connected peer.
  bool sendData(const std::string& data, double timeout, long tag);
  // To a host (not when connected). false also when the host has no address of a family that
  // has a socket.
  bool sendData(const std::string& data, const std::string& host, uint16_t port, double timeout, long tag);
  // To a socket address (not when connected).
  bool sendDataToAddress(const std::string& data, const std::string& address, double timeout, long tag);

  // Queues a receive of one datagram (ignored while closing or closed).
  void receiveWithTimeout(double timeout, long tag);

  // Drops everything queued, closes the sockets and tells the delegate on a later turn.
  void close();
  // Refuse new sends and receives, and close once the named side(s) are drained.
  void closeAfterSending();
  void closeAfterReceiving();
  void closeAfterSendingAndReceiving();

  // Addresses as numeric text; unset / 0 when unknown.
  std::optional<std::string> localHost() const;
  uint16_t localPort() const;
  std::optional<std::string> connectedHost() const;
  uint16_t connectedPort() const;
  bool isConnected() const;
  bool isConnectedToHost(const std::string& host, uint16_t port) const;
  bool isClosed() const;
  bool isIPv4() const { return m_fd4 >= 0; }
  bool isIPv6() const { return m_fd6 >= 0; }
  // The MTU of the network interface the socket is bound to; 0 when unknown.
  uint32_t maximumTransmissionUnit() const;

  // The descriptors (-1 when that family has no socket), for socket options the class does not
  // cover. They stay owned by the socket.
  int nativeSocket4() const { return m_fd4; }
  int nativeSocket6() const { return m_fd6; }

  // Scheduling. A move to another thread's loop completes on that thread; the socket is then
  // used from there.
  bool moveToRunLoop(core::RunLoop* runLoop);
  bool setRunLoopModes(const Modes& modes);
  Modes runLoopModes() const { return m_runLoopModes; }

  // Numeric host text and port of a socket address (by its family: AF_INET, else IPv6). Raises
  // InternalInconsistencyException "Cannot convert address to string." for bytes that are not
  // a whole address.
  static std::string addressHost(const std::string& address);
  static uint16_t addressPort(const std::string& address);

 private:
  struct Key {};

 public:
  RunLoopUdpSocket(Key, std::shared_ptr<RunLoopUdpSocketDelegate> delegate, int64_t userData);

 private:
  enum Flag : uint16_t {
    Bound = 0x0001,
    Connected = 0x0002,
    CanSend4 = 0x0004,
    CanSend6 = 0x0008,
    HasData4 = 0x0010,
    HasData6 = 0x0020,
    NoNewIO = 0x0040,
    CloseAfterSends = 0x0080,
    CloseAfterReceives = 0x0100,
    Closed = 0x0200,
    SendDequeueScheduled = 0x0400,
    ReceiveDequeueScheduled = 0x0800,
    ReceiveOrder4First = 0x1000,
  };
  enum class Family { V4, V6 };

  struct UdpSendPacket {
    std::string buffer;
    std::string address;  // empty for a send to the connected peer
    double timeout = -1;
    long tag = 0;
  };
  struct UdpReceivePacket {
    double timeout = -1;
    long tag = 0;
    std::optional<std::string> buffer;
    std::string host;
    uint16_t port = 0;
  };
  struct Addresses {
    std::optional<std::string> v4;  // sockaddr_in bytes
    std::optional<std::string> v6;  // sockaddr_in6 bytes
  };

  void setUp(bool enableIPv4, bool enableIPv6);
  bool has(uint16_t flag) const { return (m_flags & flag) != 0; }
  int& fdFor(Family family) { return family == Family::V4 ? m_fd4 : m_fd6; }
  std::shared_ptr<core::FdSource>& sourceFor(Family family) { return family == Family::V4 ? m_source4 : m_source6; }
  std::shared_ptr<core::RunLoop> runLoop() const;

  static int convertForBind(const std::optional<std::string>& host, uint16_t port, Addresses& out);
  static int convertForSend(const std::optional<std::string>& host, uint16_t port, Addresses& out);
  static int convert(const std::optional<std::string>& host, uint16_t port, bool passive, Addresses& out);

  static core::Error udpError(ErrorCode code, const std::string& text);
  static core::Error socketError(int savedErrno);
  static core::Error errnoError(int savedErrno);
  static core::Error netdbError(int code, const char* format = nullptr);

  bool queueSend(UdpSendPacket packet);
  void closeSocket(Family family);

  // Event dispatch and queues.
  void handleSocketEvent(Family family, unsigned ready);
  void scheduleDequeueSend();
  void maybeDequeueSend();
  std::optional<Family> socketForPacket(const UdpSendPacket& packet) const;
  bool canAcceptBytes(Family family);
  bool hasBytesAvailable(Family family);
  bool pollDescriptor(int fd, short events) const;
  void doSend(Family family);
  void completeCurrentSend();
  void failCurrentSend(const core::Error& error);
  void endCurrentSend();
  void doSendTimeout(core::Timer& timer);

  void scheduleDequeueReceive();
  void maybeDequeueReceive();
  void doReceive(Family family);
  bool maybeCompleteCurrentReceive();
  void failCurrentReceive(const core::Error& error);
  void endCurrentReceive();
  void doReceiveTimeout(core::Timer& timer);

  void emptyQueues();
  void cancelDeferredCalls();
  void maybeScheduleClose();
  void closeNow(bool report);
  bool sendsDrained() const { return m_sendQueue.empty() && !m_currentSend; }
  bool receivesDrained() const { return m_receiveQueue.empty() && !m_currentReceive; }

  // Scheduling helpers.
  void performLater(const core::WeakToken& target, void (RunLoopUdpSocket::*method)());
  std::shared_ptr<core::Timer> startTimer(double fireDate, bool send);
  void detachFromRunLoop();
  void attachToRunLoop();
  // Keys of the socket's kinds of delayed work, each cancelled on its own.
  core::WeakToken sendDequeueTarget() const { return core::WeakToken(weak_from_this(), &m_sendQueue); }
  core::WeakToken receiveDequeueTarget() const { return core::WeakToken(weak_from_this(), &m_receiveQueue); }
  core::WeakToken socketTarget() const { return core::WeakToken(weak_from_this(), &m_runLoopModes); }
  core::WeakToken closeReportTarget() const { return core::WeakToken(weak_from_this(), &m_delegate); }

  uint16_t m_flags = 0;
  std::shared_ptr<RunLoopUdpSocketDelegate> m_delegate;
  int64_t m_userData = 0;
  uint32_t m_maxReceiveBufferSize = DefaultMaxReceiveBufferSize;

  std::deque<std::shared_ptr<UdpSendPacket>> m_sendQueue;
  std::shared_ptr<UdpSendPacket> m_currentSend;
  std::shared_ptr<core::Timer> m_sendTimer;

  std::deque<std::shared_ptr<UdpReceivePacket>> m_receiveQueue;
  std::shared_ptr<UdpReceivePacket> m_currentReceive;
  std::shared_ptr<core::Timer> m_receiveTimer;

  int m_fd4 = -1;
  int m_fd6 = -1;
  std::shared_ptr<core::FdSource> m_source4;
  std::shared_ptr<core::FdSource> m_source6;
  std::weak_ptr<core::RunLoop> m_runLoop;
  Modes m_runLoopModes;
  // Where the close report waits, so that destruction can withdraw it.
  // Time-out dates kept while the socket moves between loops or modes.
  std::optional<double> m_detachedSendFireDate;
  std::optional<double> m_detachedReceiveFireDate;

  mutable uint16_t m_cachedLocalPort = 0;
  mutable uint16_t m_cachedConnectedPort = 0;
  mutable std::optional<std::string> m_cachedLocalHost;
  mutable std::optional<std::string> m_cachedConnectedHost;
};

}  // namespace kt
