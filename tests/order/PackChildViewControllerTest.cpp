#include "order/PackChildViewController.h"

#include <gtest/gtest.h>

#include "PopViewControllerFixture.h"
#include "link/MsgCodes.h"
#include "order/OrderParsing.h"
#include "order/PackChildCell.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/Switch.h"
#include "support/RectExpectations.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::testing {
namespace {

using Texts = std::vector<std::string>;

std::shared_ptr<OKPackChild> group(const std::string& id, const std::string& name, const std::string& sum,
                                   const std::string& countMode = "0", const std::string& notShare = "0") {
  auto g = std::make_shared<OKPackChild>();
  g->setSetID(id);
  g->setSetItemName(name);
  g->setSetSumCount(sum);
  g->setCountMode(countMode);
  g->setNotShare(notShare);
  return g;
}

std::shared_ptr<OKPackChildFood> packDish(const std::string& id, const std::string& no, const std::string& name,
                                          const std::string& count = "1", const std::string& price = "") {
  auto d = std::make_shared<OKPackChildFood>();
  d->setSetID(id);
  d->setFoodNo(no);
  d->setFoodName_Cha(name);
  d->setMonad(std::string("份"));
  d->setPrintType(std::string("3"));
  d->setOverTimes(std::string("0"));
  d->setCount(count);
  d->setPrice(price);
  return d;
}

class PackChildViewControllerTest : public OrderPopoverTest {
 protected:
  void TearDown() override {
    chooser.reset();
    OrderPopoverTest::TearDown();
  }

  // A package of five groups: drinks shared by two dishes, a single-dish snack, a fruit group
  // counted per dish, and two alternative main courses.
  void makePackage() {
    groups = {group("S1", "饮料", "1"), group("S2", "小吃", "1"), group("S3", "果盘", "", "1"),
              group("S4", "主食A", "1", "0", "1"), group("S5", "主食B", "1", "0", "1")};
    dict = {{"S1", {packDish("S1", "D1", "可乐"), packDish("S1", "D2", "雪碧")}},
            {"S2", {packDish("S2", "D3", "薯条")}},
            {"S3", {packDish("S3", "D4", "西瓜", "1"), packDish("S3", "D5", "哈密瓜", "2")}},
            {"S4", {packDish("S4", "D6", "米饭"), packDish("S4", "D7", "面条")}},
            {"S5", {packDish("S5", "D8", "饺子"), packDish("S5", "D9", "馒头")}}};
  }
  void open(FolioList priced) {
    selection = std::make_shared<FolioList>(std::move(priced));
    chooser = host->show<PackChildViewController>(OrderScreens::PackChooser, [&](PackChildViewController& c) {
      c.setFood(food);
      c.setSelectedFoods(selection);
      c.setSGroupID(std::string("G7"));
      c.setPackArray(groups);
      c.setDict(dict);
    });
    ASSERT_TRUE(chooser);
    render();
  }
  void openPackage(const std::string& packages = "2") {
    makePackage();
    open({packageLine = folio("P1", packages)});
  }

