// The room bill against the stand-in venue room: opened from the menu's bill button, its figures
// and lines as the room server keeps them (an order placed included), the bar refreshed by the
// room state it asks for, and the bill reply's exact shapes scripted on the room server.
#include "order/BillViewController.h"

#include <gtest/gtest.h>

#include "link/MsgCodes.h"
#include "link/RoomRequests.h"
#include "order/OrderMainViewController.h"
#include "order/OrderParsing.h"
#include "order/OrderScreenFixture.h"
#include "order/RoomInfoBarView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "support/RectExpectations.h"
#include "venue/VenueMenu.h"
#include "venue/VenueRoom.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::order_test {
namespace {

using Fields = std::vector<std::string>;

// One bill line of a scripted reply: the 11 fields the screen reads, then 5 more.
Fields billLine(const std::string& name, const std::string& price, const std::string& quantity,
                const std::string& monad, const std::string& flag, const std::string& packChild = "0") {
  return {name, price, quantity, monad, flag, "100", packChild, "0", "前台", "2026-12-07 19:31", "", "N1", "", "", "", ""};
}

class BillViewControllerTest : public OrderScreenFixture {
 protected:
  void SetUp() override {
    OrderScreenFixture::SetUp();
    venue::RoomIdentity identity;
    identity.roomNo = kRoom;
    room.setIdentity(identity);
    room.setReceiveClerk("王经理");
    room.install(server);
  }
  void TearDown() override {
    bill.reset();
    OrderScreenFixture::TearDown();
  }

  // The bill screen from the storyboard on top of a plain screen, its first bill reply read.
  void openBill() {
    bill = std::dynamic_pointer_cast<BillViewController>(storyboard()->instantiate(OrderScreens::Bill));
    ASSERT_NE(bill, nullptr);
    showOnStack(std::make_shared<SongHome>(), bill);
    nav->setNavigationBarHidden(true);  // as the menu keeps it
    ASSERT_TRUE(runUntil([&] { return bill->selectedFoods() != nullptr; }));
  }
  // A scripted successful bill reply of exactly `parts` parts, the lines after the header.
  void receiveBill(size_t parts, const std::vector<Fields>& lines) {
    Fields fields(BillViewController::LineStart - 2);
    fields[0] = "0";
    const char* header[] = {"李娜", "", "19:30", "", "", "500.00", "120.00", "", "108.00", "0.00"};
    for (size_t i = 0; i < std::size(header); ++i) fields[i + 2] = header[i];
    for (const Fields& l : lines) fields.insert(fields.end(), l.begin(), l.end());
    fields.resize(parts - 2, "x");
    ASSERT_TRUE(server.sendFrame(MsgFolio, fields, venue::FieldForm::Joined));
  }
  // Waits until the frames sent so far are read: the answer to a 119 asked now comes after them
  // and refills the bar.
  void settle() {
    bill->roomInfobar()->lblYiXiaoFei()->setText("-");
    RoomRequests::send(RoomRequests::roomStateAndInfo());
    ASSERT_TRUE(runUntil([&] { return bill->roomInfobar()->lblYiXiaoFei()->text() == room.consumedText(); }));
  }
  std::shared_ptr<BillTableViewCell> row(int index) {
    render();
    return std::dynamic_pointer_cast<BillTableViewCell>(bill->tvMain()->cellForRowAtIndexPath({0, index}));
  }
  std::vector<std::string> headerTexts() const {
    return {bill->lblReserveClerk()->text(), bill->lblCheckInTime()->text(), bill->lblLowLimitMoney()->text(),
            bill->lblFoodMoney()->text(),    bill->lblZheHouJinE()->text(),  bill->lblOverLowLimit()->text()};
  }

