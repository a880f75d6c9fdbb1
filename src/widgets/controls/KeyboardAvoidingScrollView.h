#pragma once

#include <memory>

#include "platform/ui/ScrollView.h"
#include "widgets/controls/KeyboardAvoider.h"

namespace kt {

// A scroll view that keeps the input being edited inside it visible above the on-screen keyboard
// (see KeyboardAvoider), ends the editing when a touch ends on the view itself, and keeps its
// content at least as large as its frame. Every frame change is followed; content size changes must
// come through this class's own setter for the content size and keyboard inset to follow. Main
// thread only.
class KeyboardAvoidingScrollView : public ui::ScrollView {
 public:
  static std::shared_ptr<KeyboardAvoidingScrollView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<KeyboardAvoidingScrollView>(frame);
  }
  explicit KeyboardAvoidingScrollView(const gfx::Rect& frame = gfx::Rect());

  // The set-up of a view loaded from a nib.
  void awakeFromNib() { setup(); }

  void setFrame(const gfx::Rect& frame) override;
  // Remembers the size asked for; the content is never smaller than the frame.
  void setContentSize(gfx::Size size);
  gfx::Size originalContentSize() const { return m_originalContentSize; }

  void touchesEnded(const ui::TouchSet& touches, const ui::Event* event) override;

  gfx::Rect keyboardRect() const { return m_avoider->keyboardRect(); }
  gfx::EdgeInsets contentInsetForKeyboard() const { return m_avoider->contentInsetForKeyboard(); }
  double idealOffsetForView(const ui::View& view, double space) const { return m_avoider->idealOffsetForView(view, space); }
  // For the owner, after it changed the layout inside the view while the keyboard is up.
  void adjustOffsetToIdealIfNeeded() { m_avoider->adjustOffsetToIdealIfNeeded(); }
  const KeyboardAvoider& avoider() const { return *m_avoider; }

 private:
  void setup();

  gfx::Size m_originalContentSize;
  std::unique_ptr<KeyboardAvoider> m_avoider;
};

}  // namespace kt
