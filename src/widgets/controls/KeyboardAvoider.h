#pragma once

#include <memory>

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Geometry.h"

namespace ui {
class ScrollView;
class View;
}  // namespace ui

namespace kt {

// The keyboard handling shared by the keyboard-avoiding scroll and table views. While the keyboard
// is about to show it remembers the host's content inset, makes the bottom inset reach the
// keyboard's top edge and scrolls the input being edited into the space above it, with the
// keyboard's own curve and duration; when the keyboard is about to hide it puts the remembered
// inset back. Every instance hears every keyboard of the application. The host owns the avoider
// and outlives it. Main thread only.
class KeyboardAvoider {
 public:
  explicit KeyboardAvoider(ui::ScrollView& host);
  KeyboardAvoider(const KeyboardAvoider&) = delete;
  KeyboardAvoider& operator=(const KeyboardAvoider&) = delete;

  void keyboardWillShow(const core::Notification& notification);
  void keyboardWillHide(const core::Notification& notification);

  bool isKeyboardVisible() const { return m_keyboardVisible; }
  bool isPriorInsetSaved() const { return m_priorInsetSaved; }
  const gfx::EdgeInsets& priorInset() const { return m_priorInset; }

  // The keyboard in the host's coordinates; a frame that converts to y = 0 is taken to lie across
  // the bottom of the main screen.
  gfx::Rect keyboardRect() const;
  // The host's inset with the bottom reaching up to the keyboard's top edge (negative when the
  // keyboard's top lies below the visible area).
  gfx::EdgeInsets contentInsetForKeyboard() const;
  // Where the host's content offset should be for `view` to sit in `space` points at the top.
  double idealOffsetForView(const ui::View& view, double space) const;
  // Re-aims at the edited input after the owner changed the layout while the keyboard is up.
  void adjustOffsetToIdealIfNeeded();
  // The host's keyboard inset again, when the keyboard is up (after a frame or size change),
  // saving the owner's inset first if nothing is saved yet.
  void reapplyInsetIfVisible();
  // Ends the editing of the input inside the host, if any.
  void resignFirstResponderBeneath();

  // The first subview at any depth (depth first, in subview order) that is the first responder;
  // never `view` itself.
  static ui::View* findFirstResponderBeneathView(const ui::View& view);
  // The offset that puts an input at `inputY` of `inputHeight` into `space` points of content
  // `contentHeight` high: centred when it fits, by its top when it does not, never past either end.
  static double idealOffset(double contentHeight, double inputY, double inputHeight, double space);

 private:
  void beginKeyboardAnimation(const core::Notification& notification);

  ui::ScrollView& m_host;
  gfx::EdgeInsets m_priorInset;
  bool m_priorInsetSaved = false;
  bool m_keyboardVisible = false;
  gfx::Rect m_keyboardRect;
  core::Observation m_showObservation;
  core::Observation m_hideObservation;
};

}  // namespace kt
