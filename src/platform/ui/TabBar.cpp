#include "platform/ui/TabBar.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TabBarItem.h"

namespace ui {
namespace {
const gfx::Color SelectedColor = gfx::Color::rgba(0, 122 / 255.0, 1);
const gfx::Color NormalColor = gfx::Color::white(0.57);
constexpr double BadgeHeight = 18;
}  // namespace

TabBar::TabBar(const gfx::Rect& frame) : View(frame) {
  setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleTopMargin);
}

TabBar::~TabBar() {
  for (auto& item : m_items) item->setChangeHandler(nullptr);
}

void TabBar::setItems(std::vector<std::shared_ptr<TabBarItem>> items) {
  for (auto& item : m_items) item->setChangeHandler(nullptr);
  for (auto& b : m_buttons) b->removeFromSuperview();
  m_buttons.clear();
  m_badges.clear();
  m_items.clear();
  for (auto& item : items) {
    if (item) m_items.push_back(item);
  }
  for (size_t i = 0; i < m_items.size(); ++i) {
    auto button = Button::create(ButtonType::Custom);
    button->titleLabel()->setFont(gfx::Font::systemFont(10));
    button->addTarget(this, [this, i](Control&, const Event*) {
      if (i < m_items.size() && m_items[i]->isEnabled() && m_onSelect) {
        auto handler = m_onSelect;
        handler(i);
      }
    }, ControlEventTouchUpInside);
    auto badge = Label::create();
    badge->setBackgroundColor(gfx::Color::rgba(1, 0.23, 0.19));
    badge->setTextColor(gfx::Color::whiteColor());
    badge->setFont(gfx::Font::systemFont(13));
    badge->setTextAlignment(gfx::TextAlignment::Center);
    badge->setUserInteractionEnabled(false);
    button->addSubview(badge);
    addSubview(button);
    m_buttons.push_back(button);
    m_badges.push_back(badge);
    m_items[i]->setChangeHandler([this] { refresh(); });
  }
  if (m_selected && *m_selected >= m_items.size()) m_selected.reset();
  refresh();
}

TabBarItem* TabBar::selectedItem() const { return m_selected ? m_items[*m_selected].get() : nullptr; }

void TabBar::setSelectedIndex(std::optional<size_t> index) {
  if (index && *index >= m_items.size()) index.reset();
  m_selected = index;
  refresh();
}

void TabBar::setBarTintColor(std::optional<gfx::Color> color) {
  m_barTintColor = color;
  setNeedsDisplay();
}

std::shared_ptr<Button> TabBar::buttonForItem(size_t index) const {
  return index < m_buttons.size() ? m_buttons[index] : nullptr;
}

std::shared_ptr<Label> TabBar::badgeForItem(size_t index) const {
  return index < m_badges.size() ? m_badges[index] : nullptr;
}

void TabBar::refresh() {
  for (size_t i = 0; i < m_items.size(); ++i) {
    const auto& item = *m_items[i];
    bool selected = m_selected && *m_selected == i;
    auto& button = *m_buttons[i];
    button.setTitle(item.title());
    button.setTitleColor(selected ? SelectedColor : NormalColor);
    button.setImage(selected ? item.selectedImage() : item.image());
    button.setSelected(selected);
    button.setEnabled(item.isEnabled());
    auto& badge = *m_badges[i];
    badge.setHidden(!item.badgeValue().has_value());
    badge.setText(item.badgeValue().value_or(""));
  }
  setNeedsLayout();
}

void TabBar::layoutSubviews() {
  gfx::Rect b = bounds();
  if (m_buttons.empty()) return;
  double w = b.width() / double(m_buttons.size());
  for (size_t i = 0; i < m_buttons.size(); ++i) {
    m_buttons[i]->setFrame(gfx::Rect(w * double(i), 0, w, b.height()));
    auto& badge = *m_badges[i];
    gfx::Size s = badge.sizeThatFits(gfx::Size{w, BadgeHeight});
    double bw = std::max(BadgeHeight, s.width + 10);
    badge.setFrame(gfx::Rect(w / 2 + 6, 2, bw, BadgeHeight));
  }
}

void TabBar::drawRect(gfx::Context& ctx, const gfx::Rect& /*rect*/) {
  gfx::Rect b = bounds();
  ctx.setFillColor(m_barTintColor.value_or(gfx::Color::white(0.97)));
  ctx.fillRect(b);
  ctx.setFillColor(gfx::Color::white(0.7));
  ctx.fillRect(gfx::Rect(0, 0, b.width(), 0.5));
}

}  // namespace ui
