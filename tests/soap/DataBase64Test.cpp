#include "soap/DataBase64.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kt {
namespace {

using DataBase64::base64Encoding;
using DataBase64::dataWithBase64EncodedString;

std::optional<std::string> decode(std::string_view text) { return dataWithBase64EncodedString(text); }

TEST(DataBase64Test, KnownVectorsEncodePaddedAndDecode) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},          {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "+/8="},
      {std::string("\0\0\0", 3), "AAAA"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encoding(plain), encoded);
    EXPECT_EQ(decode(encoded), plain) << encoded;
  }
  // Every byte value, and no line breaks however long the data.
  std::string all;
  for (int i = 0; i < 256 * 4; ++i) all += static_cast<char>(i);
  const std::string encoded = base64Encoding(all);
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
  EXPECT_EQ(encoded.size(), (all.size() + 2) / 3 * 4);
  EXPECT_EQ(decode(encoded), all);
}

TEST(DataBase64Test, ReadingIsLenientAboutPaddingSpaceAndLeftOverBits) {
  EXPECT_EQ(decode("QQ=="), "A");
  EXPECT_EQ(decode("QQ"), "A");
  // "=" is passed over wherever it stands: these are the four characters QQQQ.
  EXPECT_EQ(decode("QQ==QQ=="), "\x41\x04\x10");
  EXPECT_EQ(decode("Zm9v\r\nYm Fy\t"), "foobar");
  EXPECT_EQ(decode(" = \n=\v\f"), "");
  // Bits left over in the last character are dropped.
  EXPECT_EQ(decode("QR=="), "A");
  // A zero byte ends the text.
  EXPECT_EQ(decode(std::string_view("Zm9v\0!!", 7)), "foo");
}

TEST(DataBase64Test, BadTextGivesNothingAndMissingTextThrows) {
  EXPECT_EQ(decode(""), std::string());
  for (std::string_view bad : {"Q", "Zm9vY", "QQ==QQ==Q", "Zm-v", "Zm_v", "Zm9v!", "Zm9v\xc3\xa9", "\xa0QQ"}) {
    EXPECT_EQ(decode(bad), std::nullopt) << bad;
  }
  try {
    dataWithBase64EncodedString(std::nullopt);
    FAIL() << "no exception";
  } catch (const InvalidArgumentException& e) {
    EXPECT_STREQ(e.what(), "Error: String must not be nil");
  }
}

}  // namespace
}  // namespace kt
