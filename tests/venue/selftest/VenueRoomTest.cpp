#include "venue/VenueRoom.h"

#include "venue/RoomServer.h"
#include "venue/selftest/LoopbackClient.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

using namespace venue;
using venue::selftest::LoopbackClient;
using Fields = std::vector<std::string>;

namespace {

class VenueRoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    room.install(server);
    ASSERT_TRUE(server.start());
    ASSERT_EQ(client.connect(server.port()), 0);
  }

  // Sends a request and reads the reply's parts ([0] length, [1] code, [2] result, [3] message).
  Fields ask(int code, const Fields& fields, FieldForm form = FieldForm::Terminated) {
    EXPECT_TRUE(client.write(buildFrame(code, fields, form)));
    std::optional<Frame> reply = client.readFrame();
    if (!reply) return {};
    EXPECT_TRUE(reply->crcOk);
    EXPECT_EQ(reply->code, code);
    return reply->parts;
  }

  // Request 105 as the dish popover sends it.
  Fields price(const std::string& no, const std::string& quantity) {
    return ask(105, {"0", room.identity().roomNo, no, quantity, "1"});
  }

  // Request 114 for these lines (30 fields each), joined as the basket screen sends it.
  Fields order(const std::string& password, const std::vector<Fields>& lines) {
    Fields fields{room.identity().roomNo, "3", "3", "", password, "0.00", std::to_string(lines.size()),
                  "0", "0", "", ""};
    for (const Fields& line : lines) fields.insert(fields.end(), line.begin(), line.end());
    return ask(114, fields, FieldForm::Joined);
  }

  // An order line made from the first 27 priced parts the way the basket sends it.
  static Fields orderLine(const std::string& no, const std::string& name, const std::string& price,
                          const std::string& flag, const std::string& quantity) {
    Fields line{no, name, price, flag, quantity, "1", "微辣", "", "份", "0", "011", "0", "0", "0", "0", "0",
                "260001", "", "0", "80", "", "", "", "0", price, "", "", "", "", ""};
    return line;
  }

  VenueRoom room;
  RoomServer server;
  LoopbackClient client;
};

}  // namespace

TEST(VenueMenuTest, StandardMenuIsCompleteAndBrokenMenusAreRefused) {
  const Menu& menu = Menu::standard();
  EXPECT_GE(menu.dishes().size(), 40u);
  for (const MenuDish* dish : {menu.packageDish(), menu.freeItemsDish(), menu.autoFreeDish(), menu.optionsDish(),
                               menu.plainDish()})
    ASSERT_NE(dish, nullptr);
  EXPECT_FALSE(menu.recommended().empty());
  EXPECT_EQ(menu.category("10")->name, "热菜");

  std::string error;
  EXPECT_FALSE(Menu::parse("{", &error));
  EXPECT_FALSE(Menu::parse(R"({"categories": [], "dishes": [{"no": "1", "price": "x"}]})", &error));
  EXPECT_NE(error.find("price"), std::string::npos);
  EXPECT_FALSE(Menu::parse(
      R"({"categories": [], "dishes": [{"no": "1", "price": "1", "autoFree": [{"no": "2", "count": 1}]}]})", &error));
  EXPECT_NE(error.find("unknown"), std::string::npos);
  EXPECT_FALSE(Menu::parse(R"({"categories": [], "dishes": [{"no": "1", "price": "1", "options": "9"}]})"));
  EXPECT_FALSE(Menu::parse(R"({"categories": [], "dishes": [{"no": "1", "price": "1"}, {"no": "1", "price": "2"}]})"));
  EXPECT_FALSE(Menu::load("/nonexistent/menu.json", &error));

  EXPECT_EQ(parseCents("12.5"), 1250);
  EXPECT_EQ(parseCents("38.00"), 3800);
  EXPECT_EQ(parseCents("-3"), -300);
  for (const char* bad : {"", ".", "1.234", "12a", "1e3", " 1", "99999999999999999999"})
    EXPECT_FALSE(parseCents(bad)) << bad;
  EXPECT_EQ(formatCents(1250), "12.50");
  EXPECT_EQ(formatCents(-5), "-0.05");
}

