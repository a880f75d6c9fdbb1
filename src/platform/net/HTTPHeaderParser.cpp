#include "platform/net/HTTPHeaderParser.h"

namespace net {
namespace {

// A header value or continuation without its surrounding blanks.
std::string_view trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

HTTPHeaderParser::Line HTTPHeaderParser::readLine(std::string_view line, std::string& version,
                                                  HeaderFields& fields) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    fields.clear();
    size_t space = line.find(' ');
    version = std::string(line.substr(0, space));
    return Line::Status;
  }
  if (line.empty()) return Line::End;
  if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
    // A folded line continues the previous field; a blank one adds nothing.
    std::string_view more = trimmed(line);
    std::string& value = fields.back().second;
    if (!more.empty() && !value.empty()) value += ' ';
    value += more;
    return Line::Field;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return Line::Field;
  fields.emplace_back(std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1))));
  return Line::Field;
}

}  // namespace net
