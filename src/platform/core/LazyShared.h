#pragma once

#include <memory>

#include "platform/core/ThreadCheck.h"

namespace core {

// A process-wide object made on first use, as the platform's shared instances are. Main thread
// only (no lock). `reset()` lets tests start again from a fresh object. The object is never
// destroyed at exit: what it started (sockets, resolutions, requests) may still call into it
// from other threads while the process exits.
template <class T>
class LazyShared {
 public:
  static T& instance() {
    KT_ASSERT_MAIN_THREAD();
    auto& object = slot();
    if (!object) object = std::make_unique<T>();
    return *object;
  }
  static void reset() { slot().reset(); }

 private:
  static std::unique_ptr<T>& slot() {
    static auto* object = new std::unique_ptr<T>;
    return *object;
  }
};

}  // namespace core
