#pragma once

#include "http/HCTaskStateObserver.h"

#include <memory>

namespace ui {
class RefreshControl;
}

namespace kt {
class HCURLSessionTask;
}

// Ties a refresh control to a session task: it refreshes while the task runs and ends
// refreshing when the task is suspended or completes. Main thread only.
namespace kt::HTTPClient {

// Watches one task's notifications for one refresh control, which it holds weakly.
class HCRefreshControlNotificationObserver : public HCTaskStateObserver {
 public:
  explicit HCRefreshControlNotificationObserver(const std::shared_ptr<ui::RefreshControl>& control) : m_control(control) {}

  void setRefreshingWithStateOfTask(const std::shared_ptr<HCURLSessionTask>& task);

 private:
  void taskStateChanged(bool running) override { running ? begin() : end(); }
  void begin();
  void end();

  std::weak_ptr<ui::RefreshControl> m_control;
};

// The control's observer, made on first use and kept as long as the control.
HCRefreshControlNotificationObserver& hc_notificationObserver(const std::shared_ptr<ui::RefreshControl>& control);

// `setRefreshingWithStateOfTask`: begins refreshing for a running task and follows it from then
// on (resumed: begin; suspended or completed: end). A task in any other state ends refreshing
// and is not followed; a null task only drops what was followed before.
void setRefreshingWithStateOfTask(const std::shared_ptr<ui::RefreshControl>& control,
                                  const std::shared_ptr<HCURLSessionTask>& task);

}  // namespace kt::HTTPClient
