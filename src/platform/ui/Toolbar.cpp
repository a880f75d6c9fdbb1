#include "platform/ui/Toolbar.h"

#include <algorithm>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"

namespace ui {
namespace {
constexpr double TitleFontSize = 17;
// Around a button's title or image when it fits its content.
constexpr double ButtonPadding = 8;
constexpr double BorderedHeight = 30;
constexpr double BorderedCornerRadius = 5;

bool isBordered(const BarButtonItem& item) { return item.style() != BarButtonItemStyle::Plain; }
}  // namespace

Toolbar::Toolbar(const gfx::Rect& frame) : View(frame) {
  setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleTopMargin);
}

Toolbar::~Toolbar() {
  for (auto& item : m_items) item->setChangeHandler(nullptr);
}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items) {
  for (auto& item : m_items) item->setChangeHandler(nullptr);
  for (auto& button : m_buttons) {
    if (button) button->removeFromSuperview();
  }
  m_items.clear();
  m_buttons.clear();
  for (auto& item : items) {
    if (item) m_items.push_back(std::move(item));
  }
  for (size_t i = 0; i < m_items.size(); ++i) {
    std::shared_ptr<Button> button;
    if (m_items[i]->kind() == BarButtonItem::Kind::Button) {
      button = Button::create(ButtonType::System);
      button->addTarget(this, [this, i](Control&, const Event*) {
        if (i >= m_items.size()) return;
        // The action may change the bar's items.
        auto item = m_items[i];
        if (item->isEnabled() && item->action()) {
          auto action = item->action();
          action(*item);
        }
      }, ControlEventTouchUpInside);
      addSubview(button);
    }
    m_buttons.push_back(std::move(button));
    m_items[i]->setChangeHandler([this] { refresh(); });
  }
  refresh();
}

std::shared_ptr<Button> Toolbar::buttonForItem(size_t index) const {
  return index < m_buttons.size() ? m_buttons[index] : nullptr;
}

void Toolbar::setBarTintColor(std::optional<gfx::Color> color) {
  m_barTintColor = color;
  setNeedsDisplay();
}

void Toolbar::setTintColor(std::optional<gfx::Color> color) {
  View::setTintColor(color);
  refresh();
}

void Toolbar::didMoveToWindow() {
  // A tint taken from the new surroundings.
  refresh();
}

void Toolbar::refresh() {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (!m_buttons[i]) continue;
    const BarButtonItem& item = *m_items[i];
    Button& button = *m_buttons[i];
    button.setTintColor(item.tintColor());
    const bool done = item.style() == BarButtonItemStyle::Done;
    button.titleLabel()->setFont(done ? gfx::Font::boldSystemFont(TitleFontSize) : gfx::Font::systemFont(TitleFontSize));
    if (isBordered(item)) {
      // A rounded button in the tint with a white title.
      button.setBackgroundColor(button.tintColor());
      button.layer()->setCornerRadius(BorderedCornerRadius);
      button.setTitleColor(gfx::Color::whiteColor());
      button.setTitleColor(gfx::Color::white(1, 0.5), ControlStateDisabled);
    } else {
      button.setBackgroundColor(std::nullopt);
      button.layer()->setCornerRadius(0);
      button.setTitleColor(std::nullopt);
      button.setTitleColor(std::nullopt, ControlStateDisabled);
    }
    button.setEnabled(item.isEnabled());
    button.setImage(item.image());
    // Last: setting the title has the button take its colours again from the tint.
    button.setTitle(item.title());
  }
  setNeedsLayout();
}

double Toolbar::widthOf(size_t index) const {
  const BarButtonItem& item = *m_items[index];
  switch (item.kind()) {
    case BarButtonItem::Kind::FlexibleSpace:
      return 0;
    case BarButtonItem::Kind::FixedSpace:
      return std::max(0.0, item.width());
    case BarButtonItem::Kind::Button:
      break;
  }
  if (item.width() > 0) return item.width();
  const double height = bounds().height();
  return m_buttons[index]->sizeThatFits(gfx::Size{bounds().width(), height}).width + 2 * ButtonPadding;
}

void Toolbar::layoutSubviews() {
  const gfx::Rect b = bounds();
  std::vector<double> widths(m_items.size());
  double used = 0;
  size_t flexible = 0;
  bool lastWasButton = false;
  for (size_t i = 0; i < m_items.size(); ++i) {
    widths[i] = widthOf(i);
    used += widths[i];
    const bool isButton = m_buttons[i] != nullptr;
    // Two buttons side by side keep a gap; a space next to a button is the gap itself.
    if (isButton && lastWasButton) used += ItemSpacing;
    lastWasButton = isButton;
    if (m_items[i]->kind() == BarButtonItem::Kind::FlexibleSpace) ++flexible;
  }
  const double room = b.width() - 2 * SideMargin - used;
  const double flexibleWidth = flexible > 0 ? std::max(0.0, room / double(flexible)) : 0;
  double x = SideMargin;
  lastWasButton = false;
  for (size_t i = 0; i < m_items.size(); ++i) {
    const bool isButton = m_buttons[i] != nullptr;
    if (isButton && lastWasButton) x += ItemSpacing;
    lastWasButton = isButton;
    const double w = m_items[i]->kind() == BarButtonItem::Kind::FlexibleSpace ? flexibleWidth : widths[i];
    if (isButton) {
      const double h = isBordered(*m_items[i]) ? std::min(BorderedHeight, b.height()) : b.height();
      m_buttons[i]->setFrame(gfx::Rect(x, (b.height() - h) / 2, w, h));
    }
    x += w;
  }
}

void Toolbar::drawRect(gfx::Context& ctx, const gfx::Rect& /*rect*/) {
  const gfx::Rect b = bounds();
  ctx.setFillColor(m_barTintColor.value_or(gfx::Color::white(0.97)));
  ctx.fillRect(b);
  // The hairline along the top edge.
  ctx.setFillColor(gfx::Color::white(0.7));
  ctx.fillRect(gfx::Rect(0, 0, b.width(), 0.5));
}

}  // namespace ui
