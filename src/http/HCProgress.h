#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace kt {

// Completed and total unit counts of one transfer direction of a task, with the handlers that
// cancel, pause and resume the task. Observers hear every change of fractionCompleted on the
// thread that changed the counts.
class HCProgress {
 public:
  using Handler = std::function<void()>;
  using Observer = std::function<void(const HCProgress&)>;

  HCProgress() = default;
  HCProgress(const HCProgress&) = delete;
  HCProgress& operator=(const HCProgress&) = delete;

  int64_t totalUnitCount() const;
  int64_t completedUnitCount() const;
  // completed / total; 0 while the total is unknown (negative) or zero.
  double fractionCompleted() const;
  void setTotalUnitCount(int64_t total);
  void setCompletedUnitCount(int64_t completed);
  // Both at once: the observer hears one change.
  void setCounts(int64_t completed, int64_t total);

  bool isCancellable() const { return m_cancellable; }
  void setCancellable(bool cancellable) { m_cancellable = cancellable; }
  bool isPausable() const { return m_pausable; }
  void setPausable(bool pausable) { m_pausable = pausable; }
  void setCancellationHandler(Handler handler);
  void setPausingHandler(Handler handler);
  void setResumingHandler(Handler handler);
  bool isCancelled() const;
  bool isPaused() const;
  void cancel();
  void pause();
  void resume();

  // The fractionCompleted observer (one; an empty one stops the observation).
  void setFractionObserver(Observer observer);

 private:
  void changed(double before);

  mutable std::mutex m_mutex;
  int64_t m_total = -1;
  int64_t m_completed = 0;
  bool m_cancellable = false;
  bool m_pausable = false;
  bool m_cancelled = false;
  bool m_paused = false;
  Handler m_cancellationHandler;
  Handler m_pausingHandler;
  Handler m_resumingHandler;
  Observer m_observer;
};

}  // namespace kt
