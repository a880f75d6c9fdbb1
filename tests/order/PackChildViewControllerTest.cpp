#include "order/PackChildViewController.h"

#include <gtest/gtest.h>

#include <chrono>

#include "PopViewControllerFixture.h"
#include "link/MsgCodes.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "link/RoomRequests.h"
#include "order/OrderParsing.h"
#include "order/PackChildCell.h"
#include "order/PopViewController.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/Switch.h"
#include "support/RectExpectations.h"
#include "venue/VenueRoom.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::testing {
namespace {

std::shared_ptr<OKPackChild> group(const std::string& id, const std::string& name, const std::string& sum,
                                   const std::string& countMode = "0", const std::string& notShare = "0") {
  auto g = std::make_shared<OKPackChild>();
  g->setSetID(id), g->setSetItemName(name), g->setSetSumCount(sum), g->setCountMode(countMode), g->setNotShare(notShare);
  return g;
}

std::shared_ptr<OKPackChildFood> item(const std::string& id, const std::string& no, const std::string& name,
                                      const std::string& count = "1", const std::string& price = "") {
  auto d = std::make_shared<OKPackChildFood>();
  d->setSetID(id), d->setFoodNo(no), d->setFoodName_Cha(name), d->setMonad(std::string("份"));
  d->setPrintType(std::string("3")), d->setOverTimes(std::string("0")), d->setCount(count), d->setPrice(price);
  return d;
}

Texts fields(const OKFolioObject& l) {
  return {textOf(l.FoodName()), textOf(l.Price()), textOf(l.Flag()), textOf(l.CanDiscount()), textOf(l.Monad()),
          textOf(l.IfLowLimitPrice()), textOf(l.PrinterNo()), textOf(l.OverTimes()), textOf(l.IfPack()),
          textOf(l.IfPackChild()), textOf(l.AutoFreed()), textOf(l.AutoFreeCount()), textOf(l.ParentFoodNo()),
          textOf(l.CanReward()), textOf(l.LimitDisRate()), textOf(l.SendMobileMsgWhenFree()), textOf(l.Note()),
          textOf(l.GroupID())};
}

class PackChildViewControllerTest : public OrderPopoverTest {
 protected:
  void TearDown() override {
    chooser.reset();
    OrderPopoverTest::TearDown();
  }
  // Drinks shared by two dishes, a single-dish snack, fruit counted per dish, two alternatives.
  void openPackage() {
    groups = {group("S1", "饮料", "1"), group("S2", "小吃", "1"), group("S3", "果盘", "", "1"),
              group("S4", "主食A", "1", "0", "1"), group("S5", "主食B", "1", "0", "1")};
    dict = {{"S1", {item("S1", "D1", "可乐"), item("S1", "D2", "雪碧")}},
            {"S2", {item("S2", "D3", "薯条")}},
            {"S3", {item("S3", "D4", "西瓜", "1"), item("S3", "D5", "哈密瓜", "2")}},
            {"S4", {item("S4", "D6", "米饭"), item("S4", "D7", "面条")}},
            {"S5", {item("S5", "D8", "饺子"), item("S5", "D9", "馒头")}}};
    open({packageLine = folio("P1", "2")});
  }
  void open(FolioList priced) {
    selection = std::make_shared<FolioList>(std::move(priced));
    chooser = host->show<PackChildViewController>(OrderScreens::PackChooser, [&](PackChildViewController& c) {
      c.setFood(food), c.setSelectedFoods(selection), c.setSGroupID(std::string("G7")), c.setPackArray(groups);
      c.setDict(dict);
    });
    ASSERT_TRUE(chooser);
    render();
  }
  void toggle(int section) {
    tap(*chooser->prckChildTableView()->headerViewForSection(section));
    wait(0.5);  // the section slides in
  }
  std::shared_ptr<PackChildCell> cell(int section, int row) {
    render();
    return std::dynamic_pointer_cast<PackChildCell>(chooser->prckChildTableView()->cellForRowAtIndexPath({section, row}));
  }
  void flip(int section, int row) {
    auto c = cell(section, row);
    ASSERT_TRUE(c && !c->switch_all()->isHidden());
    tap(*c->switch_all());
  }
  // One stepper step, where the stepper allows it.
  bool step(int section, int row, bool up) {
    auto c = cell(section, row);
    if (!c || (up ? !c->stepper()->canIncrement() : !c->stepper()->canDecrement())) return false;
    c->stepper()->setValue(c->stepper()->value() + (up ? 1 : -1));
    c->stepper()->sendActionsForControlEvents(ui::ControlEventValueChanged);
    return true;
  }
  bool locked(int section, int row) {
    auto c = cell(section, row);
    return c && c->switch_all()->isHidden() && !c->stepper()->canIncrement();
  }
  std::string header(int section) { return chooser->headerTitle(*groups.at(static_cast<size_t>(section))); }

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
  EXPECT_EQ((Texts{header(0), header(1), header(2), header(3)}),
            (Texts{"饮料|累计可选数量(2)|已选数量(0)", "小吃|累计可选数量(2)|已选数量(2)", "果盘|子项单计|已选数量(0)",
                   "(多选一)主食A|累计可选数量(2)|已选数量(0)"}));
  EXPECT_EQ(chooser->prckChildTableView()->numberOfRowsInSection(0), 0);  // groups start closed
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D3x2"}));
  EXPECT_EQ(fields(*selection->back()), (Texts{"薯条", "0", "N", "0", "份", "1", "3K1", "0", "1", "1", "0", "0", "P1",
                                               "0", "1", "0", "套餐内项目", "G7"}));
  toggle(1);
  auto row = cell(1, 0);
  ASSERT_TRUE(row);
  EXPECT_EQ(Texts({row->lblFoodNo()->text(), row->lblFoodName()->text(), row->lblSelectCount()->text()}),
            (Texts{"D3", "薯条", "2"}));
  EXPECT_TRUE(row->switch_all()->isOn());
  EXPECT_EQ(row->stepper()->value(), 2);
  EXPECT_FALSE(row->stepper()->canIncrement());

