#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RoomLinkFixture.h"
#include "link/MsgCodes.h"
#include "link/RoomReplies.h"
#include "link/RoomRequests.h"
#include "platform/ui/Label.h"

namespace kt::testing {
namespace {

using Calls = std::vector<std::string>;
using Fields = std::vector<std::string>;
using venue::FieldForm;

class RoomMessagesTest : public RoomLinkTest {
 protected:
  RoomMessagesTest() {
    room().setRoomNo(std::string("8001"));
    room().setPrintId(std::string("K1"));
    handle().setDelegate(&screen);
  }
  std::shared_ptr<OKSelectFoodObject> basket() { return handle().getTmpSelectFood(); }

  RecordingDelegate screen{RecordingDelegate::everything};
};

Fields concat(std::initializer_list<Fields> lists) {
  Fields all;
  for (const auto& l : lists) all.insert(all.end(), l.begin(), l.end());
  return all;
}
Fields blanks(size_t n) { return Fields(n, ""); }

// ---- Requests -------------------------------------------------------------------------------------

std::string joinBody(int code, const Fields& fields) {
  std::string body = "\r\n" + std::to_string(code) + "\r\n";
  for (size_t i = 0; i < fields.size(); ++i) body += (i ? "\r\n" : "") + fields[i];
  return body;
}

TEST_F(RoomMessagesTest, RequestsGoOutByteForByte) {
  startServer();
  room().setUDID(std::string("UDID-1"));
  room().setPriceId(std::string("2"));
  room().setMasterID(std::string("M5"));

  auto line1 = std::make_shared<OKFolioObject>();
  line1->setFoodNo(std::string("F1"));
  line1->setFoodName(std::string("宫保鸡丁"));
  line1->setPrice(std::string("28"));
  line1->setFlag(std::string("0"));
  line1->setQuantity(std::string("2"));
  line1->setCanDiscount(std::string("1"));
  line1->setAdds1Name(std::string("少辣"));
  line1->setMonad(std::string("份"));
  line1->setIfLowLimitPrice(std::string("0"));
  line1->setPrinterNo(std::string("P1K1"));
  line1->setGroupID(std::string("G1"));
  line1->setCanReward(std::string("1"));
  line1->setLimitDisRate(std::string("100"));
  line1->setVipPrice(std::string("25"));
  auto line2 = std::make_shared<OKFolioObject>();  // Monad and others left unset
  line2->setFoodNo(std::string("F2"));
  line2->setFoodName(std::string("啤酒"));
  line2->setPrice(std::string("10"));
  line2->setQuantity(std::string("6"));
  line2->setFlag(std::nullopt);

  const std::vector<RoomRequest> requests = {
      RoomRequests::sysDate(),
      RoomRequests::bindClient(),
      RoomRequests::foodCategory(),
      RoomRequests::foodList(std::string("12")),
      RoomRequests::recommendedFoodList(),
      RoomRequests::selectFood(std::string("F1"), 2),
      RoomRequests::addInfoOfFood(std::string("A2")),
      RoomRequests::packChild(std::string("F1")),
      RoomRequests::multFreeItems(std::string("S9")),
      RoomRequests::folio(),
      RoomRequests::confirmInputFood("1234", std::string("56.00"), {line1, line2}),
      RoomRequests::roomStateAndInfo(),
      RoomRequests::gongGuanList(),
      RoomRequests::gongGuanHuJiao(std::string("D7")),
      RoomRequests::cancelGongGuanHuJiao(std::string("D7")),
      RoomRequests::gongGuanCurState(std::string("D7")),
      RoomRequests::gongGuanYuYue(std::string("D7"), "1"),
      RoomRequests::cancelGongGuanYuYue(std::string("D7"), std::string("R3")),
  };
  const Fields order114 = concat(
      {{"8001", "3", "3", "", "1234", "56.00", "2", "0", "0", "", ""},
       {"F1", "宫保鸡丁", "28", "0", "2", "1", "少辣", "", "份", "0", "P1K1", "", "", "", "", "0", "G1", "", "1", "100",
        "", "", "", "0", "25", "", "", "", "", ""},
       {"F2", "啤酒", "10", "", "6", "", "", "", "", "", "", "", "", "", "", "0", "", "", "", "", "", "", "", "0", "0",
        "", "", "", "", ""}});
  ASSERT_EQ(order114.size(), 11u + 60u);
  const std::vector<std::string> bodies = {
      "\r\n60\r\n",
      "\r\n100\r\n\r\nUDID-1\r\n3\r\n\r\n\r\n\r\n\r\n",
      "\r\n103\r\n0\r\n100\r\n0\r\n\r\n\r\n0\r\n\r\n8001\r\n",
      "\r\n104\r\n0\r\n12\r\n2\r\n0\r\n1\r\n\r\n\r\n0\r\n8001\r\n0\r\n1\r\n",
      "\r\n104\r\n0\r\n\r\n2\r\n0\r\n1\r\n\r\n\r\n0\r\n8001\r\n1\r\n1\r\n",
      "\r\n105\r\n0\r\n8001\r\nF1\r\n2\r\n1\r\n",  // five fields: no clerk number
      "\r\n106\r\nA2\r\n",
      "\r\n107\r\nF1\r\n",
      "\r\n108\r\nS9\r\n2\r\n",
      "\r\n109\r\n8001\r\n0\r\n\r\n0\r\n\r\n\r\n",
      joinBody(114, order114),
      "\r\n119\r\n8001\r\n\r\n0\r\n",
      "\r\n147\r\n0\r\n1\r\n8001",
      "\r\n149\r\nD7\r\n8001\r\n\r\n",
      "\r\n150\r\nD7\r\n8001\r\n\r\n",
      "\r\n151\r\nD7\r\nM5\r\n\r\n",
      "\r\n152\r\nD7\r\nM5\r\n8001\r\n1\r\n\r\n\r\n\r\n",
      "\r\n153\r\nD7\r\nR3\r\n\r\n",
  };
  ASSERT_EQ(requests.size(), bodies.size());

  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return link().isConnect(); }, 10));
  for (const auto& request : requests) RoomRequests::send(request);
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= bodies.size(); }, 10));

  std::string expected;
  for (size_t i = 0; i < bodies.size(); ++i) {
    const venue::Frame frame = server.frame(i);
    const std::string body = *venue::utf8ToGb18030(bodies[i]);
    SCOPED_TRACE(bodies[i]);
    // Six length digits, the GB 18030 body, the CRC-8 of both.
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06zu", frame.raw.size());
    EXPECT_EQ(frame.raw.substr(0, 6), digits);
    EXPECT_EQ(frame.body, body);
    EXPECT_EQ(static_cast<uint8_t>(frame.raw.back()), venue::crc8(frame.raw.substr(0, frame.raw.size() - 1)));
    EXPECT_TRUE(frame.crcOk);
    expected += venue::encodeFrame(body);
  }
  EXPECT_EQ(server.receivedBytes(), expected);
  EXPECT_EQ(server.frame(5).fields.size(), 5u);
  // 11 + 60 fields; the last one is empty, so the body ends with the CR LF that joins it.
  const venue::Frame order = server.frame(10);
  EXPECT_EQ(Fields(order.parts.begin() + 2, order.parts.end()), order114);
}