  venue::VenueRoom room;
  std::shared_ptr<BillViewController> bill;
};

TEST_F(BillViewControllerTest, TheMenuButtonOpensTheBillWithAnOrderPlacedThroughTheRoomServer) {
  auto menu = std::dynamic_pointer_cast<OrderMainViewController>(storyboard()->instantiate(OrderScreens::Menu));
  showOnStack(std::make_shared<SongHome>(), menu);
  // An order of a dish, placed as the basket places it.
  const venue::MenuDish& dish = *room.menu().plainDish();
  auto line = std::make_shared<OKFolioObject>();
  line->setFoodNo(dish.no);
  line->setFoodName(dish.nameChs);
  line->setPrice(dish.price);
  line->setQuantity("2");
  line->setMonad(dish.monad);
  line->setFlag("N");
  RoomRequests::send(RoomRequests::confirmInputFood(room.password(), std::string("0"), {line}));
  ASSERT_TRUE(runUntil([&] { return room.orders().size() == 1; }));
  DataCenter::sharedInstance().setConsumeMoney(std::string("0.00"));

  ASSERT_TRUE(menu->billButton()->isEnabled());
  tap(*menu->billButton());
  ASSERT_TRUE(runUntil([&] { return dynamic_cast<BillViewController*>(nav->topViewController()) != nullptr; }));
  bill = std::dynamic_pointer_cast<BillViewController>(nav->viewControllers().back());
  const std::vector<venue::BillLine> lines = room.billLines();
  ASSERT_TRUE(runUntil([&] { return bill->selectedFoods() && bill->selectedFoods()->size() == lines.size(); }));
  EXPECT_EQ(requests(MsgFolio), (std::vector<Fields>{{kRoom, "0", "", "0", "", ""}}));

  const venue::BillFigures f = room.billFigures();
  EXPECT_EQ(headerTexts(),
            (std::vector<std::string>{"王经理", room.billTerms().checkInTime, venue::formatCents(f.lowLimit),
                                      venue::formatCents(f.consumption), venue::formatCents(f.afterDiscount),
                                      venue::formatCents(f.overLowLimit)}));
  // The order is the last line, entered by the tablet.
  render();
  auto ordered = std::dynamic_pointer_cast<BillTableViewCell>(
      bill->tvMain()->cellForRowAtIndexPath({0, int(lines.size()) - 1}));
  ASSERT_NE(ordered, nullptr);
  EXPECT_EQ(ordered->lblName()->text(), dish.nameChs);
  EXPECT_EQ(ordered->lblPrice()->text(), dish.price + " * 2 " + dish.monad);
  EXPECT_EQ(ordered->lblFlag()->text(), "点单");
  EXPECT_EQ(ordered->lblLuoDanRwn()->text(), venue::VenueRoom::kInputClerk);

  // It holds the decoder while shown, so the room state it asks for refreshes its bar.
  ASSERT_TRUE(runUntil([&] { return bill->roomInfobar()->lblYiXiaoFei()->text() == room.consumedText(); }));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), static_cast<SocketDataHandleDelegate*>(bill.get()));
  EXPECT_NE(room.consumedText(), "0.00");
  EXPECT_EQ(bill->roomInfobar()->lblDingFangRen()->text(), "王经理");
  ASSERT_FALSE(requests(MsgRoomStateAndInfo).empty());
  EXPECT_EQ(requests(MsgRoomStateAndInfo).back(), (Fields{kRoom, "", "0"}));

  // Back to the menu, which takes the decoder again.
  tap(*bill->backBtn());
  ASSERT_TRUE(runUntil([&] { return nav->topViewController() == menu.get(); }));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), static_cast<SocketDataHandleDelegate*>(menu.get()));
  EXPECT_EQ(requests(MsgFolio).size(), 1u);
}

TEST_F(BillViewControllerTest, LinesAreReadOnlyWhenAllTheirPartsAreThere) {
  ASSERT_NO_FATAL_FAILURE(openBill());
  const Fields beer = billLine("啤酒", "15", "6", "瓶", "N");
  const Fields fruit = billLine("果盘", "0", "1", "份", "F");
  const struct {
    size_t parts;
    size_t lines;
  } cases[] = {{42, 0}, {43, 1}, {58, 1}, {59, 2}, {75, 3}};
  for (const auto& c : cases) {
    receiveBill(c.parts, {beer, fruit, beer});
    ASSERT_TRUE(runUntil([&] { return bill->selectedFoods()->size() == c.lines &&
                                      bill->lblFoodMoney()->text() == "120.00"; }))
        << c.parts;
    EXPECT_EQ(bill->tvMain()->numberOfRowsInSection(0), int(c.lines));
    if (c.lines >= 2) {
      EXPECT_EQ((*bill->selectedFoods())[1]->FoodName(), "果盘");
    }
    EXPECT_EQ(headerTexts(), (std::vector<std::string>{"李娜", "19:30", "500.00", "120.00", "108.00", "0.00"}));
    bill->lblFoodMoney()->setText("");
  }
}

TEST_F(BillViewControllerTest, RowTextsFollowPriceFlagAndPackageContent) {
  ASSERT_NO_FATAL_FAILURE(openBill());
  receiveBill(27 + 16 * 6, {billLine("蛋糕", "12.5", "3", "个", "N"), billLine("果盘", "0", "2", "份", "F", "1"),
                            billLine("茶位", "", "4", "位", "X"), billLine("纸巾", "abc", "1", "包", "N"),
                            billLine("红酒", "388", "1", "瓶", "F", "1"), billLine("零头", "0.1", "3", "", "N")});
  ASSERT_TRUE(runUntil([&] { return bill->selectedFoods()->size() == 6; }));
  const struct {
    const char *name, *price, *flag, *amount;
  } rows[] = {{"蛋糕", "12.5 * 3 个", "点单", "    37.5"},     {"    果盘", "2 份", "赠送", ""},
              {"茶位", "4 位", "", ""},                        {"纸巾", "1 包", "点单", ""},
              {"    红酒", "388 * 1 瓶", "赠送", "   388.0"}, {"零头", "0.1 * 3 ", "点单", "     0.3"}};
  for (int i = 0; i < 6; ++i) {
    auto cell = row(i);
    ASSERT_NE(cell, nullptr) << i;
    EXPECT_EQ(cell->lblName()->text(), rows[i].name) << i;
    EXPECT_EQ(cell->lblPrice()->text(), rows[i].price) << i;
    EXPECT_EQ(cell->lblFlag()->text(), rows[i].flag) << i;
    EXPECT_EQ(cell->lblAmount()->text(), rows[i].amount) << i;
    EXPECT_EQ(cell->lblLuoDanRwn()->text(), "前台");
    EXPECT_EQ(cell->lblDate()->text(), "2026-12-07 19:31");
  }
}

