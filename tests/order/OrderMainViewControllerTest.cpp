#include "order/OrderMainViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "imagecache/ImageViewWebCache.h"
#include "link/FoodTypeObject.h"
#include "link/MsgCodes.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "order/OrderScreenFixture.h"
#include "order/OrderedFoodViewController.h"
#include "order/PackChildViewController.h"
#include "order/PackChildViewObj.h"
#include "order/PopViewController.h"
#include "order/RecommendViewController.h"
#include "order/RoomInfoBarView.h"
#include "order/TowTableViewCell.h"
#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PopoverController.h"
#include "songs/ChooseMusicVC.h"
#include "support/RectExpectations.h"
#include "venue/VenueRoom.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::order_test {
namespace {

const std::vector<Category> kCategories = {
    {"10", "热菜", "1", "0"},  {"11", "川菜", "2", "10"}, {"12", "粤菜", "2", "10"},
    {"20", "酒水", "1", "0"},  {"21", "啤酒", "2", "20"}, {"99", "杂项", "3", "0"},  // level 3: dropped
    {"31", "孤儿", "2", "30"},                                                       // no such top category
};
const std::vector<Dish> kSichuan = {
    {"1001", "宫保鸡丁", "Kung Pao Chicken", "38.00", "份", "20240501120000"},
    {"1002", "水煮鱼", "Boiled Fish", "68", "例", "20240502080000"},
};
const std::vector<Dish> kCantonese = {{"1101", "白切鸡", "Poached Chicken", "48", "只", "20240503"}};

class OrderMainViewControllerTest : public OrderScreenFixture {
 protected:
  void TearDown() override {
    menu.reset();
    OrderScreenFixture::TearDown();
  }

  // The screens the menu opened.
  static PopViewController* dishPopover() {
    auto shown = ShowPopViewSegue::sharedPopover();
    return shown ? dynamic_cast<PopViewController*>(shown->contentViewController().get()) : nullptr;
  }
  RecommendViewController* recommendScreen() const {
    return dynamic_cast<RecommendViewController*>(menu->presentedViewController());
  }

  // The menu from the storyboard, pushed over the song home screen.
  void openMenu() {
    menu = std::dynamic_pointer_cast<OrderMainViewController>(storyboard()->instantiate(OrderScreens::Menu));
    ASSERT_NE(menu, nullptr);
    showOnStack(std::make_shared<SongHome>(), menu);
    ASSERT_TRUE(waitForRequests(MsgFoodCategory, 1));
  }
  // The menu with the categories of kCategories.
  void openMenuWithCategories() {
    ASSERT_NO_FATAL_FAILURE(openMenu());
    receive(MsgFoodCategory, categoryReply(kCategories));
    ASSERT_TRUE(runUntil([&] { return menu->MyTableview() != nullptr; }));
    render();
  }
  ui::Button& headerButton(int section) {
    auto header = menu->MyTableview()->headerViewForSection(section);
    EXPECT_NE(header, nullptr);
    return static_cast<ui::Button&>(*header->subviews().at(1));
  }
  ui::View& headerArrow(int section) { return *menu->MyTableview()->headerViewForSection(section)->subviews().at(2); }
  // Opens 热菜 and picks its first sub-category (川菜), answered with `dishes`.
  void chooseSichuan(const std::vector<Dish>& dishes = kSichuan) {
    tap(headerButton(0));
    render();
    auto cell = menu->MyTableview()->cellForRowAtIndexPath({0, 0});
    ASSERT_NE(cell, nullptr);
    const size_t before = requests(MsgFoodList).size();
    tap(*cell);
    ASSERT_TRUE(waitForRequests(MsgFoodList, before + 1));
    receive(MsgFoodList, foodReply(dishes));
    ASSERT_TRUE(runUntil([&] { return menu->foodListArray().size() == dishes.size(); }));
    render();
  }
  void tapDish(int row) {
    auto cell = menu->TowTableView()->cellForRowAtIndexPath({0, row});
    ASSERT_NE(cell, nullptr);
    tap(*cell);
  }
  static std::vector<std::string> foodListFields(const std::string& typeNo, const std::string& recommended) {
    return {"0", typeNo, kPriceId, "0", "1", "", "", "0", kRoom, recommended, "1"};
  }

