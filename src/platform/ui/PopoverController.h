#pragma once

#include <memory>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/ui/ActionSheet.h"

namespace ui {

class PopoverController;
class View;
class ViewController;

// What a popover asks and tells. Every operation is optional.
class PopoverControllerDelegate {
 public:
  virtual ~PopoverControllerDelegate() = default;
  // Asked before a tap outside the popover dismisses it; false keeps it up.
  virtual bool popoverControllerShouldDismissPopover(PopoverController& /*popover*/) { return true; }
  // After a tap outside has dismissed the popover (not after dismissPopoverAnimated).
  virtual void popoverControllerDidDismissPopover(PopoverController& /*popover*/) {}
};

// Shows a view controller's view in a card with an arrow pointing at a rectangle. The card sits in
// a clear full-screen layer over the key window's views that catches the taps outside it (except
// over the passthrough views). While visible, the controller is kept alive by that layer.
//
// The card's body has the popover content size: the one set, else the content controller's
// preferred content size when it has one, else its view's size when loaded and not empty, else
// DefaultContentSize.
class PopoverController : public std::enable_shared_from_this<PopoverController> {
 public:
  static constexpr gfx::Size DefaultContentSize{320, 480};
  static constexpr double AnimationDuration = 0.2;

  static std::shared_ptr<PopoverController> create(std::shared_ptr<ViewController> contentViewController);
  explicit PopoverController(std::shared_ptr<ViewController> contentViewController);
  ~PopoverController();
  PopoverController(const PopoverController&) = delete;
  PopoverController& operator=(const PopoverController&) = delete;

  // Not owned: clear it before it goes away.
  PopoverControllerDelegate* delegate() const { return m_delegate; }
  void setDelegate(PopoverControllerDelegate* delegate) { m_delegate = delegate; }

  const std::shared_ptr<ViewController>& contentViewController() const { return m_content; }
  void setContentViewController(std::shared_ptr<ViewController> controller, bool animated = false);

  gfx::Size popoverContentSize() const;
  // While visible, the card is placed anew for the size.
  void setPopoverContentSize(gfx::Size size, bool animated = false);

  // The look of the card: Light (white, the default) or Dark (a near-black card for content
  // drawn on dark backgrounds). Takes effect at the next presentation.
  enum class BackgroundStyle { Light = 0, Dark = 2 };
  BackgroundStyle backgroundStyle() const { return m_backgroundStyle; }
  void setBackgroundStyle(BackgroundStyle style) { m_backgroundStyle = style; }

  // `rect` is in `inView`'s coordinates; `permittedArrowDirections` a mask of PopoverArrowDirection.
  void presentPopoverFromRect(const gfx::Rect& rect, View& inView, unsigned permittedArrowDirections, bool animated);
  bool isPopoverVisible() const { return m_visible; }
  // No delegate calls.
  void dismissPopoverAnimated(bool animated);
  // The arrow's direction since the last presentation (Unknown before).
  unsigned popoverArrowDirection() const { return m_arrowDirection; }

  // Views that keep taking touches while the popover is up (held weakly).
  std::vector<std::shared_ptr<View>> passthroughViews() const;
  void setPassthroughViews(const std::vector<std::shared_ptr<View>>& views);

  // The card on screen (null while hidden).
  std::shared_ptr<PopoverCardView> card() const { return m_card.lock(); }

 private:
  void place(bool animated);
  void outsideTouch();
  void dismiss(bool animated, bool byOutsideTap);
  void attachContent();

  PopoverControllerDelegate* m_delegate = nullptr;
  std::shared_ptr<ViewController> m_content;
  std::optional<gfx::Size> m_contentSize;
  std::vector<std::weak_ptr<View>> m_passthrough;
  BackgroundStyle m_backgroundStyle = BackgroundStyle::Light;
  bool m_visible = false;
  bool m_dismissing = false;
  unsigned m_arrowDirection = PopoverArrowDirectionUnknown;
  unsigned m_permitted = PopoverArrowDirectionAny;
  gfx::Rect m_anchor;  // in the host window's coordinates
  std::weak_ptr<Window> m_host;
  // Held by the host window's tree (the layer keeps this controller alive while shown).
  std::weak_ptr<PopoverDismissingView> m_overlay;
  std::weak_ptr<PopoverCardView> m_card;
};

}  // namespace ui
