#include "platform/display/Display.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/UserDefaults.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/Interrupt.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/display/WindowStartWatch.h"
#include "platform/display/WindowSurface.h"

namespace display {
namespace {

// How often a display that is not there yet is tried again.
constexpr int RetryMilliseconds = 200;
// How long one try waits for a server's first answer: what is left of the wait, but at least the
// first and at most the second.
constexpr int MinAnswerMilliseconds = 1000;
constexpr int MaxAnswerMilliseconds = 5000;

bool isSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// The display named, for the user: "WAYLAND_DISPLAY=wayland-0, DISPLAY unset". The values are
// made fit for a line: a line break in one would forge a line of the log, an escape reach the
// terminal.
std::string namedDisplays() {
  auto named = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(name) + (v && *v ? "=" + displayableWords(v) : " unset");
  };
  return named("WAYLAND_DISPLAY") + ", " + named("DISPLAY");
}

// A number of seconds as the user wrote it, or nothing when it is not one.
std::optional<double> seconds(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0) return std::nullopt;
  return v;
}

// A cause as the end of a sentence that goes on: its own full stop left out, so that the ". "
// that follows is not doubled.
std::string withoutFullStop(std::string cause) {
  while (!cause.empty() && (cause.back() == '.' || cause.back() == ' ')) cause.pop_back();
  return cause;
}

std::string secondsText(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", s);
  return text;
}

}  // namespace

double displayWaitSeconds() {
  constexpr double Default = 30;
  if (const char* v = std::getenv("KT_DISPLAY_WAIT"); v && *v) {
    if (auto s = seconds(v)) return *s;
    core::logNotice(std::string("KT_DISPLAY_WAIT=") + v +
                    " is not a number of seconds; the setting Display_Wait is used, else " + secondsText(Default) + ".");
  }
  core::Value setting = core::UserDefaults::standard().objectForKey("Display_Wait");
  if (setting.isNull()) return Default;
  if (auto s = seconds(setting.stringValue())) return *s;
  core::logNotice("The setting Display_Wait (" + setting.stringValue() + ") is not a number of seconds; waiting " +
                  secondsText(Default) + ".");
  return Default;
}

std::unique_ptr<Surface> open(const OpenOptions& options, core::Error* error) {
  const char* forced = std::getenv("KT_OFFSCREEN");
  if ((forced && std::strcmp(forced, "1") == 0) || !(isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")))
    return OffscreenSurface::create();

  using Clock = std::chrono::steady_clock;
  // At most about thirty years, which the steady clock can still count to.
  const double wait = std::isnan(options.waitSeconds) ? 0 : std::clamp(options.waitSeconds, 0.0, 1e9);
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
  auto fail = [&](const std::string& text, int64_t code = Surface::OpenFailed) {
    core::setError(error, core::Error::withDescription(Surface::ErrorDomain, code, text));
    return nullptr;
  };
  bool told = false, toldTitleBar = false;
  std::string lastCause;
  for (;;) {
    // Each try waits for the servers' first answer for what is left of the wait, within bounds:
    // never so long that a server restarted meanwhile is missed, never too short to answer.
    const auto left = deadline - Clock::now();
    const auto within = std::clamp<Clock::duration>(left, std::chrono::milliseconds(MinAnswerMilliseconds),
                                                    std::chrono::milliseconds(MaxAnswerMilliseconds));
    const Probe probe = probeDisplays(within, options.interruptFd, WindowSurface::waylandNeeds());
    if (probe.outcome == Probe::Outcome::Interrupted) return fail("The wait for the display was interrupted");
    std::string cause = probe.cause;
    if (probe.outcome == Probe::Outcome::There) {
      core::Error failure;
      WindowSurface::Options windowOptions;
      windowOptions.driver = probe.driver;
      windowOptions.interruptFd = options.interruptFd;
      windowOptions.titleBar = probe.titleBar;
      if (!probe.titleBar && !toldTitleBar) {
        core::logNotice(withoutFullStop(probe.titleBarCause) + ".");
        toldTitleBar = true;
      }
      // SDL's start has no time limit of its own, and may spin or crash on a connection broken
      // under it: it is bounded, and its crashes looked at, from here until the window's first
      // frame is confirmed on show.
      const auto limit = std::max<Clock::duration>(
          deadline - Clock::now(), std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(MinWindowStartSeconds)));
      WindowStartWatch::arm(limit, probe.where, reinterpret_cast<const sockaddr*>(&probe.peer), probe.peerLength,
                            probe.request);
      std::unique_ptr<WindowSurface> window = WindowSurface::open(windowOptions, &failure);
      if (window) {
        WindowStartWatch::windowMade();
        if (told) core::logNotice("The display is there: the window is open.");
        return window;
      }
      WindowStartWatch::disarm();
      // A termination signal during the window's start ends the open as it ends the wait.
      if (interruptedNow(options.interruptFd)) return fail("The window's start was interrupted");
      cause = failure.localizedDescription();
    }
    cause = withoutFullStop(cause);
    // What waiting cannot mend ends the wait at once.
    if (probe.outcome == Probe::Outcome::Never)
      return fail("No window can be opened on the desktop (" + namedDisplays() + "): " + cause, DisplayCannotWork);
    if (Clock::now() >= deadline) {
      // The reason, then the end: a supervisor that starts the program again on failure tries
      // once more later.
      std::string text = "No window could be opened on the desktop (" + namedDisplays() + "): " + cause;
      if (wait > 0) text += " (waited " + secondsText(wait) + ")";
      return fail(text);
    }
    if (!told) {
      // Not only the log: whoever started the program on a desktop sees why it shows nothing yet.
      core::logNotice("No window could be opened on the desktop yet (" + namedDisplays() + "): " + cause +
                      ". Waiting up to " + secondsText(wait) + " for it.");
      told = true;
    } else if (cause != lastCause) {
      // A display that stays down is logged once, not at every try; a new reason is worth a line.
      KT_LOG("no window yet: %s", cause.c_str());
    }
    lastCause = cause;
    const auto pause = std::min<Clock::duration>(deadline - Clock::now(), std::chrono::milliseconds(RetryMilliseconds));
    pollfd p{options.interruptFd, POLLIN, 0};
    const int ms = static_cast<int>(std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(pause).count()));
    if (poll(&p, options.interruptFd >= 0 ? 1 : 0, ms) > 0) return fail("The wait for the display was interrupted");
  }
}

}  // namespace display
