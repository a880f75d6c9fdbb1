#include "order/FoodView.h"

#include "app/APPFont.h"
#include "order/DishCellParts.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/SnapshotStackView.h"

namespace kt {

FoodView::FoodView(const gfx::Rect& frame) : GridViewCell(frame) {}

FoodView::~FoodView() = default;

std::shared_ptr<FoodView> FoodView::initWithXib() {
  auto view = DishCellParts::lastNibObject<FoodView>(NibName);
  if (!view) return nullptr;
  if (auto image = view->foodImage()) image->layer()->setCornerRadius(8);
  if (auto stack = view->snapshotStackView()) {
    stack->setDisplayAsStack(true);
    stack->setDefaultImage(gfx::Image::named("DefaultImage.jpg"));
  }
  return view;
}

void FoodView::registerNib() {
  ui::Nib::registerNib(NibName, [](ui::Responder*) -> ui::Nib::Objects {
    auto cell = FoodView::create({0, 0, 220, 270});
    cell->setBackgroundColor(gfx::Color::clear());

    // The photograph over its snapshot stack, the selected mark with the count at its corner.
    auto stack = SnapshotStackView::create({10, 6, 200, 160});
    cell->addSubview(stack);
    cell->m_snapshotStackView = stack;
    cell->m_foodImage = DishCellParts::addPhoto(*cell, {22, 14, 176, 132}, "DefaultImage.jpg");
    auto mark = DishCellParts::addPhoto(*cell, {176, 2, 40, 40}, "FoodSelectedMark");
    mark->setHidden(true);
    cell->m_selectedImg = mark;
    cell->m_lblSeleceedNum = DishCellParts::addLabel<ui::Label>(*cell, {176, 2, 40, 40}, "ffffff",
                                                                gfx::Font::boldSystemFont(15), gfx::TextAlignment::Center);

    // Names, price and unit, and the select button beside the price.
    cell->m_lblFoodName = DishCellParts::addLabel<EffectLabel>(*cell, {12, 170, 196, 26}, "ffffff",
                                                               APPFont::getSysFont_size34());
    cell->m_lblFoodEnName = DishCellParts::addLabel<EffectLabel>(*cell, {12, 197, 196, 20}, "93979c",
                                                                 APPFont::getSysFont_size28());
    cell->m_FoodPirceAndUnit = DishCellParts::addLabel<EffectLabel>(*cell, {12, 228, 150, 28}, "34d4c3",
                                                                    APPFont::getSysFont_size32());
    auto select = ui::Button::create(ui::ButtonType::Custom, {170, 224, 38, 38});
    select->setImage(gfx::Image::named("com_btn_check"), ui::ControlStateNormal);
    select->setImage(gfx::Image::named("com_btn_checked"), ui::ControlStateSelected);
    cell->addSubview(select);
    cell->m_btnSelect = select;
    return {cell};
  });
}

}  // namespace kt
