#pragma once

#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

#include <string>
#include <string_view>
#include <vector>

namespace net {

// One HTTP cookie as a server set it: name and value, with the domain and path it is for.
class HTTPCookie {
 public:
  HTTPCookie(std::string name, std::string value, std::string domain, std::string path = "/",
             bool secure = false, bool HTTPOnly = false);

  const std::string& name() const { return m_name; }
  const std::string& value() const { return m_value; }
  const std::string& domain() const { return m_domain; }
  const std::string& path() const { return m_path; }
  bool isSecure() const { return m_secure; }
  bool isHTTPOnly() const { return m_HTTPOnly; }

  // The cookies of a reply's "Set-Cookie" fields for the URL it came from, in the order sent.
  // Several cookies in one field (as repeated fields are joined with ", ") are split again; a
  // comma inside an Expires date does not split. Without a Domain the cookie is for the URL's
  // host, without a Path for the directory of the URL's path. Entries without a name are
  // skipped; the value loses surrounding double quotes.
  static std::vector<HTTPCookie> cookiesWithResponseHeaderFields(const HeaderFields& fields, const URL& url);
  // The request field that sends the cookies: "Cookie: a=1; b=2"; no field for no cookies.
  static HeaderFields requestHeaderFieldsWithCookies(const std::vector<HTTPCookie>& cookies);

  bool operator==(const HTTPCookie& other) const = default;

 private:
  std::string m_name;
  std::string m_value;
  std::string m_domain;
  std::string m_path;
  bool m_secure = false;
  bool m_HTTPOnly = false;
};

}  // namespace net
