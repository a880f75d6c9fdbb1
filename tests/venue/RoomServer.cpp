#include "venue/RoomServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace venue {

namespace {

// Upper bound on one blocked write to a client that does not read.
constexpr int kSendTimeoutSeconds = 5;
// Upper bound on waiting for the server thread to run a task.
constexpr auto kTaskTimeout = std::chrono::seconds(10);

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::chrono::duration<double> seconds(double s) { return std::chrono::duration<double>(s); }

}  // namespace

struct RoomServer::Connection {
  int fd = -1;
  std::size_t index = 0;
  FrameDecoder decoder;
  bool decodeErrorReported = false;
  bool peerClosed = false;
};

RoomServer::~RoomServer() { stop(); }

bool RoomServer::start(const ServerOptions& options) {
  if (m_thread.joinable()) return false;
  m_port = options.port;
  m_receiveBufferSize = options.receiveBufferSize;
  m_stopping = false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  m_wakeRead = fds[0];
  m_wakeWrite = fds[1];
  if (!openListener()) {
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
    m_wakeRead = m_wakeWrite = -1;
    return false;
  }
  m_thread = std::thread([this] { run(); });
  m_threadId = m_thread.get_id();
  return true;
}

void RoomServer::stop() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    // Wakes a write blocked on a client that does not read.
    for (auto& c : m_connections)
      if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
  }
  m_changed.notify_all();
  wake();
  m_thread.join();
  m_threadId = {};
  ::close(m_wakeRead);
  ::close(m_wakeWrite);
  m_wakeRead = m_wakeWrite = -1;
}

void RoomServer::wake() {
  char byte = 1;
  if (m_wakeWrite >= 0) {
    ssize_t n = ::write(m_wakeWrite, &byte, 1);
    (void)n;  // a full pipe already means "wake up"
  }
}

bool RoomServer::openListener() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Accepted sockets inherit the receive buffer; it has to be small before the handshake for
  // the advertised window to be small too.
  if (m_receiveBufferSize > 0)
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &m_receiveBufferSize, sizeof m_receiveBufferSize);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(m_port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return false;
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_port = ntohs(addr.sin_port);
  m_listener = fd;
  return true;
}

void RoomServer::closeListener() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_listener >= 0) ::close(m_listener);
  m_listener = -1;
}

void RoomServer::perform(std::function<void()> fn) {
  if (!m_thread.joinable() || std::this_thread::get_id() == m_threadId) {
    fn();
    return;
  }
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_stopping) return;
  m_tasks.push_back(std::move(fn));
  std::uint64_t ticket = ++m_tasksQueued;
  wake();
  m_changed.wait_for(lock, kTaskTimeout, [&] { return m_tasksDone >= ticket; });
}

void RoomServer::run() {
  auto runTasks = [this] {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      tasks.swap(m_tasks);
    }
    for (auto& task : tasks) task();
    if (!tasks.empty()) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_tasksDone += tasks.size();
    }
    m_changed.notify_all();
  };

  for (;;) {
    runTasks();
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<Connection>> polled;
    bool reading = true;
    bool listening = false;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stopping) break;
      reading = m_reading;
      fds.push_back({m_wakeRead, POLLIN, 0});
      listening = m_listener >= 0;
      if (listening) fds.push_back({m_listener, POLLIN, 0});
      for (auto& c : m_connections) {
        if (c->fd < 0) continue;
        // Not reading, only a close by the peer is watched for.
        fds.push_back({c->fd, static_cast<short>(reading ? POLLIN : POLLRDHUP), 0});
        polled.push_back(c);
      }
    }
    int ready = ::poll(fds.data(), fds.size(), 1000);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;

    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(m_wakeRead, drain, sizeof drain) > 0) {
      }
    }
    std::size_t first = 1;
    if (listening) {
      if (fds[1].revents & POLLIN) acceptOne();
      first = 2;
    }
    for (std::size_t i = 0; i < polled.size(); ++i) {
      short revents = fds[first + i].revents;
      if (!revents) continue;
      if (reading)
        readFrom(polled[i]);
      else if (revents & (POLLRDHUP | POLLHUP | POLLERR))
        closeFd(polled[i], true);
    }
  }

  // Tasks queued before the stop still complete, so nobody waits on them in vain.
  runTasks();
  closeListener();
  std::vector<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    connections = m_connections;
  }
  for (auto& c : connections) closeFd(c, false);
}

