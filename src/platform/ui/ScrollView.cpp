#include "platform/ui/ScrollView.h"

#include <algorithm>

namespace ui {

ScrollView::ScrollView(const gfx::Rect& frame) : View(frame) { setClipsToBounds(true); }

ScrollView::~ScrollView() = default;

void ScrollView::setContentOffset(gfx::Point offset) { applyOffset(offset); }

void ScrollView::setContentOffset(gfx::Point offset, bool animated) {
  (void)animated;
  applyOffset(offset);
}

void ScrollView::applyOffset(gfx::Point offset) {
  gfx::Rect b = bounds();
  if (b.origin == offset) return;
  gfx::Point old = b.origin;
  setBounds(gfx::Rect(offset, b.size));
  notifyOffset(old);
}

void ScrollView::notifyOffset(gfx::Point oldOffset) {
  setNeedsLayout();
  didChangeContentOffset(oldOffset);
  gfx::Point now = contentOffset();
  auto observers = m_offsetObservers;
  for (auto& o : observers) o.fn(oldOffset, now);
  if (m_delegate) m_delegate->scrollViewDidScroll(*this);
}

void ScrollView::setContentSize(gfx::Size size) {
  if (m_contentSize == size) return;
  m_contentSize = size;
  setNeedsLayout();
}

void ScrollView::setContentInset(const gfx::EdgeInsets& inset) {
  if (m_contentInset == inset) return;
  gfx::EdgeInsets old = m_contentInset;
  m_contentInset = inset;
  auto observers = m_insetObservers;
  for (auto& o : observers) o.fn(old, inset);
  setNeedsLayout();
}

gfx::Point ScrollView::minimumContentOffset() const { return {-m_contentInset.left, -m_contentInset.top}; }

gfx::Point ScrollView::maximumContentOffset() const {
  gfx::Size s = bounds().size;
  gfx::Point min = minimumContentOffset();
  return {std::max(min.x, m_contentSize.width + m_contentInset.right - s.width),
          std::max(min.y, m_contentSize.height + m_contentInset.bottom - s.height)};
}

void ScrollView::scrollRectToVisible(const gfx::Rect& rect, bool animated) {
  gfx::Rect b = bounds();
  gfx::Point o = b.origin;
  if (rect.minX() < b.minX()) o.x = rect.minX();
  else if (rect.maxX() > b.maxX()) o.x = std::min(rect.minX(), rect.maxX() - b.width());
  if (rect.minY() < b.minY()) o.y = rect.minY();
  else if (rect.maxY() > b.maxY()) o.y = std::min(rect.minY(), rect.maxY() - b.height());
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  o.x = std::clamp(o.x, min.x, max.x);
  o.y = std::clamp(o.y, min.y, max.y);
  setContentOffset(o, animated);
}

void ScrollView::setScrollEnabled(bool enabled) { m_scrollEnabled = enabled; }

void ScrollView::addContentOffsetObserver(const void* owner, OffsetObserver observer) {
  m_offsetObservers.push_back({owner, std::move(observer)});
}

void ScrollView::addContentInsetObserver(const void* owner, InsetObserver observer) {
  m_insetObservers.push_back({owner, std::move(observer)});
}

void ScrollView::removeObservers(const void* owner) {
  std::erase_if(m_offsetObservers, [&](const OffsetObserverEntry& e) { return e.owner == owner; });
  std::erase_if(m_insetObservers, [&](const InsetObserverEntry& e) { return e.owner == owner; });
}

}  // namespace ui
