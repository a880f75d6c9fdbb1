#include "widgets/controls/GridViewCell.h"

namespace kt {

GridViewCell::GridViewCell(const gfx::Rect& frame) : ui::View(frame) { setAutoresizesSubviews(false); }

GridViewCell::~GridViewCell() = default;

void GridViewCell::setContentView(std::shared_ptr<ui::View> view) {
  gfx::Rect frame = bounds();
  if (m_contentView) {
    frame = m_contentView->frame();
    m_contentView->removeFromSuperview();
  }
  m_contentView = std::move(view);
  if (!m_contentView) return;
  m_contentView->setFrame(frame);
  m_contentView->setAutoresizingMask(ui::AutoresizingNone);
  addSubview(m_contentView);
}

}  // namespace kt