TEST_F(VenueRoomTest, DateBindAndRoomState) {
  room.setDate("2026-12-07 21:00:00");
  Fields date = ask(60, {});
  ASSERT_GE(date.size(), 5u);
  EXPECT_EQ(date[4], "2026-12-07 21:00:00");

  Fields bind = ask(100, {"", "device-1", "3", "", "", "", ""});
  ASSERT_GE(bind.size(), 9u);
  EXPECT_EQ(Fields(bind.begin() + 2, bind.begin() + 9),
            (Fields{"0", "", "8012", "8012房", "豪华包", "1", "1"}));
  EXPECT_EQ(room.boundDevices(), Fields{"device-1"});
  room.setBindRefusal("该设备未登记");
  bind = ask(100, {"", "device-2", "3", "", "", "", ""});
  EXPECT_EQ(Fields(bind.begin() + 2, bind.begin() + 4), (Fields{"1", "该设备未登记"}));
  EXPECT_EQ(room.boundDevices().size(), 1u);

  room.setReceiveClerk("");
  Fields state = ask(119, {"8012", "", "0"});
  ASSERT_GE(state.size(), 27u);
  EXPECT_EQ(state[7], "M202612070035");
  EXPECT_EQ(state[13], "");
  // The money consumed is the bill's: the room fee and six beers.
  EXPECT_EQ(state[26], "390.00");
  EXPECT_EQ(room.consumedText(), "390.00");
}

TEST_F(VenueRoomTest, CategoriesAndDishLists) {
  Fields reply = ask(103, {"0", "100", "0", "", "", "0", "", "8012"});
  const std::size_t records = (reply.size() - 7) / 7;
  ASSERT_EQ(records, room.menu().categories().size());
  EXPECT_EQ(Fields(reply.begin() + 7, reply.begin() + 11), (Fields{"10", "热菜", "1", "0"}));
  EXPECT_EQ(Fields(reply.begin() + 14, reply.begin() + 18), (Fields{"1010", "川湘风味", "2", "10"}));

  auto dishes = [&](const std::string& typeNo, const std::string& recommended) {
    return ask(104, {"0", typeNo, "1", "0", "1", "", "", "0", "8012", recommended, "1"});
  };
  reply = dishes("2010", "0");
  ASSERT_EQ((reply.size() - 7) / 16, 3u);  // a final empty part follows the records
  EXPECT_EQ(Fields(reply.begin() + 7, reply.begin() + 23),
            (Fields{"2001", "拍黄瓜", "Smashed Cucumber", "12.5", "份", "1", "0", "0", "0", "", "",
                    "2026-10-28 16:20:00", "", "", "", ""}));
  reply = dishes("5010", "0");
  EXPECT_EQ(reply[7 + 7], "1");  // IfPack of a package
  reply = dishes("", "1");
  ASSERT_EQ((reply.size() - 7) / 16, room.menu().recommended().size());
  EXPECT_EQ(reply[7], room.menu().recommended().front()->no);
  EXPECT_EQ(dishes("7777", "0").size(), 8u);  // header only
}

TEST_F(VenueRoomTest, PricingGivesLinesAutoFreeLinesAndFreeItemRounds) {
  const Menu& menu = room.menu();
  Fields plain = price(menu.plainDish()->no, "2");
  ASSERT_EQ(plain.size(), 9u + 27u + 1u);
  EXPECT_EQ(Fields(plain.begin() + 2, plain.begin() + 9), (Fields{"0", "", "0", "0", "", "260001", "1"}));
  EXPECT_EQ(plain[9], menu.plainDish()->no);
  EXPECT_EQ(plain[9 + 3], "N");
  EXPECT_EQ(plain[9 + 4], "2");

  const MenuDish& withIce = *menu.autoFreeDish();
  Fields autoFree = price(withIce.no, "3");
  ASSERT_EQ(autoFree.size(), 9u + 27u * (1 + withIce.autoFree.size()) + 1u);
  EXPECT_EQ(autoFree[7], "260002");  // a fresh group per pricing
  const std::size_t first = 9 + 27;
  EXPECT_EQ(autoFree[first], withIce.autoFree[0].foodNo);
  EXPECT_EQ(autoFree[first + 3], "F");
  EXPECT_EQ(autoFree[first + 4], std::to_string(3 * withIce.autoFree[0].perUnit));
  EXPECT_EQ(autoFree[first + 12], "1");  // AutoFreed
  EXPECT_EQ(autoFree[first + 14], withIce.no);  // ParentFoodNo

  Fields free = price(menu.freeItemsDish()->no, "2");
  EXPECT_EQ(Fields(free.begin() + 4, free.begin() + 7), (Fields{"1", "2", menu.freeItemsDish()->freeSetId}));
  // A dish that brings free items every second unit: none for one, one round for three.
  const MenuDish* everySecond = menu.find([](const MenuDish& d) { return d.freeEvery == 2; });
  ASSERT_NE(everySecond, nullptr);
  EXPECT_EQ(price(everySecond->no, "1")[4], "0");
  EXPECT_EQ(price(everySecond->no, "3")[5], "1");
  EXPECT_EQ(room.groupIds().size(), 5u);

  for (const auto& [no, quantity, message] : {std::tuple{"0000", "1", VenueRoom::kUnknownDish},
                                              std::tuple{"1001", "0", VenueRoom::kBadQuantity},
                                              std::tuple{"1001", "x", VenueRoom::kBadQuantity}}) {
    Fields refused = price(no, quantity);
    ASSERT_GE(refused.size(), 4u);
    EXPECT_EQ(refused[2], "1");
    EXPECT_EQ(refused[3], message);
  }
}

