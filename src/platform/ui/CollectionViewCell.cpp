#include "platform/ui/CollectionViewCell.h"

namespace ui {

CollectionViewCell::CollectionViewCell(const gfx::Rect& frame) : CollectionReusableView(frame) {
  m_contentView = View::create(gfx::Rect(gfx::Point(), frame.size));
  m_contentView->setOpaque(false);
  m_contentView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  addSubview(m_contentView);
}

CollectionViewCell::~CollectionViewCell() = default;

void CollectionViewCell::setBackgroundView(std::shared_ptr<View> view) {
  if (m_backgroundView == view) return;
  if (m_backgroundView) m_backgroundView->removeFromSuperview();
  m_backgroundView = std::move(view);
  if (m_backgroundView) {
    m_backgroundView->setFrame(bounds());
    insertSubview(m_backgroundView, 0);
  }
}

void CollectionViewCell::setSelectedBackgroundView(std::shared_ptr<View> view) {
  if (m_selectedBackgroundView == view) return;
  if (m_selectedBackgroundView) m_selectedBackgroundView->removeFromSuperview();
  m_selectedBackgroundView = std::move(view);
  if (m_selectedBackgroundView) {
    m_selectedBackgroundView->setFrame(bounds());
    insertSubviewBelow(m_selectedBackgroundView, m_contentView.get());
  }
  updateSelectionLook();
}

void CollectionViewCell::setSelected(bool selected) {
  if (m_selected == selected) return;
  m_selected = selected;
  updateSelectionLook();
}

void CollectionViewCell::setHighlighted(bool highlighted) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  updateSelectionLook();
}

void CollectionViewCell::updateSelectionLook() {
  if (m_selectedBackgroundView) m_selectedBackgroundView->setHidden(!(m_selected || m_highlighted));
}

void CollectionViewCell::prepareForReuse() {
  CollectionReusableView::prepareForReuse();
  m_selected = false;
  m_highlighted = false;
  updateSelectionLook();
}

void CollectionViewCell::layoutSubviews() {
  gfx::Rect b = bounds();
  m_contentView->setFrame(b);
  if (m_backgroundView) m_backgroundView->setFrame(b);
  if (m_selectedBackgroundView) m_selectedBackgroundView->setFrame(b);
}

}  // namespace ui
