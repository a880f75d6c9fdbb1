#pragma once

#include "platform/net/URLRequest.h"

#include <memory>
#include <optional>
#include <string>

namespace net {

class URLCache;

// The settings a session is made with; the session keeps its own copy.
class URLSessionConfiguration {
 public:
  static URLSessionConfiguration defaultSessionConfiguration() { return URLSessionConfiguration(); }
  // Like the default one; nothing here is persisted anyway.
  static URLSessionConfiguration ephemeralSessionConfiguration() { return URLSessionConfiguration(); }
  // A configuration with an identifier; transfers still run in this process only.
  static URLSessionConfiguration backgroundSessionConfiguration(const std::string& identifier) {
    URLSessionConfiguration c;
    c.m_identifier = identifier;
    return c;
  }

  const std::optional<std::string>& identifier() const { return m_identifier; }

  // Idle time-out of requests that do not set their own, in seconds.
  double timeoutIntervalForRequest() const { return m_requestTimeout; }
  void setTimeoutIntervalForRequest(double seconds) { m_requestTimeout = seconds; }
  // Longest time a whole transfer may take, in seconds.
  double timeoutIntervalForResource() const { return m_resourceTimeout; }
  void setTimeoutIntervalForResource(double seconds) { m_resourceTimeout = seconds; }

  // Fields added to every request that does not set them itself.
  const HeaderFields& HTTPAdditionalHeaders() const { return m_additionalHeaders; }
  void setHTTPAdditionalHeaders(HeaderFields fields) { m_additionalHeaders = std::move(fields); }

  int HTTPMaximumConnectionsPerHost() const { return m_maxConnectionsPerHost; }
  void setHTTPMaximumConnectionsPerHost(int count) { m_maxConnectionsPerHost = count; }

  URLRequestCachePolicy requestCachePolicy() const { return m_cachePolicy; }
  void setRequestCachePolicy(URLRequestCachePolicy policy) { m_cachePolicy = policy; }
  const std::shared_ptr<class URLCache>& URLCache() const { return m_cache; }
  void setURLCache(std::shared_ptr<class URLCache> cache) { m_cache = std::move(cache); }

  bool allowsCellularAccess() const { return m_allowsCellular; }
  void setAllowsCellularAccess(bool allows) { m_allowsCellular = allows; }
  bool HTTPShouldSetCookies() const { return m_setCookies; }
  void setHTTPShouldSetCookies(bool set) { m_setCookies = set; }
  bool HTTPShouldUsePipelining() const { return m_pipelining; }
  void setHTTPShouldUsePipelining(bool use) { m_pipelining = use; }
  URLRequestNetworkServiceType networkServiceType() const { return m_serviceType; }
  void setNetworkServiceType(URLRequestNetworkServiceType type) { m_serviceType = type; }

 private:
  std::optional<std::string> m_identifier;
  double m_requestTimeout = 60;
  double m_resourceTimeout = 7 * 24 * 3600;
  HeaderFields m_additionalHeaders;
  int m_maxConnectionsPerHost = 6;
  URLRequestCachePolicy m_cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;
  std::shared_ptr<class URLCache> m_cache;
  bool m_allowsCellular = true;
  bool m_setCookies = true;
  bool m_pipelining = false;
  URLRequestNetworkServiceType m_serviceType = URLRequestNetworkServiceType::Default;
};

}  // namespace net