  void toggleGroup(int section) {
    auto header = chooser->prckChildTableView()->headerViewForSection(section);
    ASSERT_TRUE(header);
    tap(*header);
    wait(0.5);  // the section slides in
  }
  std::shared_ptr<PackChildCell> cell(int section, int row) {
    render();
    return std::dynamic_pointer_cast<PackChildCell>(
        chooser->prckChildTableView()->cellForRowAtIndexPath(ui::IndexPath::forRow(row, section)));
  }
  void flip(int section, int row) {
    auto c = cell(section, row);
    ASSERT_TRUE(c);
    ASSERT_FALSE(c->switch_all()->isHidden());
    tap(*c->switch_all());
  }
  // One stepper step, as the stepper allows it.
  bool step(int section, int row, bool up) {
    auto c = cell(section, row);
    if (!c) return false;
    const auto& stepper = c->stepper();
    if (up ? !stepper->canIncrement() : !stepper->canDecrement()) return false;
    stepper->setValue(stepper->value() + (up ? 1 : -1));
    stepper->sendActionsForControlEvents(ui::ControlEventValueChanged);
    return true;
  }
  bool locked(int section, int row) {
    auto c = cell(section, row);
    return c && c->switch_all()->isHidden() && c->stepper()->maximumValue() == c->stepper()->value();
  }
  std::string header(int section) { return chooser->headerTitle(*groups[static_cast<size_t>(section)]); }
  std::vector<std::string> alerts() {
    std::vector<std::string> out;
    for (const auto& a : visibleAlerts()) out.push_back(a->title() + "|" + a->message());
    return out;
  }
  void dismissAlert() {
    ASSERT_TRUE(tapAlertButton("确定"));
    wait(0.5);
  }

  std::shared_ptr<OKFoodObject> food = dish("P1", "欢唱套餐", "1");
  PackChildList groups;
  PackChildFoodMap dict;
  std::shared_ptr<FolioList> selection;
  std::shared_ptr<OKFolioObject> packageLine;
  std::shared_ptr<PackChildViewController> chooser;
};

TEST_F(PackChildViewControllerTest, OpensWithTheMultiplierAndFillsSingleDishGroups) {
  openPackage();
  EXPECT_EQ(chooser->foodCount(), 2);
  EXPECT_EQ(header(0), "饮料|累计可选数量(2)|已选数量(0)");
  EXPECT_EQ(header(1), "小吃|累计可选数量(2)|已选数量(2)");
  EXPECT_EQ(header(2), "果盘|子项单计|已选数量(0)");
  EXPECT_EQ(header(3), "(多选一)主食A|累计可选数量(2)|已选数量(0)");
  // Groups start closed.
  EXPECT_EQ(chooser->prckChildTableView()->numberOfRowsInSection(0), 0);

  ASSERT_EQ(selection->size(), 2u);
  EXPECT_EQ((*selection)[0], packageLine);
  const OKFolioObject& snack = *(*selection)[1];
  EXPECT_EQ(snack.FoodNo(), std::optional<std::string>("D3"));
  EXPECT_EQ(snack.Quantity(), std::optional<std::string>("2"));
  const Texts made = {textOf(snack.FoodName()), textOf(snack.Price()), textOf(snack.Flag()), textOf(snack.CanDiscount()),
                      textOf(snack.Monad()), textOf(snack.IfLowLimitPrice()), textOf(snack.PrinterNo()),
                      textOf(snack.OverTimes()), textOf(snack.IfPack()), textOf(snack.IfPackChild()),
                      textOf(snack.AutoFreed()), textOf(snack.AutoFreeCount()), textOf(snack.ParentFoodNo()),
                      textOf(snack.CanReward()), textOf(snack.LimitDisRate()), textOf(snack.SendMobileMsgWhenFree()),
                      textOf(snack.Note()), textOf(snack.GroupID())};
  EXPECT_EQ(made, (Texts{"薯条", "0", "N", "0", "份", "1", "3K1", "0", "1", "1", "0", "0", "P1", "0", "1", "0",
                         "套餐内项目", "G7"}));

  toggleGroup(1);
  auto row = cell(1, 0);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->lblFoodName()->text(), "薯条");
  EXPECT_EQ(row->lblFoodNo()->text(), "D3");
  EXPECT_EQ(row->lblSelectCount()->text(), "2");
  EXPECT_TRUE(row->switch_all()->isOn());
  EXPECT_EQ(row->stepper()->value(), 2);
  EXPECT_EQ(row->stepper()->maximumValue(), 2);
}

