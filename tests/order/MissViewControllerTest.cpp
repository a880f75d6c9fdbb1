#include "order/MissViewController.h"

#include "order/GongGuanZhaoPianViewController.h"
#include "order/OrderMainViewController.h"
#include "order/SangWuYuYuePopViewController.h"
#include "order/StaffScreenFixture.h"
#include "platform/ui/PopoverController.h"
#include "support/RectExpectations.h"
#include "venue/Gate.h"

namespace kt::order_test {
namespace {

using Fields = std::vector<std::string>;

class MissViewControllerTest : public StaffScreenFixture {
 protected:
  void turn(ui::Button& button) {
    tap(button);
    wait(1.0);
  }
  double offsetX() const { return grid->gmGridView()->contentOffset().x; }
  double pageWidth() const { return grid->gmGridView()->frame().width(); }
};

TEST_F(MissViewControllerTest, ListStatesAndPaging) {
  ASSERT_NO_FATAL_FAILURE(openGrid());
  EXPECT_EQ(sent(MsgGongGuanList).front(), (Fields{"0", "1", kRoom}));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), grid.get());
  EXPECT_EQ(pageText(), "1/3");
  const struct {
    int index;
    const char* state;
    const char* title;
  } shown[] = {{0, "空闲", "呼叫"}, {2, "繁忙", "商务预约"}, {3, "等候(1)", "继续呼叫"}};
  for (const auto& s : shown) {
    auto c = cell(s.index);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->lblZhuangTai()->text(), s.state) << s.index;
    EXPECT_EQ(c->btnHuJiao()->currentTitle(), s.title) << s.index;
    EXPECT_EQ(c->btnHuJiao()->tag(), 1000 + s.index);
    EXPECT_EQ(c->btnShowZhaoPian()->tag(), s.index);
  }
  EXPECT_EQ(cell(0)->lblYiMing()->text(), "小雪");
  EXPECT_EQ(cell(0)->lblJiGuan()->text(), "四川");

  turn(*grid->upButton());  // nothing before page 1
  EXPECT_EQ(pageText(), "1/3");
  EXPECT_DOUBLE_EQ(offsetX(), 0);
  turn(*grid->nextButton());
  EXPECT_EQ(pageText(), "2/3");
  EXPECT_DOUBLE_EQ(offsetX(), pageWidth());
  turn(*grid->nextButton());
  turn(*grid->nextButton());  // nothing after the last page
  EXPECT_EQ(pageText(), "3/3");
  EXPECT_DOUBLE_EQ(offsetX(), 2 * pageWidth());
  turn(*grid->upButton());
  EXPECT_EQ(pageText(), "2/3");

  // An empty list has no pages.
  receive(MsgGongGuanList, staffReply({}));
  ASSERT_TRUE(runUntil([&] { return grid->gongGuanListArray().empty(); }));
  EXPECT_EQ(grid->lblTotalPage()->text(), "0");
}

TEST_F(MissViewControllerTest, CallCallAgainAndCancelReturnToThePage) {
  ASSERT_NO_FATAL_FAILURE(openGrid());
  turn(*grid->nextButton());
  // 悦悦 (free) on page 2: the accepted call asks for the list again, which opens on page 2.
  ASSERT_NO_FATAL_FAILURE(press(5, MsgGongGuanHuJiao, 1));
  EXPECT_EQ(sent(MsgGongGuanHuJiao).back(), (Fields{"1006", kRoom, "", ""}));
  ASSERT_TRUE(waitForRequests(MsgGongGuanList, 2));
  ASSERT_TRUE(runUntil([&] { return cell(5)->btnHuJiao()->currentTitle() == std::optional<std::string>("取消呼叫"); }));
  EXPECT_EQ(cell(5)->lblZhuangTai()->text(), "等候(1)");
  EXPECT_EQ(DataCenter::sharedInstance().gongGuanPos(), 4);
  EXPECT_EQ(pageText(), "2/3");
  EXPECT_DOUBLE_EQ(offsetX(), pageWidth());

  // Calling again a member other rooms wait for.
  ASSERT_NO_FATAL_FAILURE(press(6, MsgGongGuanHuJiao, 2));
  EXPECT_EQ(sent(MsgGongGuanHuJiao).back(), (Fields{"1007", kRoom, "", ""}));
  ASSERT_TRUE(waitForRequests(MsgGongGuanList, 3));

  // Cancelling asks first; only "确定" sends 150.
  ASSERT_NO_FATAL_FAILURE(press(5));
  ASSERT_NE(grid->cancelAlert(), nullptr);
  EXPECT_EQ(grid->cancelAlert()->message(), "确认取消呼叫？");
  EXPECT_TRUE(tapAlertButton("取消"));
  wait(0.5);
  EXPECT_TRUE(requests(MsgCancelGongGuanHuJiao).empty());
  ASSERT_NO_FATAL_FAILURE(press(5));
  EXPECT_TRUE(tapAlertButton("确定"));
  wait(0.5);
  ASSERT_TRUE(waitForRequests(MsgCancelGongGuanHuJiao, 1));
  EXPECT_EQ(sent(MsgCancelGongGuanHuJiao).back(), (Fields{"1006", kRoom, "", ""}));
  ASSERT_TRUE(waitForRequests(MsgGongGuanList, 4));
  ASSERT_TRUE(runUntil([&] { return cell(5)->lblZhuangTai()->text() == "空闲"; }));
  EXPECT_EQ(pageText(), "2/3");

  // A refused call shows the server's message and asks for nothing.
  room.refuseNext(MsgGongGuanHuJiao, "该公关正忙");
  ASSERT_NO_FATAL_FAILURE(press(5, MsgGongGuanHuJiao, 3));
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }));
  EXPECT_EQ(visibleAlerts().back()->message(), "该公关正忙");
  wait(0.3);
  EXPECT_EQ(requests(MsgGongGuanList).size(), 4u);
}

