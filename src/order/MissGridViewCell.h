#pragma once

#include <memory>

#include "widgets/controls/GridViewCell.h"

namespace ui {
class Button;
class ImageView;
class Responder;
}  // namespace ui

namespace kt {

class EffectLabel;

// A staff member as a grid item: head image, stage name, native province, state text, the action
// button (call, call again, cancel the call or reserve) and an invisible button over the head
// image that opens the member's photographs. The subviews come from the nib "MissGridViewCell";
// the cell refers to them weakly (its view tree holds them).
class MissGridViewCell : public GridViewCell {
 public:
  static constexpr const char* NibName = "MissGridViewCell";
  static constexpr gfx::Size CellSize{208, 395};

  static std::shared_ptr<MissGridViewCell> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<MissGridViewCell>(frame);
  }
  // A bare cell, without the nib's subviews.
  explicit MissGridViewCell(const gfx::Rect& frame = gfx::Rect());
  ~MissGridViewCell() override;

  // The last top-level object of the nib when it is a MissGridViewCell; null otherwise.
  static std::shared_ptr<MissGridViewCell> initWithXib();
  // Registers (or replaces) the nib: one cell of CellSize.
  static void registerNib();

  std::shared_ptr<ui::ImageView> imgGongGuanZhaoPian() const { return m_imgGongGuanZhaoPian.lock(); }
  std::shared_ptr<EffectLabel> lblYiMing() const { return m_lblYiMing.lock(); }
  std::shared_ptr<EffectLabel> lblJiGuan() const { return m_lblJiGuan.lock(); }
  std::shared_ptr<EffectLabel> lblZhuangTai() const { return m_lblZhuangTai.lock(); }
  std::shared_ptr<ui::Button> btnHuJiao() const { return m_btnHuJiao.lock(); }
  std::shared_ptr<ui::Button> btnShowZhaoPian() const { return m_btnShowZhaoPian.lock(); }

  // Diagnostics: each writes "test    tt" to the log. Nothing calls them.
  void test();
  void tttttttt(ui::Responder* sender);

 private:
  std::weak_ptr<ui::ImageView> m_imgGongGuanZhaoPian;
  std::weak_ptr<EffectLabel> m_lblYiMing;
  std::weak_ptr<EffectLabel> m_lblJiGuan;
  std::weak_ptr<EffectLabel> m_lblZhuangTai;
  std::weak_ptr<ui::Button> m_btnHuJiao;
  std::weak_ptr<ui::Button> m_btnShowZhaoPian;
};

}  // namespace kt