TEST_F(PackChildViewControllerTest, MultiplierFollowsTheMode) {
  makePackage();
  open({});
  EXPECT_EQ(chooser->foodCount(), 0);
  EXPECT_EQ(header(1), "小吃|累计可选数量(0)|已选数量(0)");
  ShowPopViewSegue::setDismiss();

  basket()->setHasMultFreeItems(std::string("1"));
  basket()->setMultFreeCount(std::string("3"));
  open({folio("P1", "1")});
  EXPECT_EQ(chooser->foodCount(), 3);
  EXPECT_EQ(header(0), "饮料|累计可选数量(3)|已选数量(0)");
}

TEST_F(PackChildViewControllerTest, SharedGroupSwitchTakesWhatIsFreeAndLocksTheOthers) {
  openPackage();
  toggleGroup(0);
  ASSERT_EQ(chooser->prckChildTableView()->numberOfRowsInSection(0), 2);
  EXPECT_FALSE(locked(0, 1));
  flip(0, 0);
  EXPECT_EQ(groups[0]->SelectedCount(), 2);
  EXPECT_EQ(dict["S1"][0]->SelectedCount(), 2);
  EXPECT_EQ(header(0), "饮料|累计可选数量(2)|已选数量(2)");
  EXPECT_EQ(foodNos(*selection), (std::vector<std::string>{"P1x2", "D3x2", "D1x2"}));
  EXPECT_TRUE(locked(0, 1));
  ASSERT_TRUE(cell(0, 1));
  EXPECT_EQ(cell(0, 1)->stepper()->maximumValue(), 0);

  flip(0, 0);
  EXPECT_EQ(groups[0]->SelectedCount(), 0);
  EXPECT_EQ(foodNos(*selection), (std::vector<std::string>{"P1x2", "D3x2"}));
  EXPECT_FALSE(locked(0, 1));

  // Step by step, one at a time, up to the group's capacity.
  EXPECT_TRUE(step(0, 1, true));
  EXPECT_TRUE(step(0, 0, true));
  EXPECT_EQ(foodNos(*selection), (std::vector<std::string>{"P1x2", "D3x2", "D2x1", "D1x1"}));
  EXPECT_FALSE(step(0, 0, true));  // the group is full
  EXPECT_TRUE(step(0, 1, false));
  EXPECT_EQ(foodNos(*selection), (std::vector<std::string>{"P1x2", "D3x2", "D1x1"}));
  EXPECT_EQ(groups[0]->SelectedCount(), 1);
}

TEST_F(PackChildViewControllerTest, CountedGroupTakesTheFixedCountWholeOrNotAtAll) {
  openPackage();
  toggleGroup(2);
  EXPECT_TRUE(step(2, 1, true));
  EXPECT_EQ(groups[2]->SelectedCount(), 4);  // 2 packages x 2
  EXPECT_EQ(dict["S3"][1]->SelectedCount(), 4);
  EXPECT_EQ(header(2), "果盘|子项单计|已选数量(4)");
  EXPECT_EQ(foodNos(*selection).back(), "D5x4");
  EXPECT_TRUE(locked(2, 0));
  ASSERT_TRUE(cell(2, 1));
  EXPECT_EQ(cell(2, 1)->stepper()->maximumValue(), 4);

  EXPECT_TRUE(step(2, 1, false));
  EXPECT_EQ(groups[2]->SelectedCount(), 0);
  EXPECT_EQ(dict["S3"][1]->SelectedCount(), 0);
  EXPECT_FALSE(groups[2]->isSelected());
  EXPECT_EQ(selection->size(), 2u);
  EXPECT_FALSE(locked(2, 0));

  flip(2, 0);
  EXPECT_EQ(foodNos(*selection).back(), "D4x2");
}

