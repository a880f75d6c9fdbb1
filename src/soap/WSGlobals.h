#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace kt {

// Namespace URIs of the venue web service's envelopes.
namespace wsns {
inline constexpr const char* Soap12Envelope = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* Soap11Envelope = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* XSLTransform = "http://www.w3.org/1999/XSL/Transform";
inline constexpr const char* XMLSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* XMLSchema = "http://www.w3.org/2001/XMLSchema";
// The target namespace of the venue server's service; the SOAPAction of an operation is this
// URI followed by the operation's name.
inline constexpr const char* Service = "http://venue.ktv/WebService/";
}  // namespace wsns

// The process-wide namespace map of the web service client: namespace URI -> the prefix its
// types are known under ("xsd", "WebService"). Filled once by WebService::initialize(), read
// when a reply names the type of a value (xsi:type).
class WSGlobals {
 public:
  static WSGlobals& sharedInstance();

  // Sets up libxml2's global state once per process, before the first document is built or
  // parsed. It is never torn down while the program runs: other threads may be using libxml2.
  static void initializeLibxml();

  std::map<std::string, std::string> wsdlStandardNamespaces() const;
  void setWsdlStandardNamespaces(std::map<std::string, std::string> namespaces);
  // Adds or replaces one pair.
  void registerNamespace(const std::string& uri, const std::string& prefix);
  // The prefix registered for a URI.
  std::optional<std::string> prefixForNamespace(const std::string& uri) const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, std::string> m_namespaces;
};

}  // namespace kt
