#include "http/HCPropertyListResponseSerializer.h"

#include "http/HCKeyedCoding.h"
#include "platform/core/PropertyList.h"

namespace kt {

HCPropertyListResponseSerializer::HCPropertyListResponseSerializer() {
  setAcceptableContentTypes(std::set<std::string>{"application/x-plist"});
}

std::shared_ptr<HCPropertyListResponseSerializer> HCPropertyListResponseSerializer::serializerWithFormat(
    uint64_t format, uint64_t readOptions) {
  auto serializer = std::make_shared<HCPropertyListResponseSerializer>();
  serializer->setFormat(format);
  serializer->setReadOptions(readOptions);
  return serializer;
}

std::shared_ptr<HCHTTPResponseSerializer> HCPropertyListResponseSerializer::copy() const {
  auto other = std::make_shared<HCPropertyListResponseSerializer>();
  copySettingsInto(*other);
  other->m_format = m_format;
  other->m_readOptions = m_readOptions;
  return other;
}

core::Value HCPropertyListResponseSerializer::encodeWithCoder() const {
  core::Value coder = HCHTTPResponseSerializer::encodeWithCoder();
  coder.set("format", m_format);
  coder.set("readOptions", m_readOptions);
  return coder;
}

void HCPropertyListResponseSerializer::decodeWithCoder(const core::Value& coder) {
  HCHTTPResponseSerializer::decodeWithCoder(coder);
  if (auto format = decodeUnsignedInteger(coder, "format")) m_format = *format;
  if (auto options = decodeUnsignedInteger(coder, "readOptions")) m_readOptions = *options;
}

HCResponseObject HCPropertyListResponseSerializer::responseObjectForResponse(
    const net::HTTPURLResponse* response, const std::optional<std::string>& data,
    std::optional<core::Error>* error) const {
  if (!validateForDecoding(response, data, error)) return std::monostate{};
  if (!data) return std::monostate{};
  core::Error parseError;
  auto object = core::PropertyList::parse(*data, &parseError);
  if (error) {
    std::optional<core::Error> failure;
    if (!object) failure = parseError;
    *error = errorWithUnderlyingError(failure, *error);
  }
  if (!object) return std::monostate{};
  return *object;
}

}  // namespace kt
