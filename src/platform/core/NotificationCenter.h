#pragma once

#include "platform/core/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace core {

struct Notification {
  std::string name;
  void* object = nullptr;
  Value userInfo;
};

// Delivers notifications synchronously: post() calls every matching observer on the posting
// thread, in the order they were added, before it returns.
//
// Observers may be added and removed from any thread, also from inside an observer: one removed
// during a post is not called afterwards in that post, one added during a post is first called
// by the next post. Observers may post again from inside a call.
class NotificationCenter {
 public:
  using ObserverId = uint64_t;

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  static NotificationCenter& defaultCenter();

  // name "" matches every name; object nullptr matches any sender.
  ObserverId addObserver(const std::string& name, void* object, std::function<void(const Notification&)> block);
  void removeObserver(ObserverId id);
  void post(const std::string& name, void* object = nullptr, const Value& userInfo = Value());

 private:
  struct Entry {
    ObserverId id = 0;
    std::string name;
    void* object = nullptr;
    std::function<void(const Notification&)> block;
    bool removed = false;  // guarded by m_mutex
  };
  using Bucket = std::vector<std::shared_ptr<Entry>>;  // in the order added
  // Adds the entries of the bucket for (name, object), if there is one.
  void collect(const std::string& name, void* object, Bucket& out) const;

  std::mutex m_mutex;
  // Observers by name and sender ("" and nullptr for any), so that a post looks only at those
  // that can match: many observers each waiting for one sender cost nothing to other posts.
  std::unordered_map<std::string, std::unordered_map<void*, Bucket>> m_entries;
  std::unordered_map<ObserverId, std::shared_ptr<Entry>> m_byId;
  ObserverId m_nextId = 1;
};

// Owns one observer registration and removes it when destroyed.
class Observation {
 public:
  Observation() = default;
  Observation(NotificationCenter& center, NotificationCenter::ObserverId id) : m_center(&center), m_id(id) {}
  // Registers an observer with the center and owns it.
  Observation(NotificationCenter& center, const std::string& name, void* object,
              std::function<void(const Notification&)> block)
      : m_center(&center), m_id(center.addObserver(name, object, std::move(block))) {}
  ~Observation() { reset(); }

  Observation(Observation&& other) noexcept : m_center(other.m_center), m_id(other.m_id) {
    other.m_center = nullptr;
    other.m_id = 0;
  }
  Observation& operator=(Observation&& other) noexcept {
    if (this != &other) {
      reset();
      m_center = other.m_center;
      m_id = other.m_id;
      other.m_center = nullptr;
      other.m_id = 0;
    }
    return *this;
  }
  Observation(const Observation&) = delete;
  Observation& operator=(const Observation&) = delete;

  // Removes the observer now.
  void reset() {
    if (m_center && m_id) m_center->removeObserver(m_id);
    m_center = nullptr;
    m_id = 0;
  }
  NotificationCenter::ObserverId id() const { return m_id; }
  explicit operator bool() const { return m_id != 0; }

 private:
  NotificationCenter* m_center = nullptr;
  NotificationCenter::ObserverId m_id = 0;
};

}  // namespace core
