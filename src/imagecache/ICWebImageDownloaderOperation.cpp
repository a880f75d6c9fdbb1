#include "imagecache/ICWebImageDownloaderOperation.h"

#include "imagecache/ForceDecode.h"
#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/MainThread.h"
#include "imagecache/MultiFormat.h"
#include "imagecache/PartialImage.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Queue.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"

#include <algorithm>
#include <vector>

namespace kt {
namespace {

constexpr const char* kErrorDomain = "ICWebImageErrorDomain";
// The expected length sizes the buffer up front, but a server's word is not trusted beyond this.
constexpr int64_t kMaxReservation = 16 * 1024 * 1024;

std::shared_ptr<net::URLSession> makeOwnSession(std::shared_ptr<net::URLSessionDelegate> delegate) {
  auto configuration = net::URLSessionConfiguration::defaultSessionConfiguration();
  configuration.setTimeoutIntervalForRequest(15.0);
  configuration.setURLCache(net::URLCache::sharedURLCache());
  return net::URLSession::create(configuration, std::move(delegate));
}

}  // namespace

ICWebImageDownloaderOperation::ICWebImageDownloaderOperation(net::URLRequest request,
                                                             std::shared_ptr<net::URLSession> session, unsigned options,
                                                             ICWebImageProgressCallback progress,
                                                             ICWebImageFetchCompletion completed,
                                                             std::function<void()> cancelled)
    : m_request(std::move(request)),
      m_options(options),
      m_progressBlock(std::move(progress)),
      m_completedBlock(std::move(completed)),
      m_cancelBlock(std::move(cancelled)),
      m_unownedSession(session) {}

ICWebImageDownloaderOperation::ICWebImageDownloaderOperation(net::URLRequest request, unsigned options,
                                                             ICWebImageProgressCallback progress,
                                                             ICWebImageFetchCompletion completed,
                                                             std::function<void()> cancelled)
    : ICWebImageDownloaderOperation(std::move(request), nullptr, options, std::move(progress), std::move(completed),
                                    std::move(cancelled)) {}

ICWebImageDownloaderOperation::~ICWebImageDownloaderOperation() {
  if (m_ownedSession) m_ownedSession->invalidateAndCancel();
}

bool ICWebImageDownloaderOperation::shouldDecompressImages() const {
  std::lock_guard lock(m_lock);
  return m_shouldDecompressImages;
}

void ICWebImageDownloaderOperation::setShouldDecompressImages(bool decompress) {
  std::lock_guard lock(m_lock);
  m_shouldDecompressImages = decompress;
}

std::shared_ptr<net::URLCredential> ICWebImageDownloaderOperation::credential() const {
  std::lock_guard lock(m_lock);
  return m_credential;
}

void ICWebImageDownloaderOperation::setCredential(std::shared_ptr<net::URLCredential> credential) {
  std::lock_guard lock(m_lock);
  m_credential = std::move(credential);
}

bool ICWebImageDownloaderOperation::shouldUseCredentialStorage() const {
  std::lock_guard lock(m_lock);
  return m_shouldUseCredentialStorage;
}

void ICWebImageDownloaderOperation::setShouldUseCredentialStorage(bool use) {
  std::lock_guard lock(m_lock);
  m_shouldUseCredentialStorage = use;
}

void ICWebImageDownloaderOperation::setCacheKeyFunction(ICWebImageCacheKeyFunction function) {
  std::lock_guard lock(m_lock);
  m_cacheKeyFunction = std::move(function);
}

bool ICWebImageDownloaderOperation::shouldContinueWhenAppEntersBackground() const {
  return (m_options & ICWebImageFetchContinueInBackground) != 0;
}

std::shared_ptr<net::URLSessionDataTask> ICWebImageDownloaderOperation::dataTask() const {
  std::lock_guard lock(m_lock);
  return m_dataTask;
}

std::shared_ptr<const net::HTTPURLResponse> ICWebImageDownloaderOperation::response() const {
  std::lock_guard lock(m_lock);
  return m_response;
}

int64_t ICWebImageDownloaderOperation::expectedSize() const {
  std::lock_guard lock(m_lock);
  return m_expectedSize;
}

gfx::ImageOrientation ICWebImageDownloaderOperation::orientationFromPropertyValue(int64_t value) {
  if (value < 1 || value > 8) return gfx::ImageOrientation::Up;
  return MultiFormat::ic_exifOrientationToiOSOrientation(value);
}

ICWebImageFetchCompletion ICWebImageDownloaderOperation::completion() const {
  std::lock_guard lock(m_lock);
  return m_completedBlock;
}

ICWebImageProgressCallback ICWebImageDownloaderOperation::progress() const {
  std::lock_guard lock(m_lock);
  return m_progressBlock;
}

void ICWebImageDownloaderOperation::postNotification(const char* name) {
  auto self = std::static_pointer_cast<ICWebImageDownloaderOperation>(shared_from_this());
  core::Queue::main()->async([self, name] { core::NotificationCenter::defaultCenter().post(name, self.get()); });
}

// ---- starting -------------------------------------------------------------------------------

void ICWebImageDownloaderOperation::main() {
  auto self = std::static_pointer_cast<ICWebImageDownloaderOperation>(shared_from_this());
  std::shared_ptr<net::URLSessionDataTask> task;
  {
    std::unique_lock lock(m_lock);
    if (m_ended || isCancelled()) {
      m_ended = true;
      lock.unlock();
      finish();
      reset();
      return;
    }
    // Background tasks do not exist here: option 16 needs nothing to keep the download going.
    auto session = m_unownedSession.lock();
    if (!session && !m_ownedSession) {
      m_ownedSession = makeOwnSession(self);
      session = m_ownedSession;
    } else if (!session) {
      session = m_ownedSession;
    }
    if (session) {
      task = session->dataTaskWithRequest(m_request);
      m_delegateQueue = session->delegateQueue();
    }
    m_dataTask = task;
    m_started = task != nullptr;
  }
  if (!task) {
    if (auto completed = completion())
      completed(nullptr, std::nullopt,
                core::Error::withDescription(net::URLError::Domain, 0, "Connection can't be initialized"), true);
    // Nothing will ever answer: the operation ends here rather than holding its queue slot.
    done();
    return;
  }
  task->resume();
  if (auto progressed = progress()) progressed(0, -1);
  postNotification(ICWebImageDownloadStartNotification);
}

// ---- session events -------------------------------------------------------------------------

void ICWebImageDownloaderOperation::didReceiveResponse(const std::shared_ptr<net::URLSession>&,
                                                       const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                                                       const std::shared_ptr<const net::HTTPURLResponse>& response,
                                                       net::ResponseHandler handler) {
  {
    std::lock_guard lock(m_lock);
    if (m_ended) {
      handler(net::ResponseDisposition::Cancel);
      return;
    }
  }
  int status = response ? response->statusCode() : 0;
  if (status < 400 && status != 304) {
    int64_t expected = response ? std::max<int64_t>(response->expectedContentLength(), 0) : 0;
    ICWebImageProgressCallback progressed;
    {
      std::lock_guard lock(m_lock);
      m_expectedSize = expected;
      m_imageData.clear();
      m_imageData.reserve(static_cast<size_t>(std::min(expected, kMaxReservation)));
      m_response = response;
      progressed = m_progressBlock;
    }
    if (progressed) progressed(0, expected);
    postNotification(ICWebImageDownloadReceiveResponseNotification);
    handler(net::ResponseDisposition::Allow);
    return;
  }
  // A 304 brings no picture either: it ends like a rejected status, so that every caller hears of
  // the end (the image manager then keeps the image it has cached).
  if (dataTask) dataTask->cancel();
  postNotification(ICWebImageDownloadStopNotification);
  if (auto completed = completion()) completed(nullptr, std::nullopt, core::Error(net::URLError::Domain, status), true);
  done();
  handler(net::ResponseDisposition::Allow);
}

void ICWebImageDownloaderOperation::didReceiveData(const std::shared_ptr<net::URLSession>&,
                                                   const std::shared_ptr<net::URLSessionDataTask>&,
                                                   const std::string& data) {
  ImagePtr partial;
  ICWebImageFetchCompletion completed;
  ICWebImageProgressCallback progressed;
  int64_t received = 0, expected = 0;
  {
    std::lock_guard lock(m_lock);
    if (m_ended) return;
    m_imageData.append(data);
    received = static_cast<int64_t>(m_imageData.size());
    expected = m_expectedSize;
    completed = m_completedBlock;
    progressed = m_progressBlock;
    if ((m_options & ICWebImageFetchProgressive) && expected > 0 && completed) partial = partialImage();
  }
  if (partial) {
    partial = scaledImage(partial);
    if (shouldDecompressImages()) partial = ForceDecode::decodedImageWithImage(partial);
    performOnMainThreadSync([&] { completed(partial, std::nullopt, std::nullopt, false); });
  }
  if (progressed) progressed(received, expected);
}

// With m_lock held: the picture the bytes so far give, at the full size the header announces.
ImagePtr ICWebImageDownloaderOperation::partialImage() {
  if (m_width + m_height == 0) {
    auto size = PartialImage::pixelSize(m_imageData);
    if (!size) return nullptr;
    m_width = size->width;
    m_height = size->height;
    m_orientation = MultiFormat::ic_imageOrientationFromImageData(m_imageData);
  }
  if (m_width + m_height == 0 || static_cast<int64_t>(m_imageData.size()) >= m_expectedSize) return nullptr;
  auto rows = PartialImage::decodeRows(m_imageData);
  if (!rows || rows->pixelWidth() != m_width) return nullptr;
  std::vector<uint32_t> pixels(static_cast<size_t>(m_width) * m_height, 0);
  int height = std::min(rows->pixelHeight(), m_height);
  for (int y = 0; y < height; ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(rows->pixels()) +
                                                        static_cast<size_t>(y) * rows->stride());
    std::copy(src, src + m_width, pixels.begin() + static_cast<ptrdiff_t>(y) * m_width);
  }
  return gfx::Image::fromPixels(m_width, m_height, std::move(pixels), 1.0, m_orientation);
}

