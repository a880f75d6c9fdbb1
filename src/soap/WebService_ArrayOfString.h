#pragma once

#include "soap/WSElement.h"

#include <optional>
#include <string>
#include <vector>

namespace kt {

// A list of texts, one "string" child element each.
class WebService_ArrayOfString : public WSElement {
 public:
  WebService_ArrayOfString();

  const std::vector<std::string>& string() const { return m_string; }
  // Appends a text; nothing is ignored.
  void addString(const std::optional<std::string>& text);

  // One "WebService:string" child per text, in order.
  void addElementsToNode(_xmlNode* node) const override;
  // Appends the text of each child named "string"; children without text are dropped.
  void deserializeElementsFromNode(_xmlNode* node) override;

 private:
  std::vector<std::string> m_string;
};

// The class of the list, declared type of fields that hold one.
extern const WSClass WebServiceArrayOfStringClass;

}  // namespace kt
