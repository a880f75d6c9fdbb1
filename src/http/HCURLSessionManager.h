#pragma once

#include "http/HCProgress.h"
#include "http/HCURLResponseSerialization.h"
#include "http/HCURLSessionTask.h"
#include "platform/core/Error.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Queue.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/net/URLSessionDelegate.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace core {
class OperationQueue;
}
namespace net {
class CachedURLResponse;
class InputStream;
class URLSession;
}

namespace kt {

class HCNetworkReachabilityManager;
class HCSecurityPolicy;
class HCURLSessionManagerTaskDelegate;

// Task notifications, posted on the default center. Object: the HCURLSessionTask (as void*).
inline constexpr const char* HCTaskResumedNotification = "net.ktvroom.http.task.resume";
inline constexpr const char* HCTaskSuspendedNotification = "net.ktvroom.http.task.suspend";
inline constexpr const char* HCTaskCompletedNotification = "net.ktvroom.http.task.complete";
// Object: the net::URLSession. Posted on the delegate queue.
inline constexpr const char* HCSessionInvalidatedNotification = "net.ktvroom.http.session.invalidate";
// Object: the platform download task (net::URLSessionTask*). User info: the move error's user
// info. Posted on the delegate queue.
inline constexpr const char* HCDownloadMoveFailedNotification = "net.ktvroom.http.session.download.file-manager-error";

// User-info keys of HCTaskCompletedNotification (a dictionary value):
// the response serializer's address as "%p" text (always);
inline constexpr const char* HCTaskCompletedResponseSerializerKey = "net.ktvroom.http.task.complete.responseserializer";
// the raw bytes (data), when there is no download file and bytes arrived;
inline constexpr const char* HCTaskCompletedResponseDataKey = "net.ktvroom.http.complete.finish.responsedata";
// the download destination (URL text), when there is one;
inline constexpr const char* HCTaskCompletedAssetPathKey = "net.ktvroom.http.task.complete.assetpath";
// the result object when it is a value (images and parsers are not values: see completedInfo);
inline constexpr const char* HCTaskCompletedSerializedResponseKey = "net.ktvroom.http.task.complete.serializedresponse";
// the error as a dictionary {"domain", "code", "description", "userInfo"} (see errorFromValue).
inline constexpr const char* HCTaskCompletedErrorKey = "net.ktvroom.http.task.complete.error";

// Everything about a completed task, as HCTaskCompletedNotification describes it, with the
// objects that a value cannot hold.
struct HCTaskCompletedInfo {
  std::shared_ptr<HCURLResponseSerialization> responseSerializer;
  std::optional<std::string> responseData;
  std::optional<net::URL> assetPath;
  HCResponseObject serializedResponse;
  std::optional<core::Error> error;
};

// Owns one platform URL session and is its delegate: keeps one task delegate per task it made,
// reports each task's progress and ends it with one completion callback on the completion
// queue, lets its owner replace the handling of each session event, and posts the task
// notifications above.
//
// Made with create() (the session holds the manager as its delegate). A manager lives until its
// owner lets go and its session is invalidated: call invalidateSessionCancelingTasks (or
// finishTasksAndInvalidate) when done, which also ends the session's thread.
class HCURLSessionManager : public net::URLSessionDelegate, public std::enable_shared_from_this<HCURLSessionManager> {
 public:
  using Task = std::shared_ptr<HCURLSessionTask>;
  using ProgressBlock = std::function<void(const HCProgress&)>;
  using CompletionHandler = std::function<void(std::shared_ptr<const net::HTTPURLResponse> response,
                                               const HCResponseObject& responseObject,
                                               const std::optional<core::Error>& error)>;
  // Returns the file URL to move a finished download to (nothing: leave it where it is).
  using DestinationBlock = std::function<std::optional<net::URL>(const net::URL& targetPath,
                                                                 std::shared_ptr<const net::HTTPURLResponse> response)>;

  using PlatformTask = std::shared_ptr<net::URLSessionTask>;
  using Session = std::shared_ptr<net::URLSession>;
  using Credential = std::shared_ptr<net::URLCredential>;

