#include "platform/gfx/CompositorCache.h"

namespace gfx {

namespace {

// Kept images may hold no more pixel memory than this in all.
constexpr size_t kCacheBudgetBytes = size_t(96) << 20;

// Whether the weakly held layer is still alive and in the tree that was just built.
bool inTree(const std::weak_ptr<const Layer>& id, const std::unordered_map<const Layer*, Compositor::Record>& records) {
  std::shared_ptr<const Layer> l = id.lock();
  auto rec = l ? records.find(l.get()) : records.end();
  return rec != records.end() && rec->second.layer.lock() == l;
}

}  // namespace

void trimCache(CompositorCache& cache, const std::unordered_map<const Layer*, Compositor::Record>& records) {
  size_t total = 0;
  for (auto it = cache.entries.begin(); it != cache.entries.end();) {
    if (!inTree(it->first, records)) {
      it = cache.entries.erase(it);
    } else {
      total += it->second.bytes();
      ++it;
    }
  }
  // Every visible layer's extent (masks' included) was measured while building this frame.
  for (auto it = cache.shapes.begin(); it != cache.shapes.end();) {
    if (it->first.expired() || it->second.used != cache.frame)
      it = cache.shapes.erase(it);
    else
      ++it;
  }
  while (total > kCacheBudgetBytes && !cache.entries.empty()) {
    auto oldest = cache.entries.begin();
    for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it)
      if (it->second.used < oldest->second.used) oldest = it;
    total -= oldest->second.bytes();
    cache.entries.erase(oldest);
  }
}

}  // namespace gfx
