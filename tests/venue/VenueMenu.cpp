#include "venue/VenueMenu.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#ifndef KT_VENUE_MENU
#define KT_VENUE_MENU ""
#endif

namespace venue {

namespace {

using nlohmann::json;

// A text member, or the fallback when it is missing; anything but a string is an error.
std::string text(const json& object, const char* key, const std::string& fallback = "") {
  auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not a text");
  return it->get<std::string>();
}

bool flag(const json& object, const char* key, bool fallback) {
  auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_boolean()) throw std::runtime_error(std::string("\"") + key + "\" is not true or false");
  return it->get<bool>();
}

int positive(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer() || it->get<long long>() < 1 ||
      it->get<long long>() > 1000)
    throw std::runtime_error(std::string("\"") + key + "\" is not a count from 1 to 1000");
  return it->get<int>();
}

const json& array(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_array()) throw std::runtime_error(std::string("\"") + key + "\" is not a list");
  return *it;
}

std::vector<ChoiceGroup> groups(const json& list) {
  if (!list.is_array()) throw std::runtime_error("a group list is not a list");
  std::vector<ChoiceGroup> out;
  for (const json& g : list) {
    ChoiceGroup group;
    group.setId = text(g, "set");
    group.name = text(g, "name");
    group.note = text(g, "note");
    group.sumCount = text(g, "sum", "1");
    group.countMode = text(g, "mode", "0");
    group.notShare = text(g, "notShare", "0");
    for (const json& i : array(g, "items")) group.items.push_back({text(i, "no"), text(i, "count", "1")});
    if (group.setId.empty() || group.items.empty())
      throw std::runtime_error("group \"" + group.setId + "\" has no id or no dish");
    out.push_back(std::move(group));
  }
  return out;
}

void checkGroups(const Menu& menu, const std::vector<ChoiceGroup>& list, const std::string& owner) {
  for (const ChoiceGroup& group : list) {
    if (!parseCents(group.sumCount)) throw std::runtime_error(owner + ": bad sum in group " + group.setId);
    for (const GroupItem& item : group.items) {
      if (!menu.dish(item.foodNo)) throw std::runtime_error(owner + ": unknown dish " + item.foodNo);
      if (!parseCents(item.count)) throw std::runtime_error(owner + ": bad count of " + item.foodNo);
    }
  }
}

}  // namespace

std::optional<Menu> Menu::parse(std::string_view source, std::string* error) {
  Menu menu;
  try {
    json root = json::parse(source);
    if (!root.is_object()) throw std::runtime_error("the menu is not an object");

    if (auto it = root.find("options"); it != root.end()) {
      for (const auto& [listNo, texts] : it->items()) {
        std::vector<std::string> list;
        for (const json& t : texts) {
          if (!t.is_string()) throw std::runtime_error("option list " + listNo + " holds a non-text");
          list.push_back(t.get<std::string>());
        }
        menu.m_options[listNo] = std::move(list);
      }
    }

    std::map<std::string, std::string> printerOfType;
    for (const json& top : array(root, "categories")) {
      MenuCategory category{text(top, "no"), text(top, "name"), "1", "0", text(top, "printer", "01")};
      menu.m_categories.push_back(category);
      printerOfType[category.typeNo] = category.printerNo;
      for (const json& sub : array(top, "children")) {
        MenuCategory child{text(sub, "no"), text(sub, "name"), "2", category.typeNo, category.printerNo};
        menu.m_categories.push_back(child);
        printerOfType[child.typeNo] = child.printerNo;
      }
    }

    std::set<std::string> numbers;
    for (const json& d : array(root, "dishes")) {
      MenuDish dish;
      dish.no = text(d, "no");
      dish.nameChs = text(d, "name");
      dish.nameEng = text(d, "eng");
      dish.price = text(d, "price");
      dish.monad = text(d, "unit");
      dish.typeNo = text(d, "type");
      dish.optionList = text(d, "options");
      dish.imageTime = text(d, "time");
      dish.canDiscount = flag(d, "discount", true);
      dish.recommended = flag(d, "recommended", false);
      if (dish.no.empty() || !numbers.insert(dish.no).second)
        throw std::runtime_error("dish number \"" + dish.no + "\" is empty or repeated");
      if (!parseCents(dish.price)) throw std::runtime_error("dish " + dish.no + " has a bad price");
      if (!dish.typeNo.empty() && !printerOfType.count(dish.typeNo))
        throw std::runtime_error("dish " + dish.no + " is in an unknown category");
      dish.printerNo = dish.typeNo.empty() ? "01" : printerOfType[dish.typeNo];
      if (!dish.optionList.empty() && !menu.m_options.count(dish.optionList))
        throw std::runtime_error("dish " + dish.no + " names an unknown option list");
      if (auto it = d.find("pack"); it != d.end()) {
        dish.pack = true;
        menu.m_packs[dish.no] = groups(*it);
      }
      if (auto it = d.find("freeItems"); it != d.end()) {
        dish.freeSetId = text(*it, "set");
        dish.freeEvery = positive(*it, "every");
      }
      if (auto it = d.find("autoFree"); it != d.end()) {
        if (!it->is_array()) throw std::runtime_error("dish " + dish.no + ": autoFree is not a list");
        for (const json& a : *it) dish.autoFree.push_back({text(a, "no"), positive(a, "count")});
      }
      menu.m_dishes.push_back(std::move(dish));
    }

    if (auto it = root.find("freeSets"); it != root.end())
      for (const auto& [setId, list] : it->items()) menu.m_freeSets[setId] = groups(list);

    // Everything named must exist.
    for (const MenuDish& dish : menu.m_dishes) {
      for (const AutoFreeItem& item : dish.autoFree)
        if (!menu.dish(item.foodNo)) throw std::runtime_error("dish " + dish.no + " brings unknown " + item.foodNo);
      if (!dish.freeSetId.empty() && !menu.freeSet(dish.freeSetId))
        throw std::runtime_error("dish " + dish.no + " names an unknown free set");
    }
    for (const auto& [no, list] : menu.m_packs) checkGroups(menu, list, "package " + no);
    for (const auto& [id, list] : menu.m_freeSets) checkGroups(menu, list, "free set " + id);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
  return menu;
}

std::optional<Menu> Menu::load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  return parse(content.str(), error);
}

