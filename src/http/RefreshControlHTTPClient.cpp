#include "http/RefreshControlHTTPClient.h"

#include "http/HCURLSessionTask.h"
#include "platform/ui/ViewAssociation.h"
#include "platform/ui/RefreshControl.h"

namespace kt::HTTPClient {

namespace {

using ObserverPtr = std::unique_ptr<HCRefreshControlNotificationObserver>;

ui::ViewAssociation<ui::RefreshControl, ObserverPtr>& observers() {
  // Never destroyed: its observers follow tasks while the process exits.
  static auto* table = new ui::ViewAssociation<ui::RefreshControl, ObserverPtr>;
  return *table;
}

}  // namespace

HCRefreshControlNotificationObserver& hc_notificationObserver(const std::shared_ptr<ui::RefreshControl>& control) {
  auto& observer = observers().valueFor(control);
  if (!observer) observer = std::make_unique<HCRefreshControlNotificationObserver>(control);
  return *observer;
}

void setRefreshingWithStateOfTask(const std::shared_ptr<ui::RefreshControl>& control,
                                  const std::shared_ptr<HCURLSessionTask>& task) {
  if (!control) return;
  hc_notificationObserver(control).setRefreshingWithStateOfTask(task);
}

void HCRefreshControlNotificationObserver::setRefreshingWithStateOfTask(const std::shared_ptr<HCURLSessionTask>& task) {
  stopObserving();
  if (!task) return;
  if (task->state() != net::URLSessionTaskState::Running) {
    end();
    return;
  }
  begin();
  observe(task);
}

void HCRefreshControlNotificationObserver::begin() {
  if (auto control = m_control.lock()) control->beginRefreshing();
}

void HCRefreshControlNotificationObserver::end() {
  if (auto control = m_control.lock()) control->endRefreshing();
}

}  // namespace kt::HTTPClient