// After a call the list comes again and the grid reloads into reused cells: every card keeps
// its dark panel.
TEST_F(MissViewControllerTest, CardsKeepTheirPanelsWhenTheListReloads) {
  ASSERT_NO_FATAL_FAILURE(openGrid());
  const auto panelColours = [&](const char* name) {
    auto shot = screenshot(name);
    std::vector<uint32_t> colours;
    for (int i = 0; i < 4; ++i) {
      auto c = cell(i);
      colours.push_back(shot && c ? colorAt(*shot, c->convertPointTo({5, 232}, nullptr)) : 0);
    }
    return colours;
  };
  const std::vector<uint32_t> panels(4, 0xff151b28);
  EXPECT_EQ(panelColours("cards-first-list"), panels);
  ASSERT_NO_FATAL_FAILURE(press(0, MsgGongGuanHuJiao, 1));
  ASSERT_TRUE(waitForRequests(MsgGongGuanList, 2));
  ASSERT_TRUE(runUntil([&] { return cell(0)->btnHuJiao()->currentTitle() == std::optional<std::string>("取消呼叫"); }));
  wait(0.5);
  EXPECT_EQ(panelColours("cards-after-reload"), panels);
}

TEST_F(MissViewControllerTest, LastPartPageAndStaleButtons) {
  ASSERT_NO_FATAL_FAILURE(openGrid());
  room.setSilent(MsgGongGuanList, true);
  room.setSilent(MsgGongGuanHuJiao, true);
  receive(MsgGongGuanList, staffReply(freeStaff(10)));
  ASSERT_TRUE(runUntil([&] { return grid->gongGuanListArray().size() == 10; }));
  turn(*grid->nextButton());
  turn(*grid->nextButton());
  EXPECT_EQ(pageText(), "3/3");
  // A call on the last page, which holds two members, comes back to that page.
  ASSERT_NO_FATAL_FAILURE(press(8, MsgGongGuanHuJiao, 1));
  receive(MsgGongGuanHuJiao, {"0", ""});
  ASSERT_TRUE(waitForRequests(MsgGongGuanList, 2));
  EXPECT_EQ(DataCenter::sharedInstance().gongGuanPos(), 8);
  receive(MsgGongGuanList, staffReply(freeStaff(10)));
  wait(0.5);
  EXPECT_EQ(pageText(), "3/3");
  EXPECT_DOUBLE_EQ(offsetX(), 2 * pageWidth());

  // A code other than "0" changes nothing.
  DataCenter::sharedInstance().setGongGuanPos(0);
  ASSERT_NO_FATAL_FAILURE(press(9, MsgGongGuanHuJiao, 2));
  receive(MsgGongGuanHuJiao, {"2", "稍后"});
  wait(0.3);
  EXPECT_EQ(requests(MsgGongGuanList).size(), 2u);

  // A shorter list: buttons of members no longer listed do nothing, nor does an unknown state.
  receive(MsgGongGuanList, staffReply({{"3001", "甲", "7", "0"}, {"3002", "乙", "0", "0"}}));
  ASSERT_TRUE(runUntil([&] { return grid->gongGuanListArray().size() == 2; }));
  auto stale = ui::Button::create();
  for (int tag : {1009, 999, 1002, 1000}) {
    stale->setTag(tag);
    grid->btnhujiaoClicked(*stale);
  }
  wait(0.3);
  EXPECT_EQ(requests(MsgGongGuanHuJiao).size(), 2u);
  EXPECT_EQ(grid->tmpGongGuan()->DangAnID(), "3001");
}

