#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text encodings. Strings are UTF-8 everywhere in the program; the room server speaks GB 18030,
// and lengths and ranges are counted in UTF-16 code units, as the platform counted them.
namespace core {

// Both GB 18030 conversions follow the 2000 mapping table, as the room server does.

// GB 18030 bytes to UTF-8. Strict: any invalid or incomplete sequence gives nullopt (never a
// guess or a replacement character). Empty input gives empty output.
std::optional<std::string> gb18030ToUtf8(std::string_view bytes);

// UTF-8 to GB 18030. Every Unicode scalar value has a code, so only invalid UTF-8 gives nullopt.
std::optional<std::string> utf8ToGb18030(std::string_view utf8);
// The same, appended to `out`; false, with `out` as it was, for invalid UTF-8.
bool appendGb18030(std::string& out, std::string_view utf8);

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF, no truncation.
bool isValidUtf8(std::string_view bytes);

// Appends the UTF-8 form of a code point (1 to 4 bytes). No checks: the caller passes a scalar
// value no greater than U+10FFFF, or gets what the bit pattern gives.
void appendUtf8(std::string& out, uint32_t codePoint);

// Length in UTF-16 code units: characters beyond the Basic Multilingual Plane count 2.
// Invalid bytes count 1 each, so the result is defined for any input.
size_t utf16Length(std::string_view utf8);

// The longest prefix of at most `units` UTF-16 units that does not split a character.
std::string utf16Prefix(std::string_view utf8, size_t units);

// The characters lying entirely within [start, start + length) in UTF-16 units. The range is
// clamped to the text; a character cut by either end of the range is left out.
std::string utf16Substring(std::string_view utf8, size_t start, size_t length);

}  // namespace core