TEST_F(VenueRoomTest, OptionsPackageGroupsAndFreeItemSets) {
  const Menu& menu = room.menu();
  Fields options = ask(106, {menu.optionsDish()->optionList});
  EXPECT_EQ(Fields(options.begin() + 3, options.end()), *menu.options(menu.optionsDish()->optionList));
  EXPECT_EQ(ask(106, {""}).size(), 3u);  // no option, and no empty one

  const MenuDish& pack = *menu.packageDish();
  const std::vector<ChoiceGroup>& groups = *menu.packGroups(pack.no);
  Fields reply = ask(107, {pack.no});
  const std::size_t n = groups.size();
  ASSERT_EQ(reply[4], std::to_string(n));
  std::size_t items = 0;
  for (const ChoiceGroup& g : groups) items += g.items.size();
  ASSERT_EQ(reply.size(), 6 + 7 * n + 10 * items + 1);
  EXPECT_EQ(Fields(reply.begin() + 6, reply.begin() + 11),
            (Fields{groups[0].setId, groups[0].name, groups[0].sumCount, groups[0].countMode, groups[0].notShare}));
  const std::size_t food = 6 + 7 * n;
  EXPECT_EQ(reply[food], groups[0].setId);
  EXPECT_EQ(reply[food + 1], groups[0].items[0].foodNo);
  EXPECT_EQ(reply[food + 7], groups[0].items[0].count);
  Fields notPack = ask(107, {menu.plainDish()->no});
  EXPECT_EQ(Fields(notPack.begin() + 2, notPack.begin() + 4), (Fields{"1", VenueRoom::kNoPackage}));

  const std::vector<ChoiceGroup>& set = *menu.freeSet(menu.freeItemsDish()->freeSetId);
  reply = ask(108, {menu.freeItemsDish()->freeSetId, "1"});
  ASSERT_EQ(reply[4], std::to_string(set.size()));
  EXPECT_EQ(reply[6 + 2], set[0].note);
  const std::size_t freeFood = 6 + 8 * set.size();
  EXPECT_EQ(reply[freeFood + 1], set[0].items[0].foodNo);
  EXPECT_EQ(reply[freeFood + 4], menu.dish(set[0].items[0].foodNo)->price);
  EXPECT_EQ(ask(108, {"nope", "1"})[4], "0");
}