  // The event overrides.
  using SessionDidBecomeInvalidBlock = std::function<void(const Session&, const std::optional<core::Error>&)>;
  using SessionDidReceiveAuthenticationChallengeBlock = std::function<net::AuthChallengeDisposition(
      const Session&, const net::AuthenticationChallenge&, Credential* credential)>;
  using DidFinishEventsForBackgroundURLSessionBlock = std::function<void(const Session&)>;
  using TaskNeedNewBodyStreamBlock =
      std::function<std::shared_ptr<net::InputStream>(const Session&, const PlatformTask&)>;
  using TaskWillPerformHTTPRedirectionBlock = std::function<std::optional<net::URLRequest>(
      const Session&, const PlatformTask&, const std::shared_ptr<const net::HTTPURLResponse>&, const net::URLRequest&)>;
  using TaskDidReceiveAuthenticationChallengeBlock = std::function<net::AuthChallengeDisposition(
      const Session&, const PlatformTask&, const net::AuthenticationChallenge&, Credential* credential)>;
  using TaskDidSendBodyDataBlock =
      std::function<void(const Session&, const PlatformTask&, int64_t bytesSent, int64_t totalBytesSent,
                         int64_t totalBytesExpectedToSend)>;
  using TaskDidCompleteBlock =
      std::function<void(const Session&, const PlatformTask&, const std::optional<core::Error>&)>;
  using DataTaskDidReceiveResponseBlock = std::function<net::ResponseDisposition(
      const Session&, const std::shared_ptr<net::URLSessionDataTask>&, const std::shared_ptr<const net::HTTPURLResponse>&)>;
  using DataTaskDidBecomeDownloadTaskBlock = std::function<void(
      const Session&, const std::shared_ptr<net::URLSessionDataTask>&, const std::shared_ptr<net::URLSessionDownloadTask>&)>;
  // The reply to store in the session's URL cache (null: none).
  using DataTaskWillCacheResponseBlock = std::function<std::shared_ptr<const net::CachedURLResponse>(
      const Session&, const std::shared_ptr<net::URLSessionDataTask>&,
      const std::shared_ptr<const net::CachedURLResponse>& proposedResponse)>;
  using DataTaskDidReceiveDataBlock =
      std::function<void(const Session&, const std::shared_ptr<net::URLSessionDataTask>&, const std::string&)>;
  using DownloadTaskDidFinishDownloadingBlock = std::function<std::optional<net::URL>(
      const Session&, const std::shared_ptr<net::URLSessionDownloadTask>&, const net::URL& location)>;
  using DownloadTaskDidWriteDataBlock =
      std::function<void(const Session&, const std::shared_ptr<net::URLSessionDownloadTask>&, int64_t bytesWritten,
                         int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite)>;
  using DownloadTaskDidResumeBlock = std::function<void(
      const Session&, const std::shared_ptr<net::URLSessionDownloadTask>&, int64_t fileOffset, int64_t expectedTotalBytes)>;

  // The events whose handling depends on whether an override is set.
  enum class OptionalEvent { WillPerformHTTPRedirection, DidReceiveResponse, WillCacheResponse,
                             DidFinishEventsForBackgroundURLSession };

  // A manager over a session made from the configuration (the default one when none).
  static std::shared_ptr<HCURLSessionManager> create(
      const std::optional<net::URLSessionConfiguration>& configuration = std::nullopt);
  ~HCURLSessionManager() override;
  HCURLSessionManager(const HCURLSessionManager&) = delete;
  HCURLSessionManager& operator=(const HCURLSessionManager&) = delete;

  // "<HCURLSessionManager: 0x..., session: <...>, operationQueue: <...>>"
  virtual std::string description() const;
  virtual const char* className() const { return "HCURLSessionManager"; }
  // A new manager of the same class with the same session configuration (a subclass adds its
  // own settings).
  std::shared_ptr<HCURLSessionManager> copy() const { return copyManager(); }

  // Archiving: a dictionary naming the class, with the session's configuration under
  // "sessionConfiguration"; subclasses add their own settings.
  static bool supportsSecureCoding() { return true; }
  virtual core::Value encodeWithCoder() const;
  // A manager of the archived class over a session made from the archived configuration (the
  // default one when there is none). Null for an archive of a class that is not a session manager.
  static std::shared_ptr<HCURLSessionManager> initWithCoder(const core::Value& coder);

