#pragma once

#include <cstdint>
#include <string>

#include "app/RecordField.h"
#include "platform/core/Value.h"

namespace kt {

// Numbers read from the room server's texts with the platform's rules: the leading number of the
// text, 0 when there is none or the text is unset.
inline int32_t intValueOf(const Text& text) { return text ? core::Value(*text).intValue() : 0; }
inline int64_t integerValueOf(const Text& text) { return text ? core::Value(*text).integerValue() : 0; }
inline float floatValueOf(const Text& text) { return text ? core::Value(*text).floatValue() : 0.0f; }
inline double doubleValueOf(const Text& text) { return text ? core::Value(*text).doubleValue() : 0.0; }

// Exact comparison with a text; an unset text equals nothing.
inline bool textIs(const Text& text, const char* value) { return text && *text == value; }
// The text, or "" when unset.
inline std::string textOf(const Text& text) { return text.value_or(std::string()); }

}  // namespace kt
