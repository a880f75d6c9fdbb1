// The client program's termination signals, in a child process: SIGTERM and SIGINT stop it in
// order (status 0) from the first instant of its main, however early they come; a stop that a
// main thread at work holds off is ended at the stop's ceiling, or at once by a second signal;
// and the children its libraries start have neither signal blocked nor ignored, so that they end
// on a unit's SIGTERM with the program (nor SIGCHLD ignored, whatever the program was started
// with).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ClientProcess.h"
#include "support/DisplayServers.h"
#include "support/TempHome.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readText(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The mask of a "SigBlk:" or "SigIgn:" line of /proc/<pid>/status, as recorded.
unsigned long long maskOf(const std::string& status, const std::string& field) {
  const size_t at = status.find(field + ":");
  if (at == std::string::npos) return ~0ull;
  return std::strtoull(status.c_str() + at + field.size() + 1, nullptr, 16);
}

constexpr unsigned long long bit(int signal) { return 1ull << (signal - 1); }

// Whether this process ignores the signal, as its children then do from the start (the program
// keeps such a signal ignored, as a shell's background job or nohup asks).
bool ignoredHere(int signal) {
  struct sigaction current {};
  return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// The program's resources with the settings form a FIFO: the first time the program opens the form
// it waits until the test hands it over, so the test knows the program is inside its main, reading
// its arguments' settings, and can send a signal at that very point. Before the form is written, a
// regular file holding it is renamed over the FIFO: the program reads its one copy from the FIFO it
// holds open, and every later open finds the file. (A thread handing the form over at each open of
// the FIFO wrote copy after copy into a read that had not ended yet.)
class HeldSettingsForm {
 public:
  explicit HeldSettingsForm(const fs::path& folder) : m_folder(folder) {
    const fs::path built = fs::path(KT_CLIENT_PATH).parent_path() / "resources";
    for (const auto& entry : fs::directory_iterator(built)) {
      if (entry.path().filename() != "Settings.bundle") fs::create_symlink(entry.path(), folder / entry.path().filename());
    }
    fs::create_directories(folder / "Settings.bundle");
    for (const auto& entry : fs::directory_iterator(built / "Settings.bundle")) {
      if (entry.path().filename() != "Root.plist") {
        fs::create_symlink(entry.path(), folder / "Settings.bundle" / entry.path().filename());
      }
    }
    m_form = readText(built / "Settings.bundle/Root.plist");
    m_fifo = (folder / "Settings.bundle/Root.plist").string();
    m_ready = !m_form.empty() && mkfifo(m_fifo.c_str(), 0600) == 0;
  }

  bool ready() const { return m_ready; }
  const fs::path& folder() const { return m_folder; }

  // Waits until the program opens the form (true), then `whileOpen` runs before the form is handed
  // over; from then on the form is a regular file. False when the program did not open it within
  // a minute, or the file could not be put in the FIFO's place.
  template <typename F>
  bool handOver(F whileOpen) {
    const int fd = openForWriting(std::chrono::seconds(60));
    if (fd < 0) return false;
    whileOpen();
    const std::string file = m_fifo + ".file";
    {
      std::ofstream out(file, std::ios::binary);
      out << m_form;
    }
    const bool replaced = std::rename(file.c_str(), m_fifo.c_str()) == 0;
    writeAll(fd);
    return replaced;
  }

 private:
  // The writing end, once a reader has the FIFO open: polled without blocking, so that a program
  // that never opens it fails the test instead of hanging it.
  int openForWriting(std::chrono::seconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < until) {
      const int fd = ::open(m_fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        fcntl(fd, F_SETFL, 0);  // blocking writes from here on
        return fd;
      }
      if (errno != ENXIO) return -1;  // ENXIO: no reader yet
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
  }
  void writeAll(int fd) {
    size_t done = 0;
    while (done < m_form.size()) {
      const ssize_t n = ::write(fd, m_form.data() + done, m_form.size() - done);
      if (n <= 0) break;  // the reader went (the program ended)
      done += static_cast<size_t>(n);
    }
    close(fd);
  }

  fs::path m_folder;
  std::string m_form;
  std::string m_fifo;
  bool m_ready = false;
};

class ClientSignalsTest : public support::TempHomeTest {};

// The ceiling the program's stop gives a main thread that goes on working, counted from the
// signal, as its line says it (TerminationSignals::Ceiling in main.cpp, longer on the sanitizer
// builds as the grace is).
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr auto StopCeiling = 25s;
constexpr const char* StopCeilingText = "25 s";
#else
constexpr auto StopCeiling = 5s;
constexpr const char* StopCeilingText = "5 s";
#endif

// The writing end of the FIFO that KT_TEST_LAUNCH_HOLD names, opened once the program has it open
// for reading, inside its first screen's making; -1 when it never did within a minute. What the
// test writes there says how the first screen goes on: "w" loading views for twice the stop's
// grace once the stop has begun, "c" computing as long without a mark of progress, "f" loading
// views for ever, nothing (the end closed) standing still.
// Tells the held first screen how to go on (`mode`), then waits until it has read that (it removes
// the FIFO), so that a signal sent next finds it going on.
bool tellLaunchHold(int fd, const std::string& fifo, char mode) {
  const bool told = ::write(fd, &mode, 1) == 1;
  close(fd);
  for (auto until = std::chrono::steady_clock::now() + 60s; told && std::chrono::steady_clock::now() < until;) {
    if (::access(fifo.c_str(), F_OK) != 0) return true;
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

int openLaunchHold(const std::string& fifo) {
  int fd = -1;
  for (auto until = std::chrono::steady_clock::now() + 60s; fd < 0 && std::chrono::steady_clock::now() < until;) {
    fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) std::this_thread::sleep_for(2ms);
  }
  return fd;
}

// Starts the program with its first screen held at `fifo` and told to work for ever once the stop
// has begun. False (the program never reached its first screen) when it could not be.
bool startWorkingForEver(support::ClientProcess& client, const std::string& fifo) {
  if (mkfifo(fifo.c_str(), 0600) != 0) return false;
  if (!client.start(KT_CLIENT_PATH, {"KT_OFFSCREEN=1", "KT_TEST_LAUNCH_HOLD=" + fifo})) return false;
  const int fd = openLaunchHold(fifo);
  return fd >= 0 && tellLaunchHold(fd, fifo, 'f');
}

// A signal in the program's first moments (SIGTERM in its first 0.2 s) ended it by the signal, so
// that the unit saw a failure. It is sent while the program reads its arguments' settings form, the
// first thing its main reads, and then at a sweep of moments after that, through the checks,
// the start and the first screen: each run ends in order with status 0. The verdict is the same
// at every moment; the sweep only spreads the moments over the start.
TEST_F(ClientSignalsTest, ASignalAtAnyMomentFromTheStartOfMainStopsItInOrder) {
  // A form handed to a program that has ended is an error to that write, not the test's end.
  struct IgnoredBrokenPipe {
    struct sigaction saved {};
    IgnoredBrokenPipe() {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigaction(SIGPIPE, &ignore, &saved);
    }
    ~IgnoredBrokenPipe() { sigaction(SIGPIPE, &saved, nullptr); }
  } ignoredBrokenPipe;
  const std::vector<int> delaysMs{-1, 0, 2, 10, 40, 160, 640};
  for (size_t run = 0; run < delaysMs.size(); ++run) {
    const int delay = delaysMs[run];
    const int sent = run % 2 && !ignoredHere(SIGINT) ? SIGINT : SIGTERM;
    SCOPED_TRACE("signal " + std::to_string(sent) +
                 (delay < 0 ? std::string(" while the form is read") : ", " + std::to_string(delay) + " ms after"));
    const fs::path folder = fs::path(homePath()) / ("resources-" + std::to_string(run));
    fs::create_directories(folder);
    HeldSettingsForm form(folder);
    ASSERT_TRUE(form.ready());
    support::ClientProcess client;
    ASSERT_TRUE(client.start(KT_CLIENT_PATH, {"KT_RESOURCES=" + folder.string(), "KT_OFFSCREEN=1"}));
    ASSERT_TRUE(form.handOver([&] {
      if (delay < 0) client.signal(sent);
    })) << "the program never read its settings form: " << client.said();
    if (delay >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      client.signal(sent);
    }
    // In order: its own stop's line, not the end the stuck stop's second gives (status 0 too).
    EXPECT_EQ(client.exitStatus(), 0) << client.said();
    EXPECT_NE(client.said().find("stopped"), std::string::npos) << client.said();
    EXPECT_EQ(client.said().find("the program did not stop within"), std::string::npos) << client.said();
  }
}

// A signal while the first screen is being made, in a step longer than the grace the stop gives a
// main thread that shows no progress (views loaded one after another for twice that grace): the
// stop waited for no more than the grace and ended the process ("did not stop within"), status 0
// but not in order. A main thread that works is waited for, and stops in order after the step,
// whether its work marks its progress (views) or only runs (a step that computes, as every step
// of a start is slow on a machine so loaded that a signal's grace ran out between two marks); one
// that stands still in a call there is still ended. The program holds the step at a FIFO the test
// opens, so the signal comes inside it whatever the machine's speed. The step (twice the grace)
// ends well within the stop's ceiling, so the working one still stops in order.
TEST_F(ClientSignalsTest, ASignalDuringALongFirstScreenWaitsForItsWorkButNotForAStuckOne) {
  struct Case {
    const char* what;
    char mode;  // how the held first screen goes on; 0: it stands still
  };
  for (const Case& c : {Case{"loading views", 'w'}, Case{"computing", 'c'}, Case{"standing still", 0}}) {
    SCOPED_TRACE(c.what);
    const bool works = c.mode != 0;
    const std::string fifo = homePath() + "/hold-" + (works ? std::string(1, c.mode) : "still");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    support::ClientProcess client;
    ASSERT_TRUE(client.start(KT_CLIENT_PATH, {"KT_OFFSCREEN=1", "KT_TEST_LAUNCH_HOLD=" + fifo}));
    const int fd = openLaunchHold(fifo);
    ASSERT_GE(fd, 0) << "the program never reached its first screen: " << client.said();
    if (works) {
      ASSERT_TRUE(tellLaunchHold(fd, fifo, c.mode)) << client.said();
    }
    client.signal(SIGTERM);
    EXPECT_EQ(client.exitStatus(), 0) << client.said();
    if (!works) close(fd);
    const bool endedByGrace = client.said().find("the program did not stop within") != std::string::npos;
    EXPECT_EQ(endedByGrace, !works) << client.said();
    EXPECT_EQ(client.said().find("stopped") != std::string::npos, works) << client.said();
  }
}

// A signal while the first screen is made by a main thread that never stops working (views loaded
// one after another, as a first screen that keeps loading or a layout that loops would): the stop
// waited as long as the work went on, without a bound, and the program ran until a SIGKILL (a
// frozen screen for systemd's 90 s, then a failed unit). It is ended at the stop's ceiling,
// counted from the signal, with its line and status 0: not before the ceiling, and long before a
// supervisor's SIGKILL.
TEST_F(ClientSignalsTest, AFirstScreenThatNeverStopsWorkingIsEndedAtTheStopsCeiling) {
  support::ClientProcess client;
  ASSERT_TRUE(startWorkingForEver(client, homePath() + "/hold-for-ever")) << client.said();
  client.signal(SIGTERM);
  const int status = client.exitStatus(static_cast<int>(StopCeiling.count()) + 60);
  const double took = client.sinceSignal();
  EXPECT_EQ(status, 0) << "still running " << took << " s after SIGTERM: " << client.said();
  EXPECT_NE(client.said().find(std::string("did not stop within ") + StopCeilingText + ", the stop's ceiling, while "
                               "still at work"),
            std::string::npos)
      << client.said();
  EXPECT_GE(took, std::chrono::duration<double>(StopCeiling).count()) << client.said();
}

// A second signal while the stop waits on a main thread at work (a first screen that never stops
// loading): it was read and dropped, so pressing Ctrl-C again did nothing. It ends the program at
// once, with its line and status 0, well before the stop's ceiling would have.
TEST_F(ClientSignalsTest, ASecondSignalEndsItAtOnceWhileTheStopWaitsOnWork) {
  const int sent = ignoredHere(SIGINT) ? SIGTERM : SIGINT;
  support::ClientProcess client;
  ASSERT_TRUE(startWorkingForEver(client, homePath() + "/hold-for-ever")) << client.said();
  client.signal(sent);
  // The stop is under way once the first signal's line is said.
  ASSERT_TRUE(client.readUntil("signal " + std::to_string(sent) + " received, stopping")) << client.said();
  client.signal(sent);
  const int status = client.exitStatus(static_cast<int>(StopCeiling.count()) + 60);
  const double took = client.sinceSignal();
  EXPECT_EQ(status, 0) << "still running " << took << " s after the second signal: " << client.said();
  const std::string line = "Signal " + std::to_string(sent) + " after signal " + std::to_string(sent) +
                           ": a second signal ends the program now";
  EXPECT_NE(client.said().find(line), std::string::npos) << client.said();
  EXPECT_LT(took, std::chrono::duration<double>(StopCeiling).count() / 2) << client.said();
}

// The program run with its standard output and error on pipes whose reader has gone, SIGPIPE at
// its default as a supervisor may leave it: --help and --version end with the status of a write
// that failed (1), a setting that is not its kind with its own (2). The handler was put in place
// only after the arguments were answered, so the first write ended the program by the signal.
TEST_F(ClientSignalsTest, AnswersOnPipesNobodyReadsEndWithTheirStatusNotBySigpipe) {
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {{{"--help"}, 1}, {{"--version"}, 1}, {{"-Server_Port", "x"}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    int out[2], err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    close(out[0]);
    close(err[0]);
    std::vector<const char*> argv{KT_CLIENT_PATH};
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      signal(SIGPIPE, SIG_DFL);
      dup2(out[1], 1);
      dup2(err[1], 2);
      execv(argv[0], const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    if (WIFEXITED(status)) {
      EXPECT_EQ(WEXITSTATUS(status), c.status);
    }
  }
}

// Whether the main thread of `pid` waits in a write to its standard error: /proc's record starts
// with the call's number (this machine's own) and its first argument in hexadecimal.
bool writingToStandardError(pid_t pid) {
  const std::string call = readText("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/syscall");
  return call.rfind(std::to_string(SYS_write) + " 0x2 ", 0) == 0;
}

// SIGTERM while the log's reader has stopped reading (its pipe full, the main thread waiting in
// a log line): the stop's second began only after the signal's own log line, which waited on the
// same log, so the program never ended. It ends within the second's bound, with status 0.
TEST_F(ClientSignalsTest, SigtermWithTheLogsReaderStalledStillEndsIt) {
  int err[2];
  ASSERT_EQ(pipe2(err, O_CLOEXEC | O_NONBLOCK), 0);
  // The smallest pipe, filled before the program starts: its first line waits.
  fcntl(err[1], F_SETPIPE_SZ, 4096);
  const std::string filler(4096, '.');
  while (write(err[1], filler.data(), filler.size()) > 0) {
  }
  fcntl(err[1], F_SETFL, 0);
  const std::string resources = fs::path(KT_CLIENT_PATH).parent_path() / "resources";
  std::vector<std::string> env{"KT_OFFSCREEN=1", "KT_LOG_STDERR=1", "KT_RESOURCES=" + resources};
  support::ChildEnvironment environment(env, {}, {});
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(err[1], 2);
    const char* argv[] = {KT_CLIENT_PATH, nullptr};
    execve(argv[0], const_cast<char* const*>(argv), environment.envp());
    _exit(127);
  }
  close(err[1]);
  struct Reap {
    pid_t pid;
    int fd;
    ~Reap() {
      if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
      close(fd);
    }
  } reap{pid, err[0]};
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!writingToStandardError(pid) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(writingToStandardError(pid)) << "the program never waited on its log";
  support::signalProgram(pid, SIGTERM);
  const auto sent = std::chrono::steady_clock::now();
  int status = 0;
  bool ended = false;
  while (!(ended = waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < sent + 20s)
    std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(ended) << "still running 20 s after SIGTERM";
  reap.pid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << (WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                              : "status " + std::to_string(WEXITSTATUS(status)));
}

// The processes whose environment names `display` and whose name is `name` ("dbus-daemon").
std::vector<pid_t> processesOn(const std::string& display, const std::string& name) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string comm = readText(entry.path() / "comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (comm != name) continue;
    const std::string environment = readText(entry.path() / "environ");
    if (environment.find(std::string("DISPLAY=") + display + '\0') == std::string::npos) continue;
    found.push_back(static_cast<pid_t>(std::stoi(pid)));
  }
  return found;
}

// Checks a "SigBlk:"/"SigIgn:" record: neither SIGINT nor SIGTERM blocked; ignored only where this
// process ignores them too; SIGPIPE, which the program sets aside for itself, at its default
// whatever this process does with it.
void expectDefaultSignals(const std::string& status) {
  EXPECT_EQ(maskOf(status, "SigBlk") & (bit(SIGINT) | bit(SIGTERM)), 0u) << status;
  unsigned long long ignored = 0;
  for (int signal : {SIGINT, SIGTERM}) {
    if (ignoredHere(signal)) ignored |= bit(signal);
  }
  EXPECT_EQ(maskOf(status, "SigIgn") & (bit(SIGINT) | bit(SIGTERM) | bit(SIGPIPE)), ignored) << status;
}

// SIGINT and SIGTERM were held blocked in every thread, and every child inherits its mask: D-Bus's
// autolaunch, which SDL runs on X11 without a session bus, and the bus it starts ignored the
// unit's SIGTERM and outlived the program. With no address and no bus in the runtime folder, the
// autolaunch runs. Where dbus-launch is installed, libdbus runs it (and never one on PATH): the
// bus it starts and its watcher of the X server are looked at, and end on SIGTERM. Elsewhere a
// stand-in dbus-launch first on PATH records its own mask and dispositions and fails, as one that
// finds no bus would.
// The program is started with SIGCHLD ignored, as some launchers leave it: it kept it so, the
// kernel reaped its children for it (their waits failed with ECHILD), and every child started
// without resetting it (GStreamer's plugin scanner) inherited it, since an ignored signal stays
// ignored through fork and exec. It is at its default in the program, and so in such children.
// (The library that runs dbus-launch sets every signal to its default in its child itself, so its
// record shows SIGCHLD at its default with the old program too: it is not looked at for it.)
TEST_F(ClientSignalsTest, TheChildrenItsLibrariesStartHaveNeitherSignalBlockedNorIgnored) {
  const bool installed = access("/usr/bin/dbus-launch", X_OK) == 0;
  support::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const fs::path bin = fs::path(homePath()) / "bin";
  const fs::path runtime = fs::path(homePath()) / "runtime";
  const fs::path record = fs::path(homePath()) / "dbus-launch.status";
  fs::create_directories(bin);
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  if (!installed) {
    // In Perl, which leaves the mask as it found it (a shell clears it as it starts); written
    // whole under another name first, so that the test never reads half of it.
    const std::string to = "'" + record.string() + "'";
    std::ofstream(bin / "dbus-launch") << "#!/usr/bin/perl\n"
                                       << "open(my $in, '<', '/proc/self/status') or exit 2;\n"
                                       << "open(my $out, '>', " << to << " . '.part') or exit 2;\n"
                                       << "print $out grep { /^Sig(Blk|Ign):/ } <$in>;\n"
                                       << "close($out);\n"
                                       << "rename(" << to << " . '.part', " << to << ");\n"
                                       << "exit 1;\n";
    fs::permissions(bin / "dbus-launch", fs::perms(0755));
  }
  const char* path = std::getenv("PATH");
  support::ClientProcess client;
  client.ignoreInProgram({SIGCHLD});
  ASSERT_TRUE(client.start(KT_CLIENT_PATH, {"DISPLAY=" + x.display(), "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                            "XDG_RUNTIME_DIR=" + runtime.string(),
                                            "PATH=" + bin.string() + ":" + (path ? path : "/usr/bin:/bin")}));
  // The bus is looked for while the window system starts, before the window is shown.
  ASSERT_TRUE(client.readUntil("shown in a window")) << client.said();
  {
    SCOPED_TRACE("the program itself, whose dispositions its children inherit");
    const std::string own = readText("/proc/" + std::to_string(client.pid()) + "/status");
    expectDefaultSignals(own);
    EXPECT_EQ(maskOf(own, "SigIgn") & bit(SIGCHLD), 0u) << own;
  }
  if (!installed) {
    ASSERT_TRUE(fs::exists(record)) << "SDL started no dbus-launch: " << client.said();
    expectDefaultSignals(readText(record));
  } else {
    // The bus and the watcher outlive the dbus-launch that SDL ran, until the X server's end.
    std::vector<pid_t> started;
    for (const char* name : {"dbus-daemon", "dbus-launch"}) {
      const std::vector<pid_t> found = processesOn(x.display(), name);
      EXPECT_FALSE(found.empty()) << "no " << name << " on " << x.display() << ": " << client.said();
      started.insert(started.end(), found.begin(), found.end());
    }
    for (const pid_t pid : started) {
      SCOPED_TRACE("process " + std::to_string(pid) + " " + readText("/proc/" + std::to_string(pid) + "/comm"));
      expectDefaultSignals(readText("/proc/" + std::to_string(pid) + "/status"));
      kill(pid, SIGTERM);
    }
    // Each ends on the SIGTERM (the bus is not the test's child: it is gone from /proc, or a zombie).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto running = [&] {
      size_t n = 0;
      for (const pid_t pid : started) {
        const std::string status = readText("/proc/" + std::to_string(pid) + "/status");
        n += !status.empty() && status.find("State:\tZ") == std::string::npos;
      }
      return n;
    };
    while (running() > 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(running(), 0u);
  }
  client.signal(SIGTERM);
  EXPECT_EQ(client.exitStatus(), 0) << client.said();
}

}  // namespace
