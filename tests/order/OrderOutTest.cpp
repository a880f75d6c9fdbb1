// An order while the room server holds its answer: the menu and the basket screens against the
// stand-in venue room, whose reply to the order (114) waits at a gate or never comes. The order
// belongs to the basket: a new visit shows it on its way and cannot send it again, a line added
// meanwhile stays for the next order, and a link lost meanwhile is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/MsgCodes.h"
#include "link/RoomRequests.h"
#include "order/OrderMainViewController.h"
#include "order/OrderScreenFixture.h"
#include "order/OrderedFoodViewController.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "venue/Gate.h"
#include "venue/VenueRoom.h"
#include "widgets/controls/CustomDialogView.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::order_test {
namespace {

using Fields = std::vector<std::string>;

class OrderOutTest : public OrderScreenFixture {
 protected:
  void SetUp() override {
    OrderScreenFixture::SetUp();
    venue::RoomIdentity identity = room.identity();
    identity.roomNo = kRoom;  // the room the fixture binds
    room.setIdentity(identity);
    room.install(server);
    plain = room.menu().plainDish();
    ASSERT_NE(plain, nullptr);
    other = room.menu().find([&](const venue::MenuDish& d) {
      return !d.pack && d.freeSetId.empty() && d.autoFree.empty() && d.optionList.empty() && d.no != plain->no;
    });
    ASSERT_NE(other, nullptr);
  }
  void TearDown() override {
    if (gate) gate->open();
    OrderScreenFixture::TearDown();
  }

  // The menu on a connected link, with its first screen settled.
  void openMenu() {
    ServerNetworkCenter::sharedInstance().initConnect();
    ASSERT_TRUE(runUntil([] { return ServerNetworkCenter::sharedInstance().isConnect(); }));
    auto screen = std::dynamic_pointer_cast<OrderMainViewController>(storyboard()->instantiate(OrderScreens::Menu));
    ASSERT_TRUE(screen);
    menu = screen.get();
    nav = std::make_shared<ui::NavigationController>(screen);
    nav->setNavigationBarHidden(true);
    window().setRootViewController(nav);
    ASSERT_TRUE(runUntil([&] { return menu->MyTableview() != nullptr; }));
    wait(0.5);
    render();
  }
  // A priced line of a dish, as the dish popover puts it in the basket.
  static void addDish(const venue::MenuDish& dish, const std::string& quantity) {
    auto line = std::make_shared<OKFolioObject>();
    line->setFoodNo(dish.no);
    line->setFoodName(dish.nameChs);
    line->setPrice(dish.price);
    line->setQuantity(quantity);
    line->setFlag("N");
    line->setMonad(dish.monad);
    basket().push_back(line);
  }
  OrderedFoodViewController* openBasket() {
    tap(*menu->basketButton());
    if (!runUntil([&] { return dynamic_cast<OrderedFoodViewController*>(nav->topViewController()) != nullptr; }))
      return nullptr;
    wait(0.5);
    render();
    return static_cast<OrderedFoodViewController*>(nav->topViewController());
  }
  void backToMenu(OrderedFoodViewController& screen) {
    tap(*screen.btnBack());
    ASSERT_TRUE(runUntil([&] { return nav->topViewController() == menu; }));
    wait(0.5);
  }
  // Confirms the basket and types the room's password on the pad.
  void confirm(OrderedFoodViewController& screen) {
    tap(*screen.btnConfirm());
    wait(0.5);
    auto pad = screen.passwordPad();
    ASSERT_TRUE(pad);
    for (char d : room.password()) pad->clickNum(d - '0');
    pad->clickOK();
    // The pad shrinks away as frames are drawn.
    render();
    wait(0.5);
    render();
  }
  // The menu, a basket of `quantity` of the plain dish, and its order sent under the password.
  void sendAnOrder(const std::string& quantity, OrderedFoodViewController*& screen) {
    ASSERT_NO_FATAL_FAILURE(openMenu());
    addDish(*plain, quantity);
    screen = openBasket();
    ASSERT_TRUE(screen);
    ASSERT_NO_FATAL_FAILURE(confirm(*screen));
    ASSERT_TRUE(waitForRequests(MsgConfirmInputFood, 1));
  }
  static bool showsOrderOut(OrderedFoodViewController& screen) {
    return !screen.btnConfirm()->isEnabled() && !screen.orderOutLabel()->isHidden() &&
           screen.orderOutSpinner()->superview() == screen.view().get();
  }
  // Everything the client wrote so far has reached the stand-in: a request written after it has.
  void everythingSentArrived() {
    const size_t before = requests(MsgRoomStateAndInfo).size();
    RoomRequests::send(RoomRequests::roomStateAndInfo());
    ASSERT_TRUE(waitForRequests(MsgRoomStateAndInfo, before + 1));
  }
  int billLinesOf(const venue::MenuDish& dish) const {
    const std::vector<venue::BillLine> lines = room.billLines();
    return int(std::count_if(lines.begin(), lines.end(), [&](const venue::BillLine& l) { return l.foodNo == dish.no; }));
  }
  std::string frontAlertMessage() const {
    auto alerts = visibleAlerts();
    return alerts.empty() ? "" : alerts.back()->message();
  }

