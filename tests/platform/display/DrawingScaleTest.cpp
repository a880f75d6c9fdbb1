// The scale the interface is drawn at: a window's own (its picture's pixels over the screen's
// points), taken again once a new size has settled, with every layer's contents drawn again at
// it; fixed by KT_DRAW_SCALE or the setting Draw_Scale, whose bad values are said once.
#include <SDL.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PrivateDesktop.h"
#include "WindowScenes.h"
#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/core/UserDefaults.h"
#include "platform/display/DrawScale.h"
#include "platform/display/WindowSurface.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/PixelGrid.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "support/RunUntil.h"

namespace {

using support::ScopedEnv;

// A view that draws, counting its drawings and the scale of the last.
class CountingView : public ui::View {
 public:
  using ui::View::View;
  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override {
    ++draws;
    scale = ctx.scale();
    ctx.setFillColor(gfx::Color::rgba(0.9, 0.6, 0.1));
    ctx.fillRect(rect);
  }
  int draws = 0;
  double scale = 0;
};

class DrawingScaleTest : public PrivateDesktopTest {
 protected:
  void SetUp() override {
    PrivateDesktopTest::SetUp();
    if (IsSkipped()) return;
    m_window = ui::Window::create();
    m_window->setBackgroundColor(gfx::Color::rgba(0, 0, 1));
    m_window->addSubview(m_drawing);
    auto label = ui::Label::create(gfx::Rect(100, 500, 300, 40));
    label->setText("点歌 1024");
    m_window->addSubview(label);
    m_window->makeKeyAndVisible();
  }
  void TearDown() override {
    m_window.reset();
    PrivateDesktopTest::TearDown();
  }

  // Handles the window's events until the condition holds (up to 20 s of real time, waiting for
  // the X server; the run loop's clock stays where the test holds it).
  static bool waitFor(display::WindowSurface& surface, const std::function<bool()>& condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      surface.processEvents();
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // Opens the window, turns it full screen and waits until its picture is at `pictureScale`, then
  // lets the size settle (the run loop's clock, held by the test, moved past the settling time).
  // Null, with the failure recorded, when the window did not open or never came to that scale.
  std::unique_ptr<display::WindowSurface> openFullScreen(double pictureScale) {
    core::Error error;
    auto surface = display::WindowSurface::open({}, &error);
    if (!surface) {
      ADD_FAILURE() << "the window did not open: " << error.description();
      return nullptr;
    }
    surface->setFullScreen(true);
    if (!waitFor(*surface, [&] { return surface->pictureScale() == pictureScale; })) {
      ADD_FAILURE() << "the picture's scale is " << surface->pictureScale() << ", not " << pictureScale;
      return nullptr;
    }
    core::Clock::advance(display::WindowSurface::SettleSeconds);
    support::drainMainLoop();
    return surface;
  }
  static gfx::Size frameSize(display::WindowSurface& surface) {
    cairo_surface_t* s = surface.compositor().surface();
    return gfx::Size{double(cairo_image_surface_get_width(s)), double(cairo_image_surface_get_height(s))};
  }
  // Every layer of the tree whose drawn contents are at another scale.
  static int layersDrawnAtAnotherScale(const gfx::Layer& layer, double scale) {
    int count = layer.drawnContent() && layer.drawnContent()->scale() != scale ? 1 : 0;
    for (const auto& sub : layer.sublayers()) count += layersDrawnAtAnotherScale(*sub, scale);
    return count;
  }

  std::shared_ptr<ui::Window> m_window;
  std::shared_ptr<CountingView> m_drawing = std::make_shared<CountingView>(gfx::Rect(200, 150, 400, 300));
};

// A 1024 x 768 window is drawn at one pixel a point; a new size is shown resampled until it has
// stayed for the settling time (each change starting the wait again), then drawn once more at
// its own scale, every layer's contents with it; the mode and the points never change.
TEST_F(DrawingScaleTest, AWindowDrawsAtItsOwnScaleAndAgainOnceANewSizeSettles) {
  m_desktop.start("1600x1200x24", PrivateDesktop::Compositor::Absent);
  if (HasFatalFailure()) return;
  support::VirtualClock clock;
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  ASSERT_NE(surface, nullptr) << error.description();
  EXPECT_EQ(ui::Screen::main().drawingScale(), 1.0);
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_EQ(frameSize(*surface), (gfx::Size{1024, 768}));
  EXPECT_EQ(m_drawing->draws, 1);
  EXPECT_EQ(m_drawing->scale, 1.0);
  EXPECT_EQ(layersDrawnAtAnotherScale(*m_window->layer(), 1.0), 0);

  SDL_SetWindowSize(surface->sdlWindow(), 1200, 900);
  ASSERT_TRUE(waitFor(*surface, [&] { return surface->pictureScale() == 1200.0 / 1024; }));
  EXPECT_TRUE(surface->isSettling());
  core::Clock::advance(0.1);
  support::drainMainLoop();
  // A second change before the first settled: the wait starts again.
  SDL_SetWindowSize(surface->sdlWindow(), 1600, 1200);
  ASSERT_TRUE(waitFor(*surface, [&] { return surface->pictureScale() == 1.5625; }));
  core::Clock::advance(0.1);
  support::drainMainLoop();
  EXPECT_TRUE(surface->isSettling());
  EXPECT_EQ(ui::Screen::main().drawingScale(), 1.0);
  // Meanwhile the last picture is resampled: nothing is drawn again.
  surface->renderFrame();
  EXPECT_EQ(frameSize(*surface), (gfx::Size{1024, 768}));
  EXPECT_EQ(m_drawing->draws, 1);
  auto shown = surface->readPixels();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixelWidth(), 1600);
  EXPECT_EQ(shown->pixelAt(800, 600), 0xFFE69919u) << "the drawn view, resampled into the new picture";

