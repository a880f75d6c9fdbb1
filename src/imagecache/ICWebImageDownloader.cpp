#include "imagecache/ICWebImageDownloader.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageDownloaderOperation.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Queue.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLSession.h"

#include <algorithm>
#include <string>

namespace kt {

// The handle of one caller of a URL: cancelling it drops that caller's callbacks only.
class ICWebImageDownloader::Caller : public ICWebImageOperation {
 public:
  Caller(std::weak_ptr<ICWebImageDownloader> downloader, std::string key, uint64_t download, uint64_t id)
      : m_downloader(std::move(downloader)), m_key(std::move(key)), m_download(download), m_id(id) {}

  void cancel() override {
    if (auto downloader = m_downloader.lock()) downloader->removeCaller(m_key, m_download, m_id);
  }

 private:
  std::weak_ptr<ICWebImageDownloader> m_downloader;
  std::string m_key;
  uint64_t m_download = 0;
  uint64_t m_id = 0;
};

// The session's delegate. The session holds its delegate until it is invalidated, so this holds
// the downloader weakly; each event goes to the operation of its task, or nowhere.
class ICWebImageDownloader::SessionDelegate : public net::URLSessionDelegate {
 public:
  explicit SessionDelegate(std::weak_ptr<ICWebImageDownloader> downloader) : m_downloader(std::move(downloader)) {}

