#include "platform/core/CallbackGuard.h"

#include "platform/core/Log.h"

namespace core {

void logCallbackException(const char* where, const char* what) noexcept {
  try {
    logFormat("%s: an exception left the callback and was stopped there: %s", where, what ? what : "");
  } catch (...) {
    // Nothing more can be said without memory.
  }
}

}  // namespace core