// The order password goes out in the frame but never into the log, whichever way the order
// is written; the rest of the body is logged as it was.
TEST_F(RoomMessagesTest, TheOrderPasswordStaysOutOfTheLog) {
  startServer();
  auto line = std::make_shared<OKFolioObject>();
  line->setFoodNo(std::string("F1"));
  line->setFoodName(std::string("果盘"));
  line->setPrice(std::string("304.00"));
  link().initConnect();
  ASSERT_TRUE(runUntil([&] { return link().isConnect(); }, 10));
  log.clear();

  RoomRequests::send(RoomRequests::confirmInputFood("1111", std::string("304.00"), {line}));
  RoomRequests::send(RoomRequests::confirmInputFood("1234", std::string("304.00"), {line}));
  link().sentMsg(114, {"8001", "3", "3", "", "5678", "304.00"});
  link().sentMsg("\r\n114\r\n8001\r\n3\r\n3\r\n\r\n9012\r\n304.00");
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= 4; }, 10));

  const std::vector<std::string> passwords = {"1111", "1234", "5678", "9012"};
  for (size_t i = 0; i < passwords.size(); ++i) EXPECT_EQ(server.frame(i).fields.at(4), passwords[i]);
  std::vector<std::string> bodies;
  for (const auto& l : log)
    if (l.rfind("\r\n114\r\n", 0) == 0) bodies.push_back(l);
  ASSERT_EQ(bodies.size(), 4u);
  EXPECT_EQ(bodies[0].rfind("\r\n114\r\n8001\r\n3\r\n3\r\n\r\n****\r\n304.00\r\n1\r\n0\r\n0\r\n\r\n\r\nF1\r\n果盘\r\n", 0), 0u);
  EXPECT_EQ(bodies[2], "\r\n114\r\n8001\r\n3\r\n3\r\n\r\n****\r\n304.00\r\n");
  EXPECT_EQ(bodies[3], "\r\n114\r\n8001\r\n3\r\n3\r\n\r\n****\r\n304.00");
  for (const auto& password : passwords) EXPECT_FALSE(logged(password)) << password;
}

TEST_F(RoomMessagesTest, UnsetRoomValuesInRequests) {
  room().setRoomNo(std::nullopt);
  // Sent field by field, an unset room number ends the list; joined, it goes out as "".
  EXPECT_EQ(RoomRequests::roomStateAndInfo().fields.size(), 3u);
  EXPECT_EQ(RoomRequests::gongGuanList().fields, (std::vector<Text>{"0", "1", ""}));
  const RoomRequest order = RoomRequests::confirmInputFood("", std::nullopt, {});
  EXPECT_EQ(order.fields, (std::vector<Text>{"", "3", "3", "", "", "", "0", "0", "0", "", ""}));
  EXPECT_EQ(order.form, RequestForm::Joined);
  EXPECT_EQ(RoomRequests::selectFood(std::string("F1"), 1).form, RequestForm::Terminated);
}

