#include "platform/media/CodeTracker.h"

#include <algorithm>

namespace media {

std::vector<RecognizedCode> CodeTracker::frame(const std::vector<RecognizedCode>& seen) {
  for (auto& k : m_known) {
    bool present = std::find(seen.begin(), seen.end(), k.code) != seen.end();
    k.missing = present ? 0 : k.missing + 1;
  }
  std::erase_if(m_known, [this](const Known& k) { return k.missing >= m_forgetAfter; });
  std::vector<RecognizedCode> fresh;
  for (const auto& code : seen) {
    bool known = std::any_of(m_known.begin(), m_known.end(), [&](const Known& k) { return k.code == code; });
    if (known) continue;
    m_known.push_back({code, 0});
    fresh.push_back(code);
  }
  return fresh;
}

}  // namespace media