ImagePtr ICWebImageDownloaderOperation::scaledImage(ImagePtr image) const {
  ICWebImageCacheKeyFunction key;
  {
    std::lock_guard lock(m_lock);
    key = m_cacheKeyFunction;
  }
  std::string cacheKey = key ? key(m_request.url()) : ICWebImageManager::sharedManager()->cacheKeyForURL(m_request.url());
  return imageScaledForKey(cacheKey, image);
}

void ICWebImageDownloaderOperation::willCacheResponse(const std::shared_ptr<net::URLSession>&,
                                                      const std::shared_ptr<net::URLSessionDataTask>&,
                                                      const std::shared_ptr<const net::CachedURLResponse>& proposedResponse,
                                                      net::CachedResponseHandler handler) {
  {
    std::lock_guard lock(m_lock);
    m_responseFromCached = false;
  }
  if (m_request.cachePolicy() == net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData) {
    handler(nullptr);
  } else {
    handler(proposedResponse);
  }
}

void ICWebImageDownloaderOperation::didCompleteWithError(const std::shared_ptr<net::URLSession>&,
                                                         const std::shared_ptr<net::URLSessionTask>&,
                                                         const std::optional<core::Error>& error) {
  ICWebImageFetchCompletion completed;
  std::string data;
  bool fromCache = true;
  {
    std::lock_guard lock(m_lock);
    if (m_ended) return;
    m_started = false;
    m_dataTask.reset();
    completed = m_completedBlock;
    data = std::move(m_imageData);
    m_imageData.clear();
  }
  auto self = std::static_pointer_cast<ICWebImageDownloaderOperation>(shared_from_this());
  bool failed = error.has_value();
  core::Queue::main()->async([self, failed] {
    auto& center = core::NotificationCenter::defaultCenter();
    center.post(ICWebImageDownloadStopNotification, self.get());
    if (!failed) center.post(ICWebImageDownloadFinishNotification, self.get());
  });

  if (error) {
    if (completed) completed(nullptr, std::nullopt, error, true);
  } else {
    if (!net::URLCache::sharedURLCache()->cachedResponseForRequest(m_request)) {
      std::lock_guard lock(m_lock);
      m_responseFromCached = false;
    }
    {
      std::lock_guard lock(m_lock);
      fromCache = m_responseFromCached;
    }
    if (completed) {
      if ((m_options & ICWebImageFetchIgnoreCachedResponse) && fromCache) {
        completed(nullptr, std::nullopt, std::nullopt, true);
      } else if (!data.empty()) {
        ImagePtr image = scaledImage(MultiFormat::ic_imageWithData(data));
        if (image && image->frames().empty() && shouldDecompressImages())
          image = ForceDecode::decodedImageWithImage(image);
        if (!image || image->size().width == 0 || image->size().height == 0) {
          completed(nullptr, std::nullopt,
                    core::Error::withDescription(kErrorDomain, 0, "Downloaded image has 0 pixels"), true);
        } else {
          completed(image, std::move(data), std::nullopt, true);
        }
      } else {
        completed(nullptr, std::nullopt, core::Error::withDescription(kErrorDomain, 0, "Image data is nil"), true);
      }
    }
  }
  done();
}

