#include "link/sockets/SocketPackets.h"

namespace kt {

SocketReadPacket::SocketReadPacket(std::shared_ptr<std::string> callerBuffer, uint64_t offset, uint64_t maximum,
                                   double seconds, uint64_t length, std::optional<std::string> terminator, long t)
    : SocketIOPacket(seconds, t), readLength(length), maxLength(maximum), term(std::move(terminator)) {
  if (callerBuffer) {
    buffer = std::move(callerBuffer);
    startOffset = offset;
    originalBufferLength = buffer->size();
    bufferOwner = false;
  } else {
    buffer = std::make_shared<std::string>();
    startOffset = 0;
    originalBufferLength = 0;
    bufferOwner = true;
  }
}

}  // namespace kt
