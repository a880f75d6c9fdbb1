#include "soap/WebService.h"

#include "platform/core/Log.h"
#include "platform/core/UserDefaults.h"
#include "platform/net/TcpPort.h"
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

std::optional<std::string> WebService::addressForHost(const std::string& host) {
  std::optional<std::string> text = core::UserDefaults::standard().stringForKey("webService_Port");
  if (!text || text->empty()) return "http://" + host + "/WebService.asmx";
  const std::optional<uint16_t> port = net::tcpPort(*text);
  if (!port) {
    core::logLine("The setting webService_Port (" + *text + ") is not a port from " + net::kTcpPortRange +
                  ": the web service has no address");
    return std::nullopt;
  }
  return "http://" + host + ":" + std::to_string(*port) + "/WebService.asmx";
}

std::shared_ptr<WebServiceBinding> WebService::WebServiceSoapBinding(const std::string& host) {
  auto binding = WebServiceBinding::create(WebServiceBindingNames::Soap);
  if (const std::optional<std::string> address = addressForHost(host)) binding->initWithAddress(*address);
  return binding;
}

std::shared_ptr<WebServiceBinding> WebService::WebServiceSoap12Binding(const std::string& host) {
  auto binding = WebServiceBinding::create(WebServiceBindingNames::Soap12);
  if (const std::optional<std::string> address = addressForHost(host)) binding->initWithAddress(*address);
  return binding;
}

}  // namespace kt
