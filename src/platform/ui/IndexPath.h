#pragma once

#include <compare>
#include <set>
#include <string>
#include <vector>

namespace ui {

// A place in a sectioned list: the section and the row (table views) or item (collection
// views). Ordered by section, then row.
struct IndexPath {
  int section = 0;
  int row = 0;

  static IndexPath forRow(int row, int section) { return IndexPath{section, row}; }
  static IndexPath forItem(int item, int section) { return IndexPath{section, item}; }
  int item() const { return row; }

  friend bool operator==(const IndexPath&, const IndexPath&) = default;
  friend auto operator<=>(const IndexPath&, const IndexPath&) = default;

  // "{section, row}" for logs and test messages.
  std::string description() const;
};

// A sorted set of non-negative indexes (sections of a table, for example).
class IndexSet {
 public:
  IndexSet() = default;
  IndexSet(std::initializer_list<int> indexes) : m_indexes(indexes) {}
  // The indexes first, first + 1, ..., first + count - 1.
  static IndexSet range(int first, int count);

  void add(int index) { m_indexes.insert(index); }
  void remove(int index) { m_indexes.erase(index); }
  bool contains(int index) const { return m_indexes.count(index) != 0; }
  size_t count() const { return m_indexes.size(); }
  bool empty() const { return m_indexes.empty(); }
  // How many indexes are below `index`.
  int countBelow(int index) const;
  std::vector<int> indexes() const { return {m_indexes.begin(), m_indexes.end()}; }
  std::set<int>::const_iterator begin() const { return m_indexes.begin(); }
  std::set<int>::const_iterator end() const { return m_indexes.end(); }

  friend bool operator==(const IndexSet&, const IndexSet&) = default;

 private:
  std::set<int> m_indexes;
};

}  // namespace ui