TEST_F(VenueRoomTest, OrdersAreCheckedRecordedAndBilled) {
  room.setPassword("8888");
  const std::size_t opening = room.billLines().size();
  const long long before = room.consumedCents();
  Fields ordered = orderLine("2001", "拍黄瓜", "12.5", "N", "2");
  Fields free = orderLine("4023", "绿茶", "12.00", "F", "6");
  Fields accepted = order("8888", {ordered, free});
  EXPECT_EQ(Fields(accepted.begin() + 2, accepted.end()), (Fields{"0", "落单成功", ""}));
  ASSERT_EQ(room.orders().size(), 1u);
  EXPECT_EQ(room.orders()[0].lines, (std::vector<Fields>{ordered, free}));
  EXPECT_EQ(room.orders()[0].header[4], "8888");
  EXPECT_EQ(room.consumedCents(), before + 2500);  // the free line counts for nothing
  ASSERT_EQ(room.billLines().size(), opening + 2);
  EXPECT_EQ(room.billLines().back().flag, "F");
  EXPECT_EQ(ask(119, {"8012", "", "0"})[26], formatCents(before + 2500));

  // Refusals keep the room as it was.
  EXPECT_EQ(order("1234", {ordered})[3], VenueRoom::kWrongPassword);
  room.refuseNextOrder("厨房已停止接单");
  EXPECT_EQ(order("8888", {ordered})[3], "厨房已停止接单");
  room.refuseNextOrder("");
  Fields silentRefusal = order("8888", {ordered});
  EXPECT_EQ(silentRefusal[2], "1");
  EXPECT_EQ(silentRefusal[3], "");
  EXPECT_EQ(order("8888", {})[3], VenueRoom::kEmptyOrder);
  Fields shortLine(ordered.begin(), ordered.begin() + 20);
  EXPECT_EQ(order("8888", {shortLine})[3], VenueRoom::kBadOrder);
  EXPECT_EQ(order("8888", {orderLine("2001", "拍黄瓜", "abc", "N", "1")})[3], VenueRoom::kBadOrder);
  EXPECT_EQ(room.orders().size(), 1u);
  EXPECT_EQ(room.consumedCents(), before + 2500);

  // Sent with a line break after the last field, the order still reads the same.
  Fields fields{"8012", "3", "3", "", "8888", "25.00", "1", "0", "0", "", ""};
  fields.insert(fields.end(), ordered.begin(), ordered.end());
  EXPECT_EQ(ask(114, fields)[2], "0");
  EXPECT_EQ(room.consumedCents(), before + 5000);
}

TEST_F(VenueRoomTest, SilentSlowAndDroppedReplies) {
  room.setSilent(119, true);
  ASSERT_TRUE(client.write(buildFrame(119, {"8012", "", "0"})));
  EXPECT_EQ(ask(60, {}).at(1), "60");  // the first reply to arrive is the date's
  room.setSilent(119, false);

  auto gate = std::make_shared<Gate>();
  room.holdAt(106, gate);
  ASSERT_TRUE(client.write(buildFrame(106, {"1"})));
  ASSERT_TRUE(gate->waitForArrived(1, 5));
  char byte;
  EXPECT_LT(::recv(client.fd(), &byte, 1, MSG_DONTWAIT | MSG_PEEK), 0);  // not answered yet
  gate->open();
  std::optional<Frame> late = client.readFrame();
  ASSERT_TRUE(late);
  EXPECT_EQ(late->fields, (Fields{"0", "微辣", "中辣", "特辣"}));

  room.dropOnNext(114);
  ASSERT_TRUE(client.write(buildFrame(114, {"8012"}, FieldForm::Joined)));
  EXPECT_TRUE(client.readsEndOfStream());
  EXPECT_TRUE(room.orders().empty());

  // The drop was for one request: the next connection is answered again.
  ASSERT_EQ(client.connect(server.port()), 0);
  EXPECT_EQ(order("1234", {orderLine("1001", "水煮牛肉", "68.00", "N", "1")})[2], "0");
}

