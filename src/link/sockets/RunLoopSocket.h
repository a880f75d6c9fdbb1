#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/Error.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Value.h"

namespace core {
class FdSource;
class Timer;
}  // namespace core

namespace net {
class Socket;
class SocketStream;
struct StreamError;
}  // namespace net

namespace kt {

class RunLoopSocket;
class SocketPacket;
class SocketReadPacket;
class SocketWritePacket;

// Raised for misuse only: connecting or listening without a delegate or while not disconnected,
// and checkForThreadSafety from a foreign thread.
class RunLoopSocketException : public std::logic_error {
 public:
  explicit RunLoopSocketException(const std::string& reason) : std::logic_error(reason) {}
  const char* name() const { return "RunLoopSocketException"; }
  std::string reason() const { return what(); }
};

// Every operation is optional: its default body is exactly what happens when a delegate does
// not implement it. Operations run synchronously inside the socket's handlers and may call the
// socket back, including disconnect, or drop the last reference to it.
class RunLoopSocketDelegate {
 public:
  virtual ~RunLoopSocketDelegate() = default;
  virtual bool onSocketWillConnect(RunLoopSocket& sock) { (void)sock; return true; }
  virtual void onSocketDidAcceptNewSocket(RunLoopSocket& sock, const std::shared_ptr<RunLoopSocket>& newSocket) {
    (void)sock, (void)newSocket;
  }
  // The loop to schedule the new socket on; null: the current thread's.
  virtual core::RunLoop* onSocketWantsRunLoopForNewSocket(RunLoopSocket& sock,
                                                          const std::shared_ptr<RunLoopSocket>& newSocket) {
    (void)sock, (void)newSocket;
    return nullptr;
  }
  virtual void onSocketDidConnectToHost(RunLoopSocket& sock, const std::string& host, uint16_t port) {
    (void)sock, (void)host, (void)port;
  }
  virtual void onSocketDidReadData(RunLoopSocket& sock, const std::string& data, long tag) {
    (void)sock, (void)data, (void)tag;
  }
  virtual void onSocketDidReadPartialDataOfLength(RunLoopSocket& sock, size_t length, long tag) {
    (void)sock, (void)length, (void)tag;
  }
  virtual void onSocketDidWriteDataWithTag(RunLoopSocket& sock, long tag) { (void)sock, (void)tag; }
  virtual void onSocketDidWritePartialDataOfLength(RunLoopSocket& sock, size_t length, long tag) {
    (void)sock, (void)length, (void)tag;
  }
  // Seconds to extend the timed-out read or write by; 0 or less lets it time out.
  virtual double onSocketShouldTimeoutReadWithTag(RunLoopSocket& sock, long tag, double elapsed, size_t bytesDone) {
    (void)sock, (void)tag, (void)elapsed, (void)bytesDone;
    return 0;
  }
  virtual double onSocketShouldTimeoutWriteWithTag(RunLoopSocket& sock, long tag, double elapsed, size_t bytesDone) {
    (void)sock, (void)tag, (void)elapsed, (void)bytesDone;
    return 0;
  }
  virtual void onSocketDidSecure(RunLoopSocket& sock) { (void)sock; }
  virtual void onSocketWillDisconnectWithError(RunLoopSocket& sock, const core::Error* error /* null: orderly end */) {
    (void)sock, (void)error;
  }
  virtual void onSocketDidDisconnect(RunLoopSocket& sock) { (void)sock; }
};

// A TCP endpoint driven by one thread's run loop: connect to a host or an address, or listen
// and accept; queued reads (everything available, a fixed length, up to a terminator) and
// writes with time-outs; a switch to TLS. No thread of its own, no lock, never blocks.
//
// Bytes are std::string. Socket addresses are the system's own (sockaddr_in, 16 bytes, or
// sockaddr_in6, 28 bytes) held as bytes.
class RunLoopSocket : public std::enable_shared_from_this<RunLoopSocket> {
 public:
  static constexpr const char* ErrorDomain = "RunLoopSocketErrorDomain";
  enum ErrorCode : int64_t {
    SocketError = -1,
    NoError = 0,
    CanceledError = 1,
    ConnectTimeoutError = 2,
    ReadMaxedOutError = 3,
    ReadTimeoutError = 4,
    WriteTimeoutError = 5,
  };
  // Domains of errors that come from the system or the streams.
  static constexpr const char* PosixErrorDomain = "POSIXErrorDomain";
  static constexpr const char* NetDBErrorDomain = "NetDBErrorDomain";
  static constexpr const char* TLSErrorDomain = "TLSErrorDomain";
  static constexpr const char* UnlistedStreamErrorDomain = "StreamError (unlisted domain)";