  std::shared_ptr<OrderMainViewController> menu;
};

// ---- Loading and appearing ----

TEST_F(OrderMainViewControllerTest, LoadAsksForCategoriesAndAppearingForTheRoomState) {
  ASSERT_NO_FATAL_FAILURE(openMenu());
  ASSERT_TRUE(waitForRequests(MsgRoomStateAndInfo, 1));
  EXPECT_EQ(requests(MsgFoodCategory),
            (std::vector<std::vector<std::string>>{{"0", "100", "0", "", "", "0", "", kRoom}}));
  EXPECT_EQ(requests(MsgRoomStateAndInfo).front(), (std::vector<std::string>{kRoom, "", "0"}));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), menu.get());
  EXPECT_TRUE(nav->isNavigationBarHidden());
  EXPECT_EQ(TempOederCenter::sharedInstance().delegata(), menu.get());
  // No category table before the category reply.
  EXPECT_EQ(menu->MyTableview(), nullptr);

  // The room bar is filled again from reply 119; no clerk reads "客订".
  ASSERT_NE(menu->roomInfobar(), nullptr);
  EXPECT_EQ(menu->roomInfobar()->frame().origin, (gfx::Point{10, 19}));
  receive(MsgRoomStateAndInfo, roomStateReply("", "356.50"));
  ASSERT_TRUE(runUntil([&] { return menu->roomInfobar()->lblYiXiaoFei()->text() == "356.50"; }));
  EXPECT_EQ(menu->roomInfobar()->lblDingFangRen()->text(), "客订");
  EXPECT_EQ(menu->roomInfobar()->lblRoomName()->text(), kRoom);

  // Every return to the screen asks again.
  nav->pushViewController(std::make_shared<ui::ViewController>(), false);
  nav->popViewControllerAnimated(false);
  wait(0.5);
  EXPECT_TRUE(waitForRequests(MsgRoomStateAndInfo, 2));
  EXPECT_EQ(requests(MsgFoodCategory).size(), 1u);
}

// ---- Categories ----

TEST_F(OrderMainViewControllerTest, CategoriesOpenAndCloseWithTheArrowTurned) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ui::TableView& table = *menu->MyTableview();
  EXPECT_EQ(table.tag(), OrderMainViewController::CategoryTableTag);
  // Two top categories; level 3 dropped; the orphan kept but never shown.
  ASSERT_EQ(table.numberOfSections(), 2);
  EXPECT_EQ(menu->level2TypeDict().at("10").size(), 2u);
  EXPECT_EQ(menu->level2TypeDict().at("30").size(), 1u);
  EXPECT_EQ(table.numberOfRowsInSection(0), 0);
  EXPECT_EQ(table.numberOfRowsInSection(1), 0);
  EXPECT_EQ(headerButton(0).currentTitle(), "热菜");
  EXPECT_TRUE(headerArrow(0).transform().isIdentity());

  tap(headerButton(0));
  render();
  EXPECT_EQ(table.numberOfRowsInSection(0), 2);
  EXPECT_EQ(table.numberOfRowsInSection(1), 0);
  EXPECT_NEAR(std::atan2(headerArrow(0).transform().b, headerArrow(0).transform().a), M_PI_2, 1e-9);
  auto cell = table.cellForRowAtIndexPath({0, 1});
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->textLabel()->text(), "粤菜");
  EXPECT_TRUE(cell->textLabel()->font()->isBold());
  EXPECT_DOUBLE_EQ(cell->textLabel()->font()->pointSize(), 22);

  tap(headerButton(0));
  render();
  EXPECT_EQ(table.numberOfRowsInSection(0), 0);
  EXPECT_TRUE(headerArrow(0).transform().isIdentity());

  // A second category reply refills the same table and closes everything.
  tap(headerButton(1));
  receive(MsgFoodCategory, categoryReply({{"40", "小吃", "1", "0"}}));
  ASSERT_TRUE(runUntil([&] { return menu->level1TypeAry().size() == 1; }));
  render();
  EXPECT_EQ(menu->MyTableview().get(), &table);
  size_t categoryTables = 0;
  for (const auto& t : findViews<ui::TableView>())
    categoryTables += t->tag() == OrderMainViewController::CategoryTableTag;
  EXPECT_EQ(categoryTables, 1u);
  EXPECT_EQ(table.numberOfSections(), 1);
  EXPECT_EQ(headerButton(0).currentTitle(), "小吃");
}

