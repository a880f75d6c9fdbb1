#pragma once

#include "platform/core/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

struct _xmlDoc;
struct _xmlNode;

namespace kt {

class WSElement;

// A value of a message field: a leaf (a core::Value, see WSAdditions.h; null when absent) or a
// message element.
using WSObject = std::variant<core::Value, std::shared_ptr<WSElement>>;

bool isNil(const WSObject& object);

// A class a field value is read as: its name, as a reply's xsi:type names it, and its reader.
struct WSClass {
  const char* name;
  WSObject (*deserializeNode)(_xmlNode* node);
};

// The leaf classes: text, number (always a real), ISO 8601 date, Base64 data, and the boolean
// box ("true" or "false" only).
extern const WSClass WSStringClass;
extern const WSClass WSNumberClass;
extern const WSClass WSDateClass;
extern const WSClass WSDataClass;
extern const WSClass WSBooleanClass;

// The class of that name: the message elements ("WebService_ArrayOfString"), the boolean box
// ("WSBoolean") and the XML Schema built-in types under the "xsd" prefix ("xsd_string",
// "xsd_int", "xsd_dateTime", "xsd_base64Binary", ...). Null for any other name.
const WSClass* wsClassNamed(std::string_view name);

// Reads a child element as a field value. Without an xsi:type attribute the child is read as
// the declared class. With one, "p:Local" names the class "<registered prefix>_Local", where the
// registered prefix is the one WSGlobals holds for the namespace p is bound to at the child; a
// type without ":" is the class name itself. A type naming no class gives nil, except that an
// XML Schema type with no class of its own is read as the declared class.
WSObject readTypedChild(_xmlNode* child, const WSClass& declared);

// The element for a field value: a leaf through xmlNodeForValue, an element through its own
// writer. Null for nil.
_xmlNode* xmlNodeForObject(_xmlDoc* doc, const WSObject& object, const std::string& name,
                           const std::optional<std::string>& prefix);

}  // namespace kt
