#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ui {

// The reuse queues of a table or collection view: views put back when they scroll out, by reuse
// key, and the factories registered to make new ones. T has prepareForReuse().
template <class T>
class ReusePool {
 public:
  using Factory = std::function<std::shared_ptr<T>()>;

  // An empty factory forgets the one registered under `key`.
  void registerFactory(const std::string& key, Factory factory) {
    if (factory) m_factories[key] = std::move(factory);
    else m_factories.erase(key);
  }

  // The view put back last under `key`, prepared for reuse; null when none is waiting.
  std::shared_ptr<T> dequeue(const std::string& key) {
    auto queue = m_queued.find(key);
    if (queue == m_queued.end() || queue->second.empty()) return nullptr;
    auto view = std::move(queue->second.back());
    queue->second.pop_back();
    view->prepareForReuse();
    return view;
  }

  // A new view from the factory registered under `key`; null when there is none or it made none.
  std::shared_ptr<T> make(const std::string& key) const {
    auto factory = m_factories.find(key);
    return factory == m_factories.end() ? nullptr : factory->second();
  }

  void enqueue(const std::string& key, std::shared_ptr<T> view) { m_queued[key].push_back(std::move(view)); }

 private:
  std::unordered_map<std::string, std::vector<std::shared_ptr<T>>> m_queued;
  std::unordered_map<std::string, Factory> m_factories;
};

}  // namespace ui
