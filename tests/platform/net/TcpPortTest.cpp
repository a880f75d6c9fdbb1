#include "platform/net/TcpPort.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

// The ends of the range, and what lies just past them, come through as they are or not at all:
// never cut to 16 bits.
TEST(TcpPortTest, OnlyDigitsOfAPortFromOneTo65535AreAPort) {
  const struct {
    std::string text;
    std::optional<uint16_t> port;
  } cases[] = {
      {"1", 1},
      {"9100", 9100},
      {"65535", 65535},
      {"08080", 8080},
      {"000000000000009100", 9100},
      {"0", std::nullopt},
      {"00000", std::nullopt},
      {"65536", std::nullopt},
      {"70000", std::nullopt},
      {"4294967297", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"-1", std::nullopt},
      {"+80", std::nullopt},
      {"", std::nullopt},
      {" 80", std::nullopt},
      {"80 ", std::nullopt},
      {"80x", std::nullopt},
      {"0x50", std::nullopt},
      {"8e3", std::nullopt},
      {"80.0", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(net::tcpPort(c.text), c.port) << '"' << c.text << '"';

  for (const int64_t number : {int64_t(1), int64_t(65535)}) EXPECT_TRUE(net::isTcpPort(number)) << number;
  for (const int64_t number : {int64_t(0), int64_t(-1), int64_t(65536), int64_t(70000), int64_t(4295032831), INT64_MIN})
    EXPECT_FALSE(net::isTcpPort(number)) << number;
}

}  // namespace
