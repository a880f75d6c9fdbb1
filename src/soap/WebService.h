#pragma once

#include <memory>
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
  // default "webService_Port"; without one (or with an empty one) the address has no port.
  static std::shared_ptr<WebServiceBinding> WebServiceSoapBinding(const std::string& host);
  // The same for the SOAP 1.2 family.
  static std::shared_ptr<WebServiceBinding> WebServiceSoap12Binding(const std::string& host);

  // The address text for a host.
  static std::string addressForHost(const std::string& host);
};

}  // namespace kt
