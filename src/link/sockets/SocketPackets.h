#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace kt {

// What waits in a RunLoopSocket's read or write queue.
class SocketPacket {
 public:
  virtual ~SocketPacket() = default;
};

// What reads and writes have in common: the time-out (extended by the delegate), the
// caller's tag and the progress.
class SocketIOPacket : public SocketPacket {
 public:
  SocketIOPacket(double seconds, long t) : timeout(seconds), tag(t) {}

  double timeout = -1;
  long tag = 0;
  uint64_t bytesDone = 0;
};

// One read request. Its kind follows from the fields: a terminator makes a terminator read,
// else a readLength above 0 a fixed-length read, else a read of whatever is available.
class SocketReadPacket : public SocketIOPacket {
 public:
  // With a caller's buffer the packet holds it, starts at the offset and records its length;
  // without one it makes its own empty buffer.
  SocketReadPacket(std::shared_ptr<std::string> buffer, uint64_t startOffset, uint64_t maxLength, double timeout,
                   uint64_t readLength, std::optional<std::string> terminator, long tag);

  std::shared_ptr<std::string> buffer;
  uint64_t startOffset = 0;
  bool bufferOwner = false;
  uint64_t originalBufferLength = 0;
  uint64_t readLength = 0;
  uint64_t maxLength = 0;
  std::optional<std::string> term;
};

class SocketWritePacket : public SocketIOPacket {
 public:
  SocketWritePacket(std::string data, double timeout, long tag)
      : SocketIOPacket(timeout, tag), buffer(std::move(data)) {}

  std::string buffer;
};

// The TLS marker: the same packet is queued on both sides.
class SocketSpecialPacket : public SocketPacket {
 public:
  explicit SocketSpecialPacket(core::Value settings) : tlsSettings(std::move(settings)) {}

  core::Value tlsSettings;
};

}  // namespace kt
