#pragma once

#include <optional>
#include <string>

#include "platform/core/Date.h"
#include "widgets/feedback/PRRefreshComponent.h"

namespace kt {

// A pull-down refresh header, above the first row of its scroll view. Pulling the content down
// past the header's height and letting go starts a refresh; while it runs the top inset keeps the
// header in view, and it is given back when the refresh ends. The date of each finished refresh is
// kept in the user defaults under lastUpdatedTimeKey.
class PRRefreshHeader : public PRRefreshComponent {
 public:
  static constexpr double Height = 54;
  static constexpr const char* LastUpdatedTimeKey = "PRRefreshHeaderLastUpdatedTimeKey";

  // A header of class T.
  template <class T>
  static std::shared_ptr<T> headerWithRefreshingBlock(Block block) {
    return createWithRefreshingBlock<T>(std::move(block));
  }
  template <class T>
  static std::shared_ptr<T> headerWithRefreshingTarget(const core::WeakToken& target, Action action) {
    return createWithRefreshingTarget<T>(target, std::move(action));
  }

  using PRRefreshComponent::PRRefreshComponent;

  void prepare() override;
  void placeSubviews() override;
  void scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) override;
  void setState(PRRefreshState state) override;
  // Returns at once; the header goes back to Idle on a later turn of the main queue.
  void endRefreshing() override;

  const std::string& lastUpdatedTimeKey() const { return m_lastUpdatedTimeKey; }
  virtual void setLastUpdatedTimeKey(const std::string& key) { m_lastUpdatedTimeKey = key; }
  // The date stored under lastUpdatedTimeKey, if any.
  std::optional<core::Date> lastUpdatedTime() const;
  double ignoredScrollViewContentInsetTop() const { return m_ignoredScrollViewContentInsetTop; }
  void setIgnoredScrollViewContentInsetTop(double inset) { m_ignoredScrollViewContentInsetTop = inset; }
  double insetTDelta() const { return m_insetTDelta; }
  void setInsetTDelta(double delta) { m_insetTDelta = delta; }

 private:
  std::string m_lastUpdatedTimeKey = LastUpdatedTimeKey;
  double m_ignoredScrollViewContentInsetTop = 0;
  double m_insetTDelta = 0;
};

}  // namespace kt
