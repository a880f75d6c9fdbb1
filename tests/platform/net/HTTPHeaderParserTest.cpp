#include "platform/net/HTTPHeaderParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using net::HTTPHeaderParser;
using Line = HTTPHeaderParser::Line;

struct Header {
  std::string version;
  net::HeaderFields fields;
  std::vector<Line> kinds;
};

Header readLines(const std::vector<std::string>& lines) {
  Header header;
  for (const auto& line : lines) header.kinds.push_back(HTTPHeaderParser::readLine(line, header.version, header.fields));
  return header;
}

TEST(HTTPHeaderParserTest, FieldsAreTrimmedAndKeptInOrderUntilTheEmptyLine) {
  Header h = readLines({"HTTP/1.1 200 OK\r\n", "Content-Type:  text/html; charset=GBK \t\r\n", "X-Empty:\r\n",
                        "Set-Cookie: a=1\r\n", "Set-Cookie: b=2\n", "no colon here\r\n", "\r\n"});
  EXPECT_EQ(h.version, "HTTP/1.1");
  EXPECT_EQ(h.fields, (net::HeaderFields{{"Content-Type", "text/html; charset=GBK"},
                                         {"X-Empty", ""},
                                         {"Set-Cookie", "a=1"},
                                         {"Set-Cookie", "b=2"}}));
  EXPECT_EQ(h.kinds, (std::vector<Line>{Line::Status, Line::Field, Line::Field, Line::Field, Line::Field, Line::Field,
                                        Line::End}));
}

TEST(HTTPHeaderParserTest, AFoldedLineContinuesThePreviousField) {
  Header h = readLines({"HTTP/1.1 200 OK\r\n", "X-Long: one\r\n", " \t two\r\n", "\tthree\r\n", "\r\n"});
  EXPECT_EQ(h.fields, (net::HeaderFields{{"X-Long", "one two three"}}));
  // With no field before it, a line starting with a blank is read as a field of its own.
  Header first = readLines({" X-A: b\r\n"});
  EXPECT_EQ(first.fields, (net::HeaderFields{{" X-A", "b"}}));
}

TEST(HTTPHeaderParserTest, EveryStatusLineStartsTheNextReplyAfresh) {
  Header h = readLines({"HTTP/1.1 100 Continue\r\n", "X-Interim: 1\r\n", "\r\n", "HTTP/2 302\r\n", "Location: /b\r\n",
                        "\r\n", "HTTP/1.0 200 OK\r\n", "Content-Length: 3\r\n"});
  EXPECT_EQ(h.version, "HTTP/1.0");
  EXPECT_EQ(h.fields, (net::HeaderFields{{"Content-Length", "3"}}));
  EXPECT_EQ(h.kinds[2], Line::End);
  EXPECT_EQ(h.kinds[3], Line::Status);
}

}  // namespace
