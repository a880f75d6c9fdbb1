#pragma once

#include <memory>
#include <optional>
#include <string>

struct _xmlNode;

namespace kt {

// A fault the service sent instead of a reply, read from its SOAP 1.1 or SOAP 1.2 form.
class SOAPFault {
 public:
  // SOAP 1.1: faultcode; SOAP 1.2: the Value of Code.
  const std::optional<std::string>& faultcode() const { return m_faultcode; }
  void setFaultcode(std::optional<std::string> value) { m_faultcode = std::move(value); }
  // SOAP 1.1: faultstring; SOAP 1.2: every text inside Reason, joined.
  const std::optional<std::string>& faultstring() const { return m_faultstring; }
  void setFaultstring(std::optional<std::string> value) { m_faultstring = std::move(value); }
  // SOAP 1.1: faultactor; SOAP 1.2: Node.
  const std::optional<std::string>& faultactor() const { return m_faultactor; }
  void setFaultactor(std::optional<std::string> value) { m_faultactor = std::move(value); }
  // SOAP 1.1: detail; SOAP 1.2: Detail (its own text, not that of nested elements).
  const std::optional<std::string>& detail() const { return m_detail; }
  void setDetail(std::optional<std::string> value) { m_detail = std::move(value); }

  // The fault string without the server's exception class name in front and the stack trace
  // behind; nothing without a fault string.
  std::optional<std::string> simpleFaultString() const;

  // Reads a fault element by its namespace (SOAP 1.1 or 1.2 envelope); a fault in no namespace
  // or another one gives a fault with every field unset.
  static std::shared_ptr<SOAPFault> deserializeNode(_xmlNode* node);

 private:
  std::optional<std::string> m_faultcode;
  std::optional<std::string> m_faultstring;
  std::optional<std::string> m_faultactor;
  std::optional<std::string> m_detail;
};

}  // namespace kt
