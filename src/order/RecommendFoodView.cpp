#include "order/RecommendFoodView.h"

#include "app/APPFont.h"
#include "order/DishCellParts.h"
#include "platform/ui/ImageView.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

RecommendFoodView::RecommendFoodView(const gfx::Rect& frame) : GridViewCell(frame) {}

RecommendFoodView::~RecommendFoodView() = default;

std::shared_ptr<RecommendFoodView> RecommendFoodView::initWithXib() {
  auto view = DishCellParts::lastNibObject<RecommendFoodView>(NibName);
  if (!view) return nullptr;
  if (auto pic = view->foodPic()) {
    pic->setBackgroundColor(gfx::Color::clear());
    pic->layer()->setBorderColor(gfx::Color::whiteColor());
    pic->layer()->setBorderWidth(5);
    pic->setClipsToBounds(true);
    pic->layer()->setCornerRadius(10);
  }
  return view;
}

void RecommendFoodView::registerNib() {
  ui::Nib::registerNib(NibName, [](ui::Responder*) -> ui::Nib::Objects {
    auto cell = RecommendFoodView::create({0, 0, 260, 270});
    cell->setBackgroundColor(gfx::Color::clear());
    cell->m_foodPic = DishCellParts::addPhoto(*cell, {15, 10, 230, 172}, "DefaultImage.jpg");
    cell->m_lblName = DishCellParts::addLabel<EffectLabel>(*cell, {15, 190, 230, 30}, "ffffff",
                                                           APPFont::getSysFont_size36(), gfx::TextAlignment::Center);
    cell->m_lblDanJia = DishCellParts::addLabel<ui::Label>(*cell, {15, 230, 140, 26}, "f4c84a",
                                                           APPFont::getSysFont_size32());
    cell->m_lblDanWei = DishCellParts::addLabel<ui::Label>(*cell, {155, 230, 90, 26}, "93979c",
                                                           APPFont::getSysFont_size28(), gfx::TextAlignment::Right);
    return {cell};
  });
}

}  // namespace kt