TEST_F(PackChildViewControllerTest, OkChecksTheRulesThenReplacesTheEarlierOrder) {
  auto earlier = folio("P1", "1");
  auto earlierContent = folio("D1", "1", "1", "0", "P1");
  auto unrelated = folio("B2", "1");
  basket()->foodSetArray() = {earlier, unrelated, earlierContent};
  openPackage();

  tap(*chooser->suerBtn());
  EXPECT_EQ(alerts(), (Texts{"提示|套餐所选项目未到要求!"}));
  dismissAlert();

  toggleGroup(3);
  toggleGroup(4);
  flip(3, 0);
  EXPECT_TRUE(locked(4, 0));  // the other alternative is closed to choice
  EXPECT_TRUE(locked(4, 1));
  EXPECT_FALSE(locked(3, 1) && false);

  tap(*chooser->suerBtn());
  EXPECT_EQ(alerts(), (Texts{"提示|套餐内饮料所选项目未到要求!"}));
  dismissAlert();
  toggleGroup(0);
  flip(0, 1);
  tap(*chooser->suerBtn());
  EXPECT_EQ(alerts(), (Texts{"提示|套餐内果盘所选项目未到要求!"}));
  dismissAlert();
  EXPECT_TRUE(host->calls.empty());
  EXPECT_EQ(basket()->foodSetArray(), (FolioList{earlier, unrelated, earlierContent}));

  toggleGroup(2);
  flip(2, 0);
  // The dish popover names the earlier order's lines before the chooser opens.
  basket()->oldChoiceArray() = {earlier, earlierContent};
  tap(*chooser->suerBtn());
  EXPECT_TRUE(alerts().empty());
  EXPECT_EQ(host->calls, (Texts{"confirm"}));
  EXPECT_EQ(foodNos(basket()->foodSetArray()),
            (std::vector<std::string>{"B2x1", "P1x2", "D3x2", "D6x2", "D2x2", "D4x2"}));
  EXPECT_EQ(basket()->foodSetArray()[1], packageLine);
  EXPECT_EQ(basket()->oldChoiceArray().size(), 2u);
}

TEST_F(PackChildViewControllerTest, CancelLeavesTheBasket) {
  auto earlier = folio("P1", "1");
  basket()->foodSetArray() = {earlier};
  basket()->oldChoiceArray() = {earlier};
  openPackage();
  toggleGroup(0);
  flip(0, 0);
  tap(*chooser->backBtn());
  EXPECT_EQ(host->calls, (Texts{"confirm"}));
  EXPECT_EQ(basket()->foodSetArray(), (FolioList{earlier}));
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());
}

TEST_F(PackChildViewControllerTest, EarlierChoicesAreRestoredAndNeverListedTwice) {
  auto earlier = folio("P1", "1");
  auto drink = folio("D1", "2", "1", "0", "P1");
  auto fruit = folio("D4", "9", "1", "0", "P1");
  auto emptyDrink = folio("D2", "0", "1", "0", "P1");
  basket()->foodSetArray() = {earlier, drink, fruit, emptyDrink};
  basket()->oldChoiceArray() = {earlier, drink, fruit, emptyDrink};
  openPackage();

  EXPECT_EQ(dict["S1"][0]->SelectedCount(), 2);
  EXPECT_EQ(dict["S3"][0]->SelectedCount(), 2);  // a counted dish comes back with its fixed count
  EXPECT_EQ(groups[0]->SelectedCount(), 2);
  EXPECT_TRUE(groups[2]->isSelected());
  EXPECT_EQ(foodNos(*selection), (std::vector<std::string>{"P1x2", "D1x2", "D2x0", "D4x2", "D3x2"}));
  EXPECT_NE((*selection)[1], drink);  // new lines: the old ones leave the basket on OK

  // The restored line that holds nothing is switched on: it is taken, not added again.
  toggleGroup(0);
  flip(0, 0);  // off: the drinks group is free again
  flip(0, 1);
  EXPECT_EQ(foodNos(*selection), (std::vector<std::string>{"P1x2", "D2x2", "D4x2", "D3x2"}));
}

