#pragma once

#include "platform/core/Error.h"
#include "platform/core/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace core {

// XML property lists, read and written, and the old "key" = "value"; text form of string tables.
//
// The XML form holds dict (keys sorted on write), array, string, integer, real, true/false,
// date (ISO 8601 in UTC, whole seconds, years 0000-9999 only: a date outside them is refused when
// read and when written) and data (base64). Null has no XML form. Reading never
// touches the network, never expands entities (a document that uses one is refused) and never
// prints: problems come back as a core::Error in CoreDomain with code ReadCorrupt.
class PropertyList {
 public:
  static std::optional<Value> parse(std::string_view bytes, Error* error = nullptr);
  static std::optional<std::string> serialize(const Value& value, Error* error = nullptr);

  static std::optional<Value> readFile(const std::string& path, Error* error = nullptr);
  // Written atomically: readers see the old file or the new one, never a part.
  static bool writeFile(const std::string& path, const Value& value, Error* error = nullptr);

  // The text form of string tables: `"key" = "value";` entries with /* */ and // comments and
  // \" \\ \n \t \r \U escapes, in UTF-8 or UTF-16 (with a byte-order mark). Gives a dictionary.
  static std::optional<Value> parseStrings(std::string_view bytes, Error* error = nullptr);
  static std::optional<Value> readStringsFile(const std::string& path, Error* error = nullptr);
};

}  // namespace core
