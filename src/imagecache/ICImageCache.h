#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/core/NotificationCenter.h"

namespace core {
class Operation;
class Queue;
}  // namespace core
namespace gfx {
class Image;
}

namespace kt {
using ImagePtr = std::shared_ptr<const gfx::Image>;
class AutoPurgeCache;

// Where a cached image came from.
enum class ICImageCacheSource : int64_t { None = 0, Disk = 1, Memory = 2 };

// The image with the scale its key names: 3 for a key of 8 or more characters holding "@3x.",
// else 2 for one holding "@2x.", else 1 (same pixels and orientation). An animation gets each
// frame scaled so. nullptr for nullptr.
ImagePtr imageScaledForKey(const std::string& key, const ImagePtr& image);
// Whether the data begins with the 8 bytes of the PNG signature.
bool hasPNGSignaturePrefix(std::string_view data);

// Starts the cache folder names and the labels of the image library's queues.
constexpr const char* ICWebImageCacheFolderPrefix = "com.ktvroom.client.";

// The answer of a cache query: the image (nullptr when none) and where it came from.
using ICWebImageCacheQueryCallback = std::function<void(ImagePtr, ICImageCacheSource)>;

// Images by key in two tiers: decoded images in memory (AutoPurgeCache, weighed by pixel count)
// and the encoded files on disk, one per key, in a folder of its own. Usable from any thread;
// every asynchronous disk task runs on one serial queue in submission order, and their callbacks
// come on the main queue. Create it with std::make_shared.
class ICImageCache {
 public:
  // Files older than this are removed by cleaning.
  static constexpr int64_t DefaultMaxCacheAge = 60 * 60 * 24 * 7;

  // The one cache of the program, namespace "default".
  static std::shared_ptr<ICImageCache> sharedImageCache();

  ICImageCache();
  explicit ICImageCache(const std::string& ns);
  // The folder is directory + "/" + the full namespace, or makeDiskCachePath(ns) without one.
  ICImageCache(const std::string& ns, const std::optional<std::string>& directory);
  ~ICImageCache();
  ICImageCache(const ICImageCache&) = delete;
  ICImageCache& operator=(const ICImageCache&) = delete;

  // The user's cache folder + "/" + name.
  static std::string makeDiskCachePath(const std::string& name);
  // A folder searched, read-only, after the cache's own one.
  void addReadOnlyCachePath(const std::string& path);

  // ---- Paths ----
  // MD5 hex of the key, then "." and the key's path extension when it has one.
  std::string cachedFileNameForKey(const std::string& key) const;
  std::string cachePathForKey(const std::string& key, const std::string& path) const;
  std::string defaultCachePathForKey(const std::string& key) const;

  // ---- Storing ----
  // Into memory (when shouldCacheImagesInMemory) and, when toDisk, a file written on the I/O
  // queue: the data as given, or the image encoded afresh when recalculate is set or there is no
  // data (PNG when the data is PNG, or without data when the image has alpha; else JPEG).
  void storeImage(const ImagePtr& image, bool recalculate, std::optional<std::string> data, const std::string& key,
                  bool toDisk);
  void storeImage(const ImagePtr& image, const std::string& key, bool toDisk = true);
  // Writes the file now, on the calling thread, atomically; nothing for no data.
  void storeImageDataToDisk(const std::optional<std::string>& data, const std::string& key);

  // ---- Reading ----
  // Answers (nullptr, None) for an empty key and a memory hit at once, on the calling thread,
  // returning nullptr; else reads the disk on the I/O queue and answers (image or nullptr, Disk)
  // on the main queue. Cancelling the returned token before the read starts drops the answer.
  std::shared_ptr<core::Operation> queryDiskCacheForKey(const std::string& key, ICWebImageCacheQueryCallback done);
  ImagePtr imageFromMemoryCacheForKey(const std::string& key) const;
  // Memory, else the disk read on the calling thread (the image then goes into memory).
  ImagePtr imageFromDiskCacheForKey(const std::string& key);
  // The bytes of the first file that reads: the default path, the same without its extension,
  // then each read-only folder likewise.
  std::optional<std::string> diskImageDataBySearchingAllPathsForKey(const std::string& key) const;
  // Those bytes decoded, scaled for the key and, when shouldDecompressImages, force-decoded.
  // Bytes that do not decode are a miss; the file in the cache's own folder is deleted, so that
  // the image is fetched again.
  ImagePtr diskImageForKey(const std::string& key) const;
  ImagePtr scaledImageForKey(const std::string& key, const ImagePtr& image) const;
  // Whether the default path, or the same without extension, exists (on the calling thread).
  bool diskImageExistsWithKey(const std::string& key) const;
  // The same test on the I/O queue; the answer comes on the main queue.
  void diskImageExistsWithKey(const std::string& key, std::function<void(bool)> completion) const;