  void didReceiveResponse(const std::shared_ptr<net::URLSession>& session,
                          const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override {
    if (auto op = operationFor(dataTask)) op->didReceiveResponse(session, dataTask, response, std::move(handler));
  }
  void didReceiveData(const std::shared_ptr<net::URLSession>& session,
                      const std::shared_ptr<net::URLSessionDataTask>& dataTask, const std::string& data) override {
    if (auto op = operationFor(dataTask)) op->didReceiveData(session, dataTask, data);
  }
  void willCacheResponse(const std::shared_ptr<net::URLSession>& session,
                         const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                         const std::shared_ptr<const net::CachedURLResponse>& proposedResponse,
                         net::CachedResponseHandler handler) override {
    if (auto op = operationFor(dataTask)) op->willCacheResponse(session, dataTask, proposedResponse, std::move(handler));
  }
  void didCompleteWithError(const std::shared_ptr<net::URLSession>& session,
                            const std::shared_ptr<net::URLSessionTask>& task,
                            const std::optional<core::Error>& error) override {
    if (auto op = operationFor(task)) op->didCompleteWithError(session, task, error);
  }
  void taskDidReceiveChallenge(const std::shared_ptr<net::URLSession>& session,
                               const std::shared_ptr<net::URLSessionTask>& task,
                               const net::AuthenticationChallenge& challenge, net::ChallengeHandler handler) override {
    if (auto op = operationFor(task)) op->taskDidReceiveChallenge(session, task, challenge, std::move(handler));
  }

 private:
  std::shared_ptr<ICWebImageDownloaderOperation> operationFor(const std::shared_ptr<net::URLSessionTask>& task) const {
    auto downloader = m_downloader.lock();
    return downloader ? downloader->operationWithTask(task) : nullptr;
  }

  std::weak_ptr<ICWebImageDownloader> m_downloader;
};

std::shared_ptr<ICWebImageDownloader> ICWebImageDownloader::sharedDownloader() {
  // Made once and never destroyed, like the platform's shared objects.
  static auto* shared = new std::shared_ptr<ICWebImageDownloader>(std::make_shared<ICWebImageDownloader>());
  return *shared;
}

// No activity indicator is looked up by class name here: there is no class registry, and the
// system has no such indicator.
ICWebImageDownloader::ICWebImageDownloader()
    : m_downloadQueue(core::OperationQueue::create("ICWebImageDownloader")),
      m_barrierQueue(core::Queue::createConcurrent(std::string(ICWebImageCacheFolderPrefix) +
                                                   "ICWebImageDownloaderBarrierQueue")) {
  m_downloadQueue->setMaxConcurrentOperationCount(6);
}

ICWebImageDownloader::~ICWebImageDownloader() {
  if (m_session) m_session->invalidateAndCancel();
  cancelAllDownloads();
}

std::shared_ptr<net::URLSession> ICWebImageDownloader::session() {
  std::call_once(m_sessionOnce, [this] {
    auto configuration = net::URLSessionConfiguration::defaultSessionConfiguration();
    configuration.setTimeoutIntervalForRequest(15.0);
    configuration.setURLCache(net::URLCache::sharedURLCache());
    auto made = net::URLSession::create(configuration, std::make_shared<SessionDelegate>(weak_from_this()));
    std::lock_guard lock(m_mutex);
    m_session = std::move(made);
  });
  std::lock_guard lock(m_mutex);
  return m_session;
}

// ---- requesting -----------------------------------------------------------------------------

std::shared_ptr<ICWebImageOperation> ICWebImageDownloader::downloadImageWithURL(const std::optional<net::URL>& url,
                                                                               unsigned options,
                                                                               ICWebImageProgressCallback progress,
                                                                               ICWebImageFetchCompletion completed) {
  return addProgressCallback(url, options, std::move(progress), std::move(completed)).created;
}

std::shared_ptr<ICWebImageOperation> ICWebImageDownloader::addCallerForURL(const std::optional<net::URL>& url,
                                                                          unsigned options,
                                                                          ICWebImageProgressCallback progress,
                                                                          ICWebImageFetchCompletion completed) {
  return addProgressCallback(url, options, std::move(progress), std::move(completed)).caller;
}

ICWebImageDownloader::Registration ICWebImageDownloader::addProgressCallback(const std::optional<net::URL>& url,
                                                                             unsigned options,
                                                                             ICWebImageProgressCallback progress,
                                                                             ICWebImageFetchCompletion completed) {
  if (!url) {
    if (completed) completed(nullptr, std::nullopt, std::nullopt, false);
    return {};
  }
  const std::string key = url->absoluteString();
  Registration registration;
  uint64_t download = 0, caller = 0;
  // One barrier block: two callers of one URL can never both create an operation.
  m_barrierQueue->barrierSync([&] {
    auto& entry = m_URLCallbacks[key];
    // A download that ended without telling (its queue cancelled it directly) is started again,
    // for the callers still waiting too.
    auto running = entry.operation.lock();
    bool isNew = entry.callers.empty() || !running || running->isFinished();
    if (isNew) entry.download = m_nextId++;
    download = entry.download;
    caller = m_nextId++;
    entry.callers.push_back({caller, std::move(progress), std::move(completed)});
    if (isNew) {
      registration.created = makeOperation(*url, options, download);
      entry.operation = registration.created;
    }
  });
  registration.caller = std::make_shared<Caller>(weak_from_this(), key, download, caller);
  return registration;
}

net::URLRequest ICWebImageDownloader::requestFor(const net::URL& url, unsigned options) const {
  std::lock_guard lock(m_mutex);
  double timeout = m_downloadTimeout == 0 ? 15.0 : m_downloadTimeout;
  net::URLRequest request(url,
                          (options & ICWebImageFetchUseURLCache)
                              ? net::URLRequestCachePolicy::UseProtocolCachePolicy
                              : net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                          timeout);
  request.setTimeoutInterval(timeout);
  request.setHTTPShouldHandleCookies((options & ICWebImageFetchHandleCookies) != 0);
  request.setHTTPShouldUsePipelining(true);
  request.setAllHTTPHeaderFields(m_headersFilter ? m_headersFilter(url, m_HTTPHeaders) : m_HTTPHeaders);
  return request;
}

// Inside the registering barrier block.
std::shared_ptr<ICWebImageDownloaderOperation> ICWebImageDownloader::makeOperation(const net::URL& url,
                                                                                  unsigned options,
                                                                                  uint64_t download) {
  const std::string key = url.absoluteString();
  std::weak_ptr<ICWebImageDownloader> weakSelf = weak_from_this();
  ICWebImageProgressCallback progress = [weakSelf, key, download](int64_t received, int64_t expected) {
    if (auto self = weakSelf.lock()) self->deliverProgress(key, download, received, expected);
  };
  ICWebImageFetchCompletion completed = [weakSelf, key, download](ImagePtr image, std::optional<std::string> data,
                                                                 std::optional<core::Error> error, bool finished) {
    if (auto self = weakSelf.lock())
      self->deliverCompletion(key, download, std::move(image), std::move(data), std::move(error), finished);
  };
  auto cancelled = [weakSelf, key, download] {
    if (auto self = weakSelf.lock()) self->forgetDownload(key, download);
  };

  net::URLRequest request = requestFor(url, options);
  auto session = this->session();
  ICWebImageOperationFactory factory;
  std::shared_ptr<net::URLCredential> credential;
  bool decompress = true;
  ICWebImageFetchOrder order;
  ICWebImageCacheKeyFunction keyFunction;
  {
    std::lock_guard lock(m_mutex);
    factory = m_operationClass;
    decompress = m_shouldDecompressImages;
    order = m_executionOrder;
    keyFunction = m_cacheKeyFunction;
    credential = m_urlCredential;
    if (!credential && m_username && m_password) {
      credential = std::make_shared<net::URLCredential>();
      credential->user = *m_username;
      credential->password = *m_password;
    }
  }
  std::shared_ptr<ICWebImageDownloaderOperation> operation =
      factory ? factory(request, session, options, std::move(progress), std::move(completed), std::move(cancelled))
              : std::make_shared<ICWebImageDownloaderOperation>(request, session, options, std::move(progress),
                                                                std::move(completed), std::move(cancelled));
  if (!operation) return nullptr;
  operation->setShouldDecompressImages(decompress);
  operation->setCacheKeyFunction(std::move(keyFunction));
  if (credential) operation->setCredential(credential);
  if (options & ICWebImageFetchHighPriority) {
    operation->setQueuePriority(core::Operation::QueuePriority::High);
  } else if (options & ICWebImageFetchLowPriority) {
    operation->setQueuePriority(core::Operation::QueuePriority::Low);
  }
  m_downloadQueue->addOperation(operation);
  if (order == ICWebImageFetchOrderLIFO) {
    std::lock_guard lock(m_mutex);
    // The one queued before waits for this one: the newest starts first.
    if (auto previous = m_lastAddedOperation.lock()) previous->addDependency(operation);
    m_lastAddedOperation = operation;
  }
  return operation;
}

// ---- the callbacks of an operation ----------------------------------------------------------

void ICWebImageDownloader::deliverProgress(const std::string& key, uint64_t download, int64_t received,
                                           int64_t expected) {
  std::vector<ICWebImageProgressCallback> callbacks;
  m_barrierQueue->sync([&] {
    auto it = m_URLCallbacks.find(key);
    if (it == m_URLCallbacks.end() || it->second.download != download) return;
    for (const auto& caller : it->second.callers) {
      if (caller.progress) callbacks.push_back(caller.progress);
    }
  });
  for (auto& callback : callbacks) {
    core::Queue::main()->async([callback, received, expected] { callback(received, expected); });
  }
}

void ICWebImageDownloader::deliverCompletion(const std::string& key, uint64_t download, ImagePtr image,
                                             std::optional<std::string> data, std::optional<core::Error> error,
                                             bool finished) {
  std::vector<ICWebImageFetchCompletion> callbacks;
  m_barrierQueue->barrierSync([&] {
    auto it = m_URLCallbacks.find(key);
    if (it == m_URLCallbacks.end() || it->second.download != download) return;
    for (const auto& caller : it->second.callers) {
      if (caller.completed) callbacks.push_back(caller.completed);
    }
    if (finished) m_URLCallbacks.erase(it);
  });
  for (auto& callback : callbacks) callback(image, data, error, finished);
}

void ICWebImageDownloader::forgetDownload(const std::string& key, uint64_t download) {
  std::weak_ptr<ICWebImageDownloader> weakSelf = weak_from_this();
  m_barrierQueue->barrierAsync([weakSelf, key, download] {
    auto self = weakSelf.lock();
    if (!self) return;
    auto it = self->m_URLCallbacks.find(key);
    if (it != self->m_URLCallbacks.end() && it->second.download == download) self->m_URLCallbacks.erase(it);
  });
}

void ICWebImageDownloader::removeCaller(const std::string& key, uint64_t download, uint64_t caller) {
  std::shared_ptr<ICWebImageDownloaderOperation> abandoned;
  m_barrierQueue->barrierSync([&] {
    auto it = m_URLCallbacks.find(key);
    if (it == m_URLCallbacks.end() || it->second.download != download) return;
    std::erase_if(it->second.callers, [caller](const CallbackEntry& entry) { return entry.id == caller; });
    if (!it->second.callers.empty()) return;
    abandoned = it->second.operation.lock();
    m_URLCallbacks.erase(it);
  });
  // Nobody waits for the download any more.
  if (abandoned) abandoned->cancel();
}

// ---- queue and headers ----------------------------------------------------------------------

void ICWebImageDownloader::setValue(const std::optional<std::string>& value, const std::string& field) {
  std::lock_guard lock(m_mutex);
  auto it = std::find_if(m_HTTPHeaders.begin(), m_HTTPHeaders.end(),
                         [&](const auto& header) { return net::headerNamesEqual(header.first, field); });
  if (!value) {
    if (it != m_HTTPHeaders.end()) m_HTTPHeaders.erase(it);
  } else if (it != m_HTTPHeaders.end()) {
    it->second = *value;
  } else {
    m_HTTPHeaders.emplace_back(field, *value);
  }
}

std::optional<std::string> ICWebImageDownloader::valueForHTTPHeaderField(const std::string& field) const {
  std::lock_guard lock(m_mutex);
  return net::headerValue(m_HTTPHeaders, field);
}

net::HeaderFields ICWebImageDownloader::HTTPHeaders() const {
  std::lock_guard lock(m_mutex);
  return m_HTTPHeaders;
}

int ICWebImageDownloader::maxConcurrentDownloads() const { return m_downloadQueue->maxConcurrentOperationCount(); }

void ICWebImageDownloader::setMaxConcurrentDownloads(int count) {
  m_downloadQueue->setMaxConcurrentOperationCount(count);
}

size_t ICWebImageDownloader::currentDownloadCount() const { return m_downloadQueue->operationCount(); }

void ICWebImageDownloader::setSuspended(bool suspended) { m_downloadQueue->setSuspended(suspended); }

void ICWebImageDownloader::cancelAllDownloads() {
  // Each operation's own cancel, which ends a running download on its delegate queue.
  for (const auto& operation : m_downloadQueue->operations()) {
    if (auto download = std::dynamic_pointer_cast<ICWebImageDownloaderOperation>(operation)) {
      download->cancel();
    } else {
      operation->cancel();
    }
  }
}

std::shared_ptr<ICWebImageDownloaderOperation> ICWebImageDownloader::operationWithTask(
    const std::shared_ptr<net::URLSessionTask>& task) const {
  if (!task) return nullptr;
  for (const auto& operation : m_downloadQueue->operations()) {
    auto download = std::dynamic_pointer_cast<ICWebImageDownloaderOperation>(operation);
    if (!download) continue;
    auto dataTask = download->dataTask();
    if (dataTask && dataTask->taskIdentifier() == task->taskIdentifier()) return download;
  }
  return nullptr;
}

// ---- settings -------------------------------------------------------------------------------

std::shared_ptr<ICWebImageDownloaderOperation> ICWebImageDownloader::lastAddedOperation() const {
  std::lock_guard lock(m_mutex);
  return m_lastAddedOperation.lock();
}

ICWebImageOperationFactory ICWebImageDownloader::operationClass() const {
  std::lock_guard lock(m_mutex);
  return m_operationClass;
}

void ICWebImageDownloader::setOperationClass(ICWebImageOperationFactory factory) {
  std::lock_guard lock(m_mutex);
  m_operationClass = std::move(factory);
}

bool ICWebImageDownloader::shouldDecompressImages() const {
  std::lock_guard lock(m_mutex);
  return m_shouldDecompressImages;
}

void ICWebImageDownloader::setShouldDecompressImages(bool decompress) {
  std::lock_guard lock(m_mutex);
  m_shouldDecompressImages = decompress;
}

double ICWebImageDownloader::downloadTimeout() const {
  std::lock_guard lock(m_mutex);
  return m_downloadTimeout;
}

void ICWebImageDownloader::setDownloadTimeout(double seconds) {
  std::lock_guard lock(m_mutex);
  m_downloadTimeout = seconds;
}

ICWebImageFetchOrder ICWebImageDownloader::executionOrder() const {
  std::lock_guard lock(m_mutex);
  return m_executionOrder;
}

void ICWebImageDownloader::setExecutionOrder(ICWebImageFetchOrder order) {
  std::lock_guard lock(m_mutex);
  m_executionOrder = order;
}

std::shared_ptr<net::URLCredential> ICWebImageDownloader::urlCredential() const {
  std::lock_guard lock(m_mutex);
  return m_urlCredential;
}

void ICWebImageDownloader::setUrlCredential(std::shared_ptr<net::URLCredential> credential) {
  std::lock_guard lock(m_mutex);
  m_urlCredential = std::move(credential);
}

std::optional<std::string> ICWebImageDownloader::username() const {
  std::lock_guard lock(m_mutex);
  return m_username;
}

void ICWebImageDownloader::setUsername(std::optional<std::string> username) {
  std::lock_guard lock(m_mutex);
  m_username = std::move(username);
}

std::optional<std::string> ICWebImageDownloader::password() const {
  std::lock_guard lock(m_mutex);
  return m_password;
}

void ICWebImageDownloader::setPassword(std::optional<std::string> password) {
  std::lock_guard lock(m_mutex);
  m_password = std::move(password);
}

ICWebImageHeadersFilter ICWebImageDownloader::headersFilter() const {
  std::lock_guard lock(m_mutex);
  return m_headersFilter;
}

void ICWebImageDownloader::setHeadersFilter(ICWebImageHeadersFilter filter) {
  std::lock_guard lock(m_mutex);
  m_headersFilter = std::move(filter);
}

ICWebImageCacheKeyFunction ICWebImageDownloader::cacheKeyFunction() const {
  std::lock_guard lock(m_mutex);
  return m_cacheKeyFunction;
}

void ICWebImageDownloader::setCacheKeyFunction(ICWebImageCacheKeyFunction function) {
  std::lock_guard lock(m_mutex);
  m_cacheKeyFunction = std::move(function);
}

}  // namespace kt