  core::Clock::advance(display::WindowSurface::SettleSeconds);
  support::drainMainLoop();
  EXPECT_FALSE(surface->isSettling());
  EXPECT_EQ(ui::Screen::main().drawingScale(), 1.5625);
  EXPECT_EQ(ui::Screen::main().bounds(), gfx::Rect(0, 0, 1024, 768));
  EXPECT_EQ(ui::Screen::main().currentMode().size, (gfx::Size{2048, 1536}));
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_EQ(frameSize(*surface), (gfx::Size{1600, 1200}));
  EXPECT_EQ(m_drawing->draws, 2);
  EXPECT_EQ(m_drawing->scale, 1.5625);
  EXPECT_EQ(layersDrawnAtAnotherScale(*m_window->layer(), 1.5625), 0);
  shown = surface->readPixels();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixelAt(800, 600), 0xFFE69919u);
  EXPECT_EQ(shown->pixelAt(100, 100), 0xFF0000FFu);

  // Nothing further: no more drawing.
  core::Clock::advance(1);
  support::drainMainLoop();
  EXPECT_TRUE(surface->renderFrame().isEmpty());
  EXPECT_EQ(m_drawing->draws, 2);

  // A view made out of any window while the scale changes takes it too.
  auto later = std::make_shared<CountingView>(gfx::Rect(0, 0, 10, 10));
  EXPECT_EQ(later->layer()->contentsScale(), 1.5625);
  surface.reset();
  EXPECT_EQ(ui::Screen::main().drawingScale(), 2.0) << "the window gone, the mode's scale again";
  EXPECT_EQ(later->layer()->contentsScale(), 2.0);
}

// Full screen on a 3840 x 2160 output the picture is 2880 x 2160 and so is every frame once the
// size has settled: no enlargement.
TEST_F(DrawingScaleTest, FullScreenOnALargeOutputDrawsEveryPixelItShows) {
  m_desktop.start("3840x2160x24", PrivateDesktop::Compositor::Absent);
  if (HasFatalFailure()) return;
  support::VirtualClock clock;
  auto surface = openFullScreen(2.8125);
  ASSERT_NE(surface, nullptr);
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_EQ(frameSize(*surface), (gfx::Size{2880, 2160}));
  EXPECT_EQ(layersDrawnAtAnotherScale(*m_window->layer(), 2.8125), 0);
  auto shown = surface->readPixels();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixelWidth(), 3840);
  // The view's corners land on the pixels its points give at 2.8125, beside the 480-pixel bars.
  EXPECT_EQ(shown->pixelAt(480 + 563, 422), 0xFFE69919u);
  EXPECT_EQ(shown->pixelAt(480 + 561, 422), 0xFF0000FFu);
  EXPECT_EQ(shown->pixelAt(470, 1000), 0xFF000000u);
}

