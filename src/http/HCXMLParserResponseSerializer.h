#pragma once

#include "http/HCHTTPResponseSerializer.h"

namespace kt {

// Gives an XML parser over the body, not yet run ("application/xml", "text/xml").
class HCXMLParserResponseSerializer : public HCHTTPResponseSerializer {
 public:
  HCXMLParserResponseSerializer();
  static std::shared_ptr<HCXMLParserResponseSerializer> serializer() {
    return std::make_shared<HCXMLParserResponseSerializer>();
  }
  const char* className() const override { return "HCXMLParserResponseSerializer"; }
  std::shared_ptr<HCHTTPResponseSerializer> copy() const override;

  HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                             const std::optional<std::string>& data,
                                             std::optional<core::Error>* error) const override;
};

}  // namespace kt
