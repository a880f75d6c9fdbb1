#pragma once

// Checked builds (debug and sanitizer builds) verify that objects meant for one thread are used
// on it; release builds compile the checks away.
#if !defined(KT_THREAD_CHECKS)
#if defined(NDEBUG)
#define KT_THREAD_CHECKS 0
#else
#define KT_THREAD_CHECKS 1
#endif
#endif

namespace core {

// Logs where it was called from and aborts when not on the main thread.
void failOffMainThread(const char* where);
bool onMainThread();

}  // namespace core

// At the top of an operation of a main-thread-only object.
#if KT_THREAD_CHECKS
#define KT_ASSERT_MAIN_THREAD()                                   \
  do {                                                            \
    if (!::core::onMainThread()) ::core::failOffMainThread(__func__); \
  } while (0)
#else
#define KT_ASSERT_MAIN_THREAD() ((void)0)
#endif
