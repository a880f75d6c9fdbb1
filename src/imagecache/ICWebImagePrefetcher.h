#pragma once

#include "imagecache/ICWebImageManager.h"
#include "platform/net/URL.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace core {
class Queue;
}

namespace kt {

class ICWebImagePrefetcher;

// What a prefetcher tells its delegate. Both are optional: a slot left empty is not implemented.
class ICWebImagePrefetcherDelegate {
 public:
  virtual ~ICWebImagePrefetcherDelegate() = default;

  // After each finished load: its URL, the loads finished so far and the number of URLs.
  std::function<void(ICWebImagePrefetcher&, const std::optional<net::URL>&, uint64_t finishedCount,
                     uint64_t totalCount)>
      didPrefetchURL;
  // At the end of a run: the URLs that gave an image, and those that did not.
  std::function<void(ICWebImagePrefetcher&, uint64_t totalCount, uint64_t skippedCount)> didFinishWithTotalCount;
};

// Loads a list of image URLs into the cache ahead of need, a few at a time and at low priority,
// each finished load starting the next. Main thread. Make it with std::make_shared.
class ICWebImagePrefetcher : public std::enable_shared_from_this<ICWebImagePrefetcher> {
 public:
  using Progress = std::function<void(uint64_t finishedCount, uint64_t totalCount)>;
  using Completion = std::function<void(uint64_t finishedCount, uint64_t skippedCount)>;

  static std::shared_ptr<ICWebImagePrefetcher> sharedImagePrefetcher();

  // Over a new manager (which shares the one cache and the one downloader).
  ICWebImagePrefetcher();
  // Sets the manager's downloader (the one shared by every manager) to 3 downloads at once.
  explicit ICWebImagePrefetcher(std::shared_ptr<ICWebImageManager> manager);
  ICWebImagePrefetcher(const ICWebImagePrefetcher&) = delete;
  ICWebImagePrefetcher& operator=(const ICWebImagePrefetcher&) = delete;

  // Cancels the run in progress, then loads the URLs; the completion gets (finished, skipped).
  void prefetchURLs(std::vector<std::optional<net::URL>> urls, Progress progress = {}, Completion completed = {});
  // Forgets the list, clears the counts and cancels every load of the manager.
  void cancelPrefetching();

  const std::shared_ptr<ICWebImageManager>& manager() const { return m_manager; }
  const std::vector<std::optional<net::URL>>& prefetchURLs() const { return m_prefetchURLs; }
  uint64_t requestedCount() const { return m_requestedCount; }
  uint64_t skippedCount() const { return m_skippedCount; }
  uint64_t finishedCount() const { return m_finishedCount; }
  // Seconds since 1970 when the run started.
  double startedTime() const { return m_startedTime; }
  // The width of the manager's downloader.
  int maxConcurrentDownloads() const;
  void setMaxConcurrentDownloads(int count);
  unsigned options() const { return m_options; }
  void setOptions(unsigned options) { m_options = options; }
  const std::shared_ptr<core::Queue>& prefetcherQueue() const { return m_prefetcherQueue; }
  void setPrefetcherQueue(std::shared_ptr<core::Queue> queue) { m_prefetcherQueue = std::move(queue); }
  std::weak_ptr<ICWebImagePrefetcherDelegate> delegate() const { return m_delegate; }
  void setDelegate(std::weak_ptr<ICWebImagePrefetcherDelegate> delegate) { m_delegate = std::move(delegate); }

 private:
  void startPrefetchingAtIndex(uint64_t index);
  void loadFinished(uint64_t run, uint64_t index, bool gaveImage);
  void reportStatus();

  std::shared_ptr<ICWebImageManager> m_manager;
  unsigned m_options = ICWebImageLoadLowPriority;
  std::shared_ptr<core::Queue> m_prefetcherQueue;
  std::weak_ptr<ICWebImagePrefetcherDelegate> m_delegate;
  std::vector<std::optional<net::URL>> m_prefetchURLs;
  uint64_t m_requestedCount = 0;
  uint64_t m_skippedCount = 0;
  uint64_t m_finishedCount = 0;
  double m_startedTime = 0;
  Completion m_completionBlock;
  Progress m_progressBlock;
  // Counts the runs, so that a load of an earlier run starts nothing in this one.
  uint64_t m_run = 0;
};

}  // namespace kt
