#pragma once

#include "platform/core/Error.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace kt {

// An event parser over an XML document, made ready and run when parse() is called. Entities
// are never expanded and nothing is fetched from the network.
class HCXMLParser {
 public:
  using Attributes = std::map<std::string, std::string>;

  explicit HCXMLParser(std::string data) : m_data(std::move(data)) {}

  const std::string& data() const { return m_data; }

  std::function<void(const std::string& name, const Attributes& attributes)> didStartElement;
  std::function<void(const std::string& name)> didEndElement;
  std::function<void(const std::string& characters)> foundCharacters;

  // Runs the handlers over the document; false when it is not well-formed (parserError() says where).
  bool parse();
  const std::optional<core::Error>& parserError() const { return m_error; }

 private:
  std::string m_data;
  std::optional<core::Error> m_error;
};

}  // namespace kt
