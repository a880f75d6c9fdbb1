#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace net {

// The ports a TCP peer can be reached on. Port 0 names no peer, and a number past 65535 cut to
// 16 bits would reach another port (70000 is 4464): both are refused, never passed on.
inline constexpr int64_t kMinTcpPort = 1;
inline constexpr int64_t kMaxTcpPort = 65535;
// The range as the messages that refuse a port say it.
inline constexpr const char* kTcpPortRange = "1 to 65535";

bool isTcpPort(int64_t number);

// The port a setting's text names: decimal digits alone (leading zeros are fine), of a number
// from 1 to 65535; nothing otherwise (an empty text, a sign, a space, anything after the digits).
std::optional<uint16_t> tcpPort(std::string_view text);

}  // namespace net
