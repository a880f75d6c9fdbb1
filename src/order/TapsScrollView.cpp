#include "order/TapsScrollView.h"

#include <cmath>

#include "app/APPFont.h"
#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

namespace kt {

namespace {

constexpr double Step = 72.5;
constexpr double FirstX = 23;
constexpr double LargeFirstX = 30;
constexpr double LargeScale = 1.333;

gfx::Color hexColor(const char* hex) { return ColorHexadecimal::colorWithHexString(hex).value_or(gfx::Color::black()); }

// The chosen tag is white on the highlighted background, the others grey on the plain one.
void styleTag(ui::Button& button, bool chosen) {
  button.setTitleColor(hexColor(chosen ? "ffffff" : "93979c"), ui::ControlStateNormal);
  button.setBackgroundImage(gfx::Image::named(chosen ? "ConditionBg_Selected" : "ConditionBg_Normal"),
                            ui::ControlStateNormal);
}

std::string textOf(const core::Value& value) {
  const std::string* text = value.asString();
  return text ? *text : std::string();
}

}  // namespace

TapsScrollView::TapsScrollView(const gfx::Rect& frame) : ui::View(frame) {}

TapsScrollView::~TapsScrollView() = default;

void TapsScrollView::setTagMessage(const core::Value::Array& list) {
  // A new list replaces the old one: its buttons and titles go.
  if (m_scrollV_bg) m_scrollV_bg->removeFromSuperview();
  m_arr_target.clear();

  const bool large = isTwelveNineInch();
  const gfx::Size size = bounds().size;
  m_scrollV_bg = std::make_shared<ui::ScrollView>(gfx::Rect(large ? 127 : 95.5, 0, size.width, size.height));
  m_scrollV_bg->setBackgroundColor(gfx::Color::clear());
  m_scrollV_bg->setShowsHorizontalScrollIndicator(false);
  m_scrollV_bg->setShowsVerticalScrollIndicator(false);
  addSubview(m_scrollV_bg);

  const double width = static_cast<double>(list.size()) * Step + FirstX;
  m_scrollV_bg->setContentSize(large ? gfx::Size{std::trunc(width * LargeScale), 39} : gfx::Size{width, 29.5});

  for (const core::Value& entry : list) {
    switch (m_idexOfTap) {
      case RoomAreas:
        m_arr_target.push_back(textOf(entry["RoomArea_Name"]["text"]));
        break;
      case RoomClasses: {
        const core::Value& name = entry["RoomClass_Name"];
        m_arr_target.push_back(textOf(name.isDictionary() ? name["text"] : name));
        break;
      }
      case Texts:
        m_arr_target.push_back(textOf(entry));
        break;
      default:
        break;
    }
  }
  for (size_t i = 0; i < m_arr_target.size(); ++i) m_scrollV_bg->addSubview(makeTagButton(i, m_arr_target[i]));
}

std::shared_ptr<ui::Button> TapsScrollView::makeTagButton(size_t index, const std::string& title) {
  const double step = static_cast<double>(index) * Step;
  const gfx::Rect frame = isTwelveNineInch() ? gfx::Rect(LargeFirstX + std::floor(step * LargeScale), 0, 88, 39)
                                             : gfx::Rect(FirstX + step, 0, 66.5, 29.5);
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  button->setTitleColor(hexColor("93979c"), ui::ControlStateNormal);
  button->setTitleColor(hexColor("ffffff"), ui::ControlStateSelected);
  button->titleLabel()->setFont(APPFont::getSysFont_size28());
  button->setTitle(title, ui::ControlStateNormal);
  std::weak_ptr<ui::Responder> weakSelf = weak_from_this();
  button->addTarget(
      this,
      [weakSelf](ui::Control& sender, const ui::Event*) {
        // Kept alive across the delegate's call, which may take the strip down.
        if (auto self = std::static_pointer_cast<TapsScrollView>(weakSelf.lock()))
          self->changeStateClick(static_cast<ui::Button&>(sender));
      },
      ui::ControlEventTouchUpInside);
  button->setTag(TagBase + static_cast<int>(index));
  button->setTitleEdgeInsets({-4, 0, 0, 0});
  styleTag(*button, index == 0);
  return button;
}

void TapsScrollView::changeStateClick(ui::Button& button) {
  auto restyle = [&button](const std::shared_ptr<ui::View>& view) {
    if (auto tag = std::dynamic_pointer_cast<ui::Button>(view)) styleTag(*tag, tag.get() == &button);
  };
  for (const auto& view : subviews()) {
    restyle(view);
    if (std::dynamic_pointer_cast<ui::ScrollView>(view))
      for (const auto& inner : view->subviews()) restyle(inner);
  }
  if (TapsScrollViewDelegate* delegate = m_delegate.get())
    delegate->didSelectedTheItemOfIndex(button.tag() - TagBase, m_idexOfTap);
}

}  // namespace kt
