#include "platform/net/HTTPCookie.h"

#include <gtest/gtest.h>

namespace {

using net::HTTPCookie;

std::vector<HTTPCookie> cookiesOf(const net::HeaderFields& fields,
                                  const std::string& url = "http://venue.local:8080/ws/WebService.asmx") {
  return HTTPCookie::cookiesWithResponseHeaderFields(fields, *net::URL::fromString(url));
}

TEST(HTTPCookieTest, JoinedFieldsSplitAtCookiesNotAtDates) {
  const auto cookies = cookiesOf({{"Content-Type", "text/xml"},
                                  {"Set-Cookie",
                                   "a=1; Expires=Wed, 21 Oct 2026 07:28:00 GMT; Path=/, b=\"two words\"; "
                                   "Domain=.Venue.Local; Secure; HttpOnly,c=3"},
                                  {"set-cookie", "d=; Path=/x"}});
  ASSERT_EQ(cookies.size(), 4u);
  EXPECT_EQ(cookies[0], HTTPCookie("a", "1", "venue.local", "/"));
  EXPECT_EQ(cookies[1], HTTPCookie("b", "two words", "venue.local", "/ws", true, true));
  EXPECT_EQ(cookies[2], HTTPCookie("c", "3", "venue.local", "/ws"));
  EXPECT_EQ(cookies[3], HTTPCookie("d", "", "venue.local", "/x"));
}

TEST(HTTPCookieTest, EntriesWithoutANameOrValueAreSkipped) {
  EXPECT_TRUE(cookiesOf({{"Set-Cookie", "=x; Path=/"}}).empty());
  EXPECT_TRUE(cookiesOf({{"Set-Cookie", "novalue"}}).empty());
  EXPECT_TRUE(cookiesOf({{"Set-Cookie", ""}}).empty());
  EXPECT_EQ(cookiesOf({{"Set-Cookie", "a=1; Path=relative"}}, "http://h/"),
            (std::vector{HTTPCookie("a", "1", "h", "/")}));
}

TEST(HTTPCookieTest, TheRequestFieldListsNameAndValuePairs) {
  EXPECT_TRUE(HTTPCookie::requestHeaderFieldsWithCookies({}).empty());
  const net::HeaderFields fields = HTTPCookie::requestHeaderFieldsWithCookies(
      {HTTPCookie("session", "abc", "h"), HTTPCookie("lang", "zh", "h", "/x", true)});
  EXPECT_EQ(fields, (net::HeaderFields{{"Cookie", "session=abc; lang=zh"}}));
}

}  // namespace
