#include "http/HCXMLParser.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstring>

namespace kt {

namespace {

HCXMLParser& self(void* context) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  return *static_cast<HCXMLParser*>(ctxt->_private);
}

void startElement(void* context, const xmlChar* name, const xmlChar** attributes) {
  HCXMLParser& parser = self(context);
  if (!parser.didStartElement) return;
  HCXMLParser::Attributes map;
  for (int i = 0; attributes && attributes[i]; i += 2) {
    map[reinterpret_cast<const char*>(attributes[i])] =
        attributes[i + 1] ? reinterpret_cast<const char*>(attributes[i + 1]) : "";
  }
  parser.didStartElement(reinterpret_cast<const char*>(name), map);
}

void endElement(void* context, const xmlChar* name) {
  HCXMLParser& parser = self(context);
  if (parser.didEndElement) parser.didEndElement(reinterpret_cast<const char*>(name));
}

void characters(void* context, const xmlChar* text, int length) {
  HCXMLParser& parser = self(context);
  if (parser.foundCharacters) parser.foundCharacters(std::string(reinterpret_cast<const char*>(text), length));
}

// Entity declarations are refused: a document that declares one is not parsed at all.
void entityDecl(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
  xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

void quiet(void*, const char*, ...) {}

}  // namespace

bool HCXMLParser::parse() {
  m_error.reset();
  if (m_data.size() > static_cast<size_t>(INT_MAX)) {
    m_error = core::Error::withDescription(core::Error::CoreDomain, core::Error::ReadCorrupt, "The document is too large.");
    return false;
  }
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.startElement = startElement;
  handler.endElement = endElement;
  handler.characters = characters;
  handler.cdataBlock = characters;
  handler.entityDecl = entityDecl;
  handler.error = quiet;
  handler.warning = quiet;
  xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
  if (!ctxt) {
    m_error = core::Error::withDescription(core::Error::CoreDomain, core::Error::ReadCorrupt, "No XML parser.");
    return false;
  }
  ctxt->_private = this;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  int result = xmlParseChunk(ctxt, m_data.data(), static_cast<int>(m_data.size()), 1);
  bool ok = result == 0 && ctxt->wellFormed && !ctxt->disableSAX;
  if (!ok) {
    const xmlError* last = xmlCtxtGetLastError(ctxt);
    std::string message = last && last->message ? last->message : "The document is not well-formed XML.";
    while (!message.empty() && message.back() == '\n') message.pop_back();
    char where[64];
    std::snprintf(where, sizeof where, " (line %d)", last ? last->line : 0);
    m_error = core::Error::withDescription(core::Error::CoreDomain, core::Error::ReadCorrupt, message + where);
  }
  // A document type declaration leaves a document behind even without a tree builder.
  if (ctxt->myDoc) {
    xmlFreeDoc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
  }
  xmlFreeParserCtxt(ctxt);
  return ok;
}

}  // namespace kt
