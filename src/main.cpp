// The room tablet client: AppDelegate launches it into its key window, on the song home screen,
// shown in a real window where there is a display, else offscreen (saving a screenshot of the
// first screen into $KT_SCREENS_DIR when that is set). SIGINT and SIGTERM stop it between
// callbacks, and end it with status 0 within a second whatever it is doing; the loss of the
// window's display (the compositor or X server went away) stops it too, after which it ends with
// status 1, so that a supervisor restarting it on failure brings it back. A display that is named
// but not there (yet) is waited for, then it ends with status 1 too; one that waiting cannot mend
// ends it at once with display::ConfigurationErrorStatus (78).
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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
#include "platform/display/Display.h"
#include "platform/display/Surface.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"
#include "songs/ChooseMusicVC.h"
#include "songs/SongScreens.h"

namespace {

// SIGINT and SIGTERM, heard whatever the main thread is doing. They are held for the whole process
// (every thread made after start() inherits that) and read by a thread of their own from a
// signalfd. A signal is said, makes interruptFd() readable (which ends the wait for a display)
// and stops the main run loop, from where the program stops in order. Until the main thread has
// let go of the display (displayReleased()), nothing else can hold it for long, it tells of its
// stop's progress (progress()); should a second pass without any (it is stuck inside the window
// system, on a stopped server, ...), the thread says so and ends the process itself with status 0.
class TerminationSignals {
 public:
  ~TerminationSignals() {
    displayReleased();
    if (m_thread.joinable()) m_thread.join();
    for (int fd : {m_signals, m_interrupt, m_finished}) {
      if (fd >= 0) close(fd);
    }
  }

  bool start() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_signals = signalfd(-1, &signals, SFD_CLOEXEC);
    m_interrupt = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_finished = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_signals < 0 || m_interrupt < 0 || m_finished < 0) return false;
    progress();
    m_thread = std::thread([this] { listen(); });
    return true;
  }

  // Readable from the first signal on.
  int interruptFd() const { return m_interrupt; }
  bool received() const { return m_received.load(); }
  // The main thread's stop goes on: the second it is given starts again.
  void progress() { m_progress.store(Clock::now().time_since_epoch().count()); }
  // The main thread no longer touches the display: the rest of its stop is not timed, and the
  // thread ends.
  void displayReleased() {
    if (m_finished < 0) return;
    const uint64_t one = 1;
    ssize_t written = write(m_finished, &one, sizeof one);
    (void)written;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr auto Grace = std::chrono::seconds(1);

  void listen() {
    pollfd p[2] = {{m_signals, POLLIN, 0}, {m_finished, POLLIN, 0}};
    for (;;) {
      if (poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      signalfd_siginfo info;
      if (read(m_signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
      if (m_received.exchange(true)) continue;  // the stop is under way already
      m_signal = info.ssi_signo;
      break;
    }
    KT_LOG("signal %u received, stopping", m_signal);
    const uint64_t one = 1;
    ssize_t written = write(m_interrupt, &one, sizeof one);
    (void)written;
    progress();
    core::RunLoop::main().stop();
    // Until the main thread has finished, or a second has passed since it last went on.
    for (;;) {
      const auto last = Clock::time_point(Clock::duration(m_progress.load()));
      const auto left = last + Grace - Clock::now();
      if (left <= Clock::duration::zero()) break;
      pollfd f{m_finished, POLLIN, 0};
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
      if (poll(&f, 1, static_cast<int>(ms)) > 0) return;
    }
    core::logNotice("Signal " + std::to_string(m_signal) +
                    ": the program did not stop within a second (stuck inside the window system or a read); "
                    "ending it now.");
    _exit(0);
  }

  int m_signals = -1;
  int m_interrupt = -1;
  int m_finished = -1;
  unsigned m_signal = 0;
  std::atomic<bool> m_received{false};
  std::atomic<Clock::rep> m_progress{0};
  std::thread m_thread;
};

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
  // The window, and with it the display's connection, let go of.
  void release() { m_surface.reset(); }
  bool displayLost() const { return m_surface && m_surface->displayLost(); }

 private:
  static constexpr double ScreenshotDelay = 3.0;

  std::unique_ptr<display::Surface> m_surface;
  core::WeakPtrFactory<ScreenOutput> m_weakFactory{this};
};

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer at once; an argument that is not a "-Key value" setting ends it.
  if (const std::optional<int> status = kt::ProgramArguments(argc, argv).answer(KT_VERSION)) return *status;
  // Missing resources, or state folders another user could have written, end it before it starts.
  if (const std::optional<int> status = kt::StartChecks::run()) return *status;
  // A write to a pipe nobody reads (standard error under a supervisor that stopped reading) is an
  // error to that write, not the end of the program; the sockets say MSG_NOSIGNAL already.
  signal(SIGPIPE, SIG_IGN);
  // "-Server_Ip 127.0.0.1"-style arguments override the settings for this run.
  core::UserDefaults::setArguments(argc, argv);
  // The main run loop is this thread's, made before any other thread asks for it.
  core::RunLoop::main();

  // Termination signals are heard by a thread of their own, which stops the run loop.
  TerminationSignals termination;
  if (!termination.start()) {
    KT_LOG("cannot watch termination signals");
    return 1;
  }

  ScreenOutput screen;
  std::string why;
  bool mendable = true;
  if (!screen.open(termination, &why, &mendable)) {
    termination.progress();
    // Nothing would ever be shown: the program ends with a failure, so that a supervisor starts
    // it again later, unless waiting cannot mend it. A termination signal during the wait is a
    // normal stop.
    if (!why.empty()) core::logNotice(why + ". Stopping.");
    else KT_LOG("signal received while waiting for the display, stopping");
    if (why.empty()) return 0;
    return mendable ? 1 : display::ConfigurationErrorStatus;
  }
  core::Observation launched(core::NotificationCenter::defaultCenter(), ui::Application::DidFinishLaunchingNotification,
                             nullptr, [&](const core::Notification&) { screen.start(); });
  // Web pages load their pictures through the image cache, as the rest of the program does.
  ui::WebView::setDefaultPictureLoader(std::make_shared<kt::ICWebPictureLoader>());
  kt::SongScreens::registerBuiltInScreens();
  kt::OrderScreens::registerStoryboard();
  kt::setRootScreenFactory([] { return std::make_shared<kt::ChooseMusicVC>(); });
  kt::AppDelegate delegate;
  const int result = ui::Application::shared().run(argc, argv, &delegate);
  // The loop has stopped. Each step until the display is let go of tells the signals' thread
  // that the stop goes on: a server stopped under it would hold the window's end for ever.
  termination.progress();
  screen.close();
  const bool lost = screen.displayLost();
  termination.progress();
  screen.release();
  termination.displayReleased();
  return lost ? 1 : result;
}
