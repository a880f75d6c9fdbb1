#include "widgets/feedback/PRRefreshAutoNormalFooter.h"

#include "widgets/feedback/LabelPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

void PRRefreshAutoNormalFooter::placeSubviews() {
  PRRefreshAutoStateFooter::placeSubviews();
  double centerX = pr_w(*this) * 0.5;
  if (!isRefreshingTitleHidden()) centerX -= pr_textWith(stateLabel()) * 0.5 + labelLeftInset();
  loadingView().setCenter({centerX, pr_h(*this) * 0.5});
}

void PRRefreshAutoNormalFooter::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshAutoStateFooter::setState(newState);
  if (newState == PRRefreshState::Idle || newState == PRRefreshState::NoMoreData) {
    loadingView().stopAnimating();
  } else if (newState == PRRefreshState::Refreshing) {
    loadingView().startAnimating();
  }
}

}  // namespace kt
