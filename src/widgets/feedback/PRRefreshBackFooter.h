#pragma once

#include <cstdint>

#include "widgets/feedback/PRRefreshFooter.h"

namespace kt {

// A footer that lies below the content (or at the bottom of the view when the content is
// shorter) and loads when the list is pulled up past its height and let go. While loading, a
// larger bottom inset holds it in view; the inset is given back when loading ends.
class PRRefreshBackFooter : public PRRefreshFooter {
 public:
  using PRRefreshFooter::PRRefreshFooter;

  void willMoveToSuperview(ui::View* newSuperview) override;
  void scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) override;
  void scrollViewContentSizeDidChange(const PRRefreshChange<gfx::Size>& change) override;
  void setState(PRRefreshState state) override;
  // Both return at once; the state changes on a later turn of the main queue.
  void endRefreshing() override;
  void endRefreshingWithNoMoreData() override;

  // How much taller the content is than the visible area (negative when shorter).
  double heightForContentBreakView() const;
  // The offset at which the footer starts to come into view.
  double happenOffsetY() const;

  int64_t lastRefreshCount() const { return m_lastRefreshCount; }
  void setLastRefreshCount(int64_t count) { m_lastRefreshCount = count; }
  double lastBottomDelta() const { return m_lastBottomDelta; }
  void setLastBottomDelta(double delta) { m_lastBottomDelta = delta; }

 private:
  int64_t m_lastRefreshCount = 0;
  double m_lastBottomDelta = 0;
};

}  // namespace kt