TEST_F(VenueRoomTest, BillHasHeaderFiguresOpeningLinesAndPlacedOrders) {
  // A fresh room: the room fee, six beers and a free fruit platter.
  Fields fresh = ask(109, {"8012", "0", "", "0", "", ""});
  ASSERT_EQ(fresh.size(), VenueRoom::kBillLineStart + 3 * VenueRoom::kBillLineParts + 1);
  EXPECT_EQ(Fields(fresh.begin() + 2, fresh.begin() + 14),
            (Fields{"0", "", "王经理", "8012", "2026-12-07 19:30:00", "300.00", "90.00", "500.00", "390.00", "0.00",
                    "390.00", "0.00"}));
  EXPECT_EQ(fresh[14], "M202612070035");
  EXPECT_EQ(Fields(fresh.begin() + 27, fresh.begin() + 38),
            (Fields{"包厢费", "300.00", "1", "间", "N", "100", "0", "0", "前台", "2026-12-07 19:30:00", ""}));
  const std::size_t free = 27 + 2 * 16;
  EXPECT_EQ(fresh[free], "迎宾果盘");
  EXPECT_EQ(fresh[free + 4], "F");
  EXPECT_EQ(fresh[free + 10], "王经理");
  EXPECT_EQ(fresh[free + 12], "0.00");  // a free line counts for nothing

  // An accepted order joins the bill and moves the figures above the minimum charge; the room's
  // discount (90 %) takes its share of the order, whose own limit (80 %) lies below it, and none
  // of the room fee and the beers, which may not be discounted (100 %).
  ASSERT_EQ(order("1234", {orderLine("4011", "芝华士12年", "880.00", "N", "1"),
                           orderLine("4023", "绿茶", "12.00", "F", "6")})[2], "0");
  Fields billed = ask(109, {"8012", "0", "", "0", "", ""});
  ASSERT_EQ(billed.size(), VenueRoom::kBillLineStart + 5 * VenueRoom::kBillLineParts + 1);
  EXPECT_EQ(Fields(billed.begin() + 7, billed.begin() + 14),
            (Fields{"300.00", "970.00", "500.00", "1270.00", "88.00", "1182.00", "770.00"}));
  const std::size_t ordered = 27 + 3 * 16;
  EXPECT_EQ(Fields(billed.begin() + ordered, billed.begin() + ordered + 11),
            (Fields{"芝华士12年", "880.00", "1", "份", "N", "80", "0", "0", VenueRoom::kInputClerk,
                    room.orders()[0].time, ""}));
  EXPECT_EQ(billed[ordered + 16 + 10], "系统");
  const BillFigures f = room.billFigures();
  EXPECT_EQ(f.consumption, 127000);
  EXPECT_EQ(f.afterDiscount, 118200);
  EXPECT_EQ(f.overLowLimit, 77000);
  // The consumption is the sum of the lines' amounts, and the room state reports it too.
  long long lineSum = 0;
  const std::size_t step = VenueRoom::kBillLineParts;
  for (std::size_t s = VenueRoom::kBillLineStart; s + step <= billed.size(); s += step) lineSum += *parseCents(billed[s + 12]);
  EXPECT_EQ(lineSum, f.consumption);
  EXPECT_EQ(ask(119, {"8012", "", "0"})[26], "1270.00");

  // A returned line and other terms.
  std::vector<BillLine> opening{{VenueRoom::kRoomFeeNo, "包厢费", "200", "2", "小时", "N", "100", "0", "0", "前台", "t", ""},
                                {"4001", "青岛啤酒", "15.00", "4", "瓶", "N", "100", "0", "1", "前台", "t", ""}};
  room.setOpeningLines(opening);
  room.setBillTerms({"2026-12-08 20:00:00", 0, 100});
  Fields terms = ask(109, {"8012", "0", "", "0", "", ""});
  EXPECT_EQ(Fields(terms.begin() + 6, terms.begin() + 14),
            (Fields{"2026-12-08 20:00:00", "400.00", "880.00", "0.00", "1280.00", "0.00", "1280.00", "1280.00"}));
  // A discount deeper than the order's limit stops at the limit.
  room.setBillTerms({"2026-12-08 20:00:00", 200000, 50});
  terms = ask(109, {"8012", "0", "", "0", "", ""});
  EXPECT_EQ(Fields(terms.begin() + 9, terms.begin() + 14),
            (Fields{"2000.00", "1280.00", "176.00", "1104.00", "0.00"}));
  EXPECT_EQ(terms[27 + 16 + 7], "1");

  // Refusals: on request (once), and for another room.
  room.refuseNext(109, "账单暂不可用");
  Fields refused = ask(109, {"8012", "0", "", "0", "", ""});
  EXPECT_EQ(Fields(refused.begin() + 2, refused.end()), (Fields{"1", "账单暂不可用", ""}));
  EXPECT_EQ(ask(109, {"8012", "0", "", "0", "", ""})[2], "0");
  EXPECT_EQ(ask(109, {"9999", "0", "", "0", "", ""})[3], VenueRoom::kWrongRoom);
}

