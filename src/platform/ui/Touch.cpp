#include "platform/ui/Touch.h"

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ui {

gfx::Point Touch::locationInView(const View* view) const {
  if (!view || !m_window) return m_location;
  return view->convertPointFrom(m_location, m_window);
}

gfx::Point Touch::previousLocationInView(const View* view) const {
  if (!view || !m_window) return m_previous;
  return view->convertPointFrom(m_previous, m_window);
}

void Touch::setLocationInWindow(gfx::Point p) {
  m_previous = m_location;
  m_location = p;
}

}  // namespace ui
