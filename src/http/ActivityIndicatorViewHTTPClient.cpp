#include "http/ActivityIndicatorViewHTTPClient.h"

#include "http/HCURLSessionManager.h"
#include "http/HCURLSessionTask.h"
#include "http/HCViewAssociation.h"
#include "platform/core/Queue.h"
#include "platform/ui/ActivityIndicatorView.h"

namespace kt::HTTPClient {

namespace {

using ObserverPtr = std::unique_ptr<HCActivityIndicatorViewNotificationObserver>;

HCViewAssociation<ui::ActivityIndicatorView, ObserverPtr>& observers() {
  static HCViewAssociation<ui::ActivityIndicatorView, ObserverPtr> table;
  return table;
}

}  // namespace

HCActivityIndicatorViewNotificationObserver& notificationObserver(const std::shared_ptr<ui::ActivityIndicatorView>& view) {
  auto& observer = observers().valueFor(view);
  if (!observer) observer = std::make_unique<HCActivityIndicatorViewNotificationObserver>(view);
  return *observer;
}

void setAnimatingWithStateOfTask(const std::shared_ptr<ui::ActivityIndicatorView>& view,
                                 const std::shared_ptr<HCURLSessionTask>& task) {
  if (!view) return;
  notificationObserver(view).setAnimatingWithStateOfTask(task);
}

void HCActivityIndicatorViewNotificationObserver::setAnimatingWithStateOfTask(
    const std::shared_ptr<HCURLSessionTask>& task) {
  m_resumed.reset();
  m_completed.reset();
  m_suspended.reset();
  if (!task) return;

  const auto state = task->state();
  if (state == net::URLSessionTaskState::Completed) return;

  auto view = m_view.lock();
  if (state == net::URLSessionTaskState::Running) {
    if (view) view->startAnimating();
  } else if (view) {
    view->stopAnimating();
  }

  auto& center = core::NotificationCenter::defaultCenter();
  std::weak_ptr<bool> alive = m_alive;
  auto later = [this, alive](bool animate) {
    core::Queue::main()->async([this, alive, animate] {
      if (alive.expired()) return;
      animate ? start() : stop();
    });
  };
  m_resumed = core::Observation(center, HCTaskResumedNotification, task.get(),
                                [later](const core::Notification&) { later(true); });
  m_completed = core::Observation(center, HCTaskCompletedNotification, task.get(),
                                  [later](const core::Notification&) { later(false); });
  m_suspended = core::Observation(center, HCTaskSuspendedNotification, task.get(),
                                  [later](const core::Notification&) { later(false); });
}

void HCActivityIndicatorViewNotificationObserver::start() {
  if (auto view = m_view.lock()) view->startAnimating();
}

void HCActivityIndicatorViewNotificationObserver::stop() {
  if (auto view = m_view.lock()) view->stopAnimating();
}

}  // namespace kt::HTTPClient
