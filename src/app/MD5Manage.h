#pragma once

#include <string>

namespace kt {

class MD5Manage {
 public:
  // The MD5 digest of the text's UTF-8 bytes up to the first zero byte, as 32 lower-case
  // hexadecimal characters.
  static std::string md5(const std::string& text);
};

}  // namespace kt
