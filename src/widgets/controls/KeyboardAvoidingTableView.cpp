#include "widgets/controls/KeyboardAvoidingTableView.h"

namespace kt {

KeyboardAvoidingTableView::KeyboardAvoidingTableView(const gfx::Rect& frame, ui::TableViewStyle style)
    : ui::TableView(frame, style) {
  // The table sizes its content itself on every reload and update.
  addContentSizeObserver(core::WeakToken(m_weakFactory.weakPtr()), [this](gfx::Size, gfx::Size) { m_avoider.reapplyInsetIfVisible(); });
}

void KeyboardAvoidingTableView::setFrame(const gfx::Rect& frame) {
  ui::TableView::setFrame(frame);
  m_avoider.reapplyInsetIfVisible();
}

void KeyboardAvoidingTableView::touchesEnded(const ui::TouchSet& touches, const ui::Event* event) {
  m_avoider.resignFirstResponderBeneath();
  ui::TableView::touchesEnded(touches, event);
}

}  // namespace kt
