#pragma once

#include "platform/core/Date.h"
#include "platform/core/Value.h"

#include <optional>
#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;

namespace kt {

// The leaves of the web service's messages: writing a value as one XML element and reading an
// element back as a value, with the XML text escaping both sides use.
//
// A leaf value is a core::Value: a string, a number (integer or real), a date, data (bytes) or
// a bool, which stands for the service's boolean box (written "true" or "false", see
// WSBoolean). Null is no value: nothing is written for it.

// "&" first, then the double quote, "'", "<" and ">" become their entity references.
std::string stringByEscapingXML(std::string_view text);
// The inverse: the four entities back to their characters, "&amp;" to "&" last.
std::string stringByUnescapingXML(std::string_view text);

// The element name text: "prefix:name" with a prefix that is set and not empty, else the name.
std::string wsElementName(std::string_view name, const std::optional<std::string>& prefix);

// A new element of `doc` named by wsElementName, without a namespace object (the prefix is
// part of the name and resolves through the envelope's declarations), holding the value's text:
// a string as it is, a number in its decimal form, a date as ISO 8601 in UTC, data as Base64,
// a bool as "true" or "false". Null for a null value or one with no text form (arrays,
// dictionaries). The node is not attached.
_xmlNode* xmlNodeForValue(_xmlDoc* doc, const core::Value& value, std::string_view name,
                          const std::optional<std::string>& prefix);

// Readers of one element. The text is what stands directly inside the element (the text of
// nested elements is not included), as libxml2 decoded it.
// The text; nothing when the element holds none.
std::optional<std::string> deserializeString(_xmlNode* node);
// The text read as a number (leading white space, the longest numeric prefix); 0 without one.
double deserializeNumber(_xmlNode* node);
// The text read as an ISO 8601 date; nothing without text or when it is no date.
std::optional<core::Date> deserializeDate(_xmlNode* node);
// The text read as Base64; nothing without text or when it is not Base64.
std::optional<std::string> deserializeData(_xmlNode* node);

}  // namespace kt
