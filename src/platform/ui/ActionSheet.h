#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ButtonListView.h"

namespace ui {

class ActionSheet;
class Button;
class Label;

// Where a popover's arrow points (bits of the permitted directions).
enum PopoverArrowDirection : unsigned {
  PopoverArrowDirectionUp = 1 << 0,
  PopoverArrowDirectionDown = 1 << 1,
  PopoverArrowDirectionLeft = 1 << 2,
  PopoverArrowDirectionRight = 1 << 3,
  PopoverArrowDirectionAny = 15,
  PopoverArrowDirectionUnknown = ~0u,
};

// The card of a popover: a white rounded body with an arrow on one side pointing at an anchor.
// Action sheets on the tablet and PopoverController use it.
class PopoverCardView : public View {
 public:
  static constexpr double ArrowHeight = 13;
  static constexpr double ArrowBase = 26;
  static constexpr double CornerRadius = 8;
  // The card keeps this far from the edges of the area it is placed in.
  static constexpr double ScreenMargin = 10;

  struct Placement {
    gfx::Rect frame;                                    // card and arrow, in the area's space
    gfx::Rect contentFrame;                             // the body, in the card's own space
    unsigned arrowDirection = PopoverArrowDirectionUnknown;
    double arrowOffset = 0;                             // the tip along its side, card space
  };
  // Places a body of `contentSize` next to `anchor`, inside `area` inset by ScreenMargin: on the
  // first permitted side (up, down, left, right: an up arrow means the card is below the anchor)
  // where it fits whole; when none does, on the permitted side with the most room, shrunk to it.
  static Placement place(const gfx::Rect& anchor, gfx::Size contentSize, unsigned permittedDirections,
                         const gfx::Rect& area);
  // A card without an arrow, centred in `area`.
  static Placement centred(gfx::Size contentSize, const gfx::Rect& area);

  PopoverCardView();
  void apply(const Placement& placement);
  const Placement& placement() const { return m_placement; }
  unsigned arrowDirection() const { return m_placement.arrowDirection; }
  gfx::Rect contentFrame() const { return m_placement.contentFrame; }
  // The body holding the content (clipped to the rounded corners).
  const std::shared_ptr<View>& contentView() const { return m_content; }
  // The fill of the body and the arrow (white by default).
  const gfx::Color& cardColor() const { return m_cardColor; }
  void setCardColor(const gfx::Color& color);

  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;

 private:
  Placement m_placement;
  std::shared_ptr<View> m_content;
  gfx::Color m_cardColor = gfx::Color::whiteColor();
};

// The clear full-screen layer under a popover card: a touch outside the card reports itself,
// except over the passthrough views, which get their touches as if the layer were not there.
class PopoverDismissingView : public View {
 public:
  explicit PopoverDismissingView(const gfx::Rect& frame);
  std::function<void()> onOutsideTouch;
  // What the layer keeps alive while it is on screen (the popover's controller).
  std::shared_ptr<void> keepAlive;
  void setPassthroughViews(std::vector<std::weak_ptr<View>> views) { m_passthrough = std::move(views); }
  std::shared_ptr<View> hitTest(gfx::Point p, const Event* event) override;
  void touchesBegan(const std::vector<std::shared_ptr<Touch>>& touches, const Event* event) override;

 private:
  std::vector<std::weak_ptr<View>> m_passthrough;
};

// What an action sheet tells the one who showed it. Every operation is optional.
class ActionSheetDelegate {
 public:
  virtual ~ActionSheetDelegate() = default;
  virtual void clickedButtonAtIndex(ActionSheet& /*actionSheet*/, int /*buttonIndex*/) {}
  // The system cancels the sheet (ActionSheet::cancel). By default: dismissed with the cancel
  // index, without the click.
  virtual void actionSheetCancel(ActionSheet& actionSheet);
  virtual void willPresentActionSheet(ActionSheet& /*actionSheet*/) {}
  virtual void didPresentActionSheet(ActionSheet& /*actionSheet*/) {}
  virtual void willDismissWithButtonIndex(ActionSheet& /*actionSheet*/, int /*buttonIndex*/) {}
  virtual void didDismissWithButtonIndex(ActionSheet& /*actionSheet*/, int /*buttonIndex*/) {}
};

// A list of choices. On the tablet it is shown as a popover card: pointing at a rectangle
// (showFromRect) or centred in a view (showInView). Its cancel button is not drawn there: a tap
// outside the card stands for it (clicked, will and did dismiss with the cancel index).
//
// Indexes: the destructive button (drawn in red) first, then the other titles, then the cancel
// button, then what addButtonWithTitle adds. A shown sheet keeps itself alive until dismissed.
class ActionSheet : public ButtonListView {
 public:
  static constexpr double Width = 272;
  static constexpr double ButtonHeight = 44;

  // `delegate` is not owned: clear it before it goes away.
  static std::shared_ptr<ActionSheet> create(const std::string& title, ActionSheetDelegate* delegate = nullptr,
                                             const std::optional<std::string>& cancelButtonTitle = std::nullopt,
                                             const std::optional<std::string>& destructiveButtonTitle = std::nullopt,
                                             const std::vector<std::string>& otherButtonTitles = {});
  ActionSheet();
  ~ActionSheet() override;

  const std::string& title() const { return m_title; }
  void setTitle(const std::string& title);
  ActionSheetDelegate* delegate() const { return m_delegate; }
  void setDelegate(ActionSheetDelegate* delegate) { m_delegate = delegate; }

  int destructiveButtonIndex() const { return m_destructiveIndex; }
  void setDestructiveButtonIndex(int index);
  int firstOtherButtonIndex() const;
  bool isVisible() const { return m_visible; }

  void showInView(View& view);
  void showFromRect(const gfx::Rect& rect, View& inView, bool animated);
  void dismissWithClickedButtonIndex(int buttonIndex, bool animated);
  void cancel();

  // buttonAtIndex: null for the cancel button on the tablet, and before showing.
  std::shared_ptr<PopoverCardView> card() const { return m_card.lock(); }

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void layoutSubviews() override;

 private:
  void build();
  void present(View& view, const std::optional<gfx::Rect>& rect, bool animated);
  void dismiss(int buttonIndex, bool animated, bool clicked);
  void finishDismissal(int buttonIndex);
  std::vector<int> shownButtons() const;
  double titleHeight() const;

  std::string m_title;
  ActionSheetDelegate* m_delegate = nullptr;
  int m_destructiveIndex = -1;
  bool m_visible = false;
  bool m_dismissing = false;
  std::shared_ptr<Label> m_titleLabel;
  // The window holds the layer, the layer the card, the card this sheet: a shown sheet lives as
  // long as it is on screen.
  std::weak_ptr<PopoverCardView> m_card;
  std::weak_ptr<PopoverDismissingView> m_overlay;
};

}  // namespace ui
