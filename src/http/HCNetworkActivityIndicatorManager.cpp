#include "http/HCNetworkActivityIndicatorManager.h"

#include "http/HCURLSessionManager.h"
#include "http/HCURLSessionTask.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/ui/Application.h"

namespace kt {

HCNetworkActivityIndicatorManager& HCNetworkActivityIndicatorManager::sharedManager() {
  // Never destroyed: it follows tasks that other threads complete while the process exits.
  static auto* manager = new std::shared_ptr<HCNetworkActivityIndicatorManager>(create());
  return **manager;
}

std::shared_ptr<HCNetworkActivityIndicatorManager> HCNetworkActivityIndicatorManager::create() {
  return std::make_shared<HCNetworkActivityIndicatorManager>();
}

HCNetworkActivityIndicatorManager::HCNetworkActivityIndicatorManager() {
  auto& center = core::NotificationCenter::defaultCenter();
  m_resumed = core::Observation(center, HCTaskResumedNotification, nullptr,
                                [this](const core::Notification& n) { networkRequestDidStart(n); });
  m_suspended = core::Observation(center, HCTaskSuspendedNotification, nullptr,
                                  [this](const core::Notification& n) { networkRequestDidFinish(n); });
  m_completed = core::Observation(center, HCTaskCompletedNotification, nullptr,
                                  [this](const core::Notification& n) { networkRequestDidFinish(n); });
}

HCNetworkActivityIndicatorManager::~HCNetworkActivityIndicatorManager() {
  m_resumed.reset();
  m_suspended.reset();
  m_completed.reset();
  cancelTimers();
}

bool HCNetworkActivityIndicatorManager::isEnabled() const {
  std::lock_guard lock(m_mutex);
  return m_enabled;
}

void HCNetworkActivityIndicatorManager::setEnabled(bool enabled) {
  {
    std::lock_guard lock(m_mutex);
    m_enabled = enabled;
  }
  if (!enabled) setCurrentState(State::NotActive);
}

bool HCNetworkActivityIndicatorManager::isNetworkActivityIndicatorVisible() const {
  std::lock_guard lock(m_mutex);
  return m_visible;
}

HCNetworkActivityIndicatorManager::State HCNetworkActivityIndicatorManager::currentState() const {
  std::lock_guard lock(m_mutex);
  return m_currentState;
}

long HCNetworkActivityIndicatorManager::activityCount() const {
  std::lock_guard lock(m_mutex);
  return m_activityCount;
}

bool HCNetworkActivityIndicatorManager::isNetworkActivityOccurring() const {
  std::lock_guard lock(m_mutex);
  return m_activityCount > 0;
}

void HCNetworkActivityIndicatorManager::setNetworkingActivityActionWithBlock(ActionBlock block) {
  std::lock_guard lock(m_mutex);
  m_networkActivityActionBlock = std::move(block);
}

HCNetworkActivityIndicatorManager::ActionBlock HCNetworkActivityIndicatorManager::networkActivityActionBlock() const {
  std::lock_guard lock(m_mutex);
  return m_networkActivityActionBlock;
}

void HCNetworkActivityIndicatorManager::announce(const std::string& key) {
  if (m_changeObserver) m_changeObserver(key);
}

void HCNetworkActivityIndicatorManager::incrementActivityCount() {
  {
    std::lock_guard lock(m_mutex);
    ++m_activityCount;
  }
  announce("activityCount");
  scheduleStateUpdate();
}

void HCNetworkActivityIndicatorManager::decrementActivityCount() {
  {
    std::lock_guard lock(m_mutex);
    if (m_activityCount > 0) --m_activityCount;
  }
  announce("activityCount");
  scheduleStateUpdate();
}

void HCNetworkActivityIndicatorManager::setActivityCount(long count) {
  {
    std::lock_guard lock(m_mutex);
    m_activityCount = count < 0 ? 0 : count;
  }
  scheduleStateUpdate();
}

void HCNetworkActivityIndicatorManager::scheduleStateUpdate() {
  std::weak_ptr<HCNetworkActivityIndicatorManager> weak = weak_from_this();
  if (weak.expired()) {
    // Not owned by a shared pointer (not made by create()): update now when on the main thread.
    if (core::RunLoop::isMainThread()) updateCurrentStateForNetworkActivityChange();
    return;
  }
  core::Queue::main()->async([weak] {
    if (auto self = weak.lock()) self->updateCurrentStateForNetworkActivityChange();
  });
}

void HCNetworkActivityIndicatorManager::updateCurrentStateForNetworkActivityChange() {
  State state;
  bool activity;
  {
    std::lock_guard lock(m_mutex);
    if (!m_enabled) return;
    state = m_currentState;
    activity = m_activityCount > 0;
  }
  switch (state) {
    case State::NotActive:
      if (activity) setCurrentState(State::DelayingStart);
      break;
    case State::Active:
      if (!activity) setCurrentState(State::DelayingEnd);
      break;
    case State::DelayingEnd:
      if (activity) setCurrentState(State::Active);
      break;
    case State::DelayingStart:
      break;
  }
}

void HCNetworkActivityIndicatorManager::setCurrentState(State state) {
  {
    std::lock_guard lock(m_mutex);
    if (m_currentState == state) return;
  }
  announce("currentState");
  {
    std::lock_guard lock(m_mutex);
    m_currentState = state;
  }
  switch (state) {
    case State::NotActive:
      cancelTimers();
      setNetworkActivityIndicatorVisible(false);
      break;
    case State::DelayingStart:
      startActivationDelayTimer();
      break;
    case State::Active:
      if (m_completionDelayTimer) m_completionDelayTimer->invalidate();
      m_completionDelayTimer.reset();
      setNetworkActivityIndicatorVisible(true);
      break;
    case State::DelayingEnd:
      startCompletionDelayTimer();
      break;
  }
}

void HCNetworkActivityIndicatorManager::setNetworkActivityIndicatorVisible(bool visible) {
  ActionBlock block;
  {
    std::lock_guard lock(m_mutex);
    if (m_visible == visible) return;
  }
  announce("networkActivityIndicatorVisible");
  {
    std::lock_guard lock(m_mutex);
    m_visible = visible;
    block = m_networkActivityActionBlock;
  }
  if (block) {
    block(visible);
  } else {
    ui::Application::shared().setNetworkActivityIndicatorVisible(visible);
  }
}

void HCNetworkActivityIndicatorManager::startActivationDelayTimer() {
  if (m_activationDelayTimer) m_activationDelayTimer->invalidate();
  std::weak_ptr<HCNetworkActivityIndicatorManager> weak = weak_from_this();
  HCNetworkActivityIndicatorManager* raw = weak.expired() ? this : nullptr;
  m_activationDelayTimer = core::Timer::create(m_activationDelay, false, [weak, raw](core::Timer&) {
    if (raw) return raw->activationDelayTimerFired();
    if (auto self = weak.lock()) self->activationDelayTimerFired();
  });
  core::RunLoop::main().addTimer(m_activationDelayTimer, core::RunLoop::CommonModes);
}

void HCNetworkActivityIndicatorManager::startCompletionDelayTimer() {
  if (m_completionDelayTimer) m_completionDelayTimer->invalidate();
  std::weak_ptr<HCNetworkActivityIndicatorManager> weak = weak_from_this();
  HCNetworkActivityIndicatorManager* raw = weak.expired() ? this : nullptr;
  m_completionDelayTimer = core::Timer::create(m_completionDelay, false, [weak, raw](core::Timer&) {
    if (raw) return raw->completionDelayTimerFired();
    if (auto self = weak.lock()) self->completionDelayTimerFired();
  });
  core::RunLoop::main().addTimer(m_completionDelayTimer, core::RunLoop::CommonModes);
}

void HCNetworkActivityIndicatorManager::cancelTimers() {
  if (m_activationDelayTimer) m_activationDelayTimer->invalidate();
  if (m_completionDelayTimer) m_completionDelayTimer->invalidate();
  m_activationDelayTimer.reset();
  m_completionDelayTimer.reset();
}

void HCNetworkActivityIndicatorManager::activationDelayTimerFired() {
  setCurrentState(isNetworkActivityOccurring() ? State::Active : State::NotActive);
}

void HCNetworkActivityIndicatorManager::completionDelayTimerFired() { setCurrentState(State::NotActive); }

namespace {

// The task's request URL, when the notification's object is a task that has one.
bool taskHasRequestURL(const core::Notification& notification) {
  const auto* task = static_cast<const HCURLSessionTask*>(notification.object);
  if (!task || !task->task()) return false;
  const auto& request = task->originalRequest();
  return request && request->url().has_value();
}

}  // namespace

void HCNetworkActivityIndicatorManager::networkRequestDidStart(const core::Notification& notification) {
  if (!taskHasRequestURL(notification)) return;
  {
    std::lock_guard lock(m_mutex);
    if (!m_runningTasks.insert(notification.object).second) return;
  }
  incrementActivityCount();
}

void HCNetworkActivityIndicatorManager::networkRequestDidFinish(const core::Notification& notification) {
  if (!taskHasRequestURL(notification)) return;
  {
    std::lock_guard lock(m_mutex);
    if (m_runningTasks.erase(notification.object) == 0) return;
  }
  decrementActivityCount();
}

}  // namespace kt
