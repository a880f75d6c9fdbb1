#include "link/SocketDataHandle.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RoomLinkFixture.h"
#include "link/MsgCodes.h"
#include "platform/ui/Label.h"

namespace kt::testing {
namespace {

using Calls = std::vector<std::string>;

class SocketDataHandleTest : public RoomLinkTest {};

// ---- Delegate -----------------------------------------------------------------------------------

TEST_F(SocketDataHandleTest, OnlyImplementedOperationsAreCalledOnTheLastDelegateSet) {
  RecordingDelegate menu(&D::socketDataHandleDidCategory, &D::socketDataHandleDidFoodList,
                         &D::socketDataHandleDidRoomStateAndInfo);
  RecordingDelegate staff(&D::socketDataHandleDidGongGuanList, &D::socketDataHandleDidGongGuanHuJiao,
                          &D::socketDataHandleDidCancelGongGuanHuJiao);
  handle().setDelegate(&menu);
  handle().setDelegate(&staff);
  EXPECT_EQ(handle().delegate(), &staff);

  receive(MsgFoodList, {"0", "", "", "", "", ""});
  receive(MsgRoomStateAndInfo, {"0", ""});
  receive(MsgGongGuanList, {"0", "", "", ""});
  receive(MsgGongGuanYuYue, {"0"});  // not answered by this screen
  EXPECT_EQ(menu.calls, Calls{});
  EXPECT_EQ(staff.calls, Calls{"gongGuanList"});

  handle().setDelegate(&menu);
  receive(MsgFoodList, {"0", "", "", "", "", ""});
  receive(MsgGongGuanList, {"0", "", "", ""});
  receive(MsgRoomStateAndInfo, {"0", ""});
  EXPECT_EQ(menu.calls, (Calls{"foodList", "roomState"}));
  EXPECT_EQ(staff.calls, Calls{"gongGuanList"});
}

TEST_F(SocketDataHandleTest, AClosedScreenIsNoDelegate) {
  auto screen = std::make_unique<RecordingDelegate>(RecordingDelegate::everything);
  handle().setDelegate(screen.get());
  screen.reset();
  EXPECT_EQ(handle().delegate(), nullptr);
  receive(MsgFoodList, {"0", "", "", "", "", ""});  // reaches nobody, and nothing breaks

  // Closing from inside its own callback: the decoder does not touch it afterwards.
  auto dialog = std::make_unique<RecordingDelegate>(RecordingDelegate::everything);
  dialog->onCall = [&] { dialog.reset(); };
  handle().setDelegate(dialog.get());
  receive(MsgFoodList, {"0", "", "", "", "", ""});
  EXPECT_EQ(dialog, nullptr);
  EXPECT_EQ(handle().delegate(), nullptr);

  // Another screen's closing leaves the current delegate alone.
  RecordingDelegate current(RecordingDelegate::everything);
  {
    RecordingDelegate earlier(RecordingDelegate::everything);
    handle().setDelegate(&earlier);
    handle().setDelegate(&current);
  }
  EXPECT_EQ(handle().delegate(), &current);
}

TEST_F(SocketDataHandleTest, SlotsAreReadWhenEachReplyArrives) {
  RecordingDelegate screen;  // answers nothing
  handle().setDelegate(&screen);
  receive(MsgFoodList, {"0", "", "", "", "", ""});
  EXPECT_EQ(screen.calls, Calls{});

  // A slot set after the screen became the delegate is heard; cleared again, it is not.
  screen.socketDataHandleDidFoodList = [&](FoodList) { screen.calls.push_back("late"); };
  receive(MsgFoodList, {"0", "", "", "", "", ""});
  EXPECT_EQ(screen.calls, Calls{"late"});
  screen.socketDataHandleDidFoodList = nullptr;
  receive(MsgFoodList, {"0", "", "", "", "", ""});
  EXPECT_EQ(screen.calls, Calls{"late"});
}

TEST_F(SocketDataHandleTest, BusNoticesOtherThanRepliesAndConnections) {
  RecordingDelegate screen(RecordingDelegate::everything);
  handle().setDelegate(&screen);
  room().forwardNoticeCode("confirmInputAmount", "");
  room().forwardNoticeCode(kBusCodeUpdateData, "");
  room().forwardNoticeCode(kBusCodeSystemMessage, kBusClientConnected);
  room().forwardNoticeCode(kBusCodeSystemMessage, kBusClientDidDisconnect);
  // A frame with no code part, a code that is not a number, codes nobody handles.
  receive("000007");
  receive("000012\r\nabc\r\n0\r\n");
  receive(MsgFolio, {"0", "", "客订"});
  receive(101, {"0"});
  receive(148, {"0"});
  EXPECT_EQ(screen.calls, Calls{"confirmInputAmount"});
  EXPECT_FALSE(link().mainSocket());  // no connection was asked for
}

// ---- Baskets ------------------------------------------------------------------------------------

TEST_F(SocketDataHandleTest, OneBasketPerRoomAndNoneBeforeABind) {
  EXPECT_EQ(handle().getTmpSelectFood(), nullptr);
  EXPECT_TRUE(handle().tmpSelectDict().empty());

  room().setRoomNo(std::string("8001"));
  auto first = handle().getTmpSelectFood();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(handle().getTmpSelectFood(), first);
  EXPECT_TRUE(first->foodSetArray().empty());
  EXPECT_EQ(first->ErrorMsg(), std::nullopt);

  room().setRoomNo(std::string("8002"));
  auto second = handle().getTmpSelectFood();
  EXPECT_NE(second, first);
  room().setRoomNo(std::string("8001"));
  EXPECT_EQ(handle().getTmpSelectFood(), first);  // kept across leaving the room
  EXPECT_EQ(handle().tmpSelectDict().size(), 2u);

  handle().setAmount(3);
  handle().setAddInfo(std::string("少辣"));
  EXPECT_EQ(handle().Amount(), 3);
  EXPECT_EQ(handle().addInfo(), std::optional<std::string>("少辣"));
}

// ---- Connection changes ---------------------------------------------------------------------------

std::string labelText(int tag) {
  auto strip = SNStatusBarNotification::sharedInstance();
  const auto& label = tag == SNStatusBarNotification::OffLineLabelTag ? strip->offLineLabel() : strip->wifiLabel();
  return label ? label->text() : "(no label)";
}

TEST_F(SocketDataHandleTest, AScreenTakingConnectionChangesIsToldAndNothingReconnects) {
  startServer();
  RecordingDelegate bindScreen(&D::serverConnect, &D::boundClient);
  handle().setDelegate(&bindScreen);
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return !bindScreen.calls.empty(); }, 10));
  EXPECT_EQ(bindScreen.calls, Calls{"serverConnect:YES"});
  EXPECT_EQ(SNStatusBarNotification::sharedInstance()->offLineStr(), std::optional<std::string>("已连接"));
  render();
  EXPECT_EQ(labelText(SNStatusBarNotification::OffLineLabelTag), "已连接");

  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return bindScreen.calls.size() == 2; }, 10));
  EXPECT_EQ(bindScreen.calls.back(), "serverConnect:NO");
  EXPECT_EQ(SNStatusBarNotification::sharedInstance()->offLineStr(), std::optional<std::string>("断开连接"));
  wait(3.0);
  EXPECT_EQ(server.connectionsAccepted(), 1u);
  EXPECT_EQ(noticeCount(kBusServerConnected), 1u);
  EXPECT_FALSE(handle().reconnectPending());
  render();
  EXPECT_EQ(labelText(SNStatusBarNotification::OffLineLabelTag), "断开连接");
}