  enum Flag : uint16_t {
    PreBuffer = 0x0001,
    DelegateStarted = 0x0002,
    ReadOpened = 0x0004,
    WriteOpened = 0x0008,
    ReadTLS = 0x0010,
    WriteTLS = 0x0020,
    NoNewIO = 0x0040,
    CloseAfterReads = 0x0080,
    CloseAfterWrites = 0x0100,
    ClosingWithError = 0x0200,
    ReadDequeueScheduled = 0x0400,
    WriteDequeueScheduled = 0x0800,
    CanAcceptBytesFlag = 0x1000,
    HasBytesAvailableFlag = 0x2000,
  };

  static std::shared_ptr<RunLoopSocket> create(std::shared_ptr<RunLoopSocketDelegate> delegate = nullptr,
                                               int64_t userData = 0);
  ~RunLoopSocket();
  RunLoopSocket(const RunLoopSocket&) = delete;
  RunLoopSocket& operator=(const RunLoopSocket&) = delete;

  // Read terminators.
  static std::string CRLFData() { return std::string("\r\n", 2); }
  static std::string CRData() { return std::string("\r", 1); }
  static std::string LFData() { return std::string("\n", 1); }
  static std::string ZeroData() { return std::string("\0", 1); }

  // --- fields ---------------------------------------------------------------------------
  const std::shared_ptr<RunLoopSocketDelegate>& delegate() const { return m_delegate; }
  // A plain store at any time; the socket keeps its delegate alive.
  void setDelegate(std::shared_ptr<RunLoopSocketDelegate> delegate) { m_delegate = std::move(delegate); }
  int64_t userData() const { return m_userData; }
  void setUserData(int64_t userData) { m_userData = userData; }
  bool canSafelySetDelegate() const;
  uint16_t flags() const { return m_flags; }

  std::shared_ptr<net::Socket> getSocket() const;
  std::shared_ptr<net::SocketStream> getReadStream() const { return m_readStream; }
  std::shared_ptr<net::SocketStream> getWriteStream() const { return m_writeStream; }
  void checkForThreadSafety() const;
  void enablePreBuffering() { m_flags |= PreBuffer; }
  // Terminator reads then never read past the terminator (nothing is kept for the next read).
  void disablePreBuffering() { m_flags &= static_cast<uint16_t>(~PreBuffer); }

  // --- connecting and listening ------------------------------------------------------------
  // Timeouts in seconds, negative: none. False (with the error) when the attempt failed at
  // once; the delegate hears nothing of that.
  bool connectToHost(const std::string& host, uint16_t port, double timeout, core::Error* error = nullptr);
  bool connectToHost(const std::string& host, uint16_t port, core::Error* error);
  bool connectToAddress(const std::string& remoteAddress, const std::optional<std::string>& interfaceAddress,
                        double timeout, core::Error* error = nullptr);
  bool connectToAddress(const std::string& remoteAddress, double timeout, core::Error* error = nullptr);
  bool connectToAddress(const std::string& remoteAddress, core::Error* error = nullptr);
  // interface: "" for every interface, "localhost"/"loopback", or an address or name; port 0: any.
  bool acceptOnInterface(const std::string& interface, uint16_t port, core::Error* error = nullptr);
  bool acceptOnPort(uint16_t port, core::Error* error = nullptr);

  // --- reads (a request that breaks its rules is dropped without a report) --------------
  // A caller's buffer receives the bytes at the offset and is grown when needed; the
  // delegate gets a copy of the bytes read.
  using Buffer = std::shared_ptr<std::string>;
  void readDataWithTimeout(double timeout, long tag);
  void readDataWithTimeout(double timeout, Buffer buffer, uint64_t offset, long tag);
  void readDataWithTimeout(double timeout, Buffer buffer, uint64_t offset, uint64_t maxLength, long tag);
  void readDataToLength(uint64_t length, double timeout, long tag);
  void readDataToLength(uint64_t length, double timeout, Buffer buffer, uint64_t offset, long tag);
  void readDataToData(const std::string& data, double timeout, long tag);
  void readDataToData(const std::string& data, double timeout, Buffer buffer, uint64_t offset, long tag);
  void readDataToData(const std::string& data, double timeout, uint64_t maxLength, long tag);
  void readDataToData(const std::string& data, double timeout, Buffer buffer, uint64_t offset, uint64_t maxLength,
                      long tag);

