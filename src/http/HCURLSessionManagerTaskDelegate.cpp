#include "http/HCURLSessionManagerTaskDelegate.h"

#include "platform/core/Log.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kt {

namespace {
thread_local const HCTaskCompletedInfo* t_completedInfo = nullptr;

std::string addressText(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", pointer);
  return text;
}

// Posts HCTaskCompletedNotification on the main queue, with its details readable through
// HCURLSessionManager::completedInfo() while observers run.
void postCompleted(HCURLSessionManager::Task task, core::Value userInfo, std::shared_ptr<HCTaskCompletedInfo> info) {
  core::Queue::main()->async([task = std::move(task), userInfo = std::move(userInfo), info = std::move(info)] {
    const HCTaskCompletedInfo* outer = t_completedInfo;
    t_completedInfo = info.get();
    core::NotificationCenter::defaultCenter().post(HCTaskCompletedNotification, task.get(), userInfo);
    t_completedInfo = outer;
  });
}
}  // namespace

const HCTaskCompletedInfo* HCURLSessionManager::completedInfo() { return t_completedInfo; }

HCURLSessionManagerTaskDelegate::HCURLSessionManagerTaskDelegate(std::weak_ptr<HCURLSessionManager> manager,
                                                                 HCURLSessionManager::Task task)
    : m_manager(std::move(manager)), m_task(std::move(task)) {}

void HCURLSessionManagerTaskDelegate::setupProgressForTask(const std::shared_ptr<net::URLSessionTask>& task) {
  m_uploadProgress->setTotalUnitCount(task->countOfBytesExpectedToSend());
  m_downloadProgress->setTotalUnitCount(task->countOfBytesExpectedToReceive());
  std::weak_ptr<net::URLSessionTask> weakTask = task;
  for (const auto& progress : {m_uploadProgress, m_downloadProgress}) {
    progress->setCancellable(true);
    progress->setCancellationHandler([weakTask] {
      if (auto t = weakTask.lock()) t->cancel();
    });
    progress->setPausable(true);
    // Through the wrapper, so that the change is announced.
    std::weak_ptr<HCURLSessionTask> weakWrapper = m_task;
    progress->setPausingHandler([weakWrapper] {
      if (auto t = weakWrapper.lock()) t->suspend();
    });
    progress->setResumingHandler([weakWrapper] {
      if (auto t = weakWrapper.lock()) t->resume();
    });
  }
  // The blocks are read when the fraction changes, so that they may be set after this.
  m_downloadProgress->setFractionObserver([this](const HCProgress& progress) {
    if (m_downloadProgressBlock) m_downloadProgressBlock(progress);
  });
  m_uploadProgress->setFractionObserver([this](const HCProgress& progress) {
    if (m_uploadProgressBlock) m_uploadProgressBlock(progress);
  });
}

void HCURLSessionManagerTaskDelegate::cleanUpProgressForTask() {
  m_downloadProgress->setFractionObserver(nullptr);
  m_uploadProgress->setFractionObserver(nullptr);
}

void HCURLSessionManagerTaskDelegate::didReceiveData(const std::shared_ptr<net::URLSessionTask>& task,
                                                     const std::string& data) {
  m_downloadProgress->setCounts(task->countOfBytesReceived(), task->countOfBytesExpectedToReceive());
  if (!m_mutableData) m_mutableData = std::string();
  m_mutableData->append(data);
}

void HCURLSessionManagerTaskDelegate::didSendBodyData(const std::shared_ptr<net::URLSessionTask>& task) {
  m_uploadProgress->setCounts(task->countOfBytesSent(), task->countOfBytesExpectedToSend());
}

void HCURLSessionManagerTaskDelegate::didWriteData(int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) {
  m_downloadProgress->setCounts(totalBytesWritten, totalBytesExpectedToWrite);
}

void HCURLSessionManagerTaskDelegate::didResumeAtOffset(int64_t fileOffset, int64_t expectedTotalBytes) {
  m_downloadProgress->setCounts(fileOffset, expectedTotalBytes);
}

