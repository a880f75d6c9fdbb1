#include "link/FramedLink.h"

#include "app/DataCenter.h"
#include "link/sockets/RunLoopSocket.h"
#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/RunLoop.h"
#include "platform/core/ThreadCheck.h"
#include "platform/core/Value.h"
#include "platform/net/TcpPort.h"

namespace kt {
namespace {

constexpr double kWriteTimeout = 5.0;
constexpr double kNoTimeout = -1;
constexpr long kTag = 0;

// Silences a socket and closes it: it reports nothing any more, not even this disconnection.
void silence(RunLoopSocket& socket) {
  socket.setDelegate(nullptr);
  socket.disconnect();
}

}  // namespace

// The socket holds its delegate strongly; this one reaches the link only while the link lives.
class FramedLink::SocketDelegate final : public RunLoopSocketDelegate {
 public:
  explicit SocketDelegate(core::WeakPtr<FramedLink> link) : m_link(std::move(link)) {}

  void onSocketDidConnectToHost(RunLoopSocket& socket, const std::string&, uint16_t) override {
    if (FramedLink* link = m_link.get()) link->didConnect(socket);
  }
  void onSocketDidReadData(RunLoopSocket& socket, const std::string& data, long) override {
    if (FramedLink* link = m_link.get()) link->didReadData(socket, data);
  }
  void onSocketDidDisconnect(RunLoopSocket& socket) override {
    if (FramedLink* link = m_link.get()) link->didDisconnect(socket);
  }

