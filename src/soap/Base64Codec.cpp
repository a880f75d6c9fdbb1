#include "soap/Base64Codec.h"

#include "platform/core/TextEncoding.h"

namespace kt {
namespace {

constexpr Base64Codec::Charset charsetOf(const char (&letters)[65]) {
  Base64Codec::Charset charset{};
  for (size_t i = 0; i < 64; ++i) charset[i] = letters[i];
  return charset;
}

constexpr Base64Codec::DecodeTable decodeTableOf(const Base64Codec::Charset& charset) {
  Base64Codec::DecodeTable table{};
  table.fill(Base64Codec::kInvalid);
  for (size_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(charset[i])] = static_cast<uint8_t>(i);
  return table;
}

constexpr Base64Codec::Charset kStandard =
    charsetOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
constexpr Base64Codec::Charset kWebSafe =
    charsetOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");

constexpr char kPad = '=';

// Skipped while decoding: tab to carriage return, space, and the Latin-1 no-break space and ÿ.
bool isSpace(uint8_t c) { return (c >= 9 && c <= 13) || c == 32 || c == 160 || c == 255; }

bool isAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

std::optional<std::string> utf8Text(std::optional<std::string> bytes) {
  if (!bytes || !core::isValidUtf8(*bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

constinit const Base64Codec::Charset Base64Codec::kStandardCharset = kStandard;
constinit const Base64Codec::Charset Base64Codec::kWebSafeCharset = kWebSafe;
constinit const Base64Codec::DecodeTable Base64Codec::kStandardDecodeTable = decodeTableOf(kStandard);
constinit const Base64Codec::DecodeTable Base64Codec::kWebSafeDecodeTable = decodeTableOf(kWebSafe);

size_t Base64Codec::encodedLength(size_t length, bool padded) {
  const size_t rest = length % 3;
  return length / 3 * 4 + (rest == 0 ? 0 : padded ? 4 : rest + 1);
}

size_t Base64Codec::decodedCapacity(size_t length) { return length / 4 * 3 + (length % 4 == 0 ? 0 : 3); }

std::optional<std::string> Base64Codec::baseEncode(const void* bytes, size_t length, const Charset& charset,
                                                   bool padded) {
  std::string out(encodedLength(length, padded), '\0');
  const size_t written = baseEncode(bytes, length, out.data(), out.size(), charset, padded);
  if (written == 0) return std::nullopt;
  out.resize(written);
  return out;
}

std::optional<std::string> Base64Codec::baseDecode(const void* characters, size_t length, const DecodeTable& charset,
                                                   bool requirePadding) {
  std::string out(decodedCapacity(length), '\0');
  const size_t written =
      baseDecode(characters, length, reinterpret_cast<uint8_t*>(out.data()), out.size(), charset, requirePadding);
  if (written == 0) return std::nullopt;
  out.resize(written);
  return out;
}

size_t Base64Codec::baseEncode(const void* srcBytes, size_t srcLen, char* destBytes, size_t destLen,
                               const Charset& charset, bool padded) {
  if (!srcBytes || !destBytes || srcLen == 0 || destLen == 0) return 0;
  if (destLen < encodedLength(srcLen, padded)) return 0;
  const auto* in = static_cast<const uint8_t*>(srcBytes);
  char* out = destBytes;
  size_t i = 0;
  for (; srcLen - i >= 3; i += 3) {
    *out++ = charset[in[i] >> 2];
    *out++ = charset[((in[i] & 3) << 4) | (in[i + 1] >> 4)];
    *out++ = charset[((in[i + 1] & 15) << 2) | (in[i + 2] >> 6)];
    *out++ = charset[in[i + 2] & 63];
  }
  if (srcLen - i == 2) {
    *out++ = charset[in[i] >> 2];
    *out++ = charset[((in[i] & 3) << 4) | (in[i + 1] >> 4)];
    *out++ = charset[(in[i + 1] & 15) << 2];
    if (padded) *out++ = kPad;
  } else if (srcLen - i == 1) {
    *out++ = charset[in[i] >> 2];
    *out++ = charset[(in[i] & 3) << 4];
    if (padded) {
      *out++ = kPad;
      *out++ = kPad;
    }
  }
  return static_cast<size_t>(out - destBytes);
}

size_t Base64Codec::baseDecode(const void* srcBytes, size_t srcLen, uint8_t* destBytes, size_t destLen,
                               const DecodeTable& charset, bool requirePadding) {
  if (!srcBytes || !destBytes || srcLen == 0 || destLen == 0) return 0;
  const auto* in = static_cast<const uint8_t*>(srcBytes);
  size_t pos = 0;
  size_t written = 0;
  int state = 0;
  // The bits of the byte under construction; only complete bytes are written.
  uint8_t pending = 0;
  bool sawPad = false;
  while (pos < srcLen && in[pos] != 0) {
    const uint8_t c = in[pos++];
    if (isSpace(c)) continue;
    if (c == kPad) {
      sawPad = true;
      break;
    }
    const uint8_t v = charset[c];
    if (v == kInvalid) return 0;
    if (state == 0) {
      pending = static_cast<uint8_t>(v << 2);
      state = 1;
      continue;
    }
    if (written >= destLen) return 0;
    if (state == 1) {
      destBytes[written++] = pending | (v >> 4);
      pending = static_cast<uint8_t>(v << 4);
      state = 2;
    } else if (state == 2) {
      destBytes[written++] = pending | (v >> 2);
      pending = static_cast<uint8_t>(v << 6);
      state = 3;
    } else {
      destBytes[written++] = pending | v;
      pending = 0;
      state = 0;
    }
  }

  if (sawPad) {
    // One character of a group carries less than a byte; a complete group needs no padding.
    if (state == 0 || state == 1) return 0;
    if (pos == srcLen) {
      if (state == 2) return 0;  // the second "=" is missing
    } else {
      if (state == 2) {
        while (pos < srcLen && isSpace(in[pos])) ++pos;
        if (pos == srcLen || in[pos] != kPad) return 0;
        ++pos;
      }
      for (; pos < srcLen && in[pos] != 0; ++pos) {
        if (!isSpace(in[pos])) return 0;
      }
    }
  } else if (requirePadding ? state != 0 : state == 1) {
    return 0;
  }
  // The bits left over in the last character must be zero.
  if (pending != 0) return 0;
  return written;
}

std::optional<std::string> Base64Codec::encodeData(std::string_view data) {
  return baseEncode(data.data(), data.size(), kStandardCharset, true);
}

std::optional<std::string> Base64Codec::decodeData(std::string_view data) {
  return baseDecode(data.data(), data.size(), kStandardDecodeTable, true);
}

std::optional<std::string> Base64Codec::encodeBytes(const void* bytes, size_t length) {
  return baseEncode(bytes, length, kStandardCharset, true);
}

std::optional<std::string> Base64Codec::decodeBytes(const void* bytes, size_t length) {
  return baseDecode(bytes, length, kStandardDecodeTable, true);
}

std::optional<std::string> Base64Codec::stringByEncodingData(std::string_view data) { return encodeData(data); }

std::optional<std::string> Base64Codec::stringByEncodingBytes(const void* bytes, size_t length) {
  return encodeBytes(bytes, length);
}

std::optional<std::string> Base64Codec::decodeString(std::string_view text) {
  if (!isAscii(text)) return std::nullopt;
  return decodeData(text);
}

std::optional<std::string> Base64Codec::webSafeEncodeData(std::string_view data, bool padded) {
  return baseEncode(data.data(), data.size(), kWebSafeCharset, padded);
}

std::optional<std::string> Base64Codec::webSafeDecodeData(std::string_view data) {
  return baseDecode(data.data(), data.size(), kWebSafeDecodeTable, false);
}

std::optional<std::string> Base64Codec::webSafeEncodeBytes(const void* bytes, size_t length, bool padded) {
  return baseEncode(bytes, length, kWebSafeCharset, padded);
}

std::optional<std::string> Base64Codec::webSafeDecodeBytes(const void* bytes, size_t length) {
  return baseDecode(bytes, length, kWebSafeDecodeTable, false);
}

std::optional<std::string> Base64Codec::stringByWebSafeEncodingData(std::string_view data, bool padded) {
  return webSafeEncodeData(data, padded);
}

std::optional<std::string> Base64Codec::stringByWebSafeEncodingBytes(const void* bytes, size_t length, bool padded) {
  return webSafeEncodeBytes(bytes, length, padded);
}

std::optional<std::string> Base64Codec::webSafeDecodeString(std::string_view text) {
  if (!isAscii(text)) return std::nullopt;
  return webSafeDecodeData(text);
}

std::optional<std::string> Base64Codec::encodeBase64String(std::string_view text) { return encodeData(text); }

std::optional<std::string> Base64Codec::decodeBase64String(std::string_view text) {
  return utf8Text(decodeData(text));
}

std::optional<std::string> Base64Codec::encodeBase64Data(std::string_view data) { return encodeData(data); }

std::optional<std::string> Base64Codec::decodeBase64Data(std::string_view data) {
  return utf8Text(decodeData(data));
}

}  // namespace kt
