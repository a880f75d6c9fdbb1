#pragma once

// A piece of a test run in a forked child, for what ends or changes the whole process (an exit
// with a status, the environment): its status and what it wrote to standard error.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace support {

struct ChildEnded {
  int status = -1;  // 128 + the signal when a signal ended it
  std::string said;
};

// Runs `body` in a child, its standard error kept; the child ends with what `body` returns. Once
// the child has said `cue` (when there is one), `atCue` runs here with the child's process.
inline ChildEnded runInChild(const std::function<int()>& body, const std::string& cue = {},
                             const std::function<void(pid_t)>& atCue = {}) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (child == 0) {
    close(fds[0]);
    dup2(fds[1], 2);
    _exit(body());
  }
  close(fds[1]);
  ChildEnded ended;
  char buf[512];
  bool cued = cue.empty();
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
    ended.said.append(buf, static_cast<size_t>(n));
    if (!cued && ended.said.find(cue) != std::string::npos) {
      cued = true;
      atCue(child);
    }
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return ended;
}

}  // namespace support
