#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace ui {
class ImageView;
}

namespace kt {

class EffectLabel;

// The room information bar at the top left of the ordering screens: the room number, the clerk
// who received the room ("客订" when none) and the money consumed so far, from DataCenter.
// The bar is the nib "RoomInfoBarView", built in code.
class RoomInfoBarView : public ui::View {
 public:
  static constexpr const char* NibName = "RoomInfoBarView";
  // The bar's own size.
  static constexpr gfx::Size BarSize{470, 92};

  explicit RoomInfoBarView(const gfx::Rect& frame = gfx::Rect());

  // Loads the nib and answers its last top-level object, already filled from DataCenter; null when
  // the nib yields nothing.
  static std::shared_ptr<RoomInfoBarView> initWithXib();
  // Registers the nib (done by the ordering storyboard's registration).
  static void registerNib();

  // Sets, in this order, the money consumed, the receiving clerk (or "客订") and the room number.
  // The screens that own a bar call it on reply 119.
  void fillFromDataCenter();

  EffectLabel* lblRoomName() const { return m_lblRoomName.get(); }
  EffectLabel* lblDingFangRen() const { return m_lblDingFangRen.get(); }
  EffectLabel* lblYiXiaoFei() const { return m_lblYiXiaoFei.get(); }

 private:
  void build();

  std::shared_ptr<EffectLabel> m_lblRoomName;
  std::shared_ptr<EffectLabel> m_lblDingFangRen;
  std::shared_ptr<EffectLabel> m_lblYiXiaoFei;
  std::weak_ptr<ui::ImageView> m_logo;
  std::weak_ptr<ui::ImageView> m_logo2;
};

}  // namespace kt