TEST_F(SocketDataHandleTest, ALostConnectionIsOpenedAgainAtOnce) {
  startServer();
  RecordingDelegate menu(&D::socketDataHandleDidFoodList);  // does not take connection changes
  handle().setDelegate(&menu);
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return link().isConnect(); }, 10));

  // The menu closing the link on its way back: the decoder opens it again without any delay.
  link().disconnectToServer();
  EXPECT_FALSE(handle().reconnectPending());
  ASSERT_TRUE(runUntil([&] { return noticeCount(kBusServerConnected) == 2; }, 10));
  EXPECT_TRUE(server.waitForConnections(2, 5));

  // The server dropping it: the same.
  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return noticeCount(kBusServerConnected) == 3; }, 10));
  EXPECT_EQ(menu.calls, Calls{});
}

TEST_F(SocketDataHandleTest, WhoReopensALostLinkFollowsTheServerConnectSlotAtTheLoss) {
  startServer();
  RecordingDelegate bindScreen(&D::serverConnect);
  handle().setDelegate(&bindScreen);
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return !bindScreen.calls.empty(); }, 10));

  // The screen no longer takes connection changes: the decoder opens a lost link again itself.
  bindScreen.serverConnect = nullptr;
  server.closeConnection();
  // Connected on both sides: the stand-in must hold the new connection before it can close it.
  ASSERT_TRUE(runUntil(
      [&] { return noticeCount(kBusServerConnected) == 2 && server.connectionsAccepted() == 2; }, 10));
  EXPECT_EQ(bindScreen.calls, Calls{"serverConnect:YES"});

  // It takes them again: the next loss is the screen's to handle, and nothing reconnects.
  bindScreen.serverConnect = [&](SocketDataHandle&, bool connected) {
    bindScreen.calls.push_back(connected ? "again:YES" : "again:NO");
  };
  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return bindScreen.calls.back() == "again:NO"; }, 10));
  wait(2.0);
  EXPECT_EQ(server.connectionsAccepted(), 2u);
  EXPECT_EQ(noticeCount(kBusServerConnected), 2u);
  EXPECT_FALSE(handle().reconnectPending());
}

