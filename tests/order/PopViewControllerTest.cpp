#include "order/PopViewController.h"

#include <gtest/gtest.h>

#include "PopViewControllerFixture.h"
#include "app/DataCenter.h"
#include "app/ScreenSize.h"
#include "link/MsgCodes.h"
#include "order/FoodAddInfoCell.h"
#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "support/RectExpectations.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::testing {
namespace {

class PopViewControllerTest : public OrderPopoverTest {
 protected:
  void SetUp() override {
    OrderPopoverTest::SetUp();
    connect();
    server.setReply(MsgAddInfoOfFood, Fields{"0", "少辣", "正常", "加冰"}, venue::FieldForm::Joined);
    // Prices whatever is asked: one line of the dish with the quantity asked for.
    server.setReplyHandler(MsgSelectFood, [this](const venue::Frame& request) -> std::optional<venue::Reply> {
      const std::string no = request.fields.size() > 2 ? request.fields[2] : "";
      const std::string quantity = request.fields.size() > 3 ? request.fields[3] : "";
      venue::Reply reply;
      reply.fields = pricingReply(hasMultFree, "2", "S9", "G7", {pricedLineFields(no, "炒饭", "18", quantity, ifPack)});
      return reply;
    });
    m_bus = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                              [this](const core::Notification& n) {
                                if (n.userInfo[kBusCodeKey].stringValue() == kBusCodeUpdateData) ++updates;
                              });
  }
  void TearDown() override {
    m_bus.reset();
    popover.reset();
    OrderPopoverTest::TearDown();
  }

  void open(std::shared_ptr<OKFoodObject> food) {
    popover = host->show<PopViewController>(OrderScreens::DishPopover,
                                            [&](PopViewController& p) { p.setTempFoodObject(food); });
    ASSERT_TRUE(popover);
    ASSERT_TRUE(runUntil([&] { return popover->foodInfoArray().size() == 3; }, 10));
    render();
  }
  void press(int tag) {
    auto key = popover->padKey(tag);
    ASSERT_TRUE(key);
    tap(*key);
  }
  std::string amount() const { return popover->amountLabel()->text(); }
  std::shared_ptr<FoodAddInfoCell> optionCell(int row) {
    return std::dynamic_pointer_cast<FoodAddInfoCell>(
        popover->addInfoTableView()->cellForRowAtIndexPath(ui::IndexPath::forRow(row, 0)));
  }
  bool checked(int row) {
    auto cell = optionCell(row);
    return cell && cell->selectedImage()->image() == gfx::Image::named("com_btn_checked.png");
  }

  std::string hasMultFree = "0";
  std::string ifPack = "0";
  int updates = 0;
  std::shared_ptr<PopViewController> popover;

 private:
  core::Observation m_bus;
};

TEST_F(PopViewControllerTest, OpensWithTheDishAndItsOptions) {
  open(dish("F1", "扬州炒饭"));
  const auto asked = requests(MsgAddInfoOfFood);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].body, "\r\n106\r\nA2\r\n");
  EXPECT_EQ(handle().delegate(), popover.get());
  EXPECT_EQ(popover->lblTitle()->text(), "扬州炒饭");
  EXPECT_EQ(amount(), "1");
  EXPECT_TRUE(popover->defaultCount());

  ASSERT_EQ(popover->addInfoTableView()->numberOfRowsInSection(0), 3);
  EXPECT_EQ(optionCell(1)->lblName()->text(), "正常");
  EXPECT_EQ(optionCell(0)->selectionStyle(), ui::TableViewCellSelectionStyle::None);
  EXPECT_TRUE(checked(0));
  EXPECT_FALSE(checked(1));
  EXPECT_EQ(optionCell(1)->selectedImage()->image(), gfx::Image::named("com_btn_check.png"));

  tap(*optionCell(2));
  EXPECT_EQ(popover->selectedIndex(), 2);
  EXPECT_EQ(popover->addInfo(), std::optional<std::string>("加冰"));
  EXPECT_FALSE(checked(0));
  EXPECT_TRUE(checked(2));
}

TEST_F(PopViewControllerTest, PadKeepsTwoDigitsAndRefusesNoQuantity) {
  open(dish("F1", "扬州炒饭"));
  press(7);
  EXPECT_EQ(amount(), "7");  // the first digit replaces the default
  press(5);
  press(3);
  EXPECT_EQ(amount(), "75");  // a third digit is ignored
  press(PopViewController::BackspaceTag);
  EXPECT_EQ(amount(), "7");
  press(PopViewController::BackspaceTag);
  press(PopViewController::BackspaceTag);
  EXPECT_EQ(amount(), "");

  const size_t sent = server.frameCount();
  press(PopViewController::OkTag);
  auto alerts = visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]->title(), "提示信息");
  EXPECT_EQ(alerts[0]->message(), "请输入数量！");
  ASSERT_TRUE(tapAlertButton("确定"));
  wait(0.5);

  press(0);
  press(0);
  press(PopViewController::OkTag);
  EXPECT_EQ(visibleAlerts().size(), 1u);
  ASSERT_TRUE(tapAlertButton("确定"));
  wait(0.5);
  EXPECT_EQ(server.frameCount(), sent);
  EXPECT_TRUE(basket()->foodSetArray().empty());
  EXPECT_TRUE(host->calls.empty());
}

