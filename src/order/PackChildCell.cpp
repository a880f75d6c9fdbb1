#include "order/PackChildCell.h"

#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/Switch.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

PackChildCell::PackChildCell(const std::string& reuseIdentifier)
    : ui::TableViewCell(ui::TableViewCellStyle::Default, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
  contentView()->setBackgroundColor(gfx::Color::clear());
  const auto& content = contentView();
  m_lblFoodNo = ui::Label::create(gfx::Rect{16, 8, 60, 40});
  m_lblFoodNo->setFont(gfx::Font::systemFont(13));
  m_lblFoodNo->setTextColor(gfx::Color::rgba(0.62, 0.7, 0.82));
  content->addSubview(m_lblFoodNo);
  m_lblFoodName = EffectLabel::create(gfx::Rect{80, 8, 170, 40});
  m_lblFoodName->setFont(gfx::Font::systemFont(17));
  m_lblFoodName->setTextColor(gfx::Color::whiteColor());
  content->addSubview(m_lblFoodName);
  m_lblSelectCount = EffectLabel::create(gfx::Rect{252, 8, 40, 40});
  m_lblSelectCount->setFont(gfx::Font::boldSystemFont(18));
  m_lblSelectCount->setTextColor(gfx::Color::rgba(1, 0.8, 0.3));
  m_lblSelectCount->setTextAlignment(gfx::TextAlignment::Center);
  content->addSubview(m_lblSelectCount);
  m_stepper = ui::Stepper::create(gfx::Rect{296, 14, 94, 29});
  m_stepper->setMinimumValue(0);
  m_stepper->setStepValue(1);
  content->addSubview(m_stepper);
  m_switch_all = ui::Switch::create(gfx::Rect{402, 13, 51, 31});
  content->addSubview(m_switch_all);
}

}  // namespace kt