 private:
  core::WeakPtr<FramedLink> m_link;
};

FramedLink::FramedLink(Settings settings, Handlers handlers)
    : m_settings(std::move(settings)), m_handlers(std::move(handlers)) {}

FramedLink::~FramedLink() {
  if (m_socket) silence(*m_socket);
}

void FramedLink::connect(const std::optional<std::string>& host, int32_t port, const std::string& portSetting) {
  KT_ASSERT_MAIN_THREAD();
  m_receiveData.clear();
  ++m_attempt;
  if (m_socket) {
    // The earlier socket must deliver nothing more: no data into the emptied buffer, and no
    // disconnection notice that would read as the failure of the new attempt.
    std::shared_ptr<RunLoopSocket> old = std::move(m_socket);
    silence(*old);
    m_isConnect.store(false);
    // We may be inside one of its callbacks: let it go once control is back in the loop.
    core::RunLoop::current().releaseLater(std::move(old));
  }
  core::logFormat("%s trying to connect server ip: %s, port: %i", m_settings.name.c_str(),
                  host ? host->c_str() : "(null)", port);
  // Cut to 16 bits, a number outside the ports would reach another port (70000 is 4464).
  if (!net::isTcpPort(port)) {
    const std::string number = std::to_string(port);
    const std::string what = portSetting.empty() ? number : "the setting " + portSetting + " (" + number + ")";
    core::logLine("Fail to develop connection: " + what + " is not a port from " + net::kTcpPortRange);
    reportFailedAttempt();
    return;
  }

  m_socket = RunLoopSocket::create(std::make_shared<SocketDelegate>(m_weakFactory.weakPtr()));
  // Keep this socket alive across the call: a failure inside it may reach observers that
  // replace it.
  std::shared_ptr<RunLoopSocket> socket = m_socket;
  core::Error error;
  if (!socket->connectToHost(host.value_or(""), static_cast<uint16_t>(port), m_settings.connectTimeout, &error)) {
    core::logLine("Fail to develop connection");
    reportFailedAttempt();
  }
}

void FramedLink::reportFailedAttempt() {
  // On the next turn of the loop, as a refused connection is reported: the caller of connect()
  // finishes first, and an observer may start the next attempt from the notice.
  const uint64_t attempt = m_attempt;
  core::RunLoop::current().performBlock([self = m_weakFactory.weakPtr(), attempt] {
    if (self && self->m_attempt == attempt) self->reportDisconnection(attempt);
  });
}

void FramedLink::reportDisconnection(uint64_t attempt) {
  const core::WeakPtr<FramedLink> self = m_weakFactory.weakPtr();
  core::logFormat("%s did disconnect already", m_settings.name.c_str());
  post(kBusCodeSystemMessage, m_settings.disconnectedNotice);
  // An observer that connected again at once owns the link now.
  if (!self || m_attempt != attempt) return;
  m_isConnect.store(false);
  if (m_handlers.disconnected) m_handlers.disconnected();
}

void FramedLink::disconnect() {
  KT_ASSERT_MAIN_THREAD();
  // The disconnection callback may replace the socket: keep this one alive across the call.
  std::shared_ptr<RunLoopSocket> socket = m_socket;
  if (socket) socket->disconnect();
}

void FramedLink::sentMsg(const std::string& text) {
  KT_ASSERT_MAIN_THREAD();
  std::optional<std::string> frame = FrameCodec::encodeText(text);
  if (!frame) return;
  if (!m_socket) {
    KT_LOG("no connection: message dropped");
    return;
  }
  m_socket->writeData(*frame, kWriteTimeout, kTag);
}

void FramedLink::releaseSocket() {
  if (m_socket) core::RunLoop::current().releaseLater(std::move(m_socket));
}

bool FramedLink::isSocketConnected() const { return m_socket && m_socket->isConnected(); }

void FramedLink::didConnect(RunLoopSocket& socket) {
  if (!isCurrent(socket)) return;
  const core::WeakPtr<FramedLink> self = m_weakFactory.weakPtr();
  core::logFormat("%s did connect to server", m_settings.name.c_str());
  // Observers run while isConnect still reads NO; they may send, close or reconnect.
  post(kBusCodeSystemMessage, m_settings.connectedNotice);
  if (!self || !isCurrent(socket) || !socket.isConnected()) return;
  socket.readDataWithTimeout(kNoTimeout, kTag);
  m_isConnect.store(true);
  if (m_handlers.connected) m_handlers.connected();
}

void FramedLink::didReadData(RunLoopSocket& socket, const std::string& data) {
  if (!isCurrent(socket)) return;
  const core::WeakPtr<FramedLink> self = m_weakFactory.weakPtr();
  const uint64_t attempt = m_attempt;
  m_receiveData.append(data);
  const FrameReassembler::Result end = m_receiveData.drain(
      [&](const std::string& text) {
        if (m_handlers.frameReceived) m_handlers.frameReceived(text);
        post(kBusCodeTcpMessage, text);
        // An observer started a new connection: what was buffered belonged to the old one.
        return self && m_attempt == attempt;
      },
      [&](int32_t length) {
        if (m_handlers.badFrame) m_handlers.badFrame(length, data);
      });
  if (!self || end.status == FrameReassembler::Status::Frame) return;
  if (end.status == FrameReassembler::Status::Corrupt) {
    closeCorruptLink(socket, end.length);
    return;
  }
  if (end.status == FrameReassembler::Status::NeedBody && m_handlers.waitingForBody) m_handlers.waitingForBody();
  if (isCurrent(socket) && socket.isConnected()) socket.readDataWithTimeout(kNoTimeout, kTag);
}

void FramedLink::didDisconnect(RunLoopSocket& socket) {
  if (isCurrent(socket)) reportDisconnection(m_attempt);
}

void FramedLink::post(const std::string& code, const std::string& detail) {
  core::NotificationCenter::defaultCenter().post(kDataCenterNotification, &DataCenter::sharedInstance(),
                                                 busUserInfo(code, detail));
}

void FramedLink::closeCorruptLink(RunLoopSocket& socket, int32_t prefixLength) {
  KT_LOG("corrupt stream (length prefix %d): %zu buffered bytes dropped, closing the connection", prefixLength,
         m_receiveData.buffered());
  m_receiveData.clear();
  std::shared_ptr<RunLoopSocket> keep = socket.shared_from_this();
  keep->disconnect();
}

}  // namespace kt
