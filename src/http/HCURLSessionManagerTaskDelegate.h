#pragma once

#include "http/HCURLSessionManager.h"

#include <memory>
#include <optional>
#include <string>

namespace kt {

// The per-task state of a session manager: the bytes received, the two progress objects, the
// download destination and the task's completion callback. Its events arrive on the manager's
// delegate queue, one at a time.
class HCURLSessionManagerTaskDelegate {
 public:
  using FinishDownloading = std::function<std::optional<net::URL>(
      const HCURLSessionManager::Session&, const std::shared_ptr<net::URLSessionDownloadTask>&, const net::URL&)>;

  HCURLSessionManagerTaskDelegate(std::weak_ptr<HCURLSessionManager> manager, HCURLSessionManager::Task task);
  HCURLSessionManagerTaskDelegate(const HCURLSessionManagerTaskDelegate&) = delete;
  HCURLSessionManagerTaskDelegate& operator=(const HCURLSessionManagerTaskDelegate&) = delete;

  const HCURLSessionManager::Task& task() const { return m_task; }
  void setTask(HCURLSessionManager::Task task) { m_task = std::move(task); }
  const std::shared_ptr<HCProgress>& uploadProgress() const { return m_uploadProgress; }
  const std::shared_ptr<HCProgress>& downloadProgress() const { return m_downloadProgress; }
  const std::optional<net::URL>& downloadFileURL() const { return m_downloadFileURL; }
  void setDownloadFileURL(std::optional<net::URL> url) { m_downloadFileURL = std::move(url); }
  // A failed move of the finished download, reported by the completion.
  void setMoveError(std::optional<core::Error> error) { m_moveError = std::move(error); }

  void setDownloadTaskDidFinishDownloading(FinishDownloading block) { m_downloadTaskDidFinishDownloading = std::move(block); }
  void setUploadProgressBlock(HCURLSessionManager::ProgressBlock block) { m_uploadProgressBlock = std::move(block); }
  void setDownloadProgressBlock(HCURLSessionManager::ProgressBlock block) { m_downloadProgressBlock = std::move(block); }
  void setCompletionHandler(HCURLSessionManager::CompletionHandler handler) { m_completionHandler = std::move(handler); }

  // Totals from the task, handlers that cancel, pause and resume it, and the observation of
  // both fractions.
  void setupProgressForTask(const std::shared_ptr<net::URLSessionTask>& task);
  void cleanUpProgressForTask();

  // Forwarded session events.
  void didCompleteWithError(const HCURLSessionManager::Session& session, const std::shared_ptr<net::URLSessionTask>& task,
                            const std::optional<core::Error>& error);
  void didReceiveData(const std::shared_ptr<net::URLSessionTask>& task, const std::string& data);
  void didSendBodyData(const std::shared_ptr<net::URLSessionTask>& task);
  void didWriteData(int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite);
  void didResumeAtOffset(int64_t fileOffset, int64_t expectedTotalBytes);
  void didFinishDownloadingToURL(const HCURLSessionManager::Session& session,
                                 const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                                 const net::URL& location);

  // Moves a finished download; on failure posts HCDownloadMoveFailedNotification and gives the error.
  static std::optional<core::Error> moveDownload(const net::URL& from, const net::URL& to,
                                                 const std::shared_ptr<net::URLSessionTask>& task);

 private:
  std::weak_ptr<HCURLSessionManager> m_manager;
  HCURLSessionManager::Task m_task;
  std::optional<std::string> m_mutableData = std::string();
  std::shared_ptr<HCProgress> m_uploadProgress = std::make_shared<HCProgress>();
  std::shared_ptr<HCProgress> m_downloadProgress = std::make_shared<HCProgress>();
  std::optional<net::URL> m_downloadFileURL;
  std::optional<core::Error> m_moveError;
  FinishDownloading m_downloadTaskDidFinishDownloading;
  HCURLSessionManager::ProgressBlock m_uploadProgressBlock;
  HCURLSessionManager::ProgressBlock m_downloadProgressBlock;
  HCURLSessionManager::CompletionHandler m_completionHandler;
};

}  // namespace kt
