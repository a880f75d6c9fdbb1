#pragma once

#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/net/URLSessionDelegate.h"
#include "platform/net/URLSessionTask.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace core {
class OperationQueue;
}

namespace net::SessionThreads {
class LettingGo;
}

typedef void CURLM;

namespace net {

// Loads URLs over HTTP and HTTPS with libcurl's multi interface on one thread of its own, and
// reports to its delegate on the delegate queue (by default a serial queue of its own), in
// order per task. A session keeps itself, its thread and its delegate until it is invalidated
// and its last task has completed; then the thread ends, the handles are released and the
// delegate hears didBecomeInvalidWithError last. When the process exits first, the thread lets
// go of its tasks, handles and delegate without telling anyone (see SessionThreads.h).
//
// Redirects are followed hop by hop so that the delegate can change or refuse each one; gzip
// and deflate replies are decoded; a request's time-out is an idle time-out (no bytes for that
// long) and bounds the connect time too. Requests go through net::HostMap.
class URLSession : public std::enable_shared_from_this<URLSession> {
 public:
  using DataCompletion = URLSessionDataTask::Completion;
  using DownloadCompletion = URLSessionDownloadTask::Completion;
  using TasksCompletion = std::function<void(std::vector<std::shared_ptr<URLSessionDataTask>>,
                                             std::vector<std::shared_ptr<URLSessionUploadTask>>,
                                             std::vector<std::shared_ptr<URLSessionDownloadTask>>)>;

  static std::shared_ptr<URLSession> create(const URLSessionConfiguration& configuration,
                                            std::shared_ptr<URLSessionDelegate> delegate = nullptr,
                                            std::shared_ptr<core::OperationQueue> delegateQueue = nullptr);
  ~URLSession();
  URLSession(const URLSession&) = delete;
  URLSession& operator=(const URLSession&) = delete;

  const URLSessionConfiguration& configuration() const { return m_configuration; }
  // Null once the session has become invalid.
  std::shared_ptr<URLSessionDelegate> delegate() const;
  const std::shared_ptr<core::OperationQueue>& delegateQueue() const { return m_delegateQueue; }
  std::string sessionDescription() const;
  void setSessionDescription(const std::string& description);

  // Task factories. Tasks start suspended. Null once the session is being invalidated.
  // With a completion handler, the data (or file) arrives there, on the delegate queue, instead
  // of through the delegate's data and response events; the delegate still hears the rest.
  std::shared_ptr<URLSessionDataTask> dataTaskWithRequest(const URLRequest& request, DataCompletion completion = {});
  std::shared_ptr<URLSessionDataTask> dataTaskWithURL(const URL& url, DataCompletion completion = {});
  // The body comes from the bytes, or from the file at a file URL, replacing the request's own.
  std::shared_ptr<URLSessionUploadTask> uploadTaskWithRequest(const URLRequest& request, std::string bodyData,
                                                              DataCompletion completion = {});
  std::shared_ptr<URLSessionUploadTask> uploadTaskWithRequest(const URLRequest& request, const URL& fileURL,
                                                              DataCompletion completion = {});
  // The body is read from the request's body stream (or asked for with needNewBodyStream).
  std::shared_ptr<URLSessionUploadTask> uploadTaskWithStreamedRequest(const URLRequest& request);
  // The reply body goes to a temporary file, handed over at the end and removed after that.
  std::shared_ptr<URLSessionDownloadTask> downloadTaskWithRequest(const URLRequest& request,
                                                                  DownloadCompletion completion = {});
  // Continues a download from the resume data its cancelByProducingResumeData gave: asks for
  // the rest of the reply with a range request whose If-Range holds the reply's validator. A
  // 206 appends to the partial file; any other reply (a server that ignores the range, or a
  // changed resource) starts the file over with the whole body. Resume data that cannot be read,
  // or whose partial file is gone, makes a task that completes with CannotOpenFile.
  std::shared_ptr<URLSessionDownloadTask> downloadTaskWithResumeData(const std::string& resumeData,
                                                                     DownloadCompletion completion = {});

  // No new tasks; the session becomes invalid once the tasks it has have completed.
  void finishTasksAndInvalidate();
  // Cancels every task and invalidates the session.
  void invalidateAndCancel();

  // The tasks not yet completed, on the delegate queue.
  void getTasksWithCompletionHandler(TasksCompletion completion);

 private:
  struct Key {};

 public:
  URLSession(Key, const URLSessionConfiguration& configuration, std::shared_ptr<URLSessionDelegate> delegate,
             std::shared_ptr<core::OperationQueue> delegateQueue);

 private:
  friend class URLSessionTask;
  friend struct URLSessionTask::Transfer;

  template <typename T>
  std::shared_ptr<T> makeTask(std::optional<URLRequest> request);
  void registerTask(const std::shared_ptr<URLSessionTask>& task);
  // Fails tasks whose connection has been silent too long; the time until the next one is due.
  // The tasks are looked at only once the earliest deadline known has come, so a session with
  // many transfers does not walk them all on every turn of its loop.
  long checkIdleTimeouts();
  // On the session thread: a transfer runs once its host has fewer than the configuration's
  // connections per host running; the others wait without a libcurl handle, so that many
  // queued requests cost neither memory nor time in the multi handle.
  bool acquireSlot(URLSessionTask::Transfer& transfer);
  void releaseSlot(URLSessionTask::Transfer& transfer);

  // Runs a block on the session's thread (dropped once the thread has ended).
  void enqueue(std::function<void()> command);
  // Runs a block on the delegate queue.
  void post(std::function<void()> block);
  std::vector<std::shared_ptr<URLSessionTask>> liveTasks() const;
  // Marks the session invalidated; the first time, it counts as letting go until its thread and
  // its last event have released it.
  void beginInvalidating();
  void run();
  // On the session thread, once the process has begun to exit: releases the tasks' handles and
  // the multi handle while libcurl is still whole, and drops the tasks, queued commands and
  // delegate, which would otherwise stay held in a cycle through the session.
  void letGoAtExit();

  // Called by tasks.
  void taskResumed(const std::shared_ptr<URLSessionTask>& task);
  void taskSuspended(const std::shared_ptr<URLSessionTask>& task);
  void taskCancelled(const std::shared_ptr<URLSessionTask>& task,
                     std::function<void(std::optional<std::string>)> resumeDataHandler);

  const URLSessionConfiguration m_configuration;
  const std::shared_ptr<core::OperationQueue> m_delegateQueue;
  std::thread m_thread;

  mutable std::mutex m_mutex;
  std::shared_ptr<URLSessionDelegate> m_delegate;
  std::string m_description;
  std::map<uint64_t, std::shared_ptr<URLSessionTask>> m_tasks;  // not yet completed
  std::deque<std::function<void()>> m_commands;
  uint64_t m_nextIdentifier = 1;
  bool m_invalidating = false;
  bool m_stopped = false;
  // From the invalidation until the thread and the delegate's last event have let go.
  std::shared_ptr<SessionThreads::LettingGo> m_lettingGo;
  CURLM* m_multi = nullptr;
  // Used on the session thread only: running transfers and those waiting, by host.
  std::map<std::string, int> m_runningByHost;
  std::map<std::string, std::deque<std::weak_ptr<URLSessionTask>>> m_waitingByHost;
  // When checkIdleTimeouts next looks at the tasks; brought forward by any transfer's activity
  // whose idle deadline comes sooner.
  std::chrono::steady_clock::time_point m_nextIdleCheck = std::chrono::steady_clock::time_point::min();
};

}  // namespace net
