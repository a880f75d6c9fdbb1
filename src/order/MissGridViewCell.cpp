#include "order/MissGridViewCell.h"

#include "app/ColorHexadecimal.h"
#include "order/DishCellParts.h"
#include "order/OrderScenery.h"
#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

MissGridViewCell::MissGridViewCell(const gfx::Rect& frame) : GridViewCell(frame) {}

MissGridViewCell::~MissGridViewCell() = default;

void MissGridViewCell::test() { core::logLine("test    tt"); }

void MissGridViewCell::tttttttt(ui::Responder*) { core::logLine("test    tt"); }

std::shared_ptr<MissGridViewCell> MissGridViewCell::initWithXib() {
  return DishCellParts::lastNibObject<MissGridViewCell>(NibName);
}

void MissGridViewCell::registerNib() {
  ui::Nib::registerNib(NibName, [](ui::Responder*) -> ui::Nib::Objects {
    auto cell = MissGridViewCell::create({{0, 0}, CellSize});
    // The card's dark panel is a view of its own: the grid clears a reused cell's background.
    auto panel = ui::View::create({{0, 0}, CellSize});
    panel->setBackgroundColor(ColorHexadecimal::colorWithHexString("151b28"));
    panel->layer()->setCornerRadius(10);
    panel->setUserInteractionEnabled(false);
    panel->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
    cell->addSubview(panel);

    // The head image in a thin frame, with the photographs' button over it.
    auto photo = ui::ImageView::create(gfx::Rect{19, 14, 170, 213});
    photo->setBackgroundColor(ColorHexadecimal::colorWithHexString("232c3f"));
    photo->setContentMode(ui::ContentMode::ScaleAspectFill);
    photo->setClipsToBounds(true);
    photo->layer()->setCornerRadius(6);
    photo->layer()->setBorderWidth(2);
    photo->layer()->setBorderColor(ColorHexadecimal::colorWithHexString("3a4660").value_or(gfx::Color::darkGray()));
    cell->addSubview(photo);
    cell->m_imgGongGuanZhaoPian = photo;
    auto showPhotos = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{19, 14, 170, 213});
    cell->addSubview(showPhotos);
    cell->m_btnShowZhaoPian = showPhotos;

    cell->m_lblYiMing = OrderScenery::caption(*cell, {8, 236, 192, 30}, "", 22);
    auto province = OrderScenery::caption(*cell, {8, 268, 192, 24}, "", 16);
    province->setFont(gfx::Font::systemFont(16));
    province->setTextColor(ColorHexadecimal::colorWithHexString("9fb3d1").value_or(gfx::Color::lightGray()));
    cell->m_lblJiGuan = province;
    auto state = OrderScenery::caption(*cell, {8, 294, 192, 26}, "", 18);
    state->setTextColor(ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::whiteColor()));
    cell->m_lblZhuangTai = state;
    auto action = OrderScenery::button(*cell, {24, 332, 160, 48}, "", "c8801e");
    action->titleLabel()->setFont(gfx::Font::boldSystemFont(20));
    cell->m_btnHuJiao = action;
    return {cell};
  });
}

}  // namespace kt