// Full screen on a 7680 x 4320 output the window's own scale (5.625) would take a frame of
// 5760 x 4320 pixels, more than the compositor draws: the interface is drawn at the largest scale
// it can, the frame enlarged into the picture, and every change still makes a frame.
TEST_F(DrawingScaleTest, FullScreenBeyondWhatTheCompositorDrawsKeepsMakingFrames) {
  m_desktop.start("7680x4320x24", PrivateDesktop::Compositor::Absent);
  if (HasFatalFailure()) return;
  support::VirtualClock clock;
  auto surface = openFullScreen(5.625);
  ASSERT_NE(surface, nullptr);
  const double k = ui::Screen::main().drawingScale();
  EXPECT_EQ(k, gfx::Compositor::largestScale({1024, 768}));
  EXPECT_GT(k, 4);
  EXPECT_LT(k, 5.625);
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  ASSERT_NE(surface->compositor().surface(), nullptr);
  EXPECT_EQ(frameSize(*surface), (gfx::Size{gfx::pixelLength(1024, k), gfx::pixelLength(768, k)}));
  EXPECT_EQ(layersDrawnAtAnotherScale(*m_window->layer(), k), 0);
  auto shown = surface->readPixels();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixelWidth(), 7680);
  // The picture, 5760 pixels wide, between bars of 960.
  EXPECT_EQ(shown->pixelAt(960 + int(400 * 5.625), int(300 * 5.625)), 0xFFE69919u);
  EXPECT_EQ(shown->pixelAt(960 + int(50 * 5.625), int(50 * 5.625)), 0xFF0000FFu);
  EXPECT_EQ(shown->pixelAt(900, 1000), 0xFF000000u);
  // Frames keep coming.
  for (const gfx::Color& c : {gfx::Color::red(), gfx::Color::rgba(0, 1, 0)}) {
    m_window->setBackgroundColor(c);
    core::Clock::advance(1);
    support::drainMainLoop();
    EXPECT_FALSE(surface->renderFrame().isEmpty());
    shown = surface->readPixels();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->pixelAt(960 + int(50 * 5.625), int(50 * 5.625)), c == gfx::Color::red() ? 0xFFFF0000u : 0xFF00FF00u);
  }
  // A tap lands on the button under it: the window's pixels go back to points through the bars
  // and the picture's scale, not the scale the frame was drawn at.
  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(700, 550, 200, 100));
  int taps = 0;
  button->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  m_window->addSubview(button);
  pushTap(*surface, 960 + int(800 * 5.625), int(600 * 5.625));
  surface->processEvents();
  EXPECT_EQ(taps, 1);
  // The screenshot is the frame as drawn.
  core::Error error;
  const std::string path = homePath() + "/shots/large.png";
  ASSERT_TRUE(surface->saveScreenshot(path, &error)) << error.description();
  auto saved = gfx::Image::fromFile(path);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->pixelWidth(), gfx::pixelLength(1024, k));
  EXPECT_EQ(saved->pixelHeight(), gfx::pixelLength(768, k));
}

// KT_DRAW_SCALE=2 draws 2048 x 1536 frames whatever the window (today's behaviour), resampled into
// it, and a new size changes nothing drawn.
TEST_F(DrawingScaleTest, AFixedScaleIsDrawnAtWhateverTheWindow) {
  m_desktop.start("1280x1024x24", PrivateDesktop::Compositor::Absent);
  if (HasFatalFailure()) return;
  ScopedEnv fixed("KT_DRAW_SCALE", "2");
  support::VirtualClock clock;
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  ASSERT_NE(surface, nullptr) << error.description();
  EXPECT_EQ(surface->fixedScale(), 2.0);
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_EQ(frameSize(*surface), (gfx::Size{2048, 1536}));
  SDL_SetWindowSize(surface->sdlWindow(), 1200, 900);
  ASSERT_TRUE(waitFor(*surface, [&] { return surface->pictureScale() == 1200.0 / 1024; }));
  EXPECT_FALSE(surface->isSettling());
  core::Clock::advance(1);
  support::drainMainLoop();
  surface->renderFrame();
  EXPECT_EQ(frameSize(*surface), (gfx::Size{2048, 1536}));
  EXPECT_EQ(m_drawing->draws, 1);
  auto shown = surface->readPixels();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixelWidth(), 1200);
  EXPECT_EQ(shown->pixelAt(600, 450), 0xFFE69919u);
}

class DrawScaleSettingTest : public support::TempHomeTest {};

