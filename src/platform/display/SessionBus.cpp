#include "platform/display/SessionBus.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/core/Log.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/RunningTimeDeadline.h"

namespace display {
namespace {

using Clock = std::chrono::steady_clock;
using Verdict = SessionBus::Verdict;
using State = SessionBus::AnswerReader::State;

// ---- the address list ------------------------------------------------------------------------

using Entry = SessionBus::AddressEntry;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The text up to the next `separator` in `rest`, taken off its front with the separator.
std::string_view takePiece(std::string_view& rest, char separator) {
  const size_t end = rest.find(separator);
  const std::string_view piece = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return piece;
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

// An IPv6 address's scope, written after its '%': the number of an interface (at most 32 bits) or
// its name, which must be one of this host's. Nothing otherwise.
std::optional<uint32_t> scopeId(std::string_view scope) {
  if (scope.empty()) return std::nullopt;
  if (scope.find_first_not_of("0123456789") == std::string_view::npos) {
    uint64_t number = 0;
    for (const char c : scope) {
      number = number * 10 + static_cast<uint64_t>(c - '0');
      if (number > UINT32_MAX) return std::nullopt;
    }
    return static_cast<uint32_t>(number);
  }
  if (scope.size() >= IF_NAMESIZE) return std::nullopt;
  const unsigned index = ::if_nametoindex(std::string(scope).c_str());
  if (index == 0) return std::nullopt;
  return index;
}

// ---- waiting with a limit --------------------------------------------------------------------

// The longest single wait, so that a pause of the whole process shows as the lateness of the wait
// it fell in: the limit counts the time the program ran, as the window start's does.
constexpr auto LongestWait = std::chrono::milliseconds(100);

class Wait {
 public:
  Wait(Clock::duration limit, int interruptFd) : m_interruptFd(interruptFd), m_deadline(limit, Clock::now()) {}

  int interruptFd() const { return m_interruptFd; }

  // The next wait in milliseconds (at most `cap` when that is not -1, and at most LongestWait),
  // rounded up; 0 once the deadline has passed.
  int next(int cap = -1) {
    const auto now = Clock::now();
    m_deadline.wokeAt(now);
    if (m_deadline.passedAt(now)) return 0;
    auto wait = std::min<Clock::duration>(m_deadline.deadline() - now, LongestWait);
    if (cap >= 0) wait = std::min<Clock::duration>(wait, std::chrono::milliseconds(cap));
    m_deadline.expectBackAt(now + wait);
    return std::max(1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
  }

 private:
  int m_interruptFd = -1;
  RunningTimeDeadline m_deadline;
};

enum class Polled { Ready, TimedOut, Interrupted };

// Waits until `fd` has one of `events` (fd -1: only the time and the interrupt), at most
// `cap` milliseconds (-1: up to the deadline).
Polled waitFor(Wait& wait, int fd, short events, short* revents, int cap = -1) {
  for (;;) {
    const int timeout = wait.next(cap);
    if (timeout == 0) return Polled::TimedOut;
    pollfd p[2] = {{wait.interruptFd(), POLLIN, 0}, {fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    const int n = ::poll(p, count, timeout);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Polled::TimedOut;
    }
    if (p[0].revents) return Polled::Interrupted;
    if (fd >= 0 && p[1].revents) {
      if (revents) *revents = p[1].revents;
      return Polled::Ready;
    }
    if (n == 0 && cap >= 0) return Polled::Ready;
  }
}

// ---- taking a connection ---------------------------------------------------------------------

struct Connection {
  enum class Outcome { Taken, NotTaken, StillBeingMade, Interrupted, NotLookedAt };
  Outcome outcome = Outcome::NotTaken;
  int fd = -1;
};

// A local stream socket. A listener whose queue is full refuses a connection that would wait with
// EAGAIN; the library's connection waits there until there is room, so this one tries again until
// the deadline.
Connection connectLocal(const std::string& path, bool abstract, Wait& wait) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof addr.sun_path) return {};
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
  constexpr int RetryMilliseconds = 20;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0) return {Connection::Outcome::Taken, fd};
    const int error = errno;
    ::close(fd);
    if (error != EAGAIN && error != EINPROGRESS && error != EINTR) return {};
    switch (waitFor(wait, -1, 0, nullptr, RetryMilliseconds)) {
      case Polled::TimedOut: return {Connection::Outcome::StillBeingMade, -1};
      case Polled::Interrupted: return {Connection::Outcome::Interrupted, -1};
      case Polled::Ready: break;
    }
  }
}

// ---- looking up a host ------------------------------------------------------------------------

// The program that looks a host up (glibc's getent, which every Debian system has), and the one
// tests put in its place.
constexpr const char* LookupPrograms[] = {"/usr/bin/getent", "/bin/getent"};
std::string g_lookupProgram;
bool g_processDescriptors = true;
// The most of a lookup's output that is read (a host has a few addresses, each line short); the
// rest is drained, so that the program never blocks on a full pipe.
constexpr size_t MaxLookupOutput = 64 * 1024;
// How often a lookup that has closed its output is looked at for its end, where its process has no
// descriptor to wait on.
constexpr int ReapRetryMilliseconds = 5;
// Where the kernel cannot close a range of descriptors at once (before 5.9), the lookup's process
// closes each one below this (or below its limit of open files, when that is lower).
constexpr int MostDescriptorsClosedOneByOne = 65536;

enum class Looked { Found, NotFound, StillGoing, Interrupted };

// A descriptor at 3 or above (close-on-exec), so that setting up 0, 1 and 2 in the lookup's process
// never overwrites it; `fd` is closed when it is moved. -1 on failure.
int aboveStandardStreams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(fd);
  return moved;
}

