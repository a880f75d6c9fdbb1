#include "platform/ui/ButtonListView.h"

#include "platform/gfx/Color.h"
#include "platform/ui/Button.h"

namespace ui {

int ButtonListView::addButtonWithTitle(const std::string& title) {
  m_buttonTitles.push_back(title);
  return numberOfButtons() - 1;
}

std::string ButtonListView::buttonTitleAtIndex(int index) const {
  return validButtonIndex(index) ? m_buttonTitles[size_t(index)] : "";
}

void ButtonListView::setCancelButtonIndex(int index) { m_cancelIndex = validButtonIndex(index) ? index : -1; }

std::shared_ptr<Button> ButtonListView::buttonAtIndex(int index) const {
  if (index < 0 || size_t(index) >= m_buttons.size()) return nullptr;
  return m_buttons[size_t(index)];
}

void ButtonListView::removeButtonViews() {
  for (auto& b : m_buttons) {
    if (b) b->removeFromSuperview();
  }
  for (auto& h : m_hairlines) h->removeFromSuperview();
  m_buttons.clear();
  m_hairlines.clear();
}

void ButtonListView::addHairline() {
  auto h = View::create();
  h->setBackgroundColor(gfx::Color::white(0.78));
  h->setUserInteractionEnabled(false);
  addSubview(h);
  m_hairlines.push_back(h);
}

}  // namespace ui