// ---- Replies: bind, categories, dishes -----------------------------------------------------------

TEST_F(RoomMessagesTest, BindReplyGoesWholeToTheScreen) {
  receive(MsgBindClient, {"0", "绑定成功", "8001", "", "VIP", "K1", "3"});
  EXPECT_EQ(screen.calls, Calls{"boundClient"});
  const ReplyParts expected = {"000047", "100", "0", "绑定成功", "8001", "", "VIP", "K1", "3", ""};
  EXPECT_EQ(screen.boundParts.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(screen.boundParts.begin() + 1, screen.boundParts.end()),
            std::vector<std::string>(expected.begin() + 1, expected.end()));

  const auto bound = RoomReplies::bindClient(screen.boundParts);
  EXPECT_TRUE(bound.bound);
  EXPECT_EQ(bound.roomNo, std::optional<std::string>("8001"));
  EXPECT_EQ(bound.roomType, std::optional<std::string>("VIP"));
  EXPECT_EQ(bound.printId, std::optional<std::string>("K1"));
  EXPECT_EQ(bound.priceId, std::optional<std::string>("3"));

  // Success without the price id: a failed bind, with the message when there is one.
  const auto shortOk = RoomReplies::bindClient(RoomReplies::split("000000\r\n100\r\n0\r\n房台未开\r\n8001\r\n\r\nVIP\r\nK1"));
  EXPECT_FALSE(shortOk.bound);
  EXPECT_EQ(shortOk.message, std::optional<std::string>("房台未开"));
  EXPECT_EQ(shortOk.roomNo, std::nullopt);
  const auto failed = RoomReplies::bindClient(RoomReplies::split("000000\r\n100\r\n1"));
  EXPECT_FALSE(failed.bound);
  EXPECT_EQ(failed.message, std::nullopt);
}

TEST_F(RoomMessagesTest, CategoriesNeedSevenPartsFromTheSeventh) {
  const Fields head = {"0", "", "", "", ""};  // [2] to [6]
  receive(MsgFoodCategory, concat({head, {"1", "热菜", "1", "0", "", ""}}), FieldForm::Joined);  // 13 parts
  EXPECT_EQ(screen.calls, Calls{});
  receive(MsgFoodCategory, concat({head, {"1", "热菜", "1", "0", "", "", ""}}), FieldForm::Joined);  // 14
  receive(MsgFoodCategory, concat({head, {"1", "热菜", "1", "0", "x", "y", "z"}, {"11", "川菜", "2", "1", "", "", ""}}));
  ASSERT_EQ(screen.calls, (Calls{"category", "category"}));
  ASSERT_EQ(screen.categories.size(), 2u);
  EXPECT_EQ(screen.categories[1]->TypeNo(), std::optional<std::string>("11"));
  EXPECT_EQ(screen.categories[1]->TypeName(), std::optional<std::string>("川菜"));
  EXPECT_EQ(screen.categories[1]->Level(), std::optional<std::string>("2"));
  EXPECT_EQ(screen.categories[1]->ParentNo(), std::optional<std::string>("1"));
}

TEST_F(RoomMessagesTest, DishesAreReadWholeAndTheListIsAlwaysHandedOver) {
  const Fields head = {"0", "", "", "", ""};
  const Fields dish1 = {"F1", "宫保鸡丁", "Kung Pao", "28.00", "份", "大", "0", "0", "0", "A2", "A1", "2024-01-01",
                        "s2", "s3", "s4", "s5"};
  const Fields dish2 = {"F2", "啤酒", "Beer", "10", "瓶", "", "0", "1", "1", "", "", "", "", "", "", "last"};
  receive(MsgFoodList, concat({head, Fields(dish1.begin(), dish1.end() - 1)}), FieldForm::Joined);  // 15 of 16
  ASSERT_EQ(screen.calls, Calls{"foodList"});
  EXPECT_TRUE(screen.foods.empty());

  receive(MsgFoodList, concat({head, dish1, dish2}), FieldForm::Joined);  // the last record ends the frame
  ASSERT_EQ(screen.foods.size(), 2u);
  const OKFoodObject& f = *screen.foods[0];
  EXPECT_EQ(f.No(), std::optional<std::string>("F1"));
  EXPECT_EQ(f.NameChs(), std::optional<std::string>("宫保鸡丁"));
  EXPECT_EQ(f.NameEng(), std::optional<std::string>("Kung Pao"));
  EXPECT_EQ(f.Price(), std::optional<std::string>("28.00"));
  EXPECT_EQ(f.Monad(), std::optional<std::string>("份"));
  EXPECT_EQ(f.Stand(), std::optional<std::string>("大"));
  EXPECT_EQ(f.AddInfoNo2(), std::optional<std::string>("A2"));  // the second list comes first
  EXPECT_EQ(f.AddInfoNo1(), std::optional<std::string>("A1"));
  EXPECT_EQ(f.FoodImageModifyTime(), std::optional<std::string>("2024-01-01"));
  EXPECT_EQ(f.Str5(), std::optional<std::string>("s5"));
  EXPECT_EQ(screen.foods[1]->IfPack(), std::optional<std::string>("1"));
  EXPECT_EQ(screen.foods[1]->IfFlowerItem(), std::optional<std::string>("1"));
  EXPECT_EQ(screen.foods[1]->Str5(), std::optional<std::string>("last"));
}

