#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace net {

// An absolute URL kept as the text it was made from (or resolved to), with its parts read from
// that text. Texts with characters that may not stand in a URL (spaces, controls, non-ASCII,
// a "%" without two hex digits) are refused rather than escaped: callers escape first.
//
// Hierarchical URLs (scheme "://" authority) are checked with libcurl's URL parser; others
// ("mailto:x", "data:...") are kept as scheme and path.
class URL {
 public:
  URL() = default;

  // An absolute URL; nothing when the text is not one.
  static std::optional<URL> fromString(std::string_view text);
  // The text resolved against a base as a reference (RFC 3986, section 5): "getrankinfo" against
  // "http://h/interface/" is "http://h/interface/getrankinfo"; an absolute text ignores the base.
  static std::optional<URL> fromString(std::string_view text, const URL& base);
  // A file URL for an absolute path ("file:///tmp/a%20b").
  static URL fileURLWithPath(std::string_view path);

  const std::string& absoluteString() const { return m_text; }
  bool isEmpty() const { return m_text.empty(); }

  // Lower-cased scheme.
  const std::string& scheme() const { return m_scheme; }
  // Host as written (IPv6 without brackets), user and password percent-decoded; nothing when absent.
  const std::optional<std::string>& host() const { return m_host; }
  std::optional<int> port() const { return m_port; }
  const std::optional<std::string>& user() const { return m_user; }
  const std::optional<std::string>& password() const { return m_password; }
  // The path percent-decoded, without a trailing "/" unless it is "/" alone.
  std::string path() const;
  // The path as written.
  const std::string& percentEncodedPath() const { return m_path; }
  // Query and fragment as written, without "?" and "#"; nothing when absent ("?" alone is "").
  const std::optional<std::string>& query() const { return m_query; }
  const std::optional<std::string>& fragment() const { return m_fragment; }
  std::string lastPathComponent() const;
  bool isFileURL() const { return m_scheme == "file"; }

  // The URL with one more path component: "/" is added unless the path ends with one, the
  // component is percent-escaped for a path; an empty component leaves just the "/".
  URL URLByAppendingPathComponent(std::string_view component) const;

  bool operator==(const URL& other) const { return m_text == other.m_text; }
  bool operator!=(const URL& other) const { return !(*this == other); }

 private:
  bool parse(std::string_view text);

  std::string m_text;
  std::string m_scheme;
  bool m_hasAuthority = false;
  std::string m_authority;
  std::optional<std::string> m_host;
  std::optional<int> m_port;
  std::optional<std::string> m_user;
  std::optional<std::string> m_password;
  std::string m_path;
  std::optional<std::string> m_query;
  std::optional<std::string> m_fragment;
};

// Percent-encodes every byte of `text` that is not one of `allowedCharacters` (ASCII; letters
// and digits are allowed only when listed), as "%" and two upper-case hex digits.
std::string percentEncode(std::string_view text, std::string_view allowedCharacters);
// The allowed set of a query component: letters, digits and "-._~/?".
std::string_view queryComponentAllowedCharacters();
// Escapes every byte outside the characters that may stand in a URL, keeping the URL's own
// separators: letters, digits and ":/?&=#%+;,@!$'()*~-._" stay, everything else (spaces,
// quotes, brackets, non-ASCII bytes) becomes "%XX".
std::string escapeForURL(std::string_view text);
// Decodes "%XX" sequences; nothing when a "%" is not followed by two hex digits.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace net
