// The room tablet client: AppDelegate launches it into its key window, on the song home screen,
// shown in a real window where there is a display, else offscreen (saving a screenshot of the
// first screen into $KT_SCREENS_DIR when that is set). SIGINT and SIGTERM, from the first instant
// of main, stop it between callbacks, and end it with status 0 whatever it is doing: within a
// second of standing still, within a few seconds of the signal while it works, at once on a
// second signal; the loss of the window's display (the compositor or X server went away) stops
// it too, after which it ends with status 1, so that a supervisor restarting it on failure brings
// it back. A display that is named but not there (yet) is waited for, then it ends with status 1
// too; one that waiting cannot mend ends it at once with display::ConfigurationErrorStatus (78).
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <ctime>
#include <thread>

#include "app/AppDelegate.h"
#include "app/ProgramArguments.h"
#include "app/StartChecks.h"
#include "imagecache/ICWebPictureLoader.h"
#include "order/OrderScreens.h"
#include "platform/core/Bundle.h"
#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Paths.h"
#include "platform/core/RunLoop.h"
#include "platform/core/UserDefaults.h"
#include "platform/core/WeakPtr.h"
#include "platform/core/WorkProgress.h"
#include "platform/display/Display.h"
#include "platform/display/Surface.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"
#include "songs/ChooseMusicVC.h"
#include "songs/SongScreens.h"

namespace {

// SIGINT and SIGTERM, heard whatever the main thread is doing, from the first instant of main.
// A handler (installed by install(), first thing) notes the first signal and makes an eventfd
// readable; nothing is blocked, so every child the program or its libraries start (D-Bus's
// autolaunch, GStreamer's plugin scanner) gets the default mask, and the handlers themselves go
// back to the default at exec. A thread of its own (start()) waits on that eventfd; a signal that
// came before it existed is waiting there for it. A signal is said, makes interruptFd() readable
// (which ends the wait for a display) and stops the main run loop, from where the program stops in
// order. Until the main thread has let go of the display (displayReleased()), nothing else can
// hold it for long, it tells of its stop's progress (progress()), its work tells of itself
// (core::WorkProgress: views made, images decoded, layers drawn), and the time the main thread
// runs on a processor counts too, so that a long step (the first screen being made when the
// signal comes, on a machine so loaded that each step is slow) runs to its end and the stop goes
// on in order after it; should a second pass without any of that (it waits inside the window
// system, on a stopped server, ...), the thread says so and ends the process itself with status
// 0. Work is waited for up to a ceiling counted from the signal (Ceiling), so that a main thread
// that never stops working (a first screen that keeps loading, a layout that loops) is ended too,
// the same way, well before a supervisor's own limit (systemd's 90 s, then SIGKILL). A second SIGINT or SIGTERM
// ends the process at once, from its handler, whatever the stop is at: whoever sends it (Ctrl-C
// pressed twice) wants it gone now.
class TerminationSignals {
 public:
  ~TerminationSignals() {
    displayReleased();
    if (m_thread.joinable()) m_thread.join();
    for (int fd : {m_interrupt, m_finished}) {
      if (fd >= 0) close(fd);
    }
    // s_heard stays open: a signal may still come, and its handler writes there.
  }

  // The handlers in place and the two signals unblocked, should whoever started the program have
  // held them (a held mask would reach every child too). A signal that whoever started the
  // program ignores (SIGINT for a shell's job in the background, nohup) stays ignored, as it did
  // while the signals were read from a descriptor. False when it could not be done.
  static bool install() {
    s_heard = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s_heard < 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    // A call the signal lands in goes on where it can (reads, writes, opens of the libraries that
    // do not expect EINTR); the other signal waits while the handler runs.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (int signal : {SIGINT, SIGTERM}) {
      struct sigaction inherited {};
      if (sigaction(signal, nullptr, &inherited) != 0) return false;
      if (inherited.sa_handler == SIG_IGN) continue;
      if (sigaction(signal, &action, nullptr) != 0) return false;
    }
    return pthread_sigmask(SIG_UNBLOCK, &action.sa_mask, nullptr) == 0;
  }
  // A signal has come, whether or not the thread has seen it yet.
  static bool pending() { return s_first.load() != 0; }

