#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/ui/View.h"
#include "platform/core/WeakPtr.h"

namespace core {
class Timer;
}

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
// delegate scrollViewDidScroll. A mouse wheel or a touchpad moves the content too (scrollByWheel).
class ScrollView : public View {
 public:
  // The rate of deceleration per millisecond, as the platform gave its two choices.
  static constexpr double DecelerationRateNormal = 0.998;
  static constexpr double DecelerationRateFast = 0.99;
  // How far one notch of a mouse wheel moves the content: three lines of the interface's 16-point
  // text, as desktop toolkits scroll three lines a notch. It stays well under the height of the
  // smallest list shown, so no row passes by unseen. A touchpad's swipe comes as fractions of a
  // notch and moves the content by those fractions as they come.
  static constexpr double WheelNotchPoints = 48;

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

  // A turn of the mouse wheel or a touchpad swipe over the content: `travel` is how the content is
  // to move, in this view's points (as a finger's travel: positive y moves it down, towards the
  // top). Each axis is taken only when the content can still move that way (it is not at that
  // end, and scrolling is enabled); the rest is for the enclosing scroll view. The content moves
  // at once and stays within its range, telling scrollViewDidScroll; a paging view instead turns
  // one page for each notch's worth of travel (a touchpad's adds up), from the page it is
  // settling on, and settles there as after a flick (scrollViewWillBeginDecelerating, then
  // scrollViewDidEndDecelerating). While a finger drags the content the wheel is ignored (all of
  // it taken). Returns the part of `travel` taken.
  gfx::Point scrollByWheel(gfx::Point travel);

  // The recogniser that drags the content; null until the scroll view is made.
  PanGestureRecognizer* panGestureRecognizer() const { return m_pan.get(); }

  // Observers of the content offset, inset and size, told the old and new values after each
  // change, and of reloads (table and collection views tell them after reloadData). `owner`
  // identifies them for removal.
  using OffsetObserver = std::function<void(gfx::Point oldOffset, gfx::Point newOffset)>;
  using InsetObserver = std::function<void(const gfx::EdgeInsets& oldInset, const gfx::EdgeInsets& newInset)>;
  using SizeObserver = std::function<void(gfx::Size oldSize, gfx::Size newSize)>;
  using ReloadObserver = std::function<void()>;
  // An observer whose owner has been destroyed is dropped unheard.
  void addContentOffsetObserver(const core::WeakToken& owner, OffsetObserver observer);
  void addContentInsetObserver(const core::WeakToken& owner, InsetObserver observer);
  void addContentSizeObserver(const core::WeakToken& owner, SizeObserver observer);
  void addReloadObserver(const core::WeakToken& owner, ReloadObserver observer);
  void removeObservers(const core::WeakToken& owner);

  // Shows the scroll indicators for a moment.
  void flashScrollIndicators();

  // The pan does not begin while content that cannot be cancelled (canCancelContentTouches
  // false) is tracking the touch.
  bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override;

 protected:
  // Where a change of offset ends up; subclasses may snap it.
  virtual void didChangeContentOffset(gfx::Point oldOffset) { (void)oldOffset; }
  // Subclasses that reload their content call this once the reload is done.
  void didReloadData();

  // The steps of a drag, as the pan recogniser drives them (and tests may drive them directly).
  // A finger came down on the content: stops deceleration or an offset animation at once.
  void touchDown();
  // The last finger lifted (after the drag, if there was one, has ended).
  void touchUp();
  // The pan began: scrollViewWillBeginDragging.
  void beginDragging();
  // The finger's travel since the drag began, in points (not the content's: the content moves the
  // other way).
  void dragTo(gfx::Point translation);
  // Release with the content's velocity in points per millisecond (positive when the offset grows).
  void endDragging(gfx::Point velocity);

 private:
  friend class ScrollPanRecognizer;

  enum class Motion { None, Animating, Decelerating };
  // How one axis moves while decelerating.
  struct AxisMotion {
    enum class Kind { Idle, Free, Approach } kind = Kind::Idle;
    double velocity = 0;  // points per millisecond (Free)
    double target = 0;    // where an Approach lands
  };

  void panChanged(PanGestureRecognizer& pan);
  void applyOffset(gfx::Point offset);
  void notifyOffset(gfx::Point oldOffset);
  bool canScrollHorizontally() const;
  bool canScrollVertically() const;
  bool canBounceHorizontally() const;
  bool canBounceVertically() const;
  // The offset with bouncing applied to a drag's unbounded position, and the reverse.
  gfx::Point bandedOffset(gfx::Point raw) const;
  gfx::Point unbandedOffset(gfx::Point offset) const;
  gfx::Point projectedTarget(gfx::Point offset, gfx::Point velocity) const;
  gfx::Point pageTarget(gfx::Point offset, gfx::Point velocity) const;
  void startDeceleration(bool notifyDelegate);
  void stopMotion();
  // scrollByWheel on a paging view: the page turns for the travel taken.
  void turnPagesByWheel(gfx::Point taken, gfx::Point from);
  void startFrames();
  void onFrame();
  void stepDeceleration(double elapsedMs);
  bool stepAxis(AxisMotion& m, double& p, double lo, double hi, bool bounce, double elapsedMs) const;
  void finishDeceleration();
  // Scroll indicators.
  void showIndicators();
  void hideIndicators();
  void updateIndicators();
  bool showsIndicatorOn(bool vertical) const;

  // An observer with the owner that identifies it.
  template <class Fn>
  struct Observer {
    core::WeakToken owner;
    Fn fn;
  };
  using OffsetObserverEntry = Observer<OffsetObserver>;
  using InsetObserverEntry = Observer<InsetObserver>;

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
  std::vector<Observer<SizeObserver>> m_sizeObservers;
  std::vector<Observer<ReloadObserver>> m_reloadObservers;

  // Drag state: the position the finger asks for before bouncing, the finger's last travel, the
  // offset and range of the last step (a change by anyone else rebases the drag), the locked axis.
  gfx::Point m_dragRaw;
  gfx::Point m_lastTranslation;
  gfx::Point m_lastDragOffset;
  gfx::Point m_lastDragMin;
  gfx::Point m_lastDragMax;
  enum class Lock { Undecided, Free, Horizontal, Vertical } m_lock = Lock::Undecided;
  // Counts calls of the public offset setters, so a release can tell whether the delegate moved
  // the content itself.
  unsigned m_setterCalls = 0;

  // Motion on the frame timer.
  Motion m_motion = Motion::None;
  std::shared_ptr<core::Timer> m_timer;
  double m_lastFrameTime = 0;
  gfx::Point m_animFrom;
  gfx::Point m_animTo;
  double m_animStart = 0;
  AxisMotion m_motionX;
  AxisMotion m_motionY;
  bool m_notifyDeceleration = false;

  // A paging view's wheel travel not yet worth a page, and when it last came (a pause forgets it).
  gfx::Point m_wheelTravel;
  double m_lastWheelTime = -1e9;

  // Indicators: subviews while shown; m_indicatorGeneration cancels a pending fade.
  std::shared_ptr<View> m_horizontalIndicator;
  std::shared_ptr<View> m_verticalIndicator;
  bool m_indicatorsShown = false;
  unsigned m_indicatorGeneration = 0;

  // Its own pan recogniser may outlive it; last, so it goes first.
  core::WeakPtrFactory<ScrollView> m_weakFactory{this};
};

}  // namespace ui
