#pragma once

#include "http/HCTaskStateObserver.h"

#include <memory>

namespace ui {
class ActivityIndicatorView;
}

namespace kt {
class HCURLSessionTask;
}

// Ties a spinner to a session task: it turns while the task runs and stops when the task is
// suspended or completes. Main thread only.
namespace kt::HTTPClient {

// Watches one task's notifications for one spinner, which it holds weakly.
class HCActivityIndicatorViewNotificationObserver : public HCTaskStateObserver {
 public:
  explicit HCActivityIndicatorViewNotificationObserver(const std::shared_ptr<ui::ActivityIndicatorView>& view)
      : m_view(view) {}

  void setAnimatingWithStateOfTask(const std::shared_ptr<HCURLSessionTask>& task);

 private:
  void taskStateChanged(bool running) override { running ? start() : stop(); }
  void start();
  void stop();

  std::weak_ptr<ui::ActivityIndicatorView> m_view;
};

// The spinner's observer, made on first use and kept as long as the spinner.
HCActivityIndicatorViewNotificationObserver& hc_notificationObserver(const std::shared_ptr<ui::ActivityIndicatorView>& view);

// Starts or stops the spinner for the task's state now and follows the task from then on; a
// null task only drops what was followed before.
void setAnimatingWithStateOfTask(const std::shared_ptr<ui::ActivityIndicatorView>& view,
                                 const std::shared_ptr<HCURLSessionTask>& task);

}  // namespace kt::HTTPClient