  // The thread that hears them, named "signals" (as top -H and /proc show it). Called by the main
  // thread, whose processor time it watches. False when it could not be started.
  bool start() {
    m_interrupt = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_finished = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s_heard < 0 || m_interrupt < 0 || m_finished < 0) return false;
    if (pthread_getcpuclockid(pthread_self(), &m_mainCpuClock) != 0) m_mainCpuClock = -1;
    progress();
    m_thread = std::thread([this] { listen(); });
    pthread_setname_np(m_thread.native_handle(), "signals");
    return true;
  }

  // Readable from the first signal on.
  int interruptFd() const { return m_interrupt; }
  bool received() const { return m_received.load(); }
  // The main thread's stop goes on: the second it is given starts again.
  void progress() { m_progress.store(Clock::now().time_since_epoch().count()); }
  // Once a signal has come, until its line is in the log, so that the stop's own lines follow it
  // (a log that blocks holds this as it holds them: the second then ends the process).
  void waitUntilTold() const {
    if (m_received.load() || pending()) s_told.wait(false);
  }
  // The main thread no longer touches the display: the rest of its stop is not timed, and the
  // thread ends.
  void displayReleased() {
    if (m_finished < 0) return;
    const uint64_t one = 1;
    ssize_t written = write(m_finished, &one, sizeof one);
    (void)written;
  }

  using Clock = std::chrono::steady_clock;
  // A second; the sanitizer builds do the same work several times slower (a first screen being
  // made when the signal comes may take longer than a second there without being stuck). The
  // ceiling is five of them: a long first screen (twice the grace, as the tests hold one) still
  // stops in order within it on a loaded machine, and a kiosk stops well within systemd's 90 s.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  static constexpr auto Grace = std::chrono::seconds(5);
  static constexpr const char* GraceText = "5 s";
  static constexpr auto Ceiling = std::chrono::seconds(25);
  static constexpr const char* CeilingText = "25 s";
#else
  static constexpr auto Grace = std::chrono::seconds(1);
  static constexpr const char* GraceText = "a second";
  static constexpr auto Ceiling = std::chrono::seconds(5);
  static constexpr const char* CeilingText = "5 s";
