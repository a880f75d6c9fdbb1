#include "http/HCProgress.h"

#include <utility>

namespace kt {

namespace {
double fractionOf(int64_t completed, int64_t total) {
  if (total <= 0) return 0;
  return static_cast<double>(completed) / static_cast<double>(total);
}
}  // namespace

int64_t HCProgress::totalUnitCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_total;
}

int64_t HCProgress::completedUnitCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_completed;
}

double HCProgress::fractionCompleted() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return fractionOf(m_completed, m_total);
}

void HCProgress::setTotalUnitCount(int64_t total) {
  double before = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    before = fractionOf(m_completed, m_total);
    m_total = total;
  }
  changed(before);
}

void HCProgress::setCompletedUnitCount(int64_t completed) {
  double before = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    before = fractionOf(m_completed, m_total);
    m_completed = completed;
  }
  changed(before);
}

void HCProgress::setCounts(int64_t completed, int64_t total) {
  double before = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    before = fractionOf(m_completed, m_total);
    m_completed = completed;
    m_total = total;
  }
  changed(before);
}

// The observer runs outside the lock so that it may read the counts.
void HCProgress::changed(double before) {
  Observer observer;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fractionOf(m_completed, m_total) == before) return;
    observer = m_observer;
  }
  if (observer) observer(*this);
}

void HCProgress::setFractionObserver(Observer observer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_observer = std::move(observer);
}

void HCProgress::setCancellationHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_cancellationHandler = std::move(handler);
}

void HCProgress::setPausingHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_pausingHandler = std::move(handler);
}

void HCProgress::setResumingHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_resumingHandler = std::move(handler);
}

bool HCProgress::isCancelled() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_cancelled;
}

bool HCProgress::isPaused() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_paused;
}

void HCProgress::cancel() {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelled || !m_cancellable) return;
    m_cancelled = true;
    handler = m_cancellationHandler;
  }
  if (handler) handler();
}

void HCProgress::pause() {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_paused || !m_pausable) return;
    m_paused = true;
    handler = m_pausingHandler;
  }
  if (handler) handler();
}

void HCProgress::resume() {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_paused) return;
    m_paused = false;
    handler = m_resumingHandler;
  }
  if (handler) handler();
}

}  // namespace kt
