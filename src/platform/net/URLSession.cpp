#include "platform/net/URLSession.h"

#include "platform/core/OperationQueue.h"
#include "platform/net/DownloadResumeData.h"
#include "platform/net/SessionThreads.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSessionInternal.h"
#include "platform/net/URLSessionTransfer.h"

#include <openssl/crypto.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

namespace net {

namespace {

using Transfer = URLSessionTask::Transfer;

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    SessionThreads::waitForThemAtExit();
  });
}

}  // namespace

std::shared_ptr<URLSession> URLSession::create(const URLSessionConfiguration& configuration,
                                               std::shared_ptr<URLSessionDelegate> delegate,
                                               std::shared_ptr<core::OperationQueue> delegateQueue) {
  initCurlOnce();
  if (!delegateQueue) {
    delegateQueue = core::OperationQueue::create("net.URLSession.delegateQueue");
    delegateQueue->setMaxConcurrentOperationCount(1);
  }
  auto session = std::make_shared<URLSession>(Key{}, configuration, std::move(delegate), std::move(delegateQueue));
  session->m_multi = curl_multi_init();
  if (!session->m_multi) return nullptr;
  curl_multi_setopt(session->m_multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                    static_cast<long>(std::max(1, configuration.HTTPMaximumConnectionsPerHost())));
  std::lock_guard lock(session->m_mutex);
  // The thread keeps the session until it has been invalidated and its tasks have completed.
  session->m_thread = std::thread([self = session]() mutable {
    // Held until the session's last use of libcurl, which may be its destructor below.
    SessionThreads::Registration registration([weak = std::weak_ptr<URLSession>(self)] {
      if (auto session = weak.lock()) session->enqueue([] {});
    });
    self->run();
    std::shared_ptr<SessionThreads::LettingGo> lettingGo;
    {
      std::lock_guard lock(self->m_mutex);
      self->m_thread.detach();
      lettingGo = std::move(self->m_lettingGo);
    }
    self.reset();
    lettingGo.reset();
    // OpenSSL's state for this thread is freed now, not by its thread-exit handler after the
    // registration has gone, when the process's exit may already be freeing OpenSSL.
    OPENSSL_thread_stop();
  });
  return session;
}

URLSession::URLSession(Key, const URLSessionConfiguration& configuration, std::shared_ptr<URLSessionDelegate> delegate,
                       std::shared_ptr<core::OperationQueue> delegateQueue)
    : m_configuration(configuration), m_delegateQueue(std::move(delegateQueue)), m_delegate(std::move(delegate)) {}

URLSession::~URLSession() {
  if (m_thread.joinable()) m_thread.detach();
  if (m_multi) curl_multi_cleanup(m_multi);
}

std::shared_ptr<URLSessionDelegate> URLSession::delegate() const {
  std::lock_guard lock(m_mutex);
  return m_delegate;
}

std::string URLSession::sessionDescription() const {
  std::lock_guard lock(m_mutex);
  return m_description;
}

void URLSession::setSessionDescription(const std::string& description) {
  std::lock_guard lock(m_mutex);
  m_description = description;
}

void URLSession::enqueue(std::function<void()> command) {
  std::lock_guard lock(m_mutex);
  if (m_stopped) return;
  m_commands.push_back(std::move(command));
  curl_multi_wakeup(m_multi);
}

void URLSession::post(std::function<void()> block) { m_delegateQueue->addOperationWithBlock(std::move(block)); }

template <typename T>
std::shared_ptr<T> URLSession::makeTask(std::optional<URLRequest> request) {
  uint64_t identifier;
  {
    std::lock_guard lock(m_mutex);
    if (m_invalidating) return nullptr;
    identifier = m_nextIdentifier++;
  }
  auto task = std::make_shared<T>(identifier, std::move(request), shared_from_this());
  task->m_transfer = std::make_unique<URLSessionTask::Transfer>();
  task->m_transfer->session = this;
  task->m_transfer->task = task.get();
  return task;
}

void URLSession::registerTask(const std::shared_ptr<URLSessionTask>& task) {
  std::lock_guard lock(m_mutex);
  m_tasks[task->taskIdentifier()] = task;
}

std::shared_ptr<URLSessionDataTask> URLSession::dataTaskWithRequest(const URLRequest& request, DataCompletion completion) {
  auto task = makeTask<URLSessionDataTask>(request);
  if (!task) return nullptr;
  task->m_transfer->dataCompletion = std::move(completion);
  registerTask(task);
  return task;
}

