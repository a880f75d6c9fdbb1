// The interface drawn at the window's own scale against drawn at scale 2 and resampled into the
// window (KT_DRAW_SCALE=2, the drawing before the window's scale was followed), side by side: the
// real song home screen (its banners, chart and tiles from the stand-in cloud service) and a
// frame of the paper fold from it to a second home screen, each a whole frame (every layer's
// contents drawn again, composited and shown), in full-screen windows of 1024 x 768, 1280 x 800,
// 1920 x 1080 and 3840 x 2160 on a private X server and on a private Weston (kiosk shell).
// Prints each window's ratio of its own scale to scale 2 with the goals: at most 0.35 at
// 1024 x 768, 0.45 at 1280 x 800, 2.2 at 3840 x 2160 (2880 x 2160 drawn, no enlargement).
// The two sides of a window run in two child processes, each with its window open on display
// servers of its own (the home screen's rounds, then the fold's), and are timed in turns: after
// the warm-up frames, nine rounds of a batch of frames at the window's scale and then one at
// scale 2 (each batch after an untimed frame), a round's ratio being that of its two batches' mean
// frame times. The ratio printed is the median of the rounds', with their lowest and highest, and
// the goal's verdict is the median's: a busy moment of the machine weighs on a round or two, where
// timed side after side it weighed on one side alone. A whole frame must show what the program's
// own frames show: each side compares its home screen after the warm-up with the picture it took
// before (within a rounding here and there) and is not timed when they differ; it says how many
// layer bitmaps a whole frame makes and their pixels, printed under the window's ratio.
// KT_BENCH_SCREENS=<folder> saves both pictures of each side there as PNG files.
//
// The song list scrolling full screen on 1920 x 1080 (1.40625), frame after frame, against the same
// at scale 2, in the CPU time of the whole program (every thread): goal at most 0.6. And the whole
// guest round (home, a song list scrolled, back, the food menu, the staff grid pushed with the
// fold and back) full screen on 1920 x 1080 and on 1280 x 800, each round in a child process of
// its own against the stand-in venue run by this one, taken in turns with the round at scale 2, in
// the child's CPU time: goals at most 0.65 and 0.45.
//
// Then the memory: the program's anonymous resident memory (RssAnon) after home, food menu,
// staff grid (pushed with the fold) and back, in a 1024 x 768 window on a private X server, run in
// a child process of its own at the window's scale and again with KT_DRAW_SCALE=2, against the
// stand-in venue (room server with its menu and staff, web server, cloud service). Goal: at most
// 0.6 of scale 2's. `--memory-only` skips the timed runs and the guest rounds, `--rounds-only` runs
// the guest rounds alone, `--frames-only` the timed frames alone.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchReport.h"
#include "app/DataCenter.h"
#include "link/ServerNetworkCenter.h"
#include "order/MissViewController.h"
#include "order/OrderMainViewController.h"
#include "order/OrderScreens.h"
#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/core/UserDefaults.h"
#include "platform/display/WindowSurface.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Layer.h"
#include "platform/net/HostMap.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"
#include "platform/gfx/Image.h"
#include "platform/ui/TableView.h"
#include "songs/ChooseMusicVC.h"
#include "songs/SongsListVC.h"
#include "support/DisplayServers.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "venue/CloudService.h"
#include "venue/RoomServer.h"
#include "venue/VenueRoom.h"
#include "venue/WebServer.h"
#include "widgets/transitions/VTFoldTransition.h"

