#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Generic-password items kept in a file store private to the user (mode 0600), in the data
// directory. Every operation re-reads the file under an exclusive lock and writes changes
// atomically, so several processes can share one store.
namespace security {

enum Status : int32_t {
  Success = 0,
  Unimplemented = -4,
  Param = -50,
  Allocate = -108,
  DuplicateItem = -25299,
  ItemNotFound = -25300,
  InteractionNotAllowed = -25308,
  Decode = -26275,
  IO = -36,
};

// Item attributes. Absent means "not given": in a query it matches anything; in an item it
// compares like "".
struct Attributes {
  std::optional<std::string> itemClass;  // "genp" (generic password) is the only class stored
  std::optional<std::string> description, account, label, accessGroup, service;
  std::optional<std::string> generic;  // raw bytes, always compared exactly
};

struct Item {
  Attributes attributes;
  std::string data;
};

struct Query {
  Attributes match;
  bool caseInsensitive = false;  // text attributes compared ignoring ASCII case
  bool limitOne = true;          // false: all matches
};

class Keychain {
 public:
  // The store "<data directory>/keychain.db"; a new store is used when the data directory changes.
  static Keychain& shared();

  explicit Keychain(std::string path);
  const std::string& path() const { return m_path; }

  // Param when the item has no class, Unimplemented for a class other than "genp", DuplicateItem
  // when an item with the same account, service and access group exists.
  Status add(const Item& item);
  // The matches in the order they were added (only the first when limitOne); ItemNotFound when none.
  Status copyMatching(const Query& query, std::vector<Item>* out);
  // Applies the given attributes (and the data, when given) to every match, or to the first when
  // limitOne. ItemNotFound when none; DuplicateItem when the change would make two items collide.
  Status update(const Query& query, const Attributes& changes, const std::optional<std::string>& newData);
  // Removes every match regardless of limitOne; ItemNotFound when none.
  Status remove(const Query& query);

 private:
  std::string m_path;
};

}  // namespace security
