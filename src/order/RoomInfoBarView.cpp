#include "order/RoomInfoBarView.h"

#include "app/ColorHexadecimal.h"
#include "app/DataCenter.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Nib.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

namespace {

std::shared_ptr<EffectLabel> valueLabel(ui::View& bar, const gfx::Rect& frame, double size) {
  auto label = EffectLabel::create(frame);
  label->setFont(gfx::Font::boldSystemFont(size));
  label->setTextColor(gfx::Color::whiteColor());
  label->setShadowBlur(3);
  bar.addSubview(label);
  return label;
}

void caption(ui::View& bar, const gfx::Rect& frame, const std::string& text) {
  auto label = ui::Label::create(frame);
  label->setText(text);
  label->setFont(gfx::Font::systemFont(14));
  label->setTextColor(ColorHexadecimal::colorWithHexString("9fb3d1").value_or(gfx::Color::lightGray()));
  bar.addSubview(label);
}

}  // namespace

RoomInfoBarView::RoomInfoBarView(const gfx::Rect& frame) : ui::View(frame) {}

void RoomInfoBarView::build() {
  setBackgroundColor(gfx::Color::rgba(0.08, 0.1, 0.16, 0.85));
  layer()->setCornerRadius(10);
  // The two venue marks at the ends of the bar; no code changes them.
  auto logo = ui::ImageView::create(gfx::Rect{40, 42, 25, 24});
  logo->setImage(gfx::Image::named("RecommondLogo"));
  addSubview(logo);
  m_logo = logo;
  auto logo2 = ui::ImageView::create(gfx::Rect{BarSize.width - 14, 46, 14, 14});
  addSubview(logo2);
  m_logo2 = logo2;

  caption(*this, {84, 8, 110, 20}, "房号");
  caption(*this, {196, 8, 120, 20}, "订房人");
  caption(*this, {320, 8, 130, 20}, "已消费");
  m_lblRoomName = valueLabel(*this, {84, 34, 110, 40}, 26);
  m_lblDingFangRen = valueLabel(*this, {196, 34, 120, 40}, 22);
  m_lblYiXiaoFei = valueLabel(*this, {320, 34, 130, 40}, 22);
  m_lblYiXiaoFei->setTextColor(ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::rgba(1, 0.8, 0.3)));
}

void RoomInfoBarView::registerNib() {
  ui::Nib::registerNib(NibName, [](ui::Responder*) {
    auto bar = std::make_shared<RoomInfoBarView>(gfx::Rect{{0, 0}, BarSize});
    bar->build();
    return ui::Nib::Objects{bar};
  });
}

std::shared_ptr<RoomInfoBarView> RoomInfoBarView::initWithXib() {
  const ui::Nib::Objects objects = ui::Nib::load(NibName, nullptr);
  if (objects.empty()) return nullptr;
  auto bar = std::dynamic_pointer_cast<RoomInfoBarView>(objects.back());
  if (bar) bar->fillFromDataCenter();
  return bar;
}

void RoomInfoBarView::fillFromDataCenter() {
  const DataCenter& data = DataCenter::sharedInstance();
  if (m_lblYiXiaoFei) m_lblYiXiaoFei->setText(data.consumeMoney().value_or(std::string()));
  const std::string clerk = data.receiveClerk().value_or(std::string());
  if (m_lblDingFangRen) m_lblDingFangRen->setText(clerk.empty() ? "客订" : clerk);
  if (m_lblRoomName) m_lblRoomName->setText(data.roomNo().value_or(std::string()));
}

}  // namespace kt
