#include "platform/core/Log.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

namespace {

// How long a line said with system calls waits for standard error to take it: a reader that
// stopped reading (a full pipe) must not hold the end of the process that says it.
constexpr int StderrWaitMilliseconds = 500;

// The whole of `text` to `fd`, through interruptions and short writes, as long as `fd` takes
// some of it within StderrWaitMilliseconds each time.
void writeAll(int fd, const char* text, size_t length) {
  while (length > 0) {
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, StderrWaitMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || !(p.revents & POLLOUT)) return;
    const ssize_t n = ::write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

// The decimal digits of `value` at `out`; their count.
size_t putNumber(char* out, unsigned long value) {
  char digits[24];
  size_t n = 0;
  do digits[n++] = static_cast<char>('0' + value % 10);
  while ((value /= 10) != 0);
  for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

}  // namespace

void logNoticeUnbuffered(std::initializer_list<std::string_view> parts) {
  // The system log's datagram: priority (user, notice), the program's name and process, the line.
  char line[1280];
  size_t at = 0;
  auto put = [&](std::string_view s) {
    const size_t n = std::min(s.size(), sizeof line - 1 - at);
    std::memcpy(line + at, s.data(), n);
    at += n;
  };
  put("<13>ktv-client[");
  at += putNumber(line + at, static_cast<unsigned long>(getpid()));
  put("]: ");
  const size_t message = at;
  for (std::string_view part : parts) put(part.substr(0, 1024 - std::min<size_t>(1024, at - message)));
  const size_t end = at;
  line[at++] = '\n';
  const int saved = errno;
  writeAll(STDERR_FILENO, line + message, at - message);
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, "/dev/log", sizeof "/dev/log");
    ssize_t sent = ::sendto(fd, line, end, MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    (void)sent;
    ::close(fd);
  }
  errno = saved;
}

void logNoticeAndExit(int status, std::initializer_list<std::string_view> parts) {
  logNoticeUnbuffered(parts);
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer's _exit flushes the standard streams first, and waits for ever on standard
  // error's lock when the thread this end is for is stuck writing there (a reader that stopped).
  syscall(SYS_exit_group, status);
#endif
  _exit(status);
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
