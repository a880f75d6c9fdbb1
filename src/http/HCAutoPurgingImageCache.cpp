#include "http/HCAutoPurgingImageCache.h"

#include "platform/core/Clock.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Application.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <unordered_map>
#include <vector>

namespace kt {

namespace {

constexpr const char* CacheQueueLabelPrefix = "net.ktv.http.autopurgingimagecache";

std::atomic<uint64_t> g_accessCounter{0};

}  // namespace

std::string makeUUIDString() {
  static std::mutex mutex;
  static std::mt19937_64 engine{std::random_device{}()};
  uint64_t hi = 0;
  uint64_t lo = 0;
  {
    std::lock_guard lock(mutex);
    hi = engine();
    lo = engine();
  }
  hi = (hi & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;  // version 4
  lo = (lo & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(hi >> 32),
                static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
  return text;
}

// ---- HCCachedImage ----

HCCachedImage::HCCachedImage(std::shared_ptr<gfx::Image> image, std::string identifier)
    : m_image(std::move(image)), m_identifier(std::move(identifier)), m_totalBytes(bytesForImage(m_image.get())) {
  touch();
}

uint64_t HCCachedImage::bytesForImage(const gfx::Image* image) {
  if (!image) return 0;
  const gfx::Size size = image->size();
  const double pixels = (size.width * image->scale()) * (size.height * image->scale());
  if (!(pixels > 0)) return 0;
  return static_cast<uint64_t>(pixels) * 4;
}

void HCCachedImage::touch() {
  m_lastAccess.store(core::Date::now().timeIntervalSince1970());
  m_accessSequence.store(++g_accessCounter);
}

std::shared_ptr<gfx::Image> HCCachedImage::accessImage() {
  touch();
  return m_image;
}

std::string HCCachedImage::description() const {
  return "Idenfitier: " + m_identifier + "  lastAccessDate: " +
         lastAccessDate().format("yyyy-MM-dd HH:mm:ss", core::Date::Zone::Utc) + " +0000 ";
}

// ---- HCAutoPurgingImageCache ----

struct HCAutoPurgingImageCache::State {
  // Touched only inside blocks of the cache's queue: written by barriers, read by plain blocks.
  std::unordered_map<std::string, std::shared_ptr<HCCachedImage>> cachedImages;
  uint64_t currentMemoryUsage = 0;
};

HCAutoPurgingImageCache::HCAutoPurgingImageCache(uint64_t memoryCapacity, uint64_t preferredMemoryCapacity)
    : m_memoryCapacity(memoryCapacity),
      m_preferredMemoryUsageAfterPurge(preferredMemoryCapacity),
      m_state(std::make_shared<State>()),
      m_queue(core::Queue::createConcurrent(std::string(CacheQueueLabelPrefix) + "-" + makeUUIDString())) {
  m_memoryWarning = core::Observation(core::NotificationCenter::defaultCenter(),
                                      ui::Application::DidReceiveMemoryWarningNotification, nullptr,
                                      [this](const core::Notification&) { removeAllImages(); });
}

HCAutoPurgingImageCache::~HCAutoPurgingImageCache() { m_memoryWarning.reset(); }

const std::string& HCAutoPurgingImageCache::queueLabel() const { return m_queue->label(); }

uint64_t HCAutoPurgingImageCache::memoryUsage() {
  uint64_t usage = 0;
  m_queue->sync([&] { usage = m_state->currentMemoryUsage; });
  return usage;
}

void HCAutoPurgingImageCache::addImage(const ImagePtr& image, const std::string& identifier) {
  auto state = m_state;
  m_queue->barrierAsync([state, image, identifier] {
    auto entry = std::make_shared<HCCachedImage>(image, identifier);
    auto found = state->cachedImages.find(identifier);
    if (found != state->cachedImages.end()) {
      state->currentMemoryUsage -= std::min(state->currentMemoryUsage, found->second->totalBytes());
      found->second = entry;
    } else {
      state->cachedImages.emplace(identifier, entry);
    }
    state->currentMemoryUsage += entry->totalBytes();
  });
  const uint64_t capacity = m_memoryCapacity;
  const uint64_t preferred = m_preferredMemoryUsageAfterPurge;
  m_queue->barrierAsync([state, capacity, preferred] {
    if (state->currentMemoryUsage <= capacity) return;
    const uint64_t toFree = state->currentMemoryUsage - std::min(preferred, state->currentMemoryUsage);
    std::vector<std::shared_ptr<HCCachedImage>> entries;
    entries.reserve(state->cachedImages.size());
    for (const auto& [key, entry] : state->cachedImages) entries.push_back(entry);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      const double da = a->lastAccessDate().timeIntervalSince1970();
      const double db = b->lastAccessDate().timeIntervalSince1970();
      if (da != db) return da < db;
      return a->accessSequence() < b->accessSequence();
    });
    uint64_t freed = 0;
    for (const auto& entry : entries) {
      state->cachedImages.erase(entry->identifier());
      freed += entry->totalBytes();
      if (freed >= toFree) break;
    }
    state->currentMemoryUsage -= std::min(freed, state->currentMemoryUsage);
  });
}

bool HCAutoPurgingImageCache::removeImageWithIdentifier(const std::string& identifier) {
  bool removed = false;
  m_queue->barrierSync([&] {
    auto found = m_state->cachedImages.find(identifier);
    if (found == m_state->cachedImages.end()) return;
    m_state->currentMemoryUsage -= std::min(m_state->currentMemoryUsage, found->second->totalBytes());
    m_state->cachedImages.erase(found);
    removed = true;
  });
  return removed;
}

bool HCAutoPurgingImageCache::removeAllImages() {
  bool removed = false;
  m_queue->barrierSync([&] {
    removed = !m_state->cachedImages.empty();
    m_state->cachedImages.clear();
    m_state->currentMemoryUsage = 0;
  });
  return removed;
}

HCImageCache::ImagePtr HCAutoPurgingImageCache::imageWithIdentifier(const std::string& identifier) {
  ImagePtr image;
  m_queue->sync([&] {
    auto found = m_state->cachedImages.find(identifier);
    if (found != m_state->cachedImages.end()) image = found->second->accessImage();
  });
  return image;
}

std::string HCAutoPurgingImageCache::imageCacheKeyFromURLRequest(
    const net::URLRequest& request, const std::optional<std::string>& additionalIdentifier) {
  std::string key = request.url() ? request.url()->absoluteString() : std::string();
  if (additionalIdentifier) key += *additionalIdentifier;
  return key;
}

void HCAutoPurgingImageCache::addImage(const ImagePtr& image, const net::URLRequest& request,
                                       const std::optional<std::string>& additionalIdentifier) {
  addImage(image, imageCacheKeyFromURLRequest(request, additionalIdentifier));
}

bool HCAutoPurgingImageCache::removeImageforRequest(const net::URLRequest& request,
                                                    const std::optional<std::string>& additionalIdentifier) {
  return removeImageWithIdentifier(imageCacheKeyFromURLRequest(request, additionalIdentifier));
}

HCImageCache::ImagePtr HCAutoPurgingImageCache::imageforRequest(
    const net::URLRequest& request, const std::optional<std::string>& additionalIdentifier) {
  return imageWithIdentifier(imageCacheKeyFromURLRequest(request, additionalIdentifier));
}

}  // namespace kt
