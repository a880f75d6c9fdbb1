#include "http/HCXMLParser.h"

#include "platform/core/CallbackGuard.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstring>

namespace kt {

namespace {

// What the SAX callbacks reach through the context's private pointer during one parse.
struct ParseState {
  HCXMLParser& parser;
  bool handlerFailed = false;
};

// Runs a callback body against the parser. A handler that throws stops the parse there: the
// exception must not unwind through libxml2, and the document counts as not read.
template <typename Body>
void guarded(void* context, const char* where, Body&& body) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  auto& state = *static_cast<ParseState*>(ctxt->_private);
  core::guardCallback(where, [&] { body(state.parser); }, [&] {
    state.handlerFailed = true;
    xmlStopParser(ctxt);
  });
}

void startElement(void* context, const xmlChar* name, const xmlChar** attributes) {
  guarded(context, __func__, [&](HCXMLParser& parser) {
    if (!parser.didStartElement) return;
    HCXMLParser::Attributes map;
    for (int i = 0; attributes && attributes[i]; i += 2) {
      map[reinterpret_cast<const char*>(attributes[i])] =
          attributes[i + 1] ? reinterpret_cast<const char*>(attributes[i + 1]) : "";
    }
    parser.didStartElement(reinterpret_cast<const char*>(name), map);
  });
}

void endElement(void* context, const xmlChar* name) {
  guarded(context, __func__, [&](HCXMLParser& parser) {
    if (parser.didEndElement) parser.didEndElement(reinterpret_cast<const char*>(name));
  });
}

void characters(void* context, const xmlChar* text, int length) {
  guarded(context, __func__, [&](HCXMLParser& parser) {
    if (parser.foundCharacters) parser.foundCharacters(std::string(reinterpret_cast<const char*>(text), length));
  });
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
  ParseState state{*this};
  ctxt->_private = &state;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  int result = xmlParseChunk(ctxt, m_data.data(), static_cast<int>(m_data.size()), 1);
  bool ok = result == 0 && ctxt->wellFormed && !ctxt->disableSAX && !state.handlerFailed;
  if (state.handlerFailed) {
    m_error = core::Error::withDescription(core::Error::CoreDomain, core::Error::ReadCorrupt,
                                           "An event handler failed; the document was not read to its end.");
  } else if (!ok) {
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
