#include "platform/core/Md5.h"

#include <openssl/evp.h>

namespace core {

std::array<uint8_t, 16> md5(std::string_view bytes) {
  std::array<uint8_t, 16> digest{};
  unsigned int size = 0;
  // EVP_Digest only fails on allocation failure; the digest then stays zero.
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_md5(), nullptr);
  return digest;
}

std::string md5Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::array<uint8_t, 16> digest = md5(bytes);
  std::string out(32, '0');
  for (size_t i = 0; i < digest.size(); ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  return out;
}

}  // namespace core
