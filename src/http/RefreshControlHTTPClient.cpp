#include "http/RefreshControlHTTPClient.h"

#include "http/HCURLSessionManager.h"
#include "http/HCURLSessionTask.h"
#include "http/HCViewAssociation.h"
#include "platform/core/Queue.h"
#include "platform/ui/RefreshControl.h"

namespace kt::HTTPClient {

namespace {

using ObserverPtr = std::unique_ptr<HCRefreshControlNotificationObserver>;

HCViewAssociation<ui::RefreshControl, ObserverPtr>& observers() {
  static HCViewAssociation<ui::RefreshControl, ObserverPtr> table;
  return table;
}

}  // namespace

HCRefreshControlNotificationObserver& notificationObserver(const std::shared_ptr<ui::RefreshControl>& control) {
  auto& observer = observers().valueFor(control);
  if (!observer) observer = std::make_unique<HCRefreshControlNotificationObserver>(control);
  return *observer;
}

void setRefreshingWithStateOfTask(const std::shared_ptr<ui::RefreshControl>& control,
                                  const std::shared_ptr<HCURLSessionTask>& task) {
  if (!control) return;
  notificationObserver(control).setRefreshingWithStateOfTask(task);
}

void HCRefreshControlNotificationObserver::setRefreshingWithStateOfTask(const std::shared_ptr<HCURLSessionTask>& task) {
  m_resumed.reset();
  m_completed.reset();
  m_suspended.reset();
  if (!task) return;

  if (task->state() != net::URLSessionTaskState::Running) {
    end();
    return;
  }
  begin();

  auto& center = core::NotificationCenter::defaultCenter();
  std::weak_ptr<bool> alive = m_alive;
  auto later = [this, alive](bool refreshing) {
    core::Queue::main()->async([this, alive, refreshing] {
      if (alive.expired()) return;
      refreshing ? begin() : end();
    });
  };
  m_resumed = core::Observation(center, HCTaskResumedNotification, task.get(),
                                [later](const core::Notification&) { later(true); });
  m_completed = core::Observation(center, HCTaskCompletedNotification, task.get(),
                                  [later](const core::Notification&) { later(false); });
  m_suspended = core::Observation(center, HCTaskSuspendedNotification, task.get(),
                                  [later](const core::Notification&) { later(false); });
}

void HCRefreshControlNotificationObserver::begin() {
  if (auto control = m_control.lock()) control->beginRefreshing();
}

void HCRefreshControlNotificationObserver::end() {
  if (auto control = m_control.lock()) control->endRefreshing();
}

}  // namespace kt::HTTPClient
