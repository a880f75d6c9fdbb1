#include "platform/ui/Event.h"

#include "platform/ui/Touch.h"

namespace ui {

TouchSet Event::touchesForView(const View* view) const {
  TouchSet out;
  for (const auto& t : m_touches) {
    if (t->view().get() == view) out.push_back(t);
  }
  return out;
}

}  // namespace ui
