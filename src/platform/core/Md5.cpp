#include "platform/core/Md5.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace core {

namespace {
// Worker threads (the image cache's disk queue, for one) may still be hashing when the process
// exits, and OpenSSL's own exit-time cleanup would free its tables under them. The system takes
// the memory back at exit anyway, so that cleanup is switched off here, at load time, before
// anything else starts OpenSSL (it only takes effect on the first initialisation).
[[maybe_unused]] const bool kNoExitCleanup = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
}  // namespace

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
