#pragma once

// The stand-in venue's menu: categories in two levels, dishes with prices and units, option lists,
// package contents and the free-item sets that some dishes bring. Read from a JSON file
// (tests/venue/data/menu.json) and checked as a whole: every dish, option list and set that is
// named somewhere exists, so a reply built from the menu never names something it cannot serve.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace venue {

struct MenuCategory {
  std::string typeNo;
  std::string name;
  std::string level;      // "1" top, "2" sub-category
  std::string parentNo;   // "0" for a top category
  std::string printerNo;  // the kitchen or bar printer of the top category
};

// A dish that a dish brings free of charge with every unit ordered (an auto-free line).
struct AutoFreeItem {
  std::string foodNo;
  int perUnit = 1;
};

struct MenuDish {
  std::string no;
  std::string nameChs;
  std::string nameEng;
  std::string price;       // decimal text as the server sends it ("38.00", "12.5")
  std::string monad;       // unit ("份", "瓶")
  std::string typeNo;      // its sub-category; "" for a dish that is never listed (ice)
  std::string optionList;  // AddInfoNo2: the option list number, "" for none
  std::string imageTime;   // FoodImageModifyTime
  std::string printerNo;
  bool canDiscount = true;
  bool recommended = false;
  bool pack = false;                   // IfPack "1": contents chosen from its groups (107)
  std::string freeSetId;               // free-item sets it brings (108), "" for none
  int freeEvery = 0;                   // every so many units bring one round of free items
  std::vector<AutoFreeItem> autoFree;  // lines added to its pricing (105)
};

struct GroupItem {
  std::string foodNo;
  std::string count = "1";  // per unit of the package; the fixed count in a CountMode "1" group
};

// A package group or a free-item set.
struct ChoiceGroup {
  std::string setId;
  std::string name;
  std::string note;
  std::string sumCount = "1";  // how many dishes the group gives per unit
  std::string countMode = "0"; // "1": every dish in its own fixed count
  std::string notShare = "0";  // "1": one of a set of alternatives
  std::vector<GroupItem> items;
};

class Menu {
 public:
  // Parses and checks a menu. On failure std::nullopt, with the reason in *error.
  static std::optional<Menu> parse(std::string_view json, std::string* error = nullptr);
  static std::optional<Menu> load(const std::string& path, std::string* error = nullptr);
  // The menu file the build names; read once. An unreadable file gives an empty menu (and a
  // line on standard error), so every request then finds nothing.
  static const Menu& standard();
  static std::string standardPath();

  const std::vector<MenuCategory>& categories() const { return m_categories; }
  const std::vector<MenuDish>& dishes() const { return m_dishes; }
  const MenuDish* dish(std::string_view no) const;
  const MenuCategory* category(std::string_view typeNo) const;
  // The dishes of a sub-category, or of every sub-category of a top category, in menu order.
  std::vector<const MenuDish*> dishesOf(std::string_view typeNo) const;
  std::vector<const MenuDish*> recommended() const;
  // Option texts of a list; nullptr for an unknown list.
  const std::vector<std::string>* options(std::string_view listNo) const;
  const std::vector<ChoiceGroup>* packGroups(std::string_view dishNo) const;
  const std::vector<ChoiceGroup>* freeSet(std::string_view setId) const;

  // The first dish that satisfies pred, or nullptr.
  const MenuDish* find(const std::function<bool(const MenuDish&)>& pred) const;
  // Named picks for tests (each exists in the standard menu).
  const MenuDish* packageDish() const { return find([](const MenuDish& d) { return d.pack; }); }
  const MenuDish* freeItemsDish() const {
    return find([](const MenuDish& d) { return !d.freeSetId.empty() && d.freeEvery == 1; });
  }
  const MenuDish* autoFreeDish() const {
    return find([](const MenuDish& d) { return !d.autoFree.empty() && d.freeSetId.empty(); });
  }
  const MenuDish* optionsDish() const {
    return find([](const MenuDish& d) { return !d.optionList.empty(); });
  }
  const MenuDish* plainDish() const {
    return find([](const MenuDish& d) {
      return !d.pack && d.freeSetId.empty() && d.autoFree.empty() && d.optionList.empty() && !d.typeNo.empty();
    });
  }

 private:
  std::vector<MenuCategory> m_categories;
  std::vector<MenuDish> m_dishes;
  std::map<std::string, std::vector<std::string>, std::less<>> m_options;
  std::map<std::string, std::vector<ChoiceGroup>, std::less<>> m_packs;
  std::map<std::string, std::vector<ChoiceGroup>, std::less<>> m_freeSets;
};

// Money as whole cents. A decimal text ("38", "12.5", "-3.00") to cents; std::nullopt for
// anything else (empty, letters, more than two decimals, out of range).
std::optional<long long> parseCents(std::string_view text);
// Cents as "%.2f" text ("1250" -> "12.50").
std::string formatCents(long long cents);

}  // namespace venue
