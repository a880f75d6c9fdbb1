// The whole road of an order against the stand-in venue room: bind from the song home, the menu,
// dishes with quantities and options, a repeated dish, a package under its group rules and
// re-opened with its choice, the basket with its totals and deletions, the password pad, a
// refusal and the order the room server keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/FoodTypeObject.h"
#include "link/MsgCodes.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "order/OrderMainViewController.h"
#include "order/OrderParsing.h"
#include "order/OrderScreenFixture.h"
#include "order/OrderedFoodViewController.h"
#include "order/PackChildCell.h"
#include "order/PackChildViewController.h"
#include "order/PopViewController.h"
#include "platform/ui/Button.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"
#include "venue/VenueRoom.h"
#include "widgets/controls/CustomDialogView.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::order_test {
namespace {

using Fields = std::vector<std::string>;

class FoodOrderRoadTest : public OrderScreenFixture {
 protected:
  void SetUp() override {
    OrderScreenFixture::SetUp();
    room.install(server);
  }
  void TearDown() override {
    menu = nullptr;
    OrderScreenFixture::TearDown();
  }

  template <class Screen>
  static Screen* inPopover() {
    auto shown = ShowPopViewSegue::sharedPopover();
    return shown && shown->isPopoverVisible() ? dynamic_cast<Screen*>(shown->contentViewController().get()) : nullptr;
  }

  // Opens the dish's category (when closed), its sub-category and the dish, then its popover.
  PopViewController* openDish(const venue::MenuDish& dish) {
    const venue::MenuCategory* sub = room.menu().category(dish.typeNo);
    if (!sub) return nullptr;
    const int section = indexOf(menu->level1TypeAry(), [&](auto& c) { return c->TypeNo() == sub->parentNo; });
    if (section < 0) return nullptr;
    if (!textIs(menu->level1TypeAry()[section]->Choise(), "1")) menu->buttonClick(section);
    const int row =
        indexOf(menu->level2TypeDict().at(sub->parentNo), [&](auto& c) { return c->TypeNo() == sub->typeNo; });
    menu->didSelectRowAtIndexPath(*menu->MyTableview(), {section, row});
    const size_t count = room.menu().dishesOf(sub->typeNo).size();
    if (!runUntil([&] { return menu->foodListArray().size() == count && !menu->foodListArray().empty() &&
                               menu->foodListArray().front()->No() == room.menu().dishesOf(sub->typeNo).front()->no; }))
      return nullptr;
    const int dishRow = indexOf(menu->foodListArray(), [&](auto& d) { return d->No() == dish.no; });
    menu->didSelectRowAtIndexPath(*menu->TowTableView(), {0, dishRow});
    render();
    tap(*menu->DianXuanBut());
    runUntil([] { return inPopover<PopViewController>() != nullptr; });
    render();
    return inPopover<PopViewController>();
  }
  // Types the quantity on the pad, picks an option row, presses OK.
  void orderOnPad(PopViewController& popover, const std::string& digits, int optionRow = -1) {
    ASSERT_TRUE(runUntil([&] { return optionRow < 0 || int(popover.foodInfoArray().size()) > optionRow; }));
    for (char d : digits) tap(*popover.padKey(d - '0'));
    if (optionRow >= 0) popover.didSelectRowAtIndexPath(*popover.addInfoTableView(), {0, optionRow});
    tap(*popover.padKey(PopViewController::OkTag));
  }
  // Fills every group of the open chooser by its rule: one dish switched on per group, alternatives
  // after the first taken left alone.
  void fillPackage(PackChildViewController& chooser) {
    bool alternativeTaken = false;
    for (size_t g = 0; g < chooser.packArray().size(); ++g) {
      const auto& group = chooser.packArray()[g];
      if (textIs(group->NotShare(), "1") && alternativeTaken) continue;
      if (group->isSelected()) continue;  // filled when it opened
      tap(*chooser.prckChildTableView()->headerViewForSection(int(g)));
      wait(0.5);
      render();
      auto cell = std::dynamic_pointer_cast<PackChildCell>(chooser.prckChildTableView()->cellForRowAtIndexPath({int(g), 0}));
      ASSERT_TRUE(cell && !cell->switch_all()->isHidden());
      tap(*cell->switch_all());
      render();
      alternativeTaken = alternativeTaken || textIs(group->NotShare(), "1");
    }
  }
  std::vector<int32_t> groupCounts(const PackChildViewController& chooser) const {
    std::vector<int32_t> counts;
    for (const auto& g : chooser.packArray()) counts.push_back(g->SelectedCount());
    return counts;
  }
  // The 30 fields request 114 carries for a basket line.
  static Fields orderFields(const OKFolioObject& l) {
    return {textOf(l.FoodNo()), textOf(l.FoodName()), textOf(l.Price()), textOf(l.Flag()), textOf(l.Quantity()),
            textOf(l.CanDiscount()), textOf(l.Adds1Name()), textOf(l.Adds2Name()), textOf(l.Monad()),
            textOf(l.IfLowLimitPrice()), textOf(l.PrinterNo()), textOf(l.OverTimes()), textOf(l.IfPack()),
            textOf(l.IfPackChild()), textOf(l.AutoFreed()), textOf(l.AutoFreeCount()), textOf(l.GroupID()),
            textOf(l.ParentFoodNo()), textOf(l.CanReward()), textOf(l.LimitDisRate()), textOf(l.Note()),
            textOf(l.DeduckClerkName()), textOf(l.FlowerGirlsNo()), "0", textOf(l.VipPrice()), "", "", "", "", ""};
  }

