#include "songs/FileDownload.h"

#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLSession.h"

#include <algorithm>

namespace kt {

// The session's delegate: hands each event of the one task to the downloader on the run loop
// of the thread that made it, in order, and keeps the downloader alive until the last event.
class FileDownload::Connection : public net::URLSessionDelegate {
 public:
  Connection(std::shared_ptr<FileDownload> owner, std::shared_ptr<core::RunLoop> loop)
      : m_owner(std::move(owner)), m_loop(std::move(loop)) {}

  void didReceiveResponse(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override {
    handler(net::ResponseDisposition::Allow);
    if (response) deliver([response](FileDownload& d) { d.didReceiveResponse(*response); });
  }
  void didReceiveData(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                      const std::string& data) override {
    deliver([data](FileDownload& d) { d.didReceiveData(data); });
  }
  void didCompleteWithError(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionTask>&,
                            const std::optional<core::Error>& error) override {
    deliver([error](FileDownload& d) {
      if (error) d.didFailWithError(*error);
      else d.connectionDidFinishLoading();
    });
    // The last event: from here only the block above holds the downloader.
    m_owner.reset();
  }

 private:
  // Runs on the session's delegate queue, one event at a time.
  void deliver(std::function<void(FileDownload&)> event) {
    if (!m_owner) return;
    m_loop->performBlock([owner = m_owner, event = std::move(event)] { event(*owner); });
  }

  std::shared_ptr<FileDownload> m_owner;
  const std::shared_ptr<core::RunLoop> m_loop;
};

FileDownload::FileDownload(Key, FileDownloadDelegate* delegate) { setDelegate(delegate); }

FileDownload::~FileDownload() = default;

std::shared_ptr<FileDownload> FileDownload::create(const std::optional<net::URL>& url, int timeout,
                                                   FileDownloadDelegate* delegate) {
  auto download = std::make_shared<FileDownload>(Key{}, delegate);
  download->start(url, timeout);
  return download;
}

void FileDownload::start(const std::optional<net::URL>& url, int timeout) {
  m_percentComplete = 0;
  m_bytesReceived = 0;
  m_localFilename = url ? url->lastPathComponent() : "";
  m_receivedData.clear();
  m_request = net::URLRequest(url, net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  m_request.setTimeoutInterval(timeout);

  std::shared_ptr<net::URLSession> session;
  if (url) {
    auto connection = std::make_shared<Connection>(shared_from_this(), core::RunLoop::currentShared());
    session = net::URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), connection);
    m_connection = session->dataTaskWithRequest(m_request);
  }
  if (!m_connection) {
    KT_LOG("no connection for %s", url ? url->absoluteString().c_str() : "(null)");
    if (session) session->invalidateAndCancel();
    if (FileDownloadDelegate* d = delegate()) {
      d->downloadBar(*this, core::Error::withDescription(ErrorDomain, ConnectionFailedCode, ConnectionFailedText));
    }
    return;
  }
  // The session goes once its one task has ended.
  session->finishTasksAndInvalidate();
  m_connection->resume();
}

void FileDownload::didReceiveResponse(const net::HTTPURLResponse& response) {
  m_expectedBytes = response.expectedContentLength();
}

void FileDownload::didReceiveData(const std::string& data) {
  m_receivedData += data;
  m_bytesReceived += static_cast<int64_t>(data.size());
  // A length of 0 divides nothing; more bytes than announced stop at 100.
  if (m_expectedBytes > 0) {
    const float percent = static_cast<float>(m_bytesReceived) / static_cast<float>(m_expectedBytes) * 100.0f;
    m_percentComplete = std::clamp(percent, 0.0f, 100.0f);
  }
  if (FileDownloadDelegate* d = delegate()) d->downloadBarUpdated(*this);
}

void FileDownload::connectionDidFinishLoading() {
  m_connection.reset();
  if (FileDownloadDelegate* d = delegate()) d->downloadBar(*this, m_receivedData, m_localFilename);
}

void FileDownload::didFailWithError(const core::Error& error) {
  m_connection.reset();
  if (FileDownloadDelegate* d = delegate()) d->downloadBar(*this, error);
}

}  // namespace kt
