#pragma once

#include "imagecache/ICWebImageDownloader.h"
#include "imagecache/ICWebImageOperation.h"
#include "platform/core/OperationQueue.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionDelegate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace net {
class HTTPURLResponse;
class URLSessionDataTask;
}  // namespace net

namespace kt {

// One download: an asynchronous operation that owns its data task, gathers the bytes, makes
// partial images on request, and at the end decodes the image and hands it to its completion.
//
// The session events come on the session's serial delegate queue; a cancel of a running
// download is carried out there too, in order with them, so that it ends exactly once.
class ICWebImageDownloaderOperation : public core::Operation,
                                      public ICWebImageOperation,
                                      public net::URLSessionDelegate {
 public:
  // Over the session given; without one the operation makes a session of its own.
  ICWebImageDownloaderOperation(net::URLRequest request, std::shared_ptr<net::URLSession> session, unsigned options,
                                ICWebImageProgressCallback progress, ICWebImageFetchCompletion completed,
                                std::function<void()> cancelled);
  ICWebImageDownloaderOperation(net::URLRequest request, unsigned options, ICWebImageProgressCallback progress,
                                ICWebImageFetchCompletion completed, std::function<void()> cancelled);
  ~ICWebImageDownloaderOperation() override;

  const net::URLRequest& request() const { return m_request; }
  unsigned options() const { return m_options; }
  bool shouldDecompressImages() const;
  void setShouldDecompressImages(bool decompress);
  std::shared_ptr<net::URLCredential> credential() const;
  void setCredential(std::shared_ptr<net::URLCredential> credential);
  bool shouldUseCredentialStorage() const;
  void setShouldUseCredentialStorage(bool use);
  // The key under which the image is scaled; empty: the shared manager's cache key.
  void setCacheKeyFunction(ICWebImageCacheKeyFunction function);
  // Whether the download goes on while the application is in the background (option 16).
  bool shouldContinueWhenAppEntersBackground() const;

  std::shared_ptr<net::URLSessionDataTask> dataTask() const;
  std::shared_ptr<const net::HTTPURLResponse> response() const;
  // The expected content length; 0 when the response gives none.
  int64_t expectedSize() const;

  // The image orientation of an EXIF orientation value; Up for any value outside 1 to 8.
  static gfx::ImageOrientation orientationFromPropertyValue(int64_t value);

  bool isAsynchronous() const override { return true; }
  // Starts the data task (the queue calls it through start()).
  void main() override;
  // Ends the download without a completion.
  void cancel() override;

  // Session events, forwarded by the downloader (or sent by the operation's own session).
  void didReceiveResponse(const std::shared_ptr<net::URLSession>& session,
                          const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override;
  void didReceiveData(const std::shared_ptr<net::URLSession>& session,
                      const std::shared_ptr<net::URLSessionDataTask>& dataTask, const std::string& data) override;
  void willCacheResponse(const std::shared_ptr<net::URLSession>& session,
                         const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                         const std::shared_ptr<const net::CachedURLResponse>& proposedResponse,
                         net::CachedResponseHandler handler) override;
  void didCompleteWithError(const std::shared_ptr<net::URLSession>& session,
                            const std::shared_ptr<net::URLSessionTask>& task,
                            const std::optional<core::Error>& error) override;
  void taskDidReceiveChallenge(const std::shared_ptr<net::URLSession>& session,
                               const std::shared_ptr<net::URLSessionTask>& task,
                               const net::AuthenticationChallenge& challenge, net::ChallengeHandler handler) override;

 private:
  void cancelInternalAndStop();
  void cancelInternal();
  void done();
  void reset();
  ImagePtr partialImage();
  ImagePtr scaledImage(ImagePtr image) const;
  void postNotification(const char* name);
  ICWebImageFetchCompletion completion() const;
  ICWebImageProgressCallback progress() const;

  const net::URLRequest m_request;
  const unsigned m_options = 0;

  mutable std::mutex m_lock;
  bool m_shouldDecompressImages = true;
  ICWebImageProgressCallback m_progressBlock;
  ICWebImageFetchCompletion m_completedBlock;
  std::function<void()> m_cancelBlock;
  ICWebImageCacheKeyFunction m_cacheKeyFunction;
  int64_t m_expectedSize = 0;
  std::weak_ptr<net::URLSession> m_unownedSession;
  std::shared_ptr<net::URLSession> m_ownedSession;
  // Where the session events come, and so where a cancel of the running download goes.
  std::shared_ptr<core::OperationQueue> m_delegateQueue;
  bool m_responseFromCached = true;
  int m_width = 0;
  int m_height = 0;
  gfx::ImageOrientation m_orientation = gfx::ImageOrientation::Up;
  std::shared_ptr<net::URLSessionDataTask> m_dataTask;
  bool m_shouldUseCredentialStorage = false;
  std::shared_ptr<net::URLCredential> m_credential;
  std::shared_ptr<const net::HTTPURLResponse> m_response;
  std::string m_imageData;
  bool m_started = false;  // the data task runs: a cancel goes through the delegate queue
  bool m_ended = false;    // done or cancelled: nothing more happens
};

}  // namespace kt
