#include "platform/core/Md5.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(Md5, Rfc1321Vectors) {
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, hex] : vectors) EXPECT_EQ(core::md5Hex(input), hex) << input;
}

TEST(Md5, BinaryInputWithZeroBytesIsHashedWhole) {
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(core::md5Hex(withZero), "70350f6027bce3713f6b76473084309b");
  EXPECT_NE(core::md5Hex(withZero), core::md5Hex("a"));
  const std::array<uint8_t, 16> raw = core::md5("abc");
  EXPECT_EQ(raw[0], 0x90);
  EXPECT_EQ(raw[15], 0x72);
}

}  // namespace