TEST_F(OrderMainViewControllerTest, SubCategoryAsksForItsDishesAndFillsTheFoodTable) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  EXPECT_EQ(requests(MsgFoodList).back(), foodListFields("11", "0"));

  ui::TableView& foods = *menu->TowTableView();
  EXPECT_EQ(foods.tag(), OrderMainViewController::FoodTableTag);
  ASSERT_EQ(foods.numberOfRowsInSection(0), 2);
  auto cell = std::dynamic_pointer_cast<TowTableViewCell>(foods.cellForRowAtIndexPath({0, 1}));
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->reuseIdentifier(), "ToCell");
  EXPECT_EQ(cell->NameChs()->text(), "水煮鱼");
  EXPECT_EQ(cell->NameEng()->text(), "Boiled Fish");
  EXPECT_DOUBLE_EQ(foods.rectForRowAtIndexPath({0, 1}).y(), 60);

  // Another sub-category with no dish empties the table.
  auto cantonese = menu->MyTableview()->cellForRowAtIndexPath({0, 1});
  ASSERT_NE(cantonese, nullptr);
  tap(*cantonese);
  ASSERT_TRUE(waitForRequests(MsgFoodList, 2));
  EXPECT_EQ(requests(MsgFoodList).back(), foodListFields("12", "0"));
  receive(MsgFoodList, foodReply({}));
  ASSERT_TRUE(runUntil([&] { return menu->foodListArray().empty(); }));
  EXPECT_EQ(foods.numberOfRowsInSection(0), 0);
}

// ---- The detail pane and the order button ----

TEST_F(OrderMainViewControllerTest, DishShowsItsDetailsAndTheOrderButtonOpensThePopover) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  EXPECT_FALSE(menu->DianXuanBut()->isEnabled());
  tapDish(0);

  EXPECT_EQ(menu->PicName()->text(), "38.00/份");
  EXPECT_EQ(menu->Foodlable()->text(), "宫保鸡丁");
  EXPECT_EQ(menu->FoodEngName()->text(), "Kung Pao Chicken");
  EXPECT_DOUBLE_EQ(menu->PicName()->font()->pointSize(), 25);
  EXPECT_DOUBLE_EQ(menu->Foodlable()->font()->pointSize(), 28);
  EXPECT_DOUBLE_EQ(menu->FoodEngName()->font()->pointSize(), 20);
  EXPECT_TRUE(menu->Foodlable()->font()->isBold());
  auto url = ImageViewWebCache::ic_imageURL(menu->FootImage());
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->absoluteString(), "http://127.0.0.1:" + std::to_string(web.port()) +
                                       "/GetPhoto.aspx?Flag=00&id=1001&width=400.000000&height=300.000000"
                                       "&time=20240501120000");
  EXPECT_DOUBLE_EQ(menu->FootImage()->layer()->cornerRadius(), 8);
  EXPECT_TRUE(menu->FootImage()->layer()->masksToBounds());
  EXPECT_TRUE(menu->DianXuanBut()->isEnabled());
  EXPECT_EQ(menu->DianXuanBut()->tag(), 0);

  tap(*menu->DianXuanBut());
  wait(0.5);
  PopViewController* popover = dishPopover();
  ASSERT_NE(popover, nullptr);
  EXPECT_EQ(popover->tempFoodObject(), menu->foodListArray()[0]);
  EXPECT_EQ(popover->delegate(), static_cast<popViewControllerDelegate*>(menu.get()));
  // The popover asked for the dish's options and holds the replies while it is up.
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), static_cast<SocketDataHandleDelegate*>(popover));
  EXPECT_EQ(menu->currentBtn(), menu->DianXuanBut());
  auto shown = ShowPopViewSegue::sharedPopover();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(menu->popoverController(), shown);
  EXPECT_TRUE(shown->isPopoverVisible());
  EXPECT_EQ(shown->popoverContentSize(), (gfx::Size{310, 522}));
  EXPECT_EQ(shown->delegate(), static_cast<ui::PopoverControllerDelegate*>(menu.get()));
  // The card's arrow points at the order button.
  ASSERT_NE(shown->card(), nullptr);
  EXPECT_NE(shown->popoverArrowDirection(), ui::PopoverArrowDirectionUnknown);
  const gfx::Rect button = menu->DianXuanBut()->convertRectTo(menu->DianXuanBut()->bounds(), nullptr);
  const gfx::Rect card = shown->card()->convertRectTo(shown->card()->bounds(), nullptr);
  // The card stands over the button, its arrow pointing down at the button's middle.
  EXPECT_DOUBLE_EQ(card.maxY(), button.minY());
  EXPECT_DOUBLE_EQ(card.midX(), button.midX());
}

