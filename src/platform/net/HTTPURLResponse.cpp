#include "platform/net/HTTPURLResponse.h"

#include <cctype>
#include <cstdlib>

namespace net {

namespace {

std::string trim(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return std::string(text.substr(b, e - b + 1));
}

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string unquote(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

// The value of one parameter ("charset", "filename") of a header value "type; a=b; c=d".
std::optional<std::string> parameter(std::string_view value, std::string_view name) {
  size_t pos = value.find(';');
  while (pos != std::string_view::npos) {
    size_t next = value.find(';', pos + 1);
    std::string_view item = value.substr(pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1);
    size_t eq = item.find('=');
    if (eq != std::string_view::npos && lowercase(trim(item.substr(0, eq))) == name) {
      return unquote(trim(item.substr(eq + 1)));
    }
    pos = next;
  }
  return std::nullopt;
}

}  // namespace

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, std::string HTTPVersion, HeaderFields headerFields)
    : m_url(std::move(url)), m_status(statusCode), m_version(std::move(HTTPVersion)) {
  for (auto& [name, value] : headerFields) {
    bool merged = false;
    for (auto& [have, haveValue] : m_headers) {
      if (headerNamesEqual(have, name)) {
        haveValue += ", " + value;
        merged = true;
        break;
      }
    }
    if (!merged) m_headers.emplace_back(std::move(name), std::move(value));
  }
  if (auto type = valueForHTTPHeaderField("Content-Type")) {
    std::string media = lowercase(trim(std::string_view(*type).substr(0, type->find(';'))));
    if (!media.empty()) m_mimeType = media;
    if (auto charset = parameter(*type, "charset"); charset && !charset->empty()) m_encoding = lowercase(*charset);
  }
  if (auto length = valueForHTTPHeaderField("Content-Length")) {
    std::string text = trim(*length);
    char* end = nullptr;
    long long n = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && end && *end == '\0' && n >= 0) m_expectedLength = n;
  }
}

std::optional<std::string> HTTPURLResponse::valueForHTTPHeaderField(std::string_view field) const {
  return headerValue(m_headers, field);
}

std::string HTTPURLResponse::suggestedFilename() const {
  if (auto disposition = valueForHTTPHeaderField("Content-Disposition")) {
    if (auto name = parameter(*disposition, "filename"); name && !name->empty()) {
      // Only the last path component: a reply must not choose a directory.
      size_t slash = name->find_last_of("/\\");
      std::string base = slash == std::string::npos ? *name : name->substr(slash + 1);
      if (!base.empty() && base != "." && base != "..") return base;
    }
  }
  std::string last = m_url.lastPathComponent();
  if (!last.empty() && last != "/") return last;
  return "Unknown";
}

std::string HTTPURLResponse::localizedStringForStatusCode(int statusCode) {
  switch (statusCode) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "temporarily redirected";
    case 308: return "permanent redirect";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
  }
  if (statusCode >= 100 && statusCode < 200) return "informational";
  if (statusCode >= 200 && statusCode < 300) return "success";
  if (statusCode >= 300 && statusCode < 400) return "redirected";
  if (statusCode >= 400 && statusCode < 500) return "client error";
  if (statusCode >= 500 && statusCode < 600) return "server error";
  return "server error";
}

}  // namespace net
