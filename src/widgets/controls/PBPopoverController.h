#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/NotificationCenter.h"
#include "platform/core/WeakPtr.h"
#include "platform/ui/Device.h"
#include "platform/ui/ViewController.h"

namespace ui {
class Window;
}

namespace kt {

class PBPopoverController;
class PBPopoverView;
class PBTouchView;

// Told about a popover's life. Both operations are optional: a slot left empty is not called.
// The controller holds its delegate weakly.
class PBPopoverControllerDelegate {
 public:
  PBPopoverControllerDelegate() = default;
  PBPopoverControllerDelegate(const PBPopoverControllerDelegate&) = delete;
  PBPopoverControllerDelegate& operator=(const PBPopoverControllerDelegate&) = delete;
  virtual ~PBPopoverControllerDelegate() = default;

  // The popover's view has left the screen.
  std::function<void(PBPopoverController& controller)> popoverControllerDidDismissPopover;
  // Another popover (the first argument) has just been presented; the delegate decides whether
  // to dismiss the visible one (the second).
  std::function<void(PBPopoverController& presented, PBPopoverController& visible)>
      presentedNewPopoverController;

  core::WeakPtr<PBPopoverControllerDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<PBPopoverControllerDelegate> m_weakFactory{this};
};

// Shows the view of another controller in an arrow bubble next to a source view, on the first
// view of the application's first window, over a transparent layer that dismisses the popover
// when a touch lands outside the bubble. The side of the arrow follows the room around the
// source. Main thread only.
class PBPopoverController : public ui::ViewController {
 public:
  static constexpr const char* NewPopoverPresentedNotification = "PBNewPopoverPresented";
  static constexpr double FadeDuration = 0.2;

  // A popover showing `viewController`'s view, not yet presented.
  static std::shared_ptr<PBPopoverController> create(std::shared_ptr<ui::ViewController> viewController);
  PBPopoverController() = default;
  ~PBPopoverController() override;

  int32_t tint() const;
  void setTint(int32_t tint);

  void viewDidLoad() override;
  bool shouldAutorotateToInterfaceOrientation(ui::DeviceOrientation) const { return true; }

  // The size of the view the popover is shown on (0 before the first presentation).
  double parentWidth() const;
  double parentHeight() const;

  void presentPopoverFromPoint(gfx::Point point);
  // The point of the source view's frame the current arrow aims at.
  gfx::Point originFromView(const ui::View& view) const;
  void presentPopoverFromView(std::shared_ptr<ui::View> view);
  // Takes the popover off the screen and tells the delegate, once per presentation.
  void dismissPopover();
  void dismissPopoverAnimated(bool animated);
  bool isPresented() const { return m_presented; }

  // A frame proposed around a point (not used for placement).
  gfx::Rect bestViewFrameForFromPoint(gfx::Point point) const;
  // Chooses the arrow's side and the bubble's frame next to `view` (none: all its measures 0),
  // applies them and returns the frame.
  gfx::Rect bestArrowDirectionAndFrameFromView(const ui::View* view);

  PBPopoverControllerDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(PBPopoverControllerDelegate* delegate) {
    m_delegate = delegate ? delegate->weakPtr() : nullptr;
  }
  gfx::Size contentSize() const { return m_contentSize; }
  void setContentSize(gfx::Size size) { m_contentSize = size; }
  gfx::Point origin() const { return m_origin; }
  void setOrigin(gfx::Point origin) { m_origin = origin; }
  int32_t arrowDirection() const { return m_arrowDirection; }
  void setArrowDirection(int32_t direction) { m_arrowDirection = direction; }

  const std::shared_ptr<PBPopoverView>& popoverView() const { return m_contentView; }
  const std::shared_ptr<PBTouchView>& touchView() const { return m_touchView; }
  const std::shared_ptr<ui::ViewController>& viewController() const { return m_viewController; }
  const std::shared_ptr<ui::View>& parentView() const { return m_parentView; }
  ui::DeviceOrientation deviceOrientation() const { return m_deviceOrientation; }

 private:
  void initWithViewController(std::shared_ptr<ui::ViewController> viewController);
  void setupView();
  void addObservers();
  void removeObservers();
  void deviceOrientationDidChange();
  void willPresentNewPopover(const core::Notification& notification);

  ui::DeviceOrientation m_deviceOrientation = ui::DeviceOrientation::Unknown;
  std::shared_ptr<ui::ViewController> m_viewController;
  std::shared_ptr<PBTouchView> m_touchView;
  std::shared_ptr<PBPopoverView> m_contentView;
  std::shared_ptr<ui::Window> m_window;
  std::shared_ptr<ui::View> m_parentView;
  std::shared_ptr<ui::View> m_fromView;
  gfx::Point m_origin;
  core::WeakPtr<PBPopoverControllerDelegate> m_delegate;
  gfx::Size m_contentSize{200, 300};
  int32_t m_arrowDirection = 15;
  // On screen since the last presentation; a fade-out started for an earlier presentation does
  // not take a newer one away.
  bool m_presented = false;
  uint64_t m_presentation = 0;
  bool m_observing = false;
  core::Observation m_orientationObservation;
  core::Observation m_newPopoverObservation;
  core::WeakToken m_titleToken;
};

}  // namespace kt