// What the lookup's process does between its making and its program, prepared beforehand: it is a
// copy of this process with one thread, whose other threads may have held locks as it was made, so
// it calls nothing but the kernel.
struct LookupChild {
  int nullFd = -1;    // /dev/null: its input and its error output
  int outputFd = -1;  // the pipe's writing end: its output
  int lastFd = 0;     // the descriptors closed one by one go up to this one
  char* const* argvs[std::size(LookupPrograms)] = {};
  size_t programs = 0;
  char* const* envp = nullptr;
};

// The lookup's process until its program runs: every signal action back to its default (all of
// them are blocked meanwhile), only 0, 1 and 2 open, no signal blocked, then the program. Not
// instrumented: the sanitizers' bookkeeping is a copy of this process's, made mid-way.
__attribute__((no_sanitize("address", "thread", "undefined"))) int runLookupChild(void* argument) {
  const LookupChild& child = *static_cast<const LookupChild*>(argument);
  // The kernel's sigaction, whatever its layout on this machine: all zero is the default action,
  // no flags, an empty mask. Its sigset is 64 bits everywhere.
  const uint64_t defaultAction[4] = {};
  constexpr long KernelSigsetBytes = 8;
  for (int signal = 1; signal <= 64; ++signal)
    if (signal != SIGKILL && signal != SIGSTOP)
      ::syscall(SYS_rt_sigaction, signal, defaultAction, nullptr, KernelSigsetBytes);
  if (::syscall(SYS_dup3, child.nullFd, STDIN_FILENO, 0) < 0 ||
      ::syscall(SYS_dup3, child.outputFd, STDOUT_FILENO, 0) < 0 ||
      ::syscall(SYS_dup3, child.nullFd, STDERR_FILENO, 0) < 0)
    return 127;
  if (::syscall(SYS_close_range, STDERR_FILENO + 1, ~0U, 0) != 0)
    for (int fd = STDERR_FILENO + 1; fd <= child.lastFd; ++fd) ::syscall(SYS_close, fd);
  const uint64_t noSignals = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &noSignals, nullptr, KernelSigsetBytes);
  for (size_t i = 0; i < child.programs; ++i) ::syscall(SYS_execve, child.argvs[i][0], child.argvs[i], child.envp);
  return 127;
}

