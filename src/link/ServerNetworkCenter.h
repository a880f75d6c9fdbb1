#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/RecordField.h"
#include "http/HCStringEncoding.h"
#include "link/FrameCodec.h"
#include "link/FramedLink.h"

namespace kt {

class RunLoopSocket;

// The one TCP connection to the venue's room server, a framed link: opens it on request, frames
// and writes outgoing messages, cuts the incoming stream into frames, checks each frame's CRC and
// posts the text of every good frame on the event bus ("getDataFromCenter", code "tcpMsg"), and
// the connection's opening and closing with code "sysMsg" ("serverConnected",
// "serverDidDisconnect"). It does not reconnect by itself. Main thread only; everything it posts
// is posted synchronously from the socket's callbacks.
class ServerNetworkCenter {
 public:
  // The process-wide link, created on first use.
  static ServerNetworkCenter& sharedInstance();
  // Tests only: drops the process-wide link (its socket is silenced and closed).
  static void resetSharedInstanceForTesting();

  ServerNetworkCenter();
  ~ServerNetworkCenter();
  ServerNetworkCenter(const ServerNetworkCenter&) = delete;
  ServerNetworkCenter& operator=(const ServerNetworkCenter&) = delete;

  // Starts a new connection attempt to the "Server_Ip" / "Server_Port" settings (read at each
  // call), closing the venue-client link first when it is connected. A socket still connected
  // or connecting is silenced and closed first: nothing from it reaches the bus any more. A
  // "Server_Port" outside 1-65535 is not tried: the attempt fails at once, logged with the setting
  // named, and nothing is posted.
  void initConnect();
  // Whether the socket itself is connected.
  bool getConnected() const;
  // Closes the connection; "serverDidDisconnect" is posted before this returns.
  void disconnectToServer();

  // YES from the connect callback to the disconnect callback.
  bool isConnect() const { return m_link.isConnect(); }
  void setIsConnect(bool connected) { m_link.setIsConnect(connected); }

  // Logs the text, then frames it as it stands and writes it (5.0 s time-out). A text that is
  // not UTF-8, or whose frame would exceed 999,999 bytes, is refused and logged. The log shows
  // the order password of request 114 as "****"; the frame carries it unchanged.
  void sentMsg(const std::string& text);
  // "\r\n<code>\r\n" then each field followed by "\r\n", up to the first unset field.
  void sentMsg(int code, const std::vector<Text>& fields);
  // "\r\n<code>\r\n" then the fields joined by "\r\n" (nothing after the last one).
  void sendMsg(int code, const std::vector<std::string>& fields);

  // True when the frame's last byte is the CRC of all the bytes before it.
  static bool checkIfVaildMsg(std::string_view frame) { return FrameCodec::isValidFrame(frame); }
  static uint8_t getCRC(const void* bytes, int32_t length) { return FrameCodec::crc8(bytes, length); }

  // The string encoding of message text, both ways: GB 18030 (the frame codec converts by its 2000
  // table).
  uint64_t encGBK() const { return m_encGBK; }

  // The current socket (none before the first initConnect, nor after one whose "Server_Port" is
  // not a port from 1 to 65535).
  const std::shared_ptr<RunLoopSocket>& mainSocket() const { return m_link.socket(); }
  int32_t dataOffset() const { return m_dataOffset; }

 private:
  // Logs `shown` and writes `body`.
  void write(const std::string& body, const std::string& shown);

  FramedLink m_link;
  const uint64_t m_encGBK = HCStringEncodingGB18030;
  int32_t m_dataOffset = 0;
};

}  // namespace kt