TEST_F(MissViewControllerTest, HeadImageOpensThePhotographsWithTheList) {
  ASSERT_NO_FATAL_FAILURE(openGrid());
  turn(*grid->nextButton());
  tap(*cell(6)->btnShowZhaoPian());
  ASSERT_TRUE(runUntil([&] { return grid->presentedViewController() != nullptr; }));
  auto* photos = dynamic_cast<GongGuanZhaoPianViewController*>(grid->presentedViewController());
  ASSERT_NE(photos, nullptr);
  EXPECT_EQ(grid->curPos(), 6);
  EXPECT_EQ(photos->curPos(), 6);
  EXPECT_EQ(photos->gongGuanListArray(), grid->gongGuanListArray());

  // Back on the grid, it takes the replies again and asks for the list.
  photos->backAction();
  ASSERT_TRUE(runUntil([&] { return grid->presentedViewController() == nullptr; }));
  ASSERT_TRUE(waitForRequests(MsgGongGuanList, 2));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), grid.get());
}

// ---- A cancel while the room server holds its answer ----

// 小雪 (the first member) called by this room, then her call's cancel sent and its answer held by
// the room server: the grid still shows the call.
class CancelHeldTest : public MissViewControllerTest {
 protected:
  void cancelHeld() {
    ASSERT_NO_FATAL_FAILURE(openGrid());
    ASSERT_NO_FATAL_FAILURE(press(0, MsgGongGuanHuJiao, 1));
    ASSERT_TRUE(waitForRequests(MsgGongGuanList, 2));
    ASSERT_TRUE(runUntil([&] { return cell(0)->btnHuJiao()->currentTitle() == std::optional<std::string>("取消呼叫"); }));
    room.holdAt(MsgCancelGongGuanHuJiao, gate);
    tap(*cell(0)->btnHuJiao());
    ASSERT_TRUE(tapAlertButton("确定"));
    ASSERT_TRUE(gate->waitForArrived(1, 20));
    wait(0.5);
    ASSERT_EQ(cell(0)->btnHuJiao()->currentTitle(), std::optional<std::string>("取消呼叫"));
  }
  // Lets the answer go and waits for the list it brings: the call is gone, and nothing was
  // refused.
  void answerAndExpectOneCancel(size_t lists) {
    gate->open();
    ASSERT_TRUE(waitForRequests(MsgGongGuanList, lists));
    ASSERT_TRUE(runUntil([&] { return cell(0)->lblZhuangTai()->text() == "空闲"; }));
    EXPECT_EQ(requests(MsgCancelGongGuanHuJiao).size(), 1u);
    EXPECT_TRUE(visibleAlerts().empty()) << visibleAlerts().front()->message();
    EXPECT_TRUE(room.staff()->member("1001")->calls.empty());
  }

  std::shared_ptr<venue::Gate> gate = std::make_shared<venue::Gate>();
};

// Tapped again on the same grid, the cancel asks nothing and sends nothing: sent again, it would
// be refused ("没有呼叫记录") and the refusal shown, though the first one went through.
TEST_F(CancelHeldTest, TappedAgainItIsNotAskedNorSentAgain) {
  ASSERT_NO_FATAL_FAILURE(cancelHeld());
  tap(*cell(0)->btnHuJiao());
  EXPECT_FALSE(tapAlertButton("确定")) << "asked again";
  ASSERT_NO_FATAL_FAILURE(answerAndExpectOneCancel(3));
  // Answered, the call can be made and cancelled again.
  ASSERT_NO_FATAL_FAILURE(press(0, MsgGongGuanHuJiao, 2));
  ASSERT_TRUE(runUntil([&] { return cell(0)->btnHuJiao()->currentTitle() == std::optional<std::string>("取消呼叫"); }));
  tap(*cell(0)->btnHuJiao());
  ASSERT_TRUE(tapAlertButton("确定"));
  ASSERT_TRUE(waitForRequests(MsgCancelGongGuanHuJiao, 2));
}