TEST_F(SocketDataHandleTest, AnAttemptThatNeverConnectedIsRetriedAfterAPause) {
  startServer();
  ASSERT_TRUE(server.setRefusing(true));
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return noticeCount(kBusServerDidDisconnect) == 1; }, 10));
  EXPECT_TRUE(handle().reconnectPending());
  EXPECT_EQ(SNStatusBarNotification::sharedInstance()->offLineStr(), std::optional<std::string>("断开连接"));

  // Nothing more until the pause is over, on the virtual clock.
  wait(0.9);
  EXPECT_EQ(noticeCount(kBusServerDidDisconnect), 1u);
  wait(0.2);
  ASSERT_TRUE(runUntil([&] { return noticeCount(kBusServerDidDisconnect) == 2; }, 10));
  EXPECT_TRUE(handle().reconnectPending());

  // The server is back: the next attempt connects and nothing more is pending.
  ASSERT_TRUE(server.setRefusing(false));
  wait(1.1);
  ASSERT_TRUE(runUntil([&] { return noticeCount(kBusServerConnected) == 1; }, 10));
  EXPECT_FALSE(handle().reconnectPending());
  EXPECT_EQ(noticeCount(kBusServerDidDisconnect), 2u);
}

TEST_F(SocketDataHandleTest, APendingRetryGivesWayToAScreenThatTakesConnectionChanges) {
  startServer();
  ASSERT_TRUE(server.setRefusing(true));
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return handle().reconnectPending(); }, 10));
  RecordingDelegate bindScreen(&D::serverConnect);
  handle().setDelegate(&bindScreen);
  wait(2.0);
  EXPECT_EQ(noticeCount(kBusServerDidDisconnect), 1u);
  EXPECT_FALSE(handle().reconnectPending());
}

TEST_F(SocketDataHandleTest, TheServerDateGoesOnTheStrip) {
  receive(MsgSysDate, {"0", "", "2026-12-07 20:00:00"});
  EXPECT_EQ(UserInfo::sharUserInfo().SysTime(), std::optional<std::string>("2026-12-07 20:00:00"));
  EXPECT_EQ(SNStatusBarNotification::sharedInstance()->wifiStr(),
            std::optional<std::string>("系统日期：2026-12-07 20:00:00"));
  render();
  EXPECT_EQ(labelText(SNStatusBarNotification::WifiLabelTag), "系统日期：2026-12-07 20:00:00");
  wait(1.0);  // the strip slides in
  screenshot("strip-date");

  // Four parts (the date missing): logged, nothing changed.
  receive("000016\r\n60\r\n0\r\n");
  EXPECT_TRUE(logged("系统日期数据错误"));
  EXPECT_EQ(UserInfo::sharUserInfo().SysTime(), std::optional<std::string>("2026-12-07 20:00:00"));
}

// ---- A broken stream --------------------------------------------------------------------------------

TEST_F(SocketDataHandleTest, TheTabletResynchronisesAfterADroppedConnectionAndABadFrame) {
  startServer();
  RecordingDelegate menu(&D::socketDataHandleDidFoodList);
  handle().setDelegate(&menu);
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return link().isConnect(); }, 10));

  // Half a frame, then the connection drops: the decoder reconnects at once and the half frame
  // is forgotten with the old connection.
  const std::string food = venue::buildFrame(MsgFoodList, {"0", "", "", "", "", "F1", "宫保鸡丁", "", "28", "份",
                                                           "", "", "0", "0", "", "", "", "", "", "", ""});
  ASSERT_TRUE(server.send(food.substr(0, food.size() / 2)));
  runUntil([] { return false; }, 0.3);  // let the half frame reach the tablet
  server.resetConnection();
  ASSERT_TRUE(runUntil([&] { return noticeCount(kBusServerConnected) == 2; }, 10));
  ASSERT_TRUE(server.waitForConnections(2, 5));

  // On the new connection: a frame with a bad CRC, then the good reply.
  ASSERT_TRUE(server.send(venue::withBadCrc(venue::buildFrame(MsgFoodList, {"0", "坏"})) + food));
  ASSERT_TRUE(runUntil([&] { return !menu.calls.empty(); }, 10));
  EXPECT_EQ(menu.calls, Calls{"foodList"});
  ASSERT_EQ(menu.foods.size(), 1u);
  EXPECT_EQ(menu.foods[0]->NameChs(), std::optional<std::string>("宫保鸡丁"));
}

}  // namespace
}  // namespace kt::testing