// The lookup's process, known by a descriptor of its own (a pidfd) where the kernel has them (5.4
// and later). Its number alone is not enough: where SIGCHLD is ignored (a launcher's disposition,
// which a program inherits) the kernel reaps the process as it ends and may give its number to
// another process at once, which a kill by number would then reach. The descriptor is made with
// the process itself, so it never names another; a signal or a wait through it reaches that process
// or nothing. Without descriptors, the number is used as before: exact while SIGCHLD is not
// ignored (the process stays until it is reaped here).
class LookupProcess {
 public:
  LookupProcess() = default;
  LookupProcess(const LookupProcess&) = delete;
  LookupProcess& operator=(const LookupProcess&) = delete;
  ~LookupProcess() {
    if (m_pid > 0) end();
    if (m_output >= 0) ::close(m_output);
  }

  // Runs the lookup of `host`, its output on a pipe (output()), nothing else of this process's
  // descriptors, the default signal mask and actions. False when it could not be started.
  bool start(const std::string& host);
  int output() const { return m_output; }
  void closeOutput() {
    ::close(m_output);
    m_output = -1;
  }

  enum class End {
    Running,
    Succeeded,  // it exited with status 0 (and is reaped)
    Failed,     // another status, or a signal (and it is reaped)
    Lost,       // its status cannot be had: the kernel reaped it (SIGCHLD is ignored)
  };
  // Whether it has ended, without waiting.
  End ended();
  // Waits for it to end, within the look's limit and interrupt: on its descriptor where it has
  // one, else a few milliseconds at a time.
  Polled waitForEnd(Wait& wait) {
    if (m_pidfd >= 0) return waitFor(wait, m_pidfd, POLLIN, nullptr);
    return waitFor(wait, -1, 0, nullptr, ReapRetryMilliseconds);
  }
  // Kills it (it may have ended already) and waits for its end: nothing of it is left.
  void end();

 private:
  void forget() {
    if (m_pidfd >= 0) ::close(m_pidfd);
    m_pidfd = -1;
    m_pid = -1;
  }

  pid_t m_pid = -1;
  int m_pidfd = -1;
  int m_output = -1;
};

