#pragma once

// Private display servers for tests and benchmarks that open a real window: an X server (Xvfb)
// and a Wayland compositor (Weston with its X11 backend and the pixman renderer, nested in that X
// server, with the kiosk shell, which gives every window the whole output). Each picks a name of
// its own, is ready when its constructor returns, stops when the object goes and dies with the
// program if that crashes. Header-only, so the benchmarks use it without the test harness.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ChildEnvironment.h"

namespace support {

// The program's path on $PATH, empty when it is not there.
inline std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

namespace detail {

// Forks a server that ends with its parent, its output nowhere, with this program's environment
// changed by `env` ("NAME=value" sets, "NAME" alone removes): made before the fork, so the child
// only calls what is safe after a fork in a program with threads.
inline pid_t spawn(const char* const* argv, const std::vector<std::string>& env = {}, int keepOpen = -1) {
  ChildEnvironment environment(env, {}, {});
  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (keepOpen >= 0) fcntl(keepOpen, F_SETFD, 0);  // stays open across exec
  int out = ::open("/dev/null", O_WRONLY);
  if (out >= 0) dup2(out, 2), dup2(out, 1);
  execve(argv[0], const_cast<char* const*>(argv), environment.envp());
  _exit(127);
}

// Ends the server with `signal` and waits for it; the pid is forgotten.
inline void end(pid_t& pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

inline void stop(pid_t pid) { end(pid, SIGTERM); }

}  // namespace detail

// Xvfb on a display number it picks itself (the lowest free one), reported on a pipe once it
// accepts connections. A server that is to be killed and started again on its number (Restartable)
// takes a number from a range no other server picks by itself, and while it is down its number
// stays taken by a lock file of this process, as a running server's is: so no other test's server
// takes the number meanwhile and the clients waiting for it meet only this server again.
class XServer {
 public:
  enum Numbering { LowestFree, Restartable };
  // `arguments` go to Xvfb after the others (such as "-auth", a file).
  explicit XServer(const std::string& size = "1280x1024x24", Numbering numbering = LowestFree,
                   std::vector<std::string> arguments = {})
      : m_size(size), m_arguments(std::move(arguments)) {
    if (numbering == LowestFree) {
      start("");
      return;
    }
    // A number of its own: the first free one from a place of this process in the range.
    const int first = ReservedFirst + static_cast<int>(getpid() % ReservedCount);
    for (int i = 0; i < ReservedCount && m_display.empty(); ++i) {
      const std::string name = ":" + std::to_string(ReservedFirst + (first - ReservedFirst + i) % ReservedCount);
      if (access(lockPath(name).c_str(), F_OK) == 0) continue;
      start(name);
      if (m_display.empty()) detail::stop(m_pid);  // taken after all: the server gave up
    }
  }
  ~XServer() {
    detail::stop(m_pid);
    releaseNumber();
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // ":N", empty when the server did not start.
  const std::string& display() const { return m_display; }
  // Ends the server with `signal` under whoever uses it, and waits until it is gone; its number
  // stays this server's until restart().
  void kill(int signal) {
    detail::end(m_pid, signal);
    holdNumber();
  }
  // Sends the server a signal that does not end it (SIGSTOP, SIGCONT).
  void signal(int signal) {
    if (m_pid > 0) ::kill(m_pid, signal);
  }
  // Starts the server again on the same display number after kill(); true once it accepts
  // connections.
  bool restart() {
    if (m_display.empty() || m_pid > 0) return false;
    const std::string name = m_display;
    releaseNumber();
    start(name);
    return m_display == name;
  }

 private:
  // The numbers restartable servers take: far above those the lowest-free servers reach.
  static constexpr int ReservedFirst = 600, ReservedCount = 300;

  static std::string lockPath(const std::string& display) { return "/tmp/.X" + display.substr(1) + "-lock"; }

  // Takes the number of the server just ended as X servers do: a lock file naming a live process
  // (this one), written whole under another name and then put in place.
  void holdNumber() {
    if (m_display.empty() || m_holding) return;
    const std::string path = lockPath(m_display), temporary = path + ".kt" + std::to_string(getpid());
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0444);
    if (fd < 0) return;
    const bool written = write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
    close(fd);
    m_holding = written && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!m_holding) unlink(temporary.c_str());
  }
  void releaseNumber() {
    if (m_holding) unlink(lockPath(m_display).c_str());
    m_holding = false;
  }

