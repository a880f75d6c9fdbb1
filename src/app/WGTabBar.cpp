#include "app/WGTabBar.h"

#include "app/ScreenSize.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"

namespace kt {
namespace {

// The image named by the text form of an item's value; none for a missing key.
std::shared_ptr<gfx::Image> imageNamedBy(const core::Value& name) {
  if (name.isNull()) return nullptr;
  return gfx::Image::named(name.description());
}

}  // namespace

WGTabBar::WGTabBar(const gfx::Rect& frame) : ui::View(frame) {}

WGTabBar::~WGTabBar() = default;

void WGTabBar::setItems(const core::Value& items) {
  m_items = items;
  for (size_t i = 0; i < items.size(); ++i) {
    const core::Value& item = items.at(i);
    auto button = ui::Button::create(ui::ButtonType::Custom);
    button->setImage(imageNamedBy(item["picture"]), ui::ControlStateNormal);
    button->setImage(imageNamedBy(item["selected"]), ui::ControlStateSelected);
    std::weak_ptr<ui::Responder> weakBar = weak_from_this();
    button->addTarget(
        this,
        [weakBar](ui::Control& sender, const ui::Event*) {
          auto bar = std::static_pointer_cast<WGTabBar>(weakBar.lock());
          auto* tapped = dynamic_cast<ui::Button*>(&sender);
          if (bar && tapped) bar->btnClick(*tapped);
        },
        ui::ControlEventTouchUpInside);
    button->setBackgroundColor(gfx::Color::clear());
    button->setTag(FirstButtonTag + static_cast<int>(i));
    addSubview(button);
  }
}

void WGTabBar::layoutSubviews() {
  ui::View::layoutSubviews();
  const bool large = isTwelveNineInch();
  const double w = large ? 343 : 258;
  const double m = large ? 335 : 252;
  const double d = large ? 12 : 9;
  const double h = frame().height() - d;
  const auto& views = subviews();
  if (views.size() > 0) views[0]->setFrame(gfx::Rect(0, 0, w, h));
  if (views.size() > 1) {
    views[1]->setBackgroundColor(gfx::Color::clear());
    views[1]->setFrame(gfx::Rect(w, -d, m, h + 2 * d));
  }
  if (views.size() > 2) views[2]->setFrame(gfx::Rect(w + m, 0, w, h));
}

void WGTabBar::select(const std::shared_ptr<ui::Button>& button) {
  if (auto previous = m_selectedBtn.lock()) previous->setSelected(false);
  button->setSelected(true);
  m_selectedBtn = button;
}

void WGTabBar::btnClick(ui::Button& button) {
  auto keep = weak_from_this().lock();
  select(std::static_pointer_cast<ui::Button>(button.shared()));
  if (m_delegate) m_delegate->didSelectedTabBar(*this, button.tag() - FirstButtonTag);
}

void WGTabBar::didSelectButton(unsigned index) {
  const auto& views = subviews();
  if (index >= views.size()) return;
  // Only buttons can show a selection.
  if (auto button = std::dynamic_pointer_cast<ui::Button>(views[index])) select(button);
}

}  // namespace kt
