#include "soap/DataBase64.h"

#include "soap/Base64Codec.h"

#include <array>
#include <cstdint>

namespace kt::DataBase64 {
namespace {

constexpr uint8_t kInvalid = 127;

// The standard alphabet's positions, kInvalid for every other byte.
std::array<uint8_t, 256> makeDecodeTable() {
  std::array<uint8_t, 256> table{};
  table.fill(kInvalid);
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(Base64Codec::kStandardCharset[i])] = i;
  return table;
}

// The C locale's white space.
bool isSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::optional<std::string> dataWithBase64EncodedString(const std::optional<std::string_view>& text) {
  if (!text) throw InvalidArgumentException("Error: String must not be nil");
  if (text->empty()) return std::string();
  for (char c : *text) {
    if (static_cast<uint8_t>(c) >= 0x80) return std::nullopt;
  }
  // A zero byte ends the text, as the end of a C string would.
  const std::string_view input = text->substr(0, text->find('\0'));

  static const std::array<uint8_t, 256> kDecodeTable = makeDecodeTable();
  std::string out;
  out.reserve(input.size() / 4 * 3 + 3);
  uint8_t sextets[4];
  size_t count = 0;
  auto flush = [&] {
    if (count >= 2) out += static_cast<char>((sextets[0] << 2) | (sextets[1] >> 4));
    if (count >= 3) out += static_cast<char>(((sextets[1] & 15) << 4) | (sextets[2] >> 2));
    if (count >= 4) out += static_cast<char>(((sextets[2] & 3) << 6) | sextets[3]);
    count = 0;
  };
  for (char ch : input) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (c == '=' || isSpace(c)) continue;
    const uint8_t value = kDecodeTable[c];
    if (value == kInvalid) return std::nullopt;
    sextets[count++] = value;
    if (count == 4) flush();
  }
  // One character over carries six bits, less than a byte.
  if (count == 1) return std::nullopt;
  flush();
  return out;
}

std::string base64Encoding(std::string_view data) {
  if (data.empty()) return {};
  return *Base64Codec::encodeData(data);
}

}  // namespace kt::DataBase64
