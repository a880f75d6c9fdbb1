#include "platform/core/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace core {
namespace {

// One converter per direction and thread: opening one is slow, so it is kept and reset per call.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_to(to), m_from(from) {}
  ~Converter() {
    if (m_cd != invalid()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts the whole input or fails; `estimate` is the expected output size per input byte.
  std::optional<std::string> convert(std::string_view input, size_t estimate) {
    if (m_cd == invalid()) {
      m_cd = iconv_open(m_to, m_from);
      if (m_cd == invalid()) return std::nullopt;
    }
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state

    std::string out;
    out.resize(estimate);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    size_t used = 0;
    bool flushing = false;  // after the input, one call without input ends any pending state
    for (;;) {
      char* outPtr = out.data() + used;
      size_t outLeft = out.size() - used;
      size_t r = flushing ? iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft)
                          : iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
      used = out.size() - outLeft;
      if (r == static_cast<size_t>(-1)) {
        if (errno != E2BIG) return std::nullopt;  // EILSEQ (invalid) or EINVAL (incomplete at the end)
        out.resize(out.size() * 2 + 16);
        continue;
      }
      if (r != 0) return std::nullopt;  // a non-reversible substitution is a guess: refuse it
      if (flushing) break;
      if (inLeft == 0) flushing = true;
    }
    out.resize(used);
    return out;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

  const char* m_to = nullptr;
  const char* m_from = nullptr;
  iconv_t m_cd = invalid();
};

Converter& decoder() {
  thread_local Converter c("UTF-8", "GB18030");
  return c;
}

Converter& encoder() {
  thread_local Converter c("GB18030", "UTF-8");
  return c;
}

// True when every byte is ASCII (ASCII is the same in UTF-8 and GB 18030).
bool isAscii(std::string_view s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < n; ++i) {
    if (p[i] & 0x80) return false;
  }
  return true;
}

inline bool isCont(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 when it is not one.
size_t sequenceLength(std::string_view s, size_t i) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t left = s.size() - i;
  const unsigned char b0 = p[i];
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) return (left >= 2 && isCont(p[i + 1])) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (left < 3) return 0;
    const unsigned char b1 = p[i + 1];
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;  // no overlongs
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
    return (b1 >= lo && b1 <= hi && isCont(p[i + 2])) ? 3 : 0;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (left < 4) return 0;
    const unsigned char b1 = p[i + 1];
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;  // no overlongs
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    return (b1 >= lo && b1 <= hi && isCont(p[i + 2]) && isCont(p[i + 3])) ? 4 : 0;
  }
  return 0;
}

// One character step for the UTF-16 helpers: bytes taken and UTF-16 units counted.
// An invalid byte is taken alone and counts one unit.
struct Step {
  size_t bytes;
  size_t units;
};

inline Step step(std::string_view s, size_t i) {
  if (static_cast<unsigned char>(s[i]) < 0x80) return {1, 1};
  size_t n = sequenceLength(s, i);
  if (n == 0) return {1, 1};
  return {n, n == 4 ? size_t{2} : size_t{1}};
}

// Byte offset of the first character boundary whose UTF-16 offset is >= units (round up),
// or, with roundDown, the last boundary whose offset is <= units.
size_t byteOffset(std::string_view s, size_t units, bool roundDown) {
  size_t i = 0;
  size_t u = 0;
  while (i < s.size() && u < units) {
    Step st = step(s, i);
    if (roundDown && u + st.units > units) break;
    i += st.bytes;
    u += st.units;
  }
  return i;
}

}  // namespace

std::optional<std::string> gb18030ToUtf8(std::string_view bytes) {
  if (isAscii(bytes)) return std::string(bytes);
  // Two-byte sequences grow to at most three bytes, four-byte ones stay at most four.
  return decoder().convert(bytes, bytes.size() + bytes.size() / 2 + 4);
}

std::optional<std::string> utf8ToGb18030(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  if (!isValidUtf8(utf8)) return std::nullopt;
  // Two-byte UTF-8 sequences may become four bytes.
  return encoder().convert(utf8, utf8.size() * 2 + 4);
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t len = sequenceLength(bytes, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

size_t utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    Step st = step(utf8, i);
    i += st.bytes;
    units += st.units;
  }
  return units;
}

std::string utf16Prefix(std::string_view utf8, size_t units) {
  return std::string(utf8.substr(0, byteOffset(utf8, units, true)));
}

std::string utf16Substring(std::string_view utf8, size_t start, size_t length) {
  const size_t begin = byteOffset(utf8, start, false);
  const size_t end = start + length < start ? utf8.size()  // overflow: to the end
                                            : byteOffset(utf8, start + length, true);
  if (end <= begin) return std::string();
  return std::string(utf8.substr(begin, end - begin));
}

}  // namespace core