// ---- Pricing and the basket ------------------------------------------------------------------------

Fields pricedLine(const std::string& no) {
  Fields line;
  for (int i = 0; i < 27; ++i) line.push_back(no + "." + std::to_string(i));
  return line;
}

TEST_F(RoomMessagesTest, PricingFillsTheBasketHeaderAndMakesLines) {
  handle().setAddInfo(std::string("少辣"));
  receive(MsgSelectFood, concat({{"0", "", "1", "2", "S9", "G7", "2"}, pricedLine("a"), pricedLine("b")}));
  ASSERT_EQ(screen.calls, Calls{"selectFood"});
  EXPECT_EQ(basket()->ErrorCode(), std::optional<std::string>("0"));
  EXPECT_EQ(basket()->HasMultFreeItems(), std::optional<std::string>("1"));
  EXPECT_EQ(basket()->MultFreeCount(), std::optional<std::string>("2"));
  EXPECT_EQ(basket()->MultFreeItemsSetID(), std::optional<std::string>("S9"));
  EXPECT_EQ(basket()->GroupID(), std::optional<std::string>("G7"));
  EXPECT_EQ(basket()->DataCount(), std::optional<std::string>("2"));
  EXPECT_TRUE(basket()->foodSetArray().empty());  // the screen puts the lines in
  ASSERT_EQ(screen.lines.size(), 2u);
  const OKFolioObject& l = *screen.lines[1];
  EXPECT_EQ(l.FoodNo(), std::optional<std::string>("b.0"));
  EXPECT_EQ(l.Quantity(), std::optional<std::string>("b.4"));
  EXPECT_EQ(l.Monad(), std::optional<std::string>("b.6"));
  EXPECT_EQ(l.PrinterNo(), std::optional<std::string>("b.8K1"));
  EXPECT_EQ(l.ParentFoodNo(), std::optional<std::string>("b.14"));
  EXPECT_EQ(l.AutoFreeSetIDOfMutilToOne(), std::optional<std::string>("b.16"));
  EXPECT_EQ(l.Note(), std::optional<std::string>("b.19"));
  EXPECT_EQ(l.VipPrice(), std::optional<std::string>("b.20"));
  EXPECT_EQ(l.IfFlowerItem(), std::optional<std::string>("b.22"));
  EXPECT_EQ(l.Str5(), std::optional<std::string>("b.26"));
  EXPECT_EQ(l.GroupID(), std::optional<std::string>("G7"));
  EXPECT_EQ(l.Adds1Name(), std::optional<std::string>("少辣"));
  EXPECT_EQ(l.Adds2Name(), std::optional<std::string>(""));

  // No option chosen: "" whether it is empty or unset; a line cut short is not made.
  handle().setAddInfo(std::nullopt);
  const Fields cut = pricedLine("c");
  receive(MsgSelectFood, concat({{"0", "", "0", "", "", "G8", "1"}, pricedLine("a"), Fields(cut.begin(), cut.end() - 1)}),
          FieldForm::Joined);
  ASSERT_EQ(screen.lines.size(), 1u);
  EXPECT_EQ(screen.lines[0]->Adds1Name(), std::optional<std::string>(""));
  EXPECT_EQ(screen.lines[0]->GroupID(), std::optional<std::string>("G8"));
}

TEST_F(RoomMessagesTest, AFailedPricingShowsTheMessageAndKeepsTheHeader) {
  receive(MsgSelectFood, concat({{"0", "", "1", "2", "S9", "G7", "0"}}));
  screen.calls.clear();
  receive(MsgSelectFood, {"1", "该菜品已沽清"});
  EXPECT_EQ(screen.calls, Calls{});
  EXPECT_EQ(alertMessages(), Calls{"提示|该菜品已沽清"});
  EXPECT_EQ(basket()->ErrorCode(), std::optional<std::string>("1"));
  EXPECT_EQ(basket()->ErrorMsg(), std::optional<std::string>("该菜品已沽清"));
  EXPECT_EQ(basket()->MultFreeItemsSetID(), std::optional<std::string>("S9"));
  EXPECT_EQ(basket()->GroupID(), std::optional<std::string>("G7"));
  render();
  EXPECT_NE(findViewByText("该菜品已沽清"), nullptr);
  EXPECT_NE(findViewByText("确定"), nullptr);
}

