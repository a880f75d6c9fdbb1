// The bound on the window system's start, in a child process each (it ends the process): past its
// limit it ends with status 1, saying the display went away when the display does not answer and
// the start stuck when it does; on a hang-up of the display's connection, and on a crash inside
// the start with the display gone, it says the display went away while the window was being made
// and ends with status 1; a pause of the whole process is not counted; the first frame shown ends
// the watch, a connection of another address is none of its business, and a crash with the
// display fine is a crash.
#include "platform/display/WindowStartWatch.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/display/DisplayProbe.h"
#include "support/ChildRun.h"
#include "support/StandInDisplay.h"
#include "support/TempHome.h"

namespace {

using display::WindowStartWatch;
using namespace std::chrono_literals;

using Ended = support::ChildEnded;

// Runs `body` in a child; the child ends with 0 when `body` returns (see support::runInChild).
Ended inChild(const std::function<void()>& body, const std::string& cue = {},
              const std::function<void(pid_t)>& atCue = {}) {
  return support::runInChild(
      [&] {
        body();
        return 0;
      },
      cue, atCue);
}

// A stand-in Wayland compositor served by a process of its own, so that this process stays
// single-threaded: a child forked from a process with threads may not start threads of its own
// under ThreadSanitizer, and the watch starts one. It serves until this goes.
class DisplayProcess {
 public:
  DisplayProcess(const std::string& path, support::StandInDisplay::Behaviour behaviour) {
    int ready[2], hold[2];
    if (pipe(ready) != 0) return;
    if (pipe(hold) != 0) {
      close(ready[0]);
      close(ready[1]);
      return;
    }
    m_pid = fork();
    if (m_pid == 0) {
      close(ready[0]);
      close(hold[1]);
      {
        auto display = support::StandInDisplay::wayland(path, behaviour);
        const char serving = display && display->waitUntilServing() ? 1 : 0;
        ssize_t written = write(ready[1], &serving, 1);
        (void)written;
        // Until the test lets go of it (its end of the pipe closes).
        char none;
        while (read(hold[0], &none, 1) < 0 && errno == EINTR) {
        }
      }
      _exit(0);
    }
    close(ready[1]);
    close(hold[0]);
    m_hold = hold[1];
    char serving = 0;
    m_serving = m_pid > 0 && read(ready[0], &serving, 1) == 1 && serving == 1;
    close(ready[0]);
  }
  ~DisplayProcess() {
    if (m_hold >= 0) close(m_hold);
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
  }
  DisplayProcess(const DisplayProcess&) = delete;
  DisplayProcess& operator=(const DisplayProcess&) = delete;

  bool serving() const { return m_serving; }

