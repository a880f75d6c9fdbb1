#include "platform/display/WindowSurface.h"

#include <SDL.h>
#include <gtest/gtest.h>


#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Error.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Event.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/KeyboardView.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "WindowScenes.h"
#include "support/DisplayServers.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "XGrab.h"

namespace {

using support::ScopedEnv;

class WindowSurfaceTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    if (support::findProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed: no real window to test";
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
  void TearDown() override {
    m_driver.reset();
    m_wayland.reset();
    m_display.reset();
    m_server.reset();
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }

  // Starts a private X server and names it in the environment (with no Wayland, and SDL left to
  // choose its driver) for the rest of the test; false when it did not start.
  bool startServer() {
    m_server = std::make_unique<support::XServer>();
    if (m_server->display().empty()) return false;
    m_display.emplace("DISPLAY", m_server->display().c_str());
    m_wayland.emplace("WAYLAND_DISPLAY", nullptr);
    m_driver.emplace("SDL_VIDEODRIVER", nullptr);
    return true;
  }

  std::unique_ptr<support::XServer> m_server;
  std::optional<ScopedEnv> m_display, m_wayland, m_driver;
};

TEST_F(WindowSurfaceTest, ShowsFramesAndTakesTheMouseInARealWindow) {
  ASSERT_TRUE(startServer()) << "Xvfb did not start";

  ButtonScene scene;
  auto& [window, button, taps] = scene;

  {
    core::Error error;
    auto surface = display::WindowSurface::open({}, &error);
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
    pushTap(*surface, 400, 300);
    surface->processEvents();
    EXPECT_EQ(taps, 1);

    // The wheel comes out as a scroll of the content.
    std::optional<display::ScrollEvent> scrolled;
    surface->setScrollHandler([&](const display::ScrollEvent& e) { scrolled = e; });
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = SDL_GetWindowID(surface->sdlWindow());
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

// What the X server shows: the first frame whole, then a change, and once the window has been
// given another size, the frame fitted into it again with black beside it, without a new frame.
TEST_F(WindowSurfaceTest, TheXServerShowsEachFrameAndTheFrameFittedAgainAfterAResize) {
  ASSERT_TRUE(startServer()) << "Xvfb did not start";
  ButtonScene scene;
  auto& button = scene.button;
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  ASSERT_NE(surface, nullptr) << error.description();
  ASSERT_FALSE(surface->isWayland());
  XGrab grab(m_server->display());
  // Handles the window's events until the X server shows what `shown` wants (up to 20 s).
  auto waitUntilShown = [&](const std::function<bool(const XGrab&)>& shown) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      surface->processEvents();
      if (grab.read() && shown(grab)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };

  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_TRUE(waitUntilShown([](const XGrab& g) { return g.at(400, 300) == 0xCC3333u && g.at(100, 100) == 0x0000FFu; }))
      << std::hex << grab.at(400, 300);
  button->setBackgroundColor(gfx::Color::rgba(0, 1, 0));
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_TRUE(waitUntilShown([](const XGrab& g) {
    return g.at(400, 300) == 0x00FF00u && g.at(199, 300) == 0x0000FFu && g.at(1000, 700) == 0x0000FFu;
  })) << std::hex << grab.at(400, 300);

  // 1152 x 600 (within the X server's screen where the window stands): the screen at 0.78125
  // times, 800 wide from x = 176, the button at (332, 117) to (645, 352).
  SDL_SetWindowSize(surface->sdlWindow(), 1152, 600);
  EXPECT_TRUE(waitUntilShown([](const XGrab& g) {
    return g.at(100, 300) == 0 && g.at(1100, 300) == 0 && g.at(500, 250) == 0x00FF00u && g.at(250, 50) == 0x0000FFu &&
           g.at(320, 250) == 0x0000FFu;
  })) << std::hex << grab.at(100, 300) << " " << grab.at(500, 250) << " " << grab.at(250, 50);
  EXPECT_DOUBLE_EQ(surface->windowScale(), 0.78125);
  auto shown = surface->readPixels();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixelWidth(), 1152);
  EXPECT_EQ(shown->pixelAt(100, 300), 0xFF000000u);
  EXPECT_EQ(shown->pixelAt(500, 250), 0xFF00FF00u);
}

// A list of 100 rows of 44 points.
class HundredRows : public ui::TableViewDataSource {
 public:
  int numberOfRowsInSection(ui::TableView&, int) override { return 100; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath&) override {
    auto cell = table.dequeueReusableCellWithIdentifier("row");
    return cell ? cell : ui::TableViewCell::create(ui::TableViewCellStyle::Default, "row");
  }
};

// The mouse wheel through the X server: its clicks (buttons 4 and 5) scroll the list under the
// pointer, a notch at a time, and as many back return it to where it was.
TEST_F(WindowSurfaceTest, WheelClicksScrollTheListUnderThePointerAndBack) {
  ASSERT_TRUE(startServer()) << "Xvfb did not start";
  HundredRows rows;
  auto window = ui::Window::create();
  window->makeKeyAndVisible();
  auto list = ui::TableView::create(gfx::Rect(100, 100, 400, 500));
  list->setDataSource(&rows);
  window->addSubview(list);
  list->reloadData();
  list->setContentOffset({0, 100});
  {
    core::Error error;
    auto surface = display::WindowSurface::open({}, &error);
    ASSERT_NE(surface, nullptr) << error.description();
    ASSERT_FALSE(surface->isWayland());
    ASSERT_EQ(surface->windowScale(), 1.0);
    EXPECT_FALSE(surface->renderFrame().isEmpty());
    XGrab grab(m_server->display());
    // Handles the window's events until `done` holds (up to 20 s).
    auto handleUntil = [&](const std::function<bool()>& done) {
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!done() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        surface->processEvents();
      }
      return done();
    };
    // The pointer over the list, once the window has heard where it is.
    auto pointerAt = [&] {
      int x = -1, y = -1;
      SDL_GetMouseState(&x, &y);
      return SDL_GetMouseFocus() == surface->sdlWindow() && x == 300 && y == 400;
    };
    grab.moveTo(300, 400);
    ASSERT_TRUE(handleUntil(pointerAt)) << "the window never had the pointer over the list";

    const double notch = ui::ScrollView::WheelNotchPoints;
    grab.turnWheel(5);
    EXPECT_TRUE(handleUntil([&] { return list->contentOffset().y == 100 + 5 * notch; }))
        << "the list is at " << list->contentOffset().y;
    grab.turnWheel(-5);
    EXPECT_TRUE(handleUntil([&] { return list->contentOffset().y == 100; }))
        << "the list is at " << list->contentOffset().y;
    EXPECT_EQ(list->contentOffset().x, 0);
  }
  list->setDataSource(nullptr);
}

// GL drawn through the platform's own contexts between two frames of a real window, as the GL
// transitions draw: both keep working, and the window shows its second frame.
TEST_F(WindowSurfaceTest, GLDrawnBetweenFramesLeavesTheWindowWhole) {
  ASSERT_TRUE(startServer()) << "Xvfb did not start";

  auto window = ui::Window::create();
  window->setBackgroundColor(gfx::Color::rgba(0, 0, 1));
  window->makeKeyAndVisible();
  {
    core::Error error;
    auto surface = display::WindowSurface::open({}, &error);
    ASSERT_NE(surface, nullptr) << error.description();
    EXPECT_FALSE(surface->renderFrame().isEmpty());

    drawGLBetweenFrames(*window, *surface, [&](uint32_t rgb, int) {
      auto shown = surface->readPixels();
      ASSERT_NE(shown, nullptr);
      EXPECT_EQ(shown->pixelAt(10, 10), 0xFF000000u | rgb);
    });
  }
}

// The touch screen: fingers as SDL reports them, through SDL's own queue, on its window-less driver.
class WindowSurfaceTouchTest : public support::TempHomeTest {
 protected:
  using State = ui::GestureRecognizerState;

