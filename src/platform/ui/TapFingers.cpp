#include "platform/ui/TapFingers.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Touch.h"

namespace ui {

void TapFingers::add(const TouchSet& touches, size_t down) {
  for (const auto& t : touches) m_starts.emplace_back(t.get(), t->locationInWindow());
  m_mostDown = std::max(m_mostDown, down);
}

bool TapFingers::anyMovedFurtherThan(const TouchSet& tracked, double distance) const {
  for (const auto& [touch, start] : m_starts) {
    for (const auto& t : tracked) {
      if (t.get() != touch) continue;
      gfx::Point p = t->locationInWindow();
      if (std::hypot(p.x - start.x, p.y - start.y) > distance) return true;
    }
  }
  return false;
}

}  // namespace ui