TEST_F(OrderMainViewControllerTest, ThePhotoAddressAndTheConfirmedBasketAreLogged) {
  std::vector<std::string> lines;
  struct Sink { core::LogSink previous; ~Sink() { core::setLogSink(std::move(previous)); } } sink{
      core::setLogSink([&lines](const std::string& line) { lines.push_back(line); })};
  const auto logged = [&lines](const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const auto& line) { return line.ends_with("] " + text); });
  };
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  tapDish(1);
  EXPECT_TRUE(logged(ImageViewWebCache::ic_imageURL(menu->FootImage()).value().absoluteString()));
  addBasketLine("1002");
  addBasketLine("9001", "F");
  menu->popViewControllerDidConfirm();
  EXPECT_TRUE(logged("(\n    1002  x1 N,\n    9001  x1 F\n)"));
}

TEST_F(OrderMainViewControllerTest, OrderButtonOrdersTheDishShownAndNothingOnceThePaneIsCleared) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  tapDish(1);
  const auto boiledFish = menu->foodListArray()[1];

  // A food list that comes in meanwhile (a late reply) is shorter than the button's tag: the
  // button still orders the dish the pane shows.
  receive(MsgFoodList, foodReply(kCantonese));
  ASSERT_TRUE(runUntil([&] { return menu->foodListArray().size() == 1; }));
  EXPECT_EQ(menu->DianXuanBut()->tag(), 1);
  menu->showInputView(*menu->DianXuanBut());
  wait(0.5);
  ASSERT_NE(dishPopover(), nullptr);
  EXPECT_EQ(dishPopover()->tempFoodObject(), boiledFish);
  ShowPopViewSegue::setDismiss();
  ShowPopViewSegue::resetForTesting();

  // Choosing a sub-category clears the pane: the button is disabled and a press does nothing.
  auto sichuan = menu->MyTableview()->cellForRowAtIndexPath({0, 0});
  ASSERT_NE(sichuan, nullptr);
  tap(*sichuan);
  EXPECT_EQ(menu->PicName()->text(), "");
  EXPECT_EQ(menu->Foodlable()->text(), "");
  EXPECT_EQ(menu->FoodEngName()->text(), "");
  EXPECT_EQ(menu->FootImage()->image(), nullptr);
  EXPECT_EQ(menu->selectedFood(), nullptr);
  EXPECT_FALSE(menu->DianXuanBut()->isEnabled());
  menu->showInputView(*menu->DianXuanBut());
  wait(0.5);
  EXPECT_EQ(dishPopover(), nullptr);
}

// ---- Recommended dishes ----

