#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace core {

// What a log line shows in place of a secret (a password, credentials, a keychain value): the
// log goes to standard error and the system log, where anyone on the machine may read it.
inline constexpr const char* kLogMask = "****";

// Writes one line to the system log and, when enabled, to standard error.
void logLine(const std::string& line);

// A message for whoever started the program (the display is gone, no window opens): written to
// standard error once, as it stands, whether or not the log goes there too, and to the log.
void logNotice(const std::string& message);

// The same message, `parts` joined, written with nothing but system calls (at most 1 KiB of it):
// safe in a signal handler, and in a thread that must not take an allocator's lock while another
// may fork. To standard error and the system log, as logNotice writes it.
void logNoticeUnbuffered(std::initializer_list<std::string_view> parts);
// That message, then the end of the process with `status`, without its orderly stop (_exit).
[[noreturn]] void logNoticeAndExit(int status, std::initializer_list<std::string_view> parts);

// printf-style formatting into a line; the common form goes through KT_LOG below.
void logFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Diagnostic lines start with the function name and the source line: "%s [Line %d] ...".
#define KT_LOG(fmt, ...) ::core::logFormat("%s [Line %d] " fmt, __func__, __LINE__ __VA_OPT__(,) __VA_ARGS__)

// Standard error output is off by default; KT_LOG_STDERR=1 in the environment turns it on.
void setLogToStderr(bool enabled);
bool logToStderr();

// Tests can see every line that is logged. Returns the previous sink; pass {} to remove.
using LogSink = std::function<void(const std::string&)>;
LogSink setLogSink(LogSink sink);

}  // namespace core
