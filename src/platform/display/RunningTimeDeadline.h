#pragma once

#include <chrono>

// A deadline counted in the time the program ran. A wait that comes back much later than it was
// to end means the whole process was held meanwhile (SIGSTOP and SIGCONT, a debugger, a machine
// starved for seconds): the time lost beyond an allowance for a busy machine's late wake-up is not
// counted, and moves the deadline. A waiter says when it expects to be back (expectBackAt) before
// each wait, and calls wokeAt() on waking; the lateness is measured from the first.
namespace display {

class RunningTimeDeadline {
 public:
  using Clock = std::chrono::steady_clock;
  // How much later than expected a wake-up may come before the time in between is taken for a
  // pause of the whole process.
  static constexpr Clock::duration PauseAllowance = std::chrono::seconds(1);

  RunningTimeDeadline() = default;
  // `limit` from `start`, where the waiter is now (a pause before its first wait counts as one).
  RunningTimeDeadline(Clock::duration limit, Clock::time_point start)
      : m_deadline(start + limit), m_expectedBack(start) {}

  // The waiter is awake at `now`: lateness beyond the allowance moves the deadline. Until the next
  // expectBackAt(), `now` is when it is expected.
  void wokeAt(Clock::time_point now);
  // The waiter's next wait is to end at `at`.
  void expectBackAt(Clock::time_point at) { m_expectedBack = at; }

  Clock::time_point deadline() const { return m_deadline; }
  bool passedAt(Clock::time_point now) const { return now >= m_deadline; }

 private:
  Clock::time_point m_deadline{};
  Clock::time_point m_expectedBack{};
};

}  // namespace display
