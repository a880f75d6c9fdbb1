#include "venue/FrameCodec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace venue {

namespace {

std::optional<std::string> convert(const char* to, const char* from, std::string_view input) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.resize(input.size() * 4 + 16);
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  bool ok = true;
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) {
      std::size_t used = out.size() - outLeft;
      out.resize(out.size() * 2);
      outPtr = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    ok = false;  // EILSEQ or EINVAL (a truncated sequence at the end)
    break;
  }
  if (ok) {
    // Flush any shift state (none for these encodings, but harmless).
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) ok = false;
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::vector<std::string_view> splitCrlf(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = text.find("\r\n", start);
    if (pos == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, pos - start));
    start = pos + 2;
  }
}

}  // namespace

std::uint8_t crc8(std::string_view bytes, std::uint8_t initial) {
  std::uint8_t crc = initial;
  for (char c : bytes) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<std::uint8_t>((crc >> 1) ^ 0x8C) : static_cast<std::uint8_t>(crc >> 1);
  }
  return crc;
}

std::optional<std::string> utf8ToGb18030(std::string_view utf8) { return convert("GB18030", "UTF-8", utf8); }

std::optional<std::string> gb18030ToUtf8(std::string_view gb) { return convert("UTF-8", "GB18030", gb); }

std::string encodeFrameWithPrefix(std::string_view prefix, std::string_view body) {
  std::string frame;
  frame.reserve(prefix.size() + body.size() + 1);
  frame.append(prefix);
  frame.append(body);
  frame.push_back(static_cast<char>(crc8(frame)));
  return frame;
}

std::string encodeFrame(std::string_view body) {
  std::size_t total = kPrefixSize + body.size() + 1;
  if (total > kMaxFrameSize) return encodeFrameWithPrefix("######", body);
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%06zu", total);
  return encodeFrameWithPrefix(prefix, body);
}

std::string buildBody(int code, const std::vector<std::string>& fields, FieldForm form) {
  std::string body = "\r\n" + std::to_string(code) + "\r\n";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::optional<std::string> gb = utf8ToGb18030(fields[i]);
    body += gb ? *gb : fields[i];
    if (form == FieldForm::Terminated || i + 1 < fields.size()) body += "\r\n";
  }
  return body;
}

std::string buildFrame(int code, const std::vector<std::string>& fields, FieldForm form) {
  return encodeFrame(buildBody(code, fields, form));
}

std::string withBadCrc(std::string frame) {
  if (!frame.empty()) frame.back() = static_cast<char>(static_cast<std::uint8_t>(frame.back()) ^ 0x5A);
  return frame;
}

std::string invalidGb18030() { return std::string("\x81\x20\xFF", 3); }

std::optional<Frame> decodeFrame(std::string_view bytes) {
  if (bytes.size() < kMinFrameSize) return std::nullopt;
  std::string_view prefix = bytes.substr(0, kPrefixSize);
  if (!allDigits(prefix) || std::stoul(std::string(prefix)) != bytes.size()) return std::nullopt;

  Frame frame;
  frame.raw = std::string(bytes);
  frame.body = std::string(bytes.substr(kPrefixSize, bytes.size() - kPrefixSize - 1));
  frame.crcOk = crc8(bytes.substr(0, bytes.size() - 1)) == static_cast<std::uint8_t>(bytes.back());

  // CR and LF never occur inside a GB 18030 multi-byte sequence, so the raw bytes can be split
  // first and each piece decoded on its own.
  frame.textOk = true;
  std::string_view text = bytes.substr(0, bytes.size() - 1);
  for (std::string_view piece : splitCrlf(text)) {
    std::optional<std::string> utf8 = gb18030ToUtf8(piece);
    if (!utf8) frame.textOk = false;
    frame.parts.push_back(utf8 ? *utf8 : std::string(piece));
  }
  if (frame.parts.size() >= 2 && allDigits(frame.parts[1]) && frame.parts[1].size() <= 9)
    frame.code = std::stoi(frame.parts[1]);
  frame.finalCrlf = frame.body.size() >= 2 && frame.body.compare(frame.body.size() - 2, 2, "\r\n") == 0;
  if (frame.parts.size() > 2) {
    std::size_t end = frame.parts.size() - (frame.finalCrlf ? 1 : 0);
    frame.fields.assign(frame.parts.begin() + 2, frame.parts.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return frame;
}

void FrameDecoder::feed(std::string_view bytes) {
  if (m_failed) return;
  // Drop what has been consumed before growing, so a long stream does not accumulate.
  if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
    m_buffer.erase(0, m_offset);
    m_offset = 0;
  }
  m_buffer.append(bytes);
}

bool FrameDecoder::checkPrefix() {
  std::size_t have = std::min(buffered(), kPrefixSize);
  for (std::size_t i = 0; i < have; ++i) {
    char c = m_buffer[m_offset + i];
    if (c < '0' || c > '9') {
      m_failed = true;
      m_error = "length prefix is not six decimal digits: \"" + m_buffer.substr(m_offset, have) + "\"";
      return false;
    }
  }
  if (have == kPrefixSize) {
    std::size_t length = std::stoul(m_buffer.substr(m_offset, kPrefixSize));
    if (length < kMinFrameSize) {
      m_failed = true;
      m_error = "length prefix gives " + std::to_string(length) + ", below the smallest frame";
      return false;
    }
  }
  return true;
}

std::optional<Frame> FrameDecoder::next() {
  if (m_failed) return std::nullopt;
  if (!checkPrefix()) {
    m_buffer.clear();
    m_offset = 0;
    return std::nullopt;
  }
  if (buffered() < kPrefixSize) return std::nullopt;
  std::size_t length = std::stoul(m_buffer.substr(m_offset, kPrefixSize));
  if (buffered() < length) return std::nullopt;
  std::optional<Frame> frame = decodeFrame(std::string_view(m_buffer).substr(m_offset, length));
  m_offset += length;
  if (m_offset == m_buffer.size()) {
    m_buffer.clear();
    m_offset = 0;
  }
  return frame;
}

}  // namespace venue
