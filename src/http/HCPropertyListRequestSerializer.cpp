#include "http/HCPropertyListRequestSerializer.h"

#include "http/HCKeyedCoding.h"
#include "platform/core/PropertyList.h"

namespace kt {

std::shared_ptr<HCPropertyListRequestSerializer> HCPropertyListRequestSerializer::serializerWithFormat(
    uint64_t format, uint64_t writeOptions) {
  auto serializer = std::make_shared<HCPropertyListRequestSerializer>();
  serializer->setFormat(format);
  serializer->setWriteOptions(writeOptions);
  return serializer;
}

std::shared_ptr<HCHTTPRequestSerializer> HCPropertyListRequestSerializer::copy() const {
  auto other = std::make_shared<HCPropertyListRequestSerializer>();
  copySettingsInto(*other);
  other->m_format = m_format;
  other->m_writeOptions = m_writeOptions;
  return other;
}

core::Value HCPropertyListRequestSerializer::encodeWithCoder() const {
  core::Value coder = HCHTTPRequestSerializer::encodeWithCoder();
  coder.set("format", m_format);
  coder.set("writeOptions", m_writeOptions);
  return coder;
}

void HCPropertyListRequestSerializer::decodeWithCoder(const core::Value& coder) {
  HCHTTPRequestSerializer::decodeWithCoder(coder);
  if (auto format = decodeUnsignedInteger(coder, "format")) m_format = *format;
  if (auto options = decodeUnsignedInteger(coder, "writeOptions")) m_writeOptions = *options;
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
