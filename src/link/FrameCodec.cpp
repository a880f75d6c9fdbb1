#include "link/FrameCodec.h"

#include <array>
#include <cstdio>

#include "platform/core/Log.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Value.h"

namespace kt {
namespace {

constexpr std::array<uint8_t, 256> makeCrcTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint8_t crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : static_cast<uint8_t>(crc >> 1);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrcTable = makeCrcTable();

// Compacting once the consumed part is at least this large and at least half the buffer keeps
// the total copying linear in the bytes received.
constexpr size_t kCompactThreshold = 4096;

}  // namespace

uint8_t FrameCodec::crc8(const void* bytes, int32_t length) {
  if (!bytes || length < 1) return 0;
  const auto* p = static_cast<const uint8_t*>(bytes);
  uint8_t crc = 0;
  for (int32_t i = 0; i < length; ++i) crc = kCrcTable[crc ^ p[i]];
  return crc;
}

uint8_t FrameCodec::crc8(std::string_view bytes) {
  uint8_t crc = 0;
  for (unsigned char c : bytes) crc = kCrcTable[crc ^ c];
  return crc;
}

namespace {

// Completes a frame whose body follows six bytes kept for its length: the length digits, then the
// CRC of digits and body.
void sealFrame(std::string& frame) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06d", static_cast<int>(frame.size() + 1));
  frame.replace(0, FrameCodec::kPrefixLength, digits, FrameCodec::kPrefixLength);
  frame.push_back(static_cast<char>(FrameCodec::crc8(frame)));
}

}  // namespace

std::optional<std::string> FrameCodec::encodeBody(std::string_view body) {
  if (body.size() > kMaxBodyLength) return std::nullopt;
  std::string frame;
  frame.reserve(body.size() + kMinFrameLength);
  frame.append(kPrefixLength, '0');
  frame.append(body);
  sealFrame(frame);
  return frame;
}

std::optional<std::string> FrameCodec::encodeText(std::string_view text) {
  // The body is encoded in place behind the length, so a long message is not copied again.
  std::string frame(kPrefixLength, '0');
  if (!core::appendGb18030(frame, text)) {
    KT_LOG("refused a message that is not UTF-8 text");
    return std::nullopt;
  }
  const size_t bodyLength = frame.size() - kPrefixLength;
  if (bodyLength > kMaxBodyLength) {
    KT_LOG("refused a message of %zu bytes: a frame holds at most %zu", bodyLength, kMaxBodyLength);
    return std::nullopt;
  }
  sealFrame(frame);
  return frame;
}

bool FrameCodec::isValidFrame(std::string_view frame) {
  if (frame.empty()) return false;
  const uint8_t last = static_cast<uint8_t>(frame.back());
  return crc8(frame.substr(0, frame.size() - 1)) == last;
}

std::string FrameCodec::terminatedBody(int code, const std::vector<Text>& fields) {
  std::string body = "\r\n" + std::to_string(code) + "\r\n";
  for (const Text& field : fields) {
    if (!field) break;  // an unset field ends the list
    body += *field;
    body += "\r\n";
  }
  return body;
}

std::string FrameCodec::joinedBody(int code, const std::vector<std::string>& fields) {
  std::string body = "\r\n" + std::to_string(code) + "\r\n";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) body += "\r\n";
    body += fields[i];
  }
  return body;
}

void FrameReassembler::append(std::string_view chunk) {
  if (m_offset == m_buffer.size()) {
    m_buffer.clear();
    m_offset = 0;
  } else if (m_offset >= kCompactThreshold && m_offset * 2 >= m_buffer.size()) {
    m_buffer.erase(0, m_offset);
    m_offset = 0;
  }
  m_buffer.append(chunk);
}

int32_t FrameReassembler::readPrefix(std::string_view prefix) {
  // The usual prefix: six digits.
  int32_t length = 0;
  for (char c : prefix) {
    if (c < '0' || c > '9') {
      // Otherwise it is read as text: leading blanks and a sign are taken, digits up to the first
      // other character; anything that is not text gives 0.
      return core::isValidUtf8(prefix) ? core::parseInt(prefix) : 0;
    }
    length = length * 10 + (c - '0');
  }
  return length;
}

FrameReassembler::Result FrameReassembler::next() {
  Result result;
  const size_t available = buffered();
  if (available < FrameCodec::kPrefixLength) {
    result.status = Status::NeedPrefix;
    return result;
  }
  // Read once per frame: a frame fed byte by byte asks again for every byte.
  if (!m_announced) m_announced = readPrefix(std::string_view(m_buffer.data() + m_offset, FrameCodec::kPrefixLength));
  const int32_t length = *m_announced;
  result.length = length;
  if (length < static_cast<int32_t>(FrameCodec::kMinFrameLength)) {
    result.status = Status::Corrupt;
    return result;
  }
  if (static_cast<size_t>(length) > available) {
    result.status = Status::NeedBody;
    return result;
  }
  result.status = Status::Frame;
  result.frame = std::string_view(m_buffer.data() + m_offset, static_cast<size_t>(length));
  m_offset += static_cast<size_t>(length);
  m_announced.reset();
  return result;
}

FrameReassembler::Result FrameReassembler::drain(const std::function<bool(const std::string&)>& onText,
                                                 const std::function<void(int32_t)>& onBadFrame) {
  for (;;) {
    Result cut = next();
    if (cut.status != Status::Frame) return cut;
    if (!FrameCodec::isValidFrame(cut.frame)) {
      if (onBadFrame) onBadFrame(cut.length);
      continue;
    }
    std::optional<std::string> text = core::gb18030ToUtf8(cut.frame.substr(0, cut.frame.size() - 1));
    if (!text) continue;
    if (!onText(*text)) return cut;
  }
}

void FrameReassembler::clear() {
  m_buffer.clear();
  m_offset = 0;
  m_announced.reset();
}

}  // namespace kt
