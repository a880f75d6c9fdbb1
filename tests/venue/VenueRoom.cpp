#include "venue/VenueRoom.h"

#include "venue/RoomServer.h"

#include <ctime>
#include <map>
#include <mutex>
#include <set>

namespace venue {

struct VenueRoom::State {
  explicit State(const Menu& m) : menu(m) {}

  const Menu menu;
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
  std::optional<std::string> refusal;
  std::vector<PlacedOrder> orders;
  std::vector<BillLine> bill;
  long long consumedCents = 0;
  std::set<int> dropNext;
  std::set<int> silent;
  std::map<int, std::chrono::milliseconds> delays;
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
  if (s.refusal) {
    std::string message = *s.refusal;
    s.refusal.reset();
    return refused(message);
  }
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
  s.consumedCents += placed.amountCents;
  s.orders.push_back(std::move(placed));
  return reply({"0", "落单成功"});
}

// 119: at least 27 parts; the master id at part 7, the receiving clerk at 13, the money consumed
// at 26.
Reply roomState(const VenueRoom::State& s) {
  const RoomIdentity& id = s.identity;
  return reply({"0", "", id.roomNo, id.roomName, id.roomType, s.masterId, "1", "2026-12-07 19:30:00",
                "300.00", "6", "", s.receiveClerk, "", id.priceId, "100", "0", "0.00", "", "", "", "",
                "", "", "", formatCents(s.consumedCents)});
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
    case 114: return order(s, request);
    case 119: return roomState(s);
    default: return std::nullopt;
  }
}

constexpr int kCodes[] = {60, 100, 103, 104, 105, 106, 107, 108, 114, 119};

}  // namespace

VenueRoom::VenueRoom(const Menu& menu) : m_state(std::make_shared<State>(menu)) {}

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
      std::optional<Reply> answer = build(*state, code, request);
      auto delay = state->delays.find(code);
      if (answer && delay != state->delays.end()) answer->delay = delay->second;
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
void VenueRoom::refuseNextOrder(std::string message) { auto lock = locked(); m_state->refusal = std::move(message); }
std::vector<PlacedOrder> VenueRoom::orders() const { auto lock = locked(); return m_state->orders; }
std::vector<BillLine> VenueRoom::billLines() const { auto lock = locked(); return m_state->bill; }
long long VenueRoom::consumedCents() const { auto lock = locked(); return m_state->consumedCents; }
std::string VenueRoom::consumedText() const { return formatCents(consumedCents()); }
void VenueRoom::setConsumedCents(long long cents) { auto lock = locked(); m_state->consumedCents = cents; }
void VenueRoom::dropOnNext(int code) { auto lock = locked(); m_state->dropNext.insert(code); }

void VenueRoom::setSilent(int code, bool silent) {
  auto lock = locked();
  if (silent)
    m_state->silent.insert(code);
  else
    m_state->silent.erase(code);
}

void VenueRoom::setDelay(int code, std::chrono::milliseconds delay) {
  auto lock = locked();
  if (delay.count() > 0)
    m_state->delays[code] = delay;
  else
    m_state->delays.erase(code);
}

void VenueRoom::clearFaults() {
  auto lock = locked();
  m_state->dropNext.clear();
  m_state->silent.clear();
  m_state->delays.clear();
  m_state->refusal.reset();
}

}  // namespace venue
