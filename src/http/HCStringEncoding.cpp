#include "http/HCStringEncoding.h"

#include "platform/core/TextEncoding.h"

namespace kt {

std::optional<std::string> encodeString(std::string_view utf8, uint64_t encoding) {
  switch (encoding) {
    case HCStringEncodingUTF8:
      if (!core::isValidUtf8(utf8)) return std::nullopt;
      return std::string(utf8);
    case HCStringEncodingASCII:
      for (char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
      }
      return std::string(utf8);
    case HCStringEncodingISOLatin1: {
      if (!core::isValidUtf8(utf8)) return std::nullopt;
      std::string out;
      for (size_t i = 0; i < utf8.size(); ++i) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
          out += static_cast<char>(b);
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size()) {
          // Two-byte sequences for U+0080..U+00FF.
          out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
          return std::nullopt;
        }
      }
      return out;
    }
    case HCStringEncodingGB18030:
      return core::utf8ToGb18030(utf8);
    default:
      return std::nullopt;
  }
}

}  // namespace kt
