#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/ui/View.h"

namespace ui {

class PanGestureRecognizer;
class ScrollView;

// Every operation is optional.
class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView&) {}
  virtual void scrollViewWillBeginDragging(ScrollView&) {}
  // `targetContentOffset` may be changed to choose where deceleration stops.
  virtual void scrollViewWillEndDragging(ScrollView&, gfx::Point /*velocity*/, gfx::Point& /*targetContentOffset*/) {}
  virtual void scrollViewDidEndDragging(ScrollView&, bool /*willDecelerate*/) {}
  virtual void scrollViewWillBeginDecelerating(ScrollView&) {}
  virtual void scrollViewDidEndDecelerating(ScrollView&) {}
  virtual void scrollViewDidEndScrollingAnimation(ScrollView&) {}
};

// A view whose bounds origin is the content offset: dragging moves the content under the finger,
// a release with speed decelerates, paging snaps to multiples of the bounds size, and moving past
// the edges rubber-bands back when bouncing. Every change of the content offset asks for a
// layout pass (subclasses that place their content in layoutSubviews rely on it) and tells the
// delegate scrollViewDidScroll.
class ScrollView : public View {
 public:
  // The rate of deceleration per millisecond, as the platform gave its two choices.
  static constexpr double DecelerationRateNormal = 0.998;
  static constexpr double DecelerationRateFast = 0.99;

  explicit ScrollView(const gfx::Rect& frame = gfx::Rect());
  ~ScrollView() override;

  gfx::Point contentOffset() const { return bounds().origin; }
  void setContentOffset(gfx::Point offset);
  // Animated: moves there over 0.3 s and then tells scrollViewDidEndScrollingAnimation.
  void setContentOffset(gfx::Point offset, bool animated);
  gfx::Size contentSize() const { return m_contentSize; }
  void setContentSize(gfx::Size size);
  gfx::EdgeInsets contentInset() const { return m_contentInset; }
  void setContentInset(const gfx::EdgeInsets& inset);
  gfx::EdgeInsets scrollIndicatorInsets() const { return m_indicatorInsets; }
  void setScrollIndicatorInsets(const gfx::EdgeInsets& inset) { m_indicatorInsets = inset; }

  // The offsets the content can rest at: from -inset to contentSize + inset - bounds size.
  gfx::Point minimumContentOffset() const;
  gfx::Point maximumContentOffset() const;

  // Scrolls the least distance that makes `rect` (content coordinates) visible.
  void scrollRectToVisible(const gfx::Rect& rect, bool animated);

  // Not owned: the caller keeps the delegate alive while it is set.
  ScrollViewDelegate* delegate() const { return m_delegate; }
  void setDelegate(ScrollViewDelegate* delegate) { m_delegate = delegate; }

  bool isScrollEnabled() const { return m_scrollEnabled; }
  void setScrollEnabled(bool enabled);
  bool isPagingEnabled() const { return m_pagingEnabled; }
  void setPagingEnabled(bool enabled) { m_pagingEnabled = enabled; }
  bool bounces() const { return m_bounces; }
  void setBounces(bool bounces) { m_bounces = bounces; }
  bool alwaysBounceVertical() const { return m_alwaysBounceVertical; }
  void setAlwaysBounceVertical(bool on) { m_alwaysBounceVertical = on; }
  bool alwaysBounceHorizontal() const { return m_alwaysBounceHorizontal; }
  void setAlwaysBounceHorizontal(bool on) { m_alwaysBounceHorizontal = on; }
  bool isDirectionalLockEnabled() const { return m_directionalLock; }
  void setDirectionalLockEnabled(bool on) { m_directionalLock = on; }
  bool showsHorizontalScrollIndicator() const { return m_showsHorizontalIndicator; }
  void setShowsHorizontalScrollIndicator(bool on) { m_showsHorizontalIndicator = on; }
  bool showsVerticalScrollIndicator() const { return m_showsVerticalIndicator; }
  void setShowsVerticalScrollIndicator(bool on) { m_showsVerticalIndicator = on; }
  bool scrollsToTop() const { return m_scrollsToTop; }
  void setScrollsToTop(bool on) { m_scrollsToTop = on; }
  double decelerationRate() const { return m_decelerationRate; }
  void setDecelerationRate(double rate) { m_decelerationRate = rate; }
  bool delaysContentTouches() const { return m_delaysContentTouches; }
  void setDelaysContentTouches(bool on) { m_delaysContentTouches = on; }
  bool canCancelContentTouches() const { return m_canCancelContentTouches; }
  void setCanCancelContentTouches(bool on) { m_canCancelContentTouches = on; }

  // A finger is on the content (tracking) and has moved it (dragging); the content is moving on
  // by itself after a release (decelerating).
  bool isTracking() const { return m_tracking; }
  bool isDragging() const { return m_dragging; }
  bool isDecelerating() const { return m_decelerating; }

  // The recogniser that drags the content; null until the scroll view is made.
  PanGestureRecognizer* panGestureRecognizer() const { return m_pan.get(); }

  // Observers of the content offset and inset, told the old and new values after each change.
  // `owner` identifies them for removal.
  using OffsetObserver = std::function<void(gfx::Point oldOffset, gfx::Point newOffset)>;
  using InsetObserver = std::function<void(const gfx::EdgeInsets& oldInset, const gfx::EdgeInsets& newInset)>;
  void addContentOffsetObserver(const void* owner, OffsetObserver observer);
  void addContentInsetObserver(const void* owner, InsetObserver observer);
  void removeObservers(const void* owner);

 protected:
  // Where a change of offset ends up; subclasses may snap it.
  virtual void didChangeContentOffset(gfx::Point oldOffset) { (void)oldOffset; }

 private:
  void applyOffset(gfx::Point offset);
  void notifyOffset(gfx::Point oldOffset);

  struct OffsetObserverEntry {
    const void* owner;
    OffsetObserver fn;
  };
  struct InsetObserverEntry {
    const void* owner;
    InsetObserver fn;
  };

  gfx::Size m_contentSize;
  gfx::EdgeInsets m_contentInset;
  gfx::EdgeInsets m_indicatorInsets;
  ScrollViewDelegate* m_delegate = nullptr;
  bool m_scrollEnabled = true;
  bool m_pagingEnabled = false;
  bool m_bounces = true;
  bool m_alwaysBounceVertical = false;
  bool m_alwaysBounceHorizontal = false;
  bool m_directionalLock = false;
  bool m_showsHorizontalIndicator = true;
  bool m_showsVerticalIndicator = true;
  bool m_scrollsToTop = true;
  bool m_delaysContentTouches = true;
  bool m_canCancelContentTouches = true;
  double m_decelerationRate = DecelerationRateNormal;
  bool m_tracking = false;
  bool m_dragging = false;
  bool m_decelerating = false;
  std::shared_ptr<PanGestureRecognizer> m_pan;
  std::vector<OffsetObserverEntry> m_offsetObservers;
  std::vector<InsetObserverEntry> m_insetObservers;
};

}  // namespace ui
