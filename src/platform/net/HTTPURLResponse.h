#pragma once

#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

#include <cstdint>
#include <optional>
#include <string>

namespace net {

// The status line and header of an HTTP reply, with the facts read from them.
class HTTPURLResponse {
 public:
  HTTPURLResponse(URL url, int statusCode, std::string HTTPVersion, HeaderFields headerFields);

  const URL& url() const { return m_url; }
  int statusCode() const { return m_status; }
  const std::string& HTTPVersion() const { return m_version; }
  // Repeated fields are joined with ", " under the name first seen.
  const HeaderFields& allHeaderFields() const { return m_headers; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;

  // Lower-cased media type of Content-Type ("text/html"); nothing without one.
  const std::optional<std::string>& MIMEType() const { return m_mimeType; }
  // Lower-cased charset parameter of Content-Type ("utf-8"); nothing without one.
  const std::optional<std::string>& textEncodingName() const { return m_encoding; }
  // Content-Length, or -1 when not known.
  int64_t expectedContentLength() const { return m_expectedLength; }
  // The file name of Content-Disposition, else the URL's last path component, else "Unknown".
  std::string suggestedFilename() const;

  // The English reason phrase of a status code ("not found"), lower-cased as the platform gave it.
  static std::string localizedStringForStatusCode(int statusCode);

 private:
  URL m_url;
  int m_status = 0;
  std::string m_version;
  HeaderFields m_headers;
  std::optional<std::string> m_mimeType;
  std::optional<std::string> m_encoding;
  int64_t m_expectedLength = -1;
};

}  // namespace net
