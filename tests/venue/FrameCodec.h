#pragma once

// The room server's framing, written for the stand-in venue on its own (it shares nothing with
// the client's code, so the two can check each other).
//
// A frame is: six ASCII decimal digits giving the whole frame length L ("%06d"), the body
// (text in GB 18030), and one CRC-8 byte computed over everything before it. The body text
// starts with CR LF, then the message code in decimal, CR LF, then the fields, each usually
// followed by CR LF (some requests leave the last one off).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace venue {

inline constexpr std::size_t kPrefixSize = 6;
inline constexpr std::size_t kMinFrameSize = kPrefixSize + 1;
inline constexpr std::size_t kMaxFrameSize = 999999;

// CRC-8, polynomial 0x31 processed least significant bit first (0x8C), initial 0, no final XOR.
std::uint8_t crc8(std::string_view bytes, std::uint8_t initial = 0);

// GB 18030 <-> UTF-8 through iconv. std::nullopt when the input is not valid in its encoding.
std::optional<std::string> utf8ToGb18030(std::string_view utf8);
std::optional<std::string> gb18030ToUtf8(std::string_view gb);

// How the fields of a built body end.
enum class FieldForm {
  Terminated,  // every field followed by CR LF
  Joined,      // fields joined by CR LF, no CR LF after the last one
};

// A decoded frame.
struct Frame {
  std::string raw;                 // the exact bytes: prefix, body, CRC
  std::string body;                // the body bytes as sent (GB 18030)
  bool crcOk = false;              // the last byte matches the CRC of the others
  bool textOk = false;             // the body is valid GB 18030
  std::vector<std::string> parts;  // prefix + body split on CR LF; UTF-8 (raw bytes where undecodable)
  std::optional<int> code;         // parts[1] when it is a decimal number
  std::vector<std::string> fields; // parts[2..], without the empty piece after a final CR LF
  bool finalCrlf = false;          // the body ends with CR LF
  std::size_t connection = 0;      // which accepted connection it came on (set by the server)

  // Field i, or "" when there is none (handy in reply handlers).
  std::string field(std::size_t i) const { return i < fields.size() ? fields[i] : std::string(); }
};

// Wraps raw body bytes into a frame: length prefix, body, CRC. Bodies longer than the format
// allows are returned framed anyway with a prefix that cannot be parsed ("######"), which no
// correct reader accepts.
std::string encodeFrame(std::string_view body);

// A frame with the given prefix text instead of the computed length (for broken-prefix cases);
// the CRC is still computed over prefix and body.
std::string encodeFrameWithPrefix(std::string_view prefix, std::string_view body);

// Body text for a code and UTF-8 fields: "\r\n<code>\r\n" then the fields in the given form,
// encoded in GB 18030. A field that is not valid UTF-8 is copied byte for byte, so a test can
// put arbitrary bytes in a frame.
std::string buildBody(int code, const std::vector<std::string>& fields,
                      FieldForm form = FieldForm::Terminated);

// encodeFrame(buildBody(...)).
std::string buildFrame(int code, const std::vector<std::string>& fields,
                       FieldForm form = FieldForm::Terminated);

// The frame with its CRC byte changed so that it no longer matches.
std::string withBadCrc(std::string frame);

// Bytes that are not valid GB 18030 (a two-byte lead followed by a byte no sequence allows).
std::string invalidGb18030();

// Parses one complete frame (exactly its L bytes). std::nullopt when the prefix is not six
// digits giving this very size.
std::optional<Frame> decodeFrame(std::string_view bytes);

// Incremental reassembly of a byte stream into frames: feed bytes as they arrive (in any
// split), take frames with next(). A prefix that is not six digits, or gives a length below 7,
// leaves the stream without framing: the decoder fails and discards everything afterwards.
class FrameDecoder {
 public:
  void feed(std::string_view bytes);
  std::optional<Frame> next();

  bool failed() const { return m_failed; }
  const std::string& error() const { return m_error; }
  std::size_t buffered() const { return m_buffer.size() - m_offset; }

 private:
  bool checkPrefix();

  std::string m_buffer;
  std::size_t m_offset = 0;
  bool m_failed = false;
  std::string m_error;
};

}  // namespace venue