 private:
  pid_t m_pid = -1;
  int m_hold = -1;
  bool m_serving = false;
};

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

// A connection to the stand-in display `d` at `path`, as the probe makes it: connected, its first
// exchange answered. Its peer's address in `peer`.
int answeredConnection(const std::string& path, sockaddr_storage* peer, socklen_t* length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
  const std::string request = display::WaylandSyncReader::request();
  if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return -1;
  char answer[12];
  if (recv(fd, answer, sizeof answer, MSG_WAITALL) != static_cast<ssize_t>(sizeof answer)) return -1;
  *length = sizeof *peer;
  getpeername(fd, reinterpret_cast<sockaddr*>(peer), length);
  return fd;
}

// Arms the watch on the stand-in compositor at `path` for `limit`, as Display does once the
// probe's connection was answered.
bool armOn(const std::string& path, std::chrono::steady_clock::duration limit) {
  sockaddr_storage peer{};
  socklen_t length = 0;
  if (answeredConnection(path, &peer, &length) < 0) return false;
  WindowStartWatch::arm(limit, "the Wayland compositor at " + path, reinterpret_cast<sockaddr*>(&peer), length,
                        display::WaylandSyncReader::request());
  return true;
}

// Past the limit the start ends whether or not the display answers; the display is asked only to
// say which it was: alive, the start itself stuck (it was given the limit again, for ever), or gone.
TEST(WindowStartWatchTest, PastItsLimitTheStartEndsAndSaysWhetherTheDisplayAnswers) {
  support::TempHome dir;
  const std::string path = dir.path() + "/wayland-0";
  {
    DisplayProcess answers(path, support::StandInDisplay::Answers);
    ASSERT_TRUE(answers.serving());
    const Ended ended = inChild([&] {
      if (!armOn(path, 200ms)) _exit(3);
      for (;;) pause();
    });
    EXPECT_EQ(ended.status, 1) << ended.said;
    EXPECT_NE(ended.said.find("The window system's start is stuck: it did not end within 0.2 s, though the Wayland "
                              "compositor at " + path + " answers. Stopping."),
              std::string::npos)
        << ended.said;
  }
  {
    // It answers the first exchange only (the probe's): then it is stopped.
    DisplayProcess stopped(path, support::StandInDisplay::Stalls);
    ASSERT_TRUE(stopped.serving());
    const Ended ended = inChild([&] {
      if (!armOn(path, 200ms)) _exit(3);
      for (;;) pause();
    });
    EXPECT_EQ(ended.status, 1) << ended.said;
    EXPECT_NE(ended.said.find("The display went away while the window was being made: the Wayland compositor at " +
                              path + ": the window system's start did not end within 0.2 s, and the display does "
                              "not answer. Stopping."),
              std::string::npos)
        << ended.said;
  }
}

// The limit counts the time the program ran: the whole process stopped (SIGSTOP) for longer than
// the limit and then continued has what was left of it, and a first frame shown a moment after
// ends the start in order. The watch used to count the pause and end the start on waking.
TEST(WindowStartWatchTest, APauseOfTheWholeProcessDoesNotCountAgainstTheLimit) {
  support::TempHome dir;
  const std::string path = dir.path() + "/wayland-0";
  DisplayProcess answers(path, support::StandInDisplay::Answers);
  ASSERT_TRUE(answers.serving());
  int resumed[2];
  ASSERT_EQ(pipe(resumed), 0);
  const Ended ended = inChild(
      [&] {
        close(resumed[1]);
        if (!armOn(path, 5s)) _exit(3);
        std::fprintf(stderr, "armed\n");
        char none;
        while (read(resumed[0], &none, 1) < 0 && errno == EINTR) {
        }
        // Well inside what is left of the limit, which the pause must not have eaten.
        std::this_thread::sleep_for(1s);
        if (!WindowStartWatch::isArmed()) _exit(4);
        WindowStartWatch::frameShown();
      },
      "armed\n",
      [&](pid_t child) {
        kill(child, SIGSTOP);
        // Longer than the whole limit: the sleep can only be longer.
        std::this_thread::sleep_for(6s);
        kill(child, SIGCONT);
        close(resumed[1]);
      });
  close(resumed[0]);
  EXPECT_EQ(ended.status, 0) << ended.said;
  EXPECT_EQ(ended.said.find("did not end within"), std::string::npos) << ended.said;
}

// A crash while the watch is armed (the window system's start, to its first frame) is the
// display's loss, status 1, when its connection was hung up: SIGSEGV inside SDL, or Xlib's own
// abort on a connection cut short. Once the watch ends, the process's own handlers are back.
TEST(WindowStartWatchTest, ACrashWithTheDisplaysConnectionHungUpIsSaidAndEndsWithStatusOne) {
  support::TempHome dir;
  const std::string path = dir.path() + "/wayland-0";
  for (const int signal : {SIGSEGV, SIGABRT}) {
    // The probe's connection is answered; the window system's is closed at once.
    DisplayProcess closes(path, support::StandInDisplay::ClosesAtOnce);
    ASSERT_TRUE(closes.serving());
    const Ended ended = inChild([&] {
      if (!armOn(path, 1h)) _exit(3);
      // Made: the watch leaves the hang-up to the window.
      WindowStartWatch::windowMade();
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) _exit(3);
      pollfd p{fd, POLLRDHUP, 0};
      if (poll(&p, 1, 60000) != 1) _exit(3);
      if (signal == SIGABRT) abort();
      raise(signal);
    });
    EXPECT_EQ(ended.status, 1) << ended.said;
    EXPECT_NE(ended.said.find("The display went away while the window was being made: the Wayland compositor at " +
                              path + ": the window system crashed during its start (" +
                              (signal == SIGABRT ? "SIGABRT" : "SIGSEGV") + "). Stopping.\n"),
              std::string::npos)
        << ended.said;
  }
  const Ended after = inChild([] {
    struct sigaction mine {};
    mine.sa_handler = [](int) { _exit(7); };
    sigemptyset(&mine.sa_mask);
    sigaction(SIGBUS, &mine, nullptr);
    WindowStartWatch::arm(1h, "the X server at :7", nullptr, 0);
    WindowStartWatch::disarm();
    raise(SIGBUS);
  });
  EXPECT_EQ(after.status, 7) << after.said;
}

