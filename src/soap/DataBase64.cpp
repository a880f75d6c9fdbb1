#include "soap/DataBase64.h"

namespace kt::DataBase64 {

std::optional<std::string> dataWithBase64EncodedString(const std::optional<std::string_view>& text) {
  if (!text) throw InvalidArgumentException("Error: String must not be nil");
  return std::nullopt;
}

std::string base64Encoding(std::string_view) { return {}; }

}  // namespace kt::DataBase64
