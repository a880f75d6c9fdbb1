#include "platform/ui/PageControl.h"

#include <algorithm>

#include "platform/gfx/Context.h"
#include "platform/ui/Touch.h"

namespace ui {

PageControl::PageControl(const gfx::Rect& frame) : Control(frame) {}

void PageControl::setNumberOfPages(int pages) {
  m_numberOfPages = std::max(0, pages);
  m_currentPage = std::clamp(m_currentPage, 0, std::max(0, m_numberOfPages - 1));
  updateVisibility();
  setNeedsDisplay();
}

void PageControl::setCurrentPage(int page) {
  int p = std::clamp(page, 0, std::max(0, m_numberOfPages - 1));
  if (p == m_currentPage) return;
  m_currentPage = p;
  setNeedsDisplay();
}

void PageControl::setHidesForSinglePage(bool hides) {
  m_hidesForSinglePage = hides;
  updateVisibility();
}

void PageControl::updateVisibility() {
  if (m_hidesForSinglePage) setHidden(m_numberOfPages <= 1);
}

void PageControl::setPageIndicatorTintColor(std::optional<gfx::Color> color) {
  m_pageTint = color;
  setNeedsDisplay();
}

void PageControl::setCurrentPageIndicatorTintColor(std::optional<gfx::Color> color) {
  m_currentTint = color;
  setNeedsDisplay();
}

gfx::Size PageControl::sizeForNumberOfPages(int pages) const {
  double width = pages > 0 ? pages * DotSize + (pages - 1) * DotSpacing : 0;
  return {width, MinimumHeight};
}

gfx::Size PageControl::sizeThatFits(gfx::Size) const { return sizeForNumberOfPages(m_numberOfPages); }

gfx::Rect PageControl::dotRect(int page) const {
  gfx::Rect b = bounds();
  double width = sizeForNumberOfPages(m_numberOfPages).width;
  double x = b.midX() - width / 2 + page * (DotSize + DotSpacing);
  return gfx::Rect(x, b.midY() - DotSize / 2, DotSize, DotSize);
}

void PageControl::drawRect(gfx::Context& ctx, const gfx::Rect&) {
  if (m_numberOfPages <= 0 || (m_hidesForSinglePage && m_numberOfPages == 1)) return;
  ctx.save();
  for (int i = 0; i < m_numberOfPages; ++i) {
    ctx.setFillColor(i == m_currentPage ? currentPageIndicatorTintColor() : pageIndicatorTintColor());
    ctx.fillEllipse(dotRect(i));
  }
  ctx.restore();
}

void PageControl::endTracking(const Touch* touch, const Event* event) {
  if (!touch || !isInsideTrackingArea(touch->locationInView(this))) return;
  int page = m_currentPage + (touch->locationInView(this).x < bounds().midX() ? -1 : 1);
  if (page < 0 || page >= m_numberOfPages) return;
  setCurrentPage(page);
  sendActionsForControlEvents(ControlEventValueChanged, event);
}

}  // namespace ui