  void SetUp() override {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
    m_window = ui::Window::create();
    m_window->makeKeyAndVisible();
    m_window->addSubview(m_pad);
    display::WindowSurface::Options options;
    options.hidden = true;
    core::Error error;
    m_surface = display::WindowSurface::open(options, &error);
    ASSERT_NE(m_surface, nullptr) << error.description();
  }
  void TearDown() override {
    // Recognisers whose actions reach into a test's locals hear nothing of fingers left down.
    for (auto r : std::vector(m_pad->gestureRecognizers())) m_pad->removeGestureRecognizer(r.get());
    m_surface.reset();
    m_window.reset();
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }

  // A finger at window points (SDL reports 0..1 across the 1024 x 768 window).
  static SDL_Event finger(Uint32 type, SDL_FingerID id, double x, double y, SDL_TouchID device = 3) {
    SDL_Event e{};
    e.type = type;
    e.tfinger = SDL_TouchFingerEvent{type, 0, device, id, float(x / 1024), float(y / 768), 0, 0, 1, 0};
    return e;
  }
  static SDL_Event mouse(Uint32 type, int x, int y, Uint32 which = 0) {
    SDL_Event e{};
    Uint8 state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    if (type == SDL_MOUSEMOTION) e.motion = SDL_MouseMotionEvent{type, 0, 0, which, SDL_BUTTON_LMASK, x, y, 0, 0};
    else e.button = SDL_MouseButtonEvent{type, 0, 0, which, SDL_BUTTON_LEFT, state, 1, 0, x, y};
    return e;
  }
  void send(std::vector<SDL_Event> events) {
    for (auto& e : events) SDL_PushEvent(&e);
    m_surface->processEvents();
  }
  std::shared_ptr<ui::PanGestureRecognizer> addPan(size_t minimumTouches) {
    auto pan = std::make_shared<ui::PanGestureRecognizer>(
        [this](ui::GestureRecognizer& r) { m_states.push_back(r.state()); });
    pan->setMinimumNumberOfTouches(minimumTouches);
    m_pad->addGestureRecognizer(pan);
    return pan;
  }

