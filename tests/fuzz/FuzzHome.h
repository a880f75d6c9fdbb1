#pragma once

// For targets that touch the settings or the keychain: a folder of the run's own as the home,
// no log output, and the virtual clock.

#include <cstdlib>
#include <string>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"

namespace fuzz {

inline void useOwnHome() {
  char folder[] = "/tmp/kt-fuzz-XXXXXX";
  if (!mkdtemp(folder)) std::abort();
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"})
    setenv(name, folder, 1);
  core::setLogSink([](const std::string&) {});
  core::Clock::setVirtual(true);
}

}  // namespace fuzz
