#include "platform/core/WorkProgress.h"

#include "platform/core/RunLoop.h"

namespace core {

void WorkProgress::note() {
  if (!RunLoop::isMainThread()) return;
  s_last.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

}  // namespace core
