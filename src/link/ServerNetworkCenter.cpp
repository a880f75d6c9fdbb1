#include "link/ServerNetworkCenter.h"

#include "app/DataCenter.h"
#include "link/ClientNetworkCenter.h"
#include "link/MsgCodes.h"
#include "link/RoomRequests.h"
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
  m_link.connect(defaults.stringForKey("Server_Ip"), core::parseInt(defaults.stringForKey("Server_Port").value_or("")),
                 "Server_Port");
}

bool ServerNetworkCenter::getConnected() const { return m_link.isSocketConnected(); }

void ServerNetworkCenter::disconnectToServer() { m_link.disconnect(); }

void ServerNetworkCenter::sentMsg(const std::string& text) { write(text, RoomRequests::bodyForLog(text)); }

void ServerNetworkCenter::sentMsg(int code, const std::vector<Text>& fields) {
  std::string body = FrameCodec::terminatedBody(code, fields);
  std::string shown = code == MsgConfirmInputFood
                          ? FrameCodec::terminatedBody(code, RoomRequests::fieldsForLog(code, fields))
                          : body;
  write(body, shown);
}

void ServerNetworkCenter::sendMsg(int code, const std::vector<std::string>& fields) {
  std::string body = FrameCodec::joinedBody(code, fields);
  std::string shown =
      code == MsgConfirmInputFood ? FrameCodec::joinedBody(code, RoomRequests::fieldsForLog(code, fields)) : body;
  write(body, shown);
}

void ServerNetworkCenter::write(const std::string& body, const std::string& shown) {
  // The log holds no secret: the order password reads "****" there, while the frame carries it.
  core::logLine(shown);
  m_link.sentMsg(body);
}

}  // namespace kt
