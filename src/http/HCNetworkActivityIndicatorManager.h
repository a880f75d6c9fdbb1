#pragma once

#include "platform/core/NotificationCenter.h"

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace core {
class Timer;
}

namespace kt {

// Shows the application's network activity indicator while tasks of the session managers run:
// after the activation delay once activity starts (so short requests never show it), and until
// the completion delay has passed after the last one ends (so back-to-back requests do not make
// it flicker). Does nothing until enabled.
//
// It counts tasks from the task notifications: a resumed task counts once until it is suspended
// or completes, so a task that is suspended and then cancelled is not subtracted twice.
class HCNetworkActivityIndicatorManager : public std::enable_shared_from_this<HCNetworkActivityIndicatorManager> {
 public:
  enum class State : int { NotActive = 0, DelayingStart = 1, Active = 2, DelayingEnd = 3 };
  using ActionBlock = std::function<void(bool visible)>;
  // Told after "networkActivityIndicatorVisible", "activityCount" or "currentState" changed.
  using ChangeObserver = std::function<void(const std::string& key)>;

  static constexpr double DefaultActivationDelay = 1.0;
  static constexpr double DefaultCompletionDelay = 0.17;

  // The process-wide manager (main thread).
  static HCNetworkActivityIndicatorManager& sharedManager();
  static std::shared_ptr<HCNetworkActivityIndicatorManager> create();

  HCNetworkActivityIndicatorManager();
  ~HCNetworkActivityIndicatorManager();
  HCNetworkActivityIndicatorManager(const HCNetworkActivityIndicatorManager&) = delete;
  HCNetworkActivityIndicatorManager& operator=(const HCNetworkActivityIndicatorManager&) = delete;

  bool isEnabled() const;
  // Off also returns to the not-active state (hiding the indicator at once).
  void setEnabled(bool enabled);

  bool isNetworkActivityIndicatorVisible() const;
  State currentState() const;
  long activityCount() const;
  bool isNetworkActivityOccurring() const;

  double activationDelay() const { return m_activationDelay; }
  void setActivationDelay(double seconds) { m_activationDelay = seconds; }
  double completionDelay() const { return m_completionDelay; }
  void setCompletionDelay(double seconds) { m_completionDelay = seconds; }

  // When set, called with each new visibility instead of setting the application's indicator.
  void setNetworkingActivityActionWithBlock(ActionBlock block);
  ActionBlock networkActivityActionBlock() const;
  void setChangeObserver(ChangeObserver observer) { m_changeObserver = std::move(observer); }

  void incrementActivityCount();
  // Never below 0.
  void decrementActivityCount();
  // Stores the count without announcing it.
  void setActivityCount(long count);

  // The notification handlers: the object is the task (a net::URLSessionTask); one without a
  // request URL is ignored.
  void networkRequestDidStart(const core::Notification& notification);
  void networkRequestDidFinish(const core::Notification& notification);

 private:
  void announce(const std::string& key);
  void scheduleStateUpdate();
  void updateCurrentStateForNetworkActivityChange();
  void setCurrentState(State state);
  void setNetworkActivityIndicatorVisible(bool visible);
  void startActivationDelayTimer();
  void startCompletionDelayTimer();
  void cancelTimers();
  void activationDelayTimerFired();
  void completionDelayTimerFired();

  mutable std::recursive_mutex m_mutex;
  bool m_enabled = false;
  bool m_visible = false;
  long m_activityCount = 0;
  State m_currentState = State::NotActive;
  double m_activationDelay = DefaultActivationDelay;
  double m_completionDelay = DefaultCompletionDelay;
  std::shared_ptr<core::Timer> m_activationDelayTimer;
  std::shared_ptr<core::Timer> m_completionDelayTimer;
  ActionBlock m_networkActivityActionBlock;
  ChangeObserver m_changeObserver;
  std::set<const void*> m_runningTasks;  // tasks counted now
  core::Observation m_resumed;
  core::Observation m_suspended;
  core::Observation m_completed;
};

}  // namespace kt