namespace {

// One member's record of a 147 reply (11 parts from part 6), or an empty list.
Fields staffRecord(const Fields& reply, const std::string& id) {
  for (std::size_t s = 6; s + 11 <= reply.size(); s += 11) {
    if (reply[s] == id) return Fields(reply.begin() + static_cast<std::ptrdiff_t>(s),
                                      reply.begin() + static_cast<std::ptrdiff_t>(s) + 11);
  }
  return {};
}

// State and calls waiting of one member in a 147 reply.
Fields stateAndCalls(const Fields& reply, const std::string& id) {
  Fields record = staffRecord(reply, id);
  return record.size() == 11 ? Fields{record[5], record[6]} : Fields{};
}

}  // namespace

TEST_F(VenueRoomTest, StaffListCallsAndCancels) {
  auto list = [&] { return ask(147, {"0", "1", "8012"}, FieldForm::Joined); };
  Fields staff = list();
  ASSERT_EQ(staff.size(), 6 + 11 * room.staff()->members().size());
  EXPECT_GE(room.staff()->members().size(), 12u);
  EXPECT_EQ(staffRecord(staff, "1001"),
            (Fields{"1001", "0012", "小雪", "李雪梅", "四川", "0", "0", "", "", "", ""}));
  EXPECT_EQ(staffRecord(staff, "1003")[5], "1");                    // busy
  EXPECT_EQ(stateAndCalls(staff, "1004"), (Fields{"2", "1"}));      // another room waits

  auto call = [&](int code, const std::string& id) { return ask(code, {id, "8012", "", ""}, FieldForm::Joined); };
  EXPECT_EQ(call(149, "1001")[2], "0");
  EXPECT_EQ(stateAndCalls(list(), "1001"), (Fields{"3", "1"}));
  EXPECT_EQ(call(149, "1001")[3], VenueStaff::kAlreadyCalled);
  EXPECT_EQ(call(149, "1004")[2], "0");  // calling again where others wait
  EXPECT_EQ(stateAndCalls(list(), "1004"), (Fields{"3", "2"}));
  EXPECT_EQ(call(149, "1003")[3], VenueStaff::kBusy);
  EXPECT_EQ(call(149, "nobody")[3], VenueStaff::kUnknownMember);
  // Another room sees the member as waiting, not as called by itself.
  EXPECT_EQ(staffRecord(ask(147, {"0", "1", "8066"}, FieldForm::Joined), "1001")[5], "2");

  EXPECT_EQ(call(150, "1001")[2], "0");
  EXPECT_EQ(staffRecord(list(), "1001")[5], "0");
  EXPECT_EQ(call(150, "1001")[3], VenueStaff::kNoCall);

  room.refuseNext(149, "公关休息中");
  Fields refused = call(149, "1002");
  EXPECT_EQ(Fields(refused.begin() + 2, refused.begin() + 4), (Fields{"1", "公关休息中"}));
  EXPECT_EQ(staffRecord(list(), "1002")[5], "0");
  room.refuseNext(147, "");
  EXPECT_EQ(list().at(2), "1");
}