namespace {

struct WindowSize {
  int width, height;
  double goal;  // the most the window's scale may cost against scale 2; 0 for none
};
constexpr WindowSize kSizes[] = {{1024, 768, 0.35}, {1280, 800, 0.45}, {1920, 1080, 0}, {3840, 2160, 2.2}};
// Rounds a window's scene is timed in, each a batch of frames on one side and then on the other.
constexpr int kRounds = 9;
// A whole home frame costs two milliseconds or so at the window's scale now that only the views
// that draw make bitmaps: eight of them a batch, so that a moment's noise does not make the round.
constexpr int kHomeBatch = 8;
// A fold frame costs a few milliseconds: more of them a batch, so that a busy machine's noise
// averages out.
constexpr int kFoldBatch = 4;
// Untimed whole frames before the timed ones.
constexpr int kWarmUpFrames = 4;
// How long a side may take to answer (its window set up, or a batch of frames) before it is given up.
constexpr int kSideReplySeconds = 120;
// The song list scrolled: full screen on 1920 x 1080, the most its CPU may be against scale 2's.
constexpr WindowSize kScrollSize{1920, 1080, 0.6};
constexpr int kScrollFrames = 90;
constexpr const char* kListTitle = "男女对唱";

std::string sizeName(const WindowSize& s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

// Every layer's contents drawn again at the next frame.
void redrawAll(gfx::Layer& layer) {
  layer.setNeedsDisplay();
  for (const auto& sub : layer.sublayers()) redrawAll(*sub);
}

// A full-screen window on a private display of the given size, with the real home screen shown
// in it, drawn at the window's scale (or at KT_DRAW_SCALE=2).
class Stage {
 public:
  Stage(const WindowSize& size, bool wayland, bool scaleTwo) {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
    if (!m_service.start()) return;
    for (const std::string& host : venue::CloudService::hosts()) net::HostMap::set(host, 80, "127.0.0.1", m_service.port());
    m_x = std::make_unique<support::XServer>(sizeName(size) + "x24");
    if (m_x->display().empty()) return;
    set("KT_DRAW_SCALE", scaleTwo ? "2" : nullptr);
    set("SDL_VIDEODRIVER", nullptr);
    set("KT_FULLSCREEN", nullptr);
    if (wayland) {
      m_weston = std::make_unique<support::WestonServer>(m_x->display(), size.width, size.height);
      if (!m_weston->isReady()) return;
      set("DISPLAY", nullptr);
      set("WAYLAND_DISPLAY", m_weston->socket().c_str());
      set("XDG_RUNTIME_DIR", m_weston->runtimeDir().c_str());
    } else {
      set("DISPLAY", m_x->display().c_str());
      set("WAYLAND_DISPLAY", nullptr);
    }
    m_window = ui::Window::create();
    m_window->setBackgroundColor(gfx::Color::whiteColor());
    m_window->makeKeyAndVisible();
    display::WindowSurface::Options options;
    options.fullScreen = !wayland;  // the kiosk shell fills the output by itself
    core::Error error;
    m_surface = display::WindowSurface::open(options, &error);
    if (!m_surface || m_surface->isWayland() != wayland) return;
    const double scale = std::min(size.width / 1024.0, size.height / 768.0);
    if (!waitFor([&] { return m_surface->pictureScale() == scale; })) return;
    // The size settles (the run loop's clock, held by the benchmark).
    core::Clock::advance(display::WindowSurface::SettleSeconds + 0.05);
    support::drainMainLoop();
    m_home = std::make_shared<kt::ChooseMusicVC>();
    m_nav = std::make_shared<ui::NavigationController>(m_home);
    m_window->setRootViewController(m_nav);
    m_surface->renderFrame();
    if (!support::runUntil([&] { return m_home->arr_data().size() == 20; }, 15)) return;
    frames(1.0);
    m_ready = ui::Screen::main().drawingScale() == (scaleTwo ? 2.0 : scale);
  }
  ~Stage() {
    m_list.reset();
    m_nav.reset();
    m_home.reset();
    if (m_window) m_window->setRootViewController(nullptr);
    support::drainMainLoop();
    m_surface.reset();
    m_window.reset();
    net::HostMap::clear();
    m_service.stop();
    m_env.clear();
    m_weston.reset();
    m_x.reset();
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
  bool ready() const { return m_ready; }

  // Frames for `seconds` of the run loop's clock, a frame interval apart.
  void frames(double seconds) {
    for (double t = 0; t < seconds; t += 1.0 / 60) {
      core::Clock::advance(1.0 / 60);
      support::drainMainLoop();
      waitForBuffer();
      m_surface->renderFrame();
    }
  }
  // The fold to a second home screen, held in its middle.
  bool startFold() {
    m_second = std::make_shared<kt::ChooseMusicVC>();
    kt::pushViewController(*m_nav, m_second, kt::foldStyleDefault);
    support::drainMainLoop();
    frames(0.12);
    return m_nav->topViewController() != m_second.get();
  }
  // The song list pushed over the home screen, with its first page of songs.
  bool openSongList() {
    m_list = std::make_shared<kt::SongsListVC>(kListTitle, "SuperStarsBg");
    m_nav->pushViewController(m_list, true);
    if (!support::runUntil([&] { return m_list->arr_data().size() == 20; }, 15)) return false;
    frames(1.0);
    const auto& table = m_list->tbView_data();
    return table && table->contentSize().height > table->bounds().height();
  }
  // A frame of the song list scrolled on by a few points (back and forth over its rows): cells
  // leave and come back, and the rows moved are drawn again.
  void scrollFrame() {
    const auto& table = m_list->tbView_data();
    const double most = table->contentSize().height - table->bounds().height();
    m_offset += m_step;
    if (m_offset > most || m_offset < 0) {
      m_step = -m_step;
      m_offset = std::clamp(m_offset, 0.0, most);
    }
    table->setContentOffset(gfx::Point{0, m_offset});
    core::Clock::advance(1.0 / 60);
    support::drainMainLoop();
    m_surface->renderFrame();
  }
  // Untimed: the compositor hands a buffer back (Wayland), so that the frame is drawn now.
  void waitForBuffer() {
    waitFor([&] { return m_surface->canPresent(); });
  }
  // A whole frame of the screen: every layer's contents drawn again, composited, shown.
  void wholeFrame() {
    redrawAll(*m_window->layer());
    m_surface->compositor().invalidate();
    m_surface->renderFrame();
  }
  // A frame of the fold a moment later: both halves turned anew, over the whole screen.
  void foldFrame() {
    core::Clock::advance(0.0005);
    m_surface->compositor().invalidate();
    m_surface->renderFrame();
  }
  // The pixels of the last frame drawn.
  std::shared_ptr<gfx::Image> picture() { return m_surface->compositor().snapshot(); }
  // The screen as the program's own frames show it, composited again from what its layers hold
  // (none drawn again): a few times, so that its pictures are drawn from the copies resampled the
  // second time they are drawn, as from then on.
  std::shared_ptr<gfx::Image> programPicture() {
    for (int i = 0; i < 3; ++i) {
      waitForBuffer();
      m_surface->compositor().invalidate();
      m_surface->renderFrame();
    }
    return picture();
  }
  // The layers' drawn bitmaps as the last frame left them (after a whole frame: those it made),
  // and their pixels.
  std::pair<size_t, double> bitmaps() const {
    std::pair<size_t, double> count{0, 0.0};
    std::function<void(const gfx::Layer&)> add = [&](const gfx::Layer& layer) {
      if (const auto& drawn = layer.drawnContent()) {
        ++count.first;
        count.second += double(drawn->pixelWidth()) * drawn->pixelHeight();
      }
      for (const auto& sub : layer.sublayers()) add(*sub);
    };
    add(*m_window->layer());
    return count;
  }

 private:
  bool waitFor(const std::function<bool()>& condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      m_surface->processEvents();
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
  }
  void set(const char* name, const char* value) { m_env.push_back(std::make_unique<support::ScopedEnv>(name, value)); }

  support::TempHome m_home_dir;
  support::VirtualClock m_clock;
  venue::CloudService m_service;
  std::unique_ptr<support::XServer> m_x;
  std::unique_ptr<support::WestonServer> m_weston;
  std::vector<std::unique_ptr<support::ScopedEnv>> m_env;
  std::shared_ptr<ui::Window> m_window;
  std::unique_ptr<display::WindowSurface> m_surface;
  std::shared_ptr<kt::ChooseMusicVC> m_home, m_second;
  std::shared_ptr<kt::SongsListVC> m_list;
  std::shared_ptr<ui::NavigationController> m_nav;
  bool m_ready = false;
  double m_offset = 0, m_step = 7.5;
};

// The median (the upper one of an even count); 0 for none.
double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void writeFile(const std::string& path, const std::optional<std::string>& data) {
  if (!data) return;
  std::ofstream out(path, std::ios::binary);
  out.write(data->data(), static_cast<std::streamsize>(data->size()));
}

// How two pictures of one screen differ, in words; empty when they show the same. Drawn again, a
// picture may differ along an edge here and there (an image drawn into a view's content from its
// resampled copy, where the first drawing resampled it as it went: a row of the search bar's edge
// at 1920 x 1080, a quarter of a percent of the pixels): a pixel counts when a channel is off by
// more than 24 of 255, and more than one pixel in a hundred so counted is a difference.
std::string differences(const std::shared_ptr<gfx::Image>& a, const std::shared_ptr<gfx::Image>& b) {
  if (!a || !b) return "no picture";
  if (a->pixelWidth() != b->pixelWidth() || a->pixelHeight() != b->pixelHeight()) return "of other sizes";
  size_t off = 0;
  int firstX = -1, firstY = -1;
  for (int y = 0; y < a->pixelHeight(); ++y)
    for (int x = 0; x < a->pixelWidth(); ++x) {
      const uint32_t p = a->pixelAt(x, y), q = b->pixelAt(x, y);
      bool far = false;
      for (int shift = 0; shift < 32; shift += 8)
        far = far || std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)) > 24;
      if (!far) continue;
      if (off++ == 0) firstX = x, firstY = y;
    }
  const double total = double(a->pixelWidth()) * a->pixelHeight();
  if (double(off) <= total / 100) return "";
  char text[160];
  std::snprintf(text, sizeof text, "%zu of %.0f pixels differ, the first at %d,%d", off, total, firstX, firstY);
  return text;
}

// One side of a window's comparison, in a process of its own (this program run with
// `--frame-side`): the stage set up and the home screen warmed up, then commands read a line at a
// time on standard input and answered a line each on standard output. "frames N" times N frames
// of the scene and answers "side batch" with the MB of copies resampled meanwhile and each frame's
// seconds; "fold" starts the fold and warms it up. A stage or fold ready says "side ready", one
// that did not come "side failed" and why. The process ends at the end of its input.
int frameSide(const WindowSize& size, bool wayland, bool scaleTwo) {
  auto failed = [](const char* why) {
    std::printf("side failed %s\n", why);
    std::fflush(stdout);
    return 3;
  };
  Stage stage(size, wayland, scaleTwo);
  if (!stage.ready()) return failed("the window or the home screen did not come");
  // The home screen as the program's own frames show it: the whole frames timed must show the
  // same (every layer drawn again, none may hide what the program shows).
  const std::shared_ptr<gfx::Image> shown = stage.programPicture();
  const char* screens = std::getenv("KT_BENCH_SCREENS");
  const std::string screenName = std::string(screens ? screens : "") + "/home-" + sizeName(size) + "-" +
                                 (wayland ? "wayland" : "x11") + (scaleTwo ? "-scale2" : "-own");
  bool fold = false;
  auto frame = [&] {
    if (fold) stage.foldFrame();
    else stage.wholeFrame();
  };
  // The steady state is timed, on both sides alike. The first two whole frames cost two to three
  // times a later one at either scale (among what they make once: the artwork's copies at the
  // window's scale, made the second time a picture is drawn at a size, see Image::resampledTo);
  // timed, they weighed on a side's mean as much as the scale itself, run to run.
  auto warmUp = [&] {
    for (int i = 0; i < kWarmUpFrames; ++i) {
      stage.waitForBuffer();
      frame();
    }
    if (!fold) {
      const std::shared_ptr<gfx::Image> whole = stage.picture();
      if (screens) {
        writeFile(screenName + "-shown.png", shown ? shown->pngData() : std::nullopt);
        writeFile(screenName + "-whole.png", whole ? whole->pngData() : std::nullopt);
      }
      if (const std::string why = differences(shown, whole); !why.empty()) {
        std::printf("side failed the whole frame is not the program's: %s\n", why.c_str());
        std::fflush(stdout);
        return false;
      }
    }
    std::printf("side ready\n");
    std::fflush(stdout);
    return true;
  };
  if (!warmUp()) return 3;
  char line[64];
  while (std::fgets(line, sizeof line, stdin)) {
    int count = 0;
    if (std::strncmp(line, "fold", 4) == 0) {
      if (!stage.startFold()) return failed("the fold did not start");
      fold = true;
      warmUp();
    } else if (std::strncmp(line, "bitmaps", 7) == 0) {
      const auto [count, pixels] = stage.bitmaps();
      std::printf("side bitmaps %zu %.0f\n", count, pixels);
      std::fflush(stdout);
    } else if (std::sscanf(line, "frames %d", &count) == 1) {
      // An untimed frame first: the other side's turn has pushed this side's pixels out of the
      // processor's caches, and the first frame after it cost up to a third more than the next ones.
      stage.waitForBuffer();
      frame();
      const double copies = static_cast<double>(gfx::Image::resampledBytes());
      std::vector<double> seconds;
      for (int i = 0; i < count; ++i) {
        stage.waitForBuffer();  // untimed: the compositor's turn, not the frame's
        const auto start = std::chrono::steady_clock::now();
        frame();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
      std::printf("side batch %.3f", (static_cast<double>(gfx::Image::resampledBytes()) - copies) / (1 << 20));
      for (double s : seconds) std::printf(" %.6f", s);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  return 0;
}

// The other end of a side: its process started, asked and waited for. Each side of a window keeps
// its own process because the drawing scale is the process's (the screen's, the artwork chosen and
// its resampled copies, every layer's backing): switching KT_DRAW_SCALE in one window, or in
// two windows of one process, would drop the copies and redraw everything at each switch, so that
// neither side were timed in its steady state. Two processes keep both windows open, each warm,
// and only the one asked draws.
class FrameSide {
 public:
  FrameSide(const WindowSize& size, bool wayland, bool scaleTwo) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
    const std::string args[] = {"bench_window_scale",        "--frame-side",
                                std::to_string(size.width),  std::to_string(size.height),
                                wayland ? "wayland" : "x11", scaleTwo ? "scale2" : "own"};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(fds[1], 0);
      dup2(fds[1], 1);
      execv("/proc/self/exe", argv.data());
      _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) close(fds[0]);
    else m_fd = fds[0];
  }
  // Its input ended, the side closes its window and ends; one that does not within a while is killed.
  ~FrameSide() {
    if (m_fd >= 0) close(m_fd);
    if (m_pid <= 0) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  FrameSide(const FrameSide&) = delete;
  FrameSide& operator=(const FrameSide&) = delete;

  void send(const std::string& command) {
    const std::string line = command + "\n";
    if (m_fd >= 0 && ::send(m_fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
      close(m_fd);
      m_fd = -1;
    }
  }
  // The side's next answer, without "side "; "failed" and why when it ended or went quiet first.
  std::string reply() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kSideReplySeconds);
    while (m_fd >= 0) {
      for (size_t end; (end = m_read.find('\n')) != std::string::npos;) {
        const std::string line = m_read.substr(0, end);
        m_read.erase(0, end + 1);
        if (line.rfind("side ", 0) == 0) return line.substr(5);
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "failed it did not answer in time";
      pollfd p{m_fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(m_fd, buffer, sizeof buffer);
      if (n <= 0) break;
      m_read.append(buffer, static_cast<size_t>(n));
    }
    return "failed it ended";
  }

 private:
  pid_t m_pid = -1;
  int m_fd = -1;
  std::string m_read;
};

// A scene of a window timed on both sides: seconds a frame, round by round.
struct SceneTimes {
  std::vector<double> own, two;
  double madeMB = 0;  // copies resampled while timed, both sides: none in a steady state
  std::string failure;
  // The layers' bitmaps a whole frame makes, and their millions of pixels, on each side.
  size_t ownBitmaps = 0, twoBitmaps = 0;
  double ownMegapixels = 0, twoMegapixels = 0;
};

// A window's home screen and then its fold, each timed in rounds taken in turns on its two sides.
std::array<SceneTimes, 2> timeWindow(const WindowSize& size, bool wayland) {
  std::array<SceneTimes, 2> scenes;
  // What a side said when it failed, without "failed ", for the scene and those after it.
  auto fail = [&](size_t from, const char* side, const std::string& answer) {
    const std::string why = answer.rfind("failed ", 0) == 0 ? answer.substr(7) : answer;
    for (size_t scene = from; scene < scenes.size(); ++scene) scenes[scene].failure = side + (": " + why);
    return scenes;
  };
  // Both sides set up at once (untimed), then only one at a time draws.
  FrameSide own(size, wayland, false), two(size, wayland, true);
  for (size_t scene = 0; scene < scenes.size(); ++scene) {
    SceneTimes& times = scenes[scene];
    const bool fold = scene == 1;
    if (fold) {
      own.send("fold");
      two.send("fold");
    }
    const std::string ownReady = own.reply(), twoReady = two.reply();
    if (ownReady != "ready") return fail(scene, "window's scale", ownReady);
    if (twoReady != "ready") return fail(scene, "scale 2", twoReady);
    for (bool scaleTwo : {false, true}) {
      FrameSide& side = scaleTwo ? two : own;
      side.send("bitmaps");
      size_t count = 0;
      double pixels = 0;
      if (std::sscanf(side.reply().c_str(), "bitmaps %zu %lf", &count, &pixels) != 2) continue;
      (scaleTwo ? times.twoBitmaps : times.ownBitmaps) = count;
      (scaleTwo ? times.twoMegapixels : times.ownMegapixels) = pixels / 1e6;
    }
    const std::string batch = "frames " + std::to_string(fold ? kFoldBatch : kHomeBatch);
    for (int round = 0; round < kRounds; ++round) {
      for (bool scaleTwo : {false, true}) {
        FrameSide& side = scaleTwo ? two : own;
        side.send(batch);
        const std::string answer = side.reply();
        double made = 0;
        int at = 0;
        if (std::sscanf(answer.c_str(), "batch %lf%n", &made, &at) != 1)
          return fail(scene, scaleTwo ? "scale 2" : "window's scale", answer);
        std::vector<double> seconds;
        for (const char* p = answer.c_str() + at;;) {
          char* end = nullptr;
          const double s = std::strtod(p, &end);
          if (end == p) break;
          seconds.push_back(s);
          p = end;
        }
        double sum = 0;
        for (double s : seconds) sum += s;
        (scaleTwo ? times.two : times.own).push_back(seconds.empty() ? 0 : sum / static_cast<double>(seconds.size()));
        times.madeMB += made;
      }
    }
  }
  return scenes;
}

// Each window timed, then its ratios said: each round's own / scale 2, their median with the
// lowest and highest, the goal's verdict taken from the median.
void frameReport() {
  std::vector<std::array<SceneTimes, 2>> windows[2];  // X11's, Wayland's, size by size
  for (bool wayland : {false, true}) {
    for (const WindowSize& size : kSizes) windows[wayland].push_back(timeWindow(size, wayland));
  }
  std::printf("A whole frame (draw and show) at the window's scale / at scale 2 resampled, the median of %d rounds\n"
              "taken in turns (the rounds' lowest and highest; each side's median time a frame):\n",
              kRounds);
  for (bool wayland : {false, true}) {
    for (bool fold : {false, true}) {
      for (size_t i = 0; i < std::size(kSizes); ++i) {
        const WindowSize& size = kSizes[i];
        const SceneTimes& times = windows[wayland][i][fold ? 1 : 0];
        std::printf("  %-7s %-4s %-9s ", wayland ? "Wayland" : "X11", fold ? "fold" : "home", sizeName(size).c_str());
        if (!times.failure.empty() || times.own.empty()) {
          std::printf("not timed (%s)\n", times.failure.c_str());
          continue;
        }
        std::vector<double> ratios;
        for (size_t r = 0; r < times.own.size(); ++r)
          ratios.push_back(times.two[r] > 0 ? times.own[r] / times.two[r] : 0);
        const double ratio = median(ratios);
        std::printf("%.2f (%.2f to %.2f; %.1f ms vs %.1f ms)", ratio, *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()), median(times.own) * 1e3, median(times.two) * 1e3);
        if (size.goal > 0) std::printf("  goal at most %.2f: %s", size.goal, ratio <= size.goal ? "met" : "NOT met");
        if (times.madeMB >= 0.05) std::printf("  (%.1f MB of copies made while timed)", times.madeMB);
        std::printf("\n");
        if (!fold)
          std::printf("          layer bitmaps a frame: %zu of %.1f Mpx vs %zu of %.1f Mpx\n", times.ownBitmaps,
                      times.ownMegapixels, times.twoBitmaps, times.twoMegapixels);
      }
    }
  }
  std::fflush(stdout);
}

void runScroll(benchmark::State& state, const WindowSize& size, bool scaleTwo) {
  Stage stage(size, false, scaleTwo);
  if (!stage.ready()) return state.SkipWithError("the window or the home screen did not come");
  if (!stage.openSongList()) return state.SkipWithError("the song list did not come");
  const size_t copies = gfx::Image::resampledBytes();
  for (auto _ : state) stage.scrollFrame();
  state.counters["resampledMB"] = static_cast<double>(gfx::Image::resampledBytes()) / (1 << 20);
  state.counters["madeMB"] =
      static_cast<double>(gfx::Image::resampledBytes()) / (1 << 20) - static_cast<double>(copies) / (1 << 20);
}

std::string scrollName(bool scaleTwo) {
  return "X11SongListScroll_" + sizeName(kScrollSize) + (scaleTwo ? "_scale2" : "_own");
}

void registerAll() {
  for (bool scaleTwo : {false, true}) {
    benchmark::RegisterBenchmark(scrollName(scaleTwo).c_str(),
                                 [=](benchmark::State& state) { runScroll(state, kScrollSize, scaleTwo); })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->Iterations(kScrollFrames);
  }
}

// ---- The rounds run in child processes: what they share ----

// The ports of the stand-in venue a round runs against.
struct VenuePorts {
  int cloud = 0, room = 0, web = 0;
};

// Room 808 of the stand-in venue, bound to master M808, served by `server`.
void installRoom(venue::VenueRoom& room, venue::RoomServer& server) {
  venue::RoomIdentity identity = room.identity();
  identity.roomNo = "808";
  room.setIdentity(identity);
  room.setMasterId("M808");
  room.install(server);
}

// The client pointed at the stand-in venue as room 808 (price 2, master M808), with the order
// screens registered.
void pointAtVenue(const VenuePorts& ports) {
  for (const std::string& host : venue::CloudService::hosts()) net::HostMap::set(host, 80, "127.0.0.1", ports.cloud);
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.setString("Server_Ip", "127.0.0.1");
  defaults.setString("Server_Port", std::to_string(ports.room));
  defaults.setString("webService_Port", std::to_string(ports.web));
  kt::DataCenter::sharedInstance().setRoomNo(std::string("808"));
  kt::DataCenter::sharedInstance().setPriceId(std::string("2"));
  kt::DataCenter::sharedInstance().setMasterID(std::string("M808"));
  kt::OrderScreens::registerStoryboard();
}

// Frames for `seconds` of the run loop's clock, a frame interval apart, the window's events
// handled before each.
void showFrames(display::WindowSurface& surface, double seconds) {
  for (double t = 0; t < seconds; t += 1.0 / 60) {
    core::Clock::advance(1.0 / 60);
    support::drainMainLoop();
    surface.processEvents();
    surface.renderFrame();
  }
}

// The screens a round pushed, held until its end so that what it measures counts them.
struct HeldScreens {
  std::shared_ptr<kt::SongsListVC> list;
  std::shared_ptr<kt::OrderMainViewController> menu;
  std::shared_ptr<kt::MissViewController> grid;
};

// From the home screen: connected to the room server, the food menu, the staff grid pushed with
// the fold and its twelve staff, back with the fold and back home. 0 when it got through, else
// `firstStatus`, `firstStatus` + 1 or + 2 for the step that did not come.
int foodStaffAndBack(ui::NavigationController& nav, display::WindowSurface& surface, HeldScreens& held,
                     int firstStatus) {
  kt::ServerNetworkCenter::sharedInstance().initConnect();
  if (!support::runUntil([] { return kt::ServerNetworkCenter::sharedInstance().isConnect(); }, 15)) return firstStatus;
  auto storyboard = ui::Storyboard::named(kt::OrderScreens::StoryboardName);
  held.menu = std::dynamic_pointer_cast<kt::OrderMainViewController>(storyboard->instantiate(kt::OrderScreens::Menu));
  nav.pushViewController(held.menu, true);
  if (!support::runUntil([&] { return held.menu->MyTableview() != nullptr; }, 15)) return firstStatus + 1;
  showFrames(surface, 1);
  held.grid = std::dynamic_pointer_cast<kt::MissViewController>(storyboard->instantiate(kt::OrderScreens::StaffGrid));
  kt::pushViewController(nav, held.grid, kt::foldStyleDefault);
  if (!support::runUntil([&] { return held.grid->gongGuanListArray().size() == 12; }, 15)) return firstStatus + 2;
  showFrames(surface, 1);
  kt::popViewControllerWithFoldStyle(nav, kt::foldStyleDefault);
  showFrames(surface, 1);
  nav.popToRootViewControllerAnimated(true);
  showFrames(surface, 1);
  return 0;
}

// The round's end: its screens let go, the link reset, the surface and the window closed. 0 when
// the navigation is back on the home screen alone, else `failStatus`.
int endRound(HeldScreens& held, std::shared_ptr<ui::Window>& window, std::unique_ptr<display::WindowSurface>& surface,
             const ui::NavigationController& nav, int failStatus) {
  held = {};
  window->setRootViewController(nullptr);
  support::drainMainLoop();
  kt::ServerNetworkCenter::resetSharedInstanceForTesting();
  surface.reset();
  window.reset();
  net::HostMap::clear();
  return nav.viewControllers().size() == 1 ? 0 : failStatus;
}

// ---- Memory: home, food, staff, back, in a child process ----

long rssAnonKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("RssAnon:", 0) == 0) return std::strtol(line.c_str() + 8, nullptr, 10);
  }
  return -1;
}

