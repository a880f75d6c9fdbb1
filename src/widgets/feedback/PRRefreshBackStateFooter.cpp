#include "widgets/feedback/PRRefreshBackStateFooter.h"

#include "platform/ui/Label.h"
#include "widgets/feedback/BundlePRRefresh.h"

namespace kt {

void PRRefreshBackStateFooter::setTitle(const std::optional<std::string>& title, PRRefreshState state) {
  m_titles.setTitle(title, state, *this, this->state());
}

void PRRefreshBackStateFooter::prepare() {
  PRRefreshBackFooter::prepare();
  m_labelLeftInset = 25;
  setTitle(pr_localizedStringForKey("PRRefreshBackFooterIdleText"), PRRefreshState::Idle);
  setTitle(pr_localizedStringForKey("PRRefreshBackFooterPullingText"), PRRefreshState::Pulling);
  setTitle(pr_localizedStringForKey("PRRefreshBackFooterRefreshingText"), PRRefreshState::Refreshing);
  setTitle(pr_localizedStringForKey("PRRefreshBackFooterNoMoreDataText"), PRRefreshState::NoMoreData);
}

void PRRefreshBackStateFooter::placeSubviews() {
  PRRefreshBackFooter::placeSubviews();
  stateLabel().setFrame(bounds());
}

void PRRefreshBackStateFooter::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshBackFooter::setState(newState);
  m_titles.show(newState, *this);
}

}  // namespace kt
