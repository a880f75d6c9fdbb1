#include "platform/display/WindowStartWatch.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/core/Log.h"

namespace display {
namespace {

using Clock = std::chrono::steady_clock;

// How often the display's connections are looked at for a hang-up.
constexpr auto LookInterval = std::chrono::milliseconds(100);

struct WatchState {
  std::mutex mutex;
  std::condition_variable changed;
  std::thread thread;
  bool armed = false;
  Clock::time_point deadline;
  double seconds = 0;
  std::string where;
  sockaddr_storage peer{};
  socklen_t peerLength = 0;
};

// Never destroyed: the watch may still be armed while the process ends.
WatchState& state() {
  static WatchState* s = new WatchState;
  return *s;
}

uint16_t portOf(const sockaddr_storage& a) {
  if (a.ss_family == AF_INET) return reinterpret_cast<const sockaddr_in&>(a).sin_port;
  if (a.ss_family == AF_INET6) return reinterpret_cast<const sockaddr_in6&>(a).sin6_port;
  return 0;
}

bool samePeer(const sockaddr_storage& a, socklen_t aLength, const sockaddr_storage& b, socklen_t bLength) {
  const bool internet = [](sa_family_t f) { return f == AF_INET || f == AF_INET6; }(a.ss_family);
  if (internet) return (b.ss_family == AF_INET || b.ss_family == AF_INET6) && portOf(a) == portOf(b);
  if (a.ss_family != b.ss_family || aLength != bLength) return false;
  return std::memcmp(&a, &b, aLength) == 0;
}

// Whether `fd` is a socket connected to `peer` that the other end has hung up.
bool hungUpAt(int fd, const sockaddr_storage& peer, socklen_t peerLength) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
  if (!samePeer(peer, peerLength, address, length)) return false;
  // Asks for nothing to read or write: only the end of the connection is reported.
  pollfd p{fd, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLRDHUP));
}

// Whether a socket of this process connected to `peer` has been hung up by the other end. Reads
// the descriptors' folder with the system call itself, into the stack: the window system's start
// may fork (D-Bus's autolaunch does) while this runs, and a child forked while this thread held an
// allocator's lock would wait on it for ever (the sanitizers' allocators are not fork-safe).
bool hungUp(const sockaddr_storage& peer, socklen_t peerLength) {
  const int dir = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  bool hung = false;
  alignas(8) char buffer[4096];
  for (long n; !hung && (n = syscall(SYS_getdents64, dir, buffer, sizeof buffer)) > 0;) {
    for (long at = 0; at < n && !hung;) {
      struct Entry {
        uint64_t inode;
        int64_t offset;
        unsigned short length;
        unsigned char type;
        char name[1];
      };
      const auto* entry = reinterpret_cast<const Entry*>(buffer + at);
      at += entry->length;
      int fd = 0;
      bool number = entry->name[0] != '\0';
      for (const char* c = entry->name; *c && number; ++c) {
        number = *c >= '0' && *c <= '9';
        fd = fd * 10 + (*c - '0');
      }
      if (number && fd != dir) hung = hungUpAt(fd, peer, peerLength);
    }
  }
  ::close(dir);
  return hung;
}

[[noreturn]] void giveUp(const WatchState& s, const std::string& cause) {
  core::logNotice(std::string(WindowStartWatch::LinePrefix) + s.where + ": " + cause + ". Stopping.");
  _exit(1);
}

void watch(WatchState& s) {
  std::unique_lock lock(s.mutex);
  while (s.armed) {
    const auto now = Clock::now();
    if (now >= s.deadline) {
      char text[64];
      std::snprintf(text, sizeof text, "%g s", s.seconds);
      giveUp(s, std::string("the window system's start did not end within ") + text);
    }
    if (s.peerLength > 0 && hungUp(s.peer, s.peerLength)) giveUp(s, "the connection was hung up");
    s.changed.wait_until(lock, std::min(s.deadline, now + LookInterval));
  }
}

// The line a crash inside the window system's start says, made before the crash can come.
char g_crashLine[1024];
size_t g_crashLineLength = 0;
struct sigaction g_oldSegv, g_oldBus;

void crashed(int signal) {
  const char* name = signal == SIGBUS ? "SIGBUS" : "SIGSEGV";
  // Only what is safe in a signal handler: the line made beforehand, its signal, the end.
  ssize_t ignored = write(STDERR_FILENO, g_crashLine, g_crashLineLength);
  ignored = write(STDERR_FILENO, name, std::strlen(name));
  ignored = write(STDERR_FILENO, "). Stopping.\n", 13);
  (void)ignored;
  _exit(1);
}

}  // namespace

void WindowStartWatch::arm(std::chrono::steady_clock::duration limit, const std::string& where, const sockaddr* peer,
                           socklen_t peerLength) {
  disarm();
  WatchState& s = state();
  {
    std::lock_guard lock(s.mutex);
    s.armed = true;
    s.deadline = Clock::now() + limit;
    s.seconds = std::chrono::duration<double>(limit).count();
    s.where = where;
    s.peerLength = peer && peerLength <= sizeof s.peer ? peerLength : 0;
    if (s.peerLength > 0) std::memcpy(&s.peer, peer, s.peerLength);
  }
  s.thread = std::thread([&s] { watch(s); });
}

void WindowStartWatch::windowMade() {
  WatchState& s = state();
  std::lock_guard lock(s.mutex);
  s.peerLength = 0;
}

void WindowStartWatch::disarm() {
  WatchState& s = state();
  {
    std::lock_guard lock(s.mutex);
    s.armed = false;
  }
  s.changed.notify_all();
  if (s.thread.joinable()) s.thread.join();
}

void WindowStartWatch::frameShown() {
  if (!isArmed()) return;
  disarm();
  KT_LOG("the window's first frame is on show");
}

bool WindowStartWatch::isArmed() {
  WatchState& s = state();
  std::lock_guard lock(s.mutex);
  return s.armed;
}

std::string WindowStartWatch::where() {
  WatchState& s = state();
  std::lock_guard lock(s.mutex);
  return s.armed ? s.where : std::string();
}

WindowStartWatch::CrashGuard::CrashGuard() {
  const std::string line = std::string(LinePrefix) + (where().empty() ? "the display" : where()) +
                           ": the window system crashed during its start (";
  g_crashLineLength = std::min(line.size(), sizeof g_crashLine);
  std::memcpy(g_crashLine, line.data(), g_crashLineLength);
  struct sigaction action {};
  action.sa_handler = crashed;
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, &g_oldSegv);
  sigaction(SIGBUS, &action, &g_oldBus);
}

WindowStartWatch::CrashGuard::~CrashGuard() {
  sigaction(SIGSEGV, &g_oldSegv, nullptr);
  sigaction(SIGBUS, &g_oldBus, nullptr);
}

}  // namespace display