#endif

 private:
  // Async-signal-safe: an atomic that is lock-free, a write(2), and for a second signal a line
  // said with system calls alone and _exit; errno as it was.
  static void onSignal(int signal) {
    const int saved = errno;
    int none = 0;
    if (!s_first.compare_exchange_strong(none, signal)) endOnSecondSignal(signal, none);
    const uint64_t one = 1;
    ssize_t written = write(s_heard, &one, sizeof one);
    (void)written;
    errno = saved;
  }

  // A second signal, `first` the one that began the stop: the process ends here, in the handler,
  // whatever thread it landed in and whatever the stop is at, so that a thread stuck or busy (or
  // the signals' own, waiting out the grace) cannot hold it. Status 0, as when the stop's grace or
  // ceiling ends it: the program was told to stop and it stopped, and a supervisor must not start
  // it again (a unit's Restart=on-failure would, for 1 or for 128 + the signal as a shell shows
  // an interrupted program); the line tells that the stop was cut short. Said with system calls
  // alone: the thread it interrupts may hold the allocator or the log's lock.
  [[noreturn]] static void endOnSecondSignal(int signal, int first) {
    char number[16];
    const char* numberEnd = std::to_chars(number, number + sizeof number, signal).ptr;
    char firstNumber[16];
    const char* firstEnd = std::to_chars(firstNumber, firstNumber + sizeof firstNumber, first).ptr;
    core::logNoticeAndExit(0, {"Signal ", std::string_view(number, numberEnd - number), " after signal ",
                               std::string_view(firstNumber, firstEnd - firstNumber),
                               ": a second signal ends the program now, without the rest of its stop."});
  }

  // Touches nothing but statics: the process may end while it waits on the log. Named apart
  // from the thread that starts it, whose name it would inherit: "signals" is the one that hears
  // them.
  static void tell(int signal) {
    pthread_setname_np(pthread_self(), "signal-line");
    KT_LOG("signal %d received, stopping", signal);
    s_told.store(true);
    s_told.notify_all();
  }

  void listen() {
    pollfd p[2] = {{s_heard, POLLIN, 0}, {m_finished, POLLIN, 0}};
    for (;;) {
      if (poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      uint64_t count = 0;
      if (read(s_heard, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) continue;
      if (m_received.exchange(true)) continue;  // a second signal ends the process in its handler
      break;
    }
    const int signal = s_first.load();
    // The grace and the ceiling start before anything that can block: the log takes its lock and
    // may wait on the system log or on a standard error nobody reads, so its line is said by a
    // thread of its own, left to itself. A log that blocks it blocks the main thread's stop too,
    // which the grace then ends.
    const auto ceiling = Clock::now() + Ceiling;
    progress();
    const uint64_t one = 1;
    ssize_t written = write(m_interrupt, &one, sizeof one);
    (void)written;
    core::RunLoop::main().stop();
    std::thread(tell, signal).detach();
    // Until the main thread has finished, a second has passed since it last went on, or the
    // ceiling has come whatever it does. It is looked at four times a grace: having run on a
    // processor for a hundredth of a look since the one before counts as going on. A thread
    // blocked in a call runs for nothing; one that works on a starved machine (sixty busy
    // processes on eight cores) still gets an eighth of a processor, far above that.
    bool stuck = false;
    Clock::time_point ran{};
    std::chrono::nanoseconds ranFor = mainThreadTime();
    for (;;) {
      const auto now = Clock::now();
      const std::chrono::nanoseconds runTime = mainThreadTime();
      if (runTime - ranFor >= Look / 100) {
        ran = now;
        ranFor = runTime;
      }
      const auto last =
          std::max({Clock::time_point(Clock::duration(m_progress.load())), core::WorkProgress::last(), ran});
      const auto graceLeft = last + Grace - now;
      const auto left = std::min(graceLeft, ceiling - now);
      if (left <= Clock::duration::zero()) {
        stuck = graceLeft <= Clock::duration::zero();
        break;
      }
      pollfd f{m_finished, POLLIN, 0};
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::min<Clock::duration>(left, Look)).count();
      if (poll(&f, 1, static_cast<int>(ms)) > 0) return;
    }
    // Said with system calls alone: whatever the main thread is stuck in may hold the allocator.
    char number[16];
    const char* numberEnd = std::to_chars(number, number + sizeof number, signal).ptr;
    const std::string_view said(number, numberEnd - number);
    if (stuck) {
      core::logNoticeAndExit(0, {"Signal ", said, ": the program did not stop within ", GraceText,
                                 " (stuck inside the window system or a read); ending it now."});
    }
    core::logNoticeAndExit(0, {"Signal ", said, ": the program did not stop within ", CeilingText,
                               ", the stop's ceiling, while still at work (a first screen or a layout that does "
                               "not end); ending it now."});
  }

  // How often the main thread's processor time is looked at during the stop.
  static constexpr auto Look = std::chrono::duration_cast<std::chrono::milliseconds>(Grace) / 4;

  // The processor time the main thread has run for (0 where the clock cannot be read: then only
  // the marks of progress count).
  std::chrono::nanoseconds mainThreadTime() const {
    timespec t{};
    if (m_mainCpuClock == -1 || clock_gettime(m_mainCpuClock, &t) != 0) return {};
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
  }

  static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free atomic");
  // Written by the handler: the first signal's number, and a count that makes s_heard readable.
  static inline std::atomic<int> s_first{0};
  static inline int s_heard = -1;
  // The signal's line is in the log.
  static inline std::atomic<bool> s_told{false};

  int m_interrupt = -1;
  int m_finished = -1;
  clockid_t m_mainCpuClock = -1;
  std::atomic<bool> m_received{false};
  std::atomic<Clock::rep> m_progress{0};
  std::thread m_thread;
};

// A write to a pipe nobody reads (standard error under a supervisor that stopped reading) is an
// error to that write, not the end of the program. Caught rather than ignored: an ignored signal
// stays ignored in the children the program's libraries start, a caught one is default there.
void onBrokenPipe(int) {}

