#include "platform/display/WindowStartWatch.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/core/Log.h"
#include "platform/display/RunningTimeDeadline.h"

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
  bool windowMade = false;
  // The start's limit, counted in the time the program ran.
  RunningTimeDeadline deadline;
  std::string where;
};

// Never destroyed: the watch may still be armed while the process ends.
WatchState& state() {
  static WatchState* s = new WatchState;
  return *s;
}

// What the watch thread and the crash handler read without a lock or an allocation: written by
// arm() before either can run, unchanged until the next arm().
struct Target {
  char where[512] = {};
  size_t whereLength = 0;
  char limit[32] = {};  // "10 s"
  sockaddr_storage peer{};
  socklen_t peerLength = 0;
  char request[512] = {};
  size_t requestLength = 0;
};
Target g_target;
// A connection to the display was seen hung up after the window was made (the window says it
// itself; a crash meanwhile is the display's loss, whatever became of the descriptor).
std::atomic<bool> g_hungUpSeen{false};

std::string_view whereText() { return {g_target.where, g_target.whereLength}; }

// The thread (its kernel id) that claimed the end of the process, to say its line and end it;
// 0 until one has.
std::atomic<pid_t> g_endingThread{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "a signal handler reads it");

pid_t thisThread() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// Claims the end for this thread; false when another thread claimed it first.
bool claimTheEnd() {
  pid_t none = 0;
  return g_endingThread.compare_exchange_strong(none, thisThread());
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

// Whether a socket of this process connected to the display has been hung up by the other end.
// System calls only, into the stack: the window system's start may fork (D-Bus's autolaunch
// does) while this runs, and a child forked while this thread held an allocator's lock would wait
// on it for ever (the sanitizers' allocators are not fork-safe); and a signal handler runs it.
bool hungUp() {
  if (g_target.peerLength == 0) return false;
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
      if (number && fd != dir) hung = hungUpAt(fd, g_target.peer, g_target.peerLength);
    }
  }
  ::close(dir);
  return hung;
}

long long monotonicMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Whether the display answers a first exchange of its own within `milliseconds`: a fresh
// connection to its address, the request it answered before, and the head of an answer (eight
// bytes: an X server's set-up answer, a Wayland message; a refusal is an answer too). System
// calls only, for the same reasons as hungUp(). False when there is nothing to ask it with.
bool displayAnswers(int milliseconds) {
  if (g_target.peerLength == 0 || g_target.requestLength == 0) return false;
  const int fd = ::socket(g_target.peer.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool connecting = false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&g_target.peer), g_target.peerLength) != 0) {
    if (errno != EINPROGRESS && errno != EAGAIN) {
      ::close(fd);
      return false;
    }
    connecting = errno == EINPROGRESS;
  }
  const long long until = monotonicMilliseconds() + milliseconds;
  size_t sent = 0, received = 0;
  bool over = false;
  while (!over && received < 8) {
    const long long left = until - monotonicMilliseconds();
    if (left <= 0) break;
    const bool writing = connecting || sent < g_target.requestLength;
    pollfd p{fd, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
    const int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    if (connecting) {
      int error = 0;
      socklen_t length = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) break;
      connecting = false;
      continue;
    }
    if (writing) {
      const ssize_t w = ::send(fd, g_target.request + sent, g_target.requestLength - sent, MSG_NOSIGNAL);
      if (w > 0) sent += static_cast<size_t>(w);
      else over = !(w < 0 && (errno == EINTR || errno == EAGAIN));
      continue;
    }
    char buffer[256];
    const ssize_t r = ::recv(fd, buffer, sizeof buffer, 0);
    if (r > 0) received += static_cast<size_t>(r);
    else over = !(r < 0 && (errno == EINTR || errno == EAGAIN));
  }
  ::close(fd);
  return received >= 8;
}

void watch(WatchState& s) {
  std::unique_lock lock(s.mutex);
  while (s.armed) {
    // A pause of the whole process, before this thread first ran or in any turn, moves the
    // deadline.
    const auto now = Clock::now();
    s.deadline.wokeAt(now);
    if (s.deadline.passedAt(now)) {
      // Past the limit the start ends, whether or not the display is there; asking it only
      // chooses the line. Asked without the lock, so that the first frame may end the watch
      // meanwhile.
      if (g_target.peerLength == 0 || g_target.requestLength == 0) {
        WindowStartWatch::endProcess(1, {WindowStartWatch::LinePrefix, whereText(),
                                   ": the window system's start did not end within ", g_target.limit, ". Stopping."});
      }
      lock.unlock();
      const bool answers = displayAnswers(WindowStartWatch::AnswerMilliseconds);
      lock.lock();
      if (!s.armed) break;
      if (!answers) {
        WindowStartWatch::endProcess(1, {WindowStartWatch::LinePrefix, whereText(),
                                   ": the window system's start did not end within ", g_target.limit,
                                   ", and the display does not answer. Stopping."});
      }
      WindowStartWatch::endProcess(1, {WindowStartWatch::StuckLinePrefix, "it did not end within ", g_target.limit,
                                 ", though ", whereText(), " answers. Stopping."});
    }
    if (hungUp()) {
      if (!s.windowMade)
        WindowStartWatch::endProcess(1, {WindowStartWatch::LinePrefix, whereText(), ": the connection was hung up. Stopping."});
      g_hungUpSeen.store(true);
    }
    // From the time this turn began, so that a pause anywhere in the turn shows as lateness.
    const auto next = std::min(s.deadline.deadline(), now + LookInterval);
    s.deadline.expectBackAt(next);
    s.changed.wait_until(lock, next);
  }
}