TEST_F(PackChildViewControllerTest, FreeItemsAreFreeLinesBesideThePricedOnes) {
  basket()->setHasMultFreeItems(std::string("1"));
  basket()->setMultFreeCount(std::string("2"));
  food = dish("F1", "扬州炒饭");
  groups = {group("S9", "赠品", "1")};
  dict = {{"S9", {packDish("S9", "F1", "扬州炒饭", "1", "18"), packDish("S9", "X1", "果盘", "1", "30")}}};
  auto priced = folio("F1", "1");
  open({priced});
  toggleGroup(0);
  flip(0, 0);
  ASSERT_EQ(selection->size(), 2u);
  EXPECT_EQ((*selection)[0], priced);
  EXPECT_EQ(priced->Quantity(), std::optional<std::string>("1"));  // the priced line is not a chosen one
  const OKFolioObject& free = *(*selection)[1];
  const Texts made = {textOf(free.FoodNo()), textOf(free.Quantity()), textOf(free.Price()), textOf(free.Flag()),
                      textOf(free.IfPack()), textOf(free.IfPackChild()), textOf(free.AutoFreed()),
                      textOf(free.AutoFreeCount()), textOf(free.ParentFoodNo()), textOf(free.Note()),
                      textOf(free.GroupID())};
  EXPECT_EQ(made, (Texts{"F1", "2", "18", "F", "0", "0", "1", "2", "", "消费赠送", "G7"}));

  flip(0, 0);
  EXPECT_EQ(*selection, (FolioList{priced}));
  tap(*chooser->suerBtn());
  EXPECT_EQ(alerts(), (Texts{"提示|套餐内赠品所选项目未到要求!"}));
}

TEST_F(PackChildViewControllerTest, LongGroupNamesAreMeasuredDownToTheSmallestFont) {
  const auto width = [](const std::string& text, std::shared_ptr<const gfx::Font> font) {
    gfx::TextLayout layout(text, gfx::TextStyle::withFont(std::move(font)));
    return static_cast<double>(static_cast<float>(
        layout.boundingSize({ui::Screen::main().bounds().size.width, 40},
                            gfx::TextUsesLineFragmentOrigin | gfx::TextTruncatesLastVisibleLine).width));
  };
  EXPECT_EQ(PackChildViewController::headerTitleWidth("饮料"), width("饮料", gfx::Font::systemFont(16)) + 300);
  const std::string huge(400, 'W');
  EXPECT_EQ(PackChildViewController::headerTitleWidth(huge), width(huge, gfx::Font::boldSystemFont(6)) + 300);

  groups = {group("S1", huge, "1")};
  dict = {{"S1", {packDish("S1", "D1", "可乐"), packDish("S1", "D2", "雪碧")}}};
  open({folio("P1", "1")});
  auto header = chooser->prckChildTableView()->headerViewForSection(0);
  ASSERT_TRUE(header);
  auto labels = header->subviews();
  ASSERT_EQ(labels.size() >= 2, true);
  auto title = std::dynamic_pointer_cast<EffectLabel>(labels.back());
  ASSERT_TRUE(title);
  EXPECT_EQ(title->frame().width(), PackChildViewController::headerTitleWidth(huge));
}

