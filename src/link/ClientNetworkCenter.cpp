#include "link/ClientNetworkCenter.h"

#include "app/DataCenter.h"
#include "link/LinkSocketDelegate.h"
#include "link/sockets/RunLoopSocket.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/Error.h"
#include "platform/core/LazyShared.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Timer.h"
#include "platform/core/Value.h"

namespace kt {
namespace {

constexpr double kConnectTimeout = 3.0;
constexpr double kWriteTimeout = 5.0;
constexpr double kRetryDelay = 1.0;
constexpr double kNoTimeout = -1;
constexpr long kTag = 0;

}  // namespace

ClientNetworkCenter& ClientNetworkCenter::sharedInstance() { return core::LazyShared<ClientNetworkCenter>::instance(); }

void ClientNetworkCenter::resetSharedInstanceForTesting() { core::LazyShared<ClientNetworkCenter>::reset(); }

ClientNetworkCenter::ClientNetworkCenter() : m_delegate(std::make_shared<LinkSocketDelegate>(static_cast<LinkSocketOwner*>(this))) {}

ClientNetworkCenter::~ClientNetworkCenter() {
  m_delegate->detach();
  cancelRetry();
  if (m_mainSocket) {
    std::shared_ptr<RunLoopSocket> socket = std::move(m_mainSocket);
    socket->setDelegate(nullptr);
    socket->disconnect();
  }
}

bool ClientNetworkCenter::hasPendingRetry() const { return m_retryTimer && m_retryTimer->isValid(); }

void ClientNetworkCenter::cancelRetry() {
  if (m_retryTimer) m_retryTimer->invalidate();
  m_retryTimer.reset();
}

void ClientNetworkCenter::connectToServerWithIp(const std::string& host, int32_t port) {
  m_lastConnectIp = host;
  m_lastConnectPort = port;

  ServerNetworkCenter& server = ServerNetworkCenter::sharedInstance();
  if (server.isConnect()) server.disconnectToServer();
  if (isConnect()) disconnectToServer();
  // This attempt replaces any pending retry, including one the disconnection above scheduled.
  cancelRetry();

  m_receiveData.clear();
  ++m_attempt;
  if (m_mainSocket) {
    // A socket still connecting (or one that was not closed above) must deliver nothing more.
    std::shared_ptr<RunLoopSocket> old = std::move(m_mainSocket);
    old->setDelegate(nullptr);
    old->disconnect();
    m_isConnect.store(false);
    core::RunLoop::current().releaseLater(std::move(old));
  }
  m_mainSocket = RunLoopSocket::create(m_delegate);

  core::logFormat("ClientNetworkCenter trying to connect server ip: %s, port: %i", host.c_str(), port);
  std::shared_ptr<RunLoopSocket> socket = m_mainSocket;
  core::Error error;
  if (!socket->connectToHost(host, static_cast<uint16_t>(port), kConnectTimeout, &error)) {
    core::logLine("Fail to develop connection");
  }
}

void ClientNetworkCenter::retryConnectLastConnection() {
  // Dropped before connecting, so that a retry scheduled by a failure inside the attempt is kept.
  m_retryTimer.reset();
  connectToServerWithIp(m_lastConnectIp, m_lastConnectPort);
}

void ClientNetworkCenter::disconnectToServer() {
  std::shared_ptr<RunLoopSocket> socket = m_mainSocket;
  if (socket) socket->disconnect();
}

void ClientNetworkCenter::sentMsg(const std::string& text) {
  std::optional<std::string> frame = FrameCodec::encodeText(text);
  if (!frame) return;
  if (!m_mainSocket) {
    KT_LOG("no connection: message dropped");
    return;
  }
  m_mainSocket->writeData(*frame, kWriteTimeout, kTag);
}

void ClientNetworkCenter::sentMsg(int code, const std::vector<Text>& fields) {
  sentMsg(FrameCodec::terminatedBody(code, fields));
}

void ClientNetworkCenter::linkDidConnect(RunLoopSocket& socket) {
  if (!isCurrent(socket)) return;
  core::logLine("ClientNetworkCenter did connect to server");
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeSystemMessage, kBusClientConnected);
  if (!isCurrent(socket) || !socket.isConnected()) return;
  socket.readDataWithTimeout(kNoTimeout, kTag);
  m_isConnect.store(true);
  m_isStopRetry.store(false);
}

void ClientNetworkCenter::linkDidReadData(RunLoopSocket& socket, const std::string& data) {
  if (!isCurrent(socket)) return;
  const uint64_t attempt = m_attempt;
  m_receiveData.append(data);
  const FrameReassembler::Result end = m_receiveData.drain(
      [&](const std::string& text) {
        core::logFormat("clientNetWork have receive msg:%s", text.c_str());
        DataCenter::sharedInstance().forwardNoticeCode(kBusCodeTcpMessage, text);
        return m_attempt == attempt;
      },
      [&](int32_t length) {
        // The bytes shown are those of the chunk just read, which is what helps find the fault.
        core::logFormat("error wrong key again length: %i and data: %s", length,
                        core::Value::data(data).description().c_str());
      });
  if (end.status == FrameReassembler::Status::Frame) return;
  if (end.status == FrameReassembler::Status::NeedBody) core::logLine("数据接收不完整，等待内容");
  if (end.status == FrameReassembler::Status::Corrupt) {
    closeCorruptLink(socket, m_receiveData, end.length);
    return;
  }
  if (isCurrent(socket) && socket.isConnected()) socket.readDataWithTimeout(kNoTimeout, kTag);
}

void ClientNetworkCenter::linkDidDisconnect(RunLoopSocket& socket) {
  if (!isCurrent(socket)) return;
  const uint64_t attempt = m_attempt;
  core::logLine("ClientNetworkCenter did disconnect already");
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeSystemMessage, kBusClientDidDisconnect);
  // An observer that connected again at once owns the link now.
  if (m_attempt != attempt) return;
  if (m_mainSocket) core::RunLoop::current().releaseLater(std::move(m_mainSocket));
  m_mainSocket.reset();
  m_isConnect.store(false);
  if (!m_isStopRetry.load()) {
    cancelRetry();
    m_retryTimer = core::Timer::scheduled(kRetryDelay, false, [this](core::Timer&) { retryConnectLastConnection(); });
  }
}

}  // namespace kt
