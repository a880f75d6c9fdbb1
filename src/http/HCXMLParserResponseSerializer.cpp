#include "http/HCXMLParserResponseSerializer.h"

#include "http/HCXMLParser.h"

namespace kt {

HCXMLParserResponseSerializer::HCXMLParserResponseSerializer() {
  setAcceptableContentTypes(std::set<std::string>{"application/xml", "text/xml"});
}

std::shared_ptr<HCHTTPResponseSerializer> HCXMLParserResponseSerializer::copy() const {
  auto other = std::make_shared<HCXMLParserResponseSerializer>();
  copySettingsInto(*other);
  return other;
}

HCResponseObject HCXMLParserResponseSerializer::responseObjectForResponse(const net::HTTPURLResponse* response,
                                                                          const std::optional<std::string>& data,
                                                                          std::optional<core::Error>* error) const {
  if (!validateForDecoding(response, data, error)) return std::monostate{};
  return std::make_shared<HCXMLParser>(data.value_or(std::string()));
}

}  // namespace kt
