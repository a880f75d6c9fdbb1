// Query strings: the input is a URL text on the first line and the parameters after it (JSON;
// any other text is the value of one field "q"). The query holds only escaped text and its
// separators, every field and value decodes back to what was given, and a GET request carries
// it as the URL's query (after one already there) while a POST request carries it as its body.

#include <string>

#include "FuzzCheck.h"
#include "http/HCHTTPRequestSerializer.h"
#include "http/HCQueryStringPair.h"
#include "platform/core/Json.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"

namespace {

bool isQueryCharacter(char c) {
  return net::queryComponentAllowedCharacters().find(c) != std::string_view::npos || c == '%' || c == '&' ||
         c == '=';
}

void checkPairs(const core::Value& parameters, const std::string& query) {
  std::string joined;
  bool first = true;
  for (const kt::HCQueryStringPair& pair : kt::queryStringPairsForKeyAndValue(std::nullopt, parameters)) {
    const std::string text = pair.URLEncodedStringValue();
    joined += (first ? "" : "&") + text;
    first = false;
    const size_t equals = text.find('=');
    KT_FUZZ_CHECK(net::percentDecode(text.substr(0, equals)) == pair.field().value_or("(null)"));
    if (pair.value().isNull()) {
      KT_FUZZ_CHECK(equals == std::string::npos);
    } else {
      KT_FUZZ_CHECK(equals != std::string::npos);
      KT_FUZZ_CHECK(net::percentDecode(text.substr(equals + 1)) == pair.value().description());
    }
  }
  KT_FUZZ_CHECK(joined == query);
  for (char c : query) KT_FUZZ_CHECK(isQueryCharacter(c));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  const size_t newline = input.find('\n');
  const std::string urlText(input.substr(0, newline));
  const std::string_view rest = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  std::optional<core::Value> parameters = core::Json::parse(rest, nullptr, true);
  if (!parameters) parameters = core::Value(core::Value::Dictionary{{"q", core::Value(std::string(rest))}});

  const std::string query = kt::queryStringFromParameters(*parameters);
  checkPairs(*parameters, query);

  const std::optional<net::URL> base = net::URL::fromString(urlText);
  if (!base) return 0;
  const auto serializer = kt::HCHTTPRequestSerializer::serializer();
  const std::optional<net::URLRequest> get = serializer->requestWithMethod("GET", urlText, *parameters, nullptr);
  KT_FUZZ_CHECK(get.has_value());
  if (query.empty()) {
    KT_FUZZ_CHECK(get->url() == base);
  } else {
    KT_FUZZ_CHECK(get->url().has_value());
    const net::URL& url = *get->url();
    KT_FUZZ_CHECK(url.query() == (base->query() ? *base->query() + "&" + query : query));
    KT_FUZZ_CHECK(url.fragment() == base->fragment());
    KT_FUZZ_CHECK(url.percentEncodedPath() == base->percentEncodedPath());
  }
  const std::optional<net::URLRequest> post = serializer->requestWithMethod("POST", urlText, *parameters, nullptr);
  KT_FUZZ_CHECK(post && post->HTTPBody() == query && post->url() == base);
  return 0;
}