void RoomServer::acceptOne() {
  int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval timeout{kSendTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  auto connection = std::make_shared<Connection>();
  connection->fd = fd;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    connection->index = m_connections.size();
    m_connections.push_back(connection);
  }
  m_changed.notify_all();
}

void RoomServer::readFrom(const std::shared_ptr<Connection>& connection) {
  char buffer[65536];
  ssize_t n = ::recv(connection->fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (n <= 0) {
    closeFd(connection, true);
    return;
  }
  std::vector<Frame> arrived;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string_view bytes(buffer, static_cast<std::size_t>(n));
    m_received.append(bytes);
    connection->decoder.feed(bytes);
    while (std::optional<Frame> frame = connection->decoder.next()) {
      frame->connection = connection->index;
      m_frames.push_back(*frame);
      arrived.push_back(std::move(*frame));
    }
    if (connection->decoder.failed() && !connection->decodeErrorReported) {
      connection->decodeErrorReported = true;
      m_decodeErrors.push_back("connection " + std::to_string(connection->index) + ": " +
                               connection->decoder.error());
    }
  }
  m_changed.notify_all();
  for (const Frame& frame : arrived)
    if (frame.crcOk) answer(connection, frame);
}

void RoomServer::answer(const std::shared_ptr<Connection>& connection, const Frame& request) {
  ReplyHandler handler;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = request.code ? m_handlers.find(*request.code) : m_handlers.end();
    handler = it != m_handlers.end() ? it->second : m_defaultHandler;
  }
  if (!handler) return;
  std::optional<Reply> reply = handler(request);
  if (!reply) return;
  if (reply->gate && !reply->gate->pass([this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopping;
      }))
    return;
  std::string bytes = reply->raw ? *reply->raw
                                 : buildFrame(reply->code.value_or(request.code.value_or(0)),
                                              reply->fields, reply->form);
  sendOn(connection, bytes);
  if (reply->closeAfter) {
    std::lock_guard<std::mutex> sendLock(m_sendMutex);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_WR);
  }
}

bool RoomServer::sendOn(const std::shared_ptr<Connection>& connection, const std::string& bytes) {
  // Holding the send mutex keeps the descriptor open: closes take it too.
  std::lock_guard<std::mutex> sendLock(m_sendMutex);
  int fd = -1;
  ChunkPolicy policy;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    fd = connection->fd;
    policy = m_chunking;
  }
  if (fd < 0) return false;
  std::size_t pos = 0;
  std::size_t turn = 0;
  while (pos < bytes.size()) {
    std::size_t chunk = bytes.size() - pos;
    if (!policy.sizes.empty()) {
      std::size_t size = policy.sizes[std::min(turn, policy.sizes.size() - 1)];
      if (size > 0) chunk = std::min(chunk, size);
    }
    ++turn;
    if (!writeAll(fd, bytes.data() + pos, chunk)) return false;
    pos += chunk;
    if (pos < bytes.size() && policy.delay.count() > 0) {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (m_changed.wait_for(lock, policy.delay, [this] { return m_stopping; })) return false;
    }
  }
  return true;
}

void RoomServer::closeFd(const std::shared_ptr<Connection>& connection, bool peerClosed) {
  {
    std::lock_guard<std::mutex> sendLock(m_sendMutex);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (connection->fd >= 0) ::close(connection->fd);
    connection->fd = -1;
    if (peerClosed) connection->peerClosed = true;
  }
  m_changed.notify_all();
}

