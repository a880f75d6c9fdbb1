#pragma once

#include <memory>

#include "widgets/controls/GridViewCell.h"

namespace ui {
class Button;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class EffectLabel;
class SnapshotStackView;

// A dish of the menu as a grid item: its photograph (rounded, over a snapshot stack), Chinese and
// English names, price and unit, and a select button with a selected mark and a count. The
// subviews come from the nib "FoodView"; the cell refers to them weakly (its view tree holds them).
class FoodView : public GridViewCell {
 public:
  static constexpr const char* NibName = "FoodView";

  static std::shared_ptr<FoodView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<FoodView>(frame);
  }
  // A bare cell, without the nib's subviews.
  explicit FoodView(const gfx::Rect& frame = gfx::Rect());
  ~FoodView() override;

  // The last top-level object of the nib "FoodView" when it is a FoodView, with its photograph's
  // corners rounded by 8 and its snapshot stack drawn as a stack with the default image
  // "DefaultImage.jpg"; null when the nib gives no such object.
  static std::shared_ptr<FoodView> initWithXib();
  // Registers (or replaces) the nib "FoodView": one FoodView, 220 x 270 points.
  static void registerNib();

  std::shared_ptr<EffectLabel> lblFoodName() const { return m_lblFoodName.lock(); }
  std::shared_ptr<EffectLabel> lblFoodEnName() const { return m_lblFoodEnName.lock(); }
  std::shared_ptr<EffectLabel> FoodPirceAndUnit() const { return m_FoodPirceAndUnit.lock(); }
  std::shared_ptr<ui::ImageView> foodImage() const { return m_foodImage.lock(); }
  std::shared_ptr<SnapshotStackView> snapshotStackView() const { return m_snapshotStackView.lock(); }
  std::shared_ptr<ui::Button> btnSelect() const { return m_btnSelect.lock(); }
  std::shared_ptr<ui::ImageView> selectedImg() const { return m_selectedImg.lock(); }
  std::shared_ptr<ui::Label> lblSeleceedNum() const { return m_lblSeleceedNum.lock(); }

 private:
  std::weak_ptr<EffectLabel> m_lblFoodName;
  std::weak_ptr<EffectLabel> m_lblFoodEnName;
  std::weak_ptr<EffectLabel> m_FoodPirceAndUnit;
  std::weak_ptr<ui::ImageView> m_foodImage;
  std::weak_ptr<SnapshotStackView> m_snapshotStackView;
  std::weak_ptr<ui::Button> m_btnSelect;
  std::weak_ptr<ui::ImageView> m_selectedImg;
  std::weak_ptr<ui::Label> m_lblSeleceedNum;
};

}  // namespace kt
