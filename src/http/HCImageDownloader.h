#pragma once

#include "platform/core/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionConfiguration.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {
class Queue;
}
namespace gfx {
class Image;
}
namespace net {
class HTTPURLResponse;
class URLCache;
}

namespace kt {

class HCHTTPSessionManager;
class HCImageRequestCache;
class HCURLSessionTask;

enum class HCImageDownloadPrioritization : long { FIFO = 0, LIFO = 1 };

using HCImageDownloadSuccess = std::function<void(const net::URLRequest& request,
                                                  std::shared_ptr<const net::HTTPURLResponse> response,
                                                  std::shared_ptr<gfx::Image> image)>;
using HCImageDownloadFailure = std::function<void(const net::URLRequest& request,
                                                  std::shared_ptr<const net::HTTPURLResponse> response,
                                                  const core::Error& error)>;

// One caller waiting for a download.
struct HCImageDownloaderResponseHandler {
  std::string uuid;
  HCImageDownloadSuccess successBlock;
  HCImageDownloadFailure failureBlock;
  // "<HCImageDownloaderResponseHandler>UUID: <uuid>"
  std::string description() const { return "<HCImageDownloaderResponseHandler>UUID: " + uuid; }
};

// One network task serving every caller of one URL.
struct HCImageDownloaderMergedTask {
  std::string URLIdentifier;
  std::string identifier;
  std::shared_ptr<HCURLSessionTask> task;
  std::vector<HCImageDownloaderResponseHandler> responseHandlers;
  bool started = false;  // resumed by the downloader, so counted as active
};

// What a caller keeps to cancel its request.
struct HCImageDownloadReceipt {
  std::string receiptID;
  std::shared_ptr<HCURLSessionTask> task;
};

// Downloads images with one network task per URL however many callers ask for it, at most
// maximumActiveDownloads() at once (the others wait in first-in or last-in order), and keeps the
// results in an image cache. Every caller callback runs on the main queue.
class HCImageDownloader : public std::enable_shared_from_this<HCImageDownloader> {
 public:
  static constexpr int DefaultMaximumActiveDownloads = 4;
  static constexpr const char* CancelledFailureReasonFormat = "ImageDownloader cancelled URL request: %@";
  // The user-info key of the failure reason.
  static constexpr const char* FailureReasonKey = "LocalizedFailureReason";

  // The process-wide downloader, made with the defaults.
  static std::shared_ptr<HCImageDownloader> defaultInstance();
  static constexpr uint64_t DefaultURLCacheMemoryCapacity = 20 * 1024 * 1024;
  static constexpr uint64_t DefaultURLCacheDiskCapacity = 150 * 1024 * 1024;
  // The folder of the default URL cache, in the program's cache directory.
  static constexpr const char* DefaultURLCacheDiskPath = "net.ktvroom.http.imagedownloader";

  // A new URL cache with the capacities and folder above.
  static std::shared_ptr<net::URLCache> defaultURLCache();
  // The session settings of the default downloader's manager: cookies on, no pipelining, the
  // protocol's cache policy, 60-second request time-out, and a defaultURLCache().
  static net::URLSessionConfiguration defaultURLSessionConfiguration();

  // The defaults: an image-decoding session manager, a new auto-purging cache, FIFO, 4 downloads.
  static std::shared_ptr<HCImageDownloader> create();
  static std::shared_ptr<HCImageDownloader> create(std::shared_ptr<HCHTTPSessionManager> sessionManager,
                                                   HCImageDownloadPrioritization downloadPrioritization,
                                                   long maximumActiveDownloads,
                                                   std::shared_ptr<HCImageRequestCache> imageCache);

  HCImageDownloader(std::shared_ptr<HCHTTPSessionManager> sessionManager,
                    HCImageDownloadPrioritization downloadPrioritization, long maximumActiveDownloads,
                    std::shared_ptr<HCImageRequestCache> imageCache);
  ~HCImageDownloader();
  HCImageDownloader(const HCImageDownloader&) = delete;
  HCImageDownloader& operator=(const HCImageDownloader&) = delete;

  const std::shared_ptr<HCImageRequestCache>& imageCache() const { return m_imageCache; }
  const std::shared_ptr<HCHTTPSessionManager>& sessionManager() const { return m_sessionManager; }
  HCImageDownloadPrioritization downloadPrioritizaton() const { return m_downloadPrioritization; }
  long maximumActiveDownloads() const { return m_maximumActiveDownloads; }
  // Tasks started and not yet finished.
  long activeRequestCount() const;
  // Merged tasks waiting to start.
  size_t queuedTaskCount() const;

  // With a fresh receipt identifier.
  std::optional<HCImageDownloadReceipt> downloadImageForURLRequest(const net::URLRequest& request,
                                                                   HCImageDownloadSuccess success,
                                                                   HCImageDownloadFailure failure);
  // Nothing when no task serves the request (a bad URL, or an image already in the cache).
  std::optional<HCImageDownloadReceipt> downloadImageForURLRequest(const net::URLRequest& request,
                                                                   const std::string& receiptID,
                                                                   HCImageDownloadSuccess success,
                                                                   HCImageDownloadFailure failure);
  // Detaches the receipt's caller (told -999); a queued task nobody waits for any more is dropped.
  void cancelTaskForImageDownloadReceipt(const HCImageDownloadReceipt& receipt);

 private:
  using MergedTaskPtr = std::shared_ptr<HCImageDownloaderMergedTask>;

  void completeTask(const std::string& URLIdentifier, const std::string& mergedTaskIdentifier,
                    std::shared_ptr<const net::HTTPURLResponse> response, std::shared_ptr<gfx::Image> image,
                    std::optional<core::Error> error);
  // On the serial queue.
  void startMergedTask(const MergedTaskPtr& mergedTask);
  void enqueueMergedTask(const MergedTaskPtr& mergedTask);
  MergedTaskPtr dequeueMergedTask();
  bool isActiveRequestCountBelowMaximumLimit() const;
  void safelyStartNextTaskIfNecessary();

  std::shared_ptr<HCHTTPSessionManager> m_sessionManager;
  std::shared_ptr<HCImageRequestCache> m_imageCache;
  HCImageDownloadPrioritization m_downloadPrioritization = HCImageDownloadPrioritization::FIFO;
  long m_maximumActiveDownloads = DefaultMaximumActiveDownloads;
  // Guarded by m_synchronizationQueue.
  long m_activeRequestCount = 0;
  std::deque<MergedTaskPtr> m_queuedMergedTasks;
  std::map<std::string, MergedTaskPtr> m_mergedTasks;
  std::shared_ptr<core::Queue> m_synchronizationQueue;
  std::shared_ptr<core::Queue> m_responseQueue;
};

}  // namespace kt