TEST_F(OrderMainViewControllerTest, RecommendedListOpensTheRecommendScreenAndAnEmptyOneAlerts) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());

  tap(*menu->recommendButton());
  ASSERT_TRUE(waitForRequests(MsgFoodList, 2));
  EXPECT_EQ(requests(MsgFoodList).back(), foodListFields("", "1"));
  EXPECT_TRUE(menu->isRecommend());
  receive(MsgFoodList, foodReply({}));
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }));
  auto alert = visibleAlerts().front();
  EXPECT_EQ(alert->title(), "提示");
  EXPECT_EQ(alert->message(), "当前没有推荐菜品！");
  ASSERT_EQ(alert->numberOfButtons(), 1);
  EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
  EXPECT_FALSE(menu->isRecommend());
  EXPECT_EQ(menu->foodListArray().size(), 2u);
  ASSERT_TRUE(tapAlertButton("OK"));

  tap(*menu->recommendButton());
  ASSERT_TRUE(waitForRequests(MsgFoodList, 3));
  receive(MsgFoodList, foodReply(kCantonese));
  ASSERT_TRUE(runUntil([&] { return recommendScreen() != nullptr; }));
  wait(0.5);
  RecommendViewController* recommend = recommendScreen();
  ASSERT_EQ(recommend->tempFoodList().size(), 1u);
  EXPECT_EQ(recommend->tempFoodList()[0]->No(), "1101");
  EXPECT_EQ(recommend->delegate(), static_cast<recommendViewControllerDelegate*>(menu.get()));
  // While it is up, a food list never replaces the menu's dishes.
  EXPECT_TRUE(menu->isRecommend());
  EXPECT_EQ(menu->foodListArray().size(), 2u);

  recommend->goBackAction();
  wait(0.5);
  EXPECT_EQ(menu->presentedViewController(), nullptr);
  EXPECT_FALSE(menu->isRecommend());
}

// ---- What the popovers tell the menu ----

TEST_F(OrderMainViewControllerTest, BasketCountFollowsConfirmationsAndClosedPopovers) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  EXPECT_EQ(menu->lblOrderNum()->text(), "0");
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  tapDish(0);
  tap(*menu->DianXuanBut());
  wait(0.5);
  ASSERT_NE(dishPopover(), nullptr);

  // Lines, not quantities: a dish, its package content line and a free line count three.
  addBasketLine("1001");
  addBasketLine("1001");
  addBasketLine("9001", "F");
  dishPopover()->delegate()->popViewControllerDidConfirm();
  EXPECT_EQ(menu->lblOrderNum()->text(), "3");
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), menu.get());
  wait(0.5);
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());

  // A popover closed by a tap outside it.
  tap(*menu->DianXuanBut());
  wait(0.5);
  ASSERT_NE(dishPopover(), nullptr);
  EXPECT_NE(SocketDataHandle::sharedInstance().delegate(), menu.get());
  addBasketLine("1002");
  tap(gfx::Point{100, 740});
  wait(0.5);
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());
  EXPECT_EQ(menu->lblOrderNum()->text(), "4");
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), menu.get());
}

TEST_F(OrderMainViewControllerTest, PackageHandOverOpensTheChooserWithTheParameters) {
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  tapDish(0);
  tap(*menu->DianXuanBut());
  wait(0.5);
  PopViewController* popover = dishPopover();
  ASSERT_NE(popover, nullptr);

  auto group = std::make_shared<OKPackChild>();
  group->setSetID("S1");
  group->setSetItemName("主食");
  group->setSetSumCount("1");
  auto rice = std::make_shared<OKPackChildFood>();
  rice->setSetID("S1");
  rice->setFoodName_Cha("米饭");
  auto parameters = std::make_shared<PackChildViewObj>();
  parameters->setFood(popover->tempFoodObject());
  parameters->setSGroupID("G7");
  parameters->setPackArray({group});
  PackChildFoodMap dict{{"S1", {rice}}};
  popover->delegate()->popViewControllerToPackChildView2(dict, parameters);
  wait(0.5);
  auto* chooser =
      dynamic_cast<PackChildViewController*>(ShowPopViewSegue::sharedPopover()->contentViewController().get());
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->delegate(), static_cast<popViewControllerDelegate*>(menu.get()));
  EXPECT_EQ(chooser->food(), parameters->food());
  EXPECT_EQ(chooser->selectedFoods(), parameters->selectedFoods());  // the very array
  EXPECT_EQ(chooser->sGroupID(), "G7");
  EXPECT_EQ(chooser->packArray(), parameters->packArray());
  ASSERT_EQ(chooser->dict().count("S1"), 1u);
  EXPECT_EQ(chooser->dict().at("S1").front(), rice);
  EXPECT_EQ(ShowPopViewSegue::sharedPopover()->popoverContentSize(), (gfx::Size{500, 600}));
  EXPECT_EQ(menu->popoverController(), ShowPopViewSegue::sharedPopover());
}

