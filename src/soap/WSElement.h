#pragma once

#include "soap/WSObject.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kt {

// The common shape of the web service's message elements: a fixed list of fields, each with a
// name (its element name on the wire) and the class its value is read as, written as one child
// element per field that holds a value and read back by matching children to fields.
class WSElement {
 public:
  struct Field {
    const char* name;
    const WSClass* declared;
  };

  virtual ~WSElement() = default;

  // The prefix of the service's elements.
  std::string nsPrefix() const { return "WebService"; }

  // A new element of `doc` named "prefix:elementName", the prefix being "WebService" when the
  // one given is unset or empty, holding the fields. Not attached.
  _xmlNode* xmlNodeForDoc(_xmlDoc* doc, const std::string& elementName,
                          const std::optional<std::string>& elementNSPrefix) const;
  // These elements carry no attributes.
  virtual void addAttributesToNode(_xmlNode* /*node*/) const {}
  // One child per field that holds a value, in field order, each named "WebService:<field>".
  virtual void addElementsToNode(_xmlNode* node) const;
  // A new, empty dictionary.
  core::Value attributes() const { return core::Value(core::Value::Dictionary{}); }
  virtual void deserializeAttributesFromNode(_xmlNode* /*node*/) {}
  // Fills the fields from the element children whose local name (namespaces not compared) is
  // a field name; the last of repeated children wins, other children are ignored.
  virtual void deserializeElementsFromNode(_xmlNode* node);

  std::span<const Field> fields() const { return m_fields; }
  // The value of the field at `index` (nil when out of range).
  const WSObject& valueAt(size_t index) const;
  void setValueAt(size_t index, WSObject value);

 protected:
  explicit WSElement(std::span<const Field> fields);

  // Typed views of a field: nothing when it is nil or holds a value of another kind.
  std::optional<std::string> stringAt(size_t index) const;
  std::optional<double> numberAt(size_t index) const;
  std::optional<std::string> dataAt(size_t index) const;
  void setStringAt(size_t index, const std::optional<std::string>& value);
  void setNumberAt(size_t index, std::optional<double> value);
  void setDataAt(size_t index, const std::optional<std::string>& bytes);

 private:
  std::span<const Field> m_fields;
  std::vector<WSObject> m_values;
};

// A new element of class T filled from a node.
template <class T>
std::shared_ptr<T> deserializeElement(_xmlNode* node) {
  auto element = std::make_shared<T>();
  element->deserializeAttributesFromNode(node);
  element->deserializeElementsFromNode(node);
  return element;
}

// The class of the element type T under its wire name.
template <class T>
WSClass wsElementClass(const char* name) {
  return WSClass{name, [](_xmlNode* node) -> WSObject { return deserializeElement<T>(node); }};
}

}  // namespace kt
