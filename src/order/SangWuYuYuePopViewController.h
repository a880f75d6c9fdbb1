#pragma once

#include <array>
#include <memory>
#include <string>

#include "link/SocketDataHandle.h"
#include "platform/ui/ViewController.h"

namespace ui {
class Button;
class Control;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class GongGuanCurState;
class GongGuanList;

// The reservation popover of a busy staff member: the member's head image, name and state, and
// the three kinds of appointment (meeting before going off duty, afternoon tea tomorrow, booking a
// room tomorrow), each free to reserve, not available, or reserved by this guest, who may cancel
// it. It asks for the member's state on loading and again after every reservation or cancellation
// reply, and rebuilds itself from each state it gets.
class SangWuYuYuePopViewController : public ui::ViewController, public SocketDataHandleDelegate {
 public:
  static constexpr gfx::Size PopoverSize{320, 480};
  // The three slot buttons' tags, in slot order.
  static constexpr int FirstSlotTag = 101;
  static constexpr int SlotCount = 3;

  SangWuYuYuePopViewController();
  ~SangWuYuYuePopViewController() override;

  void viewDidLoad() override;

  void createHeadPhoto();
  // Asks the room server for the member's state (151).
  void createGongGuanCurState();
  // Shows the member and the last state received.
  void createMainView();
  // A slot button, told apart by its tag.
  void onActionClicked(const ui::Control& sender);

  const std::shared_ptr<GongGuanList>& currentGongGuanObj() const { return m_currentGongGuanObj; }
  void setCurrentGongGuanObj(std::shared_ptr<GongGuanList> member) { m_currentGongGuanObj = std::move(member); }
  const std::shared_ptr<GongGuanCurState>& gongGuanCurState() const { return m_gongGuanCurState; }

  const std::shared_ptr<ui::ImageView>& headPhoto() const { return m_headPhoto; }
  const std::shared_ptr<ui::Label>& nameLbl() const { return m_nameLbl; }
  const std::shared_ptr<ui::Label>& stateLbl() const { return m_stateLbl; }
  const std::shared_ptr<ui::Label>& xiaBanQianJianMianlbl() const { return m_slotLabels[0]; }
  const std::shared_ptr<ui::Label>& mingRiXiaWuChaLbl() const { return m_slotLabels[1]; }
  const std::shared_ptr<ui::Label>& mingRiZhiJieDingFangLbl() const { return m_slotLabels[2]; }
  const std::shared_ptr<ui::Button>& xiaBanQianJianMianBtn() const { return m_slotButtons[0]; }
  const std::shared_ptr<ui::Button>& mingRiXiaWuChaBtn() const { return m_slotButtons[1]; }
  const std::shared_ptr<ui::Button>& mingRiZhiJieDingFangBtn() const { return m_slotButtons[2]; }
  // Slot 0 to 2.
  const std::shared_ptr<ui::Label>& slotLabel(int slot) const { return m_slotLabels[static_cast<size_t>(slot)]; }
  const std::shared_ptr<ui::Button>& slotButton(int slot) const { return m_slotButtons[static_cast<size_t>(slot)]; }

 private:
  void buildScene();
  void didCurState(std::shared_ptr<GongGuanCurState> state);

  std::shared_ptr<GongGuanList> m_currentGongGuanObj;
  std::shared_ptr<GongGuanCurState> m_gongGuanCurState;
  std::shared_ptr<ui::ImageView> m_headPhoto;
  std::shared_ptr<ui::Label> m_nameLbl;
  std::shared_ptr<ui::Label> m_stateLbl;
  std::array<std::shared_ptr<ui::Label>, SlotCount> m_slotLabels;
  std::array<std::shared_ptr<ui::Button>, SlotCount> m_slotButtons;
};

}  // namespace kt