// The same on the member's photographs, which show the call from the grid's list, and back on
// the grid.
TEST_F(CancelHeldTest, NeitherFromThePhotographsNorBackOnTheGrid) {
  ASSERT_NO_FATAL_FAILURE(cancelHeld());
  tap(*cell(0)->btnShowZhaoPian());
  ASSERT_TRUE(runUntil([&] { return grid->presentedViewController() != nullptr; }));
  auto* photos = dynamic_cast<GongGuanZhaoPianViewController*>(grid->presentedViewController());
  ASSERT_NE(photos, nullptr);
  wait(0.5);
  ASSERT_EQ(photos->btnHuJiao()->currentTitle(), std::optional<std::string>("取消呼叫"));
  tap(*photos->btnHuJiao());
  EXPECT_FALSE(tapAlertButton("确定")) << "asked on the photographs";
  photos->backAction();
  ASSERT_TRUE(runUntil([&] { return grid->presentedViewController() == nullptr; }));
  wait(0.5);
  tap(*cell(0)->btnHuJiao());
  EXPECT_FALSE(tapAlertButton("确定")) << "asked back on the grid";
  // The list asked on coming back waits behind the held answer.
  ASSERT_NO_FATAL_FAILURE(answerAndExpectOneCancel(4));
}

// A lost link ends the wait: that answer never comes, and the guest may cancel again.
TEST_F(CancelHeldTest, LosingTheLinkLetsTheGuestCancelAgain) {
  ASSERT_NO_FATAL_FAILURE(cancelHeld());
  ServerNetworkCenter::sharedInstance().disconnectToServer();
  tap(*cell(0)->btnHuJiao());
  EXPECT_TRUE(tapAlertButton("确定"));
  gate->open();
}

// ---- The fold from the menu, frames and screenshots ----

class MissViewControllerScreens : public MissViewControllerTest,
                                  public ::testing::WithParamInterface<support::Device> {};

TEST_P(MissViewControllerScreens, FoldFromTheMenuFramesAndScreenshots) {
  setDevice(GetParam());
  auto menu = std::dynamic_pointer_cast<OrderMainViewController>(storyboard()->instantiate(OrderScreens::Menu));
  ASSERT_NO_FATAL_FAILURE(showOnStack(std::make_shared<SongHome>(), menu));
  tap(*menu->staffButton());
  wait(0.15);
  EXPECT_NE(screenshot("staff-fold-halfway"), nullptr);
  ASSERT_TRUE(runUntil([&] { return dynamic_cast<MissViewController*>(nav->topViewController()) != nullptr; }));
  grid = std::dynamic_pointer_cast<MissViewController>(nav->topViewController()->sharedController());
  ASSERT_TRUE(runUntil([&] { return grid->gongGuanListArray().size() == 12; }));
  wait(1.0);
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), grid.get());

  support::expectRect(grid->scrollView()->frame(), 12, 118, 1000, 470, "scroll view");
  support::expectRect(grid->gmGridView()->frame(), 0, 0, 1000, 470, "grid");
  support::expectRect(grid->backButton()->frame(), 20, 32, 110, 48, "back");
  support::expectRect(grid->upButton()->frame(), 312, 628, 130, 52, "previous");
  support::expectRect(grid->nextButton()->frame(), 582, 628, 130, 52, "next");
  support::expectRect(grid->lblCurrentPage()->frame(), 452, 632, 50, 44, "page");
  auto first = cell(0);
  EXPECT_EQ(first->frame().size, (gfx::Size{208, 395}));
  support::expectRect(first->btnHuJiao()->frame(), 24, 332, 160, 48, "action");
  support::expectRect(first->imgGongGuanZhaoPian()->frame(), 19, 14, 170, 213, "head");
  EXPECT_DOUBLE_EQ(cell(1)->frame().x() - first->frame().x(), 243);
  EXPECT_NE(screenshot("staff-grid"), nullptr);

  ASSERT_NO_FATAL_FAILURE(press(2, MsgGongGuanCurState, 1));
  wait(0.5);
  auto popover = grid->popoverController();
  ASSERT_NE(popover, nullptr);
  auto* reservation = dynamic_cast<SangWuYuYuePopViewController*>(popover->contentViewController().get());
  ASSERT_NE(reservation, nullptr);
  support::expectRect(reservation->view()->bounds(), 0, 0, 320, 480, "popover");
  support::expectRect(reservation->headPhoto()->frame(), 18, 18, 108, 135, "head");
  support::expectRect(reservation->slotButton(1)->frame(), 170, 20, 114, 46, "slot button");
  EXPECT_NE(screenshot("staff-reservation-popover"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Devices, MissViewControllerScreens,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         deviceName);

}  // namespace
}  // namespace kt::order_test
