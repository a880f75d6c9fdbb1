// The room tablet client. Until its screens exist it runs the main run loop headless, logging
// its start-up, until it receives SIGINT or SIGTERM.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/core/Bundle.h"
#include "platform/core/FdSource.h"
#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/core/RunLoop.h"

int main() {
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

  const core::Bundle& bundle = core::Bundle::main();
  KT_LOG("started: resources %s, settings %s", bundle.resourcePath().c_str(), core::paths::configDir().c_str());
  loop.run();
  source->invalidate();
  close(signalFd);
  KT_LOG("stopped");
  return 0;
}
