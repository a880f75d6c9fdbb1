#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace core {

class RunLoop;

// A one-shot or repeating timer on core::Clock. A timer does nothing until it is added to a run
// loop (RunLoop::addTimer, or scheduled() which adds it to the current loop's default mode); the
// loop retains it while it is scheduled and releases it when it is invalidated. A timer belongs
// to one loop (in any number of modes) and is used from that loop's thread.
//
// A repeating timer that fires late fires once and moves on to its next date in the future; it
// does not fire a burst for the dates it missed.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Callback = std::function<void(Timer&)>;

  // First fire date is Clock::now() + interval.
  static std::shared_ptr<Timer> create(double interval, bool repeats, Callback callback);
  // First fire date given on Clock::now()'s scale.
  static std::shared_ptr<Timer> createWithFireDate(double fireDate, double interval, bool repeats,
                                                   Callback callback);
  // Creates the timer and adds it to the current thread's loop in the default mode.
  static std::shared_ptr<Timer> scheduled(double interval, bool repeats, Callback callback);

  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Calls the callback now, whatever the fire date; a one-shot timer is invalidated after.
  void fire();
  // Stops the timer for good; the loop drops it and the callback (with its captures) is released.
  void invalidate();
  bool isValid() const { return m_valid.load(); }

  double fireDate() const { return m_fireDate.load(); }
  void setFireDate(double date);
  double timeInterval() const { return m_interval; }
  bool repeats() const { return m_repeats; }

 private:
  struct Key {};

 public:
  Timer(Key, double fireDate, double interval, bool repeats, Callback callback);

 private:
  friend class RunLoop;

  // Runs the callback (kept alive across the call) and moves a repeating timer to its next date.
  void fireFromLoop(double now);

  std::atomic<bool> m_valid{true};
  std::atomic<double> m_fireDate{0};
  double m_interval = 0;
  bool m_repeats = false;
  std::shared_ptr<Callback> m_callback;
  std::weak_ptr<RunLoop> m_loop;
};

}  // namespace core
