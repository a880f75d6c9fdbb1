#include "http/HCCompoundResponseSerializer.h"

namespace kt {

std::shared_ptr<HCCompoundResponseSerializer> HCCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
    Members members) {
  auto serializer = std::make_shared<HCCompoundResponseSerializer>();
  serializer->setResponseSerializers(std::move(members));
  return serializer;
}

std::shared_ptr<HCHTTPResponseSerializer> HCCompoundResponseSerializer::copy() const {
  auto other = std::make_shared<HCCompoundResponseSerializer>();
  copySettingsInto(*other);
  other->m_responseSerializers = m_responseSerializers;
  return other;
}

HCResponseObject HCCompoundResponseSerializer::responseObjectForResponse(const net::HTTPURLResponse* response,
                                                                         const std::optional<std::string>& data,
                                                                         std::optional<core::Error>* error) const {
  for (const auto& member : m_responseSerializers) {
    if (!member) continue;
    std::optional<core::Error> memberError;
    HCResponseObject object = member->responseObjectForResponse(response, data, &memberError);
    if (hasResponseObject(object)) {
      if (error) *error = errorWithUnderlyingError(memberError, *error);
      return object;
    }
  }
  return HCHTTPResponseSerializer::responseObjectForResponse(response, data, error);
}

}  // namespace kt
