#include "platform/core/Timer.h"

#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"

namespace core {
namespace {

// A repeating timer with no interval would spin the loop; it gets a tiny one instead.
constexpr double kMinimumRepeatInterval = 0.0001;

}  // namespace

Timer::Timer(Key, double fireDate, double interval, bool repeats, Callback callback)
    : m_fireDate(fireDate),
      m_interval(repeats ? std::max(interval, kMinimumRepeatInterval) : std::max(interval, 0.0)),
      m_repeats(repeats),
      m_callback(std::make_shared<Callback>(std::move(callback))) {}

std::shared_ptr<Timer> Timer::create(double interval, bool repeats, Callback callback) {
  return std::make_shared<Timer>(Key{}, Clock::now() + std::max(interval, 0.0), interval, repeats, std::move(callback));
}

std::shared_ptr<Timer> Timer::createWithFireDate(double fireDate, double interval, bool repeats, Callback callback) {
  return std::make_shared<Timer>(Key{}, fireDate, interval, repeats, std::move(callback));
}

std::shared_ptr<Timer> Timer::scheduled(double interval, bool repeats, Callback callback) {
  auto timer = create(interval, repeats, std::move(callback));
  RunLoop::current().addTimer(timer, RunLoop::DefaultMode);
  return timer;
}

void Timer::setFireDate(double date) {
  m_fireDate.store(date);
  auto loop = m_loop.lock();
  if (loop && !loop->onOwnThread()) loop->wakeUp();
}

void Timer::fire() {
  if (!isValid()) return;
  auto keep = shared_from_this();
  auto callback = m_callback;
  if (callback && *callback) (*callback)(*this);
  if (!m_repeats) invalidate();
}

void Timer::fireFromLoop(double now) {
  auto keep = shared_from_this();
  auto callback = m_callback;
  if (!callback) return;
  if (m_repeats) {
    // Late firings are skipped: the next date is the first one of the series after now.
    double date = m_fireDate.load() + m_interval;
    if (date <= now) date += m_interval * (std::floor((now - date) / m_interval) + 1);
    if (date <= now) date = now + m_interval;
    m_fireDate.store(date);
  }
  if (*callback) (*callback)(*this);
  if (!m_repeats) invalidate();
}

void Timer::invalidate() {
  if (!m_valid.exchange(false)) return;
  auto keep = weak_from_this().lock();
  auto loop = m_loop.lock();
  if (loop && !loop->onOwnThread()) {
    // The loop drops it (and the callback) on its own thread, at its next turn.
    loop->wakeUp();
    return;
  }
  m_callback.reset();
  if (loop) loop->forgetTimer(this);
}

}  // namespace core
