#include "platform/core/ThreadCheck.h"

#include <cstdlib>

#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/WeakPtr.h"

namespace core {

bool onMainThread() { return RunLoop::isMainThread(); }

void failOffMainThread(const char* where) {
  logFormat("%s: a main-thread-only object was used on another thread", where);
  std::abort();
}

#if KT_THREAD_CHECKS
void detail::WeakAnchor::checkThread() const {
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id expected{};
  if (thread.compare_exchange_strong(expected, self) || expected == self) return;
  logLine("WeakPtr: dereferenced on a thread other than the one its object is used on");
  std::abort();
}
#endif

}  // namespace core
