#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace ui {

class Button;

// What alerts and action sheets share: button titles by index, one of which may be the cancel
// button, and, once built, the button views (by the same index) with the hairlines between them.
class ButtonListView : public View {
 public:
  using View::View;

  // Returns the new button's index.
  int addButtonWithTitle(const std::string& title);
  int numberOfButtons() const { return static_cast<int>(m_buttonTitles.size()); }
  // "" for an index out of range.
  std::string buttonTitleAtIndex(int index) const;
  // -1 when there is none.
  int cancelButtonIndex() const { return m_cancelIndex; }
  // An index out of range means none.
  void setCancelButtonIndex(int index);
  // The button view of an index; null before the buttons are built, and for a title that has no
  // button of its own.
  std::shared_ptr<Button> buttonAtIndex(int index) const;

 protected:
  // Takes the button views and hairlines out of the view and forgets them.
  void removeButtonViews();
  // A new hairline (a thin grey view that takes no touches), added to this view.
  void addHairline();
  bool validButtonIndex(int index) const { return index >= 0 && index < numberOfButtons(); }

  std::vector<std::string> m_buttonTitles;
  int m_cancelIndex = -1;
  std::vector<std::shared_ptr<Button>> m_buttons;  // by index
  std::vector<std::shared_ptr<View>> m_hairlines;
};

}  // namespace ui
