#include "order/PopViewController.h"

#include <gtest/gtest.h>

#include "PopViewControllerFixture.h"
#include "link/MsgCodes.h"
#include "order/FoodAddInfoCell.h"
#include "platform/gfx/Image.h"
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
    // Prices the dish asked for with the quantity asked for.
    server.setReplyHandler(MsgSelectFood, [this](const venue::Frame& request) -> std::optional<venue::Reply> {
      if (request.fields.size() < 4) return std::nullopt;
      return reply(pricingReply(hasMultFree, request.fields[2], request.fields[3], ifPack));
    });
    m_bus = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                              [this](const core::Notification& n) {
                                updates += n.userInfo[kBusCodeKey].stringValue() == kBusCodeUpdateData;
                              });
  }
  void TearDown() override {
    m_bus.reset();
    popover.reset();
    OrderPopoverTest::TearDown();
  }
  void open(std::shared_ptr<OKFoodObject> food) {
    popover = host->show<PopViewController>(OrderScreens::DishPopover, [&](PopViewController& p) { p.setTempFoodObject(food); });
    ASSERT_TRUE(popover);
    ASSERT_TRUE(runUntil([&] { return popover->foodInfoArray().size() == 3; }));
    render();
  }
  void press(std::initializer_list<int> tags) {
    for (int tag : tags) tap(*popover->padKey(tag));
  }
  // Orders `keys` and waits for the popover's word to the menu.
  void order(std::initializer_list<int> keys) {
    press(keys);
    press({PopViewController::OkTag});
    ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }));
  }
  std::string amount() const { return popover->amountLabel()->text(); }
  std::shared_ptr<FoodAddInfoCell> option(int row) {
    return std::dynamic_pointer_cast<FoodAddInfoCell>(popover->addInfoTableView()->cellForRowAtIndexPath({0, row}));
  }
  bool checked(int row) { return option(row)->selectedImage()->image() == gfx::Image::named("com_btn_checked.png"); }

  std::string hasMultFree = "0";
  std::string ifPack = "0";
  int updates = 0;
  std::shared_ptr<PopViewController> popover;

 private:
  core::Observation m_bus;
};

TEST_F(PopViewControllerTest, OpensWithTheDishAndItsOptions) {
  open(dish("F1", "扬州炒饭"));
  ASSERT_EQ(requests(MsgAddInfoOfFood).size(), 1u);
  EXPECT_EQ(requests(MsgAddInfoOfFood)[0].body, "\r\n106\r\nA2\r\n");
  EXPECT_EQ(handle().delegate(), popover.get());
  EXPECT_EQ(popover->lblTitle()->text(), "扬州炒饭");
  ASSERT_EQ(popover->addInfoTableView()->numberOfRowsInSection(0), 3);
  EXPECT_EQ(option(1)->lblName()->text(), "正常");
  EXPECT_EQ(option(1)->selectionStyle(), ui::TableViewCellSelectionStyle::None);
  EXPECT_TRUE(checked(0));
  EXPECT_EQ(option(1)->selectedImage()->image(), gfx::Image::named("com_btn_check.png"));
  tap(*option(2));
  EXPECT_EQ(popover->addInfo(), std::optional<std::string>("加冰"));
  EXPECT_FALSE(checked(0));
  EXPECT_TRUE(checked(2));
}

TEST_F(PopViewControllerTest, PadTakesTwoDigitsAndRefusesNoQuantity) {
  open(dish("F1", "扬州炒饭"));
  EXPECT_EQ(amount(), "1");
  press({7});
  EXPECT_EQ(amount(), "7");  // the first digit replaces the default
  press({5, 3});
  EXPECT_EQ(amount(), "75");  // a third digit is ignored
  press({PopViewController::BackspaceTag, PopViewController::BackspaceTag, PopViewController::BackspaceTag});
  EXPECT_EQ(amount(), "");
  for (auto keys : {std::vector<int>{}, std::vector<int>{0}}) {
    for (int key : keys) press({key});
    press({PopViewController::OkTag});
    EXPECT_EQ(alerts(), (Texts{"提示信息|请输入数量！"}));
    dismissAlert();
  }
  EXPECT_TRUE(requests(MsgSelectFood).empty());
  EXPECT_TRUE(host->calls.empty());

  ShowPopViewSegue::setDismiss();
  open(dish("F1", "扬州炒饭"));
  press({PopViewController::BackspaceTag});  // on the untouched default
  EXPECT_EQ(amount(), "");
}

TEST_F(PopViewControllerTest, RepeatedDishIsPricedWithTheSumAndReplacesItsLines) {
  auto other = folio("B2", "1");
  auto contentOfOther = folio("F1", "3", "1", "0", "B2");  // the same dish inside another package
  auto old = folio("F1", "2", "0", "0", "", "G1");
  auto content = folio("C1", "2", "1", "0", "F1", "G1");
  auto autoFree = folio("Z1", "1", "0", "1", "F1", "G1");
  auto chosenFree = folio("Z2", "2", "0", "1", "", "G1");  // a free item chosen with the earlier order
  basket()->foodSetArray() = {other, contentOfOther, old, content, autoFree, chosenFree};
  open(dish("F1", "扬州炒饭"));
  order({3});
  ASSERT_EQ(requests(MsgSelectFood).size(), 1u);
  EXPECT_EQ(requests(MsgSelectFood)[0].body, "\r\n105\r\n0\r\n8001\r\nF1\r\n5\r\n1\r\n");  // 3 + 2, five fields
  EXPECT_EQ(basket()->oldChoiceArray(), (FolioList{old, content, autoFree, chosenFree}));
  const FolioList& lines = basket()->foodSetArray();
  EXPECT_EQ(foodNos(lines), (Texts{"B2x1", "F1x3", "F1x5"}));
  EXPECT_EQ(lines[1], contentOfOther);
  EXPECT_EQ(lines[2]->Adds1Name(), std::optional<std::string>("少辣"));  // the first option when none was chosen
  EXPECT_EQ(host->calls, (Texts{"confirm"}));
  EXPECT_EQ(updates, 1);
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());

  // A line below one is replaced alone, and its quantity still counts.
  host->calls.clear();
  auto none = folio("F1", "-1");
  basket()->foodSetArray() = {none, content};
  open(dish("F1", "扬州炒饭"));
  order({3});
  EXPECT_EQ(requests(MsgSelectFood)[1].fields[3], "2");
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (Texts{"C1x2", "F1x2"}));
}