// Another thread is ending the process: this one waits for it, saying nothing.
[[noreturn]] void waitForTheEnd() {
  for (;;) pause();
}

// ---- the crash handler ------------------------------------------------------------------------

constexpr int CrashSignals[] = {SIGSEGV, SIGBUS, SIGABRT};
struct sigaction g_oldActions[3];
bool g_guarding = false;

const char* signalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGABRT: return "SIGABRT";
    default: return "a signal";
  }
}

// Ends the process by `signal`'s default action once the handler returns (a fault comes again; a
// raised signal is held until then), so that its core is kept.
void endBy(int signal) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

void crashed(int signal) {
  const int saved = errno;
  // A crash on the thread that is saying the end's line (it waits on a full standard error): no
  // one else would end the process, so the crash does.
  if (g_endingThread.load() == thisThread()) {
    endBy(signal);
    errno = saved;
    return;
  }
  // Only what is safe in a signal handler: the target written beforehand, system calls, the end.
  // The connection is looked at again once the display has answered: a compositor that refuses
  // a connection sends its error and then closes it, and the window system may crash on the error
  // before the close has come. The display answers a new connection only after it has dealt with
  // the old one, so the close is seen then.
  const bool canAsk = g_target.peerLength > 0 && g_target.requestLength > 0;
  if (g_hungUpSeen.load() || hungUp() ||
      (canAsk && (!displayAnswers(WindowStartWatch::AnswerMilliseconds) || hungUp()))) {
    WindowStartWatch::endProcess(1, {WindowStartWatch::LinePrefix, whereText(),
                               ": the window system crashed during its start (", signalName(signal),
                               "). Stopping."});
  }
  // The display is fine: a crash of the program's own, ended by the signal's default action. One
  // line first, so that the journal says what happened and where. Unless another thread is ending
  // the process already, with its own line.
  if (!claimTheEnd()) waitForTheEnd();
  if (canAsk) {
    core::logNoticeUnbuffered({WindowStartWatch::CrashLinePrefix, signalName(signal), ", though ", whereText(),
                               " answers. Ending by the signal."});
  } else {
    core::logNoticeUnbuffered({WindowStartWatch::CrashLinePrefix, signalName(signal), ", on ", whereText(),
                               ". Ending by the signal."});
  }
  endBy(signal);
  errno = saved;
}

void guard() {
  if (g_guarding) return;
  struct sigaction action {};
  action.sa_handler = crashed;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(CrashSignals); ++i) sigaction(CrashSignals[i], &action, &g_oldActions[i]);
  g_guarding = true;
}

void unguard() {
  if (!g_guarding) return;
  for (size_t i = 0; i < std::size(CrashSignals); ++i) sigaction(CrashSignals[i], &g_oldActions[i], nullptr);
  g_guarding = false;
}

}  // namespace

void WindowStartWatch::arm(std::chrono::steady_clock::duration limit, const std::string& where, const sockaddr* peer,
                           socklen_t peerLength, const std::string& request) {
  disarm();
  Target& t = g_target;
  t.whereLength = std::min(where.size(), sizeof t.where);
  std::memcpy(t.where, where.data(), t.whereLength);
  std::snprintf(t.limit, sizeof t.limit, "%g s", std::chrono::duration<double>(limit).count());
  t.peerLength = peer && peerLength <= sizeof t.peer ? peerLength : 0;
  if (t.peerLength > 0) std::memcpy(&t.peer, peer, t.peerLength);
  t.requestLength = request.size() <= sizeof t.request ? request.size() : 0;
  std::memcpy(t.request, request.data(), t.requestLength);
  g_hungUpSeen.store(false);
  WatchState& s = state();
  {
    std::lock_guard lock(s.mutex);
    s.armed = true;
    s.windowMade = false;
    // From now, so that a pause before the watch's thread first runs counts as one too.
    s.deadline = RunningTimeDeadline(limit, Clock::now());
    s.where = where;
  }
  guard();
  s.thread = std::thread([&s] { watch(s); });
}

void WindowStartWatch::endProcess(int status, std::initializer_list<std::string_view> parts) {
  if (!claimTheEnd()) waitForTheEnd();
  core::logNoticeAndExit(status, parts);
}

void WindowStartWatch::windowMade() {
  WatchState& s = state();
  std::lock_guard lock(s.mutex);
  s.windowMade = true;
}

void WindowStartWatch::disarm() {
  WatchState& s = state();
  {
    std::lock_guard lock(s.mutex);
    s.armed = false;
  }
  s.changed.notify_all();
  if (s.thread.joinable()) s.thread.join();
  unguard();
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

}  // namespace display
