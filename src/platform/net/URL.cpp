#include "platform/net/URL.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>

namespace net {

namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool isAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Characters that may stand in a URL text (RFC 3986 unreserved, reserved and "%").
bool isURLCharacter(char c) {
  if (isAlnum(c)) return true;
  static constexpr std::string_view kOthers = "-._~:/?#[]@!$&'()*+,;=%";
  return kOthers.find(c) != std::string_view::npos;
}

bool hasOnlyURLCharacters(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!isURLCharacter(c)) return false;
    if (c == '%' && (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2]))) return false;
  }
  return true;
}

// The five parts of a URL reference (RFC 3986, section 3).
struct Parts {
  std::optional<std::string> scheme;
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

std::optional<size_t> schemeLength(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return std::nullopt;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == ':') return i;
    if (!isAlnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
  }
  return std::nullopt;
}

Parts split(std::string_view text) {
  Parts parts;
  if (size_t hash = text.find('#'); hash != std::string_view::npos) {
    parts.fragment = std::string(text.substr(hash + 1));
    text = text.substr(0, hash);
  }
  if (size_t q = text.find('?'); q != std::string_view::npos) {
    parts.query = std::string(text.substr(q + 1));
    text = text.substr(0, q);
  }
  if (auto len = schemeLength(text)) {
    parts.scheme = std::string(text.substr(0, *len));
    text = text.substr(*len + 1);
  }
  if (text.substr(0, 2) == "//") {
    text = text.substr(2);
    size_t slash = text.find('/');
    parts.authority = std::string(text.substr(0, slash));
    text = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  }
  parts.path = std::string(text);
  return parts;
}

std::string compose(const Parts& parts) {
  std::string out;
  if (parts.scheme) out += *parts.scheme + ":";
  if (parts.authority) out += "//" + *parts.authority;
  out += parts.path;
  if (parts.query) out += "?" + *parts.query;
  if (parts.fragment) out += "#" + *parts.fragment;
  return out;
}

// RFC 3986, section 5.2.4.
std::string removeDotSegments(std::string_view input) {
  std::string out;
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.substr(0, 4) == "/../" || input == "/..") {
      input = input.size() == 3 ? std::string_view("/") : input.substr(3);
      size_t last = out.rfind('/');
      out.erase(last == std::string::npos ? 0 : last);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      size_t next = input.find('/', 1);
      if (next == std::string_view::npos) next = input.size();
      out.append(input.substr(0, next));
      input.remove_prefix(next);
    }
  }
  return out;
}

// RFC 3986, section 5.2.3.
std::string merge(const Parts& base, const std::string& ref) {
  if (base.authority && base.path.empty()) return "/" + ref;
  size_t slash = base.path.rfind('/');
  if (slash == std::string::npos) return ref;
  return base.path.substr(0, slash + 1) + ref;
}

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Checks a hierarchical URL with libcurl's parser.
bool curlAccepts(const std::string& text) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), &curl_url_cleanup);
  if (!handle) return false;
  return curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
}

}  // namespace

bool URL::parse(std::string_view text) {
  if (text.empty() || !hasOnlyURLCharacters(text)) return false;
  Parts parts = split(text);
  if (!parts.scheme) return false;
  m_text = std::string(text);
  m_scheme = lowercase(*parts.scheme);
  m_path = parts.path;
  m_query = parts.query;
  m_fragment = parts.fragment;
  m_hasAuthority = parts.authority.has_value();
  if (!m_hasAuthority) return true;
  m_authority = *parts.authority;
  if (m_scheme != "file" && !curlAccepts(m_text)) return false;

  std::string_view rest = m_authority;
  if (size_t at = rest.rfind('@'); at != std::string_view::npos) {
    std::string_view info = rest.substr(0, at);
    rest = rest.substr(at + 1);
    size_t colon = info.find(':');
    m_user = percentDecode(info.substr(0, colon));
    if (colon != std::string_view::npos) m_password = percentDecode(info.substr(colon + 1));
  }
  std::string_view hostText = rest;
  std::string_view portText;
  if (!rest.empty() && rest[0] == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) return false;
    hostText = rest.substr(1, close - 1);
    std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return false;
      portText = after.substr(1);
    }
  } else if (size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
    hostText = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
  }
  if (!portText.empty()) {
    if (portText.size() > 5) return false;
    int port = 0;
    for (char c : portText) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      port = port * 10 + (c - '0');
    }
    if (port > 65535) return false;
    m_port = port;
  }
  if (!hostText.empty() || m_scheme != "file") m_host = std::string(hostText);
  return true;
}

