// The client program itself, in a child process, on a display that goes away under it (the X
// server or the compositor killed): it says so, stops the way it stops on SIGTERM and ends with
// status 1, so that a supervisor restarting it on failure brings the tablet back.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "support/ClientProcess.h"
#include "support/DisplayServers.h"
#include "support/StandInDisplay.h"
#include "support/TempHome.h"

namespace {

class ClientDisplayLossTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    if (support::findProgram("Xvfb").empty() || support::findProgram("weston").empty())
      GTEST_SKIP() << "Xvfb or weston is not installed: no display to lose";
  }

  // Starts the client (again, as a supervisor does once it has ended) with this environment
  // changed by `env`, its standard error read by the test or, with NobodyReads, a pipe whose
  // reading end is closed from the start.
  void start(const std::vector<std::string>& env,
             support::ClientProcess::StandardError err = support::ClientProcess::StandardError::Read) {
    ASSERT_TRUE(m_client.start(KT_CLIENT_PATH, env, err));
  }
  bool readUntil(const std::string& text) { return m_client.readUntil(text); }
  int exitStatus() { return m_client.exitStatus(); }
  const std::string& said() const { return m_client.said(); }

  void expectStoppedOnLoss(const std::string& where) {
    EXPECT_EQ(exitStatus(), 1) << said();
    // Said once, though the log goes to standard error too.
    const std::string line = "The display went away: " + where;
    EXPECT_NE(said().find(line), std::string::npos) << said();
    EXPECT_EQ(said().find(line), said().rfind(line)) << said();
    // Its normal stop ran.
    EXPECT_NE(said().find("stopped"), std::string::npos) << said();
  }

  support::ClientProcess m_client;
};

TEST_F(ClientDisplayLossTest, TheXServerKilledEndsItWithStatusOneAndTheMessage) {
  support::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  start({"DISPLAY=" + x.display(), "WAYLAND_DISPLAY"});
  ASSERT_TRUE(readUntil("shown in a window")) << said();
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
  ASSERT_TRUE(readUntil("shown in a window")) << said();
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
  ASSERT_TRUE(readUntil("shown in a window")) << said();
  x.kill(SIGKILL);
  EXPECT_EQ(exitStatus(), 1) << said();
  start(env);
  ASSERT_TRUE(readUntil("Waiting up to 300 s")) << said();
  EXPECT_EQ(said().find("offscreen"), std::string::npos) << said();
  ASSERT_TRUE(x.restart()) << "Xvfb did not start again on " << env[0];
  EXPECT_TRUE(readUntil("shown in a window")) << said();
}

TEST_F(ClientDisplayLossTest, StartedAgainWhileTheCompositorIsDownItShowsOnceTheCompositorIsBack) {
  support::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  support::WestonServer weston(x.display(), 1024, 768);
  ASSERT_TRUE(weston.isReady()) << "weston did not start; see " << weston.logPath();
  const std::vector<std::string> env{"WAYLAND_DISPLAY=" + weston.socket(), "XDG_RUNTIME_DIR=" + weston.runtimeDir(),
                                     "DISPLAY", "KT_DISPLAY_WAIT=300"};
  start(env);
  ASSERT_TRUE(readUntil("shown in a window")) << said();
  weston.kill(SIGKILL);
  EXPECT_EQ(exitStatus(), 1) << said();
  start(env);
  ASSERT_TRUE(readUntil("Waiting up to 300 s")) << said();
  ASSERT_TRUE(weston.restart()) << "weston did not start again; see " << weston.logPath();
  EXPECT_TRUE(readUntil("shown in a window")) << said();
}

// A compositor hung while it starts (its socket takes connections, nothing answers): the program
// ends with status 0 at SIGTERM, as systemd's stop sends it, instead of waiting on the socket for
// ever with its signals held.
TEST_F(ClientDisplayLossTest, ACompositorThatNeverAnswersLetsSigtermEndItAtOnce) {
  support::TempHome runtime;
  auto hung = support::StandInDisplay::wayland(runtime.path() + "/wayland-hung", support::StandInDisplay::Silent);
  ASSERT_NE(hung, nullptr);
  start({"WAYLAND_DISPLAY=wayland-hung", "XDG_RUNTIME_DIR=" + runtime.path(), "DISPLAY", "KT_DISPLAY_WAIT=300"});
  ASSERT_TRUE(readUntil("started: resources")) << said();
  m_client.signal(SIGTERM);
  EXPECT_EQ(exitStatus(), 0) << said();
}

// An X server that never answers: the wait ends when it is over, with the reason and status 1.
TEST_F(ClientDisplayLossTest, AnXServerThatNeverAnswersEndsItWithStatusOneWhenTheWaitIsOver) {
  auto hung = support::StandInDisplay::x11(support::StandInDisplay::Silent);
  ASSERT_NE(hung, nullptr);
  start({"DISPLAY=" + hung->display(), "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=2"});
  EXPECT_EQ(exitStatus(), 1) << said();
  EXPECT_NE(said().find("the X server at " + hung->display() + " does not answer (waited 2 s). Stopping."),
            std::string::npos)
      << said();
}

// Standard error a pipe nobody reads (a supervisor's that stopped reading): the notices fail,
// the program does not die of them, and ends as it would have with status 1.
TEST_F(ClientDisplayLossTest, AStandardErrorNobodyReadsDoesNotKillIt) {
  start({"DISPLAY=:4321", "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=0"}, support::ClientProcess::StandardError::NobodyReads);
  EXPECT_EQ(exitStatus(), 1);
}

// A display that does not come within the wait: the reason and status 1, never a program that
// runs on with nothing shown.
TEST_F(ClientDisplayLossTest, ADisplayThatDoesNotComeEndsItWithStatusOneAndTheReason) {
  start({"DISPLAY=:4321", "WAYLAND_DISPLAY", "KT_DISPLAY_WAIT=0"});
  EXPECT_EQ(exitStatus(), 1) << said();
  EXPECT_NE(said().find("No window could be opened on the desktop (WAYLAND_DISPLAY unset, DISPLAY=:4321)"),
            std::string::npos)
      << said();
  EXPECT_NE(said().find("no X server answers at :4321 (/tmp/.X11-unix/X4321: No such file or directory)"),
            std::string::npos)
      << said();
  EXPECT_NE(said().find("Stopping."), std::string::npos) << said();
  EXPECT_EQ(said().find("shown offscreen"), std::string::npos) << said();
}

}  // namespace
