#include "soap/Base64Codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace kt {
namespace {

using B = Base64Codec;
using Text = std::optional<std::string>;

TEST(Base64CodecTest, KnownVectorsInBothAlphabets) {
  struct Vector {
    std::string plain, padded, webSafeUnpadded;
  };
  const Vector vectors[] = {
      {"f", "Zg==", "Zg"},         {"fo", "Zm8=", "Zm8"},         {"foo", "Zm9v", "Zm9v"},
      {"foob", "Zm9vYg==", "Zm9vYg"}, {"fooba", "Zm9vYmE=", "Zm9vYmE"}, {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
      {"\xfb\xff", "+/8=", "-_8"},   {"\xff\xef\xbe", "/+++", "_---"},
  };
  for (const Vector& v : vectors) {
    EXPECT_EQ(B::encodeData(v.plain), v.padded);
    EXPECT_EQ(B::stringByEncodingBytes(v.plain.data(), v.plain.size()), v.padded);
    EXPECT_EQ(B::decodeString(v.padded), v.plain);
    EXPECT_EQ(B::webSafeEncodeData(v.plain, false), v.webSafeUnpadded);
    EXPECT_EQ(B::webSafeDecodeString(v.webSafeUnpadded), v.plain);
    // The web-safe reader takes its padding when it is there.
    const Text paddedWebSafe = B::stringByWebSafeEncodingData(v.plain, true);
    ASSERT_TRUE(paddedWebSafe);
    EXPECT_EQ(paddedWebSafe->size(), v.padded.size());
    EXPECT_EQ(B::webSafeDecodeData(*paddedWebSafe), v.plain);
  }
  // Each alphabet refuses the other's two symbols.
  EXPECT_EQ(B::decodeString("-_8="), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeString("+/8="), std::nullopt);

  EXPECT_EQ(B::encodedLength(1, false), 2u);
  EXPECT_EQ(B::encodedLength(2, false), 3u);
  EXPECT_EQ(B::encodedLength(2, true), 4u);
  EXPECT_EQ(B::encodedLength(3, false), 4u);
  EXPECT_EQ(B::decodedCapacity(5), 6u);
}

TEST(Base64CodecTest, PaddingIsRequiredOnlyByTheStandardReader) {
  EXPECT_EQ(B::decodeString("QQ"), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeString("QQ"), "A");
  EXPECT_EQ(B::webSafeDecodeString("QUI"), "AB");
  EXPECT_EQ(B::webSafeDecodeString("Q"), std::nullopt);
  // Left-over bits must be zero in both.
  EXPECT_EQ(B::decodeString("QR=="), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeString("QR"), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeString("QUJ"), std::nullopt);
}

TEST(Base64CodecTest, PaddingStateMachine) {
  const std::pair<std::string_view, Text> cases[] = {
      {"QQ==", "A"},
      {"QQ= =", "A"},
      {"QQ=\r\n\t=", "A"},
      {"QQ==  \n", "A"},
      {"QUI=", "AB"},
      {"QUI= \t", "AB"},
      {"QQ=A", std::nullopt},
      {"QQ=", std::nullopt},
      {"QQ= ", std::nullopt},
      {"QQ==x", std::nullopt},
      {"QUI==", std::nullopt},
      {"QUI=x", std::nullopt},
      {"Q===", std::nullopt},
      {"=QQ=", std::nullopt},
      {"QUJD=", std::nullopt},
      {std::string_view("QQ=\0=", 5), std::nullopt},
      {std::string_view("QQ==\0garbage", 12), "A"},
      {std::string_view("QUI=\0=", 6), "AB"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(B::decodeData(text), expected) << text;
  }
}

TEST(Base64CodecTest, WhiteSpaceZeroBytesAndEmptyInput) {
  // Tab to carriage return, space, and the Latin-1 no-break space and y-umlaut are passed over.
  EXPECT_EQ(B::decodeData("\xa0Zm\t9v\xff\x0b"), "foo");
  // ... but the text readers take ASCII only.
  EXPECT_EQ(B::decodeString("\xa0Zm9v"), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeString("Zm9v\xc3\xa9"), std::nullopt);
  // A zero byte ends the input: the padding is then missing.
  EXPECT_EQ(B::decodeData(std::string_view("QQ\0==", 5)), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeData(std::string_view("QQ\0==", 5)), "A");

  EXPECT_EQ(B::encodeData(""), std::nullopt);
  EXPECT_EQ(B::webSafeEncodeBytes("", 0, true), std::nullopt);
  EXPECT_EQ(B::stringByEncodingData(""), std::nullopt);
  EXPECT_EQ(B::encodeBase64String(""), std::nullopt);
  EXPECT_EQ(B::decodeData(" \n\t"), std::nullopt);
  EXPECT_EQ(B::webSafeDecodeBytes(" ", 1), std::nullopt);
  EXPECT_EQ(B::decodeBytes(nullptr, 4), std::nullopt);
  EXPECT_EQ(B::decodeString("Zm9v!"), std::nullopt);
}

TEST(Base64CodecTest, Utf8TextConveniences) {
  const std::string text = "\xe5\x8d\xa1\xe6\x8b\x89OK";  // 卡拉OK
  const Text encoded = B::encodeBase64String(text);
  EXPECT_EQ(encoded, "5Y2h5ouJT0s=");
  EXPECT_EQ(B::encodeBase64Data(text), encoded);
  EXPECT_EQ(B::decodeBase64String(*encoded), text);
  EXPECT_EQ(B::decodeBase64Data(*encoded), text);
  // Decoded bytes that are not UTF-8, and text that does not decode, give no text.
  EXPECT_EQ(B::decodeBase64String("/w=="), std::nullopt);
  EXPECT_EQ(B::decodeBase64Data("gIA="), std::nullopt);
  EXPECT_EQ(B::decodeBase64String("QQ"), std::nullopt);
}

// The buffer-level calls never write past the capacity they are given, and do not rely on the
// buffer's earlier content.
TEST(Base64CodecTest, CallerBuffersAreNeverOverrun) {
  uint8_t out[8];
  std::memset(out, 0xee, sizeof out);
  const std::string_view text = "Zm9vYmFy";
  EXPECT_EQ(B::baseDecode(text.data(), text.size(), out, 5, B::kStandardDecodeTable, true), 0u);
  EXPECT_EQ(out[5], 0xee);
  EXPECT_EQ(B::baseDecode(text.data(), text.size(), out, 6, B::kStandardDecodeTable, true), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "foobar");
  EXPECT_EQ(out[6], 0xee);

  // A buffer exactly the size of the result, full of non-zero bytes.
  std::memset(out, 0xff, sizeof out);
  EXPECT_EQ(B::baseDecode("QQ==", 4, out, 1, B::kStandardDecodeTable, true), 1u);
  EXPECT_EQ(out[0], 0x41);
  EXPECT_EQ(out[1], 0xff);
  EXPECT_EQ(B::baseDecode("QR==", 4, out, 1, B::kStandardDecodeTable, true), 0u);

  char chars[8];
  std::memset(chars, '#', sizeof chars);
  EXPECT_EQ(B::baseEncode("fo", 2, chars, 3, B::kStandardCharset, true), 0u);
  EXPECT_EQ(chars[0], '#');
  EXPECT_EQ(B::baseEncode("fo", 2, chars, 3, B::kWebSafeCharset, false), 3u);
  EXPECT_EQ(std::string(chars, 4), "Zm8#");
  EXPECT_EQ(B::baseEncode(nullptr, 2, chars, 8, B::kStandardCharset, true), 0u);
  EXPECT_EQ(B::baseEncode("fo", 2, nullptr, 8, B::kStandardCharset, true), 0u);
  EXPECT_EQ(B::baseDecode("QQ==", 4, nullptr, 8, B::kStandardDecodeTable, true), 0u);
}

}  // namespace
}  // namespace kt
