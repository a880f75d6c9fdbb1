#pragma once

#include "imagecache/ICWebImageDownloader.h"
#include "imagecache/ICWebImageOperation.h"
#include "platform/core/Error.h"
#include "platform/net/URL.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

class ICImageCache;
class ICWebImageCombinedOperation;
enum class ICImageCacheSource : int64_t;

// The options of a load; the view loaders take the same set.
enum ICWebImageLoadOptions : unsigned {
  ICWebImageLoadRetryFailed = 1,              // load a URL that failed before; a success forgets the failure
  ICWebImageLoadLowPriority = 2,
  ICWebImageLoadMemoryCacheOnly = 4,          // store the downloaded image in memory only
  ICWebImageLoadProgressive = 8,              // partial images while the bytes arrive
  ICWebImageLoadRefreshCached = 16,           // deliver a cached image, then download again
  ICWebImageLoadContinueInBackground = 32,
  ICWebImageLoadHandleCookies = 64,
  ICWebImageLoadAllowInvalidCertificates = 128,
  ICWebImageLoadHighPriority = 256,
  ICWebImageLoadDelayPlaceholder = 512,       // view loaders only
  ICWebImageLoadTransformAnimatedImage = 1024,
  ICWebImageLoadAvoidAutoSetImage = 2048,     // view loaders only
};

// The result of a load: image, error, where it came from, whether it is final, and the URL.
using ICWebImageLoadCompletion = std::function<void(ImagePtr, std::optional<core::Error>, ICImageCacheSource,
                                                    bool finished, std::optional<net::URL>)>;
// The same without the URL (the shape of downloadWithURL).
using ICWebImageLoadCompletionWithoutURL =
    std::function<void(ImagePtr, std::optional<core::Error>, ICImageCacheSource, bool finished)>;
using ICWebImageCacheKeyFilter = std::function<std::string(const std::optional<net::URL>&)>;

class ICWebImageManager;

// What a manager asks its delegate. Both are optional: a slot left empty is not implemented.
class ICWebImageManagerDelegate {
 public:
  virtual ~ICWebImageManagerDelegate() = default;

  // False forbids downloading an image that is not in the cache.
  std::function<bool(ICWebImageManager&, const std::optional<net::URL>&)> shouldDownloadImageForURL;
  // A replacement for a freshly downloaded image; called on a background queue.
  std::function<ImagePtr(ICWebImageManager&, const ImagePtr&, const std::optional<net::URL>&)> transformDownloadedImage;
};

// Turns a request for the image at a URL into a cache look-up, a download when needed and a
// cache store, and reports the result on the main thread. URLs whose download failed for a
// lasting reason are refused afterwards unless the caller asks to retry.
//
// Loads may start on any thread. Make it with std::make_shared.
class ICWebImageManager : public std::enable_shared_from_this<ICWebImageManager> {
 public:
  static std::shared_ptr<ICWebImageManager> sharedManager();

  // Over the shared cache and the shared downloader.
  ICWebImageManager();
  ICWebImageManager(std::shared_ptr<ICImageCache> cache, std::shared_ptr<ICWebImageDownloader> downloader);
  ~ICWebImageManager();
  ICWebImageManager(const ICWebImageManager&) = delete;
  ICWebImageManager& operator=(const ICWebImageManager&) = delete;

  const std::shared_ptr<ICImageCache>& imageCache() const { return m_imageCache; }
  const std::shared_ptr<ICWebImageDownloader>& imageDownloader() const { return m_imageDownloader; }
  std::weak_ptr<ICWebImageManagerDelegate> delegate() const;
  void setDelegate(std::weak_ptr<ICWebImageManagerDelegate> delegate);
  ICWebImageCacheKeyFilter cacheKeyFilter() const;
  void setCacheKeyFilter(ICWebImageCacheKeyFilter filter);

  // "" for an absent URL; the filter's answer when one is set; else the URL's text.
  std::string cacheKeyForURL(const std::optional<net::URL>& url) const;

  bool cachedImageExistsForURL(const std::optional<net::URL>& url) const;
  bool diskImageExistsForURL(const std::optional<net::URL>& url) const;
  // The answer comes on the main queue.
  void cachedImageExistsForURL(const std::optional<net::URL>& url, std::function<void(bool)> completion) const;
  void diskImageExistsForURL(const std::optional<net::URL>& url, std::function<void(bool)> completion) const;

  // Loads the image at the URL; the completion (required) runs on the main thread, once, or for a
  // progressive download once per partial image and once at the end. Answers the load's handle.
  std::shared_ptr<ICWebImageOperation> downloadImageWithURL(const std::optional<net::URL>& url, unsigned options,
                                                           ICWebImageProgressCallback progress,
                                                           ICWebImageLoadCompletion completed);
  // Text that is not a URL counts as an absent URL.
  std::shared_ptr<ICWebImageOperation> downloadImageWithURL(std::string_view url, unsigned options,
                                                           ICWebImageProgressCallback progress,
                                                           ICWebImageLoadCompletion completed);
  // Old name: the completion gets everything but the URL.
  std::shared_ptr<ICWebImageOperation> downloadWithURL(const std::optional<net::URL>& url, unsigned options,
                                                      ICWebImageProgressCallback progress,
                                                      ICWebImageLoadCompletionWithoutURL completed);

  // Stores the image on disk and in memory under the URL's key, when both are given.
  void saveImageToCache(const ImagePtr& image, const std::optional<net::URL>& url);
  // Cancels every load in progress.
  void cancelAll();
  // Whether a load is in progress.
  bool isRunning() const;

 private:
  void queryAnswered(const std::shared_ptr<ICWebImageCombinedOperation>& operation, const net::URL& url,
                     unsigned options, const ICWebImageProgressCallback& progress,
                     const ICWebImageLoadCompletion& completed, ImagePtr cachedImage, ICImageCacheSource source);
  void downloadAnswered(const std::weak_ptr<ICWebImageCombinedOperation>& weakOperation, const net::URL& url,
                        unsigned options, const ICWebImageLoadCompletion& completed, bool hadCachedImage,
                        ImagePtr image, std::optional<std::string> data, std::optional<core::Error> error,
                        bool finished);
  bool isFailedURL(const net::URL& url) const;
  void removeRunning(const std::shared_ptr<ICWebImageCombinedOperation>& operation);

  std::shared_ptr<ICImageCache> m_imageCache;
  std::shared_ptr<ICWebImageDownloader> m_imageDownloader;

  mutable std::mutex m_failedMutex;
  std::set<std::string> m_failedURLs;  // absolute URL texts

  mutable std::mutex m_runningMutex;
  std::vector<std::shared_ptr<ICWebImageCombinedOperation>> m_runningOperations;

  mutable std::mutex m_mutex;  // delegate and filter
  std::weak_ptr<ICWebImageManagerDelegate> m_delegate;
  ICWebImageCacheKeyFilter m_cacheKeyFilter;
};

}  // namespace kt