  // Properties.
  const Session& session() const { return m_session; }
  const std::shared_ptr<core::OperationQueue>& operationQueue() const { return m_operationQueue; }
  const net::URLSessionConfiguration& sessionConfiguration() const { return m_sessionConfiguration; }
  std::shared_ptr<HCURLResponseSerialization> responseSerializer() const;
  virtual void setResponseSerializer(std::shared_ptr<HCURLResponseSerialization> serializer);
  std::shared_ptr<HCSecurityPolicy> securityPolicy() const;
  void setSecurityPolicy(std::shared_ptr<HCSecurityPolicy> policy);
  std::shared_ptr<HCNetworkReachabilityManager> reachabilityManager() const;
  void setReachabilityManager(std::shared_ptr<HCNetworkReachabilityManager> manager);
  // Where completions run; null means the main queue.
  std::shared_ptr<core::Queue> completionQueue() const;
  void setCompletionQueue(std::shared_ptr<core::Queue> queue);
  // The group completions run in; null means the library's shared completion group.
  std::optional<core::Group> completionGroup() const;
  void setCompletionGroup(std::optional<core::Group> group);
  bool attemptsToRecreateUploadTasksForBackgroundSessions() const { return m_attemptsToRecreateUploadTasks; }
  void setAttemptsToRecreateUploadTasksForBackgroundSessions(bool attempts) { m_attemptsToRecreateUploadTasks = attempts; }

  // Task creation. None of them starts the task: call resume() on it. Null when the session
  // gives no task (it is being invalidated).
  Task dataTaskWithRequest(const net::URLRequest& request, CompletionHandler completionHandler);
  Task dataTaskWithRequest(const net::URLRequest& request, ProgressBlock uploadProgress, ProgressBlock downloadProgress,
                           CompletionHandler completionHandler);
  Task uploadTaskWithRequest(const net::URLRequest& request, const net::URL& fileURL, ProgressBlock uploadProgress,
                             CompletionHandler completionHandler);
  Task uploadTaskWithRequestFromData(const net::URLRequest& request, std::string bodyData,
                                     ProgressBlock uploadProgress, CompletionHandler completionHandler);
  Task uploadTaskWithStreamedRequest(const net::URLRequest& request, ProgressBlock uploadProgress,
                                     CompletionHandler completionHandler);
  Task downloadTaskWithRequest(const net::URLRequest& request, ProgressBlock downloadProgress,
                               DestinationBlock destination, CompletionHandler completionHandler);
  // Continues a download from the resume data of a platform download task cancelled with
  // cancelByProducingResumeData; data that cannot be read gives a task that fails.
  Task downloadTaskWithResumeData(const std::string& resumeData, ProgressBlock downloadProgress,
                                  DestinationBlock destination, CompletionHandler completionHandler);

  // Progress of a task of this manager (null for other tasks).
  std::shared_ptr<HCProgress> uploadProgressForTask(const PlatformTask& task) const;
  std::shared_ptr<HCProgress> downloadProgressForTask(const PlatformTask& task) const;

  // The session's tasks not yet completed. They block until the session answers on the delegate
  // queue: never call them from the delegate queue.
  std::vector<PlatformTask> tasks() const;
  std::vector<PlatformTask> dataTasks() const;
  std::vector<PlatformTask> uploadTasks() const;
  std::vector<PlatformTask> downloadTasks() const;
  // "tasks", "dataTasks", "uploadTasks" or "downloadTasks"; nothing for any other key path.
  std::optional<std::vector<PlatformTask>> tasksForKeyPath(const std::string& keyPath) const;

  // The tag written into every task this manager registers: its address as "%p" text.
  const std::string& taskDescriptionForSessionTasks() const { return m_taskDescription; }

  // Asynchronously on the main queue: cancels every task and invalidates the session (true), or
  // lets the running tasks finish first (false).
  void invalidateSessionCancelingTasks(bool cancelPendingTasks);
  // The same as invalidateSessionCancelingTasks(false), at once.
  void finishTasksAndInvalidate();

  // Whether the session event is handled here (the four optional ones: whether an override is set).
  bool respondsToSelector(OptionalEvent event) const;
  // The same, asked by the session, which applies its own default to an event not handled here.
  bool respondsToEvent(net::URLSessionDelegate::OptionalEvent event) const override;