// A fault on another thread while the display is fine is the program's own crash: the signal's
// default action ends it, not the display's loss with status 1.
TEST(WindowStartWatchTest, ACrashOnAWorkerWithTheDisplayFineIsACrash) {
  support::TempHome dir;
  const std::string path = dir.path() + "/wayland-0";
  DisplayProcess answers(path, support::StandInDisplay::Answers);
  ASSERT_TRUE(answers.serving());
  const Ended ended = inChild([&] {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);  // no core file from the test
    if (!armOn(path, 1h)) _exit(3);
    WindowStartWatch::windowMade();
    std::thread worker([] { raise(SIGSEGV); });
    worker.join();
    _exit(5);
  });
  EXPECT_EQ(ended.status, 128 + SIGSEGV) << ended.said;
  EXPECT_EQ(ended.said.find("The display went away"), std::string::npos) << ended.said;
  // Not in silence: the journal says which signal, and on which display.
  EXPECT_NE(ended.said.find("The window system crashed during its start: SIGSEGV, though the Wayland compositor at " +
                            path + " answers. Ending by the signal.\n"),
            std::string::npos)
      << ended.said;
}

// Whether the thread `tid` of this process is waiting in poll (as writeAll does on a full pipe).
bool waitsInPoll(pid_t tid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", static_cast<int>(tid));
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  long number = -1;
  const bool read = std::fscanf(f, "%ld", &number) == 1;
  std::fclose(f);
#ifdef SYS_poll
  if (read && number == SYS_poll) return true;
#endif
  return read && number == SYS_ppoll;
}

// A crash on the thread that is saying the end's line, while standard error is full and nobody
// reads it, ends the process by the crash; the crash's handler used to find the end claimed and
// wait for it, on the one thread that would end the process: for ever.
TEST(WindowStartWatchTest, ACrashOnTheThreadSayingTheEndsLineEndsTheProcessByTheCrash) {
  // The signal must land while the line waits for standard error (half a second): a turn that
  // missed it ends with the line's status, and is tried again.
  Ended ended;
  for (int attempt = 0; attempt < 5; ++attempt) {
    ended = inChild([] {
      const rlimit none{0, 0};
      setrlimit(RLIMIT_CORE, &none);  // no core file from the test
      alarm(10);                      // a process that waits for itself ends by the alarm
      WindowStartWatch::arm(1h, "the X server at :7", nullptr, 0);
      int full[2];
      if (pipe(full) != 0) _exit(3);
      dup2(full[1], STDERR_FILENO);
      fcntl(STDERR_FILENO, F_SETFL, O_NONBLOCK);
      const char block[4096] = {};
      while (write(STDERR_FILENO, block, sizeof block) > 0) {
      }
      fcntl(STDERR_FILENO, F_SETFL, 0);
      const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
      const pthread_t main = pthread_self();
      std::thread([self, main] {
        while (!waitsInPoll(self)) std::this_thread::yield();
        pthread_kill(main, SIGABRT);
      }).detach();
      WindowStartWatch::endProcess(1, {"Stopping."});
    });
    if (ended.status != 1) break;
  }
  EXPECT_EQ(ended.status, 128 + SIGABRT) << ended.said;
}

// A machine so starved that the watch wakes a little more than its allowance late at every turn
// (the whole process stopped for 1.3 s, then let run for a moment, over and over): the start still
// ends at about its limit in the time the program ran. The watch used to move the deadline by each
// whole lateness, so the limit was never reached while the starving went on.
TEST(WindowStartWatchTest, AMachineThatWakesTheWatchLateAtEveryTurnStillReachesTheLimit) {
  const Ended ended = inChild(
      [] {
        WindowStartWatch::arm(6s, "the X server at :7", nullptr, 0);
        std::fprintf(stderr, "armed\n");
        for (;;) pause();
      },
      "armed\n",
      [](pid_t child) {
        // Twenty turns of starving at most, until the child has ended (looked at without reaping
        // it, so that its process number is not given to another meanwhile): about a second of
        // each turn counts, so the 6 s limit is reached in about six turns. When each turn's whole
        // lateness was forgiven, only its moment of running counted: forty turns and more.
        auto ended = [child] {
          siginfo_t info{};
          return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                 info.si_pid == child;
        };
        for (int turn = 0; turn < 20 && !ended(); ++turn) {
          kill(child, SIGSTOP);
          std::this_thread::sleep_for(1300ms);
          kill(child, SIGCONT);
          std::this_thread::sleep_for(30ms);
        }
        if (!ended()) kill(child, SIGKILL);
      });
  EXPECT_EQ(ended.status, 1) << ended.said;
  EXPECT_NE(ended.said.find("did not end within 6 s"), std::string::npos) << ended.said;
}

}  // namespace
