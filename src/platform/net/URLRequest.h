#pragma once

#include "platform/net/URL.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace net {

class InputStream;

// Header fields in the order first set; names compare without case and keep the case first given.
using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// Case-insensitive look-up in a header list.
std::optional<std::string> headerValue(const HeaderFields& fields, std::string_view name);
bool headerNamesEqual(std::string_view a, std::string_view b);

enum class URLRequestCachePolicy : int {
  UseProtocolCachePolicy = 0,
  ReloadIgnoringLocalCacheData = 1,
  ReturnCacheDataElseLoad = 2,
  ReturnCacheDataDontLoad = 3,
  // Loads from the origin; treated like ReloadIgnoringLocalCacheData (there are no proxies here).
  ReloadIgnoringLocalAndRemoteCacheData = 4,
  // Checks a cached reply with the server before using it.
  ReloadRevalidatingCacheData = 5,
};

enum class URLRequestNetworkServiceType : int {
  Default = 0,
  VoIP = 1,
  Video = 2,
  Background = 3,
  Voice = 4,
  ResponsiveData = 6,
  AVStreaming = 8,
  ResponsiveAV = 9,
  CallSignaling = 11,
};

// What to load and how: a value type, freely copied and changed.
class URLRequest {
 public:
  static constexpr double DefaultTimeoutInterval = 60;

  URLRequest() = default;
  explicit URLRequest(std::optional<URL> url,
                      URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy,
                      double timeoutInterval = DefaultTimeoutInterval);

  const std::optional<URL>& url() const { return m_url; }
  void setURL(std::optional<URL> url) { m_url = std::move(url); }

  // "GET" unless set.
  const std::string& HTTPMethod() const { return m_method; }
  void setHTTPMethod(std::string method);

  const HeaderFields& allHTTPHeaderFields() const { return m_headers; }
  void setAllHTTPHeaderFields(const HeaderFields& fields);
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
  // Replaces the field's value; nothing removes the field.
  void setValue(const std::optional<std::string>& value, std::string_view field);
  // Appends to the field's value with ", ", or sets it.
  void addValue(const std::string& value, std::string_view field);

  // The body bytes, or a stream to read them from; setting one clears the other.
  const std::optional<std::string>& HTTPBody() const { return m_body; }
  void setHTTPBody(std::optional<std::string> body);
  const std::shared_ptr<InputStream>& HTTPBodyStream() const { return m_bodyStream; }
  void setHTTPBodyStream(std::shared_ptr<InputStream> stream);

  // Seconds without any bytes after which the request fails as timed out.
  double timeoutInterval() const { return m_timeout; }
  void setTimeoutInterval(double seconds);
  // Whether the time-out was set (or given to the constructor as other than the default);
  // otherwise the session's own request time-out applies.
  bool hasExplicitTimeout() const { return m_timeoutSet; }

  URLRequestCachePolicy cachePolicy() const { return m_cachePolicy; }
  void setCachePolicy(URLRequestCachePolicy policy) { m_cachePolicy = policy; }
  // Kept for callers that set it; every connection here is allowed.
  bool allowsCellularAccess() const { return m_allowsCellular; }
  void setAllowsCellularAccess(bool allows) { m_allowsCellular = allows; }
  bool HTTPShouldHandleCookies() const { return m_handleCookies; }
  void setHTTPShouldHandleCookies(bool handle) { m_handleCookies = handle; }
  bool HTTPShouldUsePipelining() const { return m_pipelining; }
  void setHTTPShouldUsePipelining(bool use) { m_pipelining = use; }
  URLRequestNetworkServiceType networkServiceType() const { return m_serviceType; }
  void setNetworkServiceType(URLRequestNetworkServiceType type) { m_serviceType = type; }

 private:
  std::optional<URL> m_url;
  std::string m_method = "GET";
  HeaderFields m_headers;
  std::optional<std::string> m_body;
  std::shared_ptr<InputStream> m_bodyStream;
  double m_timeout = DefaultTimeoutInterval;
  bool m_timeoutSet = false;
  URLRequestCachePolicy m_cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;
  bool m_allowsCellular = true;
  bool m_handleCookies = true;
  bool m_pipelining = false;
  URLRequestNetworkServiceType m_serviceType = URLRequestNetworkServiceType::Default;
};

}  // namespace net