bool LookupProcess::start(const std::string& host) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const int readEnd = aboveStandardStreams(fds[0]), writeEnd = aboveStandardStreams(fds[1]);
  const int nullFd = aboveStandardStreams(::open("/dev/null", O_RDWR | O_CLOEXEC));
  // The stack it runs on until its program does (in its copy of this process's memory).
  constexpr size_t StackBytes = 64 * 1024;
  void* stack = ::mmap(nullptr, StackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  std::vector<std::string> programs(std::begin(LookupPrograms), std::end(LookupPrograms));
  if (!g_lookupProgram.empty()) programs = {g_lookupProgram};
  // Always every address family: `ahostsv4` and `ahostsv6` ask the resolver to give only families
  // this host has an address of beside loopback, so on a host whose network is not up yet they find
  // nothing, not even localhost. `ahosts` asks so too, but only narrows the answer when exactly one
  // family has such an address; the family the bus address asks for is kept here, from the answer.
  // What remains: a bus address of the other family then (family=ipv6 at localhost on a host with
  // IPv4 addresses alone) is not found.
  std::vector<std::array<std::string, 4>> arguments;
  std::vector<std::array<char*, 5>> argvs;
  arguments.reserve(programs.size());
  argvs.reserve(programs.size());
  for (const std::string& program : programs) {
    arguments.push_back({program, "ahosts", "--", host});
    auto& a = arguments.back();
    argvs.push_back({a[0].data(), a[1].data(), a[2].data(), a[3].data(), nullptr});
  }
  LookupChild child;
  child.nullFd = nullFd;
  child.outputFd = writeEnd;
  rlimit files{};
  child.lastFd = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < MostDescriptorsClosedOneByOne
                     ? static_cast<int>(files.rlim_cur) - 1
                     : MostDescriptorsClosedOneByOne - 1;
  child.programs = std::min(argvs.size(), std::size(child.argvs));
  for (size_t i = 0; i < child.programs; ++i) child.argvs[i] = argvs[i].data();
  child.envp = environ;

  pid_t pid = -1;
  int pidfd = -1;
  if (readEnd >= 0 && writeEnd >= 0 && nullFd >= 0 && stack != MAP_FAILED) {
    // Every signal blocked until it has set its actions back to their defaults: a handler of this
    // process must not run in it. The kernel leaves `pidfd` as it is where it has no pidfds.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    // Its own copy of this process's memory (no CLONE_VM), as fork makes: ThreadSanitizer takes a
    // clone for a fork and marks the child's memory as forked, which shared memory would mark in this
    // process too (no thread could be started after it). This thread waits until its program runs.
    const int flags = CLONE_VFORK | SIGCHLD | (g_processDescriptors ? CLONE_PIDFD : 0);
    pid = ::clone(runLookupChild, static_cast<char*>(stack) + StackBytes, flags, &child, &pidfd);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  if (stack != MAP_FAILED) ::munmap(stack, StackBytes);
  if (nullFd >= 0) ::close(nullFd);
  if (writeEnd >= 0) ::close(writeEnd);
  if (pid <= 0) {
    if (pidfd >= 0) ::close(pidfd);
    if (readEnd >= 0) ::close(readEnd);
    return false;
  }
  // A kernel with pidfds but without waits on them (5.2, 5.3): the number it is.
  siginfo_t info{};
  if (pidfd >= 0 && ::waitid(P_PIDFD, static_cast<id_t>(pidfd), &info, WEXITED | WNOHANG | WNOWAIT) != 0 &&
      errno == EINVAL) {
    ::close(pidfd);
    pidfd = -1;
  }
  m_pid = pid;
  m_pidfd = pidfd;
  m_output = readEnd;
  return true;
}

LookupProcess::End LookupProcess::ended() {
  if (m_pid <= 0) return End::Lost;
  siginfo_t info{};
  const int result = m_pidfd >= 0 ? ::waitid(P_PIDFD, static_cast<id_t>(m_pidfd), &info, WEXITED | WNOHANG)
                                  : ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG);
  if (result != 0) {
    if (errno == EINTR) return End::Running;
    forget();
    return End::Lost;
  }
  if (info.si_pid == 0) return End::Running;
  forget();
  return info.si_code == CLD_EXITED && info.si_status == 0 ? End::Succeeded : End::Failed;
}

void LookupProcess::end() {
  if (m_pid <= 0) return;
  siginfo_t info{};
  if (m_pidfd >= 0) {
    ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0);
    while (::waitid(P_PIDFD, static_cast<id_t>(m_pidfd), &info, WEXITED) != 0 && errno == EINTR) {
    }
  } else {
    ::kill(m_pid, SIGKILL);
    while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED) != 0 && errno == EINTR) {
    }
  }
  forget();
}