TEST_F(PackChildViewControllerTest, PackageAndFreeItemsThroughTheRoomServer) {
  connect();
  server.setReply(MsgAddInfoOfFood, Fields{"0"});
  server.setReplyHandler(MsgSelectFood, [](const venue::Frame& request) -> std::optional<venue::Reply> {
    venue::Reply reply;
    const bool package = request.fields.size() > 2 && request.fields[2] == "P1";
    reply.fields = pricingReply(package ? "0" : "1", "2", "S9", "G7",
                                {pricedLineFields(request.fields[2], "套餐", "88", request.fields[3], package ? "1" : "0")});
    return reply;
  });
  server.setReply(MsgPackChild, Fields{"0", "", "1", "", "S1", "饮料", "1", "0", "0", "", "", "S1", "D1", "可乐", "",
                                       "瓶", "3", "0", "1", "", "", "S1", "D2", "雪碧", "", "瓶", "3", "0", "1", "", ""});
  server.setReply(MsgMultFreeItems, Fields{"0", "", "1", "", "S9", "赠品", "", "1", "0", "0", "", "", "S9", "X1",
                                           "果盘", "", "30", "份", "1", "0", "1", "", ""});
  for (const std::string no : {"P1", "F1"}) {
    SCOPED_TRACE(no);
    host->calls.clear();
    auto popover = host->show<PopViewController>(OrderScreens::DishPopover,
                                                 [&](PopViewController& p) { p.setTempFoodObject(dish(no, no, no == "P1" ? "1" : "0")); });
    ASSERT_TRUE(popover);
    render();
    tap(*popover->padKey(2));
    tap(*popover->padKey(PopViewController::OkTag));
    ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }, 10));
    ASSERT_EQ(host->calls, (Texts{"toPackChild"}));
    // As the menu does: the popover goes, the chooser comes with the handed parameters.
    ShowPopViewSegue::setDismiss();
    chooser = host->show<PackChildViewController>(OrderScreens::PackChooser, [&](PackChildViewController& c) {
      c.setParameters(*host->handedObj);
      c.setDict(host->handedDict);
    });
    popover.reset();
    render();
    EXPECT_EQ(chooser->selectedFoods(), host->handedObj->selectedFoods());
    // Two drinks to choose from; the single free item is already taken.
    if (no == "P1") {
      toggleGroup(0);
      flip(0, 0);
    }
    tap(*chooser->suerBtn());
    EXPECT_EQ(host->calls.back(), "confirm");
  }
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (std::vector<std::string>{"P1x2", "D1x2", "F1x2", "X1x2"}));
  EXPECT_EQ(basket()->foodSetArray()[3]->Flag(), std::optional<std::string>("F"));
  EXPECT_EQ(basket()->foodSetArray()[3]->Price(), std::optional<std::string>("30"));
}

TEST_F(PackChildViewControllerTest, FramesOnBothTabletsAndScreenshots) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    SCOPED_TRACE(device == support::Device::Standard ? "standard" : "12.9-inch");
    setDevice(device);
    host = std::make_shared<PopoverHost>();
    nav = std::make_shared<ui::NavigationController>(host);
    window().setRootViewController(nav);
    render();
    openPackage();
    toggleGroup(0);
    flip(0, 0);
    toggleGroup(2);
    support::expectRect(chooser->view()->frame(), 0, 0, 500, 600, "view");
    support::expectRect(chooser->prckChildTableView()->frame(), 15, 56, 470, 464, "table");
    support::expectRect(chooser->backBtn()->frame(), 60, 538, 160, 46, "cancel");
    support::expectRect(chooser->suerBtn()->frame(), 280, 538, 160, 46, "OK");
    auto header = chooser->prckChildTableView()->headerViewForSection(0);
    ASSERT_TRUE(header);
    support::expectRect(header->frame(), 0, 0, 470, 50, "header");
    support::expectRect(header->subviews()[header->subviews().size() - 2]->bounds(), 0, 0, 20, 20, "arrow");
    auto row = cell(0, 0);
    ASSERT_TRUE(row);
    support::expectRect(row->lblFoodNo()->frame(), 16, 8, 60, 40, "number");
    support::expectRect(row->lblFoodName()->frame(), 80, 8, 170, 40, "name");
    support::expectRect(row->lblSelectCount()->frame(), 252, 8, 40, 40, "count");
    support::expectRect(row->stepper()->frame(), 296, 14, 94, 29, "stepper");
    support::expectRect(row->switch_all()->frame(), 402, 13, 51, 31, "switch");
    screenshot(device == support::Device::Standard ? "chooser-standard" : "chooser-large");
    ShowPopViewSegue::setDismiss();
    chooser.reset();
  }
}

}  // namespace
}  // namespace kt::testing
