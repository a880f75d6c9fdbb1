#pragma once

#include "platform/core/Date.h"
#include "platform/core/NotificationCenter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace gfx {
class Image;
}
namespace net {
class URLRequest;
}
namespace core {
class Queue;
}

namespace kt {

// An in-memory store of images by identifier.
class HCImageCache {
 public:
  using ImagePtr = std::shared_ptr<gfx::Image>;
  virtual ~HCImageCache() = default;
  // Adds or replaces; may return before the image is stored.
  virtual void addImage(const ImagePtr& image, const std::string& identifier) = 0;
  // Whether an entry was removed.
  virtual bool removeImageWithIdentifier(const std::string& identifier) = 0;
  // Whether the cache held anything.
  virtual bool removeAllImages() = 0;
  // The image, marked as read now; null when absent.
  virtual ImagePtr imageWithIdentifier(const std::string& identifier) = 0;
};

// The same, keyed by request: the request URL's absolute string followed by the additional
// identifier when one is given.
class HCImageRequestCache : public HCImageCache {
 public:
  virtual void addImage(const ImagePtr& image, const net::URLRequest& request,
                        const std::optional<std::string>& additionalIdentifier) = 0;
  virtual bool removeImageforRequest(const net::URLRequest& request,
                                     const std::optional<std::string>& additionalIdentifier) = 0;
  virtual ImagePtr imageforRequest(const net::URLRequest& request,
                                   const std::optional<std::string>& additionalIdentifier) = 0;
  using HCImageCache::addImage;
};

// One cache entry. The access stamp is written by concurrent readers, so it is atomic.
class HCCachedImage {
 public:
  HCCachedImage(std::shared_ptr<gfx::Image> image, std::string identifier);

  const std::shared_ptr<gfx::Image>& image() const { return m_image; }
  const std::string& identifier() const { return m_identifier; }
  // 4 bytes per pixel: (width x scale) x (height x scale), truncated before the multiplication.
  uint64_t totalBytes() const { return m_totalBytes; }
  core::Date lastAccessDate() const { return core::Date(m_lastAccess.load()); }
  // Orders accesses that fall on the same date.
  uint64_t accessSequence() const { return m_accessSequence.load(); }
  // Marks the entry as read now and returns its image.
  std::shared_ptr<gfx::Image> accessImage();
  // "Idenfitier: <identifier>  lastAccessDate: <date> "
  std::string description() const;

  static uint64_t bytesForImage(const gfx::Image* image);

 private:
  void touch();

  std::shared_ptr<gfx::Image> m_image;
  std::string m_identifier;
  uint64_t m_totalBytes = 0;
  std::atomic<double> m_lastAccess{0};
  std::atomic<uint64_t> m_accessSequence{0};
};

// A memory cache of images that, when an addition takes it over its capacity, drops the least
// recently read images until it is back at its preferred usage. Reads run side by side; additions,
// removals and purges run alone. An addition returns before it is applied. A memory warning of
// the application empties it.
class HCAutoPurgingImageCache : public HCImageRequestCache {
 public:
  static constexpr uint64_t DefaultMemoryCapacity = 100 * 1024 * 1024;
  static constexpr uint64_t DefaultPreferredMemoryUsageAfterPurge = 60 * 1024 * 1024;

  HCAutoPurgingImageCache() : HCAutoPurgingImageCache(DefaultMemoryCapacity, DefaultPreferredMemoryUsageAfterPurge) {}
  HCAutoPurgingImageCache(uint64_t memoryCapacity, uint64_t preferredMemoryCapacity);
  ~HCAutoPurgingImageCache() override;
  HCAutoPurgingImageCache(const HCAutoPurgingImageCache&) = delete;
  HCAutoPurgingImageCache& operator=(const HCAutoPurgingImageCache&) = delete;

  uint64_t memoryCapacity() const { return m_memoryCapacity; }
  uint64_t preferredMemoryUsageAfterPurge() const { return m_preferredMemoryUsageAfterPurge; }
  // Bytes held now (after every addition queued before this call has been applied).
  uint64_t memoryUsage();
  // The label of the cache's queue.
  const std::string& queueLabel() const;

  void addImage(const ImagePtr& image, const std::string& identifier) override;
  bool removeImageWithIdentifier(const std::string& identifier) override;
  bool removeAllImages() override;
  ImagePtr imageWithIdentifier(const std::string& identifier) override;

  void addImage(const ImagePtr& image, const net::URLRequest& request,
                const std::optional<std::string>& additionalIdentifier) override;
  bool removeImageforRequest(const net::URLRequest& request,
                             const std::optional<std::string>& additionalIdentifier) override;
  ImagePtr imageforRequest(const net::URLRequest& request,
                           const std::optional<std::string>& additionalIdentifier) override;

  static std::string imageCacheKeyFromURLRequest(const net::URLRequest& request,
                                                 const std::optional<std::string>& additionalIdentifier);

 private:
  struct State;

  uint64_t m_memoryCapacity = DefaultMemoryCapacity;
  uint64_t m_preferredMemoryUsageAfterPurge = DefaultPreferredMemoryUsageAfterPurge;
  std::shared_ptr<State> m_state;  // shared with the queued blocks
  std::shared_ptr<core::Queue> m_queue;
  core::Observation m_memoryWarning;
};

// A fresh random (version 4) UUID in its upper-case text form.
std::string makeUUIDString();

}  // namespace kt