std::shared_ptr<URLSessionDataTask> URLSession::dataTaskWithURL(const URL& url, DataCompletion completion) {
  return dataTaskWithRequest(URLRequest(url), std::move(completion));
}

std::shared_ptr<URLSessionUploadTask> URLSession::uploadTaskWithRequest(const URLRequest& request, std::string bodyData,
                                                                        DataCompletion completion) {
  auto task = makeTask<URLSessionUploadTask>(request);
  if (!task) return nullptr;
  task->m_transfer->bodySource = Transfer::BodySource::Data;
  task->m_transfer->bodyData = std::move(bodyData);
  task->m_transfer->dataCompletion = std::move(completion);
  task->m_bytesExpectedToSend = static_cast<int64_t>(task->m_transfer->bodyData.size());
  registerTask(task);
  return task;
}

std::shared_ptr<URLSessionUploadTask> URLSession::uploadTaskWithRequest(const URLRequest& request, const URL& fileURL,
                                                                        DataCompletion completion) {
  if (!fileURL.isFileURL()) return nullptr;
  auto task = makeTask<URLSessionUploadTask>(request);
  if (!task) return nullptr;
  task->m_transfer->bodySource = Transfer::BodySource::File;
  task->m_transfer->bodyFilePath = fileURL.path();
  task->m_transfer->dataCompletion = std::move(completion);
  struct stat st {};
  if (::stat(task->m_transfer->bodyFilePath.c_str(), &st) == 0) task->m_bytesExpectedToSend = st.st_size;
  registerTask(task);
  return task;
}