// What the program shows its key window on: opened before launch (a display that is named but not
// there yet is waited for), started once launch has made the first screen.
class ScreenOutput {
 public:
  // False when no surface opened; `why` says why, empty when a termination signal ended the wait;
  // `mendable` whether waiting longer might have shown it.
  bool open(const TerminationSignals& signals, std::string* why, bool* mendable) {
    const core::Bundle& bundle = core::Bundle::main();
    KT_LOG("started: resources %s, settings %s", bundle.resourcePath().c_str(), core::paths::configDir().c_str());
    core::Error error;
    m_surface = display::open(display::OpenOptions{display::displayWaitSeconds(), signals.interruptFd()}, &error);
    if (!m_surface) {
      *why = signals.received() ? "" : error.localizedDescription();
      *mendable = error.code() != display::DisplayCannotWork;
      return false;
    }
    KT_LOG("shown %s", m_surface->isOnScreen() ? "in a window" : "offscreen");
    return true;
  }
  void start() {
    m_surface->start();
    if (const char* dir = std::getenv("KT_SCREENS_DIR"); dir && *dir) {
      core::paths::makeDirectories(dir);
      // A moment after launch, so the home screen's banners, chart and pictures are in.
      const std::string path = std::string(dir) + "/start.png";
      core::RunLoop::main().performAfterDelay(core::WeakToken(m_weakFactory.weakPtr()), ScreenshotDelay, [this, path] {
        if (m_surface->saveScreenshot(path)) KT_LOG("screenshot %s", path.c_str());
      });
    }
  }
  void close() {
    if (m_surface) m_surface->stop();
    KT_LOG("stopped");
  }
  // The window, and with it the display's connection, let go of. The process ends right after,
  // so the window's end reads nothing more from the display: what the window system made is left
  // to the display server, which frees it with the connection as the process exits.
  void release() {
    if (m_surface) m_surface->prepareForProcessExit();
    m_surface.reset();
  }
  bool displayLost() const { return m_surface && m_surface->displayLost(); }

 private:
  static constexpr double ScreenshotDelay = 3.0;

  std::unique_ptr<display::Surface> m_surface;
  core::WeakPtrFactory<ScreenOutput> m_weakFactory{this};
};

