#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/RecordField.h"
#include "http/HCStringEncoding.h"
#include "link/FrameCodec.h"
#include "link/FramedLink.h"

namespace core {
class Timer;
}

namespace kt {

class RunLoopSocket;

// The venue-client link: a second framed link, to a host and port its caller names, that
// reconnects one second after a lost connection once it has been connected. It and the
// room-server link exclude each other: each closes the other before it connects. Frames and
// notices are those of the room-server link ("tcpMsg"; "sysMsg" with "clientConnected" and
// "clientDidDisconnect"). Main thread only.
class ClientNetworkCenter {
 public:
  // The process-wide link, created on first use.
  static ClientNetworkCenter& sharedInstance();
  // Tests only: drops the process-wide link (its socket is silenced and closed, its retry
  // cancelled).
  static void resetSharedInstanceForTesting();

  ClientNetworkCenter();
  ~ClientNetworkCenter();
  ClientNetworkCenter(const ClientNetworkCenter&) = delete;
  ClientNetworkCenter& operator=(const ClientNetworkCenter&) = delete;

  // Starts a connection attempt (3.0 s time-out), closing the room-server link first when it
  // is connected, and this link's own connection when there is one.
  void connectToServerWithIp(const std::string& host, int32_t port);
  // Connects again to the last host and port; the pending retry is then none.
  void retryConnectLastConnection();
  // Closes the connection; "clientDidDisconnect" is posted before this returns.
  void disconnectToServer();

  // Frames a message text as it stands and writes it (5.0 s time-out); refused and logged when
  // it is not UTF-8 or its frame would exceed 999,999 bytes.
  void sentMsg(const std::string& text);
  // "\r\n<code>\r\n" then each field followed by "\r\n", up to the first unset field.
  void sentMsg(int code, const std::vector<Text>& fields);

  static bool checkIfVaildMsg(std::string_view frame) { return FrameCodec::isValidFrame(frame); }
  static uint8_t getCRC(const void* bytes, int32_t length) { return FrameCodec::crc8(bytes, length); }

  bool isConnect() const { return m_link.isConnect(); }
  void setIsConnect(bool connected) { m_link.setIsConnect(connected); }
  // YES: no reconnection after a lost connection. YES until the first connection is made.
  bool isStopRetry() const { return m_isStopRetry.load(); }
  void setIsStopRetry(bool stop) { m_isStopRetry.store(stop); }

  // The string encoding of message text, both ways: GB 18030 (the frame codec converts by its 2000
  // table).
  uint64_t encGBK() const { return m_encGBK; }

  const std::string& lastConnectIp() const { return m_lastConnectIp; }
  int32_t lastConnectPort() const { return m_lastConnectPort; }
  bool hasPendingRetry() const;
  const std::shared_ptr<RunLoopSocket>& mainSocket() const { return m_link.socket(); }

 private:
  void cancelRetry();
  // A lost connection: the socket goes, and a retry follows unless retries are stopped.
  void didDisconnect();

  std::atomic<bool> m_isStopRetry{true};
  std::shared_ptr<core::Timer> m_retryTimer;
  std::string m_lastConnectIp;
  int32_t m_lastConnectPort = 0;
  FramedLink m_link;
  const uint64_t m_encGBK = HCStringEncodingGB18030;
};

}  // namespace kt