TEST_F(RoomMessagesTest, OptionsAreTheTextsFromTheFourthPart) {
  receive(MsgAddInfoOfFood, {"0", "少辣", "微辣", "不要葱"});
  ASSERT_EQ(screen.calls, Calls{"addInfo"});
  EXPECT_EQ(screen.options, (Fields{"少辣", "微辣", "不要葱", ""}));  // the frame ends with CR LF
  receive("000000\r\n106\r\n0");  // three parts
  EXPECT_EQ(screen.calls, Calls{"addInfo"});
  receive("000000\r\n106\r\n0\r\n仅一项");
  EXPECT_EQ(screen.options, Fields{"仅一项"});
}

// ---- Packages and free items --------------------------------------------------------------------------

Fields packFood(const std::string& set, const std::string& no) {
  return {set, no, "名" + no, "en" + no, "份", "P", "0", "1", "x", "y"};
}

TEST_F(RoomMessagesTest, PackageGroupsAndTheirDishes) {
  receive(MsgPackChild, concat({{"0", "", "2", ""},
                                {"S1", "主食", "1", "0", "0", "", ""},
                                {"S2", "饮料", "2", "1", "1", "", ""},
                                packFood("S1", "F1"), packFood("S2", "F2"), packFood("S1", "F3")}),
          FieldForm::Joined);
  ASSERT_EQ(screen.calls, Calls{"packChild"});
  EXPECT_EQ(screen.packCount, 2);
  ASSERT_TRUE(screen.packGroups && screen.packFoods);
  ASSERT_EQ(screen.packGroups->size(), 2u);
  const OKPackChild& g = *(*screen.packGroups)[1];
  EXPECT_EQ(g.SetID(), std::optional<std::string>("S2"));
  EXPECT_EQ(g.SetItemName(), std::optional<std::string>("饮料"));
  EXPECT_EQ(g.SetSumCount(), std::optional<std::string>("2"));
  EXPECT_EQ(g.CountMode(), std::optional<std::string>("1"));
  EXPECT_EQ(g.NotShare(), std::optional<std::string>("1"));
  ASSERT_EQ(screen.packFoods->size(), 2u);
  const auto& s1 = screen.packFoods->at("S1");
  ASSERT_EQ(s1.size(), 2u);
  EXPECT_EQ(s1[1]->FoodNo(), std::optional<std::string>("F3"));  // reply order within the group
  EXPECT_EQ(s1[1]->FoodName_Cha(), std::optional<std::string>("名F3"));
  EXPECT_EQ(s1[1]->PrintType(), std::optional<std::string>("P"));
  EXPECT_EQ(s1[1]->Count(), std::optional<std::string>("1"));
  EXPECT_EQ(s1[1]->Str2(), std::optional<std::string>("y"));
}

TEST_F(RoomMessagesTest, PackageCountsAndFailures) {
  receive(MsgPackChild, {"1", "套餐已停售"});
  EXPECT_EQ(alertMessages(), Calls{"提示信息|套餐已停售"});
  receive("000000\r\n107\r\n0\r\n\r\n1");  // five parts
  EXPECT_EQ(screen.calls, Calls{});

  receive(MsgPackChild, {"0", "", "0", ""});
  ASSERT_EQ(screen.calls, Calls{"packChild"});
  EXPECT_EQ(screen.packCount, 0);
  EXPECT_FALSE(screen.packFoods);
  EXPECT_FALSE(screen.packGroups);

  // A negative count is none.
  receive(MsgPackChild, concat({{"0", "", "-3", ""}, {"S1", "主食", "1", "0", "0", "", ""}}));
  EXPECT_EQ(screen.packCount, 0);
  EXPECT_FALSE(screen.packGroups);

  // More groups announced than the reply holds, or a count past 32 bits: only the complete
  // groups, no dishes, nothing read past the end.
  for (const std::string n : {"5", "2147483647", "99999999999999999999"}) {
    SCOPED_TRACE(n);
    receive(MsgPackChild, concat({{"0", "", n, ""}, {"S1", "主食", "1", "0", "0", "", ""}, {"S2", "饮料"}}),
            FieldForm::Joined);
    EXPECT_EQ(screen.packCount, 1);
    ASSERT_TRUE(screen.packGroups);
    EXPECT_EQ(screen.packGroups->size(), 1u);
    ASSERT_TRUE(screen.packFoods);
    EXPECT_TRUE(screen.packFoods->empty());
  }
}

Fields freeFood(const std::string& set, const std::string& no) {
  return {set, no, "名" + no, "en" + no, "0", "份", "P", "0", "1", "x", "y"};
}

