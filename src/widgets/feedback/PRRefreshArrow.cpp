#include "widgets/feedback/PRRefreshArrow.h"

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "widgets/feedback/BundlePRRefresh.h"
#include "widgets/feedback/ImageTint.h"

namespace kt {

ui::ImageView& PRRefreshArrow::view(ui::View& owner) {
  if (!m_view) {
    m_view = ui::ImageView::create();
    m_view->setImage(pr_arrowImage());
    owner.addSubview(m_view);
  }
  return *m_view;
}

void PRRefreshArrow::setTint(const gfx::Color& color, ui::View& owner) {
  ui::ImageView& arrow = view(owner);
  if (m_tint == color) return;
  m_tint = color;
  arrow.setTintColor(color);
  arrow.setImage(imageWithTintColor(pr_arrowImage(), color));
}

void PRRefreshArrow::place(gfx::Point center, ui::View& owner) {
  ui::ImageView& arrow = view(owner);
  gfx::Size size = arrow.image() ? arrow.image()->size() : gfx::Size{};
  // The bounds, not the frame: the arrow may be turned.
  arrow.setBounds(gfx::Rect(gfx::Point{0, 0}, size));
  arrow.setCenter(center);
}

}  // namespace kt