  std::shared_ptr<ui::View> m_pad = ui::View::create(gfx::Rect(100, 90, 800, 600));
  std::vector<State> m_states;  // the pan's actions
  support::ScopedEnv m_driver{"SDL_VIDEODRIVER", "dummy"};
  std::shared_ptr<ui::Window> m_window;
  std::unique_ptr<display::WindowSurface> m_surface;
};

struct Together : ui::GestureRecognizerDelegate {
  bool shouldRecognizeSimultaneouslyWithGestureRecognizer(ui::GestureRecognizer&, ui::GestureRecognizer&) override {
    return true;
  }
};

TEST_F(WindowSurfaceTouchTest, TwoFingersPinchAndPanAtOnce) {
  Together together;
  std::vector<std::pair<ui::TouchPhase, ui::TouchPhase>> phases;
  auto pinch = std::make_shared<ui::PinchGestureRecognizer>([&](ui::GestureRecognizer& r) {
    if (r.numberOfTouches() == 2) phases.emplace_back(r.touches()[0]->phase(), r.touches()[1]->phase());
  });
  auto pan = addPan(2);
  pan->setMaximumNumberOfTouches(2);
  pinch->setDelegate(&together);
  pan->setDelegate(&together);
  m_pad->addGestureRecognizer(pinch);

  send({finger(SDL_FINGERDOWN, 1, 300, 300), finger(SDL_FINGERDOWN, 2, 500, 300)});
  EXPECT_EQ(pan->numberOfTouches(), 2u);
  // Apart to 400 points and down by 102: twice the size, the centroid 102 points lower.
  send({finger(SDL_FINGERMOTION, 1, 200, 402)});
  EXPECT_EQ(pinch->state(), State::Began);
  send({finger(SDL_FINGERMOTION, 2, 600, 402)});
  EXPECT_EQ(pinch->state(), State::Changed);
  EXPECT_DOUBLE_EQ(pinch->scale(), 2.0);
  EXPECT_EQ(pan->translationInView(m_pad.get()), (gfx::Point{0, 102}));
  EXPECT_EQ(pinch->locationOfTouch(1, m_pad.get()), (gfx::Point{500, 312}));
  using P = ui::TouchPhase;
  EXPECT_EQ(phases, (std::vector<std::pair<P, P>>{{P::Moved, P::Stationary}, {P::Stationary, P::Moved}}));

  // Another touch screen's finger of the same number is one more finger, beyond both gestures.
  send({finger(SDL_FINGERDOWN, 1, 700, 600, 9), finger(SDL_FINGERUP, 1, 700, 600, 9)});
  EXPECT_EQ(pinch->numberOfTouches(), 2u);
  EXPECT_EQ(pinch->state(), State::Changed);

  send({finger(SDL_FINGERUP, 1, 200, 402)});
  EXPECT_EQ(pinch->state(), State::Ended);
  EXPECT_EQ(m_states, (std::vector<State>{State::Began, State::Changed, State::Ended}));
  send({finger(SDL_FINGERUP, 2, 600, 402)});
  EXPECT_EQ(pinch->state(), State::Possible);
}

TEST_F(WindowSurfaceTouchTest, OneTapPerFingerWhateverSdlMakesUpAndLiftsOutsideStayTheButtons) {
  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(100, 60, 400, 300));
  int inside = 0, outside = 0;
  size_t touchesDown = 0;
  auto up = [&](ui::Control&, const ui::Event* e) { ++inside, touchesDown = e->allTouches().size(); };
  button->addTarget(nullptr, up, ui::ControlEventTouchUpInside);
  button->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++outside; }, ui::ControlEventTouchUpOutside);
  m_pad->addSubview(button);

  // A tap with the click SDL makes up from it, then a click with the touch SDL makes up from it.
  send({finger(SDL_FINGERDOWN, 5, 300, 300), mouse(SDL_MOUSEBUTTONDOWN, 300, 300, SDL_TOUCH_MOUSEID),
        finger(SDL_FINGERUP, 5, 300, 300), mouse(SDL_MOUSEBUTTONUP, 300, 300, SDL_TOUCH_MOUSEID)});
  EXPECT_EQ(touchesDown, 1u);
  send({mouse(SDL_MOUSEBUTTONDOWN, 300, 300), finger(SDL_FINGERDOWN, 0, 300, 300, SDL_MOUSE_TOUCHID),
        mouse(SDL_MOUSEBUTTONUP, 300, 300), finger(SDL_FINGERUP, 0, 300, 300, SDL_MOUSE_TOUCHID)});
  EXPECT_EQ(touchesDown, 1u);
  EXPECT_EQ(inside, 2);
  // Down on the button, lifted beyond the window's edge.
  send({finger(SDL_FINGERDOWN, 6, 300, 300), finger(SDL_FINGERMOTION, 6, 900, 600),
        finger(SDL_FINGERUP, 6, 1280, 900)});
  EXPECT_EQ(inside, 2);
  EXPECT_EQ(outside, 1);
}

