#include "platform/core/NotificationCenter.h"

#include <algorithm>

namespace core {

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed: observers may be removed by static objects during exit.
  static NotificationCenter* center = new NotificationCenter;
  return *center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const std::string& name, void* object,
                                                               std::function<void(const Notification&)> block) {
  auto entry = std::make_shared<Entry>();
  entry->name = name;
  entry->object = object;
  entry->block = std::move(block);
  std::lock_guard lock(m_mutex);
  entry->id = m_nextId++;
  m_entries.push_back(std::move(entry));
  return m_entries.back()->id;
}

void NotificationCenter::removeObserver(ObserverId id) {
  std::shared_ptr<Entry> removed;
  {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [id](const auto& e) { return e->id == id; });
    if (it == m_entries.end()) return;
    (*it)->removed = true;
    removed = std::move(*it);
    m_entries.erase(it);
  }
  // The block is destroyed here, outside the lock, unless a post still holds the entry.
}

void NotificationCenter::post(const std::string& name, void* object, const Value& userInfo) {
  // The observers matching now; later additions wait for the next post.
  std::vector<std::shared_ptr<Entry>> matching;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& e : m_entries) {
      if ((e->name.empty() || e->name == name) && (!e->object || e->object == object)) matching.push_back(e);
    }
  }
  if (matching.empty()) return;
  const Notification note{name, object, userInfo};
  for (const auto& e : matching) {
    {
      std::lock_guard lock(m_mutex);
      if (e->removed) continue;
    }
    e->block(note);
  }
}

}  // namespace core