TEST_F(PopViewControllerTest, BackspaceOnTheUntouchedDefaultEmptiesIt) {
  open(dish("F1", "扬州炒饭"));
  press(PopViewController::BackspaceTag);
  EXPECT_EQ(amount(), "");
  EXPECT_FALSE(popover->defaultCount());
  press(4);
  EXPECT_EQ(amount(), "4");
}

TEST_F(PopViewControllerTest, RepeatedDishIsPricedWithTheSumAndReplacesItsLines) {
  auto& lines = basket()->foodSetArray();
  auto other = folio("B2", "1");
  auto contentOfOther = folio("F1", "3", "1", "0", "B2");  // same dish number, but a content line
  auto old = folio("F1", "2", "0", "0", "", "G1");
  auto content = folio("C1", "2", "1", "0", "F1", "G1");
  auto autoFree = folio("Z1", "1", "0", "1", "F1", "G1");
  auto chosenFree = folio("Z2", "2", "0", "1", "", "G1");  // a free item chosen for the earlier order
  lines = {other, contentOfOther, old, content, autoFree, chosenFree};

  open(dish("F1", "扬州炒饭"));
  press(3);
  press(PopViewController::OkTag);
  ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }, 10));

  const auto priced = requests(MsgSelectFood);
  ASSERT_EQ(priced.size(), 1u);
  EXPECT_EQ(priced[0].body, "\r\n105\r\n0\r\n8001\r\nF1\r\n5\r\n1\r\n");  // five fields, 3 + 2
  EXPECT_EQ(handle().Amount(), 5);
  EXPECT_EQ(basket()->oldChoiceArray(), (FolioList{old, content, autoFree, chosenFree}));

  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], other);
  EXPECT_EQ(lines[1], contentOfOther);
  EXPECT_EQ(foodNos(lines), (std::vector<std::string>{"B2x1", "F1x3", "F1x5"}));
  EXPECT_EQ(lines[2]->Adds1Name(), std::optional<std::string>("少辣"));  // the first option when none was chosen
  EXPECT_EQ(lines[2]->GroupID(), std::optional<std::string>("G7"));
  EXPECT_EQ(host->calls, (std::vector<std::string>{"confirm"}));
  EXPECT_EQ(updates, 1);
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());
}

TEST_F(PopViewControllerTest, MergeLineBelowOneIsReplacedAlone) {
  auto& lines = basket()->foodSetArray();
  auto old = folio("F1", "0");
  auto content = folio("C1", "2", "1", "0", "F1");
  lines = {old, content};
  open(dish("F1", "扬州炒饭"));
  press(PopViewController::OkTag);
  ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }, 10));
  EXPECT_EQ(requests(MsgSelectFood)[0].fields[3], "1");
  EXPECT_EQ(basket()->oldChoiceArray(), (FolioList{old}));
  EXPECT_EQ(foodNos(lines), (std::vector<std::string>{"C1x2", "F1x1"}));
}

TEST_F(PopViewControllerTest, PackageDishIsHandedToTheChooser) {
  ifPack = "1";
  server.setReply(MsgPackChild, Fields{"0", "", "1", "", "S1", "主食", "1", "0", "0", "", "", "S1", "M1", "米饭", "",
                                       "碗", "1", "", "1", "", ""});
  auto food = dish("P1", "欢唱套餐", "1");
  open(food);
  press(2);
  press(PopViewController::OkTag);
  ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }, 10));

  const auto asked = requests(MsgPackChild);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].body, "\r\n107\r\nP1\r\n");
  EXPECT_TRUE(requests(MsgMultFreeItems).empty());
  EXPECT_EQ(host->calls, (std::vector<std::string>{"toPackChild"}));
  ASSERT_TRUE(host->handedObj);
  EXPECT_EQ(host->handedObj->food(), food);
  EXPECT_EQ(host->handedObj->selectedFoods(), popover->tmpFoliosArray());  // the very array
  EXPECT_EQ(foodNos(*host->handedObj->selectedFoods()), (std::vector<std::string>{"P1x2"}));
  EXPECT_EQ(host->handedObj->sGroupID(), std::optional<std::string>("G7"));
  ASSERT_EQ(host->handedObj->packArray().size(), 1u);
  EXPECT_EQ(host->handedObj->packArray()[0]->SetItemName(), std::optional<std::string>("主食"));
  ASSERT_EQ(host->handedDict.count("S1"), 1u);
  EXPECT_EQ(host->handedDict.at("S1")[0]->FoodName_Cha(), std::optional<std::string>("米饭"));
  EXPECT_TRUE(basket()->foodSetArray().empty());
  EXPECT_EQ(updates, 0);
}

