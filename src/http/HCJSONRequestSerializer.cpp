#include "http/HCJSONRequestSerializer.h"

#include "http/HCKeyedCoding.h"
#include "platform/core/Json.h"

namespace kt {

std::shared_ptr<HCJSONRequestSerializer> HCJSONRequestSerializer::serializerWithWritingOptions(uint64_t options) {
  auto serializer = std::make_shared<HCJSONRequestSerializer>();
  serializer->setWritingOptions(options);
  return serializer;
}

std::shared_ptr<HCHTTPRequestSerializer> HCJSONRequestSerializer::copy() const {
  auto other = std::make_shared<HCJSONRequestSerializer>();
  copySettingsInto(*other);
  other->m_writingOptions = m_writingOptions;
  return other;
}

core::Value HCJSONRequestSerializer::encodeWithCoder() const {
  core::Value coder = HCHTTPRequestSerializer::encodeWithCoder();
  coder.set("writingOptions", m_writingOptions);
  return coder;
}

void HCJSONRequestSerializer::decodeWithCoder(const core::Value& coder) {
  HCHTTPRequestSerializer::decodeWithCoder(coder);
  if (auto options = decodeUnsignedInteger(coder, "writingOptions")) m_writingOptions = *options;
}

std::optional<net::URLRequest> HCJSONRequestSerializer::requestBySerializingRequest(const net::URLRequest& request,
                                                                                    const core::Value& parameters,
                                                                                    core::Error* error) const {
  if (encodesParametersInURI(request.HTTPMethod())) {
    return HCHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
  }
  auto mutableRequest = requestWithCheckedHeaders(request, error);
  if (!mutableRequest) return std::nullopt;
  if (parameters.isNull()) return mutableRequest;

  core::Error writeError;
  auto body = core::Json::serialize(parameters, &writeError, (m_writingOptions & PrettyPrinted) != 0);
  if (!body) {
    core::Error failure = core::Error::withDescription(HCRequestSerializationErrorDomain, writeError.code(),
                                                       "The parameters could not be written as JSON.");
    failure.setUnderlying(writeError);
    core::setError(error, failure);
    return std::nullopt;
  }
  if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
    mutableRequest->setValue(std::string("application/json"), "Content-Type");
  }
  mutableRequest->setHTTPBody(std::move(body));
  return mutableRequest;
}

}  // namespace kt
