#include "platform/core/Log.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace core {
namespace {

struct LogState {
  std::mutex mutex;
  LogSink sink;
  bool toStderr = [] {
    const char* v = std::getenv("KT_LOG_STDERR");
    return v && *v && std::strcmp(v, "0") != 0;
  }();
  bool opened = false;
};

LogState& state() {
  static LogState* s = new LogState;  // never destroyed: logging may happen during exit
  return *s;
}

}  // namespace

namespace {

void writeLine(const std::string& line, bool toStderr) {
  LogState& s = state();
  LogSink sink;
  {
    std::lock_guard lock(s.mutex);
    if (!s.opened) {
      openlog("ktv-client", LOG_PID, LOG_USER);
      s.opened = true;
    }
    if (toStderr || s.toStderr) std::fprintf(stderr, "%s\n", line.c_str());
    sink = s.sink;
  }
  syslog(LOG_NOTICE, "%s", line.c_str());
  if (sink) sink(line);
}

}  // namespace

void logLine(const std::string& line) { writeLine(line, false); }

void logNotice(const std::string& message) { writeLine(message, true); }

void logFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line;
  if (n > 0) {
    line.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    line.resize(static_cast<size_t>(n));
  }
  va_end(args);
  logLine(line);
}

void setLogToStderr(bool enabled) {
  std::lock_guard lock(state().mutex);
  state().toStderr = enabled;
}

bool logToStderr() {
  std::lock_guard lock(state().mutex);
  return state().toStderr;
}

LogSink setLogSink(LogSink sink) {
  std::lock_guard lock(state().mutex);
  std::swap(state().sink, sink);
  return sink;
}

}  // namespace core