TEST_F(OrderMainViewControllerTest, DishOrderedFromTheVenueMenuIsCounted) {
  venue::VenueRoom room;
  venue::RoomIdentity identity = room.identity();
  identity.roomNo = kRoom;
  identity.priceId = kPriceId;
  room.setIdentity(identity);
  room.install(server);
  ASSERT_NO_FATAL_FAILURE(openMenu());
  ASSERT_TRUE(runUntil([&] { return menu->MyTableview() != nullptr; }));
  render();

  // A dish without options, package or free items, and where the menu files it.
  const venue::Menu& venueMenu = room.menu();
  const venue::MenuDish* dish = venueMenu.find([](const venue::MenuDish& d) {
    return !d.typeNo.empty() && d.optionList.empty() && !d.pack && d.freeSetId.empty() && d.autoFree.empty();
  });
  ASSERT_NE(dish, nullptr);
  const venue::MenuCategory* sub = venueMenu.category(dish->typeNo);
  ASSERT_NE(sub, nullptr);
  const int section = indexOf(menu->level1TypeAry(), [&](auto& c) { return c->TypeNo() == sub->parentNo; });
  const int row =
      indexOf(menu->level2TypeDict().at(sub->parentNo), [&](auto& c) { return c->TypeNo() == sub->typeNo; });
  ASSERT_GE(section, 0);
  ASSERT_GE(row, 0);

  tap(headerButton(section));
  render();
  menu->didSelectRowAtIndexPath(*menu->MyTableview(), {section, row});
  const size_t count = venueMenu.dishesOf(sub->typeNo).size();
  ASSERT_TRUE(runUntil([&] { return menu->foodListArray().size() == count; }));
  const int dishRow = indexOf(menu->foodListArray(), [&](auto& d) { return d->No() == dish->no; });
  ASSERT_GE(dishRow, 0);
  menu->didSelectRowAtIndexPath(*menu->TowTableView(), {0, dishRow});
  EXPECT_EQ(menu->Foodlable()->text(), dish->nameChs);

  tap(*menu->DianXuanBut());
  wait(0.5);
  ASSERT_NE(dishPopover(), nullptr);
  auto ok = dishPopover()->padKey(PopViewController::OkTag);
  ASSERT_NE(ok, nullptr);
  tap(*ok);
  ASSERT_TRUE(runUntil([&] { return !basket().empty() && !ShowPopViewSegue::sharedPopover()->isPopoverVisible(); }));
  EXPECT_EQ(requests(MsgSelectFood).back(), (std::vector<std::string>{"0", kRoom, dish->no, "1", "1"}));
  EXPECT_EQ(menu->lblOrderNum()->text(), std::to_string(basket().size()));
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), menu.get());
}

TEST_F(OrderMainViewControllerTest, SongHomeReachesTheMenuThroughConnectAndBind) {
  venue::VenueRoom room;
  room.install(server);
  DataCenter::resetSharedInstanceForTesting();  // not bound yet
  auto home = std::make_shared<SongHome>();
  nav = std::make_shared<ui::NavigationController>(home);
  window().setRootViewController(nav);
  render();

  home->leftBarButtonClick();
  ASSERT_TRUE(runUntil([&] { return dynamic_cast<OrderMainViewController*>(nav->topViewController()) != nullptr; }));
  wait(1.0);
  auto* shown = dynamic_cast<OrderMainViewController*>(nav->topViewController());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(DataCenter::sharedInstance().roomNo(), room.identity().roomNo);
  ASSERT_TRUE(runUntil([&] { return shown->MyTableview() != nullptr; }));
  EXPECT_GT(shown->level1TypeAry().size(), 0u);
  EXPECT_TRUE(nav->isNavigationBarHidden());
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), static_cast<SocketDataHandleDelegate*>(shown));
}

// ---- Leaving ----