  venue::VenueRoom room;
  std::shared_ptr<venue::Gate> gate;
  const venue::MenuDish* plain = nullptr;
  const venue::MenuDish* other = nullptr;
  OrderMainViewController* menu = nullptr;
};

TEST_F(OrderOutTest, ABasketConfirmedAgainOnANewVisitWhileItsAnswerIsHeldGoesOutOnce) {
  gate = std::make_shared<venue::Gate>();
  room.holdAt(MsgConfirmInputFood, gate);
  OrderedFoodViewController* first = nullptr;
  ASSERT_NO_FATAL_FAILURE(sendAnOrder("1", first));
  EXPECT_TRUE(showsOrderOut(*first));
  EXPECT_EQ(first->orderOutLabel()->text(), OrderedFoodViewController::OrderOutText);
  screenshot("order-out");

  // The guest leaves; the menu and the rest of the program work on meanwhile.
  ASSERT_NO_FATAL_FAILURE(backToMenu(*first));
  auto* second = openBasket();
  ASSERT_TRUE(second);
  EXPECT_TRUE(showsOrderOut(*second));
  EXPECT_EQ(second->tblView()->numberOfRowsInSection(0), 1);
  // Neither the button, nor the screen asked directly, nor a pad's late answer sends it again.
  tap(*second->btnConfirm());
  second->confirmOrderAction(*second->btnConfirm());
  EXPECT_FALSE(second->passwordPad());
  second->customAlertViewClick(0, true, room.password());

  // The stand-in reads on once it has answered: whatever the client wrote meanwhile is counted
  // after the answer.
  gate->open();
  ASSERT_TRUE(runUntil([&] { return nav->topViewController() == menu; }));
  ASSERT_NO_FATAL_FAILURE(everythingSentArrived());
  EXPECT_EQ(requests(MsgConfirmInputFood).size(), 1u);
  EXPECT_EQ(room.orders().size(), 1u);
  EXPECT_EQ(billLinesOf(*plain), 1);
  EXPECT_TRUE(basket().empty());
  EXPECT_TRUE(visibleAlerts().empty());
}

TEST_F(OrderOutTest, ALinePutInTheBasketWhileTheOrderIsOutStaysForTheNextOrder) {
  gate = std::make_shared<venue::Gate>();
  room.holdAt(MsgConfirmInputFood, gate);
  OrderedFoodViewController* screen = nullptr;
  ASSERT_NO_FATAL_FAILURE(sendAnOrder("2", screen));
  ASSERT_NO_FATAL_FAILURE(backToMenu(*screen));
  addDish(*other, "3");
  menu->popViewControllerDidConfirm();  // as the dish popover tells the menu
  EXPECT_EQ(menu->lblOrderNum()->text(), "2");

  gate->open();
  ASSERT_TRUE(runUntil([&] { return room.orders().size() == 1 && requests(MsgConfirmInputFood).size() == 1; }));
  ASSERT_TRUE(runUntil([&] { return basket().size() == 1; }));
  EXPECT_EQ(menu->lblOrderNum()->text(), "1");
  EXPECT_EQ(basket()[0]->FoodNo(), other->no);
  EXPECT_EQ(basket()[0]->Quantity(), "3");
  ASSERT_EQ(room.orders()[0].lines.size(), 1u);
  EXPECT_EQ(room.orders()[0].lines[0][0], plain->no);

  // The next visit counts and shows it, and orders it alone.
  screen = openBasket();
  ASSERT_TRUE(screen);
  EXPECT_FALSE(showsOrderOut(*screen));
  EXPECT_EQ(screen->lblQuantity()->text(), "3");
  EXPECT_EQ(screen->tblView()->numberOfRowsInSection(0), 1);
  ASSERT_NO_FATAL_FAILURE(confirm(*screen));
  ASSERT_TRUE(runUntil([&] { return nav->topViewController() == menu; }));
  ASSERT_EQ(room.orders().size(), 2u);
  ASSERT_EQ(room.orders()[1].lines.size(), 1u);
  EXPECT_EQ(room.orders()[1].lines[0][0], other->no);
  EXPECT_EQ(billLinesOf(*plain), 1);
  EXPECT_EQ(billLinesOf(*other), 1);
  EXPECT_TRUE(basket().empty());
}

TEST_F(OrderOutTest, ALinkLostWhileTheOrderIsOutIsToldOnTheBasketAndTheButtonComesBack) {
  room.setSilent(MsgConfirmInputFood, true);
  OrderedFoodViewController* screen = nullptr;
  ASSERT_NO_FATAL_FAILURE(sendAnOrder("1", screen));
  ASSERT_TRUE(showsOrderOut(*screen));

  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }));
  EXPECT_EQ(frontAlertMessage(), SocketDataHandle::OrderAnswerLostText);
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  EXPECT_TRUE(screen->orderOutLabel()->isHidden());
  EXPECT_EQ(screen->orderOutSpinner()->superview(), nullptr);
  EXPECT_EQ(basket().size(), 1u);
  EXPECT_EQ(nav->topViewController(), screen);
  screenshot("order-answer-lost");
  EXPECT_TRUE(tapAlertButton("确定"));

  // Once the link is back the guest may order again, as the bill shows it was not taken.
  ASSERT_TRUE(runUntil([] { return ServerNetworkCenter::sharedInstance().isConnect(); }));
  room.setSilent(MsgConfirmInputFood, false);
  ASSERT_NO_FATAL_FAILURE(confirm(*screen));
  ASSERT_TRUE(runUntil([&] { return nav->topViewController() == menu; }));
  EXPECT_EQ(requests(MsgConfirmInputFood).size(), 2u);
  EXPECT_EQ(room.orders().size(), 1u);
  EXPECT_TRUE(visibleAlerts().empty());
}

