#pragma once

#include <map>
#include <memory>

namespace ui {

// Values kept per view by helpers that extend views from outside (the loaders and helpers of
// the bundled libraries), keyed by the view and dropped once the view is gone: a value never
// keeps its view alive, and a new view at a dead one's address starts afresh. Main thread only.
template <class ViewType, class Value>
class ViewAssociation {
 public:
  // The view's value, made on first use.
  Value& valueFor(const std::shared_ptr<ViewType>& view) {
    sweep();
    auto& entry = m_entries[view.get()];
    if (entry.view.lock() != view) entry = Entry{view, Value{}};
    return entry.value;
  }
  // The view's value when it has one.
  Value* find(const ViewType* view) {
    auto found = m_entries.find(view);
    if (found == m_entries.end() || found->second.view.expired()) return nullptr;
    return &found->second.value;
  }
  void erase(const ViewType* view) { m_entries.erase(view); }
  // The number of views with a value, the gone ones not counted.
  std::size_t size() {
    sweep();
    return m_entries.size();
  }

 private:
  struct Entry {
    std::weak_ptr<ViewType> view;
    Value value;
  };
  void sweep() {
    for (auto it = m_entries.begin(); it != m_entries.end();) {
      if (it->second.view.expired()) {
        it = m_entries.erase(it);
      } else {
        ++it;
      }
    }
  }
  std::map<const ViewType*, Entry> m_entries;
};

}  // namespace ui
