#include "http/HCHTTPResponseSerializer.h"

#include "http/HCCompoundResponseSerializer.h"
#include "http/HCImageResponseSerializer.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCKeyedCoding.h"
#include "http/HCPropertyListResponseSerializer.h"
#include "http/HCXMLParserResponseSerializer.h"
#include "platform/core/Bundle.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"

#include <cstdint>

namespace kt {

namespace {

// The format from the library's strings table (the format itself when it has no entry), with
// its "%@" and "%ld" filled in order.
std::string formatMessage(const std::string& format, const std::vector<std::string>& arguments) {
  std::string text = core::Bundle::main().localizedString(format, "", "HTTPClient");
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool object = text.compare(i, 2, "%@") == 0;
    bool number = text.compare(i, 3, "%ld") == 0;
    if ((object || number) && next < arguments.size()) {
      out += arguments[next++];
      i += object ? 1 : 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

core::Value responseInfo(const net::HTTPURLResponse& response) {
  core::Value info;
  info.set("URL", response.url().absoluteString());
  info.set("statusCode", response.statusCode());
  if (response.MIMEType()) info.set("MIMEType", *response.MIMEType());
  core::Value headers = core::Value(core::Value::Dictionary{});
  for (const auto& [name, value] : response.allHeaderFields()) headers.set(name, value);
  info.set("headers", headers);
  return info;
}

core::Error validationError(int64_t code, const std::string& description, const net::HTTPURLResponse& response,
                            const std::optional<std::string>& data) {
  core::Value info;
  info.set(core::Error::LocalizedDescriptionKey, description);
  info.set(net::URLError::FailingURLStringKey, response.url().absoluteString());
  info.set(HCFailingURLResponseErrorKey, responseInfo(response));
  if (data) info.set(HCFailingURLResponseDataErrorKey, core::Value::data(*data));
  return core::Error(HCResponseSerializationErrorDomain, code, info);
}

}  // namespace

HCHTTPResponseSerializer::HCHTTPResponseSerializer() {
  std::set<int> codes;
  for (int code = 200; code < 300; ++code) codes.insert(code);
  m_acceptableStatusCodes = std::move(codes);
}

std::shared_ptr<HCHTTPResponseSerializer> HCHTTPResponseSerializer::copy() const {
  auto other = std::make_shared<HCHTTPResponseSerializer>();
  copySettingsInto(*other);
  return other;
}

void HCHTTPResponseSerializer::copySettingsInto(HCHTTPResponseSerializer& other) const {
  other.m_stringEncoding = m_stringEncoding;
  other.m_acceptableStatusCodes = m_acceptableStatusCodes;
  other.m_acceptableContentTypes = m_acceptableContentTypes;
}

core::Value HCHTTPResponseSerializer::encodeWithCoder() const {
  core::Value coder{core::Value::Dictionary{}};
  coder.set(HCCoderClassKey, className());
  if (m_acceptableStatusCodes) {
    core::Value::Array codes(m_acceptableStatusCodes->begin(), m_acceptableStatusCodes->end());
    coder.set("acceptableStatusCodes", std::move(codes));
  }
  if (m_acceptableContentTypes) {
    core::Value::Array types(m_acceptableContentTypes->begin(), m_acceptableContentTypes->end());
    coder.set("acceptableContentTypes", std::move(types));
  }
  return coder;
}

std::shared_ptr<HCHTTPResponseSerializer> HCHTTPResponseSerializer::initWithCoder(const core::Value& coder) {
  if (!coder.isDictionary()) return nullptr;
  std::shared_ptr<HCHTTPResponseSerializer> serializer;
  const std::string name = archivedClassName(coder).value_or("HCHTTPResponseSerializer");
  if (name == "HCHTTPResponseSerializer") {
    serializer = std::make_shared<HCHTTPResponseSerializer>();
  } else if (name == "HCJSONResponseSerializer") {
    serializer = std::make_shared<HCJSONResponseSerializer>();
  } else if (name == "HCXMLParserResponseSerializer") {
    serializer = std::make_shared<HCXMLParserResponseSerializer>();
  } else if (name == "HCPropertyListResponseSerializer") {
    serializer = std::make_shared<HCPropertyListResponseSerializer>();
  } else if (name == "HCImageResponseSerializer") {
    serializer = std::make_shared<HCImageResponseSerializer>();
  } else if (name == "HCCompoundResponseSerializer") {
    serializer = std::make_shared<HCCompoundResponseSerializer>();
  } else {
    return nullptr;
  }
  serializer->decodeWithCoder(coder);
  return serializer;
}

void HCHTTPResponseSerializer::decodeWithCoder(const core::Value& coder) {
  const core::Value& codes = coder["acceptableStatusCodes"];
  if (codes.isNull()) {
    m_acceptableStatusCodes.reset();
  } else if (const auto* array = codes.asArray()) {
    std::set<int> set;
    for (const core::Value& code : *array) {
      if (auto n = code.asInteger(); n && *n >= 0 && *n <= INT32_MAX) set.insert(static_cast<int>(*n));
    }
    m_acceptableStatusCodes = std::move(set);
  }
  const core::Value& types = coder["acceptableContentTypes"];
  if (types.isNull()) {
    m_acceptableContentTypes.reset();
  } else if (const auto* array = types.asArray()) {
    std::set<std::string> set;
    for (const core::Value& type : *array) {
      if (const std::string* text = type.asString()) set.insert(*text);
    }
    m_acceptableContentTypes = std::move(set);
  }
}

std::optional<core::Error> HCHTTPResponseSerializer::errorWithUnderlyingError(
    const std::optional<core::Error>& error, const std::optional<core::Error>& underlying) {
  if (!error) return underlying;
  if (!underlying || error->underlying()) return error;
  core::Error chained = *error;
  chained.setUnderlying(*underlying);
  return chained;
}

bool HCHTTPResponseSerializer::isContentTypeFailure(const core::Error& error) {
  if (error.domain() == HCResponseSerializationErrorDomain && error.code() == net::URLError::CannotDecodeContentData) {
    return true;
  }
  return error.underlying() && isContentTypeFailure(*error.underlying());
}

bool HCHTTPResponseSerializer::validateResponse(const net::HTTPURLResponse* response,
                                                const std::optional<std::string>& data,
                                                std::optional<core::Error>* error) const {
  if (!response) return true;
  bool valid = true;
  std::optional<core::Error> failure;
  bool hasBody = data && !data->empty();
  bool hasURL = !response->url().isEmpty();
  const auto& mime = response->MIMEType();

  if (m_acceptableContentTypes && !(mime && m_acceptableContentTypes->count(*mime)) && !(!mime && !hasBody)) {
    if (hasBody && hasURL) {
      failure = validationError(net::URLError::CannotDecodeContentData,
                                formatMessage("Request failed: unacceptable content-type: %@", {mime.value_or("(null)")}),
                                *response, data);
    }
    valid = false;
  }
  if (m_acceptableStatusCodes && !m_acceptableStatusCodes->count(response->statusCode()) && hasURL) {
    int code = response->statusCode();
    core::Error statusError = validationError(
        net::URLError::BadServerResponse,
        formatMessage("Request failed: %@ (%ld)",
                      {net::HTTPURLResponse::localizedStringForStatusCode(code), std::to_string(code)}),
        *response, data);
    failure = errorWithUnderlyingError(statusError, failure);
    valid = false;
  }
  if (!valid && error) *error = failure;
  return valid;
}

bool HCHTTPResponseSerializer::validateForDecoding(const net::HTTPURLResponse* response,
                                                   const std::optional<std::string>& data,
                                                   std::optional<core::Error>* error) const {
  if (validateResponse(response, data, error)) return true;
  // A status-code failure alone still decodes the body; the error stays with the result.
  return error && !(*error && isContentTypeFailure(**error));
}

HCResponseObject HCHTTPResponseSerializer::responseObjectForResponse(const net::HTTPURLResponse* response,
                                                                     const std::optional<std::string>& data,
                                                                     std::optional<core::Error>* error) const {
  validateResponse(response, data, error);
  if (!data) return std::monostate{};
  return core::Value::data(*data);
}

}  // namespace kt
