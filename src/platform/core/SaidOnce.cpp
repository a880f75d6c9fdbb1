#include "platform/core/SaidOnce.h"

namespace core {

bool SaidOnce::first(const std::string& what) {
  std::lock_guard lock(m_mutex);
  return m_said.insert(what).second;
}

void SaidOnce::forget(const std::string& what) {
  std::lock_guard lock(m_mutex);
  m_said.erase(what);
}

void SaidOnce::forgetAll() {
  std::lock_guard lock(m_mutex);
  m_said.clear();
}

}  // namespace core