  ShowPopViewSegue::setDismiss();
  open({});
  EXPECT_EQ(chooser->foodCount(), 0);  // no priced line
  ShowPopViewSegue::setDismiss();
  basket()->setHasMultFreeItems(std::string("1"));
  basket()->setMultFreeCount(std::string("3"));
  open({packageLine});
  EXPECT_EQ(chooser->foodCount(), 3);
}

TEST_F(PackChildViewControllerTest, SharedGroupSwitchAndStepper) {
  openPackage();
  toggle(0);
  flip(0, 0);  // takes all the group holds
  EXPECT_EQ(header(0), "饮料|累计可选数量(2)|已选数量(2)");
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D3x2", "D1x2"}));
  EXPECT_TRUE(locked(0, 1));
  flip(0, 0);
  EXPECT_EQ(groups[0]->SelectedCount(), 0);
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D3x2"}));
  EXPECT_FALSE(locked(0, 1));

  EXPECT_TRUE(step(0, 1, true));
  EXPECT_TRUE(step(0, 0, true));
  EXPECT_FALSE(step(0, 0, true));  // full
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D3x2", "D2x1", "D1x1"}));
  EXPECT_TRUE(step(0, 1, false));
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D3x2", "D1x1"}));
  EXPECT_EQ(groups[0]->SelectedCount(), 1);
}

TEST_F(PackChildViewControllerTest, CountedGroupTakesTheFixedCountWholeOrNotAtAll) {
  openPackage();
  toggle(2);
  EXPECT_TRUE(step(2, 1, true));
  EXPECT_EQ(header(2), "果盘|子项单计|已选数量(4)");  // 2 packages x 2
  EXPECT_EQ(foodNos(*selection).back(), "D5x4");
  EXPECT_TRUE(locked(2, 0));
  EXPECT_TRUE(step(2, 1, false));
  EXPECT_EQ(groups[2]->SelectedCount(), 0);
  EXPECT_EQ(dict["S3"][1]->SelectedCount(), 0);
  EXPECT_EQ(selection->size(), 2u);
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
  toggle(3);
  toggle(4);
  flip(3, 0);
  EXPECT_TRUE(locked(4, 0));  // the other alternative is closed
  EXPECT_TRUE(locked(4, 1));
  toggle(0);
  flip(0, 1);
  tap(*chooser->suerBtn());
  EXPECT_EQ(alerts(), (Texts{"提示|套餐内果盘所选项目未到要求!"}));  // the first group short of its count
  dismissAlert();
  EXPECT_TRUE(host->calls.empty());
  EXPECT_EQ(basket()->foodSetArray(), (FolioList{earlier, unrelated, earlierContent}));

  toggle(2);
  flip(2, 0);
  basket()->oldChoiceArray() = {earlier, earlierContent};  // as the dish popover names them
  tap(*chooser->suerBtn());
  EXPECT_TRUE(alerts().empty());
  EXPECT_EQ(host->calls, (Texts{"confirm"}));
  EXPECT_EQ(foodNos(basket()->foodSetArray()), (Texts{"B2x1", "P1x2", "D3x2", "D6x2", "D2x2", "D4x2"}));
  EXPECT_EQ(basket()->foodSetArray()[1], packageLine);
}

TEST_F(PackChildViewControllerTest, EarlierChoicesAreRestoredAndNeverListedTwice) {
  auto earlier = folio("P1", "1");
  FolioList old = {earlier, folio("D1", "2", "1", "0", "P1"), folio("D4", "9", "1", "0", "P1"),
                   folio("D2", "0", "1", "0", "P1")};
  basket()->foodSetArray() = old;
  basket()->oldChoiceArray() = old;
  openPackage();
  EXPECT_EQ(dict["S1"][0]->SelectedCount(), 2);
  EXPECT_EQ(dict["S3"][0]->SelectedCount(), 2);  // a counted dish comes back with its fixed count
  EXPECT_EQ(header(0), "饮料|累计可选数量(2)|已选数量(2)");
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D1x2", "D2x0", "D4x2", "D3x2"}));
  EXPECT_NE((*selection)[1], old[1]);
  toggle(0);
  flip(0, 0);
  flip(0, 1);  // the restored empty line is taken, not listed again
  EXPECT_EQ(foodNos(*selection), (Texts{"P1x2", "D2x2", "D4x2", "D3x2"}));
  tap(*chooser->backBtn());
  EXPECT_EQ(host->calls, (Texts{"confirm"}));
  EXPECT_EQ(basket()->foodSetArray(), old);  // Cancel leaves the basket
}

TEST_F(PackChildViewControllerTest, FreeItemsAreFreeLinesBesideThePricedOnes) {
  basket()->setHasMultFreeItems(std::string("1"));
  basket()->setMultFreeCount(std::string("2"));
  basket()->oldChoiceArray() = {folio("F1", "5")};  // the earlier order of the dish is no free line
  food = dish("F1", "扬州炒饭");
  groups = {group("S9", "赠品", "1")};
  dict = {{"S9", {item("S9", "F1", "扬州炒饭", "1", "18"), item("S9", "X1", "果盘", "1", "30")}}};
  auto priced = folio("F1", "1");
  open({priced});
  EXPECT_EQ(header(0), "赠品|累计可选数量(2)|已选数量(0)");
  toggle(0);
  flip(0, 0);
  ASSERT_EQ(selection->size(), 2u);
  EXPECT_EQ(priced->Quantity(), std::optional<std::string>("1"));  // the priced line is not a chosen one
  EXPECT_EQ(foodNos(*selection), (Texts{"F1x1", "F1x2"}));
  EXPECT_EQ(fields(*selection->back()), (Texts{"扬州炒饭", "18", "F", "0", "份", "1", "3K1", "0", "0", "0", "1", "2", "",
                                               "0", "1", "0", "消费赠送", "G7"}));
  flip(0, 0);
  EXPECT_EQ(*selection, (FolioList{priced}));
}

TEST_F(PackChildViewControllerTest, LongGroupNamesAreMeasuredDownToTheSmallestFont) {
  const auto width = [](const std::string& text, std::shared_ptr<const gfx::Font> font) {
    gfx::TextLayout layout(text, gfx::TextStyle::withFont(std::move(font)));
    return double(float(layout.boundingSize({ui::Screen::main().bounds().size.width, 40},
                                            gfx::TextUsesLineFragmentOrigin | gfx::TextTruncatesLastVisibleLine).width));
  };
  const std::string huge(400, 'W');
  EXPECT_EQ(PackChildViewController::headerTitleWidth("饮料"), width("饮料", gfx::Font::systemFont(16)) + 300);
  EXPECT_EQ(PackChildViewController::headerTitleWidth(huge), width(huge, gfx::Font::boldSystemFont(6)) + 300);
  groups = {group("S1", huge, "1")};
  open({folio("P1", "1")});
  EXPECT_EQ(chooser->prckChildTableView()->headerViewForSection(0)->subviews().back()->frame().width(),
            PackChildViewController::headerTitleWidth(huge));
}

TEST_F(PackChildViewControllerTest, PackageAndFreeItemsThroughTheVenueRoom) {
  venue::VenueRoom venueRoom;
  venueRoom.install(server);
  room().setRoomNo(std::string("8012"));
  connect();
  // A couple's set (two drinks of three, one snack) and a beer bucket that brings two snacks.
  for (const std::string no : {"5003", "4002"}) {
    host->calls.clear();
    auto popover = host->show<PopViewController>(
        OrderScreens::DishPopover, [&](PopViewController& p) { p.setTempFoodObject(dish(no, no, no == "5003" ? "1" : "0")); });
    render();
    tap(*popover->padKey(PopViewController::OkTag));
    ASSERT_TRUE(runUntil([&] { return !host->calls.empty(); }));
    ASSERT_EQ(host->calls, (Texts{"toPackChild"}));
    ShowPopViewSegue::setDismiss();  // as the menu does: the chooser takes the popover's place
    chooser = host->show<PackChildViewController>(OrderScreens::PackChooser, [&](PackChildViewController& c) {
      c.setParameters(*host->handedObj);
      c.setDict(host->handedDict);
    });
    render();
    toggle(0);
    flip(0, 0);
    tap(*chooser->suerBtn());
    EXPECT_EQ(host->calls.back(), "confirm");
  }
  const FolioList& lines = basket()->foodSetArray();
  EXPECT_EQ(foodNos(lines), (Texts{"5003x1", "3012x1", "4021x2", "4002x1", "3001x2"}));
  EXPECT_EQ(Texts({textOf(lines[1]->Note()), textOf(lines[4]->Note()), textOf(lines[4]->Flag()), textOf(lines[4]->Price())}),
            (Texts{"套餐内项目", "消费赠送", "F", "18.00"}));
  EXPECT_EQ(lines[4]->GroupID(), lines[3]->GroupID());
}

TEST_F(PackChildViewControllerTest, CountsOutOfRangeNeitherGoNegativeNorWrapOnScreenOrInTheOrder) {
  connect();
  // Two packages: a group and a dish counted far too high, and a group counted below nothing.
  groups = {group("S1", "饮料", "2147483647"), group("S2", "小吃", "-5"), group("S3", "果盘", "", "1")};
  dict = {{"S1", {item("S1", "D1", "可乐")}},
          {"S2", {item("S2", "D3", "薯条")}},
          {"S3", {item("S3", "D4", "西瓜", "2147483647")}}};
  open({folio("P1", "2")});
  EXPECT_EQ(header(0), "饮料|累计可选数量(2147483647)|已选数量(2147483647)");
  toggle(2);
  flip(2, 0);
  tap(*chooser->suerBtn());

  // Free items brought 2147483647 times, three each time.
  ShowPopViewSegue::setDismiss();
  basket()->setHasMultFreeItems(std::string("1"));
  basket()->setMultFreeCount(std::string("2147483647"));
  groups = {group("S9", "赠品", "3")};
  dict = {{"S9", {item("S9", "F1", "扬州炒饭", "1", "18")}}};
  open({folio("F1", "1")});
  tap(*chooser->suerBtn());

  const size_t before = server.frameCount();
  RoomRequests::send(RoomRequests::confirmInputFood("1234", std::string("0"), basket()->foodSetArray()));
  // The server records on its own thread: the loop is drained (the link writes) between short
  // waits, until the frame is in or a generous (real) time-out passes.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (requests(MsgConfirmInputFood).empty() && std::chrono::steady_clock::now() < end) {
    support::drainMainLoop();
    server.waitForFrames(before + 1, 0.025);
  }
  ASSERT_FALSE(requests(MsgConfirmInputFood).empty());
  const Fields sent = requests(MsgConfirmInputFood).front().fields;
  Texts quantities;
  for (size_t i = 11 + 4; i < sent.size(); i += 30) quantities.push_back(sent[i]);
  EXPECT_EQ(quantities, (Texts{"2", "2147483647", "0", "2147483647", "1", "2147483647"}));
}