std::shared_ptr<URLSessionUploadTask> URLSession::uploadTaskWithStreamedRequest(const URLRequest& request) {
  auto task = makeTask<URLSessionUploadTask>(request);
  if (!task) return nullptr;
  task->m_transfer->bodySource = Transfer::BodySource::Stream;
  task->m_transfer->bodyStream = request.HTTPBodyStream();
  registerTask(task);
  return task;
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithRequest(const URLRequest& request,
                                                                            DownloadCompletion completion) {
  auto task = makeTask<URLSessionDownloadTask>(request);
  if (!task) return nullptr;
  task->m_transfer->downloadCompletion = std::move(completion);
  registerTask(task);
  return task;
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithResumeData(const std::string& resumeData,
                                                                               DownloadCompletion completion) {
  auto data = DownloadResumeData::decode(resumeData);
  std::optional<URLRequest> request;
  if (data) {
    request.emplace(URL::fromString(data->url));
    request->setAllHTTPHeaderFields(data->requestHeaders);
  }
  auto task = makeTask<URLSessionDownloadTask>(std::move(request));
  if (!task) return nullptr;
  task->m_transfer->downloadCompletion = std::move(completion);
  if (data) {
    task->m_transfer->resume = std::move(data);
  } else {
    task->m_transfer->resumeRefused = true;
  }
  registerTask(task);
  return task;
}

void URLSession::taskResumed(const std::shared_ptr<URLSessionTask>& task) {
  enqueue([task] {
    auto& t = task->m_transfer;
    if (!t || t->completed) return;
    t->userPaused = false;
    if (!t->started) {
      // A stream body asked for when the request has none of its own.
      if (t->bodySource == Transfer::BodySource::Stream && !t->bodyStream) {
        auto delegate = t->session->delegate();
        auto self = t->session->shared_from_this();
        if (delegate) {
          t->started = true;
          t->awaitingReply = true;
          std::weak_ptr<URLSessionTask> weakTask = task;
          std::weak_ptr<URLSession> weakSession = self;
          auto answer = [weakSession, weakTask](std::shared_ptr<InputStream> stream) {
            auto session = weakSession.lock();
            if (!session) return;
            session->enqueue([weakTask, stream] {
              auto task = weakTask.lock();
              if (!task || !task->m_transfer || task->m_transfer->completed) return;
              task->m_transfer->awaitingReply = false;
              task->m_transfer->bodyStream = stream;
              task->m_transfer->start();
            });
          };
          BodyStreamHandler handler = detail::replyOnce<std::shared_ptr<InputStream>>(answer, [answer] { answer(nullptr); });
          t->session->post([delegate, self, task, handler] { delegate->needNewBodyStream(self, task, handler); });
          return;
        }
      }
      t->start();
      return;
    }
    // While the delegate has not answered the reply, the write callback holds the body again.
    if (t->inMulti) curl_easy_pause(t->easy, CURLPAUSE_CONT);
    t->touch();
  });
}

void URLSession::taskSuspended(const std::shared_ptr<URLSessionTask>& task) {
  enqueue([task] {
    auto& t = task->m_transfer;
    if (!t || t->completed) return;
    t->userPaused = true;
    if (t->inMulti) curl_easy_pause(t->easy, CURLPAUSE_ALL);
  });
}

void URLSession::taskCancelled(const std::shared_ptr<URLSessionTask>& task,
                               std::function<void(std::optional<std::string>)> resumeDataHandler) {
  enqueue([this, task, resumeDataHandler = std::move(resumeDataHandler)] {
    auto& t = task->m_transfer;
    std::optional<std::string> resumeData;
    if (t && !t->completed) {
      if (resumeDataHandler) resumeData = t->produceResumeData();
      t->finish(URLError::make(URLError::Cancelled, t->urlText()));
    }
    if (resumeDataHandler) post([resumeDataHandler, resumeData] { resumeDataHandler(resumeData); });
  });
}

std::vector<std::shared_ptr<URLSessionTask>> URLSession::liveTasks() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::shared_ptr<URLSessionTask>> out;
  for (const auto& [id, task] : m_tasks) out.push_back(task);
  return out;
}

void URLSession::beginInvalidating() {
  std::lock_guard lock(m_mutex);
  if (!m_invalidating && !m_stopped) m_lettingGo = std::make_shared<SessionThreads::LettingGo>();
  m_invalidating = true;
}

void URLSession::finishTasksAndInvalidate() {
  beginInvalidating();
  enqueue([] {});
}

void URLSession::invalidateAndCancel() {
  beginInvalidating();
  for (const auto& task : liveTasks()) task->cancel();
  enqueue([] {});
}

void URLSession::getTasksWithCompletionHandler(TasksCompletion completion) {
  std::vector<std::shared_ptr<URLSessionDataTask>> data;
  std::vector<std::shared_ptr<URLSessionUploadTask>> upload;
  std::vector<std::shared_ptr<URLSessionDownloadTask>> download;
  for (const auto& task : liveTasks()) {
    switch (task->kind()) {
      case URLSessionTask::Kind::Data: data.push_back(std::static_pointer_cast<URLSessionDataTask>(task)); break;
      case URLSessionTask::Kind::Upload: upload.push_back(std::static_pointer_cast<URLSessionUploadTask>(task)); break;
      case URLSessionTask::Kind::Download:
        download.push_back(std::static_pointer_cast<URLSessionDownloadTask>(task));
        break;
    }
  }
  post([completion = std::move(completion), data, upload, download] {
    if (completion) completion(data, upload, download);
  });
}

namespace {
std::string slotKey(const URLSessionTask& task) {
  auto request = task.currentRequest();
  if (!request || !request->url()) return {};
  const URL& url = *request->url();
  return url.scheme() + "://" + url.host().value_or("") + ":" + std::to_string(url.port().value_or(0));
}
}  // namespace

bool URLSession::acquireSlot(URLSessionTask::Transfer& transfer) {
  std::string host = slotKey(*transfer.task);
  int& running = m_runningByHost[host];
  if (running >= std::max(1, m_configuration.HTTPMaximumConnectionsPerHost())) {
    m_waitingByHost[host].push_back(transfer.taskPtr());
    return false;
  }
  ++running;
  transfer.slotHost = std::move(host);
  return true;
}

void URLSession::releaseSlot(URLSessionTask::Transfer& transfer) {
  if (transfer.slotHost.empty()) return;
  std::string host = std::move(transfer.slotHost);
  transfer.slotHost.clear();
  auto running = m_runningByHost.find(host);
  if (running != m_runningByHost.end() && --running->second <= 0) m_runningByHost.erase(running);
  auto waiting = m_waitingByHost.find(host);
  if (waiting == m_waitingByHost.end()) return;
  // The next waiting task that has not completed meanwhile (cancelled) takes the slot.
  while (!waiting->second.empty()) {
    auto next = waiting->second.front().lock();
    waiting->second.pop_front();
    if (!next || !next->m_transfer || next->m_transfer->completed) continue;
    ++m_runningByHost[host];
    next->m_transfer->slotHost = host;
    // Later, from the command queue: the finishing transfer is still reporting.
    enqueue([next] {
      if (next->m_transfer && !next->m_transfer->completed) next->m_transfer->configure();
    });
    break;
  }
  if (waiting->second.empty()) m_waitingByHost.erase(waiting);
}

long URLSession::checkIdleTimeouts() {
  using Clock = Transfer::Clock;
  const auto now = Clock::now();
  auto millisecondsUntil = [now](Clock::time_point when) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count()) + 1;
  };
  if (now < m_nextIdleCheck) return millisecondsUntil(m_nextIdleCheck);
  std::vector<std::shared_ptr<URLSessionTask>> expired;
  auto next = Clock::time_point::max();
  {
    std::lock_guard lock(m_mutex);
    for (const auto& [id, task] : m_tasks) {
      const Transfer* t = task->m_transfer.get();
      if (!t || t->completed || !t->inMulti || t->userPaused || t->awaitingDisposition || t->idleTimeout <= 0) continue;
      const auto deadline = t->lastActivity + t->idleLimit;
      if (deadline <= now) {
        expired.push_back(task);
      } else if (deadline < next) {
        next = deadline;
      }
    }
  }
  m_nextIdleCheck = next;
  for (const auto& task : expired) {
    if (task->m_transfer && !task->m_transfer->completed) {
      task->m_transfer->finish(URLError::make(URLError::TimedOut, task->m_transfer->urlText()));
    }
  }
  return next == Clock::time_point::max() ? -1 : millisecondsUntil(next);
}