void ICWebImageDownloaderOperation::taskDidReceiveChallenge(const std::shared_ptr<net::URLSession>&,
                                                            const std::shared_ptr<net::URLSessionTask>&,
                                                            const net::AuthenticationChallenge& challenge,
                                                            net::ChallengeHandler handler) {
  const auto& space = challenge.protectionSpace;
  if (space.authenticationMethod == net::ProtectionSpace::AuthenticationMethodServerTrust) {
    if (m_options & ICWebImageFetchAllowInvalidCertificates) {
      handler(net::AuthChallengeDisposition::UseCredential, net::URLCredential::forTrust(space.serverTrust));
    } else {
      handler(net::AuthChallengeDisposition::PerformDefaultHandling, nullptr);
    }
    return;
  }
  auto credential = this->credential();
  if (challenge.previousFailureCount == 0 && credential) {
    handler(net::AuthChallengeDisposition::UseCredential, credential);
  } else {
    handler(net::AuthChallengeDisposition::CancelAuthenticationChallenge, nullptr);
  }
}

// ---- cancelling and ending ------------------------------------------------------------------

void ICWebImageDownloaderOperation::cancel() {
  std::shared_ptr<core::OperationQueue> queue;
  {
    std::lock_guard lock(m_lock);
    if (m_ended) return;
    if (m_started) queue = m_delegateQueue;
  }
  if (queue) {
    // In order with the session events of the task, on the queue that delivers them.
    auto self = std::static_pointer_cast<ICWebImageDownloaderOperation>(shared_from_this());
    queue->addOperationWithBlock([self] { self->cancelInternalAndStop(); });
  } else {
    cancelInternal();
  }
}