TEST_F(VenueRoomTest, ReservationOfEachKindAndItsCancel) {
  const std::string master = "M202612070035";
  auto state = [&](const std::string& id, const std::string& m) { return ask(151, {id, m, "", ""}, FieldForm::Joined); };
  Fields before = state("1003", master);
  ASSERT_EQ(before.size(), 14u);
  EXPECT_EQ(Fields(before.begin() + 2, before.end()),
            (Fields{"0", "", "1", "0", "0", "0", "0", "", "", "", "", ""}));

  for (std::size_t kind = 0; kind < VenueStaff::kKinds; ++kind) {
    SCOPED_TRACE(kind);
    Fields reserved = ask(152, {"1003", master, "8012", std::to_string(kind), "", "", "", ""}, FieldForm::Joined);
    ASSERT_EQ(reserved.size(), 5u);
    ASSERT_EQ(reserved[2], "0");
    const std::string id = reserved[4];
    Fields held = state("1003", master);
    EXPECT_EQ(held[6 + kind], "2");
    EXPECT_EQ(held[9 + kind], id);
    // Another booking sees the slot taken and no id.
    Fields other = state("1003", "M-other");
    EXPECT_EQ(other[6 + kind], "1");
    EXPECT_EQ(other[9 + kind], "");
    // One appointment per booking and member.
    EXPECT_EQ(ask(152, {"1003", master, "8012", std::to_string((kind + 1) % 3), "", "", "", ""}, FieldForm::Joined)[3],
              VenueStaff::kHasReservation);

    EXPECT_EQ(ask(153, {"1003", id, "", ""}, FieldForm::Joined)[2], "0");
    EXPECT_EQ(state("1003", master)[6 + kind], "0");
    EXPECT_EQ(ask(153, {"1003", id, "", ""}, FieldForm::Joined)[3], VenueStaff::kNoReservation);
  }

  // A room booked for tomorrow by another guest takes every slot.
  Fields booked = state("1008", master);
  EXPECT_EQ(Fields(booked.begin() + 6, booked.begin() + 9), (Fields{"1", "1", "1"}));
  EXPECT_EQ(ask(152, {"1008", master, "8012", "0", "", "", "", ""}, FieldForm::Joined)[3], VenueStaff::kSlotTaken);
  // Tomorrow's room is not offered while another appointment is held.
  EXPECT_EQ(state("1012", master)[8], "0");
  EXPECT_EQ(ask(152, {"1012", master, "8012", "2", "", "", "", ""}, FieldForm::Joined)[3], VenueStaff::kSlotTaken);

  EXPECT_EQ(ask(152, {"1003", "", "8012", "0", "", "", "", ""}, FieldForm::Joined)[3], VenueStaff::kNoBooking);
  EXPECT_EQ(ask(152, {"1003", master, "8012", "3", "", "", "", ""}, FieldForm::Joined)[3], VenueStaff::kBadKind);
  EXPECT_EQ(ask(152, {"1003", master, "8012", "", "", "", "", ""}, FieldForm::Joined)[3], VenueStaff::kBadKind);
  Fields unknown = state("nobody", master);
  EXPECT_EQ(Fields(unknown.begin() + 2, unknown.begin() + 4), (Fields{"1", VenueStaff::kUnknownMember}));

  // The member's call state as this room's booking sees it.
  ASSERT_EQ(ask(149, {"1001", "8012", "", ""}, FieldForm::Joined)[2], "0");
  Fields called = state("1001", master);
  EXPECT_EQ(Fields(called.begin() + 4, called.begin() + 6), (Fields{"3", "1"}));
  EXPECT_EQ(state("1001", "")[4], "2");
}

TEST_F(VenueRoomTest, StaffFaultsDropAndSilence) {
  room.setSilent(151, true);
  ASSERT_TRUE(client.write(buildFrame(151, {"1003", "M202612070035", "", ""}, FieldForm::Joined)));
  EXPECT_EQ(ask(147, {"0", "1", "8012"}, FieldForm::Joined).at(2), "0");  // the first reply is the list's
  room.clearFaults();

  room.dropOnNext(152);
  ASSERT_TRUE(client.write(buildFrame(152, {"1003", "M202612070035", "8012", "0", "", "", "", ""}, FieldForm::Joined)));
  EXPECT_TRUE(client.readsEndOfStream());
  EXPECT_EQ(VenueStaff::slotFor(*room.staff()->member("1003"), 0, "M202612070035"), "0");  // nothing reserved
}

TEST(VenueStaffTest, StandardStaffAndBrokenFilesAreRefused) {
  std::shared_ptr<VenueStaff> staff = VenueStaff::standard();
  ASSERT_EQ(staff->members().size(), 12u);
  EXPECT_NE(staff.get(), VenueStaff::standard().get());  // every venue gets its own
  EXPECT_EQ(staff->photoIndex("1004", "P3.png"), 3u);
  EXPECT_FALSE(staff->photoIndex("1004", "p3.png"));

  std::string error;
  EXPECT_FALSE(VenueStaff::parse("[]", &error));
  EXPECT_FALSE(VenueStaff::parse(R"({"staff": [{"id": "1"}, {"id": "1"}]})", &error));
  EXPECT_NE(error.find("repeated"), std::string::npos);
  EXPECT_FALSE(VenueStaff::parse(R"({"staff": [{"id": "1", "reserved": [{"kind": "3"}]}]})"));
  EXPECT_FALSE(VenueStaff::parse(R"({"staff": [{"id": "1", "busy": "yes"}]})"));
  EXPECT_FALSE(VenueStaff::load("/nonexistent/staff.json"));
}
