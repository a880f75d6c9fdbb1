#include "platform/display/WindowSurface.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/core/Error.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace {

std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// A private X server for one test: Xvfb picks a free display number and reports it on a pipe.
// The server is stopped when the object goes, and dies with the test program if that crashes.
class XServer {
 public:
  explicit XServer(const std::string& program) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::string fdText = std::to_string(fds[1]);
    const char* argv[] = {program.c_str(), "-displayfd", fdText.c_str(), "-screen", "0", "1280x1024x24",
                          "-nolisten", "tcp", "-noreset", nullptr};
    m_pid = fork();
    if (m_pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      fcntl(fds[1], F_SETFD, 0);  // the write end stays open across exec
      int devnull = ::open("/dev/null", O_WRONLY);
      if (devnull >= 0) dup2(devnull, 2), dup2(devnull, 1);
      execv(argv[0], const_cast<char* const*>(argv));
      _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
      close(fds[0]);
      return;
    }
    // The display number, then a newline, once the server accepts connections.
    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    while (text.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
      char buf[16];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (text.find('\n') != std::string::npos) m_display = ":" + text.substr(0, text.find('\n'));
  }

  ~XServer() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
  }

  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // ":N", empty when the server did not start.
  const std::string& display() const { return m_display; }

 private:
  pid_t m_pid = -1;
  std::string m_display;
};

using support::ScopedEnv;

class WindowSurfaceTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_program = findProgram("Xvfb");
    if (m_program.empty()) GTEST_SKIP() << "Xvfb is not installed: no real window to test";
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
  void TearDown() override {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }

  std::string m_program;
};

TEST_F(WindowSurfaceTest, ShowsFramesAndTakesTheMouseInARealWindow) {
  XServer server(m_program);
  ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
  ScopedEnv display("DISPLAY", server.display().c_str());
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  ScopedEnv driver("SDL_VIDEODRIVER", nullptr);

  auto window = ui::Window::create();
  window->setBackgroundColor(gfx::Color::rgba(0, 0, 1));
  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(200, 150, 400, 300));
  button->setBackgroundColor(gfx::Color::rgba(0.8, 0.2, 0.2));
  int taps = 0;
  button->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  window->addSubview(button);
  window->makeKeyAndVisible();

  {
    core::Error error;
    display::WindowSurface::Options options;
    options.softwareRenderer = true;
    auto surface = display::WindowSurface::open(options, &error);
    ASSERT_NE(surface, nullptr) << error.description();
    EXPECT_TRUE(surface->isOnScreen());
    EXPECT_EQ(surface->windowScale(), 1.0) << "1024 x 768 fits on the 1280 x 1024 server";
    int w = 0, h = 0;
    SDL_GetWindowSize(surface->sdlWindow(), &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);

    EXPECT_FALSE(surface->renderFrame().isEmpty());
    auto shown = surface->readPixels();
    ASSERT_NE(shown, nullptr);
    double k = shown->pixelWidth() / 1024.0;
    auto at = [&](double x, double y) { return shown->pixelAt(static_cast<int>(x * k), static_cast<int>(y * k)); };
    EXPECT_EQ(at(400, 300), 0xFFCC3333u);
    EXPECT_EQ(at(100, 100), 0xFF0000FFu);
    EXPECT_EQ(at(1000, 700), 0xFF0000FFu);

    // A change uploads the new frame.
    button->setBackgroundColor(gfx::Color::rgba(0, 1, 0));
    EXPECT_FALSE(surface->renderFrame().isEmpty());
    shown = surface->readPixels();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(at(400, 300), 0xFF00FF00u);

    // The left button is a finger: down and up over the button is a tap.
    SDL_Event down{};
    down.type = SDL_MOUSEBUTTONDOWN;
    down.button.windowID = SDL_GetWindowID(surface->sdlWindow());
    down.button.button = SDL_BUTTON_LEFT;
    down.button.state = SDL_PRESSED;
    down.button.clicks = 1;
    down.button.x = 400;
    down.button.y = 300;
    SDL_Event up = down;
    up.type = SDL_MOUSEBUTTONUP;
    up.button.state = SDL_RELEASED;
    SDL_PushEvent(&down);
    SDL_PushEvent(&up);
    surface->processEvents();
    EXPECT_EQ(taps, 1);

    // The wheel comes out as a scroll of the content.
    std::optional<display::ScrollEvent> scrolled;
    surface->setScrollHandler([&](const display::ScrollEvent& e) { scrolled = e; });
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = down.button.windowID;
    wheel.wheel.y = 1;
    wheel.wheel.preciseY = 1;
    wheel.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    wheel.wheel.mouseX = 300;
    wheel.wheel.mouseY = 200;
    SDL_PushEvent(&wheel);
    surface->processEvents();
    ASSERT_TRUE(scrolled.has_value());
    EXPECT_EQ(scrolled->location, (gfx::Point{300, 200}));
    EXPECT_GT(scrolled->scrollDelta.height, 0);
    EXPECT_EQ(scrolled->scrollDelta.width, 0);

    // Closing the window goes to the close handler.
    bool closed = false;
    surface->setCloseHandler([&] { closed = true; });
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    surface->processEvents();
    EXPECT_TRUE(closed);
  }
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "the window's end shuts SDL's video down";
}

}  // namespace