TEST_F(OrderOutTest, ALinkLostAfterTheGuestLeftIsToldOnceAtTheNextVisit) {
  room.setSilent(MsgConfirmInputFood, true);
  OrderedFoodViewController* screen = nullptr;
  ASSERT_NO_FATAL_FAILURE(sendAnOrder("1", screen));
  ASSERT_NO_FATAL_FAILURE(backToMenu(*screen));

  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return server.connectionsAccepted() == 2; }));
  ASSERT_TRUE(runUntil([] { return ServerNetworkCenter::sharedInstance().isConnect(); }));
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());  // the menu is no place for it

  screen = openBasket();
  ASSERT_TRUE(screen);
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }));
  EXPECT_EQ(frontAlertMessage(), SocketDataHandle::OrderAnswerLostText);
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  EXPECT_EQ(basket().size(), 1u);
  EXPECT_TRUE(tapAlertButton("确定"));
  render();
  wait(0.5);

  // Told once.
  ASSERT_NO_FATAL_FAILURE(backToMenu(*screen));
  screen = openBasket();
  ASSERT_TRUE(screen);
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());
}

TEST_F(OrderOutTest, ARefusalThatCameAfterTheGuestLeftIsShownAtTheNextVisit) {
  gate = std::make_shared<venue::Gate>();
  room.holdAt(MsgConfirmInputFood, gate);
  room.refuseNextOrder("厨房已停止接单");
  OrderedFoodViewController* screen = nullptr;
  ASSERT_NO_FATAL_FAILURE(sendAnOrder("1", screen));
  ASSERT_NO_FATAL_FAILURE(backToMenu(*screen));
  gate->open();
  ASSERT_NO_FATAL_FAILURE(everythingSentArrived());
  ASSERT_TRUE(runUntil([] { return !SocketDataHandle::sharedInstance().getTmpSelectFood()->isOrderOut(); }));
  EXPECT_TRUE(visibleAlerts().empty());

  screen = openBasket();
  ASSERT_TRUE(screen);
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }));
  EXPECT_EQ(frontAlertMessage(), "厨房已停止接单");
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  EXPECT_EQ(basket().size(), 1u);
  EXPECT_TRUE(room.orders().empty());
}

}  // namespace
}  // namespace kt::order_test