  venue::VenueRoom room;
  OrderMainViewController* menu = nullptr;
};

TEST_F(FoodOrderRoadTest, FromTheSongHomeToAnOrderTheRoomServerKeeps) {
  DataCenter::resetSharedInstanceForTesting();  // not bound yet
  auto nav = std::make_shared<ui::NavigationController>(std::make_shared<SongHome>());
  window().setRootViewController(nav);
  render();
  std::static_pointer_cast<SongHome>(nav->viewControllers().front())->leftBarButtonClick();
  ASSERT_TRUE(runUntil([&] { return dynamic_cast<OrderMainViewController*>(nav->topViewController()) != nullptr; }));
  menu = static_cast<OrderMainViewController*>(nav->topViewController());
  ASSERT_TRUE(runUntil([&] { return menu->MyTableview() != nullptr; }));
  wait(0.5);
  render();
  const venue::Menu& venueMenu = room.menu();

  // A dish with an option, two of it; then one more of the same dish merges into its line.
  const venue::MenuDish* spicy = venueMenu.optionsDish();
  ASSERT_NE(spicy, nullptr);
  PopViewController* popover = openDish(*spicy);
  ASSERT_NE(popover, nullptr);
  ASSERT_NO_FATAL_FAILURE(orderOnPad(*popover, "2", 1));
  ASSERT_TRUE(runUntil([&] { return basket().size() == 1 && !inPopover<PopViewController>(); }));
  const std::string option = popover->foodInfoArray().at(1);
  EXPECT_EQ(basket()[0]->Adds1Name(), option);
  EXPECT_EQ(basket()[0]->Quantity(), "2");
  popover = openDish(*spicy);
  ASSERT_NE(popover, nullptr);
  ASSERT_NO_FATAL_FAILURE(orderOnPad(*popover, "", 1));  // the default 1
  ASSERT_TRUE(runUntil([&] { return requests(MsgSelectFood).size() == 2 && !inPopover<PopViewController>(); }));
  EXPECT_EQ(requests(MsgSelectFood).back(), (Fields{"0", room.identity().roomNo, spicy->no, "3", "1"}));
  ASSERT_EQ(basket().size(), 1u);
  EXPECT_EQ(basket()[0]->Quantity(), "3");

  // A package filled under its rules, then opened again with its choice restored and left as it was.
  const venue::MenuDish* package = venueMenu.packageDish();
  ASSERT_NE(package, nullptr);
  popover = openDish(*package);
  ASSERT_NE(popover, nullptr);
  ASSERT_NO_FATAL_FAILURE(orderOnPad(*popover, ""));
  ASSERT_TRUE(runUntil([] { return inPopover<PackChildViewController>() != nullptr; }));
  render();
  PackChildViewController* chooser = inPopover<PackChildViewController>();
  ASSERT_NO_FATAL_FAILURE(fillPackage(*chooser));
  const std::vector<int32_t> chosen = groupCounts(*chooser);
  tap(*chooser->suerBtn());
  ASSERT_TRUE(runUntil([] { return !inPopover<PackChildViewController>(); }));
  EXPECT_TRUE(visibleAlerts().empty());
  const size_t withPackage = basket().size();
  ASSERT_GT(withPackage, 2u);
  EXPECT_EQ(basket()[1]->FoodNo(), package->no);
  EXPECT_EQ(menu->lblOrderNum()->text(), std::to_string(withPackage));

  popover = openDish(*package);
  ASSERT_NE(popover, nullptr);
  ASSERT_NO_FATAL_FAILURE(orderOnPad(*popover, ""));
  ASSERT_TRUE(runUntil([] { return inPopover<PackChildViewController>() != nullptr; }));
  chooser = inPopover<PackChildViewController>();
  EXPECT_EQ(chooser->foodCount(), 2);  // one more package: the typed 1 and the 1 in the basket
  for (size_t g = 0; g < chosen.size(); ++g) {
    if (chosen[g] > 0) {
      EXPECT_GE(chooser->packArray()[g]->SelectedCount(), chosen[g]) << "group " << g;
    }
  }
  tap(*chooser->backBtn());  // Cancel: the basket keeps the first package
  ASSERT_TRUE(runUntil([] { return !inPopover<PackChildViewController>(); }));
  EXPECT_EQ(basket().size(), withPackage);

  // A plain dish, then the basket: its totals, one line deleted, everything deleted and ordered again.
  const venue::MenuDish* plain = venueMenu.plainDish();
  ASSERT_NE(plain, nullptr);
  popover = openDish(*plain);
  ASSERT_NE(popover, nullptr);
  ASSERT_NO_FATAL_FAILURE(orderOnPad(*popover, "4"));
  ASSERT_TRUE(runUntil([&] { return basket().size() == withPackage + 1; }));
  tap(*menu->basketButton());
  ASSERT_TRUE(runUntil([&] { return dynamic_cast<OrderedFoodViewController*>(nav->topViewController()) != nullptr; }));
  wait(0.5);
  auto* screen = static_cast<OrderedFoodViewController*>(nav->topViewController());
  double amount = 0;
  int quantity = 0;
  for (const auto& l : basket()) {
    if (textIs(l->Flag(), "F")) continue;
    amount += doubleValueOf(l->Price()) * intValueOf(l->Quantity());
    quantity += intValueOf(l->Quantity());
  }
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.2f", amount);
  EXPECT_EQ(screen->lblAmount()->text(), shown);
  EXPECT_EQ(screen->lblQuantity()->text(), std::to_string(quantity));
  screenshot("basket");

  auto deleteButton = ui::Button::create();
  deleteButton->setTag(int(basket().size()) - 1);  // the plain dish, last
  screen->deleteSelect(*deleteButton);
  EXPECT_EQ(basket().size(), withPackage);

  // The password pad, a refusal, then the order the room server keeps line for line.
  room.refuseNextOrder("");
  tap(*screen->btnConfirm());
  wait(0.5);
  ASSERT_TRUE(screen->passwordPad());
  for (char d : room.password()) screen->passwordPad()->clickNum(d - '0');
  screen->passwordPad()->clickOK();
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }));
  EXPECT_TRUE(tapAlertButton("确定"));
  EXPECT_EQ(nav->topViewController(), screen);
  EXPECT_EQ(basket().size(), withPackage);
  EXPECT_TRUE(room.orders().empty());
  ASSERT_TRUE(screen->btnConfirm()->isEnabled());

  std::vector<Fields> sent;
  for (const auto& l : basket()) sent.push_back(orderFields(*l));
  const std::string total = screen->lblAmount()->text();
  const long long consumedBefore = room.consumedCents();
  tap(*screen->btnConfirm());
  wait(0.5);
  for (char d : room.password()) screen->passwordPad()->clickNum(d - '0');
  screen->passwordPad()->clickOK();
  ASSERT_TRUE(runUntil([&] { return nav->topViewController() == menu; }));
  ASSERT_EQ(room.orders().size(), 1u);
  const venue::PlacedOrder order = room.orders().front();
  EXPECT_EQ(order.header, (Fields{room.identity().roomNo, "3", "3", "", room.password(), total,
                                  std::to_string(sent.size()), "0", "0", "", ""}));
  EXPECT_EQ(order.lines, sent);
  EXPECT_TRUE(basket().empty());
  ASSERT_TRUE(runUntil([&] { return menu->lblOrderNum()->text() == "0"; }));
  ASSERT_TRUE(venue::parseCents(total));
  EXPECT_EQ(room.consumedCents(), consumedBefore + *venue::parseCents(total));
}

}  // namespace
}  // namespace kt::order_test
