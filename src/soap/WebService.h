#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kt {

class WebServiceBinding;

// Makes bindings to the venue web service at "/WebService.asmx" on the web port of a host.
class WebService {
 public:
  // Registers the namespace prefixes of the service's types ("xsd", "WebService") once, before
  // the first binding is made; calling it again does nothing.
  static void initialize();

  // A binding to "http://<host>:<webService_Port>/WebService.asmx", the port being the user
  // default "webService_Port"; without one (or with an empty one) the address has no port. A
  // port that is not one from 1 to 65535 leaves the binding without an address (logged), so that
  // its calls fail rather than reach another port.
  static std::shared_ptr<WebServiceBinding> WebServiceSoapBinding(const std::string& host);
  // The same for the SOAP 1.2 family.
  static std::shared_ptr<WebServiceBinding> WebServiceSoap12Binding(const std::string& host);

  // The address text for a host; nothing, and a line in the log, when "webService_Port" is set
  // to what is not a port.
  static std::optional<std::string> addressForHost(const std::string& host);
};

}  // namespace kt
