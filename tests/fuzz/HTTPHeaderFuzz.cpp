// HTTP header lines: the input is the header of one or more replies, handed over line by line
// (each with its line feed) as libcurl does. No field name holds a colon or a line break, no
// value starts with a blank, a status line starts a reply afresh, and the reply made from the
// fields reads its media type, charset, length and file name without failing.

#include <string>

#include "FuzzCheck.h"
#include "platform/net/HTTPHeaderParser.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URL.h"

namespace {

using net::HTTPHeaderParser;

void checkReply(const std::string& version, const net::HeaderFields& fields) {
  static const net::URL url = *net::URL::fromString("http://venue.test/files/list.json");
  const net::HTTPURLResponse response(url, 200, version, fields);
  for (const auto& [name, value] : response.allHeaderFields()) {
    KT_FUZZ_CHECK(response.valueForHTTPHeaderField(name).has_value());
  }
  if (const auto& type = response.MIMEType()) {
    for (char c : *type) KT_FUZZ_CHECK(c < 'A' || c > 'Z');
  }
  KT_FUZZ_CHECK(response.expectedContentLength() >= -1);
  KT_FUZZ_CHECK(!response.suggestedFilename().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view block = fuzz::bytes(data, size);
  std::string version;
  net::HeaderFields fields;
  while (!block.empty()) {
    const size_t end = block.find('\n');
    const std::string_view line = block.substr(0, end == std::string_view::npos ? block.size() : end + 1);
    block.remove_prefix(line.size());
    const size_t before = fields.size();
    const HTTPHeaderParser::Line kind = HTTPHeaderParser::readLine(line, version, fields);
    switch (kind) {
      case HTTPHeaderParser::Line::Status:
        KT_FUZZ_CHECK(fields.empty());
        KT_FUZZ_CHECK(version.compare(0, 5, "HTTP/") == 0 && version.find(' ') == std::string::npos);
        break;
      case HTTPHeaderParser::Line::End:
        checkReply(version, fields);
        break;
      case HTTPHeaderParser::Line::Field:
        KT_FUZZ_CHECK(fields.size() == before || fields.size() == before + 1);
        break;
    }
    for (const auto& [name, value] : fields) {
      KT_FUZZ_CHECK(name.find(':') == std::string::npos && name.find('\n') == std::string::npos);
      KT_FUZZ_CHECK(value.find('\n') == std::string::npos);
      KT_FUZZ_CHECK(value.empty() || (value.front() != ' ' && value.front() != '\t'));
    }
  }
  checkReply(version, fields);
  return 0;
}
