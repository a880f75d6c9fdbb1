// The client program itself, in a child process, on a display that goes away under it (the X
// server or the compositor killed): it says so, stops the way it stops on SIGTERM and ends with
// status 1, so that a supervisor restarting it on failure brings the tablet back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/DisplayServers.h"
#include "support/TempHome.h"

namespace {

class ClientDisplayLossTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    if (support::findProgram("Xvfb").empty() || support::findProgram("weston").empty())
      GTEST_SKIP() << "Xvfb or weston is not installed: no display to lose";
  }
  void TearDown() override {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_err >= 0) close(m_err);
  }

  // Starts the client with this environment changed by `env` ("NAME=value", or "NAME" to
  // remove), its log on standard error, which the test reads (or, with `unread`, a pipe whose
  // reading end is closed from the start).
  void start(const std::vector<std::string>& env, bool unread = false) {
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) {
      std::string var = *e, name = var.substr(0, var.find('='));
      bool changed = name == "KT_OFFSCREEN" || name == "SDL_VIDEODRIVER" || name == "KT_LOG_STDERR";
      for (const auto& c : env) changed = changed || c.substr(0, c.find('=')) == name;
      if (!changed) vars.push_back(var);
    }
    vars.push_back("KT_LOG_STDERR=1");
    for (const auto& c : env) {
      if (c.find('=') != std::string::npos) vars.push_back(c);
    }
    std::vector<char*> envp;
    for (auto& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    if (unread) {
      close(fds[0]);
      fds[0] = -1;
    }
    const char* argv[] = {KT_CLIENT_PATH, nullptr};
    m_pid = fork();
    ASSERT_GE(m_pid, 0);
    if (m_pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(fds[1], 2);
      int out = ::open("/dev/null", O_WRONLY);
      if (out >= 0) dup2(out, 1);
      execve(argv[0], const_cast<char* const*>(argv), envp.data());
      _exit(127);
    }
    close(fds[1]);
    m_err = fds[0];
  }

  // Reads the client's standard error until it holds `text` (true) or ends (false); gives up
  // after a minute.
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

  // The client's exit status once it has ended on its own (-1 when it has not within a minute).
  int exitStatus() {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until) {
      readUntil("\x01");  // to its end, so that it never waits on a full pipe
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    return -1;
  }

  // The client started again with the same environment, as a supervisor does once it has ended.
  void startAgain(const std::vector<std::string>& env) {
    if (m_err >= 0) close(m_err);
    m_err = -1;
    m_said.clear();
    start(env);
  }

  void expectStoppedOnLoss(const std::string& where) {
    EXPECT_EQ(exitStatus(), 1) << m_said;
    // Said once, though the log goes to standard error too.
    const std::string line = "The display went away: " + where;
    EXPECT_NE(m_said.find(line), std::string::npos) << m_said;
    EXPECT_EQ(m_said.find(line), m_said.rfind(line)) << m_said;
    // Its normal stop ran.
    EXPECT_NE(m_said.find("stopped"), std::string::npos) << m_said;
  }

  pid_t m_pid = -1;
  int m_err = -1;
  std::string m_said;
};

TEST_F(ClientDisplayLossTest, TheXServerKilledEndsItWithStatusOneAndTheMessage) {
  support::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  start({"DISPLAY=" + x.display(), "WAYLAND_DISPLAY"});
  ASSERT_TRUE(readUntil("shown in a window")) << m_said;
  const std::string name = x.display();
  x.kill(SIGKILL);
  expectStoppedOnLoss("the X server at " + name);
}

TEST_F(ClientDisplayLossTest, TheCompositorKilledEndsItWithStatusOneAndTheMessage) {
  support::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  support::WestonServer weston(x.display(), 1024, 768);
  ASSERT_TRUE(weston.isReady()) << "weston did not start; see " << weston.logPath();
  start({"WAYLAND_DISPLAY=" + weston.socket(), "XDG_RUNTIME_DIR=" + weston.runtimeDir(), "DISPLAY"});
  ASSERT_TRUE(readUntil("shown in a window")) << m_said;
  weston.kill(SIGKILL);
  expectStoppedOnLoss("the Wayland compositor at " + weston.runtimeDir() + "/" + weston.socket());
}

