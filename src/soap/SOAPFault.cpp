#include "soap/SOAPFault.h"

#include "soap/WSAdditions.h"
#include "soap/WSGlobals.h"

#include <libxml/tree.h>

#include <cstring>

namespace kt {

namespace {

bool named(xmlNodePtr node, const char* name) {
  return node->name && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

void readSoap11(SOAPFault& fault, xmlNodePtr node) {
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (named(child, "faultcode")) fault.setFaultcode(deserializeString(child));
    else if (named(child, "faultstring")) fault.setFaultstring(deserializeString(child));
    else if (named(child, "faultactor")) fault.setFaultactor(deserializeString(child));
    else if (named(child, "detail")) fault.setDetail(deserializeString(child));
  }
}

void readSoap12(SOAPFault& fault, xmlNodePtr node) {
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (named(child, "Code")) {
      // The first child named Value; subcodes are not read.
      for (xmlNodePtr part = child->children; part; part = part->next) {
        if (named(part, "Value")) {
          fault.setFaultcode(deserializeString(part));
          break;
        }
      }
    } else if (named(child, "Reason")) {
      xmlChar* text = xmlNodeGetContent(child);
      fault.setFaultstring(text ? std::string(reinterpret_cast<const char*>(text)) : std::string());
      xmlFree(text);
    } else if (named(child, "Node")) {
      fault.setFaultactor(deserializeString(child));
    } else if (named(child, "Detail")) {
      fault.setDetail(deserializeString(child));
    }
  }
}

void eraseAll(std::string& text, std::string_view part) {
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at)) text.erase(at, part.size());
}

}  // namespace

std::optional<std::string> SOAPFault::simpleFaultString() const {
  if (!m_faultstring) return std::nullopt;
  std::string text = *m_faultstring;
  eraseAll(text, "System.Web.Services.Protocols.SoapException: ");
  const size_t trace = text.find("\n   at ");
  if (trace != std::string::npos) text.erase(trace);
  return text;
}

std::shared_ptr<SOAPFault> SOAPFault::deserializeNode(_xmlNode* node) {
  auto fault = std::make_shared<SOAPFault>();
  if (!node || !node->ns || !node->ns->href) return fault;
  const char* uri = reinterpret_cast<const char*>(node->ns->href);
  if (std::strcmp(uri, wsns::Soap11Envelope) == 0) readSoap11(*fault, node);
  else if (std::strcmp(uri, wsns::Soap12Envelope) == 0) readSoap12(*fault, node);
  return fault;
}

}  // namespace kt
