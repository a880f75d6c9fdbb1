#include "http/HCURLSessionManager.h"

#include "http/HCHTTPSessionManager.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCKeyedCoding.h"
#include "http/HCNetworkReachabilityManager.h"
#include "http/HCSecurityPolicy.h"
#include "http/HCURLSessionManagerTaskDelegate.h"
#include "platform/core/OperationQueue.h"
#include "platform/net/InputStream.h"
#include "platform/net/URLSession.h"
#include "platform/security/Trust.h"

#include <cstdio>
#include <cstdlib>

namespace kt {

namespace {
std::string addressText(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", pointer);
  return text;
}

template <typename T>
T readBlock(std::mutex& mutex, const T& slot) {
  std::lock_guard<std::mutex> lock(mutex);
  return slot;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared state

// Both never destroyed: completions on pool threads use them while the process exits.
core::Group HCURLSessionManager::sessionManagerCompletionGroup() {
  static core::Group* group = new core::Group;
  return *group;
}

std::shared_ptr<core::Queue> HCURLSessionManager::sessionManagerProcessingQueue() {
  static const std::shared_ptr<core::Queue>* queue =
      new std::shared_ptr<core::Queue>(core::Queue::createConcurrent("net.ktvroom.http.session.manager.processing"));
  return *queue;
}

core::Value HCURLSessionManager::valueFromError(const core::Error& error) {
  core::Value value{core::Value::Dictionary{}};
  value.set("domain", error.domain());
  value.set("code", error.code());
  value.set("description", error.localizedDescription());
  if (!error.userInfo().isNull()) value.set("userInfo", error.userInfo());
  return value;
}

std::optional<core::Error> HCURLSessionManager::errorFromValue(const core::Value& value) {
  if (!value.isDictionary() || !value["domain"].isString() || !value["code"].isNumber()) return std::nullopt;
  return core::Error(*value["domain"].asString(), value["code"].integerValue(), value["userInfo"]);
}

// ---------------------------------------------------------------------------------------------
// Creation

std::shared_ptr<HCURLSessionManager> HCURLSessionManager::create(
    const std::optional<net::URLSessionConfiguration>& configuration) {
  std::shared_ptr<HCURLSessionManager> manager(new HCURLSessionManager());
  manager->initWithSessionConfiguration(configuration);
  return manager;
}

void HCURLSessionManager::initWithSessionConfiguration(
    const std::optional<net::URLSessionConfiguration>& configuration) {
  m_sessionConfiguration = configuration ? *configuration : net::URLSessionConfiguration::defaultSessionConfiguration();
  m_operationQueue = core::OperationQueue::create("net.ktvroom.http.session.manager.delegate");
  m_operationQueue->setMaxConcurrentOperationCount(1);
  m_taskDescription = addressText(this);
  m_responseSerializer = HCJSONResponseSerializer::serializer();
  m_securityPolicy = HCSecurityPolicy::defaultPolicy();
  m_reachabilityManager = HCNetworkReachabilityManager::sharedManager();
  // The session holds the manager as its delegate until it is invalidated.
  m_session = net::URLSession::create(m_sessionConfiguration, shared_from_this(), m_operationQueue);
}

HCURLSessionManager::~HCURLSessionManager() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_mutableTaskDelegatesKeyedByTaskIdentifier.clear();  // ends the signal observations
}

std::string HCURLSessionManager::description() const {
  char text[256];
  std::snprintf(text, sizeof text, "<%s: %p, session: <URLSession: %p>, operationQueue: <OperationQueue: %p>{name = '%s'}>",
                className(), static_cast<const void*>(this), static_cast<const void*>(m_session.get()),
                static_cast<const void*>(m_operationQueue.get()),
                m_operationQueue ? m_operationQueue->name().c_str() : "");
  return text;
}

std::shared_ptr<HCURLSessionManager> HCURLSessionManager::copyManager() const { return create(m_sessionConfiguration); }

core::Value HCURLSessionManager::encodeWithCoder() const {
  core::Value coder{core::Value::Dictionary{}};
  coder.set(HCCoderClassKey, className());
  coder.set("sessionConfiguration", encodeSessionConfiguration(m_sessionConfiguration));
  return coder;
}

std::shared_ptr<HCURLSessionManager> HCURLSessionManager::initWithCoder(const core::Value& coder) {
  if (!coder.isDictionary()) return nullptr;
  const std::string name = archivedClassName(coder).value_or("HCURLSessionManager");
  if (name == "HCHTTPSessionManager") return HCHTTPSessionManager::initWithCoder(coder);
  if (name != "HCURLSessionManager") return nullptr;
  return create(decodeSessionConfiguration(coder["sessionConfiguration"]));
}

// ---------------------------------------------------------------------------------------------
// Properties

std::shared_ptr<HCURLResponseSerialization> HCURLSessionManager::responseSerializer() const {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  return m_responseSerializer;
}

void HCURLSessionManager::setResponseSerializer(std::shared_ptr<HCURLResponseSerialization> serializer) {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  m_responseSerializer = std::move(serializer);
}

std::shared_ptr<HCSecurityPolicy> HCURLSessionManager::securityPolicy() const {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  return m_securityPolicy;
}

void HCURLSessionManager::setSecurityPolicy(std::shared_ptr<HCSecurityPolicy> policy) {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  m_securityPolicy = std::move(policy);
}

std::shared_ptr<HCNetworkReachabilityManager> HCURLSessionManager::reachabilityManager() const {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  return m_reachabilityManager;
}

void HCURLSessionManager::setReachabilityManager(std::shared_ptr<HCNetworkReachabilityManager> manager) {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  m_reachabilityManager = std::move(manager);
}

std::shared_ptr<core::Queue> HCURLSessionManager::completionQueue() const {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  return m_completionQueue;
}

void HCURLSessionManager::setCompletionQueue(std::shared_ptr<core::Queue> queue) {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  m_completionQueue = std::move(queue);
}

std::optional<core::Group> HCURLSessionManager::completionGroup() const {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  return m_completionGroup;
}

void HCURLSessionManager::setCompletionGroup(std::optional<core::Group> group) {
  std::lock_guard<std::mutex> lock(m_propertiesMutex);
  m_completionGroup = std::move(group);
}

// ---------------------------------------------------------------------------------------------
// Task delegates

std::shared_ptr<HCURLSessionManagerTaskDelegate> HCURLSessionManager::delegateForTask(uint64_t taskIdentifier) const {
  std::lock_guard<std::mutex> lock(m_lock);
  auto it = m_mutableTaskDelegatesKeyedByTaskIdentifier.find(taskIdentifier);
  return it == m_mutableTaskDelegatesKeyedByTaskIdentifier.end() ? nullptr : it->second.delegate;
}

void HCURLSessionManager::setDelegate(const std::shared_ptr<HCURLSessionManagerTaskDelegate>& delegate,
                                      const Task& task) {
  std::lock_guard<std::mutex> lock(m_lock);
  Entry entry;
  entry.delegate = delegate;
  delegate->setupProgressForTask(task->task());
  addNotificationObserverForTask(entry, task);
  m_mutableTaskDelegatesKeyedByTaskIdentifier[task->taskIdentifier()] = std::move(entry);
}

void HCURLSessionManager::addNotificationObserverForTask(Entry& entry, const Task& task) {
  auto& center = core::NotificationCenter::defaultCenter();
  std::weak_ptr<HCURLSessionManager> weakSelf = weak_from_this();
  entry.resumeObservation = core::Observation(center, HCSessionTaskResumeSignal, task.get(),
                                              [weakSelf](const core::Notification& n) {
                                                if (auto self = weakSelf.lock()) self->taskDidResume(n);
                                              });
  entry.suspendObservation = core::Observation(center, HCSessionTaskSuspendSignal, task.get(),
                                               [weakSelf](const core::Notification& n) {
                                                 if (auto self = weakSelf.lock()) self->taskDidSuspend(n);
                                               });
}

void HCURLSessionManager::removeNotificationObserverForTask(Entry& entry) {
  entry.resumeObservation = core::Observation();
  entry.suspendObservation = core::Observation();
}

void HCURLSessionManager::removeDelegateForTask(uint64_t taskIdentifier) {
  auto delegate = delegateForTask(taskIdentifier);
  Entry removed;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (delegate) delegate->cleanUpProgressForTask();
    auto it = m_mutableTaskDelegatesKeyedByTaskIdentifier.find(taskIdentifier);
    if (it == m_mutableTaskDelegatesKeyedByTaskIdentifier.end()) return;
    removed = std::move(it->second);
    m_mutableTaskDelegatesKeyedByTaskIdentifier.erase(it);
  }
  // The observations end outside the lock.
  removeNotificationObserverForTask(removed);
}

HCURLSessionManager::Task HCURLSessionManager::addDelegateForDataTask(const PlatformTask& dataTask,
                                                                      ProgressBlock uploadProgress,
                                                                      ProgressBlock downloadProgress,
                                                                      CompletionHandler completionHandler) {
  return addDelegateForTask(dataTask, std::move(uploadProgress), std::move(downloadProgress),
                            std::move(completionHandler), nullptr);
}

HCURLSessionManager::Task HCURLSessionManager::addDelegateForUploadTask(const PlatformTask& uploadTask,
                                                                        ProgressBlock uploadProgress,
                                                                        CompletionHandler completionHandler) {
  return addDelegateForTask(uploadTask, std::move(uploadProgress), nullptr, std::move(completionHandler), nullptr);
}

HCURLSessionManager::Task HCURLSessionManager::addDelegateForDownloadTask(const PlatformTask& downloadTask,
                                                                          ProgressBlock downloadProgress,
                                                                          DestinationBlock destination,
                                                                          CompletionHandler completionHandler) {
  return addDelegateForTask(downloadTask, nullptr, std::move(downloadProgress), std::move(completionHandler),
                            std::move(destination));
}

HCURLSessionManager::Task HCURLSessionManager::addDelegateForTask(const PlatformTask& platformTask,
                                                                  ProgressBlock uploadProgress,
                                                                  ProgressBlock downloadProgress,
                                                                  CompletionHandler completionHandler,
                                                                  DestinationBlock destination) {
  if (!platformTask) return nullptr;
  auto task = std::make_shared<HCURLSessionTask>(platformTask);
  auto delegate = std::make_shared<HCURLSessionManagerTaskDelegate>(weak_from_this(), task);
  delegate->setCompletionHandler(std::move(completionHandler));
  if (destination) {
    std::weak_ptr<net::URLSessionTask> weakTask = platformTask;
    delegate->setDownloadTaskDidFinishDownloading(
        [destination, weakTask](const Session&, const std::shared_ptr<net::URLSessionDownloadTask>&,
                                const net::URL& location) -> std::optional<net::URL> {
          auto t = weakTask.lock();
          return destination(location, t ? t->response() : nullptr);
        });
  }
  task->setTaskDescription(m_taskDescription);
  setDelegate(delegate, task);
  delegate->setUploadProgressBlock(std::move(uploadProgress));
  delegate->setDownloadProgressBlock(std::move(downloadProgress));
  return task;
}

void HCURLSessionManager::taskDidResume(const core::Notification& notification) {
  auto* raw = static_cast<HCURLSessionTask*>(notification.object);
  if (!raw || raw->taskDescription() != m_taskDescription) return;
  // The resumer holds the task while the signal is delivered.
  auto task = raw->shared_from_this();
  core::Queue::main()->async(
      [task] { core::NotificationCenter::defaultCenter().post(HCTaskResumedNotification, task.get()); });
}

void HCURLSessionManager::taskDidSuspend(const core::Notification& notification) {
  auto* raw = static_cast<HCURLSessionTask*>(notification.object);
  if (!raw || raw->taskDescription() != m_taskDescription) return;
  auto task = raw->shared_from_this();
  core::Queue::main()->async(
      [task] { core::NotificationCenter::defaultCenter().post(HCTaskSuspendedNotification, task.get()); });
}

// ---------------------------------------------------------------------------------------------
// Task creation

HCURLSessionManager::Task HCURLSessionManager::dataTaskWithRequest(const net::URLRequest& request,
                                                                   CompletionHandler completionHandler) {
  return dataTaskWithRequest(request, nullptr, nullptr, std::move(completionHandler));
}

HCURLSessionManager::Task HCURLSessionManager::dataTaskWithRequest(const net::URLRequest& request,
                                                                   ProgressBlock uploadProgress,
                                                                   ProgressBlock downloadProgress,
                                                                   CompletionHandler completionHandler) {
  return addDelegateForDataTask(m_session->dataTaskWithRequest(request), std::move(uploadProgress),
                                std::move(downloadProgress), std::move(completionHandler));
}

HCURLSessionManager::Task HCURLSessionManager::uploadTaskWithRequest(const net::URLRequest& request,
                                                                     const net::URL& fileURL,
                                                                     ProgressBlock uploadProgress,
                                                                     CompletionHandler completionHandler) {
  std::shared_ptr<net::URLSessionTask> task = m_session->uploadTaskWithRequest(request, fileURL);
  if (!task && m_attemptsToRecreateUploadTasks && m_sessionConfiguration.identifier()) {
    for (int attempt = 1; !task && attempt < 3; ++attempt) task = m_session->uploadTaskWithRequest(request, fileURL);
  }
  return addDelegateForUploadTask(task, std::move(uploadProgress), std::move(completionHandler));
}

HCURLSessionManager::Task HCURLSessionManager::uploadTaskWithRequestFromData(const net::URLRequest& request,
                                                                             std::string bodyData,
                                                                             ProgressBlock uploadProgress,
                                                                             CompletionHandler completionHandler) {
  return addDelegateForUploadTask(m_session->uploadTaskWithRequest(request, std::move(bodyData)),
                                  std::move(uploadProgress), std::move(completionHandler));
}

HCURLSessionManager::Task HCURLSessionManager::uploadTaskWithStreamedRequest(const net::URLRequest& request,
                                                                             ProgressBlock uploadProgress,
                                                                             CompletionHandler completionHandler) {
  return addDelegateForUploadTask(m_session->uploadTaskWithStreamedRequest(request), std::move(uploadProgress),
                                  std::move(completionHandler));
}

HCURLSessionManager::Task HCURLSessionManager::downloadTaskWithRequest(const net::URLRequest& request,
                                                                       ProgressBlock downloadProgress,
                                                                       DestinationBlock destination,
                                                                       CompletionHandler completionHandler) {
  return addDelegateForDownloadTask(m_session->downloadTaskWithRequest(request), std::move(downloadProgress),
                                    std::move(destination), std::move(completionHandler));
}

HCURLSessionManager::Task HCURLSessionManager::downloadTaskWithResumeData(const std::string& resumeData,
                                                                          ProgressBlock downloadProgress,
                                                                          DestinationBlock destination,
                                                                          CompletionHandler completionHandler) {
  return addDelegateForDownloadTask(m_session->downloadTaskWithResumeData(resumeData), std::move(downloadProgress),
                                    std::move(destination), std::move(completionHandler));
}

std::shared_ptr<HCProgress> HCURLSessionManager::uploadProgressForTask(const PlatformTask& task) const {
  auto delegate = task ? delegateForTask(task->taskIdentifier()) : nullptr;
  return delegate ? delegate->uploadProgress() : nullptr;
}

std::shared_ptr<HCProgress> HCURLSessionManager::downloadProgressForTask(const PlatformTask& task) const {
  auto delegate = task ? delegateForTask(task->taskIdentifier()) : nullptr;
  return delegate ? delegate->downloadProgress() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Task lists

std::optional<std::vector<HCURLSessionManager::PlatformTask>> HCURLSessionManager::tasksForKeyPath(
    const std::string& keyPath) const {
  if (keyPath != "tasks" && keyPath != "dataTasks" && keyPath != "uploadTasks" && keyPath != "downloadTasks") {
    return std::nullopt;
  }
  std::vector<PlatformTask> result;
  if (!m_session->delegate()) return result;  // invalidated: no tasks, and no answer would come
  core::Semaphore answered;
  m_session->getTasksWithCompletionHandler(
      [&result, &answered, keyPath](std::vector<std::shared_ptr<net::URLSessionDataTask>> data,
                                    std::vector<std::shared_ptr<net::URLSessionUploadTask>> upload,
                                    std::vector<std::shared_ptr<net::URLSessionDownloadTask>> download) {
        if (keyPath == "dataTasks" || keyPath == "tasks") result.insert(result.end(), data.begin(), data.end());
        if (keyPath == "uploadTasks" || keyPath == "tasks") result.insert(result.end(), upload.begin(), upload.end());
        if (keyPath == "downloadTasks" || keyPath == "tasks") {
          result.insert(result.end(), download.begin(), download.end());
        }
        answered.signal();
      });
  answered.wait();
  return result;
}

std::vector<HCURLSessionManager::PlatformTask> HCURLSessionManager::tasks() const { return *tasksForKeyPath("tasks"); }
std::vector<HCURLSessionManager::PlatformTask> HCURLSessionManager::dataTasks() const {
  return *tasksForKeyPath("dataTasks");
}
std::vector<HCURLSessionManager::PlatformTask> HCURLSessionManager::uploadTasks() const {
  return *tasksForKeyPath("uploadTasks");
}
std::vector<HCURLSessionManager::PlatformTask> HCURLSessionManager::downloadTasks() const {
  return *tasksForKeyPath("downloadTasks");
}

// ---------------------------------------------------------------------------------------------
// Invalidation

void HCURLSessionManager::invalidateSessionCancelingTasks(bool cancelPendingTasks) {
  core::Queue::main()->async([session = m_session, cancelPendingTasks] {
    if (cancelPendingTasks) {
      session->invalidateAndCancel();
    } else {
      session->finishTasksAndInvalidate();
    }
  });
}

void HCURLSessionManager::finishTasksAndInvalidate() { m_session->finishTasksAndInvalidate(); }

bool HCURLSessionManager::respondsToSelector(OptionalEvent event) const {
  std::lock_guard<std::mutex> lock(m_blocksMutex);
  switch (event) {
    case OptionalEvent::WillPerformHTTPRedirection: return static_cast<bool>(m_taskWillPerformHTTPRedirection);
    case OptionalEvent::DidReceiveResponse: return static_cast<bool>(m_dataTaskDidReceiveResponse);
    case OptionalEvent::WillCacheResponse: return static_cast<bool>(m_dataTaskWillCacheResponse);
    case OptionalEvent::DidFinishEventsForBackgroundURLSession:
      return static_cast<bool>(m_didFinishEventsForBackgroundURLSession);
  }
  return false;
}

bool HCURLSessionManager::respondsToEvent(net::URLSessionDelegate::OptionalEvent event) const {
  using Event = net::URLSessionDelegate::OptionalEvent;
  switch (event) {
    case Event::WillPerformHTTPRedirection: return respondsToSelector(OptionalEvent::WillPerformHTTPRedirection);
    case Event::DidReceiveResponse: return respondsToSelector(OptionalEvent::DidReceiveResponse);
    case Event::WillCacheResponse: return respondsToSelector(OptionalEvent::WillCacheResponse);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Override setters

#define KT_BLOCK_SETTER(Setter, Type, member)          \
  void HCURLSessionManager::Setter(Type block) {       \
    std::lock_guard<std::mutex> lock(m_blocksMutex);   \
    member = std::move(block);                         \
  }
KT_BLOCK_SETTER(setSessionDidBecomeInvalidBlock, SessionDidBecomeInvalidBlock, m_sessionDidBecomeInvalid)
KT_BLOCK_SETTER(setSessionDidReceiveAuthenticationChallengeBlock, SessionDidReceiveAuthenticationChallengeBlock,
                m_sessionDidReceiveAuthenticationChallenge)
KT_BLOCK_SETTER(setDidFinishEventsForBackgroundURLSessionBlock, DidFinishEventsForBackgroundURLSessionBlock,
                m_didFinishEventsForBackgroundURLSession)
KT_BLOCK_SETTER(setTaskNeedNewBodyStreamBlock, TaskNeedNewBodyStreamBlock, m_taskNeedNewBodyStream)
KT_BLOCK_SETTER(setTaskWillPerformHTTPRedirectionBlock, TaskWillPerformHTTPRedirectionBlock,
                m_taskWillPerformHTTPRedirection)
KT_BLOCK_SETTER(setTaskDidReceiveAuthenticationChallengeBlock, TaskDidReceiveAuthenticationChallengeBlock,
                m_taskDidReceiveAuthenticationChallenge)
KT_BLOCK_SETTER(setTaskDidSendBodyDataBlock, TaskDidSendBodyDataBlock, m_taskDidSendBodyData)
KT_BLOCK_SETTER(setTaskDidCompleteBlock, TaskDidCompleteBlock, m_taskDidComplete)
KT_BLOCK_SETTER(setDataTaskDidReceiveResponseBlock, DataTaskDidReceiveResponseBlock, m_dataTaskDidReceiveResponse)
KT_BLOCK_SETTER(setDataTaskDidBecomeDownloadTaskBlock, DataTaskDidBecomeDownloadTaskBlock,
                m_dataTaskDidBecomeDownloadTask)
KT_BLOCK_SETTER(setDataTaskDidReceiveDataBlock, DataTaskDidReceiveDataBlock, m_dataTaskDidReceiveData)
KT_BLOCK_SETTER(setDataTaskWillCacheResponseBlock, DataTaskWillCacheResponseBlock, m_dataTaskWillCacheResponse)
KT_BLOCK_SETTER(setDownloadTaskDidFinishDownloadingBlock, DownloadTaskDidFinishDownloadingBlock,
                m_downloadTaskDidFinishDownloading)
KT_BLOCK_SETTER(setDownloadTaskDidWriteDataBlock, DownloadTaskDidWriteDataBlock, m_downloadTaskDidWriteData)
KT_BLOCK_SETTER(setDownloadTaskDidResumeBlock, DownloadTaskDidResumeBlock, m_downloadTaskDidResume)
#undef KT_BLOCK_SETTER

// ---------------------------------------------------------------------------------------------
// Session events

void HCURLSessionManager::didBecomeInvalidWithError(const Session& session, const std::optional<core::Error>& error) {
  if (auto block = readBlock(m_blocksMutex, m_sessionDidBecomeInvalid)) block(session, error);
  core::NotificationCenter::defaultCenter().post(HCSessionInvalidatedNotification, session.get());
}

net::AuthChallengeDisposition HCURLSessionManager::evaluateChallenge(const net::AuthenticationChallenge& challenge,
                                                                     Credential* credential, bool taskLevel) const {
  const auto& space = challenge.protectionSpace;
  if (space.authenticationMethod != net::ProtectionSpace::AuthenticationMethodServerTrust || !space.serverTrust) {
    return net::AuthChallengeDisposition::PerformDefaultHandling;
  }
  auto policy = securityPolicy();
  auto trust = security::Trust::createWithCertificateData(space.serverTrust->certificates,
                                                          {security::Policy::ssl(true, space.host)});
  if (!policy || !trust || !policy->evaluateServerTrust(*trust, space.host)) {
    return net::AuthChallengeDisposition::CancelAuthenticationChallenge;
  }
  *credential = net::URLCredential::forTrust(space.serverTrust);
  if (taskLevel || *credential) return net::AuthChallengeDisposition::UseCredential;
  return net::AuthChallengeDisposition::PerformDefaultHandling;
}

void HCURLSessionManager::didReceiveChallenge(const Session& session, const net::AuthenticationChallenge& challenge,
                                              net::ChallengeHandler handler) {
  Credential credential;
  net::AuthChallengeDisposition disposition;
  if (auto block = readBlock(m_blocksMutex, m_sessionDidReceiveAuthenticationChallenge)) {
    disposition = block(session, challenge, &credential);
  } else if (challenge.task && readBlock(m_blocksMutex, m_taskDidReceiveAuthenticationChallenge)) {
    // Only a task-level override is set: it decides.
    taskDidReceiveChallenge(session, challenge.task, challenge, std::move(handler));
    return;
  } else {
    disposition = evaluateChallenge(challenge, &credential, false);
  }
  if (handler) handler(disposition, credential);
}

void HCURLSessionManager::URLSessionDidFinishEventsForBackgroundURLSession(const Session& session) {
  if (auto block = readBlock(m_blocksMutex, m_didFinishEventsForBackgroundURLSession)) {
    core::Queue::main()->async([block, session] { block(session); });
  }
}

void HCURLSessionManager::taskDidReceiveChallenge(const Session& session, const PlatformTask& task,
                                                  const net::AuthenticationChallenge& challenge,
                                                  net::ChallengeHandler handler) {
  Credential credential;
  net::AuthChallengeDisposition disposition;
  if (auto block = readBlock(m_blocksMutex, m_taskDidReceiveAuthenticationChallenge)) {
    disposition = block(session, task, challenge, &credential);
  } else {
    disposition = evaluateChallenge(challenge, &credential, true);
  }
  if (handler) handler(disposition, credential);
}

void HCURLSessionManager::willPerformHTTPRedirection(const Session& session, const PlatformTask& task,
                                                     const std::shared_ptr<const net::HTTPURLResponse>& response,
                                                     const net::URLRequest& request, net::RedirectHandler handler) {
  std::optional<net::URLRequest> next = request;
  if (auto block = readBlock(m_blocksMutex, m_taskWillPerformHTTPRedirection)) next = block(session, task, response, request);
  if (handler) handler(std::move(next));
}

void HCURLSessionManager::needNewBodyStream(const Session& session, const PlatformTask& task,
                                            net::BodyStreamHandler handler) {
  if (auto block = readBlock(m_blocksMutex, m_taskNeedNewBodyStream)) {
    if (handler) handler(block(session, task));
    return;
  }
  net::URLSessionDelegate::needNewBodyStream(session, task, std::move(handler));
}

void HCURLSessionManager::didSendBodyData(const Session& session, const PlatformTask& task, int64_t bytesSent,
                                          int64_t totalBytesSent, int64_t totalBytesExpectedToSend) {
  int64_t expected = totalBytesExpectedToSend;
  if (expected == net::URLSessionTransferSizeUnknown && task->originalRequest()) {
    if (auto length = task->originalRequest()->valueForHTTPHeaderField("Content-Length")) {
      expected = std::strtoll(length->c_str(), nullptr, 10);
    }
  }
  if (auto delegate = delegateForTask(task->taskIdentifier())) delegate->didSendBodyData(task);
  if (auto block = readBlock(m_blocksMutex, m_taskDidSendBodyData)) {
    block(session, task, bytesSent, totalBytesSent, expected);
  }
}

void HCURLSessionManager::didCompleteWithError(const Session& session, const PlatformTask& task,
                                               const std::optional<core::Error>& error) {
  if (auto delegate = delegateForTask(task->taskIdentifier())) {
    delegate->didCompleteWithError(session, task, error);
    removeDelegateForTask(task->taskIdentifier());
  }
  if (auto block = readBlock(m_blocksMutex, m_taskDidComplete)) block(session, task, error);
}

void HCURLSessionManager::didReceiveResponse(const Session& session,
                                             const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                                             const std::shared_ptr<const net::HTTPURLResponse>& response,
                                             net::ResponseHandler handler) {
  net::ResponseDisposition disposition = net::ResponseDisposition::Allow;
  if (auto block = readBlock(m_blocksMutex, m_dataTaskDidReceiveResponse)) disposition = block(session, dataTask, response);
  if (handler) handler(disposition);
}

void HCURLSessionManager::didBecomeDownloadTask(const Session& session,
                                                const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                                                const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask) {
  if (auto delegate = delegateForTask(dataTask->taskIdentifier())) {
    removeDelegateForTask(dataTask->taskIdentifier());
    auto task = std::make_shared<HCURLSessionTask>(downloadTask);
    task->setTaskDescription(m_taskDescription);
    delegate->setTask(task);
    setDelegate(delegate, task);
  }
  if (auto block = readBlock(m_blocksMutex, m_dataTaskDidBecomeDownloadTask)) block(session, dataTask, downloadTask);
}

void HCURLSessionManager::didReceiveData(const Session& session,
                                         const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                                         const std::string& data) {
  if (auto delegate = delegateForTask(dataTask->taskIdentifier())) delegate->didReceiveData(dataTask, data);
  if (auto block = readBlock(m_blocksMutex, m_dataTaskDidReceiveData)) block(session, dataTask, data);
}

void HCURLSessionManager::willCacheResponse(const Session& session,
                                            const std::shared_ptr<net::URLSessionDataTask>& dataTask,
                                            const std::shared_ptr<const net::CachedURLResponse>& proposedResponse,
                                            net::CachedResponseHandler handler) {
  auto response = proposedResponse;
  if (auto block = readBlock(m_blocksMutex, m_dataTaskWillCacheResponse)) response = block(session, dataTask, proposedResponse);
  if (handler) handler(std::move(response));
}

void HCURLSessionManager::didFinishDownloadingToURL(const Session& session,
                                                    const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                                                    const net::URL& location) {
  auto delegate = delegateForTask(downloadTask->taskIdentifier());
  if (auto block = readBlock(m_blocksMutex, m_downloadTaskDidFinishDownloading)) {
    if (auto destination = block(session, downloadTask, location)) {
      auto moveError = HCURLSessionManagerTaskDelegate::moveDownload(location, *destination, downloadTask);
      if (delegate) {
        delegate->setDownloadFileURL(destination);
        delegate->setMoveError(moveError);
      }
      return;
    }
  }
  if (delegate) delegate->didFinishDownloadingToURL(session, downloadTask, location);
}

void HCURLSessionManager::didWriteData(const Session& session,
                                       const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                                       int64_t bytesWritten, int64_t totalBytesWritten,
                                       int64_t totalBytesExpectedToWrite) {
  if (auto delegate = delegateForTask(downloadTask->taskIdentifier())) {
    delegate->didWriteData(totalBytesWritten, totalBytesExpectedToWrite);
  }
  if (auto block = readBlock(m_blocksMutex, m_downloadTaskDidWriteData)) {
    block(session, downloadTask, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
  }
}

void HCURLSessionManager::didResumeAtOffset(const Session& session,
                                            const std::shared_ptr<net::URLSessionDownloadTask>& downloadTask,
                                            int64_t fileOffset, int64_t expectedTotalBytes) {
  if (auto delegate = delegateForTask(downloadTask->taskIdentifier())) {
    delegate->didResumeAtOffset(fileOffset, expectedTotalBytes);
  }
  if (auto block = readBlock(m_blocksMutex, m_downloadTaskDidResume)) {
    block(session, downloadTask, fileOffset, expectedTotalBytes);
  }
}

}  // namespace kt
