#include "widgets/controls/KeyboardAvoidingScrollView.h"

#include <algorithm>

namespace kt {

KeyboardAvoidingScrollView::KeyboardAvoidingScrollView(const gfx::Rect& frame) : ui::ScrollView(frame) { setup(); }

void KeyboardAvoidingScrollView::setup() {
  if (contentSize() == gfx::Size()) setContentSize(bounds().size);
  // A second set-up starts over with one registration and nothing saved.
  m_avoider = std::make_unique<KeyboardAvoider>(*this);
}

void KeyboardAvoidingScrollView::setFrame(const gfx::Rect& frame) {
  ui::ScrollView::setFrame(frame);
  ui::ScrollView::setContentSize(gfx::Size{std::max(m_originalContentSize.width, frame.width()),
                                           std::max(m_originalContentSize.height, frame.height())});
  if (m_avoider) m_avoider->reapplyInsetIfVisible();
}

void KeyboardAvoidingScrollView::setContentSize(gfx::Size size) {
  m_originalContentSize = size;
  const gfx::Rect f = frame();
  ui::ScrollView::setContentSize(gfx::Size{std::max(size.width, f.width()), std::max(size.height, f.height())});
  if (m_avoider) m_avoider->reapplyInsetIfVisible();
}

void KeyboardAvoidingScrollView::touchesEnded(const ui::TouchSet& touches, const ui::Event* event) {
  m_avoider->resignFirstResponderBeneath();
  ui::ScrollView::touchesEnded(touches, event);
}

}  // namespace kt
