#include "imagecache/AutoPurgeCache.h"

#include <list>
#include <mutex>
#include <unordered_map>

#include "platform/ui/Application.h"

namespace kt {

// Entries in a list from most to least recently used, found by key through the map.
struct AutoPurgeCache::State {
  struct Entry {
    std::string key;
    ImagePtr image;
    uint64_t cost = 0;
  };

  mutable std::mutex mutex;
  std::string name;
  std::list<Entry> entries;
  std::unordered_map<std::string, std::list<Entry>::iterator> index;
  uint64_t totalCost = 0;
  uint64_t totalCostLimit = DefaultTotalCostLimit;
  uint64_t countLimit = DefaultCountLimit;

  void erase(std::list<Entry>::iterator it) {
    totalCost -= it->cost;
    index.erase(it->key);
    entries.erase(it);
  }
  // Drops the least recently used entries until both limits hold.
  void trim() {
    while (!entries.empty() && ((totalCostLimit > 0 && totalCost > totalCostLimit) ||
                                (countLimit > 0 && entries.size() > countLimit)))
      erase(std::prev(entries.end()));
  }
  void clear() {
    entries.clear();
    index.clear();
    totalCost = 0;
  }
};

template <class F>
auto AutoPurgeCache::locked(State& state, F&& body) {
  std::lock_guard lock(state.mutex);
  return body(state);
}

AutoPurgeCache::AutoPurgeCache() : m_state(std::make_shared<State>()) {
  std::weak_ptr<State> weak = m_state;
  m_memoryWarning = core::Observation(core::NotificationCenter::defaultCenter(),
                                      ui::Application::DidReceiveMemoryWarningNotification, nullptr,
                                      [weak](const core::Notification&) {
                                        if (auto state = weak.lock()) locked(*state, [](State& s) { s.clear(); });
                                      });
}

AutoPurgeCache::~AutoPurgeCache() = default;

std::string AutoPurgeCache::name() const {
  return locked(*m_state, [](State& state) { return state.name; });
}
void AutoPurgeCache::setName(const std::string& name) {
  locked(*m_state, [&](State& state) { state.name = name; });
}

ImagePtr AutoPurgeCache::objectForKey(const std::string& key) {
  std::lock_guard lock(m_state->mutex);
  auto found = m_state->index.find(key);
  if (found == m_state->index.end()) return nullptr;
  m_state->entries.splice(m_state->entries.begin(), m_state->entries, found->second);
  return found->second->image;
}

void AutoPurgeCache::setObject(const ImagePtr& image, const std::string& key, uint64_t cost) {
  if (!image) return removeObjectForKey(key);
  std::lock_guard lock(m_state->mutex);
  auto found = m_state->index.find(key);
  if (found != m_state->index.end()) m_state->erase(found->second);
  // An image dearer than the whole limit would only push everything else out before going itself.
  if (m_state->totalCostLimit > 0 && cost > m_state->totalCostLimit) return;
  m_state->entries.push_front(State::Entry{key, image, cost});
  m_state->index.emplace(key, m_state->entries.begin());
  m_state->totalCost += cost;
  m_state->trim();
}

void AutoPurgeCache::removeObjectForKey(const std::string& key) {
  locked(*m_state, [&](State& state) {
    auto found = state.index.find(key);
    if (found != state.index.end()) state.erase(found->second);
  });
}

void AutoPurgeCache::removeAllObjects() {
  locked(*m_state, [](State& state) { state.clear(); });
}

uint64_t AutoPurgeCache::totalCostLimit() const {
  return locked(*m_state, [](State& state) { return state.totalCostLimit; });
}
void AutoPurgeCache::setTotalCostLimit(uint64_t limit) {
  locked(*m_state, [&](State& state) { state.totalCostLimit = limit, state.trim(); });
}
uint64_t AutoPurgeCache::countLimit() const {
  return locked(*m_state, [](State& state) { return state.countLimit; });
}
void AutoPurgeCache::setCountLimit(uint64_t limit) {
  locked(*m_state, [&](State& state) { state.countLimit = limit, state.trim(); });
}
uint64_t AutoPurgeCache::totalCost() const {
  return locked(*m_state, [](State& state) { return state.totalCost; });
}
size_t AutoPurgeCache::count() const {
  return locked(*m_state, [](State& state) { return state.entries.size(); });
}

}  // namespace kt
