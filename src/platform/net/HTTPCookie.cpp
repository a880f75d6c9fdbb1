#include "platform/net/HTTPCookie.h"

#include <algorithm>
#include <cctype>

namespace net {

namespace {

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string lowercase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

// Whether the text after a comma starts a new cookie: "name=" where the name has no blank,
// ";" or ",". The "21 Oct 2015 ..." after the comma of an Expires date does not.
bool startsCookie(std::string_view rest) {
  rest = trim(rest);
  const size_t eq = rest.find('=');
  if (eq == 0 || eq == std::string_view::npos) return false;
  return rest.substr(0, eq).find_first_of(" \t;,") == std::string_view::npos;
}

// Splits one field value into the Set-Cookie entries it joins.
std::vector<std::string_view> splitEntries(std::string_view value) {
  std::vector<std::string_view> entries;
  size_t start = 0;
  for (size_t comma = value.find(','); comma != std::string_view::npos; comma = value.find(',', comma + 1)) {
    if (!startsCookie(value.substr(comma + 1))) continue;
    entries.push_back(value.substr(start, comma - start));
    start = comma + 1;
  }
  entries.push_back(value.substr(start));
  return entries;
}

std::string defaultPath(const URL& url) {
  const std::string& path = url.percentEncodedPath();
  const size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == 0 || slash == std::string::npos) return "/";
  return path.substr(0, slash);
}

}  // namespace

HTTPCookie::HTTPCookie(std::string name, std::string value, std::string domain, std::string path, bool secure,
                       bool HTTPOnly)
    : m_name(std::move(name)),
      m_value(std::move(value)),
      m_domain(std::move(domain)),
      m_path(std::move(path)),
      m_secure(secure),
      m_HTTPOnly(HTTPOnly) {}

std::vector<HTTPCookie> HTTPCookie::cookiesWithResponseHeaderFields(const HeaderFields& fields, const URL& url) {
  std::vector<HTTPCookie> cookies;
  for (const auto& [fieldName, fieldValue] : fields) {
    if (!headerNamesEqual(fieldName, "Set-Cookie")) continue;
    for (std::string_view entry : splitEntries(fieldValue)) {
      size_t semicolon = entry.find(';');
      std::string_view pair = trim(entry.substr(0, semicolon));
      const size_t eq = pair.find('=');
      if (eq == std::string_view::npos) continue;
      std::string_view name = trim(pair.substr(0, eq));
      std::string_view value = trim(pair.substr(eq + 1));
      if (name.empty()) continue;
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);

      HTTPCookie cookie{std::string(name), std::string(value), url.host().value_or(""), defaultPath(url)};
      while (semicolon != std::string_view::npos) {
        const size_t next = entry.find(';', semicolon + 1);
        std::string_view attribute = trim(entry.substr(semicolon + 1, next == std::string_view::npos
                                                                          ? std::string_view::npos
                                                                          : next - semicolon - 1));
        semicolon = next;
        const size_t attributeEq = attribute.find('=');
        const std::string key = lowercase(trim(attribute.substr(0, attributeEq)));
        std::string_view argument =
            attributeEq == std::string_view::npos ? std::string_view() : trim(attribute.substr(attributeEq + 1));
        if (key == "domain" && !argument.empty()) {
          if (argument.front() == '.') argument.remove_prefix(1);
          cookie.m_domain = lowercase(argument);
        } else if (key == "path" && !argument.empty() && argument.front() == '/') {
          cookie.m_path = std::string(argument);
        } else if (key == "secure") {
          cookie.m_secure = true;
        } else if (key == "httponly") {
          cookie.m_HTTPOnly = true;
        }
      }
      cookies.push_back(std::move(cookie));
    }
  }
  return cookies;
}

HeaderFields HTTPCookie::requestHeaderFieldsWithCookies(const std::vector<HTTPCookie>& cookies) {
  if (cookies.empty()) return {};
  std::string line;
  for (const HTTPCookie& cookie : cookies) {
    if (!line.empty()) line += "; ";
    line += cookie.name() + "=" + cookie.value();
  }
  return {{"Cookie", line}};
}

}  // namespace net
