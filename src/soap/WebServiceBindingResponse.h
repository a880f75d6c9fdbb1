#pragma once

#include "platform/core/Error.h"

#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace kt {

class SOAPFault;
class WSElement;

// One object read from a reply's Body: the operation's reply element or a fault.
using WebServiceBodyPart = std::variant<std::shared_ptr<WSElement>, std::shared_ptr<SOAPFault>>;

// What a web service call ended with. A call has succeeded when error() is unset; a fault the
// server sent is a success at this level and is one of the body parts.
class WebServiceBindingResponse {
 public:
  // Reply header elements: never read, always unset.
  const std::optional<std::vector<WebServiceBodyPart>>& headers() const { return m_headers; }
  void setHeaders(std::optional<std::vector<WebServiceBodyPart>> headers) { m_headers = std::move(headers); }
  // The objects read from the reply's Body in document order; unset when no Body was read.
  const std::optional<std::vector<WebServiceBodyPart>>& bodyParts() const { return m_bodyParts; }
  void setBodyParts(std::optional<std::vector<WebServiceBodyPart>> parts) { m_bodyParts = std::move(parts); }
  // Why the call failed.
  const std::optional<core::Error>& error() const { return m_error; }
  void setError(std::optional<core::Error> error) { m_error = std::move(error); }

 private:
  std::optional<std::vector<WebServiceBodyPart>> m_headers;
  std::optional<std::vector<WebServiceBodyPart>> m_bodyParts;
  std::optional<core::Error> m_error;
};

using WebServiceSoapBindingResponse = WebServiceBindingResponse;
using WebServiceSoap12BindingResponse = WebServiceBindingResponse;

}  // namespace kt
