#include "app/MD5Manage.h"

#include <string_view>

#include "platform/core/Md5.h"

namespace kt {

std::string MD5Manage::md5(const std::string& text) {
  // The digest covers the text as a C string: it ends at the first zero byte.
  std::string_view bytes(text.c_str());
  return core::md5Hex(bytes);
}

}  // namespace kt
