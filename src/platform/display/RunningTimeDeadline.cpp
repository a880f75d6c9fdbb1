#include "platform/display/RunningTimeDeadline.h"

namespace display {

void RunningTimeDeadline::wokeAt(Clock::time_point now) {
  // A waiter woken a little over the allowance late at every turn still reaches the limit, not a
  // multiple of it: only what was lost beyond the allowance moves the deadline.
  if (const auto late = now - m_expectedBack; late > PauseAllowance) m_deadline += late - PauseAllowance;
  m_expectedBack = now;
}

}  // namespace display
