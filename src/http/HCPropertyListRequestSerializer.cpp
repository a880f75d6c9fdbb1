#include "http/HCPropertyListRequestSerializer.h"

#include "platform/core/PropertyList.h"

namespace kt {

std::shared_ptr<HCPropertyListRequestSerializer> HCPropertyListRequestSerializer::serializerWithFormat(
    uint64_t format, uint64_t writeOptions) {
  auto serializer = std::make_shared<HCPropertyListRequestSerializer>();
  serializer->setFormat(format);
  serializer->setWriteOptions(writeOptions);
  return serializer;
}

std::optional<net::URLRequest> HCPropertyListRequestSerializer::requestBySerializingRequest(
    const net::URLRequest& request, const core::Value& parameters, core::Error* error) const {
  if (encodesParametersInURI(request.HTTPMethod())) {
    return HCHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
  }
  auto mutableRequest = requestWithCheckedHeaders(request, error);
  if (!mutableRequest) return std::nullopt;
  if (parameters.isNull()) return mutableRequest;

  core::Error writeError(core::Error::CoreDomain, core::Error::WriteInvalid);
  std::optional<std::string> body;
  // Only the XML form is written here.
  if (m_format == XMLFormat) body = core::PropertyList::serialize(parameters, &writeError);
  if (!body) {
    core::Error failure = core::Error::withDescription(HCRequestSerializationErrorDomain, writeError.code(),
                                                       "The parameters could not be written as a property list.");
    failure.setUnderlying(writeError);
    core::setError(error, failure);
    return std::nullopt;
  }
  if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
    mutableRequest->setValue(std::string("application/x-plist"), "Content-Type");
  }
  mutableRequest->setHTTPBody(std::move(body));
  return mutableRequest;
}

}  // namespace kt
