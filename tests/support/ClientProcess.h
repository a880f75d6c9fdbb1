#pragma once

// The client program run as a child, as a supervisor runs it: its environment changed by the
// test, its standard error (its log) read by the test, its end and exit status waited for.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildEnvironment.h"

namespace support {

// Sends the client program `signal`. On the ThreadSanitizer build a termination signal goes to
// the program's thread that hears them ("signals", waiting in poll; the first of that name, as a
// thread it starts bears its name until it names itself), or to its main thread before that
// thread exists, instead of to the whole process: the kernel gives a process's signal to any
// of its threads, and ThreadSanitizer holds one that lands on a library's thread parked on a raw
// futex until that thread wakes, which may be never. Everywhere else the process is signalled,
// as a supervisor does.
inline void signalProgram(pid_t pid, int signal) {
#if defined(__SANITIZE_THREAD__)
  if (signal == SIGTERM || signal == SIGINT) {
    pid_t to = pid;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        char name[32] = {};
        const int fd = ::open((tasks + "/" + entry->d_name + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const ssize_t n = ::read(fd, name, sizeof name - 1);
        ::close(fd);
        const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (n > 0 && std::string(name, static_cast<size_t>(n)) == "signals\n" && (to == pid || tid < to)) to = tid;
      }
      closedir(dir);
    }
    ::syscall(SYS_tgkill, pid, to, signal);
    return;
  }
#endif
  ::kill(pid, signal);
}

class ClientProcess {
 public:
  ClientProcess() = default;
  ~ClientProcess() { end(); }
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;

  // What becomes of the child's standard error: a pipe the test reads, or one whose reading end
  // is closed from the start (a supervisor's that stopped reading).
  enum class StandardError { Read, NobodyReads };

  // Starts `program` with these arguments and this environment changed by `env` ("NAME=value", or
  // "NAME" to remove), its log on standard error. A child started before is killed if it still
  // runs and what it said is forgotten, so that one object starts the program again as a
  // supervisor does. False when it could not be started.
  bool start(const char* program, const std::vector<std::string>& env,
             StandardError err = StandardError::Read, const std::vector<std::string>& args = {}) {
    end();
    m_said.clear();
    ChildEnvironment environment(env, {"KT_OFFSCREEN", "SDL_VIDEODRIVER", "KT_LOG_STDERR"}, {"KT_LOG_STDERR=1"});
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    if (err == StandardError::NobodyReads) {
      close(fds[0]);
      fds[0] = -1;
    }
    std::vector<const char*> argv{program};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid < 0) {
      if (fds[0] >= 0) close(fds[0]);
      close(fds[1]);
      return false;
    }
    if (m_pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      for (int ignored : m_ignored) ::signal(ignored, SIG_IGN);
      dup2(fds[1], 2);
      int out = ::open("/dev/null", O_WRONLY);
      if (out >= 0) dup2(out, 1);
      execve(argv[0], const_cast<char* const*>(argv.data()), environment.envp());
      _exit(127);
    }
    close(fds[1]);
    m_err = fds[0];
    return true;
  }

  // The signals the next start()s leave ignored in the program, as a launcher that ignores them
  // does (their disposition passes through exec).
  void ignoreInProgram(std::vector<int> signals) { m_ignored = std::move(signals); }

  // Reads the standard error until it holds `text` (true) or ends (false); gives up after a minute.
  bool readUntil(const std::string& text) {
    if (m_err < 0) return false;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_said.find(text) == std::string::npos && std::chrono::steady_clock::now() < until) {
      pollfd p{m_err, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[4096];
      ssize_t n = read(m_err, buf, sizeof buf);
      if (n <= 0) return false;
      m_said.append(buf, static_cast<size_t>(n));
    }
    return m_said.find(text) != std::string::npos;
  }

  // The exit status once it has ended (128 + the signal when a signal ended it), -1 when it has
  // not within `seconds`.
  int exitStatus(int seconds = 60) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (m_pid > 0 && std::chrono::steady_clock::now() < until) {
      // To its end, so that it never waits on a full pipe.
      if (m_err >= 0) {
        pollfd p{m_err, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
          char buf[4096];
          ssize_t n = read(m_err, buf, sizeof buf);
          if (n > 0) m_said.append(buf, static_cast<size_t>(n));
          else close(m_err), m_err = -1;
        }
      } else {
        poll(nullptr, 0, 20);
      }
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    return m_pid > 0 ? -1 : m_status;
  }

  // Sends it a signal; the time it was sent is kept (sinceSignal()).
  void signal(int signal) {
    if (m_pid <= 0) return;
    m_signalled = std::chrono::steady_clock::now();
    signalProgram(m_pid, signal);
  }
  // Seconds from the last signal() to now.
  double sinceSignal() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_signalled).count();
  }

  pid_t pid() const { return m_pid; }
  const std::string& said() const { return m_said; }

 private:
  // The child killed if it still runs, and its pipe closed.
  void end() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
      m_pid = -1;
    }
    if (m_err >= 0) close(m_err);
    m_err = -1;
  }

  pid_t m_pid = -1;
  int m_err = -1;
  int m_status = -1;
  std::string m_said;
  std::vector<int> m_ignored;
  std::chrono::steady_clock::time_point m_signalled;
};

}  // namespace support
