#include "soap/WSBoolean.h"

#include "platform/core/Value.h"
#include "soap/WSAdditions.h"

namespace kt {

_xmlNode* WSBoolean::xmlNodeForDoc(_xmlDoc* doc, const std::string& elementName,
                                   const std::optional<std::string>& elementNSPrefix) const {
  return xmlNodeForValue(doc, core::Value(m_value), elementName, elementNSPrefix);
}

std::optional<WSBoolean> WSBoolean::deserializeNode(_xmlNode* node) {
  std::optional<std::string> text = deserializeString(node);
  if (text == "true") return WSBoolean(true);
  if (text == "false") return WSBoolean(false);
  return std::nullopt;
}

}  // namespace kt
