#pragma once

#include <memory>

#include "platform/core/WeakPtr.h"
#include "platform/ui/TableView.h"
#include "widgets/controls/KeyboardAvoider.h"

namespace kt {

// A table view that keeps the input being edited in one of its rows visible above the on-screen
// keyboard (see KeyboardAvoider) and ends the editing when a touch ends on the table itself.
// The keyboard inset follows every change of the frame (autoresizing's included) and of the
// content size, the table's own included. Main thread only.
class KeyboardAvoidingTableView : public ui::TableView {
 public:
  static std::shared_ptr<KeyboardAvoidingTableView> create(const gfx::Rect& frame = gfx::Rect(),
                                                           ui::TableViewStyle style = ui::TableViewStyle::Plain) {
    return std::make_shared<KeyboardAvoidingTableView>(frame, style);
  }
  explicit KeyboardAvoidingTableView(const gfx::Rect& frame = gfx::Rect(),
                                     ui::TableViewStyle style = ui::TableViewStyle::Plain);

  void setFrame(const gfx::Rect& frame) override;

  void touchesEnded(const ui::TouchSet& touches, const ui::Event* event) override;

  gfx::Rect keyboardRect() const { return m_avoider.keyboardRect(); }
  gfx::EdgeInsets contentInsetForKeyboard() const { return m_avoider.contentInsetForKeyboard(); }
  double idealOffsetForView(const ui::View& view, double space) const { return m_avoider.idealOffsetForView(view, space); }
  // For the owner, after it changed the layout inside the view while the keyboard is up.
  void adjustOffsetToIdealIfNeeded() { m_avoider.adjustOffsetToIdealIfNeeded(); }
  const KeyboardAvoider& avoider() const { return m_avoider; }

 private:
  KeyboardAvoider m_avoider{*this};
  // Identifies its content size observer.
  core::WeakPtrFactory<KeyboardAvoidingTableView> m_weakFactory{this};
};

}  // namespace kt