  // On `display` (":N"), or on a number of its own when that is empty.
  void start(const std::string& display) {
    m_display.clear();
    std::string program = findProgram("Xvfb");
    if (program.empty()) return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::string fdText = std::to_string(fds[1]);
    std::vector<const char*> argv{program.c_str()};
    if (!display.empty()) argv.push_back(display.c_str());
    for (const char* a : {"-displayfd", fdText.c_str(), "-screen", "0", m_size.c_str(), "-nolisten", "tcp", "-noreset"})
      argv.push_back(a);
    for (const auto& a : m_arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    m_pid = detail::spawn(argv.data(), {}, fds[1]);
    close(fds[1]);
    if (m_pid < 0) {
      close(fds[0]);
      return;
    }
    // The display number, then a newline.
    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    while (text.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0) {
      char buf[16];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (text.find('\n') != std::string::npos) m_display = ":" + text.substr(0, text.find('\n'));
  }

  pid_t m_pid = -1;
  std::string m_size;
  std::vector<std::string> m_arguments;
  std::string m_display;
  bool m_holding = false;  // the lock file of m_display is this process's
};

// Weston in a window of the X server `xDisplay`, its output `width` x `height`, its socket in a
// runtime folder of its own, with the kiosk shell or (`desktop`) the desktop shell and its panel.
// Or Weston with its headless backend (Headless): no X server, one output, and no seat, as a
// compositor whose input devices are not there yet offers none. Ready once its socket accepts a
// connection: a client's first round trip is answered only after the shell has loaded.
class WestonServer {
 public:
  WestonServer(const std::string& xDisplay, int width, int height, bool desktop = false)
      : m_xDisplay(xDisplay), m_width(width), m_height(height), m_desktop(desktop) {
    if (xDisplay.empty()) return;
    begin();
  }
  struct Headless {};
  WestonServer(Headless, int width, int height) : m_width(width), m_height(height), m_headless(true) { begin(); }
  ~WestonServer() {
    detail::stop(m_pid);
    std::error_code ignored;
    if (!m_runtimeDir.empty()) std::filesystem::remove_all(m_runtimeDir, ignored);
  }
  WestonServer(const WestonServer&) = delete;
  WestonServer& operator=(const WestonServer&) = delete;

  // Whether the headless backend is installed beside weston.
  static bool hasHeadlessBackend() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/x86_64-linux-gnu", ignored)) {
      if (entry.path().filename().string().rfind("libweston-", 0) == 0 &&
          std::filesystem::exists(entry.path() / "headless-backend.so", ignored))
        return true;
    }
    return false;
  }

 private:
  void begin() {
    std::string program = findProgram("weston");
    if (program.empty()) return;
    char dir[] = "/tmp/kt-weston-XXXXXX";
    if (!mkdtemp(dir)) return;  // 0700, as a runtime folder must be
    m_runtimeDir = dir;
    m_socket = "wayland-kt";
    m_log = m_runtimeDir + "/weston.log";
    start();
  }

 public:
  bool isReady() const { return m_ready; }
  // For the clients' WAYLAND_DISPLAY and XDG_RUNTIME_DIR.
  const std::string& socket() const { return m_socket; }
  const std::string& runtimeDir() const { return m_runtimeDir; }
  // Weston's own log (why it did not start).
  const std::string& logPath() const { return m_log; }
  // What the log holds, for a failure's message: the folder is removed with the compositor.
  std::string log() const {
    std::ifstream in(m_log);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Ends the compositor with `signal` under its clients, and waits until it is gone.
  void kill(int signal) { detail::end(m_pid, signal); }
  // Sends the compositor a signal that does not end it (SIGSTOP, SIGCONT).
  void signal(int signal) {
    if (m_pid > 0) ::kill(m_pid, signal);
  }
  // Starts the compositor again on the same socket after kill(); true once it is ready.
  bool restart() {
    if (m_runtimeDir.empty() || m_pid > 0) return false;
    start();
    return m_ready;
  }

 private:
  void start() {
    m_ready = false;
    std::string program = findProgram("weston");
    if (program.empty()) return;
    std::string widthArg = "--width=" + std::to_string(m_width), heightArg = "--height=" + std::to_string(m_height);
    std::string socketArg = "--socket=" + m_socket, logArg = "--log=" + m_log;
    const char* shell = m_desktop ? "--shell=desktop-shell.so" : "--shell=kiosk-shell.so";
    const char* backend = m_headless ? "--backend=headless-backend.so" : "--backend=x11-backend.so";
    const char* argv[] = {program.c_str(), backend, "--use-pixman", shell,
                          socketArg.c_str(), widthArg.c_str(), heightArg.c_str(), "--idle-time=0", "--no-config",
                          logArg.c_str(), nullptr};
    // This X server (none for the headless backend), this runtime folder, no other compositor.
    m_pid = detail::spawn(argv, {m_headless ? "DISPLAY" : "DISPLAY=" + m_xDisplay, "XDG_RUNTIME_DIR=" + m_runtimeDir,
                                 "WAYLAND_DISPLAY"});
    if (m_pid < 0) return;
    std::string path = m_runtimeDir + "/" + m_socket;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      if (accepts(path)) {
        m_ready = true;
        return;
      }
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  static bool accepts(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
  }

  std::string m_xDisplay;
  int m_width = 0, m_height = 0;
  bool m_desktop = false;
  bool m_headless = false;
  pid_t m_pid = -1;
  bool m_ready = false;
  std::string m_runtimeDir, m_socket, m_log;
};

}  // namespace support
