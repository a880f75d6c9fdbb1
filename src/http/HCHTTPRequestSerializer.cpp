#include "http/HCHTTPRequestSerializer.h"

#include "http/HCJSONRequestSerializer.h"
#include "http/HCKeyedCoding.h"
#include "http/HCMultipartBodyStream.h"
#include "http/HCPropertyListRequestSerializer.h"
#include "http/HCQueryStringPair.h"
#include "http/HCStreamingMultipartFormData.h"
#include "platform/core/Bundle.h"
#include "platform/core/Device.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLError.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace kt {

// The default headers, kept apart from the serializer so that a pending write can outlive it.
struct HCHTTPRequestSerializer::HeaderStore {
  std::shared_ptr<core::Queue> queue = core::Queue::createConcurrent("requestHeaderModificationQueue");
  net::HeaderFields fields;  // touched only on the queue

  void set(const std::optional<std::string>& value, const std::string& field) {
    auto it = std::find_if(fields.begin(), fields.end(),
                           [&](const auto& entry) { return net::headerNamesEqual(entry.first, field); });
    if (!value) {
      if (it != fields.end()) fields.erase(it);
    } else if (it != fields.end()) {
      it->second = *value;
    } else {
      fields.emplace_back(field, *value);
    }
  }
};

namespace {

std::mutex g_languagesMutex;
// Never destroyed: requests are serialized on other threads while the process exits.
std::optional<std::vector<std::string>>& languagesSlot() {
  static auto* languages = new std::optional<std::vector<std::string>>;
  return *languages;
}

// "zh_CN.UTF-8" -> "zh-CN"; nothing for the C locale.
std::optional<std::string> languageFromLocale(std::string locale) {
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return std::nullopt;
  std::replace(locale.begin(), locale.end(), '_', '-');
  return locale;
}

std::string base64(std::string_view bytes) {
  static constexpr char kTable[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += kTable[(n >> 18) & 63];
    out += kTable[(n >> 12) & 63];
    out += kTable[(n >> 6) & 63];
    out += kTable[n & 63];
  }
  if (i < bytes.size()) {
    uint32_t n = uint8_t(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= uint8_t(bytes[i + 1]) << 8;
    out += kTable[(n >> 18) & 63];
    out += kTable[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kTable[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

core::Error lineBreakError() {
  return core::Error::withDescription(HCRequestSerializationErrorDomain, net::URLError::BadURL,
                                      "A header name or value must not contain a line break.");
}

std::string formatScale(double scale) {
  char text[32];
  std::snprintf(text, sizeof text, "%0.2f", scale);
  return text;
}

}  // namespace

bool headerTextHasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

std::vector<std::string> HCHTTPRequestSerializer::preferredLanguages() {
  {
    std::lock_guard lock(g_languagesMutex);
    if (const auto& languages = languagesSlot()) return *languages;
  }
  std::vector<std::string> languages;
  if (const char* list = std::getenv("LANGUAGE"); list && *list) {
    std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(':', start);
      if (end == std::string::npos) end = text.size();
      if (auto language = languageFromLocale(text.substr(start, end - start))) languages.push_back(*language);
      start = end + 1;
    }
  }
  if (languages.empty()) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value && *value) {
        if (auto language = languageFromLocale(value)) languages.push_back(*language);
        break;
      }
    }
  }
  if (languages.empty()) languages.push_back("en");
  return languages;
}

void HCHTTPRequestSerializer::setPreferredLanguages(std::optional<std::vector<std::string>> languages) {
  std::lock_guard lock(g_languagesMutex);
  languagesSlot() = std::move(languages);
}

std::string HCHTTPRequestSerializer::acceptLanguageFor(const std::vector<std::string>& languages) {
  std::string value;
  for (size_t i = 0; i < languages.size(); ++i) {
    // Computed in single precision, as the weights always were.
    float q = 1.0f - static_cast<float>(i) * 0.1f;
    char entry[256];
    std::snprintf(entry, sizeof entry, "%s;q=%0.1g", languages[i].c_str(), static_cast<double>(q));
    if (i > 0) value += ", ";
    value += entry;
    if (q <= 0.5f) break;
  }
  return value;
}

std::optional<std::string> HCHTTPRequestSerializer::asciiHeaderText(const std::string& text) {
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return text;
  }
  iconv_t converter = iconv_open("ASCII//TRANSLIT", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  // Character by character, so that one that cannot be transliterated is removed alone.
  std::string out;
  for (size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    length = std::min(length, text.size() - i);
    if (length == 1) {
      if (lead < 0x80) out += text[i];
      ++i;
      continue;
    }
    std::string character = text.substr(i, length);
    i += length;
    char buffer[32];
    char* in = character.data();
    size_t inLeft = character.size();
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
    std::string converted(buffer, static_cast<size_t>(outPtr - buffer));
    // iconv marks what it cannot transliterate with "?": such characters are removed.
    if (converted.find('?') != std::string::npos) continue;
    out += converted;
  }
  iconv_close(converter);
  return out;
}

HCHTTPRequestSerializer::HCHTTPRequestSerializer() : m_headers(std::make_shared<HeaderStore>()) {
  m_headers->set(acceptLanguageFor(preferredLanguages()), "Accept-Language");

  const core::Bundle& bundle = core::Bundle::main();
  std::string name = bundle.infoValue("BundleExecutable").stringValue();
  if (name.empty()) name = bundle.infoValue(core::Bundle::BundleIdentifierKey).stringValue();
  std::string version = bundle.infoValue("BundleShortVersionString").stringValue();
  if (version.empty()) version = bundle.infoValue("BundleVersion").stringValue();
  std::string userAgent = name + "/" + version + " (" + core::Device::model() + "; iOS " + core::Device::systemVersion() +
                          "; Scale/" + formatScale(gfx::Image::modeScale()) + ")";
  if (auto ascii = asciiHeaderText(userAgent)) userAgent = *ascii;
  if (!headerTextHasLineBreak(userAgent)) m_headers->set(userAgent, "User-Agent");
}

HCHTTPRequestSerializer::~HCHTTPRequestSerializer() = default;

std::shared_ptr<HCHTTPRequestSerializer> HCHTTPRequestSerializer::copy() const {
  auto other = std::make_shared<HCHTTPRequestSerializer>();
  copySettingsInto(*other);
  return other;
}

void HCHTTPRequestSerializer::copySettingsInto(HCHTTPRequestSerializer& other) const {
  net::HeaderFields fields = HTTPRequestHeaders();
  auto store = other.m_headers;
  store->queue->barrierSync([&] { store->fields = std::move(fields); });
  other.m_stringEncoding = m_stringEncoding;
  other.m_allowsCellularAccess = m_allowsCellularAccess;
  other.m_cachePolicy = m_cachePolicy;
  other.m_HTTPShouldHandleCookies = m_HTTPShouldHandleCookies;
  other.m_HTTPShouldUsePipelining = m_HTTPShouldUsePipelining;
  other.m_networkServiceType = m_networkServiceType;
  other.m_timeoutInterval = m_timeoutInterval;
  other.m_changedKeyPaths = m_changedKeyPaths;
  other.m_methodsInURI = m_methodsInURI;
  other.m_queryStyle = m_queryStyle;
  other.m_queryStringSerialization = m_queryStringSerialization;
}

core::Value HCHTTPRequestSerializer::encodeWithCoder() const {
  core::Value coder{core::Value::Dictionary{}};
  coder.set(HCCoderClassKey, className());
  core::Value headers{core::Value::Dictionary{}};
  for (const auto& [field, value] : HTTPRequestHeaders()) headers.set(field, value);
  coder.set("mutableHTTPRequestHeaders", std::move(headers));
  coder.set("queryStringSerializationStyle", m_queryStyle);
  return coder;
}

std::shared_ptr<HCHTTPRequestSerializer> HCHTTPRequestSerializer::initWithCoder(const core::Value& coder) {
  if (!coder.isDictionary()) return nullptr;
  std::shared_ptr<HCHTTPRequestSerializer> serializer;
  const std::string name = archivedClassName(coder).value_or("HCHTTPRequestSerializer");
  if (name == "HCHTTPRequestSerializer") {
    serializer = std::make_shared<HCHTTPRequestSerializer>();
  } else if (name == "HCJSONRequestSerializer") {
    serializer = std::make_shared<HCJSONRequestSerializer>();
  } else if (name == "HCPropertyListRequestSerializer") {
    serializer = std::make_shared<HCPropertyListRequestSerializer>();
  } else {
    return nullptr;
  }
  serializer->decodeWithCoder(coder);
  return serializer;
}

void HCHTTPRequestSerializer::decodeWithCoder(const core::Value& coder) {
  if (const auto* headers = coder["mutableHTTPRequestHeaders"].asDictionary()) {
    net::HeaderFields fields;
    for (const auto& [field, value] : *headers) {
      const std::string* text = value.asString();
      if (!text || field.empty() || headerTextHasLineBreak(field) || headerTextHasLineBreak(*text)) continue;
      fields.emplace_back(field, *text);
    }
    auto store = m_headers;
    store->queue->barrierSync([&] { store->fields = std::move(fields); });
  }
  if (auto style = decodeUnsignedInteger(coder, "queryStringSerializationStyle")) m_queryStyle = *style;
}

const std::vector<std::string>& HCHTTPRequestSerializer::observedRequestKeyPaths() {
  // Never destroyed: serializers are used on other threads while the process exits.
  static const auto* keyPaths = new std::vector<std::string>{"allowsCellularAccess",    "cachePolicy",
                                                             "HTTPShouldHandleCookies", "HTTPShouldUsePipelining",
                                                             "networkServiceType",      "timeoutInterval"};
  return *keyPaths;
}

void HCHTTPRequestSerializer::setAllowsCellularAccess(bool allows) {
  m_allowsCellularAccess = allows;
  m_changedKeyPaths.insert("allowsCellularAccess");
}
void HCHTTPRequestSerializer::setCachePolicy(net::URLRequestCachePolicy policy) {
  m_cachePolicy = policy;
  m_changedKeyPaths.insert("cachePolicy");
}
void HCHTTPRequestSerializer::setHTTPShouldHandleCookies(bool handle) {
  m_HTTPShouldHandleCookies = handle;
  m_changedKeyPaths.insert("HTTPShouldHandleCookies");
}
void HCHTTPRequestSerializer::setHTTPShouldUsePipelining(bool use) {
  m_HTTPShouldUsePipelining = use;
  m_changedKeyPaths.insert("HTTPShouldUsePipelining");
}
void HCHTTPRequestSerializer::setNetworkServiceType(net::URLRequestNetworkServiceType type) {
  m_networkServiceType = type;
  m_changedKeyPaths.insert("networkServiceType");
}
void HCHTTPRequestSerializer::setTimeoutInterval(double seconds) {
  m_timeoutInterval = seconds;
  m_changedKeyPaths.insert("timeoutInterval");
}

bool HCHTTPRequestSerializer::setValue(const std::optional<std::string>& value, const std::string& field,
                                       core::Error* error) {
  if (headerTextHasLineBreak(field) || (value && headerTextHasLineBreak(*value))) {
    core::setError(error, lineBreakError());
    return false;
  }
  auto store = m_headers;
  store->queue->barrierAsync([store, value, field] { store->set(value, field); });
  return true;
}

std::optional<std::string> HCHTTPRequestSerializer::valueForHTTPHeaderField(const std::string& field) const {
  std::optional<std::string> value;
  m_headers->queue->sync([&] { value = net::headerValue(m_headers->fields, field); });
  return value;
}

net::HeaderFields HCHTTPRequestSerializer::HTTPRequestHeaders() const {
  net::HeaderFields fields;
  m_headers->queue->sync([&] { fields = m_headers->fields; });
  return fields;
}

bool HCHTTPRequestSerializer::setAuthorizationHeaderFieldWithUsername(const std::string& username,
                                                                      const std::string& password,
                                                                      core::Error* error) {
  return setValue("Basic " + base64(username + ":" + password), "Authorization", error);
}

void HCHTTPRequestSerializer::clearAuthorizationHeader() { setValue(std::nullopt, "Authorization"); }

void HCHTTPRequestSerializer::setQueryStringSerializationWithStyle(uint64_t style) {
  m_queryStyle = style;
  m_queryStringSerialization = nullptr;
}

bool HCHTTPRequestSerializer::encodesParametersInURI(const std::string& method) const {
  std::string upper = method;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return m_methodsInURI.count(upper) > 0;
}

std::optional<net::URLRequest> HCHTTPRequestSerializer::requestWithMethod(const std::string& method,
                                                                          const std::string& URLString,
                                                                          const core::Value& parameters,
                                                                          core::Error* error) const {
  net::URLRequest request(net::URL::fromString(URLString));
  request.setHTTPMethod(method);
  if (m_changedKeyPaths.count("allowsCellularAccess")) request.setAllowsCellularAccess(m_allowsCellularAccess);
  if (m_changedKeyPaths.count("cachePolicy")) request.setCachePolicy(m_cachePolicy);
  if (m_changedKeyPaths.count("HTTPShouldHandleCookies")) request.setHTTPShouldHandleCookies(m_HTTPShouldHandleCookies);
  if (m_changedKeyPaths.count("HTTPShouldUsePipelining")) request.setHTTPShouldUsePipelining(m_HTTPShouldUsePipelining);
  if (m_changedKeyPaths.count("networkServiceType")) request.setNetworkServiceType(m_networkServiceType);
  if (m_changedKeyPaths.count("timeoutInterval")) request.setTimeoutInterval(m_timeoutInterval);
  return requestBySerializingRequest(request, parameters, error);
}

net::URLRequest HCHTTPRequestSerializer::requestWithDefaultHeaders(const net::URLRequest& request) const {
  net::URLRequest mutableRequest = request;
  for (const auto& [field, value] : HTTPRequestHeaders()) {
    if (!mutableRequest.valueForHTTPHeaderField(field)) mutableRequest.setValue(value, field);
  }
  return mutableRequest;
}

std::optional<net::URLRequest> HCHTTPRequestSerializer::requestWithCheckedHeaders(const net::URLRequest& request,
                                                                                  core::Error* error) const {
  net::URLRequest mutableRequest = requestWithDefaultHeaders(request);
  // Headers that carry CR or LF (the request's own) must not reach the wire.
  for (const auto& [field, value] : mutableRequest.allHTTPHeaderFields()) {
    if (headerTextHasLineBreak(field) || headerTextHasLineBreak(value)) {
      core::setError(error, lineBreakError());
      return std::nullopt;
    }
  }
  return mutableRequest;
}

std::optional<net::URLRequest> HCHTTPRequestSerializer::requestBySerializingRequest(const net::URLRequest& request,
                                                                                    const core::Value& parameters,
                                                                                    core::Error* error) const {
  auto checked = requestWithCheckedHeaders(request, error);
  if (!checked) return std::nullopt;
  net::URLRequest& mutableRequest = *checked;

  std::optional<std::string> query;
  if (!parameters.isNull()) {
    if (m_queryStringSerialization) {
      std::optional<core::Error> serializationError;
      query = m_queryStringSerialization(request, parameters, serializationError);
      if (serializationError) {
        core::setError(error, *serializationError);
        return std::nullopt;
      }
    } else if (m_queryStyle == 0) {
      query = queryStringFromParameters(parameters);
    }
  }

  if (encodesParametersInURI(mutableRequest.HTTPMethod())) {
    if (query && !query->empty() && mutableRequest.url()) {
      // The query goes before the fragment, which a URL's text always ends with.
      const net::URL& url = *mutableRequest.url();
      const std::string& whole = url.absoluteString();
      std::string fragment = url.fragment() ? "#" + *url.fragment() : std::string();
      std::string text = whole.substr(0, whole.size() - fragment.size()) + (url.query() ? "&" : "?") + *query;
      text += fragment;
      mutableRequest.setURL(net::URL::fromString(text));
    }
  } else {
    if (!query) query = std::string();
    if (!mutableRequest.valueForHTTPHeaderField("Content-Type")) {
      mutableRequest.setValue(std::string("application/x-www-form-urlencoded"), "Content-Type");
    }
    std::optional<std::string> body = encodeString(*query, m_stringEncoding);
    mutableRequest.setHTTPBody(body ? std::move(body) : std::move(query));
  }
  return mutableRequest;
}

std::optional<net::URLRequest> HCHTTPRequestSerializer::multipartFormRequestWithMethod(
    const std::string& method, const std::string& URLString, const core::Value& parameters,
    const std::function<void(HCMultipartFormData&)>& constructingBody, core::Error* error) const {
  auto request = requestWithMethod(method, URLString, core::Value(), error);
  if (!request) return std::nullopt;
  HCStreamingMultipartFormData formData(*request, HCStringEncodingUTF8);
  if (!parameters.isNull()) {
    for (const auto& pair : queryStringPairsForKeyAndValue(std::nullopt, parameters)) {
      std::optional<std::string> data;
      if (const std::string* bytes = pair.value().asData()) {
        data = *bytes;
      } else if (pair.value().isNull()) {
        data = std::string();
      } else {
        data = encodeString(pair.value().description(), m_stringEncoding);
      }
      if (!data) continue;
      core::Error partError;
      if (!formData.appendPartWithFormData(*data, pair.field().value_or("(null)"), &partError)) {
        core::setError(error, partError);
        return std::nullopt;
      }
    }
  }
  if (constructingBody) constructingBody(formData);
  return formData.requestByFinalizingMultipartFormData();
}

net::URLRequest HCHTTPRequestSerializer::requestWithMultipartFormRequest(const net::URLRequest& request,
                                                                         const std::string& filePath,
                                                                         CompletionHandler completion) const {
  std::shared_ptr<net::InputStream> input = request.HTTPBodyStream();
  core::Queue::global(core::Queue::Priority::Default)->async([input, filePath, completion] {
    std::optional<core::Error> failure;
    FILE* output = std::fopen(filePath.c_str(), "wb");
    if (!output) {
      failure = net::URLError::make(net::URLError::CannotCreateFile);
    } else if (input && input->open()) {
      uint8_t buffer[1024];
      for (;;) {
        long n = input->read(buffer, sizeof buffer);
        if (n < 0) {
          auto* multipart = dynamic_cast<HCMultipartBodyStream*>(input.get());
          failure = multipart && multipart->streamError() ? *multipart->streamError()
                                                          : net::URLError::make(net::URLError::CannotOpenFile);
          break;
        }
        if (n == 0) break;
        // Every byte read is written: a short write is continued until the chunk is out.
        size_t written = 0;
        while (written < static_cast<size_t>(n)) {
          size_t w = std::fwrite(buffer + written, 1, static_cast<size_t>(n) - written, output);
          if (w == 0) break;
          written += w;
        }
        if (written < static_cast<size_t>(n)) {
          failure = net::URLError::make(net::URLError::CannotWriteToFile);
          break;
        }
      }
      input->close();
    } else if (input) {
      failure = net::URLError::make(net::URLError::CannotOpenFile);
    }
    if (output && std::fclose(output) != 0 && !failure) failure = net::URLError::make(net::URLError::CannotWriteToFile);
    if (completion) core::Queue::main()->async([completion, failure] { completion(failure); });
  });
  net::URLRequest mutableRequest = request;
  mutableRequest.setHTTPBodyStream(nullptr);
  return mutableRequest;
}

}  // namespace kt