  // ---- Removing ----
  // Nothing for an empty key. From disk: the file is removed on the I/O queue and the completion
  // comes on the main queue after; else the completion is called at once.
  void removeImageForKey(const std::string& key, bool fromDisk = true, std::function<void()> completion = {});
  template <class F, class = std::enable_if_t<std::is_invocable_v<F&>>>
  void removeImageForKey(const std::string& key, F&& completion) {
    removeImageForKey(key, true, std::function<void()>(std::forward<F>(completion)));
  }

  // ---- Clearing and cleaning ----
  void clearMemory();
  // Removes the whole folder and makes it again, on the I/O queue.
  void clearDisk(std::function<void()> completion = {});
  // On the I/O queue: removes the files not modified after now - maxCacheAge, then, when
  // maxCacheSize is set and exceeded, the oldest files until less than half of it is left.
  void cleanDisk(std::function<void()> completion = {});
  // cleanDisk, run as background work (which here simply runs).
  void backgroundCleanDisk();

  // ---- Counting (blocking on the I/O queue; never call them from a disk task) ----
  // Sum of the file sizes under the folder (subfolders and hidden files included).
  uint64_t getSize() const;
  // Number of entries under the folder.
  uint64_t getDiskCount() const;
  // Entries and their total size, hidden ones skipped; the answer comes on the main queue.
  void calculateSizeWithCompletionBlock(std::function<void(uint64_t fileCount, uint64_t totalSize)> completion) const;

  // ---- Properties ----
  const std::shared_ptr<AutoPurgeCache>& memCache() const { return m_memCache; }
  const std::string& diskCachePath() const { return m_diskCachePath; }
  std::vector<std::string> customPaths() const;
  bool shouldDecompressImages() const { return m_shouldDecompressImages; }
  void setShouldDecompressImages(bool value) { m_shouldDecompressImages = value; }
  // Excluding files from backups means nothing here; the flag is kept for callers.
  bool shouldDisableiCloud() const { return m_shouldDisableiCloud; }
  void setShouldDisableiCloud(bool value) { m_shouldDisableiCloud = value; }
  bool shouldCacheImagesInMemory() const { return m_shouldCacheImagesInMemory; }
  void setShouldCacheImagesInMemory(bool value) { m_shouldCacheImagesInMemory = value; }
  int64_t maxCacheAge() const { return m_maxCacheAge; }
  void setMaxCacheAge(int64_t seconds) { m_maxCacheAge = seconds; }
  uint64_t maxCacheSize() const { return m_maxCacheSize; }
  void setMaxCacheSize(uint64_t bytes) { m_maxCacheSize = bytes; }
  // The memory tier's total cost (pixel) limit and count limit; 0 means no limit.
  uint64_t maxMemoryCost() const;
  void setMaxMemoryCost(uint64_t cost);
  uint64_t maxMemoryCountLimit() const;
  void setMaxMemoryCountLimit(uint64_t count);

 private:
  std::shared_ptr<core::Queue> m_ioQueue;
  std::atomic<int64_t> m_maxCacheAge{DefaultMaxCacheAge};
  std::shared_ptr<AutoPurgeCache> m_memCache;
  std::string m_diskCachePath;
  std::atomic<bool> m_shouldDecompressImages{true};
  std::atomic<bool> m_shouldCacheImagesInMemory{true};
  std::atomic<bool> m_shouldDisableiCloud{true};
  std::atomic<uint64_t> m_maxCacheSize{0};
  mutable std::mutex m_customPathsMutex;
  std::vector<std::string> m_customPaths;

  // The application's notifications call into the cache under this lock, which the destructor
  // takes too: a notification posted on another thread never reaches a cache being destroyed.
  struct Life {
    std::mutex mutex;
    ICImageCache* cache = nullptr;
  };
  std::shared_ptr<Life> m_life;
  std::vector<core::Observation> m_observations;
};

}  // namespace kt