TEST_F(PopViewControllerTest, PackagesAndFreeItemsGoOnToTheChooser) {
  ifPack = "1";
  server.setReply(MsgPackChild, Fields{"0", "", "1", "", "S1", "主食", "1", "0", "0", "", "", "S1", "M1", "米饭", "",
                                       "碗", "1", "", "1", "", ""});
  auto food = dish("P1", "欢唱套餐", "1");
  open(food);
  order({2});
  EXPECT_EQ(requests(MsgPackChild)[0].body, "\r\n107\r\nP1\r\n");
  EXPECT_EQ(host->calls, (Texts{"toPackChild"}));
  const PackChildViewObj& handed = *host->handedObj;
  EXPECT_EQ(handed.food(), food);
  EXPECT_EQ(handed.selectedFoods(), popover->tmpFoliosArray());  // the very array
  EXPECT_EQ(foodNos(*handed.selectedFoods()), (Texts{"P1x2"}));
  EXPECT_EQ(handed.sGroupID(), std::optional<std::string>("G7"));
  EXPECT_EQ(handed.packArray().at(0)->SetItemName(), std::optional<std::string>("主食"));
  EXPECT_EQ(host->handedDict.at("S1").at(0)->FoodName_Cha(), std::optional<std::string>("米饭"));
  EXPECT_TRUE(basket()->foodSetArray().empty());

  EXPECT_EQ(updates, 0);

  // Free items; a reply without sets orders the dish as priced.
  ifPack = "0";
  hasMultFree = "1";
  server.setReply(MsgMultFreeItems, Fields{"0", "", "0", ""});
  host->calls.clear();
  ShowPopViewSegue::setDismiss();
  open(dish("F1", "扬州炒饭"));
  order({});
  EXPECT_EQ(requests(MsgMultFreeItems).at(0).body, "\r\n108\r\nS9\r\n2\r\n");
  EXPECT_EQ(host->calls, (Texts{"confirm"}));
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (Texts{"F1x1"}));
  EXPECT_EQ(updates, 1);
}

TEST_F(PopViewControllerTest, ClerkListLinesAreTakenOnlyWhileThePopoverLives) {
  open(dish("F1", "扬州炒饭"));
  FolioList given = {folio("K1", "1")};
  core::NotificationCenter::defaultCenter().post(PopViewController::ClerkListNotification, &given);
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (Texts{"K1x1"}));
  ShowPopViewSegue::setDismiss();
  ShowPopViewSegue::resetForTesting();
  host->setPopoverController(nullptr);
  std::weak_ptr<PopViewController> gone = popover;
  popover.reset();
  support::drainMainLoop();
  ASSERT_TRUE(gone.expired());
  core::NotificationCenter::defaultCenter().post(PopViewController::ClerkListNotification, &given);
  receive(MsgAddInfoOfFood, {"0", "x"});  // reaches nobody
  EXPECT_EQ(basket()->foodSetArray().size(), 1u);
}

TEST_F(PopViewControllerTest, FramesOnBothTabletsAndScreenshots) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    makeHost();
    open(dish("F1", "扬州炒饭"));
    press({1, 2});
    tap(*option(1));
    render();
    support::expectRect(popover->view()->frame(), 0, 0, 310, 522, "view");
    support::expectRect(popover->lblTitle()->frame(), 10, 12, 290, 36, "title");
    support::expectRect(popover->amountLabel()->frame(), 30, 56, 250, 46, "amount");
    support::expectRect(popover->padKey(1)->frame(), 18, 112, 86, 48, "key 1");
    auto ok = popover->padKey(PopViewController::OkTag);
    support::expectRect(ok->frame(), 206, 280, 86, 48, "OK");
    // The OK key reads as the rest of the interface does, whole within its key.
    EXPECT_EQ(ok->currentTitle(), "确定");
    const gfx::Size title = ok->titleLabel()->sizeThatFits({});
    EXPECT_LE(title.width, ok->bounds().width() - 16);
    EXPECT_LE(title.height, ok->bounds().height());
    support::expectRect(popover->addInfoTableView()->frame(), 10, 336, 290, 176, "options");
    support::expectRect(option(0)->selectedImage()->frame(), 10, 8, 24, 24, "check");
    support::expectRect(option(0)->lblName()->frame(), 44, 0, 236, 40, "option");
    screenshot(device == support::Device::Standard ? "popover-standard" : "popover-large");
    ShowPopViewSegue::setDismiss();
  }
}

}  // namespace
}  // namespace kt::testing
