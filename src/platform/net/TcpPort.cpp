#include "platform/net/TcpPort.h"

#include <charconv>

namespace net {

bool isTcpPort(int64_t number) { return number >= kMinTcpPort && number <= kMaxTcpPort; }

std::optional<uint16_t> tcpPort(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  // Read wider than a port, so that a number past it is refused rather than cut.
  uint64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number > static_cast<uint64_t>(kMaxTcpPort))
    return std::nullopt;
  if (!isTcpPort(static_cast<int64_t>(number))) return std::nullopt;
  return static_cast<uint16_t>(number);
}

}  // namespace net
