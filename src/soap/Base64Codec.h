#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kt {

// A general Base64 codec with the standard and the URL-safe ("web-safe": "-" and "_") alphabets,
// optional padding and strict reading: "=" ends the data, the padding must be complete where it
// is required, and the bits left over in the last character must be zero. Encoding empty input
// gives nullopt (or 0), as does every failure. Bytes travel in std::string.
class Base64Codec {
 public:
  using Charset = std::array<char, 64>;
  // Indexed by the unsigned byte value: the byte's position in the alphabet, or kInvalid.
  using DecodeTable = std::array<uint8_t, 256>;
  static constexpr uint8_t kInvalid = 99;

  static const Charset kStandardCharset;
  static const Charset kWebSafeCharset;
  static const DecodeTable kStandardDecodeTable;
  static const DecodeTable kWebSafeDecodeTable;

  // Encoded length of `length` bytes: without padding floor((8n + 5) / 6), with padding that
  // rounded up to a multiple of 4.
  static size_t encodedLength(size_t length, bool padded);
  // Room needed to decode `length` characters: ((n + 3) / 4) * 3.
  static size_t decodedCapacity(size_t length);

  static std::optional<std::string> baseEncode(const void* bytes, size_t length, const Charset& charset, bool padded);
  static std::optional<std::string> baseDecode(const void* characters, size_t length, const DecodeTable& charset,
                                               bool requirePadding);
  // The same into a caller's buffer: the number of characters or bytes written, 0 on failure,
  // including a destination too small for the result.
  static size_t baseEncode(const void* srcBytes, size_t srcLen, char* destBytes, size_t destLen,
                           const Charset& charset, bool padded);
  static size_t baseDecode(const void* srcBytes, size_t srcLen, uint8_t* destBytes, size_t destLen,
                           const DecodeTable& charset, bool requirePadding);

  // Standard alphabet, padded when writing, padding required when reading.
  static std::optional<std::string> encodeData(std::string_view data);
  static std::optional<std::string> decodeData(std::string_view data);
  static std::optional<std::string> encodeBytes(const void* bytes, size_t length);
  static std::optional<std::string> decodeBytes(const void* bytes, size_t length);
  static std::optional<std::string> stringByEncodingData(std::string_view data);
  static std::optional<std::string> stringByEncodingBytes(const void* bytes, size_t length);
  // nullopt as well for text that is not ASCII.
  static std::optional<std::string> decodeString(std::string_view text);

  // Web-safe alphabet, padded as asked when writing, padding optional when reading.
  static std::optional<std::string> webSafeEncodeData(std::string_view data, bool padded);
  static std::optional<std::string> webSafeDecodeData(std::string_view data);
  static std::optional<std::string> webSafeEncodeBytes(const void* bytes, size_t length, bool padded);
  static std::optional<std::string> webSafeDecodeBytes(const void* bytes, size_t length);
  static std::optional<std::string> stringByWebSafeEncodingData(std::string_view data, bool padded);
  static std::optional<std::string> stringByWebSafeEncodingBytes(const void* bytes, size_t length, bool padded);
  static std::optional<std::string> webSafeDecodeString(std::string_view text);

  // Text in UTF-8: the text's bytes encoded; the decoded bytes read as UTF-8 (nullopt when the
  // decoding fails or the bytes are not valid UTF-8). Standard alphabet, padded.
  static std::optional<std::string> encodeBase64String(std::string_view text);
  static std::optional<std::string> decodeBase64String(std::string_view text);
  static std::optional<std::string> encodeBase64Data(std::string_view data);
  static std::optional<std::string> decodeBase64Data(std::string_view data);
};

}  // namespace kt