std::optional<core::Error> HCURLSessionManagerTaskDelegate::moveDownload(const net::URL& from, const net::URL& to,
                                                                         const std::shared_ptr<net::URLSessionTask>& task) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path source = from.path();
  const fs::path target = to.path();
  if (!to.isFileURL() || target.empty()) {
    ec = std::make_error_code(std::errc::invalid_argument);
  } else if (fs::exists(target, ec)) {
    ec = std::make_error_code(std::errc::file_exists);  // never replaces an existing file
  } else {
    ec.clear();
    fs::rename(source, target, ec);
    if (ec == std::errc::cross_device_link) {
      ec.clear();
      fs::copy_file(source, target, ec);
      if (!ec) fs::remove(source, ec);
    }
  }
  if (!ec) return std::nullopt;
  core::Value info{core::Value::Dictionary{}};
  info.set(core::Error::LocalizedDescriptionKey,
           "The file could not be moved to " + target.string() + ": " + ec.message() + ".");
  info.set(core::Error::FilePathKey, target.string());
  info.set(net::URLError::FailingURLStringKey, to.absoluteString());
  core::Error error(net::URLError::Domain, net::URLError::CannotMoveFile, info);
  KT_LOG("move of download to %s failed: %s", target.c_str(), ec.message().c_str());
  core::NotificationCenter::defaultCenter().post(HCDownloadMoveFailedNotification, task.get(), info);
  return error;
}

void HCURLSessionManagerTaskDelegate::didFinishDownloadingToURL(
    const HCURLSessionManager::Session& session, const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
    const net::URL& location) {
  m_downloadFileURL.reset();
  if (!m_downloadTaskDidFinishDownloading) return;
  m_downloadFileURL = m_downloadTaskDidFinishDownloading(session, downloadTask, location);
  if (m_downloadFileURL) m_moveError = moveDownload(location, *m_downloadFileURL, downloadTask);
}

void HCURLSessionManagerTaskDelegate::didCompleteWithError(const HCURLSessionManager::Session& /*session*/,
                                                           const std::shared_ptr<net::URLSessionTask>& task,
                                                           const std::optional<core::Error>& transportError) {
  auto manager = m_manager.lock();
  auto info = std::make_shared<HCTaskCompletedInfo>();
  info->responseSerializer = manager ? manager->responseSerializer() : nullptr;
  core::Value userInfo{core::Value::Dictionary{}};
  userInfo.set(HCTaskCompletedResponseSerializerKey, addressText(info->responseSerializer.get()));

  std::optional<std::string> data;
  if (m_mutableData && !m_mutableData->empty()) data = std::move(*m_mutableData);
  m_mutableData.reset();

  if (m_downloadFileURL) {
    info->assetPath = m_downloadFileURL;
    userInfo.set(HCTaskCompletedAssetPathKey, m_downloadFileURL->absoluteString());
  } else if (data) {
    info->responseData = data;
    userInfo.set(HCTaskCompletedResponseDataKey, core::Value::data(*data));
  }

  std::shared_ptr<core::Queue> queue = manager ? manager->completionQueue() : nullptr;
  if (!queue) queue = core::Queue::main();
  std::optional<core::Group> group = manager ? manager->completionGroup() : std::nullopt;
  if (!group) group = HCURLSessionManager::sessionManagerCompletionGroup();

  auto response = task->response();
  auto completion = m_completionHandler;
  auto wrapper = m_task;

  // A download that could not be moved ends with the move error and no result.
  std::optional<core::Error> error = transportError ? transportError : m_moveError;
  if (error) {
    info->error = error;
    userInfo.set(HCTaskCompletedErrorKey, HCURLSessionManager::valueFromError(*error));
    group->async(queue, [completion, response, error, wrapper, userInfo, info] {
      if (completion) completion(response, HCResponseObject{}, error);
      postCompleted(wrapper, userInfo, info);
    });
    return;
  }

  auto downloadFileURL = m_downloadFileURL;
  // The group is entered now, so that a wait on it covers the serialization too.
  group->enter();
  HCURLSessionManager::sessionManagerProcessingQueue()->async(
      [completion, response, data, wrapper, userInfo, info, downloadFileURL, queue, group]() mutable {
        std::optional<core::Error> serializationError;
        HCResponseObject object;
        if (info->responseSerializer) {
          object = info->responseSerializer->responseObjectForResponse(response.get(), data, &serializationError);
        }
        if (downloadFileURL) object = core::Value(downloadFileURL->absoluteString());
        if (hasResponseObject(object)) {
          info->serializedResponse = object;
          if (auto* value = std::get_if<core::Value>(&object)) userInfo.set(HCTaskCompletedSerializedResponseKey, *value);
        }
        if (serializationError) {
          info->error = serializationError;
          userInfo.set(HCTaskCompletedErrorKey, HCURLSessionManager::valueFromError(*serializationError));
        }
        group->async(queue, [completion, response, object, serializationError, wrapper, userInfo, info] {
          if (completion) completion(response, object, serializationError);
          postCompleted(wrapper, userInfo, info);
        });
        group->leave();
      });
}

}  // namespace kt
