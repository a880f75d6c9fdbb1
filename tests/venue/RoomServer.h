#pragma once

// A stand-in for the venue room server: listens on 127.0.0.1, accepts the client's TCP
// connections, decodes and records the frames it receives, answers from a script and can
// misbehave on request. It runs on a thread of its own with plain blocking sockets and stops
// by itself when destroyed.
//
// Every blocking call is bounded: the server thread waits in poll(2) on its sockets and a wake
// pipe; sends have a send time-out and are cut short by stop(); every wait offered to the test
// takes a time-out.

#include "venue/FrameCodec.h"
#include "venue/Gate.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace venue {

// What to answer to a request.
struct Reply {
  std::optional<int> code;                      // the reply's code; by default the request's
  std::vector<std::string> fields;              // UTF-8; a reply reads result, message, ...
  FieldForm form = FieldForm::Terminated;
  std::optional<std::string> raw;               // exact bytes to send instead (any number of frames, or junk)
  std::shared_ptr<Gate> gate;                   // held here until the test opens it (a slow server);
                                                // the server thread answers nothing else meanwhile
  bool closeAfter = false;                      // close the connection once the reply is sent
};

// Builds the reply from the request; std::nullopt sends nothing. Runs on the server thread: it
// may call the server's other members, except stop().
using ReplyHandler = std::function<std::optional<Reply>(const Frame& request)>;

// How outgoing bytes are cut into writes. Sizes are used in turn, the last one repeating;
// no sizes means one write for everything. The delay is slept between two writes so the
// client sees them arrive separately (the sockets have Nagle's algorithm off).
struct ChunkPolicy {
  std::vector<std::size_t> sizes;
  std::chrono::milliseconds delay{0};

  static ChunkPolicy whole() { return {}; }
  static ChunkPolicy bytewise(std::chrono::milliseconds delay = std::chrono::milliseconds(1)) {
    return {{1}, delay};
  }
};

struct ServerOptions {
  std::uint16_t port = 0;        // 0: any free port; port() tells which
  int receiveBufferSize = 0;     // SO_RCVBUF for accepted connections; 0 leaves the default
};

class RoomServer {
 public:
  RoomServer() = default;
  ~RoomServer();
  RoomServer(const RoomServer&) = delete;
  RoomServer& operator=(const RoomServer&) = delete;

  // Binds 127.0.0.1 and starts the server thread. False when the address cannot be bound
  // or the server is already running.
  bool start(const ServerOptions& options = {});
  // Closes every socket and joins the thread. Safe to call twice.
  void stop();
  bool isRunning() const { return m_thread.joinable(); }
  std::uint16_t port() const { return m_port; }

  // --- script ---------------------------------------------------------------------------
  // Replies only go to frames whose CRC is right; by default nothing is answered.
  void setReply(int code, Reply reply);
  void setReply(int code, std::vector<std::string> fields, FieldForm form = FieldForm::Terminated);
  void setReplyHandler(int code, ReplyHandler handler);
  // Used for codes that have no entry of their own.
  void setDefaultHandler(ReplyHandler handler);
  void clearReplies();

  // --- output ---------------------------------------------------------------------------
  void setChunking(ChunkPolicy policy);
  // Sends bytes to the most recent open connection, cut by the chunking policy. False when
  // there is no open connection or the write failed.
  bool send(const std::string& bytes);
  bool sendFrame(int code, const std::vector<std::string>& fields, FieldForm form = FieldForm::Terminated);

  // --- misbehaviour -----------------------------------------------------------------------
  // Closes the listener (connections to the port are refused) or opens it again on the same
  // port. Existing connections stay. False when not running or the port could not be bound again.
  bool setRefusing(bool refusing);
  // Stops or resumes reading the connections: unread data then fills the socket buffers.
  // May be called before start(). While not reading, a close by the client is still noticed.
  void setReading(bool reading);
  // Half-closes the most recent connection (the client reads end of stream after what was
  // sent); the server keeps reading until the client closes.
  void closeConnection();
  // Closes the most recent connection with a reset (SO_LINGER 0): the client sees ECONNRESET.
  void resetConnection();

  // --- observation ------------------------------------------------------------------------
  bool waitForFrames(std::size_t count, double timeoutSeconds);
  // Waits until this many bytes in all have been read from the client(s).
  bool waitForBytes(std::size_t count, double timeoutSeconds);
  bool waitForConnections(std::size_t count, double timeoutSeconds);
  // Waits until the client has closed the most recent connection.
  bool waitForClientClose(double timeoutSeconds);

  std::vector<Frame> frames() const;
  std::size_t frameCount() const;
  Frame frame(std::size_t index) const;  // an empty Frame when out of range
  std::string receivedBytes() const;      // everything read, on every connection, in order
  std::size_t connectionsAccepted() const;
  std::size_t openConnections() const;
  bool clientClosed() const;              // the client closed the most recent connection
  std::vector<std::string> decodeErrors() const;

 private:
  struct Connection;

  void run();
  bool openListener();
  void closeListener();
  void acceptOne();
  void readFrom(const std::shared_ptr<Connection>& connection);
  void answer(const std::shared_ptr<Connection>& connection, const Frame& request);
  bool sendOn(const std::shared_ptr<Connection>& connection, const std::string& bytes);
  void closeFd(const std::shared_ptr<Connection>& connection, bool peerClosed);
  std::shared_ptr<Connection> current() const;
  // Runs fn on the server thread and waits for it (inline when not running or already there).
  void perform(std::function<void()> fn);
  void wake();

  mutable std::mutex m_mutex;  // guards the state below and every close of a socket
  std::condition_variable m_changed;
  std::mutex m_sendMutex;      // one write sequence at a time; taken before m_mutex

  std::thread m_thread;
  std::thread::id m_threadId;
  bool m_stopping = false;
  int m_wakeRead = -1;
  int m_wakeWrite = -1;
  int m_listener = -1;
  std::uint16_t m_port = 0;
  int m_receiveBufferSize = 0;
  bool m_reading = true;

  std::vector<std::function<void()>> m_tasks;
  std::uint64_t m_tasksQueued = 0;
  std::uint64_t m_tasksDone = 0;

  std::map<int, ReplyHandler> m_handlers;
  ReplyHandler m_defaultHandler;
  ChunkPolicy m_chunking;

  std::vector<std::shared_ptr<Connection>> m_connections;
  std::vector<Frame> m_frames;
  std::string m_received;
  std::vector<std::string> m_decodeErrors;
};

}  // namespace venue
