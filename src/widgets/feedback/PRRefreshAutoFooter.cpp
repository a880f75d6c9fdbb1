#include "widgets/feedback/PRRefreshAutoFooter.h"

#include "platform/ui/ScrollView.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

void PRRefreshAutoFooter::prepare() {
  PRRefreshFooter::prepare();
  m_triggerAutomaticallyRefreshPercent = 1.0;
  m_automaticallyRefresh = true;
}

void PRRefreshAutoFooter::willMoveToSuperview(ui::View* newSuperview) {
  auto* leaving = dynamic_cast<ui::ScrollView*>(superview());
  PRRefreshFooter::willMoveToSuperview(newSuperview);
  auto* joining = dynamic_cast<ui::ScrollView*>(newSuperview);
  if (leaving == joining) {
    if (joining) setPr_y(*this, pr_contentH(*joining));
    return;
  }
  // The inset is given back to the scroll view the footer leaves, whatever it moves into.
  if (leaving && !isHidden()) setPr_insetB(*leaving, pr_insetB(*leaving) - pr_h(*this));
  if (joining) {
    if (!isHidden()) setPr_insetB(*joining, pr_insetB(*joining) + pr_h(*this));
    setPr_y(*this, pr_contentH(*joining));
  }
}

void PRRefreshAutoFooter::scrollViewContentSizeDidChange(const PRRefreshChange<gfx::Size>& change) {
  PRRefreshFooter::scrollViewContentSizeDidChange(change);
  // Always right after the last row.
  if (auto scroll = scrollView()) setPr_y(*this, pr_contentH(*scroll));
}

void PRRefreshAutoFooter::scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) {
  PRRefreshFooter::scrollViewContentOffsetDidChange(change);
  auto scroll = scrollView();
  if (!scroll) return;
  if (state() != PRRefreshState::Idle || !m_automaticallyRefresh || pr_y(*this) == 0) return;
  const double viewHeight = pr_h(*scroll);
  const double contentHeight = pr_contentH(*scroll);
  // Only a list taller than its view loads while scrolling.
  if (pr_insetT(*scroll) + contentHeight <= viewHeight) return;
  const double h = pr_h(*this);
  if (pr_offsetY(*scroll) <
      contentHeight - viewHeight + h * m_triggerAutomaticallyRefreshPercent + pr_insetB(*scroll) - h) {
    return;
  }
  // Only while moving down the list, not while bouncing back from its end.
  if (change.newValue.y <= change.oldValue.y) return;
  beginRefreshing();
}

void PRRefreshAutoFooter::scrollViewPanStateDidChange(const PRRefreshChange<ui::GestureRecognizerState>& change) {
  PRRefreshFooter::scrollViewPanStateDidChange(change);
  if (state() != PRRefreshState::Idle || change.newValue != ui::GestureRecognizerState::Ended) return;
  auto scroll = scrollView();
  if (!scroll) return;
  const double viewHeight = pr_h(*scroll);
  if (pr_insetT(*scroll) + pr_contentH(*scroll) <= viewHeight) {
    // A short list: pushed up at all.
    if (pr_offsetY(*scroll) >= -pr_insetT(*scroll)) beginRefreshing();
  } else if (pr_offsetY(*scroll) >= pr_contentH(*scroll) + pr_insetB(*scroll) - viewHeight) {
    // The end of the content was reached.
    beginRefreshing();
  }
}

void PRRefreshAutoFooter::setState(PRRefreshState newState) {
  const PRRefreshState old = state();
  if (newState == old) return;
  PRRefreshFooter::setState(newState);
  if (newState == PRRefreshState::Refreshing) {
    runOnMainQueue([this] { executeRefreshingCallback(); }, 0.5);
  } else if ((newState == PRRefreshState::Idle || newState == PRRefreshState::NoMoreData) &&
             old == PRRefreshState::Refreshing) {
    callEndRefreshingCompletion();
  }
}

void PRRefreshAutoFooter::setHidden(bool hidden) {
  const bool wasHidden = isHidden();
  PRRefreshFooter::setHidden(hidden);
  if (!wasHidden && hidden) setState(PRRefreshState::Idle);
  // The inset is the scroll view's the footer sits in.
  auto scroll = scrollView();
  if (!scroll || superview() != scroll.get()) return;
  if (!wasHidden && hidden) {
    setPr_insetB(*scroll, pr_insetB(*scroll) - pr_h(*this));
  } else if (wasHidden && !hidden) {
    setPr_insetB(*scroll, pr_insetB(*scroll) + pr_h(*this));
    setPr_y(*this, pr_contentH(*scroll));
  }
}

}  // namespace kt
