#include "platform/core/Error.h"

#include <cstdio>

namespace core {

Error Error::withDescription(std::string domain, int64_t code, const std::string& description) {
  Value info;
  info.set(LocalizedDescriptionKey, description);
  return Error(std::move(domain), code, std::move(info));
}

std::string Error::localizedDescription() const {
  if (const std::string* text = m_userInfo[LocalizedDescriptionKey].asString()) return *text;
  char buf[64];
  std::snprintf(buf, sizeof buf, " error %lld.)", static_cast<long long>(m_code));
  return "The operation couldn\u2019t be completed. (" + m_domain + buf;
}

std::string Error::description() const {
  char code[32];
  std::snprintf(code, sizeof code, "%lld", static_cast<long long>(m_code));
  return "Error Domain=" + m_domain + " Code=" + code + " \"" + localizedDescription() + "\"";
}

}  // namespace core
