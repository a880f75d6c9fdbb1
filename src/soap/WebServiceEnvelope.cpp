#include "soap/WebServiceEnvelope.h"

#include "platform/core/Log.h"
#include "soap/WSGlobals.h"

#include <libxml/tree.h>

namespace kt {

namespace {

const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

void addEntries(xmlNodePtr root, xmlNsPtr soap, const char* name, const WSElementList& entries) {
  if (entries.empty()) return;
  xmlNodePtr part = xmlNewChild(root, soap, xml(name), nullptr);
  if (!part) return;
  for (const auto& [key, value] : entries) {
    if (xmlNodePtr node = xmlNodeForObject(root->doc, value, key, std::nullopt)) xmlAddChild(part, node);
  }
}

}  // namespace

WebServiceEnvelope& WebServiceEnvelope::sharedInstance() {
  static WebServiceEnvelope* instance = new WebServiceEnvelope;
  return *instance;
}

std::string WebServiceEnvelope::serializedFormUsingHeaderElements(const WSElementList& headerElements,
                                                                  const WSElementList& bodyElements) const {
  WSGlobals::initializeLibxml();
  xmlDocPtr doc = xmlNewDoc(xml("1.0"));
  if (!doc) {
    core::logLine("Error creating the xml document tree");
    return "";
  }
  xmlNodePtr root = xmlNewDocNode(doc, nullptr, xml("Envelope"), nullptr);
  xmlDocSetRootElement(doc, root);

  xmlNsPtr soap = xmlNewNs(root, xml(wsns::Soap12Envelope), xml("soap"));
  xmlSetNs(root, soap);
  xmlNsPtr xsl = xmlNewNs(root, xml(wsns::XSLTransform), xml("xsl"));
  xmlNewNs(root, xml(wsns::XMLSchemaInstance), xml("xsi"));
  xmlNewNsProp(root, xsl, xml("version"), xml("1.0"));
  xmlNewNs(root, xml(wsns::XMLSchema), xml("xsd"));
  xmlNewNs(root, xml(wsns::Service), xml("WebService"));

  addEntries(root, soap, "Header", headerElements);
  addEntries(root, soap, "Body", bodyElements);

  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpFormatMemory(doc, &bytes, &size, 1);
  std::string text = bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size)) : "";
  xmlFree(bytes);
  xmlFreeDoc(doc);
  return text;
}

}  // namespace kt
