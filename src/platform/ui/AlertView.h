#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ButtonListView.h"

namespace ui {

class AlertView;
class Button;
class Label;
class TextField;
class Window;

enum class AlertViewStyle { Default = 0, SecureTextInput = 1, PlainTextInput = 2, LoginAndPasswordInput = 3 };

// What an alert tells the one who showed it. Every operation is optional.
class AlertViewDelegate {
 public:
  virtual ~AlertViewDelegate() = default;
  // A button was tapped; the dismissal follows.
  virtual void clickedButtonAtIndex(AlertView& /*alertView*/, int /*buttonIndex*/) {}
  // The system cancels the alert (AlertView::cancel). By default: dismissed as if its cancel
  // button had been chosen, without the click.
  virtual void alertViewCancel(AlertView& alertView);
  virtual void willPresentAlertView(AlertView& /*alertView*/) {}
  virtual void didPresentAlertView(AlertView& /*alertView*/) {}
  virtual void willDismissWithButtonIndex(AlertView& /*alertView*/, int /*buttonIndex*/) {}
  virtual void didDismissWithButtonIndex(AlertView& /*alertView*/, int /*buttonIndex*/) {}
  // Asked when the alert is shown and again after each change of the text in its fields: whether
  // its first other button is enabled.
  virtual bool alertViewShouldEnableFirstOtherButton(AlertView& /*alertView*/) { return true; }
};

// A system alert: a frosted card (what lies behind, blurred and washed with white) with a title, a
// message, the text fields of its style and buttons, centred over a dimmed screen. The dimmed
// layer is a window of its own at the alert level (WindowLevelAlert), made visible but not key
// while the alert is on screen; it takes every touch.
// The first text field becomes the first responder when the alert comes up, so typed text goes to
// it (Application::textInputWindow).
//
// Alerts queue: only the first one shown is on screen; the next one comes up once it has been
// dismissed. A shown alert keeps itself alive until its dismissal is over, so its maker may drop
// its reference right after show().
//
// Button indexes follow the order the buttons were added: the cancel button given at creation is
// index 0, the other titles follow. With two buttons they sit side by side (cancel on the left),
// otherwise they are stacked with the cancel button at the bottom.
class AlertView : public ButtonListView {
 public:
  static constexpr double Width = 270;
  static constexpr double ButtonHeight = 44;
  static constexpr double CornerRadius = 7;
  static constexpr double WindowLevelAlert = 2000;
  static constexpr double TextFieldHeight = 30;
  // The card's backdrop: what lies behind, blurred at this radius (points) under a white wash of
  // this alpha.
  static constexpr double BackdropBlurRadius = 12;
  static constexpr double BackdropWash = 0.9;

  // `delegate` is not owned: clear it (setDelegate(nullptr)) before it goes away.
  static std::shared_ptr<AlertView> create(const std::string& title, const std::string& message,
                                           AlertViewDelegate* delegate = nullptr,
                                           const std::optional<std::string>& cancelButtonTitle = std::nullopt,
                                           const std::vector<std::string>& otherButtonTitles = {});
  AlertView();
  ~AlertView() override;

  const std::string& title() const { return m_title; }
  void setTitle(const std::string& title);
  const std::string& message() const { return m_message; }
  void setMessage(const std::string& message);
  AlertViewDelegate* delegate() const { return m_delegate; }
  void setDelegate(AlertViewDelegate* delegate) { m_delegate = delegate; }

  // The first button that is not the cancel button; -1 when there is none.
  int firstOtherButtonIndex() const;

  // The style's text fields are made when it is set (so they can be set up before show):
  // secure text input one secure field, plain text input one field, login and password a login
  // field (index 0) and a secure password field (index 1).
  AlertViewStyle alertViewStyle() const { return m_style; }
  void setAlertViewStyle(AlertViewStyle style);
  // The style's field at `index`; null when there is none.
  std::shared_ptr<TextField> textFieldAtIndex(int index) const;

  // On screen (shown and not yet dismissed; a queued alert is not visible yet).
  bool isVisible() const { return m_visible; }
  // Shown or waiting in the queue.
  bool isQueued() const;

  void show();
  // Dismisses from code: willDismiss and didDismiss are sent, clickedButtonAtIndex is not. A
  // queued alert leaves the queue.
  void dismissWithClickedButtonIndex(int buttonIndex, bool animated);
  // The system cancelling the alert: the delegate's alertViewCancel.
  void cancel();

  // buttonAtIndex: the button views are made when the alert is shown.
  const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
  const std::shared_ptr<Label>& messageLabel() const { return m_messageLabel; }
  // The window the alert is shown in (null while not on screen).
  std::shared_ptr<Window> alertWindow() const { return m_window; }

  // The alerts on screen and waiting, the one on screen first.
  static std::vector<std::shared_ptr<AlertView>> queuedAlerts();
  // Takes every alert off the screen and out of the queue without telling anyone (tests; also
  // done at exit).
  static void reset();

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void layoutSubviews() override;

 private:
  void present();
  // Forgets the alerts whose window went away with the window that hosted it.
  static void dropOrphans();
  void buildButtons();
  void buttonTapped(int index);
  void dismiss(int buttonIndex, bool animated, bool clicked);
  void finishDismissal(int buttonIndex);
  std::vector<int> buttonOrder() const;
  bool sideBySide() const { return numberOfButtons() == 2; }
  double textHeight() const;
  double fieldsHeight() const;
  void updateFirstOtherButton();

  std::string m_title;
  std::string m_message;
  AlertViewDelegate* m_delegate = nullptr;
  AlertViewStyle m_style = AlertViewStyle::Default;
  bool m_visible = false;
  bool m_dismissing = false;
  std::shared_ptr<Label> m_titleLabel;
  std::shared_ptr<Label> m_messageLabel;
  std::vector<std::shared_ptr<TextField>> m_fields;
  std::shared_ptr<Window> m_window;
  std::shared_ptr<View> m_dimmingView;
};

}  // namespace ui
