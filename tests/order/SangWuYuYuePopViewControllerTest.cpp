#include "order/SangWuYuYuePopViewController.h"

#include "link/GongGuanCurState.h"
#include "order/StaffScreenFixture.h"
#include "platform/ui/Label.h"
#include "platform/ui/PopoverController.h"

namespace kt::order_test {
namespace {

using Fields = std::vector<std::string>;

// The reservation popover of 晓晓 (busy, nothing reserved), opened from the staff grid.
class SangWuYuYuePopViewControllerTest : public StaffScreenFixture {
 protected:
  void openPopover() {
    ASSERT_NO_FATAL_FAILURE(openGrid());
    ASSERT_NO_FATAL_FAILURE(press(2, MsgGongGuanCurState, 1));
    ASSERT_NE(grid->popoverController(), nullptr);
    EXPECT_TRUE(grid->popoverController()->isPopoverVisible());
    popover = std::dynamic_pointer_cast<SangWuYuYuePopViewController>(
        grid->popoverController()->contentViewController());
    ASSERT_NE(popover, nullptr);
    ASSERT_TRUE(runUntil([&] { return popover->gongGuanCurState() != nullptr; }));
    render();
  }
  // "label|button title" of each slot, the title "-" for a hidden button.
  std::string slots() const {
    std::string out;
    for (int s = 0; s < SangWuYuYuePopViewController::SlotCount; ++s) {
      const auto& button = *popover->slotButton(s);
      out += popover->slotLabel(s)->text() + "|" +
             (button.isHidden() ? std::string("-") : button.currentTitle().value_or("")) + (s < 2 ? " " : "");
    }
    return out;
  }
  // Presses a slot button and waits for the state asked again after its reply.
  void pressSlot(int slot, int code) {
    const size_t sent = requests(code).size();
    const size_t asked = requests(MsgGongGuanCurState).size();
    tap(*popover->slotButton(slot));
    ASSERT_TRUE(waitForRequests(code, sent + 1));
    ASSERT_TRUE(waitForRequests(MsgGongGuanCurState, asked + 1));
    wait(0.3);
    render();
  }
  // Reply 151: state, calls, the three slots and their ids.
  void receiveState(const Fields& values) {
    Fields fields = {"0", ""};
    fields.insert(fields.end(), values.begin(), values.end());
    fields.resize(12);
    receive(MsgGongGuanCurState, fields);
    wait(0.3);
  }

  std::shared_ptr<SangWuYuYuePopViewController> popover;
};

const char* const kAllFree = "可预约|我要预约 可预约|我要预约 可预约|我要预约";

TEST_F(SangWuYuYuePopViewControllerTest, ReserveAndCancelEachKind) {
  ASSERT_NO_FATAL_FAILURE(openPopover());
  EXPECT_EQ(sent(MsgGongGuanCurState).front(), (Fields{"1003", kMaster, "", ""}));
  EXPECT_EQ(requests(MsgGongGuanHuJiao).size(), 0u);
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), popover.get());
  EXPECT_EQ(popover->nameLbl()->text(), "晓晓");
  EXPECT_EQ(popover->stateLbl()->text(), "繁忙");
  EXPECT_EQ(slots(), kAllFree);

  const char* const reserved[] = {"我的预约|取消预约 不可预约|- 不可预约|-", "不可预约|- 我的预约|取消预约 不可预约|-",
                                  "不可预约|- 不可预约|- 我的预约|取消预约"};
  for (int slot = 0; slot < 3; ++slot) {
    SCOPED_TRACE(slot);
    ASSERT_NO_FATAL_FAILURE(pressSlot(slot, MsgGongGuanYuYue));
    EXPECT_EQ(sent(MsgGongGuanYuYue).back(), (Fields{"1003", kMaster, kRoom, std::to_string(slot), "", "", "", ""}));
    EXPECT_EQ(slots(), reserved[slot]);
    const venue::Reservation held = room.staff()->member("1003")->slots[static_cast<size_t>(slot)];
    ASSERT_FALSE(held.id.empty());
    ASSERT_NO_FATAL_FAILURE(pressSlot(slot, MsgCancelGongGuanYuYue));
    EXPECT_EQ(sent(MsgCancelGongGuanYuYue).back(), (Fields{"1003", held.id, "", ""}));
    EXPECT_EQ(slots(), kAllFree);
  }
  // One state request on loading, then one after each of the six replies.
  EXPECT_EQ(requests(MsgGongGuanCurState).size(), 7u);

