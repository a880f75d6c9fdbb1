#include "http/HCCompoundResponseSerializer.h"

#include "http/HCKeyedCoding.h"

namespace kt {

namespace {
constexpr int kMaxNesting = 16;
}  // namespace

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

core::Value HCCompoundResponseSerializer::encodeWithCoder() const {
  core::Value coder = HCHTTPResponseSerializer::encodeWithCoder();
  core::Value::Array members;
  for (const auto& member : m_responseSerializers) {
    if (member) members.push_back(member->encodeWithCoder());
  }
  coder.set("responseSerializers", std::move(members));
  return coder;
}

void HCCompoundResponseSerializer::decodeWithCoder(const core::Value& coder) {
  HCHTTPResponseSerializer::decodeWithCoder(coder);
  const auto* members = coder["responseSerializers"].asArray();
  if (!members) return;
  // Compounds nested in compounds: an archive nested deeper than any sensible one is refused
  // rather than decoded on an ever deeper stack.
  static thread_local int depth = 0;
  if (depth >= kMaxNesting) return;
  ++depth;
  Members decoded;
  for (const core::Value& member : *members) {
    if (auto serializer = initWithCoder(member)) decoded.push_back(std::move(serializer));
  }
  --depth;
  m_responseSerializers = std::move(decoded);
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
