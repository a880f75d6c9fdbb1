#pragma once

#include "widgets/feedback/PRRefreshFooter.h"

namespace kt {

// A footer that stays below the content like an extra row (it takes its height of bottom inset)
// and starts loading by itself when the list is scrolled to it, or pushed up and let go when the
// list is shorter than its view. The refreshing callback runs half a second after loading starts.
class PRRefreshAutoFooter : public PRRefreshFooter {
 public:
  using PRRefreshFooter::PRRefreshFooter;

  void prepare() override;
  void willMoveToSuperview(ui::View* newSuperview) override;
  void scrollViewContentSizeDidChange(const PRRefreshChange<gfx::Size>& change) override;
  void scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) override;
  void scrollViewPanStateDidChange(const PRRefreshChange<ui::GestureRecognizerState>& change) override;
  void setState(PRRefreshState state) override;
  // Hiding gives the bottom inset back (and ends loading); showing takes it again.
  void setHidden(bool hidden) override;

  bool isAutomaticallyRefresh() const { return m_automaticallyRefresh; }
  void setAutomaticallyRefresh(bool on) { m_automaticallyRefresh = on; }
  // How much of the footer's height must be in view before loading starts.
  double triggerAutomaticallyRefreshPercent() const { return m_triggerAutomaticallyRefreshPercent; }
  void setTriggerAutomaticallyRefreshPercent(double percent) { m_triggerAutomaticallyRefreshPercent = percent; }
  double appearencePercentTriggerAutoRefresh() const { return triggerAutomaticallyRefreshPercent(); }
  void setAppearencePercentTriggerAutoRefresh(double percent) { setTriggerAutomaticallyRefreshPercent(percent); }

 private:
  bool m_automaticallyRefresh = true;
  double m_triggerAutomaticallyRefreshPercent = 1.0;
};

}  // namespace kt
