#pragma once

#include "platform/core/NotificationCenter.h"

#include <memory>

namespace kt {

class HCURLSessionTask;

// Follows one session task's resume, suspend and completion notifications and turns them into
// taskStateChanged(running) on the main queue, after the posting code has finished. The UI
// helpers that tie a view to a task (a spinner, a refresh control) derive from it. Main thread
// only; not copyable (the handlers refer to this object).
class HCTaskStateObserver {
 public:
  HCTaskStateObserver() = default;
  HCTaskStateObserver(const HCTaskStateObserver&) = delete;
  HCTaskStateObserver& operator=(const HCTaskStateObserver&) = delete;
  virtual ~HCTaskStateObserver() = default;

  // Whether the observer follows a task now.
  bool isObserving() const { return static_cast<bool>(m_resumed); }

 protected:
  // Resumed: true; suspended or completed: false. Not called once this object is gone.
  virtual void taskStateChanged(bool running) = 0;

  // Stops following the task followed so far, if any.
  void stopObserving();
  // Follows `task` from now on (after dropping the one followed before).
  void observe(const std::shared_ptr<HCURLSessionTask>& task);

 private:
  core::Observation m_resumed;
  core::Observation m_completed;
  core::Observation m_suspended;
  // Lets the handlers' queued work find out that this observer is gone.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace kt
