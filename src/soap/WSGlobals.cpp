#include "soap/WSGlobals.h"

#include <libxml/parser.h>

namespace kt {

WSGlobals& WSGlobals::sharedInstance() {
  // Made on first use from any thread and kept until exit.
  static WSGlobals* instance = new WSGlobals;
  return *instance;
}

void WSGlobals::initializeLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

std::map<std::string, std::string> WSGlobals::wsdlStandardNamespaces() const {
  std::lock_guard lock(m_mutex);
  return m_namespaces;
}

void WSGlobals::setWsdlStandardNamespaces(std::map<std::string, std::string> namespaces) {
  std::lock_guard lock(m_mutex);
  m_namespaces = std::move(namespaces);
}

void WSGlobals::registerNamespace(const std::string& uri, const std::string& prefix) {
  std::lock_guard lock(m_mutex);
  m_namespaces[uri] = prefix;
}

std::optional<std::string> WSGlobals::prefixForNamespace(const std::string& uri) const {
  std::lock_guard lock(m_mutex);
  auto it = m_namespaces.find(uri);
  if (it == m_namespaces.end()) return std::nullopt;
  return it->second;
}

}  // namespace kt