// The round in this process; prints "rss-anon <home kB> <after kB>". Status 0 when it got through.
int memoryRound() {
  support::TempHome home;
  support::VirtualClock clock;
  ui::Application::shared().reset();
  ui::Screen::main().reset();
  venue::CloudService cloud;
  venue::RoomServer server;
  venue::WebServer web;
  if (!cloud.start() || !server.start() || !web.start()) return 2;
  venue::VenueRoom room;
  installRoom(room, server);
  pointAtVenue(VenuePorts{cloud.port(), server.port(), web.port()});

  support::XServer x("1280x1024x24");
  if (x.display().empty()) return 3;
  support::ScopedEnv d("DISPLAY", x.display().c_str()), w("WAYLAND_DISPLAY", nullptr), v("SDL_VIDEODRIVER", nullptr);
  std::shared_ptr<ui::Window> window = ui::Window::create();
  window->makeKeyAndVisible();
  std::unique_ptr<display::WindowSurface> surface = display::WindowSurface::open();
  if (!surface) return 4;
  auto homeScreen = std::make_shared<kt::ChooseMusicVC>();
  auto nav = std::make_shared<ui::NavigationController>(homeScreen);
  window->setRootViewController(nav);
  if (!support::runUntil([&] { return homeScreen->arr_data().size() == 20; }, 15)) return 5;
  showFrames(*surface, 1);
  const long atHome = rssAnonKb();

  HeldScreens held;
  if (const int failed = foodStaffAndBack(*nav, *surface, held, 6)) return failed;
  const long after = rssAnonKb();
  std::printf("rss-anon %ld %ld\n", atHome, after);
  std::fflush(stdout);
  return endRound(held, window, surface, *nav, 9);
}

