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

void PRRefreshSpinner::fadeOut(ui::View& owner, std::function<bool()> stillWanted, std::function<void()> then) {
  auto spinner = std::static_pointer_cast<ui::ActivityIndicatorView>(view(owner).shared());
  std::weak_ptr<ui::Responder> weakOwner = owner.weak_from_this();
  ui::View::animate(
      0.4, [spinner] { spinner->setAlpha(0.0); },
      [spinner, weakOwner, stillWanted = std::move(stillWanted), then = std::move(then)](bool) {
        auto keep = weakOwner.lock();
        if (!keep || (stillWanted && !stillWanted())) return;
        spinner->setAlpha(1.0);
        spinner->stopAnimating();
        if (then) then();
      });
}

}  // namespace kt
