#pragma once

#include "widgets/feedback/PRRefreshComponent.h"

namespace kt {

// The base of the footers below the content: its height, the no-more-data state, and hiding
// itself while the list is empty.
class PRRefreshFooter : public PRRefreshComponent {
 public:
  static constexpr double Height = 44;

  // A footer of class T.
  template <class T>
  static std::shared_ptr<T> footerWithRefreshingBlock(Block block) {
    return createWithRefreshingBlock<T>(std::move(block));
  }
  template <class T>
  static std::shared_ptr<T> footerWithRefreshingTarget(const core::WeakToken& target, Action action) {
    return createWithRefreshingTarget<T>(target, std::move(action));
  }

  using PRRefreshComponent::PRRefreshComponent;

  void prepare() override;
  // On a table or collection view, every reload decides again whether the footer is hidden (with
  // automaticallyHidden: hidden while the list has no rows).
  void willMoveToSuperview(ui::View* newSuperview) override;

  virtual void endRefreshingWithNoMoreData();
  void noticeNoMoreData() { endRefreshingWithNoMoreData(); }
  void resetNoMoreData();

  double ignoredScrollViewContentInsetBottom() const { return m_ignoredScrollViewContentInsetBottom; }
  void setIgnoredScrollViewContentInsetBottom(double inset) { m_ignoredScrollViewContentInsetBottom = inset; }
  bool isAutomaticallyHidden() const { return m_automaticallyHidden; }
  void setAutomaticallyHidden(bool on) { m_automaticallyHidden = on; }

 private:
  double m_ignoredScrollViewContentInsetBottom = 0;
  bool m_automaticallyHidden = false;
};

}  // namespace kt
