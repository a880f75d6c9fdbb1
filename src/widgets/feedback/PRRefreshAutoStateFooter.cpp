#include "widgets/feedback/PRRefreshAutoStateFooter.h"

#include "platform/ui/Label.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "widgets/feedback/BundlePRRefresh.h"

namespace kt {

void PRRefreshAutoStateFooter::setTitle(const std::optional<std::string>& title, PRRefreshState state) {
  m_titles.setTitle(title, state, *this, this->state());
}

void PRRefreshAutoStateFooter::stateLabelClick() {
  if (state() == PRRefreshState::Idle) beginRefreshing();
}

void PRRefreshAutoStateFooter::prepare() {
  PRRefreshAutoFooter::prepare();
  m_labelLeftInset = 25;
  setTitle(pr_localizedStringForKey("PRRefreshAutoFooterIdleText"), PRRefreshState::Idle);
  setTitle(pr_localizedStringForKey("PRRefreshAutoFooterRefreshingText"), PRRefreshState::Refreshing);
  setTitle(pr_localizedStringForKey("PRRefreshAutoFooterNoMoreDataText"), PRRefreshState::NoMoreData);
  ui::Label& label = stateLabel();
  label.setUserInteractionEnabled(true);
  std::weak_ptr<ui::Responder> weak = weak_from_this();
  label.addGestureRecognizer(std::make_shared<ui::TapGestureRecognizer>([weak, this](ui::GestureRecognizer&) {
    if (auto keep = weak.lock()) stateLabelClick();
  }));
}

void PRRefreshAutoStateFooter::placeSubviews() {
  PRRefreshAutoFooter::placeSubviews();
  stateLabel().setFrame(bounds());
}

void PRRefreshAutoStateFooter::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshAutoFooter::setState(newState);
  if (m_refreshingTitleHidden && newState == PRRefreshState::Refreshing) {
    stateLabel().setText("");
  } else {
    m_titles.show(newState, *this);
  }
}

}  // namespace kt