// This program run again with `args`, with KT_DRAW_SCALE=2 or without: what it printed, and
// whether it ended with status 0.
std::pair<std::string, bool> runChild(const std::vector<std::string>& args, bool scaleTwo) {
  int out[2];
  if (pipe(out) != 0) return {"", false};
  std::vector<char*> argv{const_cast<char*>("bench_window_scale")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    if (scaleTwo) setenv("KT_DRAW_SCALE", "2", 1);
    else unsetenv("KT_DRAW_SCALE");
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok)
    std::printf("a child round (%s, %s) failed: status %d\n", args.front().c_str(), scaleTwo ? "scale 2" : "window's scale",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return {text, ok};
}

// The round in a child process of this program, with KT_DRAW_SCALE=2 or without; home and after
// in kB, nothing when it failed.
std::optional<std::pair<long, long>> childRound(bool scaleTwo) {
  const auto [text, ok] = runChild({"--memory-round"}, scaleTwo);
  long home = 0, after = 0;
  const auto at = text.find("rss-anon ");
  if (!ok || at == std::string::npos || std::sscanf(text.c_str() + at, "rss-anon %ld %ld", &home, &after) != 2)
    return std::nullopt;
  return std::make_pair(home, after);
}

// ---- CPU: the whole guest round full screen, in a child process ----

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The round in this process, full screen on a private X server of `size`, against the stand-in
// venue run by the parent (so that its work is not counted in the round's CPU time): home, a song
// list scrolled for a second and a half, back, the food menu, the staff grid with the fold and
// back. Prints "cpu <seconds>" for the round (from the home screen's first frame). Status 0 when it
// got through.
int guestRound(const WindowSize& size, const VenuePorts& ports) {
  support::TempHome home;
  support::VirtualClock clock;
  ui::Application::shared().reset();
  ui::Screen::main().reset();
  pointAtVenue(ports);

  support::XServer x(sizeName(size) + "x24");
  if (x.display().empty()) return 3;
  support::ScopedEnv d("DISPLAY", x.display().c_str()), w("WAYLAND_DISPLAY", nullptr), v("SDL_VIDEODRIVER", nullptr),
      f("KT_FULLSCREEN", nullptr);
  std::shared_ptr<ui::Window> window = ui::Window::create();
  window->setBackgroundColor(gfx::Color::whiteColor());
  window->makeKeyAndVisible();
  display::WindowSurface::Options options;
  options.fullScreen = true;
  std::unique_ptr<display::WindowSurface> surface = display::WindowSurface::open(options);
  if (!surface) return 4;
  const double scale = std::min(size.width / 1024.0, size.height / 768.0);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (surface->pictureScale() != scale && std::chrono::steady_clock::now() < until) {
    surface->processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (surface->pictureScale() != scale) return 5;
  core::Clock::advance(display::WindowSurface::SettleSeconds + 0.05);
  support::drainMainLoop();

  auto homeScreen = std::make_shared<kt::ChooseMusicVC>();
  auto nav = std::make_shared<ui::NavigationController>(homeScreen);
  window->setRootViewController(nav);
  surface->renderFrame();
  const double start = processCpuSeconds();
  if (!support::runUntil([&] { return homeScreen->arr_data().size() == 20; }, 15)) return 6;
  showFrames(*surface, 1);

  HeldScreens held;
  held.list = std::make_shared<kt::SongsListVC>(kListTitle, "SuperStarsBg");
  nav->pushViewController(held.list, true);
  if (!support::runUntil([&] { return held.list->arr_data().size() == 20; }, 15)) return 7;
  showFrames(*surface, 0.5);
  const auto& table = held.list->tbView_data();
  const double most = std::max(0.0, table->contentSize().height - table->bounds().height());
  for (int i = 0; i < 90; ++i) {
    table->setContentOffset(gfx::Point{0, most * (i < 45 ? i : 90 - i) / 45.0});
    showFrames(*surface, 1.0 / 60);
  }
  nav->popViewControllerAnimated(true);
  showFrames(*surface, 1);

  if (const int failed = foodStaffAndBack(*nav, *surface, held, 8)) return failed;
  const double cpu = processCpuSeconds() - start;
  std::printf("cpu %.4f resampled-mb %.1f\n", cpu, static_cast<double>(gfx::Image::resampledBytes()) / (1 << 20));
  std::fflush(stdout);
  return endRound(held, window, surface, *nav, 11);
}

// Rounds taken in turns at the window's scale and at scale 2, each size; prints the median CPU
// time of each and their ratio against the goal.
void guestRoundReport() {
  support::TempHome home;
  venue::CloudService cloud;
  venue::RoomServer server;
  venue::WebServer web;
  if (!cloud.start() || !server.start() || !web.start()) {
    std::printf("the stand-in venue did not start\n");
    return;
  }
  venue::VenueRoom room;
  installRoom(room, server);
  const std::string ports[] = {std::to_string(cloud.port()), std::to_string(server.port()), std::to_string(web.port())};
  constexpr WindowSize kRoundSizes[] = {{1920, 1080, 0.65}, {1280, 800, 0.45}};
  constexpr int kTurns = 5;
  std::printf("The whole guest round full screen, CPU time of the program, window's scale / scale 2:\n");
  for (const WindowSize& size : kRoundSizes) {
    std::vector<double> own, two;
    double ownCopies = 0;
    for (int turn = 0; turn < kTurns; ++turn) {
      for (bool scaleTwo : {false, true}) {
        const auto [text, ok] = runChild({"--guest-round", std::to_string(size.width), std::to_string(size.height),
                                          ports[0], ports[1], ports[2]},
                                         scaleTwo);
        double cpu = 0, copies = 0;
        const auto at = text.find("cpu ");
        if (!ok || at == std::string::npos || std::sscanf(text.c_str() + at, "cpu %lf resampled-mb %lf", &cpu, &copies) != 2)
          continue;
        (scaleTwo ? two : own).push_back(cpu);
        if (!scaleTwo) ownCopies = copies;
      }
    }
    if (own.empty() || two.empty()) {
      std::printf("  %-9s no round got through\n", sizeName(size).c_str());
      continue;
    }
    const double ratio = median(own) / median(two);
    std::printf("  %-9s %.2f (%.2f s vs %.2f s, median of %zu and %zu; copies resampled %.1f MB)  goal at most %.2f: %s\n",
                sizeName(size).c_str(), ratio, median(own), median(two), own.size(), two.size(), ownCopies, size.goal,
                ratio <= size.goal ? "met" : "NOT met");
  }
  std::fflush(stdout);
}

void memoryReport() {
  auto own = childRound(false);
  auto two = childRound(true);
  if (!own || !two) return;
  std::printf("RssAnon in a 1024x768 window, at home / after home, food, staff and back:\n");
  std::printf("  window's scale: %.1f MB / %.1f MB\n", own->first / 1024.0, own->second / 1024.0);
  std::printf("  scale 2:        %.1f MB / %.1f MB\n", two->first / 1024.0, two->second / 1024.0);
  const double ratio = double(own->second) / double(two->second);
  std::printf("  after the round, window's scale / scale 2: %.2f (goal at most 0.6: %s)\n", ratio,
              ratio <= 0.6 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
  bool memoryOnly = false, guestRoundsOnly = false, framesOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--memory-round") == 0) return memoryRound();
    if (std::strcmp(argv[i], "--frame-side") == 0 && i + 4 < argc) {
      const WindowSize size{std::atoi(argv[i + 1]), std::atoi(argv[i + 2]), 0};
      return frameSide(size, std::strcmp(argv[i + 3], "wayland") == 0, std::strcmp(argv[i + 4], "scale2") == 0);
    }
    if (std::strcmp(argv[i], "--guest-round") == 0 && i + 5 < argc) {
      const WindowSize size{std::atoi(argv[i + 1]), std::atoi(argv[i + 2]), 0};
      return guestRound(size, VenuePorts{std::atoi(argv[i + 3]), std::atoi(argv[i + 4]), std::atoi(argv[i + 5])});
    }
    const bool roundsOnly = std::strcmp(argv[i], "--rounds-only") == 0;
    const bool timedOnly = std::strcmp(argv[i], "--frames-only") == 0;
    if (std::strcmp(argv[i], "--memory-only") == 0 || roundsOnly || timedOnly) {
      memoryOnly = !timedOnly;
      guestRoundsOnly = roundsOnly;
      framesOnly = timedOnly;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      --i;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!memoryOnly) {
    registerAll();
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (auto r = reporter.cpuRatio(scrollName(false), scrollName(true))) {
      std::printf("The song list scrolling full screen on %s, CPU of the program a frame, window's scale / scale 2:\n",
                  sizeName(kScrollSize).c_str());
      std::printf("  %.2f (%.1f ms vs %.1f ms)  goal at most %.2f: %s\n", r->value, r->oursSeconds * 1e3,
                  r->baseSeconds * 1e3, kScrollSize.goal, r->value <= kScrollSize.goal ? "met" : "NOT met");
    }
    frameReport();
  }
  if ((!memoryOnly || guestRoundsOnly) && !framesOnly) guestRoundReport();
  if (!guestRoundsOnly && !framesOnly) memoryReport();
  benchmark::Shutdown();
  return 0;
}
