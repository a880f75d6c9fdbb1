#include "http/HCImageDownloader.h"

#include "http/HCAutoPurgingImageCache.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCImageResponseSerializer.h"
#include "http/HCURLSessionTask.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLError.h"

#include <algorithm>

namespace kt {

namespace {

constexpr const char* SynchronizationQueuePrefix = "net.ktvroom.http.imagedownloader.synchronizationqueue";
constexpr const char* ResponseQueuePrefix = "net.ktvroom.http.imagedownloader.responsequeue";

std::optional<std::string> URLIdentifierOf(const std::optional<net::URLRequest>& request) {
  if (!request || !request->url() || request->url()->isEmpty()) return std::nullopt;
  return request->url()->absoluteString();
}

}  // namespace

std::shared_ptr<HCImageDownloader> HCImageDownloader::defaultInstance() {
  // Never destroyed: its session's thread and the pool use it while the process exits.
  static auto* instance = new std::shared_ptr<HCImageDownloader>(create());
  return *instance;
}

std::shared_ptr<net::URLCache> HCImageDownloader::defaultURLCache() {
  return std::make_shared<net::URLCache>(DefaultURLCacheMemoryCapacity, DefaultURLCacheDiskCapacity,
                                         std::string(DefaultURLCacheDiskPath));
}

net::URLSessionConfiguration HCImageDownloader::defaultURLSessionConfiguration() {
  auto configuration = net::URLSessionConfiguration::defaultSessionConfiguration();
  configuration.setHTTPShouldSetCookies(true);
  configuration.setHTTPShouldUsePipelining(false);
  configuration.setRequestCachePolicy(net::URLRequestCachePolicy::UseProtocolCachePolicy);
  configuration.setAllowsCellularAccess(true);
  configuration.setTimeoutIntervalForRequest(60);
  configuration.setURLCache(defaultURLCache());
  return configuration;
}

std::shared_ptr<HCImageDownloader> HCImageDownloader::create() {
  auto manager = HCHTTPSessionManager::create(std::nullopt, defaultURLSessionConfiguration());
  manager->setResponseSerializer(HCImageResponseSerializer::serializer());
  return create(std::move(manager), HCImageDownloadPrioritization::FIFO, DefaultMaximumActiveDownloads,
                std::make_shared<HCAutoPurgingImageCache>());
}

std::shared_ptr<HCImageDownloader> HCImageDownloader::create(std::shared_ptr<HCHTTPSessionManager> sessionManager,
                                                             HCImageDownloadPrioritization downloadPrioritization,
                                                             long maximumActiveDownloads,
                                                             std::shared_ptr<HCImageRequestCache> imageCache) {
  return std::make_shared<HCImageDownloader>(std::move(sessionManager), downloadPrioritization,
                                             maximumActiveDownloads, std::move(imageCache));
}

HCImageDownloader::HCImageDownloader(std::shared_ptr<HCHTTPSessionManager> sessionManager,
                                     HCImageDownloadPrioritization downloadPrioritization,
                                     long maximumActiveDownloads, std::shared_ptr<HCImageRequestCache> imageCache)
    : m_sessionManager(std::move(sessionManager)),
      m_imageCache(std::move(imageCache)),
      m_downloadPrioritization(downloadPrioritization),
      m_maximumActiveDownloads(maximumActiveDownloads),
      m_synchronizationQueue(core::Queue::createSerial(std::string(SynchronizationQueuePrefix) + "-" + makeUUIDString())),
      m_responseQueue(core::Queue::createConcurrent(std::string(ResponseQueuePrefix) + "-" + makeUUIDString())) {}

HCImageDownloader::~HCImageDownloader() = default;

long HCImageDownloader::activeRequestCount() const {
  long count = 0;
  m_synchronizationQueue->sync([&] { count = m_activeRequestCount; });
  return count;
}

size_t HCImageDownloader::queuedTaskCount() const {
  size_t count = 0;
  m_synchronizationQueue->sync([&] { count = m_queuedMergedTasks.size(); });
  return count;
}

std::optional<HCImageDownloadReceipt> HCImageDownloader::downloadImageForURLRequest(const net::URLRequest& request,
                                                                                    HCImageDownloadSuccess success,
                                                                                    HCImageDownloadFailure failure) {
  return downloadImageForURLRequest(request, makeUUIDString(), std::move(success), std::move(failure));
}

std::optional<HCImageDownloadReceipt> HCImageDownloader::downloadImageForURLRequest(const net::URLRequest& request,
                                                                                    const std::string& receiptID,
                                                                                    HCImageDownloadSuccess success,
                                                                                    HCImageDownloadFailure failure) {
  std::shared_ptr<HCURLSessionTask> servingTask;
  auto self = shared_from_this();
  m_synchronizationQueue->sync([&] {
    const auto URLIdentifier = URLIdentifierOf(request);
    if (!URLIdentifier) {
      if (failure) {
        core::Queue::main()->async([failure, request] {
          failure(request, nullptr, core::Error(net::URLError::Domain, net::URLError::BadURL));
        });
      }
      return;
    }

    // A download of this URL is under way: wait for it too.
    if (auto existing = m_mergedTasks.find(*URLIdentifier); existing != m_mergedTasks.end()) {
      existing->second->responseHandlers.push_back({receiptID, success, failure});
      servingTask = existing->second->task;
      return;
    }

    switch (request.cachePolicy()) {
      case net::URLRequestCachePolicy::UseProtocolCachePolicy:
      case net::URLRequestCachePolicy::ReturnCacheDataElseLoad:
      case net::URLRequestCachePolicy::ReturnCacheDataDontLoad:
        if (m_imageCache) {
          if (auto cached = m_imageCache->imageforRequest(request, std::nullopt)) {
            if (success) core::Queue::main()->async([success, request, cached] { success(request, nullptr, cached); });
            return;
          }
        }
        break;
      default:
        break;
    }

    const std::string mergedTaskIdentifier = makeUUIDString();
    const std::string urlKey = *URLIdentifier;
    auto task = m_sessionManager->dataTaskWithRequest(
        request, nullptr, nullptr,
        [self, urlKey, mergedTaskIdentifier](std::shared_ptr<const net::HTTPURLResponse> response,
                                             const HCResponseObject& responseObject,
                                             const std::optional<core::Error>& error) {
          std::shared_ptr<gfx::Image> image;
          if (auto* decoded = std::get_if<std::shared_ptr<gfx::Image>>(&responseObject)) image = *decoded;
          self->m_responseQueue->async([self, urlKey, mergedTaskIdentifier, response, image, error] {
            self->completeTask(urlKey, mergedTaskIdentifier, response, image, error);
          });
        });
    if (!task) {
      // The session is being invalidated: nothing can serve the request.
      if (failure) {
        core::Queue::main()->async([failure, request] {
          failure(request, nullptr, core::Error(net::URLError::Domain, net::URLError::Cancelled));
        });
      }
      return;
    }

    auto mergedTask = std::make_shared<HCImageDownloaderMergedTask>();
    mergedTask->URLIdentifier = urlKey;
    mergedTask->identifier = mergedTaskIdentifier;
    mergedTask->task = task;
    mergedTask->responseHandlers.push_back({receiptID, success, failure});
    m_mergedTasks[urlKey] = mergedTask;

    if (isActiveRequestCountBelowMaximumLimit()) {
      startMergedTask(mergedTask);
    } else {
      enqueueMergedTask(mergedTask);
    }
    servingTask = task;
  });
  if (!servingTask) return std::nullopt;
  return HCImageDownloadReceipt{receiptID, servingTask};
}

void HCImageDownloader::completeTask(const std::string& URLIdentifier, const std::string& mergedTaskIdentifier,
                                     std::shared_ptr<const net::HTTPURLResponse> response,
                                     std::shared_ptr<gfx::Image> image, std::optional<core::Error> error) {
  MergedTaskPtr mergedTask;
  m_synchronizationQueue->sync([&] {
    auto found = m_mergedTasks.find(URLIdentifier);
    if (found == m_mergedTasks.end() || found->second->identifier != mergedTaskIdentifier) return;
    mergedTask = found->second;
    m_mergedTasks.erase(found);
  });

  if (mergedTask) {
    const net::URLRequest request = mergedTask->task->originalRequest().value_or(net::URLRequest());
    if (error) {
      for (const auto& handler : mergedTask->responseHandlers) {
        if (!handler.failureBlock) continue;
        auto failure = handler.failureBlock;
        core::Queue::main()->async([failure, request, response, error] { failure(request, response, *error); });
      }
    } else {
      if (image && m_imageCache) m_imageCache->addImage(image, request, std::nullopt);
      for (const auto& handler : mergedTask->responseHandlers) {
        if (!handler.successBlock) continue;
        auto success = handler.successBlock;
        core::Queue::main()->async([success, request, response, image] { success(request, response, image); });
      }
    }
  }

  m_synchronizationQueue->sync([&] {
    // Only a task the downloader started holds a slot: a task cancelled while queued never did,
    // and freeing a slot for it would let more downloads run than the limit.
    if (mergedTask && mergedTask->started && m_activeRequestCount > 0) --m_activeRequestCount;
    safelyStartNextTaskIfNecessary();
  });
}

void HCImageDownloader::startMergedTask(const MergedTaskPtr& mergedTask) {
  mergedTask->started = true;
  mergedTask->task->resume();
  ++m_activeRequestCount;
}

void HCImageDownloader::enqueueMergedTask(const MergedTaskPtr& mergedTask) {
  switch (m_downloadPrioritization) {
    case HCImageDownloadPrioritization::FIFO:
      m_queuedMergedTasks.push_back(mergedTask);
      break;
    case HCImageDownloadPrioritization::LIFO:
      m_queuedMergedTasks.push_front(mergedTask);
      break;
  }
}

HCImageDownloader::MergedTaskPtr HCImageDownloader::dequeueMergedTask() {
  if (m_queuedMergedTasks.empty()) return nullptr;
  auto front = m_queuedMergedTasks.front();
  m_queuedMergedTasks.pop_front();
  return front;
}

bool HCImageDownloader::isActiveRequestCountBelowMaximumLimit() const {
  return m_activeRequestCount < m_maximumActiveDownloads;
}

void HCImageDownloader::safelyStartNextTaskIfNecessary() {
  if (!isActiveRequestCountBelowMaximumLimit()) return;
  while (!m_queuedMergedTasks.empty()) {
    auto mergedTask = dequeueMergedTask();
    if (mergedTask->task->state() == net::URLSessionTaskState::Suspended && !mergedTask->started) {
      startMergedTask(mergedTask);
      break;
    }
  }
}

void HCImageDownloader::cancelTaskForImageDownloadReceipt(const HCImageDownloadReceipt& receipt) {
  if (!receipt.task) return;
  m_synchronizationQueue->sync([&] {
    const auto request = receipt.task->originalRequest();
    const auto URLIdentifier = URLIdentifierOf(request);
    if (!URLIdentifier) return;
    auto found = m_mergedTasks.find(*URLIdentifier);
    if (found == m_mergedTasks.end()) return;
    MergedTaskPtr mergedTask = found->second;
    // The receipt may belong to an earlier task of the same URL that has already finished.
    if (mergedTask->task != receipt.task) return;

    auto& handlers = mergedTask->responseHandlers;
    auto handler = std::find_if(handlers.begin(), handlers.end(),
                                [&](const HCImageDownloaderResponseHandler& h) { return h.uuid == receipt.receiptID; });
    if (handler != handlers.end()) {
      auto failure = handler->failureBlock;
      handlers.erase(handler);
      if (failure) {
        core::Value userInfo;
        userInfo.set(FailureReasonKey, "ImageDownloader cancelled URL request: " + *URLIdentifier);
        core::Error error(net::URLError::Domain, net::URLError::Cancelled, userInfo);
        const net::URLRequest original = *request;
        core::Queue::main()->async([failure, original, error] { failure(original, nullptr, error); });
      }
    }

    if (handlers.empty() && mergedTask->task->state() == net::URLSessionTaskState::Suspended && !mergedTask->started) {
      mergedTask->task->cancel();
      m_mergedTasks.erase(found);
      m_queuedMergedTasks.erase(std::remove(m_queuedMergedTasks.begin(), m_queuedMergedTasks.end(), mergedTask),
                                m_queuedMergedTasks.end());
    }
  });
}

}  // namespace kt
