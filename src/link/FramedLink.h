#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/FrameCodec.h"
#include "platform/core/WeakPtr.h"

namespace kt {

class RunLoopSocket;

// One framed TCP link to a venue host, shared by the room-server and the venue-client links. It
// owns the socket, frames and writes outgoing texts, cuts the incoming stream into frames and
// posts the text of every good frame on the event bus ("getDataFromCenter", code "tcpMsg"), and
// the connection's opening and closing with code "sysMsg"; the sender is the DataCenter record,
// as for every post on that bus.
//
// Every connection attempt gets a new socket. The one it replaces is silenced and closed first, so
// that nothing it still has to say (data, a disconnection) reaches the bus, and released once
// control is back in the run loop; callbacks from any socket but the current one are ignored.
// Bus observers run inside the socket's callbacks and may send, close or start a new attempt: a
// new attempt ends the processing of the old socket's buffer. An observer may even destroy the
// link, which is then not touched again. The socket reaches the link through a weak pointer.
//
// Main thread only.
class FramedLink {
 public:
  // What tells one link from another.
  struct Settings {
    // Starts the link's log lines: "<name> did connect to server".
    std::string name;
    // The "sysMsg" details posted when the socket connects and when it disconnects.
    std::string connectedNotice;
    std::string disconnectedNotice;
    // Seconds a connection attempt may take.
    double connectTimeout = 0;
  };

  // The owner's own steps, each optional and run for the current socket only, inside its callback.
  struct Handlers {
    // After the connected notice, once the link reads and reads as connected.
    std::function<void()> connected;
    // After the disconnected notice, unless an observer started a new attempt meanwhile; the link
    // reads as not connected.
    std::function<void()> disconnected;
    // A good frame's text, before it is posted.
    std::function<void(const std::string& text)> frameReceived;
    // A frame whose CRC is wrong (it is skipped): its length and the chunk just read.
    std::function<void(int32_t length, const std::string& chunk)> badFrame;
    // What is buffered ends inside a frame whose length is known: the link waits for the rest.
    std::function<void()> waitingForBody;
  };

  FramedLink(Settings settings, Handlers handlers);
  // Silences and closes the socket: nothing reaches the bus any more.
  ~FramedLink();
  FramedLink(const FramedLink&) = delete;
  FramedLink& operator=(const FramedLink&) = delete;

  // Starts a new attempt on a new socket (see above), with the buffer emptied. An unset host
  // (no setting yet) is logged as "(null)" and tried as "", which fails at once. A port outside
  // 1-65535 fails at once too, named as the setting `portSetting` when one is given, and is not
  // tried at all: the earlier socket is closed and no new one made. A failure at once is logged,
  // and on the next turn of the run loop reported as a refused connection is: the disconnected
  // notice, then the disconnected handler (unless a new attempt began meanwhile).
  void connect(const std::optional<std::string>& host, int32_t port, const std::string& portSetting = {});
  // Closes the connection; the disconnected notice is posted before this returns when the
  // socket was connecting or connected.
  void disconnect();
  // Frames a message text as it stands and writes it (5.0 s time-out). A text that is not UTF-8,
  // or whose frame would be too long, is refused and logged; without a socket it is dropped and
  // logged. Named as the centres' own, since the name starts that log line.
  void sentMsg(const std::string& text);
  // Lets the current socket go once control is back in the run loop; there is none until the
  // next connect.
  void releaseSocket();

  // True from the connect callback (after its observers) to the disconnect callback (after its).
  bool isConnect() const { return m_isConnect.load(); }
  void setIsConnect(bool connected) { m_isConnect.store(connected); }
  // Whether the socket itself is connected.
  bool isSocketConnected() const;
  // The current socket (none before the first connect).
  const std::shared_ptr<RunLoopSocket>& socket() const { return m_socket; }

 private:
  class SocketDelegate;

  void didConnect(RunLoopSocket& socket);
  void didReadData(RunLoopSocket& socket, const std::string& data);
  void didDisconnect(RunLoopSocket& socket);
  bool isCurrent(const RunLoopSocket& socket) const { return m_socket.get() == &socket; }
  void post(const std::string& code, const std::string& detail);
  // An attempt that failed at once, reported on the next turn of the loop (see connect()).
  void reportFailedAttempt();
  // The link is down (attempt `attempt`): said in the log and on the bus, then, unless an observer
  // began a new attempt meanwhile, marked and given to the handler.
  void reportDisconnection(uint64_t attempt);
  // Nothing marks where a frame starts but its length prefix: after a corrupt prefix the stream
  // cannot be followed any further. Start clean: drop what is buffered and the connection with it.
  void closeCorruptLink(RunLoopSocket& socket, int32_t prefixLength);

  Settings m_settings;
  Handlers m_handlers;
  std::shared_ptr<RunLoopSocket> m_socket;
  std::atomic<bool> m_isConnect{false};
  // Received bytes not yet cut into frames.
  FrameReassembler m_receiveData;
  // Counts connection attempts, so a callback can tell that a new attempt began inside it.
  uint64_t m_attempt = 0;
  core::WeakPtrFactory<FramedLink> m_weakFactory{this};
};

}  // namespace kt