// A host's stream addresses on `port`, looked up within the look's limit and interrupt. A numeric
// address is read here; a name by the lookup's process, which is ended (and reaped) when the limit
// passes or the interrupt comes first.
Looked lookUp(const std::string& host, uint16_t port, int family, Wait& wait,
              std::vector<SessionBus::HostAddress>* found) {
  if (host.empty() || host.find('\0') != std::string::npos) return Looked::NotFound;  // no name a lookup takes
  if (host.find_first_of(" \t\r\n") == std::string::npos) {
    *found = SessionBus::parseHostAddresses(host + " STREAM", port, family);
    if (!found->empty()) return Looked::Found;
  }
  LookupProcess lookup;
  if (!lookup.start(host)) return Looked::NotFound;  // nothing to look it up with: nothing is connected
  std::string printed;
  for (bool open = true; open;) {
    const Polled polled = waitFor(wait, lookup.output(), POLLIN, nullptr);
    if (polled != Polled::Ready) {
      lookup.end();
      return polled == Polled::TimedOut ? Looked::StillGoing : Looked::Interrupted;
    }
    char buffer[4096];
    const ssize_t n = ::read(lookup.output(), buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    open = n > 0;
    if (open && printed.size() < MaxLookupOutput)
      printed.append(buffer, std::min(static_cast<size_t>(n), MaxLookupOutput - printed.size()));
  }
  lookup.closeOutput();
  // Its output closed, it ends at once; still bounded, should it not.
  LookupProcess::End end;
  while ((end = lookup.ended()) == LookupProcess::End::Running) {
    const Polled polled = lookup.waitForEnd(wait);
    if (polled != Polled::Ready) {
      lookup.end();
      return polled == Polled::TimedOut ? Looked::StillGoing : Looked::Interrupted;
    }
  }
  // Its status lost (the kernel reaped it: SIGCHLD is ignored), its output tells: getent prints
  // nothing when it finds nothing, and the pipe gave all it printed, up to its end.
  if (end == LookupProcess::End::Failed) return Looked::NotFound;
  *found = SessionBus::parseHostAddresses(printed, port, family);
  return found->empty() ? Looked::NotFound : Looked::Found;
}

// A port as the bus library's lookup takes it (a number, no service name).
std::optional<uint16_t> portNumber(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int value = std::stoi(text);
  if (value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// A TCP connection to each of the host's addresses in turn, as a connect that waits would make it.
Connection connectTcp(const Entry& entry, Wait& wait) {
  const std::string* host = entry.value("host");
  const std::string* port = entry.value("port");
  const std::string* family = entry.value("family");
  if (!port) return {Connection::Outcome::NotLookedAt, -1};
  int wanted = AF_UNSPEC;
  if (family && *family == "ipv4") wanted = AF_INET;
  else if (family && *family == "ipv6") wanted = AF_INET6;
  else if (family) return {Connection::Outcome::NotLookedAt, -1};
  // A port that is not a number: the library's lookup fails, and nothing is connected.
  const std::optional<uint16_t> number = portNumber(*port);
  if (!number) return {};
  std::vector<SessionBus::HostAddress> addresses;
  switch (lookUp(host ? *host : "localhost", *number, wanted, wait, &addresses)) {
    case Looked::Found: break;
    case Looked::NotFound: return {};
    // The library's own lookup would still be waiting too.
    case Looked::StillGoing: return {Connection::Outcome::StillBeingMade, -1};
    case Looked::Interrupted: return {Connection::Outcome::Interrupted, -1};
  }
  Connection connection;
  for (size_t i = 0; i < addresses.size() && connection.outcome == Connection::Outcome::NotTaken; ++i) {
    const SessionBus::HostAddress& a = addresses[i];
    const int fd = ::socket(a.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    bool taken = ::connect(fd, reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0;
    if (!taken && errno == EINPROGRESS) {
      short revents = 0;
      const Polled polled = waitFor(wait, fd, POLLOUT, &revents);
      if (polled == Polled::Ready) {
        int error = 0;
        socklen_t size = sizeof error;
        taken = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
      } else {
        connection.outcome = polled == Polled::TimedOut ? Connection::Outcome::StillBeingMade
                                                        : Connection::Outcome::Interrupted;
      }
    }
    if (taken) connection = {Connection::Outcome::Taken, fd};
    else ::close(fd);
  }
  return connection;
}

Connection connectEntry(const Entry& entry, Wait& wait) {
  if (entry.transport == "tcp") return connectTcp(entry, wait);
  if (entry.transport != "unix") return {Connection::Outcome::NotLookedAt, -1};
  const std::string* path = entry.value("path");
  const std::string* abstract = entry.value("abstract");
  const std::string* runtime = entry.value("runtime");
  if ((path != nullptr) + (abstract != nullptr) + (runtime != nullptr) != 1)
    return {Connection::Outcome::NotLookedAt, -1};
  if (path) return connectLocal(*path, false, wait);
  if (abstract) return connectLocal(*abstract, true, wait);
  if (*runtime != "yes") return {Connection::Outcome::NotLookedAt, -1};
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || !*dir) return {};
  return connectLocal(std::string(dir) + "/bus", false, wait);
}

// ---- the first exchange ----------------------------------------------------------------------

// The authentication, then Hello, on a connection taken; the socket is closed on return.
Verdict exchange(int fd, Wait& wait) {
  std::string out = SessionBus::authRequest(static_cast<unsigned>(::getuid()));
  size_t sent = 0;
  SessionBus::AnswerReader reader;
  bool helloQueued = false;
  Verdict verdict = Verdict::Silent;
  for (bool over = false; !over;) {
    short revents = 0;
    const Polled polled = waitFor(wait, fd, static_cast<short>(POLLIN | (sent < out.size() ? POLLOUT : 0)), &revents);
    if (polled == Polled::Interrupted) {
      verdict = Verdict::NotLookedAt;
      break;
    }
    if (polled == Polled::TimedOut) {
      // What came while the look itself was held up (a stall shorter than the allowance) is read
      // before the bus is called silent: a bus that has been answering is not.
      char buffer[4096];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      verdict = n > 0 ? Verdict::Answers : n == 0 ? Verdict::Unreachable : Verdict::Silent;
      break;
    }
    if ((revents & POLLOUT) && sent < out.size()) {
      const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent += static_cast<size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR) revents |= POLLIN;  // its reason is read below
    }
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      // Closed (or reset) without an answer: the library fails at once on that.
      verdict = Verdict::Unreachable;
      break;
    }
    const State state = reader.feed(std::string_view(buffer, static_cast<size_t>(n)));
    if (SessionBus::AnswerReader::answered(state)) {
      // Even a garbled answer is an answer: the library gives up on it rather than wait.
      verdict = Verdict::Answers;
      over = true;
    } else if (state == State::Hello && !helloQueued) {
      out += SessionBus::helloRequest();
      helloQueued = true;
    }
  }
  ::close(fd);
  return verdict;
}

// ---- marshalling -----------------------------------------------------------------------------

void align(std::string& out, size_t to) { out.resize((out.size() + to - 1) / to * to, '\0'); }

void putUint32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

uint32_t readUint32(const std::string& bytes, size_t at, bool bigEndian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<uint8_t>(bytes[at + (bigEndian ? i : 3 - i)]);
    v = (v << 8) | byte;
  }
  return v;
}

// A header field (BYTE code, VARIANT of one string-like type) of a little-endian message.
void putField(std::string& fields, uint8_t code, char type, const std::string& value) {
  align(fields, 8);
  fields.push_back(static_cast<char>(code));
  fields.push_back(1);  // the variant's signature: one type
  fields.push_back(type);
  fields.push_back('\0');
  putUint32(fields, static_cast<uint32_t>(value.size()));
  fields += value;
  fields.push_back('\0');
}

}  // namespace