TEST_F(WindowSurfaceTouchTest, MouseDragsAsOneFingerAndLosingTheFocusCancelsEveryFinger) {
  auto pan = addPan(1);
  send({mouse(SDL_MOUSEBUTTONDOWN, 300, 300), mouse(SDL_MOUSEMOTION, 300, 330), mouse(SDL_MOUSEMOTION, 340, 360)});
  EXPECT_EQ(pan->translationInView(nullptr), (gfx::Point{40, 60}));
  EXPECT_EQ(pan->numberOfTouches(), 1u);
  send({mouse(SDL_MOUSEBUTTONUP, 340, 360)});
  EXPECT_EQ(m_states, (std::vector<State>{State::Began, State::Changed, State::Ended}));

  m_states.clear();
  send({finger(SDL_FINGERDOWN, 1, 300, 300), finger(SDL_FINGERDOWN, 2, 500, 300), mouse(SDL_MOUSEBUTTONDOWN, 700, 600),
        finger(SDL_FINGERMOTION, 1, 300, 360)});
  EXPECT_EQ(pan->numberOfTouches(), 3u);
  SDL_Event focus{};
  focus.window.type = SDL_WINDOWEVENT;
  focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  send({focus});
  EXPECT_EQ(m_states, (std::vector<State>{State::Began, State::Cancelled}));
  EXPECT_EQ(pan->numberOfTouches(), 0u);

  // What the lost fingers still report is nobody's; the next fingers start afresh, and closing the
  // display lifts them.
  send({finger(SDL_FINGERUP, 1, 300, 420), mouse(SDL_MOUSEBUTTONUP, 700, 600), finger(SDL_FINGERDOWN, 2, 500, 300),
        finger(SDL_FINGERMOTION, 2, 500, 330)});
  EXPECT_EQ(pan->translationInView(nullptr), (gfx::Point{0, 30}));
  m_surface.reset();
  EXPECT_EQ(m_states, (std::vector<State>{State::Began, State::Cancelled, State::Began, State::Cancelled}));
}