std::string Menu::standardPath() { return KT_VENUE_MENU; }

const Menu& Menu::standard() {
  static const Menu menu = [] {
    std::string error;
    std::optional<Menu> loaded = load(standardPath(), &error);
    if (!loaded) {
      std::fprintf(stderr, "venue: no menu: %s\n", error.c_str());
      return Menu();
    }
    return std::move(*loaded);
  }();
  return menu;
}

const MenuDish* Menu::dish(std::string_view no) const {
  auto it = std::find_if(m_dishes.begin(), m_dishes.end(), [&](const MenuDish& d) { return d.no == no; });
  return it == m_dishes.end() ? nullptr : &*it;
}

const MenuCategory* Menu::category(std::string_view typeNo) const {
  auto it = std::find_if(m_categories.begin(), m_categories.end(),
                         [&](const MenuCategory& c) { return c.typeNo == typeNo; });
  return it == m_categories.end() ? nullptr : &*it;
}

std::vector<const MenuDish*> Menu::dishesOf(std::string_view typeNo) const {
  std::vector<const MenuDish*> out;
  if (typeNo.empty()) return out;
  for (const MenuDish& dish : m_dishes) {
    const MenuCategory* own = category(dish.typeNo);
    if (dish.typeNo == typeNo || (own && own->parentNo == typeNo)) out.push_back(&dish);
  }
  return out;
}

std::vector<const MenuDish*> Menu::recommended() const {
  std::vector<const MenuDish*> out;
  for (const MenuDish& dish : m_dishes)
    if (dish.recommended) out.push_back(&dish);
  return out;
}

const std::vector<std::string>* Menu::options(std::string_view listNo) const {
  auto it = m_options.find(listNo);
  return it == m_options.end() ? nullptr : &it->second;
}

const std::vector<ChoiceGroup>* Menu::packGroups(std::string_view dishNo) const {
  auto it = m_packs.find(dishNo);
  return it == m_packs.end() ? nullptr : &it->second;
}

const std::vector<ChoiceGroup>* Menu::freeSet(std::string_view setId) const {
  auto it = m_freeSets.find(setId);
  return it == m_freeSets.end() ? nullptr : &it->second;
}

const MenuDish* Menu::find(const std::function<bool(const MenuDish&)>& pred) const {
  for (const MenuDish& dish : m_dishes)
    if (pred(dish)) return &dish;
  return nullptr;
}

std::optional<long long> parseCents(std::string_view text) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long whole = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (whole > std::numeric_limits<long long>::max() / 1000) return std::nullopt;
    whole = whole * 10 + (text[i] - '0');
  }
  long long fraction = 0;
  std::size_t decimals = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++decimals) {
      if (decimals >= 2) return std::nullopt;
      fraction = fraction * 10 + (text[i] - '0');
    }
  }
  if (i != text.size() || digits + decimals == 0) return std::nullopt;
  if (decimals == 1) fraction *= 10;
  long long cents = whole * 100 + fraction;
  return negative ? -cents : cents;
}

std::string formatCents(long long cents) {
  bool negative = cents < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(cents)
                                          : static_cast<unsigned long long>(cents);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%llu.%02llu", negative ? "-" : "", magnitude / 100, magnitude % 100);
  return buffer;
}

}  // namespace venue
