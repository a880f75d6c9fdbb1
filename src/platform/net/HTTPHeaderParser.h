#pragma once

#include <string>
#include <string_view>

#include "platform/net/URLRequest.h"

namespace net {

// Reads the header of an HTTP reply one line at a time, as libcurl hands the lines over (each
// with its CR LF, one reply after another across redirects and interim replies).
class HTTPHeaderParser {
 public:
  enum class Line {
    Status,  // "HTTP/...": a new reply starts; its version is kept and the fields are cleared
    End,     // the empty line that ends a reply's header
    Field,   // anything else: a "name: value" field (value without surrounding blanks), the
             // continuation of the previous field (a line starting with a blank), or ignored
  };
  static Line readLine(std::string_view line, std::string& version, HeaderFields& fields);
};

}  // namespace net
