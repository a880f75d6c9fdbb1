// The client program's own command line, in a child process: --help and --version answer and end
// it with status 0, an argument it does not know ends it with status 2 before anything starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/TempHome.h"

namespace {

struct Outcome {
  int status = -1;  // -1: still running after a minute (it was killed)
  std::string out, err;
};

// Runs the client with these arguments, offscreen, its log on standard error, and collects what it
// prints until it ends.
Outcome runClient(const std::vector<std::string>& args) {
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    const std::string var = *e, name = var.substr(0, var.find('='));
    if (name != "KT_OFFSCREEN" && name != "KT_LOG_STDERR" && name != "KT_SCREENS_DIR") vars.push_back(var);
  }
  vars.push_back("KT_OFFSCREEN=1");
  vars.push_back("KT_LOG_STDERR=1");
  std::vector<char*> envp;
  for (auto& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> all{KT_CLIENT_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  Outcome run;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
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

class ClientArgumentsTest : public support::TempHomeTest {};

TEST_F(ClientArgumentsTest, HelpAndVersionAnswerWithStatusZeroWithoutStarting) {
  const Outcome help = runClient({"--help"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out.rfind("ktv_client " KT_PROJECT_VERSION, 0), 0u) << help.out;
  EXPECT_NE(help.out.find("-Server_Ip ADDRESS"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("KT_FULLSCREEN=1"), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");

  const Outcome version = runClient({"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  // "ktv_client 1.0.0", with the commit after it where it was built from a repository.
  EXPECT_EQ(version.out.rfind("ktv_client " KT_PROJECT_VERSION, 0), 0u) << version.out;
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;
  EXPECT_EQ(version.err, "");
}

TEST_F(ClientArgumentsTest, AnArgumentItDoesNotKnowEndsItWithStatusTwoBeforeItStarts) {
  // Pointed at loopback, should it start all the same.
  const Outcome run = runClient({"-Server_Ip", "127.0.0.1", "--no-such-option"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("\"--no-such-option\""), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("ktv_client --help"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("started:"), std::string::npos) << run.err;
}

}  // namespace
