#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kt {

// Raised by DataBase64::dataWithBase64EncodedString for a missing text.
class InvalidArgumentException : public std::invalid_argument {
 public:
  explicit InvalidArgumentException(const std::string& reason) : std::invalid_argument(reason) {}
};

// The Base64 codec of the web service's data values: the standard alphabet, always padded, no
// line breaks when writing; lenient when reading. Bytes travel in std::string.
namespace DataBase64 {

// Decodes Base64 text. White space and "=" are passed over wherever they stand, and a zero byte
// ends the text; bits left over in the last character are dropped. Empty text gives empty data;
// nullopt for text that is not ASCII, holds a character outside the alphabet, or leaves a single
// character over at its end. Throws InvalidArgumentException "Error: String must not be nil" for
// a missing text.
std::optional<std::string> dataWithBase64EncodedString(const std::optional<std::string_view>& text);

// The standard, padded encoding without line breaks; "" for empty data.
std::string base64Encoding(std::string_view data);

}  // namespace DataBase64

}  // namespace kt
