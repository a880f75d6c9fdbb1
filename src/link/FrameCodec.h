#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RecordField.h"

namespace kt {

// The frame of the room-server protocol, the same in both directions and on both links:
//
//   six ASCII digits L (the whole frame length, zero-padded) | body (GB 18030) | CRC-8
//
// The CRC covers the digits and the body. The body text starts with CR LF, then the message
// code in decimal, CR LF, then the fields.
class FrameCodec {
 public:
  static constexpr size_t kPrefixLength = 6;
  static constexpr size_t kMinFrameLength = kPrefixLength + 1;
  // The largest length six digits can state.
  static constexpr size_t kMaxFrameLength = 999999;
  static constexpr size_t kMaxBodyLength = kMaxFrameLength - kMinFrameLength;

  // CRC-8, polynomial 0x31 taken least significant bit first (0x8C), initial 0, no final XOR.
  // A length below 1 gives 0.
  static uint8_t crc8(const void* bytes, int32_t length);
  static uint8_t crc8(std::string_view bytes);

  // Frames raw body bytes: "%06d" length, body, CRC. nullopt when the frame would be longer
  // than six digits can state.
  static std::optional<std::string> encodeBody(std::string_view body);
  // Frames a UTF-8 text as it stands (encoded in GB 18030). nullopt, logged, when the text is not
  // valid UTF-8 or the frame would be too long.
  static std::optional<std::string> encodeText(std::string_view text);

  // True when the last byte is the CRC of all the bytes before it. An empty input is not a frame.
  static bool isValidFrame(std::string_view frame);

  // Body text "\r\n<code>\r\n" then every field followed by "\r\n", up to the first unset field.
  static std::string terminatedBody(int code, const std::vector<Text>& fields);
  // Body text "\r\n<code>\r\n" then the fields joined by "\r\n", nothing after the last one.
  static std::string joinedBody(int code, const std::vector<std::string>& fields);
};

// Cuts a received byte stream into frames, in any split: feed each chunk with append(), then
// call next() until it asks for more. Linear in the bytes received: consumed bytes are skipped
// by an offset and the buffer is compacted only once the consumed part dominates it.
class FrameReassembler {
 public:
  enum class Status {
    NeedPrefix,  // fewer than six bytes buffered
    NeedBody,    // the announced length is more than is buffered; `length` says how much
    Frame,       // `frame` holds one whole frame (CRC not yet checked), already consumed
    Corrupt,     // the prefix cannot frame anything (below 7, not a number); nothing consumed
  };
  struct Result {
    Status status = Status::NeedPrefix;
    // The announced length (NeedBody, Frame, Corrupt).
    int32_t length = 0;
    // Valid until the next append() or clear().
    std::string_view frame;
  };

  void append(std::string_view chunk);
  Result next();
  void clear();

  // Cuts every whole frame buffered and hands the text of each valid one (decoded from GB 18030)
  // to onText, which returns false to stop. A frame whose CRC is wrong goes to onBadFrame (when
  // set) with its length; one that does not decode is skipped. Returns what ended the loop:
  // NeedPrefix or NeedBody (wait for more), Corrupt (nothing consumed; the caller drops the
  // stream), or Frame when onText stopped it.
  Result drain(const std::function<bool(const std::string& text)>& onText,
               const std::function<void(int32_t length)>& onBadFrame = nullptr);

  size_t buffered() const { return m_buffer.size() - m_offset; }

 private:
  // The length a frame's six-byte prefix announces.
  static int32_t readPrefix(std::string_view prefix);

  std::string m_buffer;
  size_t m_offset = 0;
  // The length announced by the prefix at m_offset, once read.
  std::optional<int32_t> m_announced;
};

}  // namespace kt