  // --- writes, TLS, progress --------------------------------------------------------------
  void writeData(const std::string& data, double timeout, long tag);
  // Settings: a dictionary with the keys of net::TLSSettingsKeys (null: none).
  void startTLS(const core::Value& tlsSettings = core::Value());
  // NaN (and zeros) when no read / write is current.
  float progressOfReadReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const;
  float progressOfWriteReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const;

  // --- disconnecting ----------------------------------------------------------------------
  // Closes at once; onSocketDidDisconnect is sent before this returns when the socket was
  // connecting, connected or listening.
  void disconnect();
  void disconnectAfterReading();
  void disconnectAfterWriting();
  void disconnectAfterReadingAndWriting();
  // Tells the delegate onSocketWillDisconnectWithError (null: orderly end), then closes.
  void closeWithError(const core::Error* error);
  // The bytes that were not delivered; meant for onSocketWillDisconnectWithError.
  std::optional<std::string> unreadData();

  // --- state and addresses ------------------------------------------------------------------
  bool isDisconnected() const;
  bool isConnected() const;
  bool areStreamsConnected() const;
  bool isIPv4() const;
  bool isIPv6() const;

  std::optional<std::string> connectedHost() const;
  uint16_t connectedPort() const;
  std::optional<std::string> localHost() const;
  uint16_t localPort() const;
  std::optional<std::string> connectedHost4() const;
  uint16_t connectedPort4() const;
  std::optional<std::string> localHost4() const;
  uint16_t localPort4() const;
  std::optional<std::string> connectedHost6() const;
  uint16_t connectedPort6() const;
  std::optional<std::string> localHost6() const;
  uint16_t localPort6() const;
  std::optional<std::string> connectedAddress() const;
  std::optional<std::string> localAddress() const;

  static std::optional<std::string> hostFromAddress(const std::string& address);
  static uint16_t portFromAddress(const std::string& address);

  // --- run loop -----------------------------------------------------------------------------
  bool moveToRunLoop(core::RunLoop* runLoop);
  bool setRunLoopModes(const std::vector<std::string>& modes);
  bool addRunLoopMode(const std::string& mode);
  bool removeRunLoopMode(const std::string& mode);
  const std::vector<std::string>& runLoopModes() const { return m_runLoopModes; }

  std::string description() const;

  // Errors of the socket's own domain, with the localized texts.
  static core::Error getSocketError();
  static core::Error getAbortError();
  static core::Error getConnectTimeoutError();
  static core::Error getReadMaxedOutError();
  static core::Error getReadTimeoutError();
  static core::Error getWriteTimeoutError();
  static core::Error getErrnoError(int errnoValue);
  static std::optional<core::Error> errorFromStreamError(const net::StreamError& error);

  struct Key {};
  RunLoopSocket(Key, std::shared_ptr<RunLoopSocketDelegate> delegate, int64_t userData);

 private:
  enum class Step { ReadDequeue, WriteDequeue, ScheduleDisconnect };

  std::string firstAddress(bool peer, bool want4, bool want6) const;
  // The raw address of the peer's or the local end; nullopt when there is none.
  std::optional<std::string> socketAddress(bool peer) const;

  // Wraps a member call for the run loop: nothing when the socket is gone; otherwise the
  // socket is kept alive across the call and released on a later turn.
  template <typename Fn>
  auto guarded(Fn fn);
  std::function<void()> guardedCall(void (RunLoopSocket::*member)());
  std::shared_ptr<RunLoopSocket> keepAlive() { return weak_from_this().lock(); }
  // A key of one kind of the socket's delayed work (the socket itself, or one of its queues).
  core::WeakToken target(const void* part) const { return core::WeakToken(weak_from_this(), part); }
  std::shared_ptr<RunLoopSocketDelegate> delegateForCall() const { return m_delegate; }

  // set-up
  bool createStreamsToHost(const std::string& host, uint16_t port, core::Error* error);
  bool createStreamsFromNative(int fd, core::Error* error);
  bool attachStreamsToRunLoop(core::RunLoop* runLoop, core::Error* error);
  void attachSocketsToRunLoop(core::RunLoop* runLoop);
  bool openStreams(core::Error* error);
  bool setSocketFromStreams(core::Error* error);
  std::optional<core::Error> getStreamError() const;

