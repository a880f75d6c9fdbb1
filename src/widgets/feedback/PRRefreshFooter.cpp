#include "widgets/feedback/PRRefreshFooter.h"

#include "platform/ui/CollectionView.h"
#include "platform/ui/TableView.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

void PRRefreshFooter::prepare() {
  PRRefreshComponent::prepare();
  setPr_h(*this, Height);
  m_automaticallyHidden = false;
}

void PRRefreshFooter::willMoveToSuperview(ui::View* newSuperview) {
  PRRefreshComponent::willMoveToSuperview(newSuperview);
  auto* scroll = dynamic_cast<ui::ScrollView*>(newSuperview);
  if (!dynamic_cast<ui::TableView*>(scroll) && !dynamic_cast<ui::CollectionView*>(scroll)) return;
  std::weak_ptr<ui::Responder> weak = weak_from_this();
  setMj_reloadDataBlock(*scroll, [weak, this](int64_t totalDataCount) {
    auto keep = weak.lock();
    if (keep && m_automaticallyHidden) setHidden(totalDataCount == 0);
  });
}

void PRRefreshFooter::endRefreshingWithNoMoreData() { setState(PRRefreshState::NoMoreData); }

void PRRefreshFooter::resetNoMoreData() { setState(PRRefreshState::Idle); }

}  // namespace kt