TEST_F(BillViewControllerTest, FailuresShortRepliesAndOtherFramesKeepWhatIsShown) {
  ASSERT_NO_FATAL_FAILURE(openBill());
  receiveBill(43, {billLine("啤酒", "15", "6", "瓶", "N")});
  ASSERT_TRUE(runUntil([&] { return bill->selectedFoods()->size() == 1 && bill->lblReserveClerk()->text() == "李娜"; }));
  const auto shown = bill->selectedFoods();
  const std::vector<std::string> header = headerTexts();

  // A failure: the server's text in an alert, nothing else changes.
  ASSERT_TRUE(server.sendFrame(MsgFolio, {"1", "账单读取失败"}, venue::FieldForm::Joined));
  ASSERT_TRUE(runUntil([&] { return !ui::AlertView::queuedAlerts().empty(); }));
  EXPECT_EQ(ui::AlertView::queuedAlerts().back()->title(), "提示信息");
  EXPECT_EQ(ui::AlertView::queuedAlerts().back()->message(), "账单读取失败");
  EXPECT_EQ(bill->selectedFoods(), shown);
  EXPECT_EQ(headerTexts(), header);
  ui::AlertView::reset();

  // Too short to hold a result; other messages and events; nothing changes and no alert.
  ASSERT_TRUE(server.sendFrame(MsgFolio, {"1"}, venue::FieldForm::Joined));
  ASSERT_TRUE(server.sendFrame(MsgGongGuanList, {"0", "", "0", ""}, venue::FieldForm::Joined));
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeSystemMessage, kBusServerConnected);
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeUpdateData, "");
  ASSERT_NO_FATAL_FAILURE(settle());
  EXPECT_TRUE(ui::AlertView::queuedAlerts().empty());
  EXPECT_EQ(bill->selectedFoods(), shown);
  EXPECT_EQ(headerTexts(), header);

  // A success cut short sets the figures it holds and empties the lines; "" counts as success.
  ASSERT_TRUE(server.sendFrame(MsgFolio, {"", "", "周强", "", "20:15", "", "", "800.00"}, venue::FieldForm::Joined));
  ASSERT_TRUE(runUntil([&] { return bill->selectedFoods() != shown; }));
  EXPECT_TRUE(bill->selectedFoods()->empty());
  EXPECT_EQ(headerTexts(), (std::vector<std::string>{"周强", "20:15", "800.00", header[3], header[4], header[5]}));
  EXPECT_TRUE(ui::AlertView::queuedAlerts().empty());
}

class BillViewControllerScreens : public BillViewControllerTest,
                                  public ::testing::WithParamInterface<support::Device> {};

TEST_P(BillViewControllerScreens, FramesAndScreenshot) {
  setDevice(GetParam());
  ASSERT_NO_FATAL_FAILURE(openBill());
  ASSERT_TRUE(runUntil([&] { return bill->roomInfobar()->lblYiXiaoFei()->text() == room.consumedText(); }));
  wait(0.5);
  auto cell = row(0);
  ASSERT_NE(cell, nullptr);
  const struct {
    const ui::View* view;
    double x, y, w, h;
  } frames[] = {
      {bill->roomInfobar(), 10, 19, 470, 92},     {bill->lblReserveClerk(), 134, 132, 200, 40},
      {bill->lblOverLowLimit(), 794, 176, 200, 40}, {bill->billHeader(), 20, 226, 984, 40},
      {bill->tvMain(), 20, 268, 984, 404},        {bill->backBtn(), 860, 692, 144, 56},
      {cell.get(), 0, 0, 984, 46},                {cell->lblAmount(), 596, 0, 130, 46},
      {cell->lblDate(), 846, 0, 130, 46},
  };
  for (const auto& f : frames) support::expectRect(f.view->frame(), f.x, f.y, f.w, f.h);
  EXPECT_EQ(bill->view()->backgroundColor(), gfx::Color::black());
  screenshot("bill");
}

INSTANTIATE_TEST_SUITE_P(Tablets, BillViewControllerScreens,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
}  // namespace kt::order_test
