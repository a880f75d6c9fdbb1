#pragma once

#include <string>

#include "link/FrameCodec.h"
#include "link/sockets/RunLoopSocket.h"

namespace kt {

// What a framed link hears from its socket.
class LinkSocketOwner {
 public:
  virtual void linkDidConnect(RunLoopSocket& socket) = 0;
  virtual void linkDidReadData(RunLoopSocket& socket, const std::string& data) = 0;
  virtual void linkDidDisconnect(RunLoopSocket& socket) = 0;

 protected:
  ~LinkSocketOwner() = default;
};

// The socket holds its delegate strongly; this small object forwards to the link that owns it
// and is cut off from it when the link goes away.
class LinkSocketDelegate final : public RunLoopSocketDelegate {
 public:
  explicit LinkSocketDelegate(LinkSocketOwner* owner) : m_owner(owner) {}
  void detach() { m_owner = nullptr; }

  void onSocketDidConnectToHost(RunLoopSocket& socket, const std::string&, uint16_t) override {
    if (m_owner) m_owner->linkDidConnect(socket);
  }
  void onSocketDidReadData(RunLoopSocket& socket, const std::string& data, long) override {
    if (m_owner) m_owner->linkDidReadData(socket, data);
  }
  void onSocketDidDisconnect(RunLoopSocket& socket) override {
    if (m_owner) m_owner->linkDidDisconnect(socket);
  }

 private:
  LinkSocketOwner* m_owner = nullptr;
};

// Nothing marks where a frame starts but its length prefix: after a corrupt prefix the stream
// cannot be followed any further. Start clean: drop what is buffered and the connection with it.
void closeCorruptLink(RunLoopSocket& socket, FrameReassembler& buffer, int prefixLength);

}  // namespace kt