  // The read and the write side run the same dequeue, time-out and stream-event logic, each
  // over its own queue, packet, timer, stream and flags.
  enum class Side { Read, Write };
  struct IoSide {
    std::deque<std::shared_ptr<SocketPacket>>& queue;
    std::shared_ptr<SocketPacket>& current;
    std::shared_ptr<core::Timer>& timer;
    std::shared_ptr<net::SocketStream>& stream;
    int streamSide;             // net::SocketStream::Side
    unsigned readyEvent;        // the stream event that lets this side move bytes
    uint16_t opened, ready, tls, closeAfter, dequeueScheduled;
    void (RunLoopSocket::*dequeue)();
    void (RunLoopSocket::*transfer)();
    void (RunLoopSocket::*onTimeout)();
    double (RunLoopSocketDelegate::*shouldTimeout)(RunLoopSocket&, long, double, size_t);
    core::Error (*timeoutError)();
  };
  IoSide ioSide(Side side);
  void scheduleDequeue(Side side);
  void maybeDequeue(Side side);
  void endCurrent(Side side);
  void doTimeout(Side side);
  bool doStreamEvent(Side side, unsigned event);  // false: an event the side does not expect

  // events
  void doReadStreamEvent(unsigned event);
  void doWriteStreamEvent(unsigned event);
  void doSocketEvent(net::Socket& socket, unsigned type, int value);
  void doStreamOpen();
  void doConnectTimeout();
  void endConnectTimeout();
  void doSocketOpen(net::Socket& socket, int error);
  void doAcceptFromSocket(net::Socket& socket, int fd);

  // closing
  void close();
  void emptyQueues();
  void recoverUnreadData();
  void maybeScheduleDisconnect();

  // read side
  void addRead(const std::shared_ptr<SocketReadPacket>& packet);
  void scheduleDequeueRead();
  void maybeDequeueRead();
  bool hasBytesAvailable();
  long readIntoBuffer(char* buffer, size_t length);
  void doBytesAvailable();
  uint64_t readLengthForNonTerm(const SocketReadPacket& packet) const;
  uint64_t readLengthForTerm(const SocketReadPacket& packet) const;
  uint64_t prebufferReadLengthForTerm(const SocketReadPacket& packet) const;
  uint64_t readLengthForTermWithPreBuffer(const SocketReadPacket& packet, bool* found) const;
  long searchForTermAfterPreBuffering(const SocketReadPacket& packet, uint64_t numBytes) const;
  void completeCurrentRead();
  void endCurrentRead();
  void doReadTimeout();

  // write side
  void scheduleDequeueWrite();
  void maybeDequeueWrite();
  bool canAcceptBytes();
  void doSendBytes();
  void completeCurrentWrite();
  void endCurrentWrite();
  void doWriteTimeout();

  // TLS
  void maybeStartTLS();
  void onTLSHandshakeSuccessful();

  // run-loop plumbing
  std::shared_ptr<core::Timer> startTimer(double seconds, void (RunLoopSocket::*handler)(), double fireDate = -1);
  void rescheduleTimers();
  void cancelDeferredCalls();
  void deferSteps(core::RunLoop& loop, const std::vector<std::string>& modes);
  void scheduleStreams(core::RunLoop& loop, const std::string& mode);
  void unscheduleStreams(core::RunLoop& loop, const std::string& mode);

  std::shared_ptr<SocketReadPacket> currentReadPacket() const;
  std::shared_ptr<SocketWritePacket> currentWritePacket() const;

  uint16_t m_flags = PreBuffer;
  std::shared_ptr<RunLoopSocketDelegate> m_delegate;
  int64_t m_userData = 0;

  int m_nativeSocket4 = 0;   // 1 or more: present
  int m_nativeSocket6 = 0;
  std::shared_ptr<net::Socket> m_socket4;
  std::shared_ptr<core::FdSource> m_source4;
  std::shared_ptr<net::Socket> m_socket6;
  std::shared_ptr<core::FdSource> m_source6;
  core::RunLoop* m_runLoop = nullptr;  // not owned; unset while closed

  // One connection: the read and the write stream are the two sides of one stream pair.
  std::shared_ptr<net::SocketStream> m_readStream;
  std::shared_ptr<net::SocketStream> m_writeStream;

  std::shared_ptr<core::Timer> m_connectTimer;

  std::deque<std::shared_ptr<SocketPacket>> m_readQueue;
  std::shared_ptr<SocketPacket> m_currentRead;
  std::shared_ptr<core::Timer> m_readTimer;
  std::string m_partialReadBuffer;

  std::deque<std::shared_ptr<SocketPacket>> m_writeQueue;
  std::shared_ptr<SocketPacket> m_currentWrite;
  std::shared_ptr<core::Timer> m_writeTimer;

  std::vector<std::string> m_runLoopModes{core::RunLoop::DefaultMode};
};

}  // namespace kt
