#include "link/ServerNetworkCenter.h"

#include "app/DataCenter.h"
#include "link/ClientNetworkCenter.h"
#include "platform/core/LazyShared.h"
#include "platform/core/Log.h"
#include "platform/core/UserDefaults.h"
#include "platform/core/Value.h"

namespace kt {

ServerNetworkCenter& ServerNetworkCenter::sharedInstance() { return core::LazyShared<ServerNetworkCenter>::instance(); }

void ServerNetworkCenter::resetSharedInstanceForTesting() { core::LazyShared<ServerNetworkCenter>::reset(); }

ServerNetworkCenter::ServerNetworkCenter()
    : m_link({.name = "ServerNetworkCenter",
              .connectedNotice = kBusServerConnected,
              .disconnectedNotice = kBusServerDidDisconnect,
              .connectTimeout = 2.0},
             {}) {}

ServerNetworkCenter::~ServerNetworkCenter() = default;

void ServerNetworkCenter::initConnect() {
  ClientNetworkCenter& client = ClientNetworkCenter::sharedInstance();
  if (client.isConnect()) client.disconnectToServer();

  m_dataOffset = 0;
  core::UserDefaults& defaults = core::UserDefaults::standard();
  m_link.connect(defaults.stringForKey("Server_Ip"),
                 core::parseInt(defaults.stringForKey("Server_Port").value_or("")));
}

bool ServerNetworkCenter::getConnected() const { return m_link.isSocketConnected(); }

void ServerNetworkCenter::disconnectToServer() { m_link.disconnect(); }

void ServerNetworkCenter::sentMsg(const std::string& text) {
  core::logLine(text);
  m_link.sentMsg(text);
}

void ServerNetworkCenter::sentMsg(int code, const std::vector<Text>& fields) {
  sentMsg(FrameCodec::terminatedBody(code, fields));
}

void ServerNetworkCenter::sendMsg(int code, const std::vector<std::string>& fields) {
  sentMsg(FrameCodec::joinedBody(code, fields));
}

}  // namespace kt