  // A refused reservation only asks again.
  room.refuseNext(MsgGongGuanYuYue, "该时段不可预约");
  ASSERT_NO_FATAL_FAILURE(pressSlot(0, MsgGongGuanYuYue));
  EXPECT_EQ(requests(MsgGongGuanCurState).size(), 8u);
  EXPECT_EQ(slots(), kAllFree);
}

TEST_F(SangWuYuYuePopViewControllerTest, StatesExclusivityAndUnknownSlots) {
  ASSERT_NO_FATAL_FAILURE(openPopover());
  room.setSilent(MsgGongGuanCurState, true);
  room.setSilent(MsgGongGuanYuYue, true);

  receiveState({"3", "4", "0", "0", "1"});
  EXPECT_EQ(popover->stateLbl()->text(), "等候(4)");
  EXPECT_EQ(slots(), "不可预约|- 不可预约|- 不可预约|-");

  receiveState({"0", "0", "2", "0", "0", "R9"});
  EXPECT_EQ(popover->stateLbl()->text(), "空闲");
  EXPECT_EQ(slots(), "我的预约|取消预约 不可预约|- 不可预约|-");
  ASSERT_NO_FATAL_FAILURE(pressSlot(0, MsgCancelGongGuanYuYue));
  EXPECT_EQ(sent(MsgCancelGongGuanYuYue).back(), (Fields{"1003", "R9", "", ""}));

  // A slot whose text is not one the buttons act on offers nothing and sends nothing.
  receiveState({"1", "0", "", "0", "0"});
  EXPECT_EQ(slots(), "不可预约|- 可预约|我要预约 可预约|我要预约");
  auto stray = ui::Button::create();
  for (int tag : {101, 100, 104}) {
    stray->setTag(tag);
    popover->onActionClicked(*stray);
  }
  wait(0.3);
  EXPECT_TRUE(requests(MsgGongGuanYuYue).empty());
  tap(*popover->slotButton(1));
  ASSERT_TRUE(waitForRequests(MsgGongGuanYuYue, 1));
  EXPECT_EQ(sent(MsgGongGuanYuYue).back()[3], "1");

  // A failed state query keeps the view as it is.
  receive(MsgGongGuanCurState, {"1", "查询失败"});
  wait(0.3);
  EXPECT_EQ(slots(), "不可预约|- 可预约|我要预约 可预约|我要预约");
}

TEST_F(SangWuYuYuePopViewControllerTest, WithoutABookingAndAfterItIsGone) {
  DataCenter::sharedInstance().setMasterID(std::nullopt);
  ASSERT_NO_FATAL_FAILURE(openPopover());
  EXPECT_EQ(sent(MsgGongGuanCurState).front(), (Fields{"1003", "", "", ""}));
  tap(*popover->slotButton(2));
  ASSERT_TRUE(waitForRequests(MsgGongGuanYuYue, 1));
  EXPECT_EQ(sent(MsgGongGuanYuYue).front(), (Fields{"1003", "", kRoom, "2", "", "", "", ""}));

  // Closed and let go, the popover hears nothing more; the grid takes the replies back on a press.
  grid->popoverController()->dismissPopoverAnimated(false);
  grid->setPopoverController(nullptr);
  popover.reset();
  wait(0.5);
  ASSERT_TRUE(runUntil([] { return SocketDataHandle::sharedInstance().delegate() == nullptr; }));
  receive(MsgGongGuanCurState, {"0", "", "1", "0", "0", "0", "0", "", "", "", "", ""});
  wait(0.3);
  ASSERT_NO_FATAL_FAILURE(press(0, MsgGongGuanHuJiao, 1));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), grid.get());
}

}  // namespace
}  // namespace kt::order_test