void ICWebImageDownloaderOperation::cancelInternalAndStop() {
  if (!isFinished()) cancelInternal();
}

void ICWebImageDownloaderOperation::cancelInternal() {
  std::function<void()> cancelled;
  std::shared_ptr<net::URLSessionDataTask> task;
  {
    std::lock_guard lock(m_lock);
    if (m_ended) return;
    m_ended = true;
    cancelled = m_cancelBlock;
    task = m_dataTask;
  }
  core::Operation::cancel();
  if (cancelled) cancelled();
  if (task) {
    task->cancel();
    postNotification(ICWebImageDownloadStopNotification);
    finish();
  }
  reset();
}

void ICWebImageDownloaderOperation::done() {
  {
    std::lock_guard lock(m_lock);
    m_ended = true;
  }
  finish();
  reset();
}

void ICWebImageDownloaderOperation::reset() {
  // Taken out under the lock and let go of after it: what the callbacks hold may be anything.
  ICWebImageProgressCallback progress;
  ICWebImageFetchCompletion completed;
  std::function<void()> cancelled;
  std::shared_ptr<net::URLSession> owned;
  {
    std::lock_guard lock(m_lock);
    progress.swap(m_progressBlock);
    completed.swap(m_completedBlock);
    cancelled.swap(m_cancelBlock);
    m_dataTask.reset();
    std::string().swap(m_imageData);
    m_started = false;
    owned.swap(m_ownedSession);
  }
  if (owned) owned->invalidateAndCancel();
}

}  // namespace kt
