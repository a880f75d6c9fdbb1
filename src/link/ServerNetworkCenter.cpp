#include "link/ServerNetworkCenter.h"

#include "app/DataCenter.h"
#include "link/ClientNetworkCenter.h"
#include "link/LinkSocketDelegate.h"
#include "link/sockets/RunLoopSocket.h"
#include "platform/core/Error.h"
#include "platform/core/LazyShared.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/UserDefaults.h"
#include "platform/core/Value.h"

namespace kt {
namespace {

constexpr double kConnectTimeout = 2.0;
constexpr double kWriteTimeout = 5.0;
constexpr double kNoTimeout = -1;
constexpr long kTag = 0;

}  // namespace

ServerNetworkCenter& ServerNetworkCenter::sharedInstance() { return core::LazyShared<ServerNetworkCenter>::instance(); }

void ServerNetworkCenter::resetSharedInstanceForTesting() { core::LazyShared<ServerNetworkCenter>::reset(); }

ServerNetworkCenter::ServerNetworkCenter() : m_delegate(std::make_shared<LinkSocketDelegate>(static_cast<LinkSocketOwner*>(this))) {}

ServerNetworkCenter::~ServerNetworkCenter() {
  m_delegate->detach();
  if (m_mainSocket) {
    std::shared_ptr<RunLoopSocket> socket = std::move(m_mainSocket);
    socket->setDelegate(nullptr);
    socket->disconnect();
  }
}

void ServerNetworkCenter::initConnect() {
  ClientNetworkCenter& client = ClientNetworkCenter::sharedInstance();
  if (client.isConnect()) client.disconnectToServer();

  m_receiveData.clear();
  m_dataOffset = 0;
  ++m_attempt;

  if (m_mainSocket) {
    // The earlier socket must deliver nothing more: no data into the emptied buffer, and no
    // disconnection notice that would read as the failure of the new attempt.
    std::shared_ptr<RunLoopSocket> old = std::move(m_mainSocket);
    old->setDelegate(nullptr);
    old->disconnect();
    m_isConnect.store(false);
    // We may be inside one of its callbacks: let it go once control is back in the loop.
    core::RunLoop::current().releaseLater(std::move(old));
  }
  m_mainSocket = RunLoopSocket::create(m_delegate);

  core::UserDefaults& defaults = core::UserDefaults::standard();
  const std::optional<std::string> host = defaults.stringForKey("Server_Ip");
  const int32_t port = core::parseInt(defaults.stringForKey("Server_Port").value_or(""));
  core::logFormat("ServerNetworkCenter trying to connect server ip: %s, port: %i", host ? host->c_str() : "(null)",
                  port);

  std::shared_ptr<RunLoopSocket> socket = m_mainSocket;
  core::Error error;
  if (!socket->connectToHost(host.value_or(""), static_cast<uint16_t>(port), kConnectTimeout, &error)) {
    core::logLine("Fail to develop connection");
  }
}

bool ServerNetworkCenter::getConnected() const { return m_mainSocket && m_mainSocket->isConnected(); }

void ServerNetworkCenter::disconnectToServer() {
  // The disconnection callback may replace the socket: keep this one alive across the call.
  std::shared_ptr<RunLoopSocket> socket = m_mainSocket;
  if (socket) socket->disconnect();
}

void ServerNetworkCenter::sentMsg(const std::string& text) {
  core::logLine(text);
  std::optional<std::string> frame = FrameCodec::encodeText(text);
  if (!frame) return;
  if (!m_mainSocket) {
    KT_LOG("no connection: message dropped");
    return;
  }
  m_mainSocket->writeData(*frame, kWriteTimeout, kTag);
}

void ServerNetworkCenter::sentMsg(int code, const std::vector<Text>& fields) {
  sentMsg(FrameCodec::terminatedBody(code, fields));
}

void ServerNetworkCenter::sendMsg(int code, const std::vector<std::string>& fields) {
  sentMsg(FrameCodec::joinedBody(code, fields));
}

void ServerNetworkCenter::linkDidConnect(RunLoopSocket& socket) {
  if (!isCurrent(socket)) return;
  core::logLine("ServerNetworkCenter did connect to server");
  // Observers run while isConnect still reads NO; they may send, close or reconnect.
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeSystemMessage, kBusServerConnected);
  if (!isCurrent(socket) || !socket.isConnected()) return;
  socket.readDataWithTimeout(kNoTimeout, kTag);
  m_isConnect.store(true);
}

void ServerNetworkCenter::linkDidReadData(RunLoopSocket& socket, const std::string& data) {
  if (!isCurrent(socket)) return;
  const uint64_t attempt = m_attempt;
  m_receiveData.append(data);
  const FrameReassembler::Result end = m_receiveData.drain([&](const std::string& text) {
    DataCenter::sharedInstance().forwardNoticeCode(kBusCodeTcpMessage, text);
    // An observer started a new connection: what was buffered belonged to the old one.
    return m_attempt == attempt;
  });
  if (end.status == FrameReassembler::Status::Frame) return;
  if (end.status == FrameReassembler::Status::Corrupt) {
    closeCorruptLink(socket, m_receiveData, end.length);
    return;
  }
  if (isCurrent(socket) && socket.isConnected()) socket.readDataWithTimeout(kNoTimeout, kTag);
}

void ServerNetworkCenter::linkDidDisconnect(RunLoopSocket& socket) {
  if (!isCurrent(socket)) return;
  const uint64_t attempt = m_attempt;
  core::logLine("ServerNetworkCenter did disconnect already");
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeSystemMessage, kBusServerDidDisconnect);
  // An observer that reconnected at once has already reset the flag for its new attempt.
  if (m_attempt == attempt) m_isConnect.store(false);
}

}  // namespace kt
