#pragma once

#include "platform/core/Error.h"
#include "platform/core/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace core {

// JSON text to values and back.
//
// Reading: objects become dictionaries (a repeated key keeps its last value), numbers written
// without a fraction or an exponent that fit in 64 bits become integers and all others reals (a
// whole real is written back without its fraction, so it then reads as an integer), true/false become bools and
// null becomes the null value. The text must be valid UTF-8. The top level must be an array or
// an object unless fragments are allowed. Problems come back as a core::Error in CoreDomain with
// code ReadCorrupt and a readable message.
//
// Writing: dictionaries are written with their keys in order; data, dates and non-finite reals
// have no JSON form (code WriteInvalid), nor does a top level other than an array or a
// dictionary unless fragments are allowed. "/" is not escaped; non-ASCII text is written as is.
class Json {
 public:
  static std::optional<Value> parse(std::string_view text, Error* error = nullptr, bool allowFragments = false);
  static std::optional<std::string> serialize(const Value& value, Error* error = nullptr, bool pretty = false,
                                              bool allowFragments = false);
};

}  // namespace core
