#include "http/HCURLSessionTask.h"

#include "platform/core/NotificationCenter.h"

namespace kt {

void HCURLSessionTask::resume() {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool wasSuspended = m_task->state() == net::URLSessionTaskState::Suspended;
    m_task->resume();
    changed = wasSuspended && m_task->state() != net::URLSessionTaskState::Suspended;
  }
  // Posted outside the lock: an observer may suspend the task again.
  if (changed) core::NotificationCenter::defaultCenter().post(HCSessionTaskResumeSignal, this);
}

void HCURLSessionTask::suspend() {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool wasRunning = m_task->state() == net::URLSessionTaskState::Running;
    m_task->suspend();
    changed = wasRunning && m_task->state() == net::URLSessionTaskState::Suspended;
  }
  if (changed) core::NotificationCenter::defaultCenter().post(HCSessionTaskSuspendSignal, this);
}

}  // namespace kt