// A portrait-only application on the landscape display: the interface turns, the display and
// its window keep their size, and fingers and the mouse land in the turned screen's points.
struct PortraitOnly : ui::ApplicationDelegate {
  unsigned supportedInterfaceOrientations(ui::Application&, ui::Window*) override { return ui::OrientationMaskPortrait; }
};

// Turns the interface upright, as a screen that allows portrait only does.
void turnToPortrait() {
  PortraitOnly portrait;
  auto& app = ui::Application::shared();
  app.setDelegate(&portrait);
  app.updateInterfaceOrientation();
  app.setDelegate(nullptr);
}

TEST_F(WindowSurfaceTouchTest, FingersAndTheMouseLandWhereTheTurnedScreenIsDrawn) {
  turnToPortrait();
  ASSERT_EQ(ui::Application::shared().statusBarOrientation(), ui::InterfaceOrientation::Portrait);
  EXPECT_EQ(m_window->frame(), gfx::Rect(0, 0, 768, 1024));
  m_surface->renderFrame();
  int w = 0, h = 0;
  SDL_GetWindowSize(m_surface->sdlWindow(), &w, &h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  EXPECT_EQ(m_surface->size(), (gfx::Size{1024, 768}));

  // The screen's top runs along the display's left edge: the button at (100, 700, 200 x 100) of
  // the screen is drawn at (700, 468, 100 x 200) of the display.
  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(100, 700, 200, 100));
  int taps = 0;
  button->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  m_window->addSubview(button);
  send({finger(SDL_FINGERDOWN, 1, 750, 560), finger(SDL_FINGERUP, 1, 750, 560)});
  send({mouse(SDL_MOUSEBUTTONDOWN, 790, 480), mouse(SDL_MOUSEBUTTONUP, 790, 480)});
  send({mouse(SDL_MOUSEBUTTONDOWN, 200, 750), mouse(SDL_MOUSEBUTTONUP, 200, 750)});  // the screen's point, unturned
  EXPECT_EQ(taps, 2);

  // Right on the display is down the screen; down the display is to the screen's left.
  auto pan = addPan(1);
  send({mouse(SDL_MOUSEBUTTONDOWN, 300, 300), mouse(SDL_MOUSEMOTION, 320, 300), mouse(SDL_MOUSEMOTION, 340, 360)});
  EXPECT_EQ(pan->translationInView(nullptr), (gfx::Point{-60, 40}));
  send({mouse(SDL_MOUSEBUTTONUP, 340, 360)});

  // The input method's rectangle is where the field is drawn on the display.
  auto field = ui::TextField::create(gfx::Rect(100, 700, 200, 40));
  m_window->addSubview(field);
  ASSERT_TRUE(field->becomeFirstResponder());
  m_surface->renderFrame();
  EXPECT_EQ(m_surface->textInputRect(), gfx::Rect(700, 468, 40, 200));
  ui::Keyboard::shared().reset();
}