TEST_F(OrderMainViewControllerTest, BackToSongsDisconnectsAndReturnsToTheSongHome) {
  ASSERT_NO_FATAL_FAILURE(openMenu());
  tap(*menu->backButton());
  wait(1.0);
  EXPECT_FALSE(ServerNetworkCenter::sharedInstance().isConnect());
  EXPECT_TRUE(server.waitForClientClose(5));
  wait(1.0);
  EXPECT_FALSE(ServerNetworkCenter::sharedInstance().isConnect());  // closed for good
  EXPECT_EQ(server.connectionsAccepted(), 1u);
  EXPECT_FALSE(SNStatusBarNotification::isVisible());
  ASSERT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_NE(dynamic_cast<SongHome*>(nav->topViewController()), nullptr);
}

TEST_F(OrderMainViewControllerTest, WithoutTheSongHomeTheMenuStaysAndTheOtherButtons) {
  // The link is down when the menu loads: it connects, and the category request still goes out.
  menu = std::dynamic_pointer_cast<OrderMainViewController>(storyboard()->instantiate(OrderScreens::Menu));
  nav = std::make_shared<ui::NavigationController>(menu);
  window().setRootViewController(nav);
  ASSERT_TRUE(waitForRequests(MsgFoodCategory, 1));
  EXPECT_EQ(server.connectionsAccepted(), 1u);
  wait(0.5);
  EXPECT_TRUE(menu->billButton()->isEnabled());

  tap(*menu->backButton());
  wait(0.5);
  EXPECT_FALSE(ServerNetworkCenter::sharedInstance().isConnect());
  EXPECT_EQ(nav->topViewController(), menu.get());

  // The basket button pushes the basket.
  tap(*menu->basketButton());
  wait(1.0);
  EXPECT_NE(dynamic_cast<OrderedFoodViewController*>(nav->topViewController()), nullptr);
}

// ---- Layout ----

class OrderMainViewControllerScreens : public OrderMainViewControllerTest,
                                       public ::testing::WithParamInterface<support::Device> {};

TEST_P(OrderMainViewControllerScreens, FramesAndScreenshot) {
  setDevice(GetParam());
  ASSERT_NO_FATAL_FAILURE(openMenuWithCategories());
  ASSERT_NO_FATAL_FAILURE(chooseSichuan());
  receive(MsgRoomStateAndInfo, roomStateReply("王经理", "1288.00"));
  tapDish(0);
  addBasketLine("1001");
  menu->popViewControllerDidConfirm();
  wait(0.5);

  // The same 1024 x 768 frames on both tablets.
  const struct {
    const ui::View* view;
    double x, y, w, h;
  } frames[] = {
      {menu->MyTableview().get(), 11, 135, 180, 573}, {menu->TowTableView().get(), 209, 120, 327, 560},
      {menu->roomInfobar().get(), 10, 19, 470, 92},   {menu->FootImage().get(), 583, 256, 400, 300},
      {menu->DianXuanBut().get(), 693, 600, 180, 56}, {menu->basketButton().get(), 806, 34, 98, 48},
      {menu->lblOrderNum(), 884, 24, 28, 28},         {menu->backButton().get(), 910, 34, 98, 48},
  };
  for (const auto& f : frames) support::expectRect(f.view->frame(), f.x, f.y, f.w, f.h);
  auto header = menu->MyTableview()->headerViewForSection(0);
  support::expectRect(header->frame(), 0, 0, 180, 50, "header");
  support::expectRect(header->subviews().at(2)->bounds(), 0, 0, 20, 25, "arrow");
  // The category's name starts 30 points in, whole.
  auto& title = *static_cast<ui::Button&>(*header->subviews().at(1)).titleLabel();
  EXPECT_DOUBLE_EQ(title.frame().x(), 30);
  EXPECT_GE(title.frame().width(), title.sizeThatFits({1000, 50}).width);
  EXPECT_EQ(menu->lblOrderNum()->text(), "1");
  EXPECT_NE(screenshot("menu-category-open-dish-selected"), nullptr);
  tap(*menu->DianXuanBut());
  wait(1.0);
  EXPECT_NE(screenshot("menu-dish-popover"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Devices, OrderMainViewControllerScreens,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         deviceName);

}  // namespace
}  // namespace kt::order_test
