#include "platform/net/URLRequest.h"

#include "platform/net/InputStream.h"

#include <algorithm>
#include <cctype>

namespace net {

bool headerNamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::string> headerValue(const HeaderFields& fields, std::string_view name) {
  for (const auto& [key, value] : fields) {
    if (headerNamesEqual(key, name)) return value;
  }
  return std::nullopt;
}

URLRequest::URLRequest(std::optional<URL> url, URLRequestCachePolicy cachePolicy, double timeoutInterval)
    : m_url(std::move(url)), m_timeout(timeoutInterval), m_cachePolicy(cachePolicy) {
  m_timeoutSet = timeoutInterval != DefaultTimeoutInterval;
}

void URLRequest::setHTTPMethod(std::string method) {
  m_method = method.empty() ? "GET" : std::move(method);
}

void URLRequest::setAllHTTPHeaderFields(const HeaderFields& fields) {
  m_headers.clear();
  for (const auto& [name, value] : fields) setValue(value, name);
}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
  return headerValue(m_headers, field);
}

void URLRequest::setValue(const std::optional<std::string>& value, std::string_view field) {
  auto it = std::find_if(m_headers.begin(), m_headers.end(),
                         [&](const auto& entry) { return headerNamesEqual(entry.first, field); });
  if (!value) {
    if (it != m_headers.end()) m_headers.erase(it);
    return;
  }
  if (it != m_headers.end()) {
    it->second = *value;
  } else {
    m_headers.emplace_back(std::string(field), *value);
  }
}

void URLRequest::addValue(const std::string& value, std::string_view field) {
  std::optional<std::string> current = valueForHTTPHeaderField(field);
  setValue(current ? *current + ", " + value : value, field);
}

void URLRequest::setHTTPBody(std::optional<std::string> body) {
  m_body = std::move(body);
  if (m_body) m_bodyStream.reset();
}

void URLRequest::setHTTPBodyStream(std::shared_ptr<InputStream> stream) {
  m_bodyStream = std::move(stream);
  if (m_bodyStream) m_body.reset();
}

void URLRequest::setTimeoutInterval(double seconds) {
  m_timeout = seconds;
  m_timeoutSet = true;
}

}  // namespace net
