#pragma once

#include <map>
#include <memory>

namespace kt {

// Values kept per view by the view helpers of this library, keyed by the view and dropped once
// the view is gone. Main thread only.
template <class View, class Value>
class HCViewAssociation {
 public:
  // The view's value, made on first use.
  Value& valueFor(const std::shared_ptr<View>& view) {
    sweep();
    auto& entry = m_entries[view.get()];
    if (entry.view.lock() != view) entry = Entry{view, Value{}};
    return entry.value;
  }
  Value* find(const View* view) {
    auto found = m_entries.find(view);
    if (found == m_entries.end() || found->second.view.expired()) return nullptr;
    return &found->second.value;
  }
  void erase(const View* view) { m_entries.erase(view); }

 private:
  struct Entry {
    std::weak_ptr<View> view;
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
  std::map<const View*, Entry> m_entries;
};

}  // namespace kt
