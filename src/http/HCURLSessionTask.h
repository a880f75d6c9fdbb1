#pragma once

#include "platform/core/Error.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionTask.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace kt {

// Names of the signals a task posts synchronously, on the thread that resumed or suspended it,
// when that changed its state (object: the HCURLSessionTask). Managers turn them into their
// public task notifications.
inline constexpr const char* HCSessionTaskResumeSignal = "net.ktvroom.http.task.resume.signal";
inline constexpr const char* HCSessionTaskSuspendSignal = "net.ktvroom.http.task.suspend.signal";

// A task made by a session manager: the platform task, whose resume and suspend also announce
// each real change of state. Every accessor may be used from any thread.
class HCURLSessionTask : public std::enable_shared_from_this<HCURLSessionTask> {
 public:
  explicit HCURLSessionTask(std::shared_ptr<net::URLSessionTask> task) : m_task(std::move(task)) {}
  HCURLSessionTask(const HCURLSessionTask&) = delete;
  HCURLSessionTask& operator=(const HCURLSessionTask&) = delete;

  // The platform task underneath.
  const std::shared_ptr<net::URLSessionTask>& task() const { return m_task; }
  net::URLSessionTask::Kind kind() const { return m_task->kind(); }
  uint64_t taskIdentifier() const { return m_task->taskIdentifier(); }
  const std::optional<net::URLRequest>& originalRequest() const { return m_task->originalRequest(); }
  std::optional<net::URLRequest> currentRequest() const { return m_task->currentRequest(); }
  std::shared_ptr<const net::HTTPURLResponse> response() const { return m_task->response(); }
  net::URLSessionTaskState state() const { return m_task->state(); }
  std::optional<core::Error> error() const { return m_task->error(); }
  int64_t countOfBytesReceived() const { return m_task->countOfBytesReceived(); }
  int64_t countOfBytesSent() const { return m_task->countOfBytesSent(); }
  int64_t countOfBytesExpectedToReceive() const { return m_task->countOfBytesExpectedToReceive(); }
  int64_t countOfBytesExpectedToSend() const { return m_task->countOfBytesExpectedToSend(); }
  std::string taskDescription() const { return m_task->taskDescription(); }
  void setTaskDescription(const std::string& description) { m_task->setTaskDescription(description); }
  float priority() const { return m_task->priority(); }
  void setPriority(float priority) { m_task->setPriority(priority); }

  // Starts or continues the task; posts HCSessionTaskResumeSignal when it was suspended.
  void resume();
  // Holds the task; posts HCSessionTaskSuspendSignal when it was running.
  void suspend();
  void cancel() { m_task->cancel(); }

 private:
  std::shared_ptr<net::URLSessionTask> m_task;
  std::mutex m_mutex;  // one resume or suspend at a time, so each change is announced once
};

}  // namespace kt
