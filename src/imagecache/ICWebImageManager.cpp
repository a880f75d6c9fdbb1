#include "imagecache/ICWebImageManager.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageCombinedOperation.h"
#include "imagecache/MainThread.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLError.h"

#include <algorithm>

namespace kt {
namespace {

// "File does not exist": an absent URL, or one that failed before.
constexpr int64_t kFileDoesNotExist = -1100;

// Errors of conditions that may pass: the URL is tried again next time.
bool isPassingError(int64_t code) {
  switch (code) {
    case net::URLError::NotConnectedToInternet:
    case net::URLError::Cancelled:
    case net::URLError::TimedOut:
    case -1018:  // international roaming off
    case -1020:  // data not allowed
    case net::URLError::CannotFindHost:
    case net::URLError::CannotConnectToHost:
      return true;
    default:
      return false;
  }
}

// A download answered "not modified" (304).
bool isNotModified(const core::Error& error) {
  return error.domain() == net::URLError::Domain && error.code() == 304;
}

// The download options a load's options ask for.
unsigned fetchOptionsFor(unsigned options) {
  unsigned fetch = 0;
  if (options & ICWebImageLoadLowPriority) fetch |= ICWebImageFetchLowPriority;
  if (options & ICWebImageLoadProgressive) fetch |= ICWebImageFetchProgressive;
  if (options & ICWebImageLoadRefreshCached) fetch |= ICWebImageFetchUseURLCache;
  if (options & ICWebImageLoadContinueInBackground) fetch |= ICWebImageFetchContinueInBackground;
  if (options & ICWebImageLoadHandleCookies) fetch |= ICWebImageFetchHandleCookies;
  if (options & ICWebImageLoadAllowInvalidCertificates) fetch |= ICWebImageFetchAllowInvalidCertificates;
  if (options & ICWebImageLoadHighPriority) fetch |= ICWebImageFetchHighPriority;
  return fetch;
}

// Delivers on the main thread, unless the load has gone or been cancelled by then.
void deliverUnlessCancelled(const std::weak_ptr<ICWebImageCombinedOperation>& operation,
                            const std::function<void()>& delivery) {
  performOnMainThreadSync([&] {
    auto strong = operation.lock();
    if (strong && !strong->isCancelled()) delivery();
  });
}

}  // namespace

std::shared_ptr<ICWebImageManager> ICWebImageManager::sharedManager() {
  // Made once and never destroyed, like the platform's shared objects.
  static auto* shared = new std::shared_ptr<ICWebImageManager>(std::make_shared<ICWebImageManager>());
  return *shared;
}

ICWebImageManager::ICWebImageManager()
    : ICWebImageManager(ICImageCache::sharedImageCache(), ICWebImageDownloader::sharedDownloader()) {}

ICWebImageManager::ICWebImageManager(std::shared_ptr<ICImageCache> cache,
                                     std::shared_ptr<ICWebImageDownloader> downloader)
    : m_imageCache(std::move(cache)), m_imageDownloader(std::move(downloader)) {}

ICWebImageManager::~ICWebImageManager() = default;

std::weak_ptr<ICWebImageManagerDelegate> ICWebImageManager::delegate() const {
  std::lock_guard lock(m_mutex);
  return m_delegate;
}

void ICWebImageManager::setDelegate(std::weak_ptr<ICWebImageManagerDelegate> delegate) {
  std::lock_guard lock(m_mutex);
  m_delegate = std::move(delegate);
}

ICWebImageCacheKeyFilter ICWebImageManager::cacheKeyFilter() const {
  std::lock_guard lock(m_mutex);
  return m_cacheKeyFilter;
}

void ICWebImageManager::setCacheKeyFilter(ICWebImageCacheKeyFilter filter) {
  std::lock_guard lock(m_mutex);
  m_cacheKeyFilter = std::move(filter);
}

std::string ICWebImageManager::cacheKeyForURL(const std::optional<net::URL>& url) const {
  if (!url) return "";
  if (auto filter = cacheKeyFilter()) return filter(url);
  return url->absoluteString();
}

bool ICWebImageManager::cachedImageExistsForURL(const std::optional<net::URL>& url) const {
  std::string key = cacheKeyForURL(url);
  return m_imageCache->imageFromMemoryCacheForKey(key) != nullptr || m_imageCache->diskImageExistsWithKey(key);
}

bool ICWebImageManager::diskImageExistsForURL(const std::optional<net::URL>& url) const {
  return m_imageCache->diskImageExistsWithKey(cacheKeyForURL(url));
}

void ICWebImageManager::cachedImageExistsForURL(const std::optional<net::URL>& url,
                                                std::function<void(bool)> completion) const {
  std::string key = cacheKeyForURL(url);
  if (m_imageCache->imageFromMemoryCacheForKey(key)) {
    if (completion) core::Queue::main()->async([completion] { completion(true); });
    return;
  }
  diskImageExistsForURL(url, std::move(completion));
}

void ICWebImageManager::diskImageExistsForURL(const std::optional<net::URL>& url,
                                              std::function<void(bool)> completion) const {
  m_imageCache->diskImageExistsWithKey(cacheKeyForURL(url), [completion = std::move(completion)](bool exists) {
    if (completion) completion(exists);
  });
}

void ICWebImageManager::saveImageToCache(const ImagePtr& image, const std::optional<net::URL>& url) {
  if (image && url) m_imageCache->storeImage(image, cacheKeyForURL(url), true);
}

void ICWebImageManager::cancelAll() {
  std::vector<std::shared_ptr<ICWebImageCombinedOperation>> copy;
  {
    std::lock_guard lock(m_runningMutex);
    copy = m_runningOperations;
  }
  // Cancelled outside the lock: a cancel block takes it to remove its load.
  for (const auto& operation : copy) operation->cancel();
  std::lock_guard lock(m_runningMutex);
  std::erase_if(m_runningOperations, [&](const auto& operation) {
    return std::find(copy.begin(), copy.end(), operation) != copy.end();
  });
}

bool ICWebImageManager::isRunning() const {
  std::lock_guard lock(m_runningMutex);
  return !m_runningOperations.empty();
}

bool ICWebImageManager::isFailedURL(const net::URL& url) const {
  std::lock_guard lock(m_failedMutex);
  return m_failedURLs.count(url.absoluteString()) != 0;
}

void ICWebImageManager::removeRunning(const std::shared_ptr<ICWebImageCombinedOperation>& operation) {
  std::lock_guard lock(m_runningMutex);
  std::erase(m_runningOperations, operation);
}

// ---- loading --------------------------------------------------------------------------------

std::shared_ptr<ICWebImageOperation> ICWebImageManager::downloadImageWithURL(std::string_view url, unsigned options,
                                                                            ICWebImageProgressCallback progress,
                                                                            ICWebImageLoadCompletion completed) {
  return downloadImageWithURL(net::URL::fromString(url), options, std::move(progress), std::move(completed));
}

std::shared_ptr<ICWebImageOperation> ICWebImageManager::downloadWithURL(const std::optional<net::URL>& url,
                                                                       unsigned options,
                                                                       ICWebImageProgressCallback progress,
                                                                       ICWebImageLoadCompletionWithoutURL completed) {
  ICWebImageLoadCompletion withURL;
  if (completed) {
    withURL = [completed = std::move(completed)](ImagePtr image, std::optional<core::Error> error,
                                                 ICImageCacheSource source, bool finished, std::optional<net::URL>) {
      completed(std::move(image), std::move(error), source, finished);
    };
  }
  return downloadImageWithURL(url, options, std::move(progress), std::move(withURL));
}

std::shared_ptr<ICWebImageOperation> ICWebImageManager::downloadImageWithURL(const std::optional<net::URL>& url,
                                                                            unsigned options,
                                                                            ICWebImageProgressCallback progress,
                                                                            ICWebImageLoadCompletion completed) {
  auto operation = std::make_shared<ICWebImageCombinedOperation>();
  if (!completed) return operation;  // a load without a result to give is no load
  bool failed = url && isFailedURL(*url);
  if (!url || url->absoluteString().empty() || (failed && !(options & ICWebImageLoadRetryFailed))) {
    core::Error error(net::URLError::Domain, kFileDoesNotExist);
    performOnMainThreadSync([&] { completed(nullptr, error, ICImageCacheSource::None, true, url); });
    return operation;
  }
  {
    std::lock_guard lock(m_runningMutex);
    m_runningOperations.push_back(operation);
  }
  std::weak_ptr<ICWebImageManager> weakSelf = weak_from_this();
  std::weak_ptr<ICWebImageCombinedOperation> weakOperation = operation;
  // Until a download starts, cancelling just takes the load out of the running list (its cache
  // query, cancelled too, may never answer).
  operation->setCancelBlock([weakSelf, weakOperation] {
    auto self = weakSelf.lock();
    auto strong = weakOperation.lock();
    if (self && strong) self->removeRunning(strong);
  });
  auto query = m_imageCache->queryDiskCacheForKey(
      cacheKeyForURL(url), [weakSelf, weakOperation, url = *url, options, progress = std::move(progress),
                            completed = std::move(completed)](ImagePtr image, ICImageCacheSource source) {
        auto self = weakSelf.lock();
        auto strong = weakOperation.lock();
        if (self && strong) self->queryAnswered(strong, url, options, progress, completed, std::move(image), source);
      });
  if (query) operation->setCacheOperation(std::move(query));
  return operation;
}

void ICWebImageManager::queryAnswered(const std::shared_ptr<ICWebImageCombinedOperation>& operation,
                                      const net::URL& url, unsigned options,
                                      const ICWebImageProgressCallback& progress,
                                      const ICWebImageLoadCompletion& completed, ImagePtr cachedImage,
                                      ICImageCacheSource source) {
  if (operation->isCancelled()) {
    removeRunning(operation);
    return;
  }
  std::weak_ptr<ICWebImageCombinedOperation> weakOperation = operation;
  bool refresh = (options & ICWebImageLoadRefreshCached) != 0;
  auto finishWithCache = [&] {
    operation->setCancelBlock(nullptr);
    removeRunning(operation);
    ICImageCacheSource from = cachedImage ? source : ICImageCacheSource::None;
    deliverUnlessCancelled(weakOperation, [&] { completed(cachedImage, std::nullopt, from, true, url); });
  };
  if (cachedImage && !refresh) return finishWithCache();
  auto delegate = this->delegate().lock();
  if (delegate && delegate->shouldDownloadImageForURL && !delegate->shouldDownloadImageForURL(*this, url))
    return finishWithCache();

  if (cachedImage) {
    // Shown now, and downloaded again in case it changed.
    performOnMainThreadSync([&] { completed(cachedImage, std::nullopt, source, true, url); });
  }
  unsigned fetch = fetchOptionsFor(options);
  if (cachedImage) {
    fetch &= ~static_cast<unsigned>(ICWebImageFetchProgressive);
    fetch |= ICWebImageFetchIgnoreCachedResponse;
  }
  std::weak_ptr<ICWebImageManager> weakSelf = weak_from_this();
  bool hadCachedImage = cachedImage != nullptr;
  auto caller = m_imageDownloader->addCallerForURL(
      url, fetch, progress,
      [weakSelf, weakOperation, url, options, completed, hadCachedImage](
          ImagePtr image, std::optional<std::string> data, std::optional<core::Error> error, bool finished) {
        if (auto self = weakSelf.lock())
          self->downloadAnswered(weakOperation, url, options, completed, hadCachedImage, std::move(image),
                                 std::move(data), std::move(error), finished);
      });
  operation->setCancelBlock([caller, weakSelf, weakOperation] {
    if (caller) caller->cancel();
    auto self = weakSelf.lock();
    auto strong = weakOperation.lock();
    if (self && strong) self->removeRunning(strong);
  });
}

void ICWebImageManager::downloadAnswered(const std::weak_ptr<ICWebImageCombinedOperation>& weakOperation,
                                         const net::URL& url, unsigned options,
                                         const ICWebImageLoadCompletion& completed, bool hadCachedImage,
                                         ImagePtr image, std::optional<std::string> data,
                                         std::optional<core::Error> error, bool finished) {
  auto operation = weakOperation.lock();
  if (!operation) return;
  // A finished load leaves the running list before its result is delivered, so that the
  // result's receiver already sees isRunning() without it.
  if (finished) removeRunning(operation);
  if (operation->isCancelled()) return;
  if (error && isNotModified(*error)) {
    // The server confirmed the image: a cached one was delivered already and stands; without one
    // the load fails, but the URL is not marked as failed.
    if (!hadCachedImage) {
      deliverUnlessCancelled(weakOperation,
                             [&] { completed(nullptr, error, ICImageCacheSource::None, finished, url); });
    }
  } else if (error) {
    if (!isPassingError(error->code())) {
      std::lock_guard lock(m_failedMutex);
      m_failedURLs.insert(url.absoluteString());
    }
    deliverUnlessCancelled(weakOperation, [&] { completed(nullptr, error, ICImageCacheSource::None, finished, url); });
  } else {
    if (options & ICWebImageLoadRetryFailed) {
      std::lock_guard lock(m_failedMutex);
      m_failedURLs.erase(url.absoluteString());
    }
    bool toDisk = !(options & ICWebImageLoadMemoryCacheOnly);
    std::string key = cacheKeyForURL(url);
    auto delegate = this->delegate().lock();
    bool transform = image && (image->frames().empty() || (options & ICWebImageLoadTransformAnimatedImage)) &&
                     delegate && delegate->transformDownloadedImage;
    if ((options & ICWebImageLoadRefreshCached) && hadCachedImage && !image) {
      // The URL cache answered: the image delivered from the cache stands.
    } else if (transform) {
      auto self = shared_from_this();
      core::Queue::global(core::Queue::Priority::High)
          ->async([self, delegate, operation, url, completed, image, data, finished, key, toDisk] {
            ImagePtr transformed = delegate->transformDownloadedImage(*self, image, url);
            if (transformed && finished) {
              bool changed = transformed != image;
              self->m_imageCache->storeImage(transformed, changed, changed ? std::nullopt : data, key, toDisk);
            }
            deliverUnlessCancelled(operation, [&] {
              completed(transformed, std::nullopt, ICImageCacheSource::None, finished, url);
            });
          });
    } else {
      if (image && finished) m_imageCache->storeImage(image, false, data, key, toDisk);
      deliverUnlessCancelled(weakOperation, [&] {
        completed(image, std::nullopt, ICImageCacheSource::None, finished, url);
      });
    }
  }
}

}  // namespace kt
