// The room tablet client: AppDelegate launches it into its key window, on the song home screen,
// shown in a real window where there is a display, else offscreen (saving a screenshot of the
// first screen into $KT_SCREENS_DIR when that is set). SIGINT and SIGTERM stop it between
// callbacks; so does the loss of the window's display (the compositor or X server went away), after
// which it ends with status 1, so that a supervisor restarting it on failure brings it back. A
// display that is named but not there (yet) is waited for, then it ends with status 1 too.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "app/AppDelegate.h"
#include "app/ProgramArguments.h"
#include "app/StartChecks.h"
#include "imagecache/ICWebPictureLoader.h"
#include "order/OrderScreens.h"
#include "platform/core/Bundle.h"
#include "platform/core/Error.h"
#include "platform/core/FdSource.h"
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

// What the program shows its key window on: opened before launch (a display that is named but not
// there yet is waited for), started once launch has made the first screen.
class ScreenOutput {
 public:
  // False when no surface opened; `why` says why, empty when a termination signal ended the wait.
  bool open(int signalFd, std::string* why) {
    const core::Bundle& bundle = core::Bundle::main();
    KT_LOG("started: resources %s, settings %s", bundle.resourcePath().c_str(), core::paths::configDir().c_str());
    core::Error error;
    m_surface = display::open(display::OpenOptions{display::displayWaitSeconds(), signalFd}, &error);
    if (!m_surface) {
      pollfd p{signalFd, POLLIN, 0};
      *why = poll(&p, 1, 0) > 0 ? "" : error.localizedDescription();
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
  core::RunLoop& loop = core::RunLoop::main();

  // Termination signals arrive as a run-loop source, so the loop stops between callbacks.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd < 0) {
    KT_LOG("cannot watch termination signals");
    return 1;
  }
  auto source = core::FdSource::create(signalFd, core::FdSource::Readable, [&](unsigned) {
    signalfd_siginfo info;
    while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      KT_LOG("signal %u received, stopping", info.ssi_signo);
      loop.stop();
    }
  });
  loop.addSource(source, core::RunLoop::CommonModes);

  ScreenOutput screen;
  std::string why;
  if (!screen.open(signalFd, &why)) {
    // Nothing would ever be shown: the program ends with a failure, so that a supervisor starts
    // it again later. A termination signal during the wait is a normal stop.
    if (!why.empty()) core::logNotice(why + ". Stopping.");
    else KT_LOG("signal received while waiting for the display, stopping");
    source->invalidate();
    close(signalFd);
    return why.empty() ? 0 : 1;
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
  screen.close();
  source->invalidate();
  close(signalFd);
  return screen.displayLost() ? 1 : result;
}
