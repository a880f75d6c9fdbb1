#include "venue/VenueRoom.h"

#include "venue/RoomServer.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <mutex>
#include <set>

namespace venue {

struct VenueRoom::State {
  State(const Menu& m, std::shared_ptr<VenueStaff> st) : menu(m), staff(std::move(st)) {}

  const Menu menu;
  const std::shared_ptr<VenueStaff> staff;
  mutable std::mutex mutex;
  RoomIdentity identity;
  std::optional<std::string> bindRefusal;
  std::vector<std::string> boundDevices;
  std::optional<std::string> date;
  std::string masterId = "M202612070035";
  std::string receiveClerk = "王经理";
  long long nextGroup = 260001;
  std::vector<std::string> groupIds;
  std::string password = "1234";
  std::vector<PlacedOrder> orders;
  BillTerms terms;
  std::vector<BillLine> opening;
  std::vector<BillLine> bill;  // the lines of the accepted orders
  std::set<int> dropNext;
  std::set<int> silent;
  std::map<int, std::shared_ptr<Gate>> gates;
  std::map<int, std::string> refusals;
};

namespace {

using Fields = std::vector<std::string>;

std::string now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

// A whole number of at most six digits ("3"), else std::nullopt.
std::optional<long long> count(const std::string& text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

Reply reply(Fields fields, FieldForm form = FieldForm::Terminated) {
  Reply r;
  r.fields = std::move(fields);
  r.form = form;
  return r;
}

Reply refused(const std::string& message) { return reply({"1", message}); }

void append(Fields& to, const Fields& from) { to.insert(to.end(), from.begin(), from.end()); }

// --- replies ------------------------------------------------------------------------------------

Reply date(const VenueRoom::State& s) { return reply({"0", "", s.date.value_or(now())}); }

Reply bind(VenueRoom::State& s, const Frame& request) {
  if (s.bindRefusal) return refused(*s.bindRefusal);
  s.boundDevices.push_back(request.field(1));
  const RoomIdentity& id = s.identity;
  return reply({"0", "", id.roomNo, id.roomName, id.roomType, id.printId, id.priceId});
}

// 103: header, then 7 parts per category from part 7.
Reply categories(const VenueRoom::State& s) {
  const std::vector<MenuCategory>& list = s.menu.categories();
  Fields f{"0", "", std::to_string(list.size()), "0", ""};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const MenuCategory& c = list[i];
    append(f, {c.typeNo, c.name, c.level, c.parentNo, std::to_string(i + 1), c.printerNo, ""});
  }
  return reply(std::move(f));
}

// 104: header, then 16 parts per dish from part 7. The recommended form has "1" in field 10.
Reply dishes(const VenueRoom::State& s, const Frame& request) {
  std::vector<const MenuDish*> list =
      request.field(9) == "1" ? s.menu.recommended() : s.menu.dishesOf(request.field(1));
  Fields f{"0", "", std::to_string(list.size()), "1", ""};
  for (const MenuDish* d : list)
    append(f, {d->no, d->nameChs, d->nameEng, d->price, d->monad, "1", "0", d->pack ? "1" : "0", "0",
               d->optionList, "", d->imageTime, "", "", "", ""});
  return reply(std::move(f));
}

// One priced line of reply 105 (27 parts).
Fields pricedLine(const MenuDish& d, long long quantity, const MenuDish* parent) {
  const bool free = parent != nullptr;
  const std::string q = std::to_string(quantity);
  return {d.no, d.nameChs, d.price, free ? "F" : "N", q,
          !free && d.canDiscount ? "1" : "0", d.monad, "0", d.printerNo, "0",
          d.pack ? "1" : "0", "0", free ? "1" : "0", free ? q : "0", free ? parent->no : "",
          "0", "", d.canDiscount ? "80" : "100", "0", free ? "自动赠送" : "",
          d.price, "0", "0", "", "", "", ""};
}

// 105: asks "0", room, dish, quantity, "1". Header parts 4 to 8, then 27 parts per line.
Reply price(VenueRoom::State& s, const Frame& request) {
  const MenuDish* dish = s.menu.dish(request.field(2));
  if (!dish) return refused(VenueRoom::kUnknownDish);
  std::optional<long long> quantity = count(request.field(3));
  if (!quantity || *quantity < 1) return refused(VenueRoom::kBadQuantity);

  std::string groupId = std::to_string(s.nextGroup++);
  s.groupIds.push_back(groupId);
  long long rounds = dish->freeEvery > 0 ? *quantity / dish->freeEvery : 0;
  Fields lines = pricedLine(*dish, *quantity, nullptr);
  std::size_t lineCount = 1;
  for (const AutoFreeItem& item : dish->autoFree) {
    append(lines, pricedLine(*s.menu.dish(item.foodNo), *quantity * item.perUnit, dish));
    ++lineCount;
  }
  Fields f{"0", "", rounds > 0 ? "1" : "0", std::to_string(rounds), rounds > 0 ? dish->freeSetId : "",
           groupId, std::to_string(lineCount)};
  append(f, lines);
  return reply(std::move(f));
}

// 106: the option texts from part 3, with no line break after the last (which would read as an
// empty option).
Reply options(const VenueRoom::State& s, const Frame& request) {
  Fields f{"0"};
  if (const std::vector<std::string>* list = s.menu.options(request.field(0))) append(f, *list);
  return reply(std::move(f), FieldForm::Joined);
}

// 107 (package groups: 7 parts, dishes: 10 parts) and 108 (free-item sets: 8 parts, dishes:
// 11 parts with the price).
Reply groups(const VenueRoom::State& s, const std::vector<ChoiceGroup>* list, bool freeItems) {
  if (!list) return reply({"0", "", "0", "0"});
  Fields groupParts;
  Fields itemParts;
  std::size_t items = 0;
  for (const ChoiceGroup& g : *list) {
    if (freeItems)
      append(groupParts, {g.setId, g.name, g.note, g.sumCount, g.countMode, g.notShare, "", ""});
    else
      append(groupParts, {g.setId, g.name, g.sumCount, g.countMode, g.notShare, "", ""});
    for (const GroupItem& item : g.items) {
      const MenuDish& d = *s.menu.dish(item.foodNo);
      Fields parts{g.setId, d.no, d.nameChs, d.nameEng};
      if (freeItems) parts.push_back(d.price);
      append(parts, {d.monad, d.printerNo, "0", item.count, "", ""});
      append(itemParts, parts);
      ++items;
    }
  }
  Fields f{"0", "", std::to_string(list->size()), std::to_string(items)};
  append(f, groupParts);
  append(f, itemParts);
  return reply(std::move(f));
}

Reply packGroups(const VenueRoom::State& s, const Frame& request) {
  const MenuDish* dish = s.menu.dish(request.field(0));
  if (!dish || !dish->pack) return refused(VenueRoom::kNoPackage);
  return groups(s, s.menu.packGroups(dish->no), false);
}

// 114: 11 header fields (room, "3", "3", "", password, amount, line count, ...) then 30 per line,
// joined with no line break after the last field.
Reply order(VenueRoom::State& s, const Frame& request) {
  Fields f;
  if (request.parts.size() > 2) f.assign(request.parts.begin() + 2, request.parts.end());
  if (f.size() < VenueRoom::kOrderHeaderFields) return refused(VenueRoom::kBadOrder);
  if (f[4] != s.password) return refused(VenueRoom::kWrongPassword);
  if (f[0] != s.identity.roomNo) return refused(VenueRoom::kWrongRoom);
  std::optional<long long> lineCount = count(f[6]);
  if (!lineCount) return refused(VenueRoom::kBadOrder);
  if (*lineCount == 0) return refused(VenueRoom::kEmptyOrder);
  const std::size_t expected =
      VenueRoom::kOrderHeaderFields + static_cast<std::size_t>(*lineCount) * VenueRoom::kOrderLineFields;
  // Sent with a line break after the last field, the split leaves one empty piece more.
  if (f.size() == expected + 1 && f.back().empty()) f.pop_back();
  if (f.size() != expected) return refused(VenueRoom::kBadOrder);

  PlacedOrder placed;
  placed.header.assign(f.begin(), f.begin() + VenueRoom::kOrderHeaderFields);
  placed.time = s.date.value_or(now());
  for (auto it = f.begin() + VenueRoom::kOrderHeaderFields; it != f.end(); it += VenueRoom::kOrderLineFields) {
    Fields line(it, it + VenueRoom::kOrderLineFields);
    std::optional<long long> cents = parseCents(line[VenueRoom::kPrice]);
    std::optional<long long> quantity = count(line[VenueRoom::kQuantity]);
    if (!cents || !quantity || *cents < 0 || *cents > 100'000'000 || line[VenueRoom::kFoodNo].empty())
      return refused(VenueRoom::kBadOrder);
    if (line[VenueRoom::kFlag] != "F") placed.amountCents += *cents * *quantity;
    placed.lines.push_back(std::move(line));
  }

  for (const Fields& line : placed.lines) {
    const bool free = line[VenueRoom::kFlag] == "F";
    s.bill.push_back({line[VenueRoom::kFoodNo], line[VenueRoom::kFoodName], line[VenueRoom::kPrice],
                      line[VenueRoom::kQuantity], line[VenueRoom::kMonad], line[VenueRoom::kFlag],
                      line[VenueRoom::kLimitDisRate], line[VenueRoom::kIfPackChild], "0",
                      VenueRoom::kInputClerk, placed.time, free ? "系统" : ""});
  }
  s.orders.push_back(std::move(placed));
  return reply({"0", "落单成功"});
}

// --- the bill -----------------------------------------------------------------------------------

std::vector<BillLine> allLines(const VenueRoom::State& s) {
  std::vector<BillLine> lines = s.opening;
  lines.insert(lines.end(), s.bill.begin(), s.bill.end());
  return lines;
}

// price x quantity in cents; 0 for a free or returned line or one that does not read as money.
long long amountOf(const BillLine& line) {
  if (line.flag == "F" || line.returnFlag == "1") return 0;
  std::optional<long long> cents = parseCents(line.price);
  std::optional<long long> quantity = count(line.quantity);
  return cents && quantity ? *cents * *quantity : 0;
}

long long percentOf(long long cents, long long percent) { return (cents * percent + 50) / 100; }

// The percentage a line is charged at: the room's discount, held up by the line's own limit.
long long chargedPercent(const BillLine& line, int discountPercent) {
  const long long limit = std::min<long long>(count(line.limitDisRate).value_or(0), 100);
  return std::clamp<long long>(std::max<long long>(discountPercent, limit), 0, 100);
}

BillFigures figures(const VenueRoom::State& s) {
  BillFigures f;
  for (const BillLine& line : allLines(s)) {
    const long long amount = amountOf(line);
    (line.foodNo == VenueRoom::kRoomFeeNo ? f.roomFee : f.food) += amount;
    f.discount += amount - percentOf(amount, chargedPercent(line, s.terms.discountPercent));
  }
  f.consumption = f.roomFee + f.food;
  f.afterDiscount = f.consumption - f.discount;
  f.lowLimit = s.terms.lowLimitCents;
  f.overLowLimit = f.consumption > f.lowLimit ? f.consumption - f.lowLimit : 0;
  return f;
}

// 119: at least 27 parts; the master id at part 7, the receiving clerk at 13, the money consumed
// (the bill's consumption) at 26.
Reply roomState(const VenueRoom::State& s) {
  const RoomIdentity& id = s.identity;
  const BillFigures f = figures(s);
  return reply({"0", "", id.roomNo, id.roomName, id.roomType, s.masterId, "1", s.terms.checkInTime,
                formatCents(f.roomFee), "6", "", s.receiveClerk, "", id.priceId, "100", "0", "0.00", "", "", "", "",
                "", "", "", formatCents(f.consumption)});
}

// 109: asks room, "0", "", "0", "", "". The header figures in parts 4 to 26, then 16 parts per line
// from part 27: the minimum charge at 9, the consumption at 10, after the discount at 12 and the
// consumption over the minimum charge at 13, which the tablet shows; the room fee, the food and
// the discount itself at 7, 8 and 11.
Reply bill(const VenueRoom::State& s, const Frame& request) {
  const RoomIdentity& id = s.identity;
  if (request.field(0) != id.roomNo) return refused(VenueRoom::kWrongRoom);
  const BillFigures f = figures(s);
  const std::vector<BillLine> lines = allLines(s);
  Fields out{"0", "",
             s.receiveClerk, id.roomNo, s.terms.checkInTime, formatCents(f.roomFee), formatCents(f.food),
             formatCents(f.lowLimit), formatCents(f.consumption), formatCents(f.discount), formatCents(f.afterDiscount),
             formatCents(f.overLowLimit), s.masterId, id.roomName, id.roomType, std::to_string(lines.size()),
             std::to_string(s.terms.discountPercent)};
  out.resize(VenueRoom::kBillLineStart - 2);  // parts 19 to 26 are empty
  for (const BillLine& l : lines)
    append(out, {l.foodName, l.price, l.quantity, l.monad, l.flag, l.limitDisRate, l.ifPackChild, l.returnFlag,
                 l.inputClerk, l.inputTime, l.freeClerk, l.foodNo, formatCents(amountOf(l)), "", "", ""});
  return reply(std::move(out));
}

std::vector<BillLine> openingLines(const std::string& time) {
  return {{VenueRoom::kRoomFeeNo, "包厢费", "300.00", "1", "间", "N", "100", "0", "0", "前台", time, ""},
          {"4001", "青岛啤酒", "15.00", "6", "瓶", "N", "100", "0", "0", "前台", time, ""},
          {"6001", "迎宾果盘", "0", "1", "份", "F", "100", "0", "0", "前台", time, "王经理"}};
}

// --- the staff ----------------------------------------------------------------------------------

Reply done(const std::string& refusal, const std::string& success) {
  return refusal.empty() ? reply({"0", success}) : refused(refusal);
}

// 147: asks "0", "1", room. 11 parts per member from part 6, states as that room sees them.
Reply staffList(const VenueRoom::State& s, const Frame& request) {
  const std::vector<StaffMember> members = s.staff->members();
  Fields f{"0", "", std::to_string(members.size()), ""};
  for (const StaffMember& m : members)
    append(f, {m.id, m.number, m.stageName, m.fullName, m.province, VenueStaff::stateFor(m, request.field(2)),
               std::to_string(m.calls.size()), "", "", "", ""});
  return reply(std::move(f), FieldForm::Joined);
}

// 151: asks member, master id. State, calls waiting, the three slots, their reservation ids (only
// of this booking's own), then two spare parts.
Reply memberState(const VenueRoom::State& s, const Frame& request) {
  std::optional<StaffMember> m = s.staff->member(request.field(0));
  if (!m) return refused(VenueStaff::kUnknownMember);
  const std::string master = request.field(1);
  // The booking's room, when it is this room's booking.
  const std::string room = !master.empty() && master == s.masterId ? s.identity.roomNo : "";
  Fields f{"0", "", VenueStaff::stateFor(*m, room), std::to_string(m->calls.size())};
  for (std::size_t kind = 0; kind < VenueStaff::kKinds; ++kind) f.push_back(VenueStaff::slotFor(*m, kind, master));
  for (std::size_t kind = 0; kind < VenueStaff::kKinds; ++kind)
    f.push_back(VenueStaff::slotFor(*m, kind, master) == "2" ? m->slots[kind].id : "");
  append(f, {"", ""});
  return reply(std::move(f), FieldForm::Joined);
}

// 152: asks member, master id, room, kind, then four "". The new reservation id follows the message.
Reply reserve(const VenueRoom::State& s, const Frame& request) {
  std::string id;
  std::string refusal = s.staff->reserve(request.field(0), request.field(1), request.field(2), request.field(3), &id);
  if (!refusal.empty()) return refused(refusal);
  return reply({"0", "预约成功", id}, FieldForm::Joined);
}

std::optional<Reply> build(VenueRoom::State& s, int code, const Frame& request) {
  switch (code) {
    case 60: return date(s);
    case 100: return bind(s, request);
    case 103: return categories(s);
    case 104: return dishes(s, request);
    case 105: return price(s, request);
    case 106: return options(s, request);
    case 107: return packGroups(s, request);
    case 108: return groups(s, s.menu.freeSet(request.field(0)), true);
    case 109: return bill(s, request);
    case 114: return order(s, request);
    case 119: return roomState(s);
    case 147: return staffList(s, request);
    case 149: return done(s.staff->call(request.field(0), request.field(1)), "呼叫成功");
    case 150: return done(s.staff->cancelCall(request.field(0), request.field(1)), "取消呼叫成功");
    case 151: return memberState(s, request);
    case 152: return reserve(s, request);
    case 153: return done(s.staff->cancelReservation(request.field(0), request.field(1)), "取消预约成功");
    default: return std::nullopt;
  }
}

constexpr int kCodes[] = {60, 100, 103, 104, 105, 106, 107, 108, 109, 114, 119, 147, 149, 150, 151, 152, 153};

}  // namespace

VenueRoom::VenueRoom(const Menu& menu, std::shared_ptr<VenueStaff> staff)
    : m_state(std::make_shared<State>(menu, staff ? std::move(staff) : std::make_shared<VenueStaff>())) {
  m_state->opening = openingLines(m_state->terms.checkInTime);
}

VenueRoom::~VenueRoom() = default;

void VenueRoom::install(RoomServer& server) {
  for (int code : kCodes) {
    server.setReplyHandler(code, [state = m_state, code](const Frame& request) -> std::optional<Reply> {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (state->dropNext.erase(code)) {
        Reply drop;
        drop.raw = std::string();
        drop.closeAfter = true;
        return drop;
      }
      if (state->silent.count(code)) return std::nullopt;
      std::optional<Reply> answer;
      if (auto refusal = state->refusals.find(code); refusal != state->refusals.end()) {
        answer = refused(refusal->second);
        state->refusals.erase(refusal);
      } else {
        answer = build(*state, code, request);
      }
      // A gate holds every reply of its code, a refusal as well.
      auto gate = state->gates.find(code);
      if (answer && gate != state->gates.end()) answer->gate = gate->second;
      return answer;
    });
  }
}

const Menu& VenueRoom::menu() const { return m_state->menu; }

std::unique_lock<std::mutex> VenueRoom::locked() const { return std::unique_lock<std::mutex>(m_state->mutex); }

RoomIdentity VenueRoom::identity() const { auto lock = locked(); return m_state->identity; }
void VenueRoom::setIdentity(RoomIdentity identity) { auto lock = locked(); m_state->identity = std::move(identity); }
void VenueRoom::setBindRefusal(std::optional<std::string> message) {
  auto lock = locked();
  m_state->bindRefusal = std::move(message);
}
std::vector<std::string> VenueRoom::boundDevices() const { auto lock = locked(); return m_state->boundDevices; }
void VenueRoom::setDate(std::optional<std::string> text) { auto lock = locked(); m_state->date = std::move(text); }
void VenueRoom::setMasterId(std::string id) { auto lock = locked(); m_state->masterId = std::move(id); }
void VenueRoom::setReceiveClerk(std::string clerk) { auto lock = locked(); m_state->receiveClerk = std::move(clerk); }
std::vector<std::string> VenueRoom::groupIds() const { auto lock = locked(); return m_state->groupIds; }
std::string VenueRoom::password() const { auto lock = locked(); return m_state->password; }
void VenueRoom::setPassword(std::string password) { auto lock = locked(); m_state->password = std::move(password); }
void VenueRoom::refuseNextOrder(std::string message) { refuseNext(114, std::move(message)); }
void VenueRoom::refuseNext(int code, std::string message) { auto lock = locked(); m_state->refusals[code] = std::move(message); }
std::vector<PlacedOrder> VenueRoom::orders() const { auto lock = locked(); return m_state->orders; }
std::vector<BillLine> VenueRoom::billLines() const { auto lock = locked(); return allLines(*m_state); }
void VenueRoom::setOpeningLines(std::vector<BillLine> lines) { auto lock = locked(); m_state->opening = std::move(lines); }
BillTerms VenueRoom::billTerms() const { auto lock = locked(); return m_state->terms; }
void VenueRoom::setBillTerms(BillTerms terms) { auto lock = locked(); m_state->terms = std::move(terms); }
BillFigures VenueRoom::billFigures() const { auto lock = locked(); return figures(*m_state); }
std::shared_ptr<VenueStaff> VenueRoom::staff() const { return m_state->staff; }
long long VenueRoom::consumedCents() const { auto lock = locked(); return figures(*m_state).consumption; }
std::string VenueRoom::consumedText() const { return formatCents(consumedCents()); }
void VenueRoom::dropOnNext(int code) { auto lock = locked(); m_state->dropNext.insert(code); }

void VenueRoom::setSilent(int code, bool silent) {
  auto lock = locked();
  if (silent)
    m_state->silent.insert(code);
  else
    m_state->silent.erase(code);
}

void VenueRoom::holdAt(int code, std::shared_ptr<Gate> gate) {
  auto lock = locked();
  if (gate)
    m_state->gates[code] = std::move(gate);
  else
    m_state->gates.erase(code);
}

void VenueRoom::clearFaults() {
  auto lock = locked();
  m_state->dropNext.clear();
  m_state->silent.clear();
  m_state->gates.clear();
  m_state->refusals.clear();
}

}  // namespace venue
