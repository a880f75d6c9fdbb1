#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/core/WeakPtr.h"
#include "platform/ui/View.h"

namespace ui {
class Button;
class Label;
class TextField;
}  // namespace ui

namespace kt {

class CustomDialogView;

// Told what the dialog's keys did. The dialog holds its delegate weakly: a delegate that goes away
// is simply no longer told.
class CustomDialogViewDelegate {
 public:
  CustomDialogViewDelegate() = default;
  CustomDialogViewDelegate(const CustomDialogViewDelegate&) = delete;
  CustomDialogViewDelegate& operator=(const CustomDialogViewDelegate&) = delete;
  virtual ~CustomDialogViewDelegate() = default;

  // A button of the optional row along the bottom of the dialog box, by its index.
  virtual void customIOS7dialogButtonTouchUpInside(CustomDialogView& dialog, int buttonIndex) = 0;
  // The keypad's cancel (isOk false, empty input) or OK key (isOk true, the typed digits);
  // `dialogTag` is the dialog's own tag.
  virtual void customAlertViewClick(int dialogTag, bool isOk, const std::string& sInput) = 0;

  core::WeakPtr<CustomDialogViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<CustomDialogViewDelegate> m_weakFactory{this};
};

// A modal dialog over the whole screen: a dimming backdrop and a rounded box in the middle that
// pops in and shrinks away, follows device rotation and lifts above a keyboard. Unless the caller
// gives its own content, the box holds the order-password keypad: a title, a masked field of at
// most eight digits, a delete key, the digits, cancel and OK. The superview is its only owner
// while it is shown; it goes when closed. Main thread only.
class CustomDialogView : public ui::View {
 public:
  // Longest input of the keypad.
  static constexpr size_t MaxDigits = 8;

  static std::shared_ptr<CustomDialogView> create() { return std::make_shared<CustomDialogView>(); }
  // Shown in `parentView` (its frame) instead of the window, when it is not null.
  static std::shared_ptr<CustomDialogView> createWithParentView(const std::shared_ptr<ui::View>& parentView);

  // The main screen's size.
  CustomDialogView();
  ~CustomDialogView() override;

  const std::shared_ptr<ui::View>& parentView() const { return m_parentView; }
  void setParentView(std::shared_ptr<ui::View> view) { m_parentView = std::move(view); }
  // The box's content; when null at show, the keypad is built (300 x 440 points).
  const std::shared_ptr<ui::View>& containerView() const { return m_containerView; }
  void setContainerView(std::shared_ptr<ui::View> view) { m_containerView = std::move(view); }
  void setSubView(std::shared_ptr<ui::View> view) { setContainerView(std::move(view)); }
  // The box, made by show.
  const std::shared_ptr<ui::View>& dialogView() const { return m_dialogView; }
  // The keypad's title line; the caller sets its text.
  const std::shared_ptr<ui::Label>& title() const { return m_title; }
  // The masked entry field; null until the keypad is built.
  const std::shared_ptr<ui::TextField>& pw() const { return m_pw; }
  // Not owned; none unless set.
  CustomDialogViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(CustomDialogViewDelegate* delegate);
  // Titles of the optional button row along the bottom of the box.
  const std::vector<std::string>& buttonTitles() const { return m_buttonTitles; }
  void setButtonTitles(std::vector<std::string> titles) { m_buttonTitles = std::move(titles); }
  // Tilt follows no sensor here; the flag is kept for callers that set it.
  bool useMotionEffects() const { return m_useMotionEffects; }
  void setUseMotionEffects(bool on) { m_useMotionEffects = on; }
  // Called after the delegate when a button of the row is pressed.
  using ButtonBlock = std::function<void(CustomDialogView&, int buttonIndex)>;
  const ButtonBlock& onButtonTouchUpInside() const { return m_onButtonTouchUpInside; }
  void setOnButtonTouchUpInside(ButtonBlock block) { m_onButtonTouchUpInside = std::move(block); }

  // Builds a new box and pops it in over the window (or the parent view).
  void show();
  // Shrinks the box away, then leaves the screen.
  void close();

  // Key actions.
  void clickNum(int digit);
  void clickDelNum();
  void clickCancel();
  void clickOK();
  void customIOS7dialogButtonTouchUpInside(int buttonIndex);

  // Heights of the button row and of the separator above it: 50 and 1 with titles, else 0.
  double buttonHeight() const { return m_buttonHeight; }
  double buttonSpacerHeight() const { return m_buttonSpacerHeight; }
  gfx::Size countScreenSize();
  gfx::Size countDialogSize() const;

 private:
  std::shared_ptr<ui::View> createContainerView();
  void addViewToContainerView();
  void addButtonsToView(ui::View& container);
  std::shared_ptr<ui::Button> keypadButton(const gfx::Rect& frame, std::function<void(CustomDialogView&)> action);
  // The box centred in a screen of `screen` with `liftedBy` points of keyboard below it.
  gfx::Rect centredBox(gfx::Size screen, double liftedBy) const;
  void deviceOrientationDidChange(const core::Notification& note);
  void changeOrientation(const core::Notification& note);
  void keyboardWillShow(const core::Notification& note);
  void keyboardWillHide(const core::Notification& note);

  std::shared_ptr<ui::View> m_parentView;
  std::shared_ptr<ui::View> m_containerView;
  std::shared_ptr<ui::View> m_dialogView;
  std::shared_ptr<ui::Label> m_title;
  std::shared_ptr<ui::TextField> m_pw;
  core::WeakPtr<CustomDialogViewDelegate> m_delegate;
  std::vector<std::string> m_buttonTitles;
  bool m_useMotionEffects = false;
  ButtonBlock m_onButtonTouchUpInside;
  double m_buttonHeight = 0;
  double m_buttonSpacerHeight = 0;
  core::Observation m_orientationObserver;
  core::Observation m_keyboardShowObserver;
  core::Observation m_keyboardHideObserver;
};

}  // namespace kt