TEST_F(RoomMessagesTest, FreeItemSetsKeepTheirLastDish) {
  receive(MsgSelectFood, {"0", "", "1", "3", "S9", "G7", "0"});  // the basket's MultFreeCount
  screen.calls.clear();
  // The last dish ends exactly at the frame's last part: it is kept.
  receive(MsgMultFreeItems, concat({{"0", "", "2", ""},
                                    {"S1", "赠饮", "任选", "2", "0", "0", "", ""},
                                    {"S2", "赠果盘", "", "1", "0", "0", "", ""},
                                    freeFood("S1", "F1"), freeFood("S2", "F2")}),
          FieldForm::Joined);
  ASSERT_EQ(screen.calls, Calls{"packChild"});
  EXPECT_EQ(screen.packCount, 2);
  ASSERT_EQ(screen.packGroups->size(), 2u);
  EXPECT_EQ((*screen.packGroups)[0]->SetNote(), std::optional<std::string>("任选"));
  EXPECT_EQ((*screen.packGroups)[0]->CanSelectCount(), 6);  // 2 x 3
  EXPECT_EQ((*screen.packGroups)[1]->CanSelectCount(), 3);
  ASSERT_EQ(screen.packFoods->size(), 2u);
  EXPECT_EQ(screen.packFoods->at("S2")[0]->FoodNo(), std::optional<std::string>("F2"));
  EXPECT_EQ(screen.packFoods->at("S2")[0]->Price(), std::optional<std::string>("0"));

  receive("000000\r\n108\r\n0\r\n");  // four parts
  EXPECT_EQ(screen.calls.size(), 1u);
  receive(MsgMultFreeItems, {"0", "", "0"});
  EXPECT_EQ(screen.packCount, 0);
  EXPECT_FALSE(screen.packGroups);

  // Large factors multiply without overflowing.
  receive(MsgSelectFood, {"0", "", "1", "2147483647", "S9", "G7", "0"});
  receive(MsgMultFreeItems, concat({{"0", "", "1", ""}, {"S1", "赠饮", "", "2147483647", "0", "0", "", ""}}));
  EXPECT_EQ((*screen.packGroups)[0]->CanSelectCount(), int64_t{2147483647} * 2147483647);
}

// ---- Orders -------------------------------------------------------------------------------------------

TEST_F(RoomMessagesTest, OnlyAConfirmedOrderTakesItsLinesOutOfTheBasket) {
  const auto a = std::make_shared<OKFolioObject>();
  const auto b = std::make_shared<OKFolioObject>();
  basket()->foodSetArray() = {a, b};
  basket()->setOrderOut(basket()->foodSetArray());
  receive(MsgConfirmInputFood, {"1", "密码错误"});
  EXPECT_EQ(screen.confirmMessage, std::optional<std::string>("密码错误"));
  EXPECT_EQ(basket()->foodSetArray().size(), 2u);
  EXPECT_FALSE(basket()->isOrderOut());
  EXPECT_EQ(basket()->takeOrderNotice(), std::optional<std::string>("密码错误"));

  // Not "0" is not success: the basket stays, and a failure never reads as "".
  receive(MsgConfirmInputFood, {"2", "厨房打印机离线"});
  EXPECT_EQ(screen.confirmMessage, std::optional<std::string>("厨房打印机离线"));
  receive(MsgConfirmInputFood, {"1", ""});
  EXPECT_EQ(screen.confirmMessage, std::optional<std::string>("提交失败"));
  receive("000000\r\n114\r\n9");
  EXPECT_EQ(screen.confirmMessage, std::optional<std::string>("提交失败"));
  receive("000000\r\n114");
  EXPECT_EQ(screen.confirmMessage, std::optional<std::string>("提交失败"));
  EXPECT_EQ(basket()->foodSetArray().size(), 2u);

  // An acceptance of nothing of ours takes nothing.
  receive(MsgConfirmInputFood, {"0", ""});
  EXPECT_EQ(basket()->foodSetArray().size(), 2u);

  // A line put in the basket while the order was out has not been ordered: it stays.
  basket()->setOrderOut(basket()->foodSetArray());
  const auto later = std::make_shared<OKFolioObject>();
  basket()->foodSetArray().push_back(later);
  receive(MsgConfirmInputFood, {"0", "下单成功"});
  EXPECT_EQ(screen.confirmMessage, std::optional<std::string>(""));
  EXPECT_EQ(basket()->foodSetArray(), FolioList{later});
  EXPECT_FALSE(basket()->isOrderOut());
  EXPECT_EQ(screen.calls.size(), 7u);

  // With no delegate the lines leave all the same.
  basket()->setOrderOut(basket()->foodSetArray());
  handle().setDelegate(nullptr);
  receive(MsgConfirmInputFood, {"0", ""});
  EXPECT_TRUE(basket()->foodSetArray().empty());
  EXPECT_FALSE(basket()->orderNotice());
}

