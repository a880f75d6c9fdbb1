#pragma once

#include <optional>
#include <string>

struct _xmlDoc;
struct _xmlNode;

namespace kt {

// The service's boolean value: written "true" or "false", read back from exactly those texts.
class WSBoolean {
 public:
  explicit WSBoolean(bool value = false) : m_value(value) {}

  bool boolValue() const { return m_value; }
  void setBoolValue(bool value) { m_value = value; }
  // "true" or "false".
  std::string stringValue() const { return m_value ? "true" : "false"; }

  _xmlNode* xmlNodeForDoc(_xmlDoc* doc, const std::string& elementName,
                          const std::optional<std::string>& elementNSPrefix) const;
  // The box for exactly "true" or "false"; nothing for any other text or no text.
  static std::optional<WSBoolean> deserializeNode(_xmlNode* node);

 private:
  bool m_value = false;
};

}  // namespace kt
