#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/ui/View.h"

namespace ui {
class Control;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

// Told which button of an AlertView_style1 was pressed. The alert holds its delegate weakly: a
// delegate that goes away is simply not told.
class AlertView_style1Delegate {
 public:
  AlertView_style1Delegate() = default;
  AlertView_style1Delegate(const AlertView_style1Delegate&) = delete;
  AlertView_style1Delegate& operator=(const AlertView_style1Delegate&) = delete;
  virtual ~AlertView_style1Delegate() = default;

  // `index` counts from 0 for the leftmost button.
  virtual void didClickTheActionButtonAtIndex(int index) { (void)index; }

  core::WeakPtr<AlertView_style1Delegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<AlertView_style1Delegate> m_weakFactory{this};
};

// The song screens' modal choice box: a fixed picture box in the middle of the window with one
// message line and a row of buttons, over a darkening veil that swallows every other touch.
// A button press tells the delegate (when one was set with setDelegate) the button's index and
// fades the alert out with its veil.
//
// Use: create, optionally setDelegate, show, then drop the reference: the window keeps the
// alert until a button closes it.
class AlertView_style1 : public ui::View {
 public:
  // Button i carries the tag FirstButtonTag + i.
  static constexpr int FirstButtonTag = 101;

  // The alert, laid out and not shown. A missing (or empty) title list gives the one button
  // "确定". The delegate argument is not kept: only setDelegate() sets the receiver.
  static std::shared_ptr<AlertView_style1> create(const std::string& message, AlertView_style1Delegate* delegate,
                                                  const std::optional<std::vector<std::string>>& buttonTitles);
  AlertView_style1();
  ~AlertView_style1() override;

  // Builds the picture, the message and the buttons (once, from create()).
  void suitForMessage(const std::string& message, AlertView_style1Delegate* delegate,
                      const std::optional<std::vector<std::string>>& buttonTitles);

  // Puts the alert over its veil on the application window; nothing when it is already shown.
  void show();
  // The action of every button: the delegate hears tag - 101, then the alert goes.
  void actionBtnClick(const ui::Control& button);
  // Fades out the container that show() made (with veil and alert) and removes exactly it.
  void dismissss();

  AlertView_style1Delegate* delegate() const { return m_delegate.get(); }
  void setDelegate(AlertView_style1Delegate* delegate);
  // Set to 2 when the alert is made; nothing reads it.
  int textAlignment() const { return m_textAlignment; }
  void setTextAlignment(int alignment) { m_textAlignment = alignment; }
  // An empty slot: the box's picture is not kept here.
  const std::shared_ptr<ui::ImageView>& imgV_bg() const { return m_imgVBg; }
  void setImgV_bg(std::shared_ptr<ui::ImageView> view) { m_imgVBg = std::move(view); }

  const std::shared_ptr<ui::Label>& label_msg() const { return m_labelMsg; }
  // The full-window container that show() put on the window (null before show and after removal).
  std::shared_ptr<ui::View> container() const { return m_container.lock(); }

 private:
  std::shared_ptr<ui::Label> m_labelMsg;
  core::WeakPtr<AlertView_style1Delegate> m_delegate;
  int m_textAlignment = 2;
  std::shared_ptr<ui::ImageView> m_imgVBg;
  std::weak_ptr<ui::View> m_container;
};

}  // namespace kt