// For the signal tests alone: KT_TEST_LAUNCH_HOLD names a FIFO that the making of the first
// screen opens, so that the test knows the program is inside it. Handed "w", it waits for the
// stop and then goes on loading views for `busyFor`, as a first screen that takes long to make
// would; handed "c", it computes for `busyFor` instead, without a view or any other mark of
// progress, as one step of a start on a starved machine takes long; handed "f", it loads views
// for ever, as a first screen that keeps loading would, until the process is ended; handed
// nothing, it stands still in the read, as a main thread stuck in a call does.
void holdTheFirstScreenForTests(const char* fifo, std::chrono::steady_clock::duration busyFor) {
  const int fd = ::open(fifo, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char mode = 0;
  if (read(fd, &mode, 1) != 1) mode = 0;
  close(fd);
  if (mode != 'w' && mode != 'c' && mode != 'f') return;
  // The FIFO gone tells the test that the mode was read: its signal then finds this thread in the
  // wait below (ThreadSanitizer lost one that came while the read and close were returning).
  ::unlink(fifo);
  const bool forever = mode == 'f';
  // Paused in poll(2), not in a sleep: ThreadSanitizer delivers a signal that lands on this thread
  // only inside the calls it intercepts as blocking, and it does not intercept sleeps, so a signal
  // held there would never reach its handler.
  auto pause = [](int milliseconds) { ::poll(nullptr, 0, milliseconds); };
  while (!core::RunLoop::main().isStopping()) pause(1);
  const auto until = std::chrono::steady_clock::now() + busyFor;
  if (mode == 'c') {
    volatile uint64_t sum = 0;
    while (std::chrono::steady_clock::now() < until) {
      for (int i = 0; i < 100000; ++i) sum = sum + static_cast<uint64_t>(i);
    }
    return;
  }
  while (forever || std::chrono::steady_clock::now() < until) {
    std::make_shared<ui::ViewController>()->view();
    pause(10);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // SIGCHLD at its default, whatever whoever started the program left it at: inherited ignored
  // (as some launchers and process managers leave it), the kernel reaps every child the program
  // or its libraries start as it ends (the host lookup for the session bus, GStreamer's plugin
  // scanner), and the wait for it fails with ECHILD; the children would inherit it ignored too.
  struct sigaction childDefault {};
  childDefault.sa_handler = SIG_DFL;
  sigemptyset(&childDefault.sa_mask);
  sigaction(SIGCHLD, &childDefault, nullptr);
  // Termination signals are heard from here on: one that comes during the checks below, or
  // before the thread that stops the program exists, still stops it in order.
  TerminationSignals termination;
  if (!TerminationSignals::install()) {
    std::perror("ktv_client: cannot watch termination signals");
    return 1;
  }
  // From here on too, before anything is written: --help on a pipe whose reader has gone ends
  // with its status, not by the signal. The sockets say MSG_NOSIGNAL already.
  struct sigaction brokenPipe {};
  brokenPipe.sa_handler = onBrokenPipe;
  brokenPipe.sa_flags = SA_RESTART;
  sigemptyset(&brokenPipe.sa_mask);
  sigaction(SIGPIPE, &brokenPipe, nullptr);
  // --help and --version answer at once; an argument that is not a "-Key value" setting ends it.
  if (const std::optional<int> status = kt::ProgramArguments(argc, argv).answer(KT_VERSION)) return *status;
  // Missing resources, or state folders another user could have written, end it before it starts.
  if (const std::optional<int> status = kt::StartChecks::run()) return *status;
  // "-Server_Ip 127.0.0.1"-style arguments override the settings for this run.
  core::UserDefaults::setArguments(argc, argv);
  // The main run loop is this thread's, made before any other thread asks for it.
  core::RunLoop::main();

  // Termination signals are heard by a thread of their own, which stops the run loop.
  if (!termination.start()) {
    KT_LOG("cannot watch termination signals");
    return 1;
  }
  // One came already: nothing is opened for it.
  if (TerminationSignals::pending()) {
    termination.waitUntilTold();
    KT_LOG("signal received before the start, nothing opened: stopped");
    return 0;
  }

  ScreenOutput screen;
  std::string why;
  bool mendable = true;
  if (!screen.open(termination, &why, &mendable)) {
    termination.progress();
    // Nothing would ever be shown: the program ends with a failure, so that a supervisor starts
    // it again later, unless waiting cannot mend it. A termination signal during the wait is a
    // normal stop.
    termination.waitUntilTold();
    if (!why.empty()) core::logNotice(why + ". Stopping.");
    else KT_LOG("signal received while waiting for the display: stopped");
    if (why.empty()) return 0;
    return mendable ? 1 : display::ConfigurationErrorStatus;
  }
  core::Observation launched(core::NotificationCenter::defaultCenter(), ui::Application::DidFinishLaunchingNotification,
                             nullptr, [&](const core::Notification&) { screen.start(); });
  // Web pages load their pictures through the image cache, as the rest of the program does.
  ui::WebView::setDefaultPictureLoader(std::make_shared<kt::ICWebPictureLoader>());
  kt::SongScreens::registerBuiltInScreens();
  kt::OrderScreens::registerStoryboard();
  kt::setRootScreenFactory([] {
    if (const char* fifo = std::getenv("KT_TEST_LAUNCH_HOLD"); fifo && *fifo)
      holdTheFirstScreenForTests(fifo, 2 * TerminationSignals::Grace);
    return std::make_shared<kt::ChooseMusicVC>();
  });
  kt::AppDelegate delegate;
  const int result = ui::Application::shared().run(argc, argv, &delegate);
  // The loop has stopped. Each step until the display is let go of tells the signals' thread
  // that the stop goes on: a server stopped under it would hold the window's end for ever.
  termination.progress();
  termination.waitUntilTold();
  screen.close();
  const bool lost = screen.displayLost();
  termination.progress();
  screen.release();
  termination.displayReleased();
  return lost ? 1 : result;
}
