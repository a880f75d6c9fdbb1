#include "platform/ui/IndexPath.h"

#include <iterator>

namespace ui {

std::string IndexPath::description() const {
  return "{" + std::to_string(section) + ", " + std::to_string(row) + "}";
}

IndexSet IndexSet::range(int first, int count) {
  IndexSet s;
  for (int i = 0; i < count; ++i) s.add(first + i);
  return s;
}

int IndexSet::countBelow(int index) const {
  return int(std::distance(m_indexes.begin(), m_indexes.lower_bound(index)));
}

}  // namespace ui
