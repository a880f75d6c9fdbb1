#pragma once

#include "imagecache/ICWebImageOperation.h"
#include "platform/core/Error.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace core {
class OperationQueue;
class Queue;
}  // namespace core

namespace gfx {
class Image;
}

namespace net {
class URLSession;
class URLSessionTask;
struct URLCredential;
}  // namespace net

namespace kt {

using ImagePtr = std::shared_ptr<const gfx::Image>;

// How one download is made.
enum ICWebImageFetchOptions : unsigned {
  ICWebImageFetchLowPriority = 1,
  ICWebImageFetchProgressive = 2,                 // partial images while the bytes arrive
  ICWebImageFetchUseURLCache = 4,                 // the protocol's caching rules instead of reloading
  ICWebImageFetchIgnoreCachedResponse = 8,        // a reply from the URL cache completes with no image
  ICWebImageFetchContinueInBackground = 16,
  ICWebImageFetchHandleCookies = 32,
  ICWebImageFetchAllowInvalidCertificates = 64,   // any server certificate is trusted
  ICWebImageFetchHighPriority = 128,              // wins over low
};

// The order queued downloads start in.
enum ICWebImageFetchOrder : int64_t { ICWebImageFetchOrderFIFO = 0, ICWebImageFetchOrderLIFO = 1 };

// Bytes received and expected (-1 when the length is not known).
using ICWebImageProgressCallback = std::function<void(int64_t received, int64_t expected)>;
// finished is false for the partial images of a progressive download.
using ICWebImageFetchCompletion =
    std::function<void(ImagePtr, std::optional<std::string> data, std::optional<core::Error>, bool finished)>;
// The header fields a request goes out with, given the ones the downloader would send.
using ICWebImageHeadersFilter = std::function<net::HeaderFields(const net::URL&, const net::HeaderFields&)>;
// The cache key of a URL, used to give downloaded images the scale their key names.
using ICWebImageCacheKeyFunction = std::function<std::string(const std::optional<net::URL>&)>;

class ICWebImageDownloaderOperation;
// Makes the operation of one download (request, session, options, progress, completion, cancellation).
using ICWebImageOperationFactory = std::function<std::shared_ptr<ICWebImageDownloaderOperation>(
    const net::URLRequest&, const std::shared_ptr<net::URLSession>&, unsigned options, ICWebImageProgressCallback,
    ICWebImageFetchCompletion, std::function<void()> cancelled)>;

// Posted on the main queue with the download operation as object.
constexpr const char* ICWebImageDownloadStartNotification = "ICWebImageDownloadStartNotification";
constexpr const char* ICWebImageDownloadReceiveResponseNotification = "ICWebImageDownloadReceiveResponseNotification";
constexpr const char* ICWebImageDownloadStopNotification = "ICWebImageDownloadStopNotification";
constexpr const char* ICWebImageDownloadFinishNotification = "ICWebImageDownloadFinishNotification";

// Fetches image bytes over HTTP: at most maxConcurrentDownloads() at once on an operation queue,
// through one URL session. Requests for a URL already being downloaded ride on the running
// download instead of starting another; each caller gets the progress and completion calls.
//
// Thread-safe. Progress calls come on the main queue, partial images on the main thread, final
// completions on the session's delegate queue. Make it with std::make_shared.
class ICWebImageDownloader : public std::enable_shared_from_this<ICWebImageDownloader> {
 public:
  static std::shared_ptr<ICWebImageDownloader> sharedDownloader();

  ICWebImageDownloader();
  // Cancels every download and the session.
  ~ICWebImageDownloader();
  ICWebImageDownloader(const ICWebImageDownloader&) = delete;
  ICWebImageDownloader& operator=(const ICWebImageDownloader&) = delete;

  // Starts the download of the URL, or adds the callbacks to the one running. Answers the new
  // operation; nullptr when the URL was already being downloaded and for an absent URL (whose
  // completion is called at once with no image, no error and finished false). Cancelling the
  // operation ends the download for every caller.
  std::shared_ptr<ICWebImageOperation> downloadImageWithURL(const std::optional<net::URL>& url, unsigned options,
                                                           ICWebImageProgressCallback progress,
                                                           ICWebImageFetchCompletion completed);
  // The same, answering this caller's own handle (nullptr only for an absent URL): cancelling it
  // drops this caller's callbacks, and ends the download once no caller is left.
  std::shared_ptr<ICWebImageOperation> addCallerForURL(const std::optional<net::URL>& url, unsigned options,
                                                      ICWebImageProgressCallback progress,
                                                      ICWebImageFetchCompletion completed);

  // Header fields of every request; an absent value removes the field.
  void setValue(const std::optional<std::string>& value, const std::string& field);
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
  net::HeaderFields HTTPHeaders() const;

