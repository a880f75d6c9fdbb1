// The bound on the window system's start, in a child process each (it ends the process): past its
// limit, on a hang-up of the display's connection, and on a crash inside the start, it says the
// display went away while the window was being made and ends with status 1; the first frame shown
// ends the watch, and a connection of another address is none of its business.
#include "platform/display/WindowStartWatch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "support/TempHome.h"

namespace {

using display::WindowStartWatch;
using namespace std::chrono_literals;

struct Ended {
  int status = -1;  // 128 + the signal when a signal ended it
  std::string said;
};

// Runs `body` in a child, its standard error kept; the child ends with 0 when `body` returns.
Ended inChild(const std::function<void()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    dup2(fds[1], 2);
    body();
    _exit(0);
  }
  close(fds[1]);
  Ended ended;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) ended.said.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return ended;
}

// A listening socket at `path`; the connected client's end in `client`, the server's in `server`.
bool connectedPair(const std::string& path, int* client, int* server) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 4) != 0) return false;
  *client = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(*client, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
  *server = accept(listener, nullptr, nullptr);
  close(listener);
  return *server >= 0;
}

TEST(WindowStartWatchTest, AStartPastItsLimitEndsTheProcessWithTheReason) {
  const Ended ended = inChild([] {
    WindowStartWatch::arm(200ms, "the X server at :7", nullptr, 0);
    for (;;) pause();  // a start that never ends
  });
  EXPECT_EQ(ended.status, 1) << ended.said;
  EXPECT_NE(ended.said.find("The display went away while the window was being made: the X server at :7: the "
                            "window system's start did not end within 0.2 s. Stopping."),
            std::string::npos)
      << ended.said;
}

TEST(WindowStartWatchTest, TheFirstFrameShownEndsTheWatch) {
  const Ended ended = inChild([] {
    WindowStartWatch::arm(200ms, "the X server at :7", nullptr, 0);
    WindowStartWatch::frameShown();
    if (WindowStartWatch::isArmed()) _exit(4);
    std::this_thread::sleep_for(400ms);
  });
  EXPECT_EQ(ended.status, 0) << ended.said;
}

// The display's connection hung up while the window system waits on it (a compositor killed
// while the window is made): said at once, not at the limit. A hang-up of a connection to
// another address is not the display's.
TEST(WindowStartWatchTest, AHangUpOfTheDisplaysConnectionEndsTheStartAtOnce) {
  support::TempHome dir;
  const Ended ended = inChild([&] {
    int client = -1, server = -1, otherClient = -1, otherServer = -1;
    if (!connectedPair(dir.path() + "/display", &client, &server)) _exit(3);
    if (!connectedPair(dir.path() + "/other", &otherClient, &otherServer)) _exit(3);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    getpeername(client, reinterpret_cast<sockaddr*>(&peer), &length);
    WindowStartWatch::arm(1h, "the Wayland compositor at " + dir.path() + "/display",
                          reinterpret_cast<sockaddr*>(&peer), length);
    close(otherServer);
    std::this_thread::sleep_for(500ms);
    if (!WindowStartWatch::isArmed()) _exit(4);
    std::fprintf(stderr, "other hang-up passed\n");
    close(server);
    for (;;) pause();
  });
  EXPECT_EQ(ended.status, 1) << ended.said;
  EXPECT_NE(ended.said.find("other hang-up passed"), std::string::npos) << ended.said;
  EXPECT_NE(ended.said.find("The display went away while the window was being made: the Wayland compositor at " +
                            dir.path() + "/display: the connection was hung up. Stopping."),
            std::string::npos)
      << ended.said;
}

// A crash inside the window system's start is said as the display's loss, with status 1; outside
// the guard the process's own handlers are back.
TEST(WindowStartWatchTest, ACrashInsideTheGuardedStartIsSaidAndEndsWithStatusOne) {
  const Ended guarded = inChild([] {
    WindowStartWatch::arm(1h, "the Wayland compositor at /run/wl", nullptr, 0);
    WindowStartWatch::CrashGuard guard;
    raise(SIGSEGV);
  });
  EXPECT_EQ(guarded.status, 1) << guarded.said;
  EXPECT_NE(guarded.said.find("The display went away while the window was being made: the Wayland compositor at "
                              "/run/wl: the window system crashed during its start (SIGSEGV). Stopping.\n"),
            std::string::npos)
      << guarded.said;
  // The handlers before the guard are the process's again once it goes.
  const Ended after = inChild([] {
    struct sigaction mine {};
    mine.sa_handler = [](int) { _exit(7); };
    sigemptyset(&mine.sa_mask);
    sigaction(SIGBUS, &mine, nullptr);
    { WindowStartWatch::CrashGuard guard; }
    raise(SIGBUS);
  });
  EXPECT_EQ(after.status, 7) << after.said;
}

}  // namespace
