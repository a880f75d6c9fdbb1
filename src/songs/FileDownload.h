#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Error.h"
#include "platform/core/WeakPtr.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

namespace core {
class RunLoop;
}
namespace net {
class HTTPURLResponse;
class URLSession;
class URLSessionDataTask;
}  // namespace net

namespace kt {

class FileDownload;

// Told how a FileDownload goes, on the thread that made it. Held weakly: a delegate that has
// gone is not told.
class FileDownloadDelegate {
 public:
  FileDownloadDelegate() = default;
  FileDownloadDelegate(const FileDownloadDelegate&) = delete;
  FileDownloadDelegate& operator=(const FileDownloadDelegate&) = delete;
  virtual ~FileDownloadDelegate() = default;

  // After every chunk of the body.
  virtual void downloadBarUpdated(FileDownload& download) = 0;
  // The whole body and the file name the address suggests.
  virtual void downloadBar(FileDownload& download, const std::string& data, const std::string& suggestedFilename) = 0;
  // The transfer failed (or could not start); what had arrived stays in receivedData().
  virtual void downloadBar(FileDownload& download, const core::Error& error) = 0;

  core::WeakPtr<FileDownloadDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<FileDownloadDelegate> m_weakFactory{this};
};

// Downloads one address into memory and reports progress, the end or a failure to its delegate,
// on the run loop of the thread that made it. One transfer, started at once, ended by exactly one
// finish or failure report; the transfer keeps the downloader alive until it has reported.
class FileDownload : public std::enable_shared_from_this<FileDownload> {
 public:
  // The early failure, when no connection can be made.
  static constexpr const char* ErrorDomain = "UIDownloadBar Error";
  static constexpr int64_t ConnectionFailedCode = 1;
  static constexpr const char* ConnectionFailedText = "NSURLConnection Failed";

  // Starts loading the address (ignoring locally cached data, giving up after `timeout` seconds
  // without bytes). Without an address, or when the transfer cannot be made, the delegate hears
  // the early failure before this returns.
  static std::shared_ptr<FileDownload> create(const std::optional<net::URL>& url, int timeout,
                                              FileDownloadDelegate* delegate);
  ~FileDownload();
  FileDownload(const FileDownload&) = delete;
  FileDownload& operator=(const FileDownload&) = delete;

  const net::URLRequest& DownloadRequest() const { return m_request; }
  // The running transfer; null once it is over (or when it never started).
  const std::shared_ptr<net::URLSessionDataTask>& DownloadConnection() const { return m_connection; }
  // Every byte received so far, in order.
  const std::string& receivedData() const { return m_receivedData; }
  // The last path component of the address.
  const std::string& localFilename() const { return m_localFilename; }
  void setLocalFilename(std::string name) { m_localFilename = std::move(name); }
  FileDownloadDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(FileDownloadDelegate* delegate) { m_delegate = delegate ? delegate->weakPtr() : nullptr; }
  // Of the announced length, 0 to 100; stays as it was while no length (or 0) is announced.
  float percentComplete() const { return m_percentComplete; }
  int64_t bytesReceived() const { return m_bytesReceived; }
  // The announced length, -1 when the response announced none.
  int64_t expectedBytes() const { return m_expectedBytes; }

 private:
  struct Key {};
  class Connection;

 public:
  FileDownload(Key, FileDownloadDelegate* delegate);

 private:
  void start(const std::optional<net::URL>& url, int timeout);
  void didReceiveResponse(const net::HTTPURLResponse& response);
  void didReceiveData(const std::string& data);
  void connectionDidFinishLoading();
  void didFailWithError(const core::Error& error);

  net::URLRequest m_request;
  std::shared_ptr<net::URLSessionDataTask> m_connection;
  std::string m_receivedData;
  std::string m_localFilename;
  core::WeakPtr<FileDownloadDelegate> m_delegate;
  float m_percentComplete = 0;
  int64_t m_bytesReceived = 0;
  int64_t m_expectedBytes = -1;
};

}  // namespace kt