// The wheel over the turned screen: the pointer and the travel turn as touches do. The list at
// (100, 600, 300 x 400) of the screen runs along the display from x = 600 to 1000, its rows
// across it: a swipe to the left on the display moves its content on, and the wheel's own
// up and down moves it across, where it cannot go.
TEST_F(WindowSurfaceTouchTest, TheWheelOverTheTurnedScreenScrollsTheListDrawnUnderThePointer) {
  turnToPortrait();
  ASSERT_EQ(ui::Application::shared().statusBarOrientation(), ui::InterfaceOrientation::Portrait);
  auto list = std::make_shared<ui::ScrollView>(gfx::Rect(100, 600, 300, 400));
  list->setContentSize({300, 2000});
  m_window->addSubview(list);
  m_surface->renderFrame();
  auto wheel = [](int x, int y, float across, float along) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.preciseX = across;
    e.wheel.preciseY = along;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    e.wheel.mouseX = x;
    e.wheel.mouseY = y;
    return e;
  };
  const double notch = ui::ScrollView::WheelNotchPoints;

  send({wheel(800, 500, 1, 0), wheel(800, 500, 1, 0)});
  EXPECT_EQ(list->contentOffset(), (gfx::Point{0, 2 * notch}));
  send({wheel(800, 500, -0.5f, 0)});
  EXPECT_EQ(list->contentOffset(), (gfx::Point{0, 1.5 * notch}));
  send({wheel(800, 500, 0, -1), wheel(800, 500, 0, 1)});
  EXPECT_EQ(list->contentOffset(), (gfx::Point{0, 1.5 * notch}));
  // Where the list would be on the display unturned, the wheel meets no list.
  send({wheel(250, 700, 1, 0)});
  EXPECT_EQ(list->contentOffset(), (gfx::Point{0, 1.5 * notch}));
}

}  // namespace

TEST_F(WindowSurfaceTouchTest, TextInputRunsWhileAFieldEditsWithTheFieldsRectangle) {
  auto field = ui::TextField::create(gfx::Rect(100, 200, 300, 40));
  m_window->addSubview(field);
  m_surface->renderFrame();
  EXPECT_FALSE(SDL_IsTextInputActive());
  EXPECT_FALSE(m_surface->textInputRect());

  ASSERT_TRUE(field->becomeFirstResponder());
  m_surface->renderFrame();
  EXPECT_TRUE(SDL_IsTextInputActive());
  EXPECT_EQ(m_surface->textInputRect(), gfx::Rect(100, 200, 300, 40));
  // Typed and composed text (the input method's) reaches the field.
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  std::snprintf(text.text.text, sizeof text.text.text, "%s", "点歌");
  send({text});
  EXPECT_EQ(field->text(), "点歌");

  ASSERT_TRUE(field->resignFirstResponder());
  m_surface->renderFrame();
  EXPECT_FALSE(SDL_IsTextInputActive());
  EXPECT_FALSE(m_surface->textInputRect());
  ui::Keyboard::shared().reset();
}

TEST_F(WindowSurfaceTouchTest, KeyboardKeysAnswerTheMouseAndFingers) {
  auto field = ui::TextField::create(gfx::Rect(100, 200, 300, 40));
  m_window->addSubview(field);
  ASSERT_TRUE(field->becomeFirstResponder());
  const auto& view = ui::Keyboard::shared().view();
  ASSERT_TRUE(view);
  auto keyAt = [&](const std::string& text) {
    for (const auto& k : view->keys()) {
      if (k.text == text) return view->convertPointTo(k.frame.center(), nullptr);
    }
    ADD_FAILURE() << "no key " << text;
    return gfx::Point{};
  };
  gfx::Point k = keyAt("k"), t = keyAt("t"), v = keyAt("v");
  send({mouse(SDL_MOUSEBUTTONDOWN, int(k.x), int(k.y)), mouse(SDL_MOUSEBUTTONUP, int(k.x), int(k.y))});
  send({finger(SDL_FINGERDOWN, 1, t.x, t.y), finger(SDL_FINGERUP, 1, t.x, t.y)});
  // Two fingers at once each type their key, as they lift.
  send({finger(SDL_FINGERDOWN, 2, v.x, v.y), finger(SDL_FINGERDOWN, 3, k.x, k.y), finger(SDL_FINGERUP, 3, k.x, k.y),
        finger(SDL_FINGERUP, 2, v.x, v.y)});
  EXPECT_EQ(field->text(), "ktkv");
  field->resignFirstResponder();
  ui::Keyboard::shared().reset();
}
