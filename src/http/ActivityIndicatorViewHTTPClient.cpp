#include "http/ActivityIndicatorViewHTTPClient.h"

#include "http/HCURLSessionTask.h"
#include "platform/ui/ViewAssociation.h"
#include "platform/ui/ActivityIndicatorView.h"

namespace kt::HTTPClient {

namespace {

using ObserverPtr = std::unique_ptr<HCActivityIndicatorViewNotificationObserver>;

ui::ViewAssociation<ui::ActivityIndicatorView, ObserverPtr>& observers() {
  // Never destroyed: its observers follow tasks while the process exits.
  static auto* table = new ui::ViewAssociation<ui::ActivityIndicatorView, ObserverPtr>;
  return *table;
}

}  // namespace

HCActivityIndicatorViewNotificationObserver& hc_notificationObserver(const std::shared_ptr<ui::ActivityIndicatorView>& view) {
  auto& observer = observers().valueFor(view);
  if (!observer) observer = std::make_unique<HCActivityIndicatorViewNotificationObserver>(view);
  return *observer;
}

void setAnimatingWithStateOfTask(const std::shared_ptr<ui::ActivityIndicatorView>& view,
                                 const std::shared_ptr<HCURLSessionTask>& task) {
  if (!view) return;
  hc_notificationObserver(view).setAnimatingWithStateOfTask(task);
}

void HCActivityIndicatorViewNotificationObserver::setAnimatingWithStateOfTask(
    const std::shared_ptr<HCURLSessionTask>& task) {
  stopObserving();
  if (!task) return;

  const auto state = task->state();
  if (state == net::URLSessionTaskState::Completed) return;
  state == net::URLSessionTaskState::Running ? start() : stop();
  observe(task);
}

void HCActivityIndicatorViewNotificationObserver::start() {
  if (auto view = m_view.lock()) view->startAnimating();
}

void HCActivityIndicatorViewNotificationObserver::stop() {
  if (auto view = m_view.lock()) view->stopAnimating();
}

}  // namespace kt::HTTPClient
