#include "soap/WebService.h"

#include "platform/core/UserDefaults.h"
#include "soap/WSGlobals.h"
#include "soap/WebServiceBinding.h"

#include <mutex>

namespace kt {

void WebService::initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSGlobals::initializeLibxml();
    WSGlobals& globals = WSGlobals::sharedInstance();
    globals.registerNamespace(wsns::XMLSchema, "xsd");
    globals.registerNamespace(wsns::Service, "WebService");
  });
}

std::string WebService::addressForHost(const std::string& host) {
  std::optional<std::string> port = core::UserDefaults::standard().stringForKey("webService_Port");
  if (!port || port->empty()) return "http://" + host + "/WebService.asmx";
  return "http://" + host + ":" + *port + "/WebService.asmx";
}

std::shared_ptr<WebServiceBinding> WebService::WebServiceSoapBinding(const std::string& host) {
  auto binding = WebServiceBinding::create(WebServiceBindingNames::Soap);
  binding->initWithAddress(addressForHost(host));
  return binding;
}

std::shared_ptr<WebServiceBinding> WebService::WebServiceSoap12Binding(const std::string& host) {
  auto binding = WebServiceBinding::create(WebServiceBindingNames::Soap12);
  binding->initWithAddress(addressForHost(host));
  return binding;
}

}  // namespace kt
