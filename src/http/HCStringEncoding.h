#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kt {

// The text encodings the serializers write, numbered as the platform numbered them.
enum HCStringEncoding : uint64_t {
  HCStringEncodingASCII = 1,
  HCStringEncodingUTF8 = 4,
  HCStringEncodingISOLatin1 = 5,
  HCStringEncodingGB18030 = 0x80000632,
};

// UTF-8 text in the encoding; nothing when it cannot be written there without loss (or the
// encoding is unknown).
std::optional<std::string> encodeString(std::string_view utf8, uint64_t encoding);

}  // namespace kt
