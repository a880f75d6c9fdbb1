#pragma once

// For targets fed with room-server text: the run's set-up and the input as the link posts it.

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/TextEncoding.h"

namespace fuzz {

// Once per run, for targets that touch the settings or the keychain: a folder of the run's own as
// the home, no log output, and the virtual clock.
inline void useOwnHome() {
  char folder[] = "/tmp/kt-fuzz-XXXXXX";
  if (!mkdtemp(folder)) std::abort();
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"})
    setenv(name, folder, 1);
  core::setLogSink([](const std::string&) {});
  core::Clock::setVirtual(true);
}

// The input as frame text: UTF-8 as it is, else GB 18030 bytes decoded as the link does; nullopt
// when neither.
inline std::optional<std::string> frameText(std::string_view input) {
  if (core::isValidUtf8(input)) return std::string(input);
  return core::gb18030ToUtf8(input);
}

}  // namespace fuzz
