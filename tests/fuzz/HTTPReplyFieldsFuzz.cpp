// Reply fields the client reads. As Set-Cookie (one field, and split at line feeds into
// several): every cookie read has a name, none of its parts holds a ";" taken from an
// attribute, and the request field made from them lists the same pairs. As WWW-Authenticate of
// a 401: a realm is found only for a Basic challenge, and is part of the field.

#include <string>

#include "FuzzCheck.h"
#include "platform/net/HTTPCookie.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLConnection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(fuzz::bytes(data, size));
  const std::optional<net::URL> url = net::URL::fromString("http://venue.local:8080/a/WebService.asmx");
  KT_FUZZ_CHECK(url);

  net::HeaderFields fields;
  size_t start = 0;
  for (size_t end = input.find('\n'); ; end = input.find('\n', start)) {
    fields.emplace_back("Set-Cookie", input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (const net::HeaderFields& given : {net::HeaderFields{{"Set-Cookie", input}}, fields}) {
    const std::vector<net::HTTPCookie> cookies = net::HTTPCookie::cookiesWithResponseHeaderFields(given, *url);
    std::string expected;
    for (const net::HTTPCookie& cookie : cookies) {
      KT_FUZZ_CHECK(!cookie.name().empty());
      KT_FUZZ_CHECK(cookie.name().find(';') == std::string::npos && cookie.value().find(';') == std::string::npos);
      KT_FUZZ_CHECK(!cookie.path().empty() && cookie.path()[0] == '/');
      if (!expected.empty()) expected += "; ";
      expected += cookie.name() + "=" + cookie.value();
    }
    const net::HeaderFields request = net::HTTPCookie::requestHeaderFieldsWithCookies(cookies);
    KT_FUZZ_CHECK(request.empty() == cookies.empty());
    if (!request.empty()) KT_FUZZ_CHECK(request[0].second == expected);
  }

  for (int status : {401, 200}) {
    const net::HTTPURLResponse response(*url, status, "HTTP/1.1", {{"WWW-Authenticate", input}});
    const std::optional<std::string> realm = net::URLConnection::basicChallengeRealm(response);
    if (status != 401) KT_FUZZ_CHECK(!realm);
    if (realm) KT_FUZZ_CHECK(input.find(*realm) != std::string::npos);
  }
  return 0;
}
