#include "http/ProgressViewHTTPClient.h"

#include "http/HCURLSessionManager.h"
#include "http/HCURLSessionTask.h"
#include "platform/ui/ViewAssociation.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/ui/ProgressView.h"

namespace kt::HTTPClient {

namespace {

// Follows one direction of one task for one view.
class ProgressFollower {
 public:
  ProgressFollower(const std::shared_ptr<ui::ProgressView>& view, const std::shared_ptr<HCURLSessionTask>& task,
                   bool upload)
      : m_view(view), m_task(task), m_upload(upload) {
    m_completed = core::Observation(core::NotificationCenter::defaultCenter(), HCTaskCompletedNotification, task.get(),
                                    [this](const core::Notification&) { finish(); });
    m_timer = core::Timer::create(ProgressPollInterval, true, [this](core::Timer&) { sample(); });
    core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
    m_lastCount = count(*task);
  }
  ~ProgressFollower() { stop(); }
  ProgressFollower(const ProgressFollower&) = delete;
  ProgressFollower& operator=(const ProgressFollower&) = delete;

  bool isFollowing() const { return m_timer != nullptr; }

 private:
  int64_t count(const HCURLSessionTask& task) const {
    return m_upload ? task.countOfBytesSent() : task.countOfBytesReceived();
  }
  int64_t total(const HCURLSessionTask& task) const {
    return m_upload ? task.countOfBytesExpectedToSend() : task.countOfBytesExpectedToReceive();
  }

  void sample() {
    auto task = m_task.lock();
    auto view = m_view.lock();
    if (!task || !view) {
      stop();
      return;
    }
    bool completed = task->state() == net::URLSessionTaskState::Completed;
    int64_t now = count(*task);
    if (now != m_lastCount) {
      m_lastCount = now;
      int64_t expected = total(*task);
      if (expected > 0) {
        bool animated = m_upload ? uploadProgressAnimated(*view) : downloadProgressAnimated(*view);
        view->setProgress(static_cast<float>(now) / static_cast<float>(expected), animated);
      }
    }
    if (completed) stop();
  }

  void finish() {
    if (!isFollowing()) return;
    sample();
    stop();
  }

  // The completion observation stays until the follower goes (stop may run inside its delivery).
  void stop() {
    if (m_timer) m_timer->invalidate();
    m_timer.reset();
  }

  std::weak_ptr<ui::ProgressView> m_view;
  std::weak_ptr<HCURLSessionTask> m_task;
  bool m_upload = false;
  int64_t m_lastCount = 0;
  std::shared_ptr<core::Timer> m_timer;
  core::Observation m_completed;
};

struct ProgressState {
  bool uploadAnimated = false;
  bool downloadAnimated = false;
  std::unique_ptr<ProgressFollower> upload;
  std::unique_ptr<ProgressFollower> download;
};

ui::ViewAssociation<ui::ProgressView, ProgressState>& states() {
  // Never destroyed: it follows tasks that session and pool threads use while the process exits.
  static auto* table = new ui::ViewAssociation<ui::ProgressView, ProgressState>;
  return *table;
}

void follow(const std::shared_ptr<ui::ProgressView>& view, const std::shared_ptr<HCURLSessionTask>& task, bool animated,
            bool upload) {
  if (!view) return;
  auto& state = states().valueFor(view);
  auto& follower = upload ? state.upload : state.download;
  follower.reset();
  if (!task || task->state() == net::URLSessionTaskState::Completed) return;
  (upload ? state.uploadAnimated : state.downloadAnimated) = animated;
  follower = std::make_unique<ProgressFollower>(view, task, upload);
}

}  // namespace

void setProgressWithUploadProgressOfTask(const std::shared_ptr<ui::ProgressView>& view,
                                         const std::shared_ptr<HCURLSessionTask>& task, bool animated) {
  follow(view, task, animated, true);
}

void setProgressWithDownloadProgressOfTask(const std::shared_ptr<ui::ProgressView>& view,
                                           const std::shared_ptr<HCURLSessionTask>& task, bool animated) {
  follow(view, task, animated, false);
}

bool uploadProgressAnimated(const ui::ProgressView& view) {
  auto* state = states().find(&view);
  return state && state->uploadAnimated;
}

bool downloadProgressAnimated(const ui::ProgressView& view) {
  auto* state = states().find(&view);
  return state && state->downloadAnimated;
}

bool isFollowingUploadProgress(const ui::ProgressView& view) {
  auto* state = states().find(&view);
  return state && state->upload && state->upload->isFollowing();
}

bool isFollowingDownloadProgress(const ui::ProgressView& view) {
  auto* state = states().find(&view);
  return state && state->download && state->download->isFollowing();
}

}  // namespace kt::HTTPClient