TEST_F(PopViewControllerTest, FreeItemDishAsksForItsSets) {
  hasMultFree = "1";
  server.setReply(MsgMultFreeItems, Fields{"0", "", "1", "", "S9", "赠品", "", "1", "0", "0", "", "", "S9", "D1",
                                           "果盘", "", "30", "份", "1", "", "1", "", ""});
  open(dish("F1", "扬州炒饭"));
  press(PopViewController::OkTag);
  ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }, 10));
  const auto asked = requests(MsgMultFreeItems);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].body, "\r\n108\r\nS9\r\n2\r\n");
  EXPECT_EQ(host->calls, (std::vector<std::string>{"toPackChild"}));
  EXPECT_EQ(host->handedDict.at("S9")[0]->Price(), std::optional<std::string>("30"));
}

TEST_F(PopViewControllerTest, NoGroupsOrdersTheDishAsPriced) {
  ifPack = "1";
  server.setReply(MsgPackChild, Fields{"0", "", "0", ""});
  auto old = folio("P1", "1");
  basket()->foodSetArray() = {old};
  open(dish("P1", "欢唱套餐", "1"));
  press(PopViewController::OkTag);
  ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }, 10));
  EXPECT_EQ(host->calls, (std::vector<std::string>{"confirm"}));
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (std::vector<std::string>{"P1x2"}));
  EXPECT_EQ(updates, 1);
}

TEST_F(PopViewControllerTest, FailedPricingKeepsThePopoverAndTheBasket) {
  server.setReply(MsgSelectFood, Fields{"1", "该菜品已沽清"});
  auto old = folio("F1", "1");
  basket()->foodSetArray() = {old};
  open(dish("F1", "扬州炒饭"));
  press(PopViewController::OkTag);
  ASSERT_TRUE(runUntil([&] { return !visibleAlerts().empty(); }, 10));
  EXPECT_EQ(visibleAlerts()[0]->message(), "该菜品已沽清");
  EXPECT_TRUE(host->calls.empty());
  EXPECT_EQ(basket()->foodSetArray(), (FolioList{old}));
  EXPECT_EQ(basket()->oldChoiceArray(), (FolioList{old}));
}

TEST_F(PopViewControllerTest, ClerkListLinesGoToTheBasketOnlyWhileThePopoverLives) {
  open(dish("F1", "扬州炒饭"));
  FolioList given = {folio("K1", "1")};
  core::NotificationCenter::defaultCenter().post(PopViewController::ClerkListNotification, &given);
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (std::vector<std::string>{"K1x1"}));
  EXPECT_EQ(updates, 1);

  ShowPopViewSegue::setDismiss();
  ShowPopViewSegue::resetForTesting();
  host->setPopoverController(nullptr);
  std::weak_ptr<PopViewController> gone = popover;
  popover.reset();
  support::drainMainLoop();
  ASSERT_TRUE(gone.expired());
  core::NotificationCenter::defaultCenter().post(PopViewController::ClerkListNotification, &given);
  EXPECT_EQ(basket()->foodSetArray().size(), 1u);
  // A late reply reaches nobody.
  receive(MsgAddInfoOfFood, {"0", "x"});
  EXPECT_EQ(handle().delegate(), nullptr);
}

TEST_F(PopViewControllerTest, FramesOnBothTabletsAndScreenshots) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    SCOPED_TRACE(device == support::Device::Standard ? "standard" : "12.9-inch");
    setDevice(device);
    host = std::make_shared<PopoverHost>();
    nav = std::make_shared<ui::NavigationController>(host);
    window().setRootViewController(nav);
    render();
    open(dish("F1", "扬州炒饭"));
    press(1);
    press(2);
    tap(*optionCell(1));
    render();
    support::expectRect(popover->view()->frame(), 0, 0, 310, 522, "view");
    support::expectRect(popover->lblTitle()->frame(), 10, 12, 290, 36, "title");
    support::expectRect(popover->amountLabel()->frame(), 30, 56, 250, 46, "amount");
    support::expectRect(popover->padKey(1)->frame(), 18, 112, 86, 48, "key 1");
    support::expectRect(popover->padKey(PopViewController::OkTag)->frame(), 206, 280, 86, 48, "OK");
    support::expectRect(popover->addInfoTableView()->frame(), 10, 336, 290, 176, "options");
    support::expectRect(optionCell(0)->selectedImage()->frame(), 10, 8, 24, 24, "check");
    support::expectRect(optionCell(0)->lblName()->frame(), 44, 0, 236, 40, "option text");
    screenshot(device == support::Device::Standard ? "popover-standard" : "popover-large");
    ShowPopViewSegue::setDismiss();
    popover.reset();
  }
}

}  // namespace
}  // namespace kt::testing
