#include "soap/Base64Codec.h"

namespace kt {

const Base64Codec::Charset Base64Codec::kStandardCharset{};
const Base64Codec::Charset Base64Codec::kWebSafeCharset{};
const Base64Codec::DecodeTable Base64Codec::kStandardDecodeTable{};
const Base64Codec::DecodeTable Base64Codec::kWebSafeDecodeTable{};

size_t Base64Codec::encodedLength(size_t, bool) { return 0; }
size_t Base64Codec::decodedCapacity(size_t) { return 0; }
std::optional<std::string> Base64Codec::baseEncode(const void*, size_t, const Charset&, bool) { return std::nullopt; }
std::optional<std::string> Base64Codec::baseDecode(const void*, size_t, const DecodeTable&, bool) {
  return std::nullopt;
}
size_t Base64Codec::baseEncode(const void*, size_t, char*, size_t, const Charset&, bool) { return 0; }
size_t Base64Codec::baseDecode(const void*, size_t, uint8_t*, size_t, const DecodeTable&, bool) { return 0; }
std::optional<std::string> Base64Codec::encodeData(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::decodeData(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::encodeBytes(const void*, size_t) { return std::nullopt; }
std::optional<std::string> Base64Codec::decodeBytes(const void*, size_t) { return std::nullopt; }
std::optional<std::string> Base64Codec::stringByEncodingData(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::stringByEncodingBytes(const void*, size_t) { return std::nullopt; }
std::optional<std::string> Base64Codec::decodeString(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::webSafeEncodeData(std::string_view, bool) { return std::nullopt; }
std::optional<std::string> Base64Codec::webSafeDecodeData(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::webSafeEncodeBytes(const void*, size_t, bool) { return std::nullopt; }
std::optional<std::string> Base64Codec::webSafeDecodeBytes(const void*, size_t) { return std::nullopt; }
std::optional<std::string> Base64Codec::stringByWebSafeEncodingData(std::string_view, bool) { return std::nullopt; }
std::optional<std::string> Base64Codec::stringByWebSafeEncodingBytes(const void*, size_t, bool) {
  return std::nullopt;
}
std::optional<std::string> Base64Codec::webSafeDecodeString(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::encodeBase64String(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::decodeBase64String(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::encodeBase64Data(std::string_view) { return std::nullopt; }
std::optional<std::string> Base64Codec::decodeBase64Data(std::string_view) { return std::nullopt; }

}  // namespace kt