  // Override setters: each stores its callback, which handles every later event.
  void setSessionDidBecomeInvalidBlock(SessionDidBecomeInvalidBlock block);
  void setSessionDidReceiveAuthenticationChallengeBlock(SessionDidReceiveAuthenticationChallengeBlock block);
  void setDidFinishEventsForBackgroundURLSessionBlock(DidFinishEventsForBackgroundURLSessionBlock block);
  void setTaskNeedNewBodyStreamBlock(TaskNeedNewBodyStreamBlock block);
  void setTaskWillPerformHTTPRedirectionBlock(TaskWillPerformHTTPRedirectionBlock block);
  void setTaskDidReceiveAuthenticationChallengeBlock(TaskDidReceiveAuthenticationChallengeBlock block);
  void setTaskDidSendBodyDataBlock(TaskDidSendBodyDataBlock block);
  void setTaskDidCompleteBlock(TaskDidCompleteBlock block);
  void setDataTaskDidReceiveResponseBlock(DataTaskDidReceiveResponseBlock block);
  void setDataTaskDidBecomeDownloadTaskBlock(DataTaskDidBecomeDownloadTaskBlock block);
  void setDataTaskDidReceiveDataBlock(DataTaskDidReceiveDataBlock block);
  void setDataTaskWillCacheResponseBlock(DataTaskWillCacheResponseBlock block);
  void setDownloadTaskDidFinishDownloadingBlock(DownloadTaskDidFinishDownloadingBlock block);
  void setDownloadTaskDidWriteDataBlock(DownloadTaskDidWriteDataBlock block);
  void setDownloadTaskDidResumeBlock(DownloadTaskDidResumeBlock block);

  // The completed-task details behind the HCTaskCompletedNotification being delivered on this
  // thread (null outside such a delivery).
  static const HCTaskCompletedInfo* completedInfo();
  // An error back from its HCTaskCompletedErrorKey dictionary.
  static std::optional<core::Error> errorFromValue(const core::Value& value);
  static core::Value valueFromError(const core::Error& error);

  // Shared state of the library.
  static core::Group sessionManagerCompletionGroup();
  static std::shared_ptr<core::Queue> sessionManagerProcessingQueue();

