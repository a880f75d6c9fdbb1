#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/ui/View.h"

namespace ui {
class Control;
class Label;
}  // namespace ui

namespace kt {

// Told which button of a WGAlertView was tapped. The alert holds its delegate weakly: a delegate
// that goes away while the alert is up is simply not told.
class WGAlertViewDelegate {
 public:
  WGAlertViewDelegate() = default;
  WGAlertViewDelegate(const WGAlertViewDelegate&) = delete;
  WGAlertViewDelegate& operator=(const WGAlertViewDelegate&) = delete;
  virtual ~WGAlertViewDelegate() = default;
  // `index` counts from 0 for the leftmost button.
  virtual void didClickTheActionButtonAtIndex(int index) { (void)index; }

  core::WeakPtr<WGAlertViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<WGAlertViewDelegate> m_weakFactory{this};
};

// The system's own modal alert: a white rounded card with a bold title, a message and a row of
// buttons, laid over a veil that darkens and blocks the whole window. A button tap tells the
// delegate (when one was set through setDelegate) and fades the alert out with its veil.
//
// Width 0.6 x the screen width, centred horizontally; the card is as tall as its title and
// message plus the button row, on the 12.9-inch tablet with a taller button row.
class WGAlertView : public ui::View {
 public:
  // Alignment values of textAlignment().
  enum : int { AlignLeft = 0, AlignRight = 1, AlignCenter = 2 };
  // Button tags are FirstButtonTag + index.
  static constexpr int FirstButtonTag = 101;

  // The alert, not shown. A missing button list gives the one button "确定"; an empty one gives
  // no buttons. The delegate argument is not kept: only setDelegate() sets the receiver.
  static std::shared_ptr<WGAlertView> create(const std::string& title, const std::string& message,
                                             WGAlertViewDelegate* delegate,
                                             const std::optional<std::vector<std::string>>& buttonTitles);
  WGAlertView();
  ~WGAlertView() override;

  // Builds the title, message, rules and buttons for the alert's current width and sets the
  // card's final frame.
  void suitForTitle(const std::string& title, const std::string& message, WGAlertViewDelegate* delegate,
                    const std::optional<std::vector<std::string>>& buttonTitles);

  // Puts the alert over a veil in the application's window; nothing when it is already there.
  void show();
  // A button was tapped: the delegate hears its index (tag - 101), then the alert goes.
  void actionBtnClick(const ui::Control& button);
  // Fades the veil holder (with veil and alert) out in 0.1 s and then removes it.
  void dismissss();

  // Held weakly: null once the delegate has gone.
  WGAlertViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(WGAlertViewDelegate* delegate) { m_delegate = delegate ? delegate->weakPtr() : nullptr; }
  // 0 left, 1 right, 2 centre (the initial value); other values leave the message as it is.
  int textAlignment() const { return m_textAlignment; }
  void setTextAlignment(int alignment) { m_textAlignment = alignment; }

  const std::shared_ptr<ui::Label>& label_msg() const { return m_labelMsg; }
  // The view that show() put into the window (null while not shown).
  std::shared_ptr<ui::View> veilHolder() const { return m_holder.lock(); }

  void layoutSubviews() override;

 private:
  std::shared_ptr<ui::Label> m_labelMsg;
  core::WeakPtr<WGAlertViewDelegate> m_delegate;
  int m_textAlignment = AlignCenter;
  std::weak_ptr<ui::View> m_holder;
};

}  // namespace kt