std::shared_ptr<RoomServer::Connection> RoomServer::current() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_connections.rbegin(); it != m_connections.rend(); ++it)
    if ((*it)->fd >= 0) return *it;
  return nullptr;
}

void RoomServer::setReply(int code, Reply reply) {
  setReplyHandler(code, [reply](const Frame&) { return std::optional<Reply>(reply); });
}

void RoomServer::setReply(int code, std::vector<std::string> fields, FieldForm form) {
  Reply reply;
  reply.fields = std::move(fields);
  reply.form = form;
  setReply(code, std::move(reply));
}

void RoomServer::setReplyHandler(int code, ReplyHandler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_handlers[code] = std::move(handler);
}

void RoomServer::setDefaultHandler(ReplyHandler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_defaultHandler = std::move(handler);
}

void RoomServer::clearReplies() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_handlers.clear();
  m_defaultHandler = nullptr;
}

void RoomServer::setChunking(ChunkPolicy policy) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_chunking = std::move(policy);
}

bool RoomServer::send(const std::string& bytes) {
  std::shared_ptr<Connection> connection = current();
  return connection && sendOn(connection, bytes);
}

bool RoomServer::sendFrame(int code, const std::vector<std::string>& fields, FieldForm form) {
  return send(buildFrame(code, fields, form));
}

bool RoomServer::setRefusing(bool refusing) {
  if (!isRunning()) return false;
  // Shared, not on the stack: a task that outlives the wait's time-out still has it.
  auto ok = std::make_shared<bool>(true);
  perform([this, refusing, ok] {
    if (refusing)
      closeListener();
    else if (m_listener < 0)
      *ok = openListener();
  });
  return *ok;
}

void RoomServer::setReading(bool reading) {
  perform([this, reading] {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reading = reading;
  });
}

void RoomServer::closeConnection() {
  std::shared_ptr<Connection> connection = current();
  if (!connection) return;
  std::lock_guard<std::mutex> sendLock(m_sendMutex);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_WR);
}

void RoomServer::resetConnection() {
  // The close has to happen on the server thread: a descriptor closed while another thread
  // polls it keeps its socket alive until that poll returns.
  perform([this] {
    std::shared_ptr<Connection> connection = current();
    if (!connection) return;
    linger abortive{1, 0};
    ::setsockopt(connection->fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    closeFd(connection, false);
  });
}

bool RoomServer::waitForFrames(std::size_t count, double timeoutSeconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, seconds(timeoutSeconds), [&] { return m_frames.size() >= count; });
}

bool RoomServer::waitForBytes(std::size_t count, double timeoutSeconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, seconds(timeoutSeconds), [&] { return m_received.size() >= count; });
}

bool RoomServer::waitForConnections(std::size_t count, double timeoutSeconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, seconds(timeoutSeconds), [&] { return m_connections.size() >= count; });
}

bool RoomServer::waitForClientClose(double timeoutSeconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, seconds(timeoutSeconds),
                            [&] { return !m_connections.empty() && m_connections.back()->peerClosed; });
}

std::vector<Frame> RoomServer::frames() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_frames;
}

std::size_t RoomServer::frameCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_frames.size();
}

Frame RoomServer::frame(std::size_t index) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return index < m_frames.size() ? m_frames[index] : Frame{};
}

std::string RoomServer::receivedBytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

std::size_t RoomServer::connectionsAccepted() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_connections.size();
}

std::size_t RoomServer::openConnections() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<std::size_t>(
      std::count_if(m_connections.begin(), m_connections.end(), [](const auto& c) { return c->fd >= 0; }));
}

bool RoomServer::clientClosed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !m_connections.empty() && m_connections.back()->peerClosed;
}

std::vector<std::string> RoomServer::decodeErrors() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_decodeErrors;
}

}  // namespace venue
