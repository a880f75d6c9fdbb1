#include "link/ClientNetworkCenter.h"

#include "app/DataCenter.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/LazyShared.h"
#include "platform/core/Log.h"
#include "platform/core/Timer.h"
#include "platform/core/Value.h"

namespace kt {
namespace {

constexpr double kRetryDelay = 1.0;

}  // namespace

ClientNetworkCenter& ClientNetworkCenter::sharedInstance() { return core::LazyShared<ClientNetworkCenter>::instance(); }

void ClientNetworkCenter::resetSharedInstanceForTesting() { core::LazyShared<ClientNetworkCenter>::reset(); }

ClientNetworkCenter::ClientNetworkCenter()
    : m_link({.name = "ClientNetworkCenter",
              .connectedNotice = kBusClientConnected,
              .disconnectedNotice = kBusClientDidDisconnect,
              .connectTimeout = 3.0},
             {.connected = [this] { m_isStopRetry.store(false); },
              .disconnected = [this] { didDisconnect(); },
              .frameReceived =
                  [](const std::string& text) { core::logFormat("clientNetWork have receive msg:%s", text.c_str()); },
              .badFrame =
                  [](int32_t length, const std::string& chunk) {
                    // The bytes shown are those of the chunk just read, which is what helps find the fault.
                    core::logFormat("error wrong key again length: %i and data: %s", length,
                                    core::Value::data(chunk).description().c_str());
                  },
              .waitingForBody = [] { core::logLine("数据接收不完整，等待内容"); }}) {}

ClientNetworkCenter::~ClientNetworkCenter() { cancelRetry(); }

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

  m_link.connect(host, port);
}

void ClientNetworkCenter::retryConnectLastConnection() {
  // Dropped before connecting, so that a retry scheduled by a failure inside the attempt is kept.
  m_retryTimer.reset();
  connectToServerWithIp(m_lastConnectIp, m_lastConnectPort);
}

void ClientNetworkCenter::disconnectToServer() { m_link.disconnect(); }

void ClientNetworkCenter::sentMsg(const std::string& text) { m_link.sentMsg(text); }

void ClientNetworkCenter::sentMsg(int code, const std::vector<Text>& fields) {
  sentMsg(FrameCodec::terminatedBody(code, fields));
}

void ClientNetworkCenter::didDisconnect() {
  m_link.releaseSocket();
  if (!m_isStopRetry.load()) {
    cancelRetry();
    m_retryTimer = core::Timer::scheduled(kRetryDelay, false, [this](core::Timer&) { retryConnectLastConnection(); });
  }
}

}  // namespace kt