  // Session delegate events (called by the session on the delegate queue).
  void didBecomeInvalidWithError(const Session& session, const std::optional<core::Error>& error) override;
  void didReceiveChallenge(const Session& session, const net::AuthenticationChallenge& challenge,
                           net::ChallengeHandler handler) override;
  void URLSessionDidFinishEventsForBackgroundURLSession(const Session& session) override;
  void taskDidReceiveChallenge(const Session& session, const PlatformTask& task,
                               const net::AuthenticationChallenge& challenge, net::ChallengeHandler handler) override;
  void willPerformHTTPRedirection(const Session& session, const PlatformTask& task,
                                  const std::shared_ptr<const net::HTTPURLResponse>& response,
                                  const net::URLRequest& request, net::RedirectHandler handler) override;
  void needNewBodyStream(const Session& session, const PlatformTask& task, net::BodyStreamHandler handler) override;
  void didSendBodyData(const Session& session, const PlatformTask& task, int64_t bytesSent, int64_t totalBytesSent,
                       int64_t totalBytesExpectedToSend) override;
  void didCompleteWithError(const Session& session, const PlatformTask& task,
                            const std::optional<core::Error>& error) override;
  void didReceiveResponse(const Session& session, const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override;
  void didBecomeDownloadTask(const Session& session, const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                             const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask) override;
  void willCacheResponse(const Session& session, const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                         const std::shared_ptr<const net::CachedURLResponse>& proposedResponse,
                         net::CachedResponseHandler handler) override;
  void didReceiveData(const Session& session, const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                      const std::string& data) override;
  void didFinishDownloadingToURL(const Session& session, const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                                 const net::URL& location) override;
  void didWriteData(const Session& session, const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                    int64_t bytesWritten, int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override;
  void didResumeAtOffset(const Session& session, const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                         int64_t fileOffset, int64_t expectedTotalBytes) override;

 protected:
  HCURLSessionManager() = default;
  // Makes the session and the defaults; create() and subclasses call it once, right after
  // construction.
  void initWithSessionConfiguration(const std::optional<net::URLSessionConfiguration>& configuration);
  // The object copy() gives: a subclass answers a manager of its own class.
  virtual std::shared_ptr<HCURLSessionManager> copyManager() const;

 private:
  friend class HCURLSessionManagerTaskDelegate;
  friend class HCURLSessionManagerTest;

  std::shared_ptr<HCURLSessionManagerTaskDelegate> delegateForTask(uint64_t taskIdentifier) const;
  void setDelegate(const std::shared_ptr<HCURLSessionManagerTaskDelegate>& delegate, const Task& task);
  void removeDelegateForTask(uint64_t taskIdentifier);
  struct Entry;
  // The resume and suspend signals of a task, observed for as long as its delegate is registered.
  void addNotificationObserverForTask(Entry& entry, const Task& task);
  static void removeNotificationObserverForTask(Entry& entry);
  void taskDidResume(const core::Notification& notification);
  void taskDidSuspend(const core::Notification& notification);
  // Wrap a new platform task and give it a task delegate holding its progress blocks and handlers.
  Task addDelegateForDataTask(const PlatformTask& dataTask, ProgressBlock uploadProgress,
                              ProgressBlock downloadProgress, CompletionHandler completionHandler);
  Task addDelegateForUploadTask(const PlatformTask& uploadTask, ProgressBlock uploadProgress,
                                CompletionHandler completionHandler);
  Task addDelegateForDownloadTask(const PlatformTask& downloadTask, ProgressBlock downloadProgress,
                                  DestinationBlock destination, CompletionHandler completionHandler);
  Task addDelegateForTask(const PlatformTask& platformTask, ProgressBlock uploadProgress, ProgressBlock downloadProgress,
                          CompletionHandler completionHandler, DestinationBlock destination);
  // A server-trust challenge as the security policy judges it.
  net::AuthChallengeDisposition evaluateChallenge(const net::AuthenticationChallenge& challenge, Credential* credential,
                                                  bool taskLevel) const;

  net::URLSessionConfiguration m_sessionConfiguration;
  std::shared_ptr<core::OperationQueue> m_operationQueue;
  Session m_session;
  std::string m_taskDescription;
  bool m_attemptsToRecreateUploadTasks = false;

  mutable std::mutex m_propertiesMutex;  // the properties below may be set from any thread
  std::shared_ptr<HCURLResponseSerialization> m_responseSerializer;
  std::shared_ptr<HCSecurityPolicy> m_securityPolicy;
  std::shared_ptr<HCNetworkReachabilityManager> m_reachabilityManager;
  std::shared_ptr<core::Queue> m_completionQueue;
  std::optional<core::Group> m_completionGroup;

  // Task delegates by task identifier, with the signal observations of their tasks.
  struct Entry {
    std::shared_ptr<HCURLSessionManagerTaskDelegate> delegate;
    core::Observation resumeObservation;
    core::Observation suspendObservation;
  };
  mutable std::mutex m_lock;  // not recursive: delegateForTask takes it itself
  std::map<uint64_t, Entry> m_mutableTaskDelegatesKeyedByTaskIdentifier;

  mutable std::mutex m_blocksMutex;
  SessionDidBecomeInvalidBlock m_sessionDidBecomeInvalid;
  SessionDidReceiveAuthenticationChallengeBlock m_sessionDidReceiveAuthenticationChallenge;
  DidFinishEventsForBackgroundURLSessionBlock m_didFinishEventsForBackgroundURLSession;
  TaskNeedNewBodyStreamBlock m_taskNeedNewBodyStream;
  TaskWillPerformHTTPRedirectionBlock m_taskWillPerformHTTPRedirection;
  TaskDidReceiveAuthenticationChallengeBlock m_taskDidReceiveAuthenticationChallenge;
  TaskDidSendBodyDataBlock m_taskDidSendBodyData;
  TaskDidCompleteBlock m_taskDidComplete;
  DataTaskDidReceiveResponseBlock m_dataTaskDidReceiveResponse;
  DataTaskDidBecomeDownloadTaskBlock m_dataTaskDidBecomeDownloadTask;
  DataTaskDidReceiveDataBlock m_dataTaskDidReceiveData;
  DataTaskWillCacheResponseBlock m_dataTaskWillCacheResponse;
  DownloadTaskDidFinishDownloadingBlock m_downloadTaskDidFinishDownloading;
  DownloadTaskDidWriteDataBlock m_downloadTaskDidWriteData;
  DownloadTaskDidResumeBlock m_downloadTaskDidResume;
};

}  // namespace kt
