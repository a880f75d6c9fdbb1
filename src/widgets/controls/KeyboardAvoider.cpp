#include "widgets/controls/KeyboardAvoider.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Keyboard.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"

namespace kt {

KeyboardAvoider::KeyboardAvoider(ui::ScrollView& host)
    : m_host(host),
      m_showObservation(core::NotificationCenter::defaultCenter(), ui::Keyboard::WillShowNotification, nullptr,
                        [this](const core::Notification& n) { keyboardWillShow(n); }),
      m_hideObservation(core::NotificationCenter::defaultCenter(), ui::Keyboard::WillHideNotification, nullptr,
                        [this](const core::Notification& n) { keyboardWillHide(n); }) {}

void KeyboardAvoider::beginKeyboardAnimation(const core::Notification& notification) {
  const core::Value& info = notification.userInfo;
  ui::View::beginAnimations();
  // Curves the views do not know (the keyboard's own is 7) ease in and out.
  ui::View::setAnimationCurve(static_cast<ui::AnimationCurve>(info[ui::Keyboard::AnimationCurveUserInfoKey].intValue()));
  ui::View::setAnimationDuration(info[ui::Keyboard::AnimationDurationUserInfoKey].floatValue());
}

void KeyboardAvoider::keyboardWillShow(const core::Notification& notification) {
  m_keyboardRect = ui::Keyboard::rectFromValue(notification.userInfo[ui::Keyboard::FrameEndUserInfoKey]);
  m_keyboardVisible = true;
  ui::View* responder = findFirstResponderBeneathView(m_host);
  if (!responder) return;
  // A keyboard that changes while up keeps the inset saved when it first came.
  if (!m_priorInsetSaved) {
    m_priorInset = m_host.contentInset();
    m_priorInsetSaved = true;
  }
  beginKeyboardAnimation(notification);
  m_host.setContentInset(contentInsetForKeyboard());
  const double space = keyboardRect().y() - m_host.bounds().y();
  m_host.setContentOffset(gfx::Point{m_host.contentOffset().x, idealOffsetForView(*responder, space)}, true);
  ui::View::commitAnimations();
}

void KeyboardAvoider::keyboardWillHide(const core::Notification& notification) {
  m_keyboardRect = gfx::Rect();
  m_keyboardVisible = false;
  beginKeyboardAnimation(notification);
  // Only an inset this view saved is put back: a keyboard that hid without this view having made
  // room for it leaves the owner's inset alone.
  if (m_priorInsetSaved) m_host.setContentInset(m_priorInset);
  m_priorInsetSaved = false;
  ui::View::commitAnimations();
}

gfx::Rect KeyboardAvoider::keyboardRect() const {
  gfx::Rect rect = m_host.convertRectFrom(m_keyboardRect, nullptr);
  if (rect.origin.y == 0) {
    const double screenHeight = m_host.convertRectFrom(ui::Screen::main().bounds(), nullptr).height();
    rect.origin.x = 0;
    rect.origin.y = screenHeight - rect.height();
  }
  return rect;
}

gfx::EdgeInsets KeyboardAvoider::contentInsetForKeyboard() const {
  const gfx::Rect kb = keyboardRect();
  const gfx::Rect bounds = m_host.bounds();
  gfx::EdgeInsets inset = m_host.contentInset();
  inset.bottom = kb.height() - ((kb.y() + kb.height()) - (bounds.y() + bounds.height()));
  return inset;
}

double KeyboardAvoider::idealOffset(double contentHeight, double inputY, double inputHeight, double space) {
  double offset = inputY;
  if (contentHeight - offset < space) {
    offset = contentHeight - space;
  } else {
    if (inputHeight < space) offset -= std::floor((space - inputHeight) * 0.5);
    if (offset + space > contentHeight) offset = contentHeight - space;
  }
  return std::max(offset, 0.0);
}

double KeyboardAvoider::idealOffsetForView(const ui::View& view, double space) const {
  const gfx::Rect inHost = view.convertRectTo(view.bounds(), &m_host);
  return idealOffset(m_host.contentSize().height, inHost.y(), view.bounds().height(), space);
}

void KeyboardAvoider::adjustOffsetToIdealIfNeeded() {
  if (!m_keyboardVisible) return;
  const gfx::EdgeInsets inset = m_host.contentInset();
  const double space = m_host.bounds().height() - inset.top - inset.bottom;
  ui::View* responder = findFirstResponderBeneathView(m_host);
  // Nothing is being edited: nothing to aim at.
  if (!responder) return;
  m_host.setContentOffset(gfx::Point{0, idealOffsetForView(*responder, space)}, true);
}

void KeyboardAvoider::reapplyInsetIfVisible() {
  if (!m_keyboardVisible) return;
  // The keyboard came while nothing inside was edited: the owner's inset is saved now, so that
  // the keyboard going puts it back rather than leaving the keyboard's.
  if (!m_priorInsetSaved) {
    m_priorInset = m_host.contentInset();
    m_priorInsetSaved = true;
  }
  m_host.setContentInset(contentInsetForKeyboard());
}

void KeyboardAvoider::resignFirstResponderBeneath() {
  if (ui::View* responder = findFirstResponderBeneathView(m_host)) responder->resignFirstResponder();
}

ui::View* KeyboardAvoider::findFirstResponderBeneathView(const ui::View& view) {
  for (const auto& subview : view.subviews()) {
    if (subview->isFirstResponder()) return subview.get();
    if (ui::View* found = findFirstResponderBeneathView(*subview)) return found;
  }
  return nullptr;
}

}  // namespace kt
