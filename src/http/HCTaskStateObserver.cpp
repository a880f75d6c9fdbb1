#include "http/HCTaskStateObserver.h"

#include "http/HCURLSessionManager.h"
#include "http/HCURLSessionTask.h"
#include "platform/core/Queue.h"

namespace kt {

void HCTaskStateObserver::stopObserving() {
  m_resumed.reset();
  m_completed.reset();
  m_suspended.reset();
}

void HCTaskStateObserver::observe(const std::shared_ptr<HCURLSessionTask>& task) {
  stopObserving();
  if (!task) return;
  auto& center = core::NotificationCenter::defaultCenter();
  std::weak_ptr<bool> alive = m_alive;
  auto later = [this, alive](bool running) {
    core::Queue::main()->async([this, alive, running] {
      if (alive.expired()) return;
      taskStateChanged(running);
    });
  };
  m_resumed = core::Observation(center, HCTaskResumedNotification, task.get(),
                                [later](const core::Notification&) { later(true); });
  m_completed = core::Observation(center, HCTaskCompletedNotification, task.get(),
                                  [later](const core::Notification&) { later(false); });
  m_suspended = core::Observation(center, HCTaskSuspendedNotification, task.get(),
                                  [later](const core::Notification&) { later(false); });
}

}  // namespace kt