std::optional<URL> URL::fromString(std::string_view text) {
  URL url;
  if (!url.parse(text)) return std::nullopt;
  return url;
}

std::optional<URL> URL::fromString(std::string_view text, const URL& baseURL) {
  if (!hasOnlyURLCharacters(text)) return std::nullopt;
  if (baseURL.isEmpty()) return fromString(text);
  Parts ref = split(text);
  if (ref.scheme) return fromString(text);
  Parts base = split(baseURL.m_text);
  Parts target;
  target.scheme = base.scheme;
  if (ref.authority) {
    target.authority = ref.authority;
    target.path = removeDotSegments(ref.path);
    target.query = ref.query;
  } else {
    target.authority = base.authority;
    if (ref.path.empty()) {
      target.path = base.path;
      target.query = ref.query ? ref.query : base.query;
    } else {
      target.path = ref.path[0] == '/' ? removeDotSegments(ref.path) : removeDotSegments(merge(base, ref.path));
      target.query = ref.query;
    }
  }
  target.fragment = ref.fragment;
  return fromString(compose(target));
}

URL URL::fileURLWithPath(std::string_view path) {
  static constexpr std::string_view kPathCharacters = "!$&'()*+,-./:=@_~";
  std::string allowed(kPathCharacters);
  for (char c = '0'; c <= '9'; ++c) allowed += c;
  for (char c = 'a'; c <= 'z'; ++c) allowed += c;
  for (char c = 'A'; c <= 'Z'; ++c) allowed += c;
  URL url;
  url.parse("file://" + percentEncode(path, allowed));
  return url;
}

std::string URL::path() const {
  std::string decoded = percentDecode(m_path).value_or(m_path);
  if (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
  return decoded;
}

std::string URL::lastPathComponent() const {
  std::string p = path();
  if (p == "/" || p.empty()) return p;
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

URL URL::URLByAppendingPathComponent(std::string_view component) const {
  if (m_text.empty()) return *this;
  std::string allowed = "!$&'()*+,-.:=@_~";
  for (char c = '0'; c <= '9'; ++c) allowed += c;
  for (char c = 'a'; c <= 'z'; ++c) allowed += c;
  for (char c = 'A'; c <= 'Z'; ++c) allowed += c;
  Parts parts = split(m_text);
  if (parts.path.empty() || parts.path.back() != '/') parts.path += "/";
  parts.path += percentEncode(component, allowed);
  URL url;
  if (!url.parse(compose(parts))) return *this;
  return url;
}

std::string percentEncode(std::string_view text, std::string_view allowedCharacters) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x80 && allowedCharacters.find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

// The character sets below are never destroyed: requests are encoded on pool and session threads
// while the process exits.
std::string_view queryComponentAllowedCharacters() {
  static const std::string* allowed = new std::string([] {
    std::string s = "-._~/?";
    for (char c = '0'; c <= '9'; ++c) s += c;
    for (char c = 'a'; c <= 'z'; ++c) s += c;
    for (char c = 'A'; c <= 'Z'; ++c) s += c;
    return s;
  }());
  return *allowed;
}

std::string escapeForURL(std::string_view text) {
  static const std::string* allowed = new std::string([] {
    std::string s = ":/?&=#%+;,@!$'()*~-._";
    for (char c = '0'; c <= '9'; ++c) s += c;
    for (char c = 'a'; c <= 'z'; ++c) s += c;
    for (char c = 'A'; c <= 'Z'; ++c) s += c;
    return s;
  }());
  return percentEncode(text, *allowed);
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return std::nullopt;
    auto nibble = [](char h) { return std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10); };
    out += static_cast<char>(nibble(text[i + 1]) * 16 + nibble(text[i + 2]));
    i += 2;
  }
  return out;
}

}  // namespace net
