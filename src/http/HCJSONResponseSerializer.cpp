#include "http/HCJSONResponseSerializer.h"

#include "http/HCKeyedCoding.h"
#include "platform/core/Json.h"

namespace kt {

HCJSONResponseSerializer::HCJSONResponseSerializer() {
  setAcceptableContentTypes(std::set<std::string>{"application/json", "text/json", "text/javascript"});
}

std::shared_ptr<HCJSONResponseSerializer> HCJSONResponseSerializer::serializerWithReadingOptions(uint64_t options) {
  auto serializer = std::make_shared<HCJSONResponseSerializer>();
  serializer->setReadingOptions(options);
  return serializer;
}

std::shared_ptr<HCHTTPResponseSerializer> HCJSONResponseSerializer::copy() const {
  auto other = std::make_shared<HCJSONResponseSerializer>();
  copySettingsInto(*other);
  other->m_readingOptions = m_readingOptions;
  other->m_removesKeysWithNullValues = m_removesKeysWithNullValues;
  return other;
}

core::Value HCJSONResponseSerializer::encodeWithCoder() const {
  core::Value coder = HCHTTPResponseSerializer::encodeWithCoder();
  coder.set("readingOptions", m_readingOptions);
  coder.set("removesKeysWithNullValues", m_removesKeysWithNullValues);
  return coder;
}

void HCJSONResponseSerializer::decodeWithCoder(const core::Value& coder) {
  HCHTTPResponseSerializer::decodeWithCoder(coder);
  if (auto options = decodeUnsignedInteger(coder, "readingOptions")) m_readingOptions = *options;
  if (auto removes = decodeBool(coder, "removesKeysWithNullValues")) m_removesKeysWithNullValues = *removes;
}

core::Value HCJSONResponseSerializer::removingKeysWithNullValues(const core::Value& value) {
  if (const auto* array = value.asArray()) {
    core::Value::Array out;
    out.reserve(array->size());
    for (const auto& element : *array) out.push_back(removingKeysWithNullValues(element));
    return out;
  }
  if (const auto* dictionary = value.asDictionary()) {
    core::Value::Dictionary out;
    for (const auto& [key, element] : *dictionary) {
      if (element.isNull()) continue;
      out.emplace(key, removingKeysWithNullValues(element));
    }
    return out;
  }
  return value;
}

HCResponseObject HCJSONResponseSerializer::responseObjectForResponse(const net::HTTPURLResponse* response,
                                                                     const std::optional<std::string>& data,
                                                                     std::optional<core::Error>* error) const {
  if (!validateForDecoding(response, data, error)) return std::monostate{};
  // An empty body, or the single space some servers send for "nothing", is no object and no error.
  if (!data || data->empty() || *data == " ") return std::monostate{};

  core::Error parseError;
  auto object = core::Json::parse(*data, &parseError, (m_readingOptions & AllowFragments) != 0);
  if (object && m_removesKeysWithNullValues) object = removingKeysWithNullValues(*object);
  if (error) {
    std::optional<core::Error> failure;
    if (!object) failure = parseError;
    *error = errorWithUnderlyingError(failure, *error);
  }
  if (!object) return std::monostate{};
  return *object;
}

}  // namespace kt