TEST_F(PackChildViewControllerTest, FramesOnBothTabletsAndScreenshots) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    makeHost();
    openPackage();
    toggle(0);
    flip(0, 0);
    toggle(2);
    support::expectRect(chooser->view()->frame(), 0, 0, 500, 600, "view");
    support::expectRect(chooser->prckChildTableView()->frame(), 15, 56, 470, 464, "table");
    support::expectRect(chooser->backBtn()->frame(), 60, 538, 160, 46, "cancel");
    support::expectRect(chooser->suerBtn()->frame(), 280, 538, 160, 46, "OK");
    auto header = chooser->prckChildTableView()->headerViewForSection(0);
    support::expectRect(header->frame(), 0, 0, 470, 50, "header");
    support::expectRect(header->subviews().at(header->subviews().size() - 2)->bounds(), 0, 0, 20, 20, "arrow");
    auto row = cell(0, 0);
    ASSERT_TRUE(row);
    support::expectRect(row->lblFoodNo()->frame(), 16, 8, 60, 40, "number");
    support::expectRect(row->lblFoodName()->frame(), 80, 8, 170, 40, "name");
    support::expectRect(row->lblSelectCount()->frame(), 252, 8, 40, 40, "count");
    support::expectRect(row->stepper()->frame(), 296, 14, 94, 29, "stepper");
    support::expectRect(row->switch_all()->frame(), 402, 13, 51, 31, "switch");
    screenshot(device == support::Device::Standard ? "chooser-standard" : "chooser-large");
    ShowPopViewSegue::setDismiss();
  }
}

}  // namespace
}  // namespace kt::testing