// ---- SessionBus ------------------------------------------------------------------------------

const std::string* SessionBus::AddressEntry::value(const char* key) const {
  for (const auto& [k, v] : keys)
    if (k == key) return &v;
  return nullptr;
}

std::optional<std::vector<SessionBus::AddressEntry>> SessionBus::parseAddress(std::string_view list) {
  std::vector<AddressEntry> entries;
  while (!list.empty()) {
    const std::string_view text = takePiece(list, ';');
    if (text.empty()) continue;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    AddressEntry entry;
    entry.transport = std::string(text.substr(0, colon));
    std::string_view rest = text.substr(colon + 1);
    while (!rest.empty()) {
      const std::string_view pair = takePiece(rest, ',');
      if (pair.empty()) continue;
      const size_t equals = pair.find('=');
      if (equals == std::string_view::npos || equals == 0) return std::nullopt;
      auto value = unescaped(pair.substr(equals + 1));
      if (!value) return std::nullopt;
      entry.keys.emplace_back(std::string(pair.substr(0, equals)), std::move(*value));
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string SessionBus::escapeValue(std::string_view value) {
  static const char* const digits = "0123456789abcdef";
  std::string out;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    const bool plain = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                       (c != '\0' && std::strchr("-_/.\\*", c) != nullptr);
    if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(digits[u >> 4]);
      out.push_back(digits[u & 15]);
    }
  }
  return out;
}

std::string SessionBus::address() {
  return address(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"));
}

std::string SessionBus::address(const char* busVariable, const char* runtimeDir) {
  if (busVariable && *busVariable) return busVariable;
  if (!runtimeDir || !*runtimeDir) return {};
  const std::string path = std::string(runtimeDir) + "/bus";
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return {};
  return "unix:path=" + escapeValue(path);
}

void SessionBus::setHostLookupProgramForTesting(const std::string& program) { g_lookupProgram = program; }
void SessionBus::setProcessDescriptorsForTesting(bool use) { g_processDescriptors = use; }

std::vector<SessionBus::HostAddress> SessionBus::parseHostAddresses(std::string_view output, uint16_t port,
                                                                      int family) {
  std::vector<HostAddress> addresses;
  auto word = [](std::string_view& line) {
    const size_t begin = std::min(line.find_first_not_of(" \t"), line.size());
    line.remove_prefix(begin);
    const size_t end = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view w = line.substr(0, end);
    line.remove_prefix(end);
    return w;
  };
  while (!output.empty() && addresses.size() < MaxHostAddresses) {
    std::string_view line = takePiece(output, '\n');
    const std::string_view written = word(line);
    // A nul would end the text early for the address functions: not an address.
    if (word(line) != "STREAM" || written.find('\0') != std::string_view::npos) continue;
    const size_t percent = written.find('%');
    const std::string text(written.substr(0, percent));
    std::optional<uint32_t> scope;
    if (percent != std::string_view::npos) {
      scope = scopeId(written.substr(percent + 1));
      if (!scope) continue;
    }
    HostAddress a;
    if (auto* v4 = reinterpret_cast<sockaddr_in*>(&a.address);
        family != AF_INET6 && !scope && ::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(port);
      a.length = sizeof(sockaddr_in);
    } else if (auto* v6 = reinterpret_cast<sockaddr_in6*>(&a.address);
               family != AF_INET && ::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1 &&
               !IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(port);
      v6->sin6_scope_id = scope.value_or(0);
      a.length = sizeof(sockaddr_in6);
    } else {
      continue;
    }
    const bool seen = std::any_of(addresses.begin(), addresses.end(), [&a](const HostAddress& b) {
      return b.length == a.length && std::memcmp(&b.address, &a.address, a.length) == 0;
    });
    if (!seen) addresses.push_back(a);
  }
  return addresses;
}

SessionBus::Verdict SessionBus::ask(const std::string& address, std::chrono::milliseconds limit, int interruptFd) {
  Wait wait(limit, interruptFd);
  const auto entries = parseAddress(address);
  if (!entries || entries->empty()) return Verdict::NotLookedAt;
  for (const Entry& entry : *entries) {
    const Connection connection = connectEntry(entry, wait);
    switch (connection.outcome) {
      case Connection::Outcome::Taken: return exchange(connection.fd, wait);
      case Connection::Outcome::StillBeingMade: return Verdict::Silent;
      case Connection::Outcome::Interrupted:
      case Connection::Outcome::NotLookedAt: return Verdict::NotLookedAt;
      case Connection::Outcome::NotTaken: break;
    }
  }
  return Verdict::Unreachable;
}

bool SessionBus::keepFromHangingTheStart(std::chrono::milliseconds limit, int interruptFd) {
  const std::string where = address();
  if (where.empty() || ask(where, limit, interruptFd) != Verdict::Silent) return false;
  // An address of a transport the library does not know makes it fail at once, without looking
  // for a bus elsewhere; unsetting the variable instead would let it autolaunch a bus of its own,
  // which would outlive the program. Children started from here inherit it, as they should.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g s", std::chrono::duration<double>(limit).count());
  core::logNotice("The session bus at " + displayableWords(where) + " did not answer within " + seconds +
                  ": the window is shown without it (no screen saver inhibition, input methods or desktop settings).");
  return true;
}

std::string SessionBus::authRequest(unsigned uid) {
  static const char* const digits = "0123456789abcdef";
  std::string request("\0AUTH EXTERNAL ", 15);
  for (const char c : std::to_string(uid)) {
    request.push_back(digits[static_cast<unsigned char>(c) >> 4]);
    request.push_back(digits[static_cast<unsigned char>(c) & 15]);
  }
  return request + "\r\n";
}

std::string SessionBus::helloRequest() {
  std::string fields;
  putField(fields, 1, 'o', "/org/freedesktop/DBus");  // PATH
  putField(fields, 6, 's', "org.freedesktop.DBus");   // DESTINATION
  putField(fields, 2, 's', "org.freedesktop.DBus");   // INTERFACE
  putField(fields, 3, 's', "Hello");                  // MEMBER
  std::string message = "l";
  message.push_back(1);  // METHOD_CALL
  message.push_back(0);  // no flags
  message.push_back(1);  // protocol version
  putUint32(message, 0);  // no body
  putUint32(message, 1);  // serial
  putUint32(message, static_cast<uint32_t>(fields.size()));
  message += fields;
  align(message, 8);  // the header ends on a multiple of 8, body or not
  return "BEGIN\r\n" + message;
}

// ---- AnswerReader ----------------------------------------------------------------------------

SessionBus::AnswerReader::State SessionBus::AnswerReader::feed(std::string_view bytes) {
  while (m_state == State::Auth && !bytes.empty()) {
    // A line is complete at its first "\r\n"; one that has not ended within MaxLineBytes + 2
    // bytes never will. Looking no further than that keeps the result the same however the
    // bytes are cut.
    const std::string_view window = bytes.substr(0, MaxLineBytes + 2 - m_line.size());
    const size_t newline = window.find('\n');
    const size_t take = newline == std::string_view::npos ? window.size() : newline + 1;
    m_line.append(window.substr(0, take));
    bytes.remove_prefix(take);
    if (m_line.size() >= 2 && m_line.back() == '\n' && m_line[m_line.size() - 2] == '\r') {
      const std::string_view line = std::string_view(m_line).substr(0, m_line.size() - 2);
      m_state = line == "OK" || line.substr(0, 3) == "OK " ? State::Hello : State::Refused;
      m_line.clear();
      m_line.shrink_to_fit();
    } else if (m_line.size() == MaxLineBytes + 2) {
      m_state = State::Garbled;
    }
  }
  if (m_state == State::Hello) feedMessages(bytes);
  return m_state;
}

// Messages until the reply: each one's fixed 16 bytes read, the reply ends the look, any other
// (a signal the bus sent first) is passed over whole.
void SessionBus::AnswerReader::feedMessages(std::string_view bytes) {
  constexpr uint64_t MaxMessageBytes = uint64_t{1} << 27;
  constexpr uint64_t MaxArrayBytes = uint64_t{1} << 26;
  while (m_state == State::Hello && !bytes.empty()) {
    if (m_skip > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(m_skip, bytes.size()));
      m_skip -= n;
      bytes.remove_prefix(n);
      continue;
    }
    const size_t n = std::min(16 - m_header.size(), bytes.size());
    m_header.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
    if (m_header.size() < 16) break;
    const char order = m_header[0];
    const auto type = static_cast<uint8_t>(m_header[1]);
    if ((order != 'l' && order != 'B') || m_header[3] != 1 || type == 0) {
      m_state = State::Garbled;
      break;
    }
    if (type == 2 || type == 3) {  // METHOD_RETURN, ERROR
      m_state = State::Replied;
      break;
    }
    const uint64_t body = readUint32(m_header, 4, order == 'B');
    const uint64_t fields = readUint32(m_header, 12, order == 'B');
    const uint64_t header = (16 + fields + 7) / 8 * 8;
    if (fields > MaxArrayBytes || header + body > MaxMessageBytes) {
      m_state = State::Garbled;
      break;
    }
    m_skip = header + body - 16;
    m_header.clear();
  }
}

}  // namespace display
