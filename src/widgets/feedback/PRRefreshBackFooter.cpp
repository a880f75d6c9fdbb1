#include "widgets/feedback/PRRefreshBackFooter.h"

#include <algorithm>

#include "platform/ui/ScrollView.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

void PRRefreshBackFooter::willMoveToSuperview(ui::View* newSuperview) {
  PRRefreshFooter::willMoveToSuperview(newSuperview);
  if (auto* scroll = dynamic_cast<ui::ScrollView*>(newSuperview)) {
    scrollViewContentSizeDidChange({scroll->contentSize(), scroll->contentSize()});
  }
}

void PRRefreshBackFooter::scrollViewContentSizeDidChange(const PRRefreshChange<gfx::Size>& change) {
  PRRefreshFooter::scrollViewContentSizeDidChange(change);
  auto scroll = scrollView();
  if (!scroll) return;
  const gfx::EdgeInsets& recorded = scrollViewOriginalInset();
  const double ignored = ignoredScrollViewContentInsetBottom();
  // After the last row, or at the bottom of the visible area when the content is shorter.
  setPr_y(*this, std::max(pr_contentH(*scroll) + ignored, pr_h(*scroll) - recorded.top - recorded.bottom + ignored));
}

void PRRefreshBackFooter::scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) {
  PRRefreshFooter::scrollViewContentOffsetDidChange(change);
  if (state() == PRRefreshState::Refreshing) return;
  auto scroll = scrollView();
  if (!scroll) return;
  setScrollViewOriginalInset(scroll->contentInset());

  const double offset = pr_offsetY(*scroll);
  const double happen = happenOffsetY();
  // Not pulled into view.
  if (offset <= happen) return;
  const double h = pr_h(*this);
  const double percent = (offset - happen) / h;
  if (state() == PRRefreshState::NoMoreData) {
    setPullingPercent(percent);
    return;
  }
  if (scroll->isDragging()) {
    setPullingPercent(percent);
    const double threshold = happen + h;
    if (state() == PRRefreshState::Idle && offset > threshold) {
      setState(PRRefreshState::Pulling);
    } else if (state() == PRRefreshState::Pulling && offset <= threshold) {
      setState(PRRefreshState::Idle);
    }
  } else if (state() == PRRefreshState::Pulling) {
    // Let go past the threshold.
    beginRefreshing();
  } else if (percent < 1) {
    setPullingPercent(percent);
  }
}

void PRRefreshBackFooter::setState(PRRefreshState newState) {
  const PRRefreshState old = state();
  if (newState == old) return;
  PRRefreshFooter::setState(newState);
  auto scroll = scrollView();
  if (!scroll) return;
  std::weak_ptr<ui::Responder> weak = weak_from_this();

  if (newState == PRRefreshState::Refreshing) {
    m_lastRefreshCount = pr_totalDataCount(*scroll);
    ui::View::animate(
        0.25,
        [this, scroll] {
          double bottom = pr_h(*this) + scrollViewOriginalInset().bottom;
          const double breakHeight = heightForContentBreakView();
          // A short list: the footer is held at the bottom of the view.
          if (breakHeight < 0) bottom -= breakHeight;
          m_lastBottomDelta = bottom - pr_insetB(*scroll);
          setPr_insetB(*scroll, bottom);
          setPr_offsetY(*scroll, happenOffsetY() + pr_h(*this));
        },
        [weak, this](bool) {
          if (auto keep = weak.lock()) executeRefreshingCallback();
        });
  } else if ((newState == PRRefreshState::Idle || newState == PRRefreshState::NoMoreData) &&
             old == PRRefreshState::Refreshing) {
    ui::View::animate(
        0.4,
        [this, scroll] {
          setPr_insetB(*scroll, pr_insetB(*scroll) - m_lastBottomDelta);
          settleContentOffset(*scroll);
          if (isAutomaticallyChangeAlpha()) setAlpha(0.0);
        },
        [weak, this](bool) {
          if (!weak.lock()) return;
          setPullingPercent(0.0);
          callEndRefreshingCompletion();
        });
    // Rows were added to a list taller than its view: the content stays where it is.
    if (heightForContentBreakView() > 0 && pr_totalDataCount(*scroll) != m_lastRefreshCount) {
      setPr_offsetY(*scroll, pr_offsetY(*scroll));
    }
  }
}

void PRRefreshBackFooter::endRefreshing() {
  runOnMainQueue([this] { setState(PRRefreshState::Idle); });
}

void PRRefreshBackFooter::endRefreshingWithNoMoreData() {
  runOnMainQueue([this] { setState(PRRefreshState::NoMoreData); });
}

double PRRefreshBackFooter::heightForContentBreakView() const {
  auto scroll = scrollView();
  if (!scroll) return 0;
  const gfx::EdgeInsets& recorded = scrollViewOriginalInset();
  return pr_contentH(*scroll) - (pr_h(*scroll) - recorded.bottom - recorded.top);
}

double PRRefreshBackFooter::happenOffsetY() const {
  const double breakHeight = heightForContentBreakView();
  const double top = scrollViewOriginalInset().top;
  return breakHeight > 0 ? breakHeight - top : -top;
}

}  // namespace kt
