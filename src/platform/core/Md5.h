#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// MD5 digests (checksums and identifiers, not security).
namespace core {

std::array<uint8_t, 16> md5(std::string_view bytes);

// The digest as 32 lower-case hexadecimal characters.
std::string md5Hex(std::string_view bytes);

}  // namespace core
