#pragma once

// Runs the client program in a child process with a controlled environment and collects what it
// prints, for the tests of the program itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildEnvironment.h"

namespace clientrun {

struct Outcome {
  int status = -1;  // -1: still running after a minute (it was killed)
  std::string out, err;
};

// How the client is started: its arguments, its environment changed by `env` ("NAME=value", or
// "NAME" to remove), its standard output into a file instead of the pipe the test reads, and the
// program run in its place (the client's path then goes among `wrapper`'s arguments).
struct Launch {
  Launch() = default;
  explicit Launch(std::vector<std::string> arguments, std::vector<std::string> changes = {})
      : args(std::move(arguments)), env(std::move(changes)) {}

  std::vector<std::string> args;
  std::vector<std::string> env;
  std::string stdoutPath;
  std::vector<std::string> wrapper;
  std::string program = KT_CLIENT_PATH;
};

// Runs the client offscreen, its log on standard error, and collects what it prints until it
// ends.
inline Outcome runClientWith(const Launch& launch) {
  // "KT_OFFSCREEN" alone in `env` leaves it unset, for a run that opens (or fails to open) a display.
  support::ChildEnvironment environment(launch.env, {"KT_OFFSCREEN", "KT_LOG_STDERR", "KT_SCREENS_DIR"},
                                        {"KT_OFFSCREEN=1", "KT_LOG_STDERR=1"});
  std::vector<std::string> all = launch.wrapper;
  all.push_back(launch.program);
  all.insert(all.end(), launch.args.begin(), launch.args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  Outcome run;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (launch.stdoutPath.empty()) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, launch.stdoutPath.c_str(), O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.envp());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned == 0) {
    // Both pipes to their end (the program ended), or a minute if it runs on.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < until) {
      if (poll(fds, 2, 100) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buf[4096];
        const ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
          into[i]->append(buf, static_cast<size_t>(n));
        } else {
          fds[i].fd = -1;
          --open;
        }
      }
    }
    if (open > 0) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (open == 0) run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  close(out[0]);
  close(err[0]);
  return run;
}

inline Outcome runClient(const std::vector<std::string>& args) { return runClientWith(Launch{args}); }

}  // namespace clientrun
