#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/core/Value.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace core {
class FdSource;
}

namespace net {

class Resolver;

enum class StreamStatus : int { NotOpen = 0, Opening, Open, Reading, Writing, AtEnd, Closed, Error };

enum StreamEvent : unsigned {
  StreamOpenCompleted = 1,
  StreamHasBytesAvailable = 2,
  StreamCanAcceptBytes = 4,
  StreamErrorOccurred = 8,
  StreamEndEncountered = 16,
};

enum class StreamErrorDomain : int { None = 0, Posix = 1, NetDB = 2, TLS = 3 };

struct StreamError {
  StreamErrorDomain domain = StreamErrorDomain::None;
  long error = 0;       // errno, getaddrinfo code or OpenSSL error code
  std::string detail;   // OpenSSL's text for TLS errors
};

// Keys of the TLS settings dictionary (setTLSSettings); every key is optional.
struct TLSSettingsKeys {
  static constexpr const char* IsServer = "IsServer";                    // bool: take the server side
  static constexpr const char* CertificateFile = "CertificateFile";      // PEM certificate (chain) to present
  static constexpr const char* PrivateKeyFile = "PrivateKeyFile";        // PEM private key of that certificate
  static constexpr const char* TrustedCertificatesFile = "TrustedCertificatesFile";// PEM file of trusted certificates
  static constexpr const char* PeerName = "PeerName";                    // expected host name (client: also SNI)
  static constexpr const char* ValidatesCertificateChain = "ValidatesCertificateChain";  // bool, default true
};

// A read stream and a write stream over one TCP connection: to a host and port (the name is
// resolved off the run loop and each address tried in turn while the streams open), or over a
// connected descriptor. Scheduled on one core::RunLoop, in any number of modes, through a
// core::FdSource on a non-blocking socket.
//
// Events follow the stream model the sockets expect: each side reports open-completed once,
// has-bytes (read side) and can-accept (write side) once until the next read or write call on
// that side, end once when the peer has closed, and error once. Reads and writes never block:
// a read with nothing waiting and a write with no room return 0.
//
// Side objects (read() / write() ids) are used only for identity in diagnostics.
class SocketStream : public std::enable_shared_from_this<SocketStream> {
 public:
  enum Side : int { ReadSide = 0, WriteSide = 1 };
  using Client = std::function<void(StreamEvent event)>;

  static std::shared_ptr<SocketStream> createToHost(const std::string& host, uint16_t port);
  // The pair takes a connected stream socket; it is closed with the pair when shouldCloseNative.
  static std::shared_ptr<SocketStream> createWithNative(int fd);

  ~SocketStream();
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  // Events of `events` go to the client; a null client (or no events) removes it.
  bool setClient(Side side, unsigned events, Client client);
  // One loop at a time; a further mode on the same loop adds to the earlier ones.
  bool schedule(core::RunLoop& loop, const std::string& mode);
  void unschedule(core::RunLoop& loop, const std::string& mode);

  bool open(Side side);
  void close(Side side);
  StreamStatus status(Side side) const { return m_status[side]; }
  StreamError error(Side side) const { return m_error[side]; }

  // Bytes read (0: nothing waiting, or the end was reached), -1 on error.
  long read(char* buffer, size_t maxLength);
  // Bytes written (0: no room now), -1 on error.
  long write(const char* data, size_t length);
  bool hasBytesAvailable();
  bool canAcceptBytes();

  // The connection's descriptor once known (-1 before).
  int nativeHandle() const { return m_fd; }
  void setShouldCloseNative(bool close) { m_shouldCloseNative = close; }
  bool shouldCloseNative() const { return m_shouldCloseNative; }

  // Switches an open connection to TLS with the settings (a dictionary, TLSSettingsKeys); false
  // when the connection is not open or the settings cannot be used. The handshake runs on the
  // loop; no has-bytes or can-accept is reported until it has succeeded, and a failure is
  // reported as an error of domain TLS.
  bool setTLSSettings(const core::Value& settings);
  bool isSecure() const { return m_tlsState == TlsState::Established; }

  const void* sideId(Side side) const { return &m_status[side]; }

  struct Key {};
  SocketStream(Key, std::string host, uint16_t port, int fd);

 private:
  enum class Conn { Idle, Resolving, Connecting, Connected, Failed, Closed };
  enum class TlsState { None, Handshaking, Established };

  void start();
  void onResolved(const std::vector<std::string>& addresses, int error);
  void connectNext();
  void onReady(unsigned ready);
  void finishConnect();
  void fail(const StreamError& error);
  void failSide(Side side, const StreamError& error);
  bool beginHandshake();
  void driveHandshake();
  void updateInterest();
  void emit(Side side, StreamEvent event);
  void closeDescriptor();
  void deferOpenCompleted(Side side);
  StreamError tlsError(int sslError, int ret) const;
  // What one transfer call on a side came to: the byte count, 0 to wait (or, reading, at the
  // peer's close, which marks the side at its end), -1 with the side's error recorded.
  long tlsTransferResult(Side side, int ret);
  long socketTransferResult(Side side, ssize_t ret);
  bool pollFor(short events) const;

  std::string m_host;
  uint16_t m_port = 0;
  int m_fd = -1;
  bool m_shouldCloseNative = false;
  bool m_nativeGiven = false;
  Conn m_conn = Conn::Idle;

  StreamStatus m_status[2] = {StreamStatus::NotOpen, StreamStatus::NotOpen};
  StreamError m_error[2];
  unsigned m_events[2] = {0, 0};
  Client m_client[2];
  bool m_armed[2] = {false, false};    // has-bytes / can-accept may be reported
  bool m_endReported = false;

  std::vector<std::string> m_addresses;
  size_t m_nextAddress = 0;
  int m_lastConnectErrno = 0;
  std::shared_ptr<Resolver> m_resolver;

  std::shared_ptr<core::FdSource> m_source;
  std::weak_ptr<core::RunLoop> m_loop;
  std::vector<std::string> m_modes;

  TlsState m_tlsState = TlsState::None;
  SSL_CTX* m_sslCtx = nullptr;
  SSL* m_ssl = nullptr;
  unsigned m_tlsWant = 0;   // FdSource interest the handshake waits for
  bool m_kickPending = false;  // a look at bytes held inside the TLS layer is queued
};

}  // namespace net