// A kiosk under a supervisor that starts it again when it fails: the program started while the
// display is down waits for it, and shows its window once the display is back.
TEST_F(ClientDisplayLossTest, StartedAgainWhileTheXServerIsDownItShowsOnceTheServerIsBack) {
  support::XServer x("1280x1024x24", support::XServer::Restartable);
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const std::vector<std::string> env{"DISPLAY=" + x.display(), "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=300"};
  start(env);
  ASSERT_TRUE(readUntil("shown in a window")) << m_said;
  x.kill(SIGKILL);
  EXPECT_EQ(exitStatus(), 1) << m_said;
  startAgain(env);
  ASSERT_TRUE(readUntil("Waiting up to 300 s")) << m_said;
  EXPECT_EQ(m_said.find("offscreen"), std::string::npos) << m_said;
  ASSERT_TRUE(x.restart()) << "Xvfb did not start again on " << env[0];
  EXPECT_TRUE(readUntil("shown in a window")) << m_said;
}

TEST_F(ClientDisplayLossTest, StartedAgainWhileTheCompositorIsDownItShowsOnceTheCompositorIsBack) {
  support::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  support::WestonServer weston(x.display(), 1024, 768);
  ASSERT_TRUE(weston.isReady()) << "weston did not start; see " << weston.logPath();
  const std::vector<std::string> env{"WAYLAND_DISPLAY=" + weston.socket(), "XDG_RUNTIME_DIR=" + weston.runtimeDir(),
                                     "DISPLAY", "KT_DISPLAY_WAIT=300"};
  start(env);
  ASSERT_TRUE(readUntil("shown in a window")) << m_said;
  weston.kill(SIGKILL);
  EXPECT_EQ(exitStatus(), 1) << m_said;
  startAgain(env);
  ASSERT_TRUE(readUntil("Waiting up to 300 s")) << m_said;
  ASSERT_TRUE(weston.restart()) << "weston did not start again; see " << weston.logPath();
  EXPECT_TRUE(readUntil("shown in a window")) << m_said;
}

// A compositor hung while it starts (its socket takes connections, nothing answers): the program
// ends with status 0 at SIGTERM, as systemd's stop sends it, instead of waiting on the socket for
// ever with its signals held.
TEST_F(ClientDisplayLossTest, ACompositorThatNeverAnswersLetsSigtermEndItAtOnce) {
  support::TempHome runtime;
  auto hung = support::HungDisplay::wayland(runtime.path() + "/wayland-hung", support::HungDisplay::Silent);
  ASSERT_NE(hung, nullptr);
  start({"WAYLAND_DISPLAY=wayland-hung", "XDG_RUNTIME_DIR=" + runtime.path(), "DISPLAY", "KT_DISPLAY_WAIT=300"});
  ASSERT_TRUE(readUntil("started: resources")) << m_said;
  kill(m_pid, SIGTERM);
  EXPECT_EQ(exitStatus(), 0) << m_said;
}

// An X server that never answers: the wait ends when it is over, with the reason and status 1.
TEST_F(ClientDisplayLossTest, AnXServerThatNeverAnswersEndsItWithStatusOneWhenTheWaitIsOver) {
  auto hung = support::HungDisplay::x11(support::HungDisplay::Silent);
  ASSERT_NE(hung, nullptr);
  start({"DISPLAY=" + hung->display(), "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=2"});
  EXPECT_EQ(exitStatus(), 1) << m_said;
  EXPECT_NE(m_said.find("the X server at " + hung->display() + " does not answer (waited 2 s). Stopping."),
            std::string::npos)
      << m_said;
}

// Standard error a pipe nobody reads (a supervisor's that stopped reading): the notices fail,
// the program does not die of them, and ends as it would have with status 1.
TEST_F(ClientDisplayLossTest, AStandardErrorNobodyReadsDoesNotKillIt) {
  start({"DISPLAY=:4321", "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=0"}, true);
  EXPECT_EQ(exitStatus(), 1);
}

// A display that does not come within the wait: the reason and status 1, never a program that
// runs on with nothing shown.
TEST_F(ClientDisplayLossTest, ADisplayThatDoesNotComeEndsItWithStatusOneAndTheReason) {
  start({"DISPLAY=:4321", "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=0"});
  EXPECT_EQ(exitStatus(), 1) << m_said;
  EXPECT_NE(m_said.find("No window could be opened on the desktop (WAYLAND_DISPLAY unset, DISPLAY=:4321)"),
            std::string::npos)
      << m_said;
  EXPECT_NE(m_said.find("no X server answers at :4321 (/tmp/.X11-unix/X4321: No such file or directory)"),
            std::string::npos)
      << m_said;
  EXPECT_NE(m_said.find("Stopping."), std::string::npos) << m_said;
  EXPECT_EQ(m_said.find("shown offscreen"), std::string::npos) << m_said;
}

}  // namespace
