// URLs: the input is a URL text, or (after a line feed) a reference to resolve against it. A
// URL that reads keeps its text and reads again to the same parts; its query and fragment are
// the text's own; resolving the empty reference, a fragment, or the URL itself against it gives
// what RFC 3986 says; appending a path component keeps the query and fragment; percent-encoding
// is undone by decoding.

#include <string>

#include "FuzzCheck.h"
#include "platform/net/URL.h"

namespace {

using net::URL;

bool endsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

void checkParts(const URL& url) {
  const std::string& text = url.absoluteString();
  KT_FUZZ_CHECK(!text.empty());
  if (url.fragment()) KT_FUZZ_CHECK(endsWith(text, "#" + *url.fragment()));
  if (url.query()) {
    const std::string tail = "?" + *url.query() + (url.fragment() ? "#" + *url.fragment() : "");
    KT_FUZZ_CHECK(endsWith(text, tail));
  }
  if (url.port()) KT_FUZZ_CHECK(*url.port() >= 0 && *url.port() <= 65535);
  url.path();
  url.lastPathComponent();

  const std::optional<URL> again = URL::fromString(text);
  KT_FUZZ_CHECK(again && *again == url);
  KT_FUZZ_CHECK(again->scheme() == url.scheme() && again->host() == url.host() && again->port() == url.port() &&
                again->percentEncodedPath() == url.percentEncodedPath() && again->query() == url.query() &&
                again->fragment() == url.fragment());
}

void checkResolution(const URL& base) {
  // An absolute reference ignores the base.
  const std::optional<URL> self = URL::fromString(base.absoluteString(), base);
  KT_FUZZ_CHECK(self && *self == base);
  if (!base.absoluteString().empty() && base.absoluteString().find("//") == base.scheme().size() + 1) {
    // The empty reference is the base without its fragment; "#f" gives it that fragment.
    for (const std::string& ref : {std::string(), std::string("#f")}) {
      const std::optional<URL> resolved = URL::fromString(ref, base);
      if (!resolved) continue;
      KT_FUZZ_CHECK(resolved->percentEncodedPath() == base.percentEncodedPath());
      KT_FUZZ_CHECK(resolved->query() == base.query());
      KT_FUZZ_CHECK(resolved->fragment() == (ref.empty() ? std::nullopt : std::optional<std::string>("f")));
    }
  }
  const URL appended = base.URLByAppendingPathComponent("a b");
  if (appended != base) {
    KT_FUZZ_CHECK(appended.lastPathComponent() == "a b");
    KT_FUZZ_CHECK(appended.query() == base.query() && appended.fragment() == base.fragment());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  const size_t newline = input.find('\n');
  const std::string_view text = input.substr(0, newline);

  const std::string escaped = net::escapeForURL(text);
  KT_FUZZ_CHECK(net::percentDecode(net::percentEncode(text, "")) == std::string(text));

  const std::optional<URL> url = URL::fromString(text);
  if (url) {
    KT_FUZZ_CHECK(url->absoluteString() == text);
    checkParts(*url);
    checkResolution(*url);
    if (newline != std::string_view::npos) {
      if (const std::optional<URL> resolved = URL::fromString(input.substr(newline + 1), *url)) checkParts(*resolved);
    }
  }
  if (const std::optional<URL> fromEscaped = URL::fromString(escaped)) checkParts(*fromEscaped);
  return 0;
}