TEST_F(RoomMessagesTest, WhatABasketScreenMayNotHaveHeardOfAnOrderWaitsInTheBasket) {
  basket()->foodSetArray() = {std::make_shared<OKFolioObject>()};
  handle().setDelegate(nullptr);
  // A refusal: the screen that sent the order may have gone.
  basket()->setOrderOut(basket()->foodSetArray());
  receive(MsgConfirmInputFood, {"1", "落单密码错误"});
  EXPECT_FALSE(basket()->isOrderOut());
  EXPECT_EQ(basket()->takeOrderNotice(), std::optional<std::string>("落单密码错误"));
  EXPECT_FALSE(basket()->takeOrderNotice());
  // A refusal with no order out is no news to keep.
  receive(MsgConfirmInputFood, {"1", "落单密码错误"});
  EXPECT_FALSE(basket()->orderNotice());

  // The link goes, or is replaced, while an order is out: its answer will not come. The notice
  // is there before any screen hears of the change.
  std::optional<bool> outWhenHeard;
  screen.serverConnect = [&](SocketDataHandle& h, bool) { outWhenHeard = h.getTmpSelectFood()->isOrderOut(); };
  handle().setDelegate(&screen);
  for (const char* notice : {kBusServerDidDisconnect, kBusServerConnected}) {
    basket()->setOrderOut(basket()->foodSetArray());
    room().forwardNoticeCode(kBusCodeSystemMessage, notice);
    EXPECT_EQ(outWhenHeard, std::optional<bool>(false)) << notice;
    EXPECT_EQ(basket()->takeOrderNotice(), std::optional<std::string>(SocketDataHandle::OrderAnswerLostText))
        << notice;
    EXPECT_EQ(basket()->foodSetArray().size(), 1u);
  }
  // A link change with no order out tells nothing.
  room().forwardNoticeCode(kBusCodeSystemMessage, kBusServerDidDisconnect);
  EXPECT_FALSE(basket()->orderNotice());
}

TEST_F(RoomMessagesTest, BasketRepliesBeforeABindChangeNothing) {
  room().setRoomNo(std::nullopt);
  receive(MsgSelectFood, concat({{"0", "", "1", "2", "S9", "G7", "1"}, pricedLine("a")}));
  receive(MsgSelectFood, {"1", "失败"});
  receive(MsgConfirmInputFood, {"0", ""});
  EXPECT_EQ(screen.calls, Calls{});
  EXPECT_TRUE(handle().tmpSelectDict().empty());
  EXPECT_TRUE(alertMessages().empty());
}

// ---- Room state and the bill ----------------------------------------------------------------------------

TEST_F(RoomMessagesTest, RoomStateNeedsTwentySevenParts) {
  Fields state = blanks(24);  // [2] to [25]
  state[5] = "M100";          // [7]
  state[11] = "王经理";       // [13]
  receive(MsgRoomStateAndInfo, state, FieldForm::Joined);  // 26 parts
  EXPECT_EQ(room().masterID(), std::nullopt);
  EXPECT_EQ(room().receiveClerk(), std::nullopt);
  EXPECT_EQ(room().consumeMoney(), std::nullopt);
  EXPECT_EQ(screen.calls, Calls{"roomState"});

  state.push_back("388.00");  // [26]
  receive(MsgRoomStateAndInfo, state, FieldForm::Joined);
  EXPECT_EQ(room().masterID(), std::optional<std::string>("M100"));
  EXPECT_EQ(room().receiveClerk(), std::optional<std::string>("王经理"));
  EXPECT_EQ(room().consumeMoney(), std::optional<std::string>("388.00"));
  EXPECT_TRUE(logged("王经理,388.00"));
  EXPECT_EQ(screen.calls.size(), 2u);
}

TEST_F(RoomMessagesTest, BillLinesAsTheBillScreenReadsThem) {
  Fields head = blanks(25);  // [2] to [26]
  head[0] = "0";
  head[2] = "李四";   // [4]
  head[4] = "20:00";  // [6]
  head[7] = "500";    // [9]
  head[8] = "320";    // [10]
  head[10] = "300";   // [12]
  head[11] = "0";     // [13]
  Fields line = {"啤酒", "10", "6", "瓶", "0", "100", "0", "0", "张三", "20:05", "", "a", "b", "c", "d", "e"};
  const auto bill = RoomReplies::folio(
      RoomReplies::split(replyText(MsgFolio, concat({head, line, line, Fields(line.begin(), line.end() - 1)}),
                                   FieldForm::Joined)));
  EXPECT_FALSE(bill.failed);
  EXPECT_EQ(bill.bookingClerk, std::optional<std::string>("李四"));
  EXPECT_EQ(bill.checkInTime, std::optional<std::string>("20:00"));
  EXPECT_EQ(bill.minimumCharge, std::optional<std::string>("500"));
  EXPECT_EQ(bill.foodAmount, std::optional<std::string>("320"));
  EXPECT_EQ(bill.discountedAmount, std::optional<std::string>("300"));
  EXPECT_EQ(bill.overMinimum, std::optional<std::string>("0"));
  ASSERT_EQ(bill.lines.size(), 2u);
  EXPECT_EQ(bill.lines[1]->FoodName(), std::optional<std::string>("啤酒"));
  EXPECT_EQ(bill.lines[1]->InputClerk(), std::optional<std::string>("张三"));
  EXPECT_EQ(bill.lines[1]->InputTime(), std::optional<std::string>("20:05"));

  const auto failed = RoomReplies::folio(RoomReplies::split(replyText(MsgFolio, {"1", "未开房"})));
  EXPECT_TRUE(failed.failed);
  EXPECT_EQ(failed.message, std::optional<std::string>("未开房"));
  const auto cut = RoomReplies::folio(RoomReplies::split("000000\r\n109\r\n0\r\n\r\n李四"));
  EXPECT_EQ(cut.bookingClerk, std::optional<std::string>("李四"));
  EXPECT_EQ(cut.overMinimum, std::nullopt);
  EXPECT_TRUE(cut.lines.empty());
}

