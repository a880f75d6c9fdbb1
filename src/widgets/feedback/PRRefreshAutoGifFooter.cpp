#include "widgets/feedback/PRRefreshAutoGifFooter.h"

#include "platform/ui/ImageView.h"
#include "widgets/feedback/LabelPRRefresh.h"

namespace kt {

void PRRefreshAutoGifFooter::placeSubviews() {
  PRRefreshAutoStateFooter::placeSubviews();
  m_images.place(*this, !isRefreshingTitleHidden(), pr_textWith(stateLabel()), labelLeftInset());
}

void PRRefreshAutoGifFooter::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshAutoStateFooter::setState(newState);
  if (newState == PRRefreshState::Refreshing) {
    if (m_images.imagesFor(newState)) gifView().setHidden(false);
    m_images.play(newState, *this);
  } else if (newState == PRRefreshState::Idle || newState == PRRefreshState::NoMoreData) {
    gifView().stopAnimating();
    gifView().setHidden(true);
  }
}

}  // namespace kt
