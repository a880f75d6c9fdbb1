#include "platform/core/NotificationCenter.h"

#include <algorithm>

namespace core {

namespace {
// Never destroyed: notifications are posted from other threads while the process exits.
const std::string& anyName() {
  static const std::string* name = new std::string;
  return *name;
}
}  // namespace

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
  m_byId.emplace(entry->id, entry);
  m_entries[name][object].push_back(entry);
  return entry->id;
}

void NotificationCenter::removeObserver(ObserverId id) {
  std::shared_ptr<Entry> removed;
  {
    std::lock_guard lock(m_mutex);
    auto found = m_byId.find(id);
    if (found == m_byId.end()) return;
    removed = std::move(found->second);
    m_byId.erase(found);
    removed->removed = true;
    auto byName = m_entries.find(removed->name);
    auto byObject = byName->second.find(removed->object);
    Bucket& bucket = byObject->second;
    bucket.erase(std::find(bucket.begin(), bucket.end(), removed));
    if (bucket.empty()) {
      byName->second.erase(byObject);
      if (byName->second.empty()) m_entries.erase(byName);
    }
  }
  // The block is destroyed here, outside the lock, unless a post still holds the entry.
}

void NotificationCenter::collect(const std::string& name, void* object, Bucket& out) const {
  auto byName = m_entries.find(name);
  if (byName == m_entries.end()) return;
  auto byObject = byName->second.find(object);
  if (byObject == byName->second.end()) return;
  out.insert(out.end(), byObject->second.begin(), byObject->second.end());
}

void NotificationCenter::post(const std::string& name, void* object, const Value& userInfo) {
  // The observers matching now; later additions wait for the next post.
  Bucket matching;
  {
    std::lock_guard lock(m_mutex);
    int buckets = 0;
    for (const std::string* n : {&name, &anyName()}) {
      for (void* o : {object, static_cast<void*>(nullptr)}) {
        const size_t before = matching.size();
        collect(*n, o, matching);
        buckets += matching.size() > before;
        if (!o) break;
      }
      if (n->empty()) break;
    }
    // Each bucket is in the order added; several are merged into that order.
    if (buckets > 1) {
      std::sort(matching.begin(), matching.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
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