// ---- Staff ------------------------------------------------------------------------------------------------

TEST_F(RoomMessagesTest, StaffListOnlyOnSuccess) {
  const Fields head = {"0", "", "", ""};  // [2] to [5]
  receive(MsgGongGuanList, concat({{"1", "", "", ""}, blanks(11)}));
  EXPECT_EQ(screen.calls, Calls{});
  receive(MsgGongGuanList, concat({head, blanks(10)}), FieldForm::Joined);  // 16 parts
  ASSERT_EQ(screen.calls, Calls{"gongGuanList"});
  EXPECT_TRUE(screen.staff.empty());
  receive(MsgGongGuanList, concat({head, {"D7", "007", "小美", "李美", "四川", "0", "3", "a", "b", "c", "d"}}),
          FieldForm::Joined);  // 17
  ASSERT_EQ(screen.staff.size(), 1u);
  const GongGuanList& s = *screen.staff[0];
  EXPECT_EQ(s.DangAnID(), std::optional<std::string>("D7"));
  EXPECT_EQ(s.YiMing(), std::optional<std::string>("小美"));
  EXPECT_EQ(s.ShengFen(), std::optional<std::string>("四川"));
  EXPECT_EQ(s.CallCount(), std::optional<std::string>("3"));
  EXPECT_EQ(s.Str5(), std::optional<std::string>("d"));
}

TEST_F(RoomMessagesTest, CallsAndCancelledCalls) {
  receive(MsgGongGuanHuJiao, {"0", "呼叫成功"});
  receive(MsgCancelGongGuanHuJiao, {"0", "已取消"});
  ASSERT_EQ(screen.calls, (Calls{"huJiao", "cancelHuJiao"}));
  EXPECT_EQ(screen.huJiao->ErrorCode(), std::optional<std::string>("0"));
  EXPECT_EQ(screen.huJiao->ErrorMsg(), std::optional<std::string>("呼叫成功"));
  EXPECT_EQ(screen.cancelHuJiao->ErrorMsg(), std::optional<std::string>("已取消"));
  EXPECT_TRUE(logged("已取消"));  // the cancel reply is logged whole

  receive(MsgGongGuanHuJiao, {"1", "公关忙"});
  receive(MsgCancelGongGuanHuJiao, {"1", "无法取消"});
  EXPECT_EQ(screen.calls.size(), 2u);
  EXPECT_EQ(alertMessages(), (Calls{"提示|公关忙", "提示|无法取消"}));

  // A reply cut before its message: a result without one.
  receive("000000\r\n149\r\n2");
  EXPECT_EQ(screen.huJiao->ErrorCode(), std::optional<std::string>("2"));
  EXPECT_EQ(screen.huJiao->ErrorMsg(), std::nullopt);
}

TEST_F(RoomMessagesTest, StaffStateIsThreeWays) {
  const Fields state = {"0", "", "1", "2", "0", "1", "2", "", "", "R3", "s1", "s2"};
  receive(MsgGongGuanCurState, state, FieldForm::Joined);  // exactly 14 parts
  ASSERT_EQ(screen.calls, Calls{"curState"});
  EXPECT_EQ(screen.state->State(), std::optional<std::string>("1"));
  EXPECT_EQ(screen.state->CallCount(), std::optional<std::string>("2"));
  EXPECT_EQ(screen.state->MingRiZhiJieDingFang(), std::optional<std::string>("2"));
  EXPECT_EQ(screen.state->MingRiZhiJieDingFang_ID(), std::optional<std::string>("R3"));
  EXPECT_EQ(screen.state->Str2(), std::optional<std::string>("s2"));

  receive(MsgGongGuanCurState, Fields(state.begin(), state.end() - 1), FieldForm::Joined);  // cut short
  receive(MsgGongGuanCurState, {"2", "?"});
  EXPECT_EQ(screen.calls.size(), 1u);

  receive(MsgGongGuanCurState, {"1", "查询失败"});
  EXPECT_EQ(screen.calls.back(), "curState:nil");
  EXPECT_TRUE(runUntil([] { return AOProgressHUD::isVisible(); }, 5));
  EXPECT_EQ(AOProgressHUD::sharedView()->statusLabel()->text(), "查询失败");
  wait(0.5);  // the overlay fades in
  screenshot("staff-state-error");
}

TEST_F(RoomMessagesTest, ReservationsAnswerYesOnlyForZero) {
  receive(MsgGongGuanYuYue, {"0", ""});
  receive(MsgGongGuanYuYue, {"1", "已被预约"});
  receive(MsgCancelGongGuanYuYue, {"0"});
  receive(MsgCancelGongGuanYuYue, {"x"});
  receive("000000\r\n153");
  EXPECT_EQ(screen.calls, (Calls{"yuYue:YES", "yuYue:NO", "cancelYuYue:YES", "cancelYuYue:NO", "cancelYuYue:NO"}));
}

}  // namespace
}  // namespace kt::testing
