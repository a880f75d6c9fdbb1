#include "soap/WSAdditions.h"

#include "soap/DataBase64.h"
#include "soap/ISO8601Parsing.h"
#include "soap/ISO8601Unparsing.h"

#include <libxml/tree.h>

#include <iterator>
#include <utility>

namespace kt {

namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

const xmlChar* xml(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

// The value's text as written, or nothing for a value without one.
std::optional<std::string> leafText(const core::Value& value) {
  switch (value.type()) {
    case core::Value::Type::String: return *value.asString();
    case core::Value::Type::Integer:
    case core::Value::Type::Real: return value.description();
    case core::Value::Type::Bool: return *value.asBool() ? "true" : "false";
    case core::Value::Type::Date: return ISO8601Unparsing::ISO8601DateString(*value.asDate());
    case core::Value::Type::Data: return DataBase64::base64Encoding(*value.asData());
    default: return std::nullopt;
  }
}

}  // namespace

// The characters escaped, in the order escaping replaces them ("&" first); unescaping goes the
// other way round, so "&amp;" becomes "&" last.
constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
    {"&", "&amp;"}, {"\"", "&quot;"}, {"'", "&apos;"}, {"<", "&lt;"}, {">", "&gt;"}};

std::string stringByEscapingXML(std::string_view text) {
  std::string out(text);
  for (const auto& [plain, entity] : kEntities) replaceAll(out, plain, entity);
  return out;
}

std::string stringByUnescapingXML(std::string_view text) {
  std::string out(text);
  for (auto it = std::rbegin(kEntities); it != std::rend(kEntities); ++it) replaceAll(out, it->second, it->first);
  return out;
}

std::string wsElementName(std::string_view name, const std::optional<std::string>& prefix) {
  if (prefix && !prefix->empty()) return *prefix + ":" + std::string(name);
  return std::string(name);
}

_xmlNode* xmlNodeForValue(_xmlDoc* doc, const core::Value& value, std::string_view name,
                          const std::optional<std::string>& prefix) {
  std::optional<std::string> text = leafText(value);
  if (!text) return nullptr;
  // libxml2 reads entity references in the content it is given, so the escaped text is stored
  // as the plain text and escaped exactly once when the document is written.
  return xmlNewDocNode(doc, nullptr, xml(wsElementName(name, prefix)), xml(stringByEscapingXML(*text)));
}

std::optional<std::string> deserializeString(_xmlNode* node) {
  if (!node) return std::nullopt;
  // Entities are already substituted here: the text is used as it is, never unescaped again.
  xmlChar* text = xmlNodeListGetString(node->doc, node->children, 1);
  if (!text) return std::nullopt;
  std::string out(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return out;
}

double deserializeNumber(_xmlNode* node) {
  std::optional<std::string> text = deserializeString(node);
  return text ? core::parseDouble(*text) : 0;
}

std::optional<core::Date> deserializeDate(_xmlNode* node) {
  std::optional<std::string> text = deserializeString(node);
  if (!text) return std::nullopt;
  return ISO8601Parsing::dateWithString(*text);
}

std::optional<std::string> deserializeData(_xmlNode* node) {
  std::optional<std::string> text = deserializeString(node);
  if (!text) return std::nullopt;
  return DataBase64::dataWithBase64EncodedString(std::string_view(*text));
}

}  // namespace kt
