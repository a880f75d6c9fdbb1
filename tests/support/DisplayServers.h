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

extern char** environ;

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string var = *e;
    std::string name = var.substr(0, var.find('='));
    bool replaced = false;
    for (const auto& c : env) replaced = replaced || c.substr(0, c.find('=')) == name;
    if (!replaced) vars.push_back(var);
  }
  for (const auto& c : env) {
    if (c.find('=') != std::string::npos) vars.push_back(c);
  }
  std::vector<char*> envp;
  for (auto& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (keepOpen >= 0) fcntl(keepOpen, F_SETFD, 0);  // stays open across exec
  int out = ::open("/dev/null", O_WRONLY);
  if (out >= 0) dup2(out, 2), dup2(out, 1);
  execve(argv[0], const_cast<char* const*>(argv), envp.data());
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

// Xvfb on a display number it picks itself, reported on a pipe once it accepts connections.
class XServer {
 public:
  explicit XServer(const std::string& size = "1280x1024x24") : m_size(size) { start(""); }
  ~XServer() { detail::stop(m_pid); }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // ":N", empty when the server did not start.
  const std::string& display() const { return m_display; }
  // Ends the server with `signal` under whoever uses it, and waits until it is gone.
  void kill(int signal) { detail::end(m_pid, signal); }
  // Sends the server a signal that does not end it (SIGSTOP, SIGCONT).
  void signal(int signal) {
    if (m_pid > 0) ::kill(m_pid, signal);
  }
  // Starts the server again on the same display number after kill(); true once it accepts
  // connections.
  bool restart() {
    if (m_display.empty() || m_pid > 0) return false;
    const std::string name = m_display;
    start(name);
    return m_display == name;
  }

 private:
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
  std::string m_display;
};

// Weston in a window of the X server `xDisplay`, its output `width` x `height`, its socket in a
// runtime folder of its own, with the kiosk shell or (`desktop`) the desktop shell and its panel.
// Ready once its socket accepts a connection: a client's first round trip is answered only after
// the shell has loaded.
class WestonServer {
 public:
  WestonServer(const std::string& xDisplay, int width, int height, bool desktop = false)
      : m_xDisplay(xDisplay), m_width(width), m_height(height), m_desktop(desktop) {
    std::string program = findProgram("weston");
    if (program.empty() || xDisplay.empty()) return;
    char dir[] = "/tmp/kt-weston-XXXXXX";
    if (!mkdtemp(dir)) return;  // 0700, as a runtime folder must be
    m_runtimeDir = dir;
    m_socket = "wayland-kt";
    m_log = m_runtimeDir + "/weston.log";
    start();
  }
  ~WestonServer() {
    detail::stop(m_pid);
    std::error_code ignored;
    if (!m_runtimeDir.empty()) std::filesystem::remove_all(m_runtimeDir, ignored);
  }
  WestonServer(const WestonServer&) = delete;
  WestonServer& operator=(const WestonServer&) = delete;

  bool isReady() const { return m_ready; }
  // For the clients' WAYLAND_DISPLAY and XDG_RUNTIME_DIR.
  const std::string& socket() const { return m_socket; }
  const std::string& runtimeDir() const { return m_runtimeDir; }
  // Weston's own log (why it did not start).
  const std::string& logPath() const { return m_log; }
  // Ends the compositor with `signal` under its clients, and waits until it is gone.
  void kill(int signal) { detail::end(m_pid, signal); }
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
    const char* argv[] = {program.c_str(), "--backend=x11-backend.so", "--use-pixman", shell,
                          socketArg.c_str(), widthArg.c_str(), heightArg.c_str(), "--idle-time=0", "--no-config",
                          logArg.c_str(), nullptr};
    // This X server, this runtime folder, no other compositor.
    m_pid = detail::spawn(argv, {"DISPLAY=" + m_xDisplay, "XDG_RUNTIME_DIR=" + m_runtimeDir, "WAYLAND_DISPLAY"});
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
  pid_t m_pid = -1;
  bool m_ready = false;
  std::string m_runtimeDir, m_socket, m_log;
};

}  // namespace support