  int maxConcurrentDownloads() const;
  void setMaxConcurrentDownloads(int count);
  // Downloads queued or running.
  size_t currentDownloadCount() const;
  void setSuspended(bool suspended);
  // Cancels every queued and running download.
  void cancelAllDownloads();

  // The queued (not yet finished) operation whose data task is this one.
  std::shared_ptr<ICWebImageDownloaderOperation> operationWithTask(const std::shared_ptr<net::URLSessionTask>& task) const;

  const std::shared_ptr<core::OperationQueue>& downloadQueue() const { return m_downloadQueue; }
  const std::shared_ptr<core::Queue>& barrierQueue() const { return m_barrierQueue; }
  // Made on first use.
  std::shared_ptr<net::URLSession> session();
  // The most recently queued operation in LIFO order.
  std::shared_ptr<ICWebImageDownloaderOperation> lastAddedOperation() const;

  // An empty factory restores the default (a plain ICWebImageDownloaderOperation).
  ICWebImageOperationFactory operationClass() const;
  void setOperationClass(ICWebImageOperationFactory factory);
  bool shouldDecompressImages() const;
  void setShouldDecompressImages(bool decompress);
  // Seconds; 0 means 15.
  double downloadTimeout() const;
  void setDownloadTimeout(double seconds);
  ICWebImageFetchOrder executionOrder() const;
  void setExecutionOrder(ICWebImageFetchOrder order);
  std::shared_ptr<net::URLCredential> urlCredential() const;
  void setUrlCredential(std::shared_ptr<net::URLCredential> credential);
  std::optional<std::string> username() const;
  void setUsername(std::optional<std::string> username);
  std::optional<std::string> password() const;
  void setPassword(std::optional<std::string> password);
  ICWebImageHeadersFilter headersFilter() const;
  void setHeadersFilter(ICWebImageHeadersFilter filter);
  // The key under which downloaded images are scaled; by default the shared manager's cache key.
  ICWebImageCacheKeyFunction cacheKeyFunction() const;
  void setCacheKeyFunction(ICWebImageCacheKeyFunction function);

 private:
  class Caller;
  class SessionDelegate;
  struct CallbackEntry {
    uint64_t id = 0;
    ICWebImageProgressCallback progress;
    ICWebImageFetchCompletion completed;
  };
  struct URLEntry {
    uint64_t download = 0;  // the download these callers wait for
    std::weak_ptr<ICWebImageDownloaderOperation> operation;
    std::vector<CallbackEntry> callers;
  };
  struct Registration {
    std::shared_ptr<ICWebImageOperation> caller;
    std::shared_ptr<ICWebImageDownloaderOperation> created;
  };

  Registration addProgressCallback(const std::optional<net::URL>& url, unsigned options,
                                   ICWebImageProgressCallback progress, ICWebImageFetchCompletion completed);
  std::shared_ptr<ICWebImageDownloaderOperation> makeOperation(const net::URL& url, unsigned options, uint64_t download);
  net::URLRequest requestFor(const net::URL& url, unsigned options) const;
  void removeCaller(const std::string& key, uint64_t download, uint64_t caller);

  // The operation's callbacks, by URL and download.
  void deliverProgress(const std::string& key, uint64_t download, int64_t received, int64_t expected);
  void deliverCompletion(const std::string& key, uint64_t download, ImagePtr image, std::optional<std::string> data,
                         std::optional<core::Error> error, bool finished);
  void forgetDownload(const std::string& key, uint64_t download);

  const std::shared_ptr<core::OperationQueue> m_downloadQueue;
  const std::shared_ptr<core::Queue> m_barrierQueue;

  // On m_barrierQueue only.
  std::map<std::string, URLEntry> m_URLCallbacks;
  uint64_t m_nextId = 1;

  mutable std::mutex m_mutex;  // the settings below
  std::once_flag m_sessionOnce;
  std::shared_ptr<net::URLSession> m_session;
  std::weak_ptr<ICWebImageDownloaderOperation> m_lastAddedOperation;
  ICWebImageOperationFactory m_operationClass;
  net::HeaderFields m_HTTPHeaders{{"Accept", "image/*;q=0.8"}};
  bool m_shouldDecompressImages = true;
  double m_downloadTimeout = 15.0;
  ICWebImageFetchOrder m_executionOrder = ICWebImageFetchOrderFIFO;
  std::shared_ptr<net::URLCredential> m_urlCredential;
  std::optional<std::string> m_username;
  std::optional<std::string> m_password;
  ICWebImageHeadersFilter m_headersFilter;
  ICWebImageCacheKeyFunction m_cacheKeyFunction;
};

}  // namespace kt
