#pragma once

#include <memory>
#include <optional>

#include "platform/ui/Control.h"

namespace ui {

// A row of dots, one per page, the current one brighter. A tap on the left half goes back a page,
// on the right half forward one, and sends value-changed. Dots are 7 points wide, 9 apart.
class PageControl : public Control {
 public:
  static constexpr double DotSize = 7;
  static constexpr double DotSpacing = 9;
  static constexpr double MinimumHeight = 37;

  static std::shared_ptr<PageControl> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<PageControl>(frame);
  }
  explicit PageControl(const gfx::Rect& frame = gfx::Rect());

  int numberOfPages() const { return m_numberOfPages; }
  void setNumberOfPages(int pages);
  // Clamped to the pages.
  int currentPage() const { return m_currentPage; }
  void setCurrentPage(int page);
  bool hidesForSinglePage() const { return m_hidesForSinglePage; }
  void setHidesForSinglePage(bool hides);
  // Plain or pattern colours.
  gfx::Color pageIndicatorTintColor() const { return m_pageTint.value_or(gfx::Color(1, 1, 1, 0.3)); }
  void setPageIndicatorTintColor(std::optional<gfx::Color> color);
  gfx::Color currentPageIndicatorTintColor() const { return m_currentTint.value_or(gfx::Color::whiteColor()); }
  void setCurrentPageIndicatorTintColor(std::optional<gfx::Color> color);

  // The size the dots of `pages` pages need (at least MinimumHeight high).
  gfx::Size sizeForNumberOfPages(int pages) const;
  // Where the dot of a page is drawn, in bounds coordinates.
  gfx::Rect dotRect(int page) const;

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  void endTracking(const Touch* touch, const Event* event) override;

 private:
  void updateVisibility();

  int m_numberOfPages = 0;
  int m_currentPage = 0;
  bool m_hidesForSinglePage = false;
  std::optional<gfx::Color> m_pageTint;
  std::optional<gfx::Color> m_currentTint;
};

}  // namespace ui
