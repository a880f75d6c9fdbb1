#include "widgets/feedback/PRRefreshSpinner.h"

namespace kt {

ui::ActivityIndicatorView& PRRefreshSpinner::view(ui::View& owner) {
  auto spinner = m_view.lock();
  if (!spinner) {
    spinner = ui::ActivityIndicatorView::create(m_style);
    spinner->setHidesWhenStopped(true);
    owner.addSubview(spinner);
    m_view = spinner;
  }
  // Owned by the control as its subview.
  return *spinner;
}

void PRRefreshSpinner::setStyle(ui::ActivityIndicatorStyle style, ui::View& owner) {
  m_style = style;
  if (auto old = m_view.lock(); old && old->superview() == &owner) old->removeFromSuperview();
  m_view.reset();
  owner.setNeedsLayout();
}

}  // namespace kt
