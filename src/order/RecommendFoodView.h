#pragma once

#include <memory>

#include "widgets/controls/GridViewCell.h"

namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class EffectLabel;

// A recommended dish as a grid item: its photograph in a white rounded frame, its name, unit price
// and unit. The subviews come from the nib "RecommendFoodView"; the cell refers to them weakly.
class RecommendFoodView : public GridViewCell {
 public:
  static constexpr const char* NibName = "RecommendFoodView";

  static std::shared_ptr<RecommendFoodView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<RecommendFoodView>(frame);
  }
  // A bare cell, without the nib's subviews.
  explicit RecommendFoodView(const gfx::Rect& frame = gfx::Rect());
  ~RecommendFoodView() override;

  // The last top-level object of the nib "RecommendFoodView" when it is a RecommendFoodView, its
  // photograph on a clear background in a white border 5 points wide with corners rounded by 10,
  // clipped to them; null when the nib gives no such object.
  static std::shared_ptr<RecommendFoodView> initWithXib();
  // Registers (or replaces) the nib "RecommendFoodView": one RecommendFoodView, 260 x 270 points.
  static void registerNib();

  std::shared_ptr<ui::ImageView> foodPic() const { return m_foodPic.lock(); }
  std::shared_ptr<EffectLabel> lblName() const { return m_lblName.lock(); }
  std::shared_ptr<ui::Label> lblDanJia() const { return m_lblDanJia.lock(); }
  std::shared_ptr<ui::Label> lblDanWei() const { return m_lblDanWei.lock(); }

 private:
  std::weak_ptr<ui::ImageView> m_foodPic;
  std::weak_ptr<EffectLabel> m_lblName;
  std::weak_ptr<ui::Label> m_lblDanJia;
  std::weak_ptr<ui::Label> m_lblDanWei;
};

}  // namespace kt
