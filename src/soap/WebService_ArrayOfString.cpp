#include "soap/WebService_ArrayOfString.h"

#include "soap/WSAdditions.h"

#include <libxml/tree.h>

#include <cstring>

namespace kt {

const WSClass WebServiceArrayOfStringClass = wsElementClass<WebService_ArrayOfString>("WebService_ArrayOfString");

WebService_ArrayOfString::WebService_ArrayOfString() : WSElement({}) {}

void WebService_ArrayOfString::addString(const std::optional<std::string>& text) {
  if (text) m_string.push_back(*text);
}

void WebService_ArrayOfString::addElementsToNode(_xmlNode* node) const {
  for (const std::string& text : m_string) {
    if (xmlNodePtr child = xmlNodeForValue(node->doc, core::Value(text), "string", nsPrefix())) {
      xmlAddChild(node, child);
    }
  }
}

void WebService_ArrayOfString::deserializeElementsFromNode(_xmlNode* node) {
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char*>(child->name), "string") != 0) {
      continue;
    }
    // An item typed as another leaf (xsd:int) keeps the text it was sent as.
    WSObject value = readTypedChild(child, WSStringClass);
    if (isNil(value) || !std::holds_alternative<core::Value>(value)) continue;
    if (std::optional<std::string> text = deserializeString(child)) m_string.push_back(*text);
  }
}

}  // namespace kt