// Each bad value is said once on standard error; a bad KT_DRAW_SCALE leaves the setting to
// decide, a bad setting the window's own scale.
TEST_F(DrawScaleSettingTest, BadValuesAreSaidOnceAndTheWindowsScaleIsUsed) {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  {
    ScopedEnv unset("KT_DRAW_SCALE", nullptr);
    EXPECT_EQ(display::drawScaleSetting(), std::nullopt);
    defaults.setString("Draw_Scale", "1.5");
    EXPECT_EQ(display::drawScaleSetting(), 1.5);
  }
  for (const char* bad : {"abc", "0", "-1", "2x", "nan", "inf", "4.5", "0.25"}) {
    SCOPED_TRACE(bad);
    ScopedEnv env("KT_DRAW_SCALE", bad);
    defaults.removeObjectForKey("Draw_Scale");
    testing::internal::CaptureStderr();
    EXPECT_EQ(display::drawScaleSetting(), std::nullopt);
    defaults.setString("Draw_Scale", "1.5");
    EXPECT_EQ(display::drawScaleSetting(), 1.5);
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string line = std::string("KT_DRAW_SCALE=") + bad + " is not a drawing scale";
    EXPECT_NE(said.find(line), std::string::npos) << said;
    EXPECT_EQ(said.find(line), said.rfind(line)) << "said once: " << said;
  }
  {
    ScopedEnv env("KT_DRAW_SCALE", "0.5");
    EXPECT_EQ(display::drawScaleSetting(), 0.5);
  }
  ScopedEnv unset("KT_DRAW_SCALE", nullptr);
  defaults.setString("Draw_Scale", "huge");
  testing::internal::CaptureStderr();
  EXPECT_EQ(display::drawScaleSetting(), std::nullopt);
  EXPECT_EQ(display::drawScaleSetting(), std::nullopt);
  const std::string said = testing::internal::GetCapturedStderr();
  const std::string line = "The setting Draw_Scale (huge) is not a drawing scale";
  EXPECT_NE(said.find(line), std::string::npos) << said;
  EXPECT_EQ(said.find(line), said.rfind(line)) << "said once: " << said;
}

// A bad value is said again once it comes back after the source was mended, in the same process
// (the memory of what was said is not process-wide, so the test above also holds repeated).
TEST_F(DrawScaleSettingTest, ABadValueIsSaidAgainAfterItWasMended) {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.removeObjectForKey("Draw_Scale");
  auto countSaid = [](const std::string& line, const std::function<void()>& read) {
    testing::internal::CaptureStderr();
    read();
    const std::string said = testing::internal::GetCapturedStderr();
    size_t n = 0;
    for (size_t at = said.find(line); at != std::string::npos; at = said.find(line, at + 1)) ++n;
    return n;
  };
  const std::string envLine = "KT_DRAW_SCALE=abc is not a drawing scale";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    {
      ScopedEnv bad("KT_DRAW_SCALE", "abc");
      EXPECT_EQ(countSaid(envLine, [] {
                  display::drawScaleSetting();
                  display::drawScaleSetting();
                }),
                1u);
    }
    ScopedEnv good("KT_DRAW_SCALE", "1.5");
    EXPECT_EQ(display::drawScaleSetting(), 1.5);
  }
  ScopedEnv unset("KT_DRAW_SCALE", nullptr);
  const std::string settingLine = "The setting Draw_Scale (huge) is not a drawing scale";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    defaults.setString("Draw_Scale", "huge");
    EXPECT_EQ(countSaid(settingLine, [] {
                display::drawScaleSetting();
                display::drawScaleSetting();
              }),
              1u);
    defaults.removeObjectForKey("Draw_Scale");
    EXPECT_EQ(display::drawScaleSetting(), std::nullopt);
  }
}

// In a window, a bad setting is said and the window's own scale is drawn at.
TEST_F(DrawingScaleTest, ABadFixedScaleLeavesTheWindowsOwn) {
  m_desktop.start("1280x1024x24", PrivateDesktop::Compositor::Absent);
  if (HasFatalFailure()) return;
  ScopedEnv bad("KT_DRAW_SCALE", "twice");
  testing::internal::CaptureStderr();
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_NE(surface, nullptr) << error.description();
  EXPECT_NE(said.find("KT_DRAW_SCALE=twice is not a drawing scale"), std::string::npos) << said;
  EXPECT_EQ(surface->fixedScale(), std::nullopt);
  EXPECT_FALSE(surface->renderFrame().isEmpty());
  EXPECT_EQ(frameSize(*surface), (gfx::Size{1024, 768}));
}

}  // namespace
