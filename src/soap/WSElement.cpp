#include "soap/WSElement.h"

#include "soap/WSAdditions.h"

#include <libxml/tree.h>

#include <cstring>

namespace kt {

namespace {

const WSObject& nil() {
  // Never destroyed: replies are read on other threads while the process exits.
  static const auto* value = new WSObject{core::Value()};
  return *value;
}

}  // namespace

WSElement::WSElement(std::span<const Field> fields) : m_fields(fields), m_values(fields.size(), core::Value()) {}

const WSObject& WSElement::valueAt(size_t index) const { return index < m_values.size() ? m_values[index] : nil(); }

void WSElement::setValueAt(size_t index, WSObject value) {
  if (index < m_values.size()) m_values[index] = std::move(value);
}

_xmlNode* WSElement::xmlNodeForDoc(_xmlDoc* doc, const std::string& elementName,
                                   const std::optional<std::string>& elementNSPrefix) const {
  std::string name = wsElementName(elementName, elementNSPrefix && !elementNSPrefix->empty() ? elementNSPrefix
                                                                                            : nsPrefix());
  xmlNodePtr node = xmlNewDocNode(doc, nullptr, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
  if (!node) return nullptr;
  addAttributesToNode(node);
  addElementsToNode(node);
  return node;
}

void WSElement::addElementsToNode(_xmlNode* node) const {
  for (size_t i = 0; i < m_fields.size(); ++i) {
    if (xmlNodePtr child = xmlNodeForObject(node->doc, m_values[i], m_fields[i].name, nsPrefix())) {
      xmlAddChild(node, child);
    }
  }
}

void WSElement::deserializeElementsFromNode(_xmlNode* node) {
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    for (size_t i = 0; i < m_fields.size(); ++i) {
      if (std::strcmp(reinterpret_cast<const char*>(child->name), m_fields[i].name) == 0) {
        m_values[i] = readTypedChild(child, *m_fields[i].declared);
        break;
      }
    }
  }
}

std::optional<std::string> WSElement::stringAt(size_t index) const {
  const auto* value = std::get_if<core::Value>(&valueAt(index));
  if (!value || !value->isString()) return std::nullopt;
  return *value->asString();
}

std::optional<double> WSElement::numberAt(size_t index) const {
  const auto* value = std::get_if<core::Value>(&valueAt(index));
  if (!value || !(value->isInteger() || value->isReal())) return std::nullopt;
  return value->doubleValue();
}

std::optional<std::string> WSElement::dataAt(size_t index) const {
  const auto* value = std::get_if<core::Value>(&valueAt(index));
  if (!value || !value->isData()) return std::nullopt;
  return *value->asData();
}

void WSElement::setStringAt(size_t index, const std::optional<std::string>& value) {
  setValueAt(index, value ? core::Value(*value) : core::Value());
}

void WSElement::setNumberAt(size_t index, std::optional<double> value) {
  setValueAt(index, value ? core::Value(*value) : core::Value());
}

void WSElement::setDataAt(size_t index, const std::optional<std::string>& bytes) {
  setValueAt(index, bytes ? core::Value::data(*bytes) : core::Value());
}

}  // namespace kt