void URLSession::run() {
  for (;;) {
    std::deque<std::function<void()>> commands;
    {
      std::lock_guard lock(m_mutex);
      commands.swap(m_commands);
    }
    // The process is going: no command runs from the next one on, and no transfer goes on.
    bool exiting = !SessionThreads::runCommands(commands);
    {
      std::lock_guard lock(m_mutex);
      exiting = exiting || SessionThreads::exiting();
      if (!exiting && m_invalidating && m_tasks.empty() && m_commands.empty()) {
        m_stopped = true;
        break;
      }
    }
    if (exiting) {
      commands.clear();
      letGoAtExit();
      return;
    }

    int running = 0;
    curl_multi_perform(m_multi, &running);
    int pending = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &pending)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* t = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
      CURLcode code = message->data.result;
      if (t && !t->completed) {
        // Keep the task alive across its completion.
        auto task = t->taskPtr();
        t->onDone(code);
      }
    }

    long wait = checkIdleTimeouts();
    long curlWait = -1;
    curl_multi_timeout(m_multi, &curlWait);
    if (curlWait >= 0 && (wait < 0 || curlWait < wait)) wait = curlWait;
    if (wait < 0 || wait > 60000) wait = 60000;
    {
      std::lock_guard lock(m_mutex);
      // Pending commands, or a last task that just completed in an invalidated session.
      if (!m_commands.empty() || (m_invalidating && m_tasks.empty())) wait = 0;
    }
    curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(wait), nullptr);
  }

  // Every task has completed: release libcurl's handles and tell the delegate last.
  {
    std::lock_guard lock(m_mutex);
    curl_multi_cleanup(m_multi);
    m_multi = nullptr;
  }
  auto self = shared_from_this();
  auto delegate = this->delegate();
  std::shared_ptr<SessionThreads::LettingGo> lettingGo;
  {
    std::lock_guard lock(m_mutex);
    lettingGo = m_lettingGo;
  }
  post([self, delegate, lettingGo]() mutable {
    {
      std::lock_guard lock(self->m_mutex);
      self->m_delegate.reset();
    }
    if (delegate) delegate->didBecomeInvalidWithError(self, std::nullopt);
    // The session has let go once what this block holds is gone.
    delegate.reset();
    self.reset();
    lettingGo.reset();
  });
}

void URLSession::letGoAtExit() {
  std::map<uint64_t, std::shared_ptr<URLSessionTask>> tasks;
  std::deque<std::function<void()>> commands;
  std::shared_ptr<URLSessionDelegate> delegate;
  {
    std::lock_guard lock(m_mutex);
    m_invalidating = true;
    m_stopped = true;
    tasks.swap(m_tasks);
    commands.swap(m_commands);
    delegate = std::move(m_delegate);
  }
  // Every handle in the multi handle belongs to a task not yet completed: each leaves it before
  // it goes, so a task still held elsewhere keeps no handle into it.
  for (const auto& [identifier, task] : tasks) {
    if (task->m_transfer) task->m_transfer->releaseEasy();
  }
  m_waitingByHost.clear();
  m_runningByHost.clear();
  {
    std::lock_guard lock(m_mutex);
    curl_multi_cleanup(m_multi);
    m_multi = nullptr;
  }
  commands.clear();
  tasks.clear();
  delegate.reset();
}

}  // namespace net
