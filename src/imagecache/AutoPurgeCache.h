#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/NotificationCenter.h"

namespace gfx {
class Image;
}

namespace kt {
using ImagePtr = std::shared_ptr<const gfx::Image>;

// The memory tier of the image cache: decoded images by key, each with a cost (its pixel count).
// Safe to use from any thread. Nothing on Linux posts a memory warning, so the cache bounds
// itself: past its total cost limit or its count limit it drops the least recently used images
// first. A memory warning (ui::Application::DidReceiveMemoryWarningNotification) still empties
// it. A limit of 0 means no limit.
class AutoPurgeCache {
 public:
  // 32 Mi pixels are 128 MiB of decoded images at 4 bytes per pixel: about a hundred full-screen
  // photographs of the tablet, or thousands of dish thumbnails.
  static constexpr uint64_t DefaultTotalCostLimit = uint64_t{32} << 20;
  // Keeps the bookkeeping of many tiny images bounded as well.
  static constexpr uint64_t DefaultCountLimit = 4096;

  AutoPurgeCache();
  ~AutoPurgeCache();
  AutoPurgeCache(const AutoPurgeCache&) = delete;
  AutoPurgeCache& operator=(const AutoPurgeCache&) = delete;

  std::string name() const;
  void setName(const std::string& name);

  // The image, now the most recently used; nullptr when absent.
  ImagePtr objectForKey(const std::string& key);
  // Adds or replaces; a null image removes the key.
  void setObject(const ImagePtr& image, const std::string& key, uint64_t cost = 0);
  void removeObjectForKey(const std::string& key);
  void removeAllObjects();

  uint64_t totalCostLimit() const;
  void setTotalCostLimit(uint64_t limit);
  uint64_t countLimit() const;
  void setCountLimit(uint64_t limit);

  // What it holds now.
  uint64_t totalCost() const;
  size_t count() const;

 private:
  struct State;
  // Runs the body with the state locked.
  template <class F>
  static auto locked(State& state, F&& body);

  std::shared_ptr<State> m_state;
  core::Observation m_memoryWarning;
};

}  // namespace kt
