#include "platform/display/OffscreenSurface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/core/Error.h"
#include "platform/core/Paths.h"
#include "platform/core/UserDefaults.h"
#include "platform/core/Value.h"
#include "platform/display/Display.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace {

using support::ScopedEnv;

class OffscreenSurfaceTest : public support::TempHomeTest {
 protected:
  OffscreenSurfaceTest() {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
  ~OffscreenSurfaceTest() override {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }

  std::shared_ptr<ui::Window> keyWindow(gfx::Color background) {
    auto w = ui::Window::create();
    w->setBackgroundColor(background);
    w->makeKeyAndVisible();
    return w;
  }

  support::VirtualClock m_clock;
};

uint32_t pixel(const gfx::Image& image, double x, double y) {
  return image.pixelAt(static_cast<int>(x * image.scale()), static_cast<int>(y * image.scale()));
}

TEST_F(OffscreenSurfaceTest, ShowsTheKeyWindowAtTheScreensPixelSize) {
  auto surface = display::OffscreenSurface::create();
  EXPECT_FALSE(surface->isOnScreen());
  EXPECT_EQ(surface->window(), nullptr);
  EXPECT_TRUE(surface->renderFrame().isEmpty());  // nothing to show yet

  auto w = keyWindow(gfx::Color::blue());
  auto view = ui::View::create(gfx::Rect(100, 50, 200, 100));
  view->setBackgroundColor(gfx::Color::red());
  w->addSubview(view);

  EXPECT_EQ(surface->window(), w);
  auto image = surface->snapshot();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 2048);
  EXPECT_EQ(image->pixelHeight(), 1536);
  EXPECT_EQ(pixel(*image, 150, 100), 0xFFFF0000u);
  EXPECT_EQ(pixel(*image, 99, 100), 0xFF0000FFu);
  EXPECT_EQ(pixel(*image, 1023, 767), 0xFF0000FFu);
}

TEST_F(OffscreenSurfaceTest, DrawsOnlyWhenSomethingChanged) {
  auto w = keyWindow(gfx::Color::whiteColor());
  auto view = ui::View::create(gfx::Rect(10, 10, 40, 40));
  view->setBackgroundColor(gfx::Color::green());
  w->addSubview(view);
  auto surface = display::OffscreenSurface::create();

  EXPECT_TRUE(surface->needsFrame());
  gfx::Rect first = surface->renderFrame();
  EXPECT_EQ(first, gfx::Rect(0, 0, 1024, 768));
  EXPECT_EQ(surface->frameCount(), 1u);
  EXPECT_FALSE(surface->needsFrame());
  EXPECT_TRUE(surface->renderFrame().isEmpty());
  EXPECT_EQ(surface->frameCount(), 1u);

  view->setBackgroundColor(gfx::Color::red());
  EXPECT_TRUE(surface->needsFrame());
  gfx::Rect dirty = surface->renderFrame();
  EXPECT_FALSE(dirty.isEmpty());
  EXPECT_TRUE(dirty.contains(gfx::Rect(10, 10, 40, 40))) << "the changed view lies in the redrawn region";
  EXPECT_EQ(surface->frameCount(), 2u);
  EXPECT_EQ(pixel(*surface->snapshot(), 30, 30), 0xFFFF0000u);
}

TEST_F(OffscreenSurfaceTest, FollowsTheScreenMode) {
  auto w = keyWindow(gfx::Color::whiteColor());
  auto surface = display::OffscreenSurface::create();
  surface->renderFrame();
  EXPECT_EQ(surface->size(), (gfx::Size{1024, 768}));

  ui::Screen::main().setMode(gfx::Size{2048, 2732}, 2);
  EXPECT_TRUE(surface->needsFrame());
  surface->renderFrame();
  EXPECT_EQ(surface->size(), (gfx::Size{1366, 1024}));  // landscape, as the interface
  auto image = surface->snapshot();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 2732);
  EXPECT_EQ(image->pixelHeight(), 2048);
}

TEST_F(OffscreenSurfaceTest, FollowsAnotherKeyWindowAndAnExplicitWindow) {
  auto first = keyWindow(gfx::Color::red());
  auto surface = display::OffscreenSurface::create();
  EXPECT_EQ(pixel(*surface->snapshot(), 5, 5), 0xFFFF0000u);
  auto second = keyWindow(gfx::Color::green());
  EXPECT_EQ(surface->window(), second);
  EXPECT_EQ(pixel(*surface->snapshot(), 5, 5), 0xFF00FF00u);
  surface->setWindow(first);
  EXPECT_EQ(pixel(*surface->snapshot(), 5, 5), 0xFFFF0000u);
}

TEST_F(OffscreenSurfaceTest, SavesScreenshotsAsPngAndReportsFailures) {
  auto surface = display::OffscreenSurface::create();
  core::Error error;
  std::string path = homePath() + "/shots/deeper/one.png";
  EXPECT_FALSE(surface->saveScreenshot(path, &error));
  EXPECT_EQ(error.code(), display::Surface::NoWindow);

  auto w = keyWindow(gfx::Color::rgba(0, 0.5, 1));
  ASSERT_TRUE(surface->saveScreenshot(path, &error)) << error.description();
  core::Error decodeError;
  auto image = gfx::Image::fromFile(path, 1.0, &decodeError);
  ASSERT_NE(image, nullptr) << decodeError.description();
  EXPECT_EQ(image->pixelWidth(), 2048);
  EXPECT_EQ(image->pixelHeight(), 1536);
  EXPECT_EQ(image->pixelAt(1000, 700), 0xFF0080FFu);

  // A folder in place of the file's parent cannot be written to.
  ASSERT_TRUE(core::paths::writeFileAtomically(homePath() + "/file", "x"));
  EXPECT_FALSE(surface->saveScreenshot(homePath() + "/file/two.png", &error));
  EXPECT_EQ(error.domain(), display::Surface::ErrorDomain);
  EXPECT_EQ(error.code(), display::Surface::WriteFailed);
}

TEST_F(OffscreenSurfaceTest, FrameTimerDrawsChangesOnTheMainLoop) {
  auto w = keyWindow(gfx::Color::whiteColor());
  auto surface = display::OffscreenSurface::create();
  surface->start(60);
  EXPECT_TRUE(surface->isRunning());
  EXPECT_TRUE(support::runUntil([&] { return surface->frameCount() == 1; }));
  w->setBackgroundColor(gfx::Color::black());
  EXPECT_TRUE(support::runUntil([&] { return surface->frameCount() == 2; }));
  EXPECT_EQ(pixel(*surface->compositor().snapshot(), 500, 500), 0xFF000000u);
  surface->stop();
  EXPECT_FALSE(surface->isRunning());
}

TEST_F(OffscreenSurfaceTest, OpenChoosesOffscreenOnlyWithoutADisplayOrWhenForced) {
  {
    ScopedEnv x("DISPLAY", nullptr), wl("WAYLAND_DISPLAY", nullptr), forced("KT_OFFSCREEN", nullptr);
    auto surface = display::open(display::OpenOptions{0});
    ASSERT_NE(surface, nullptr);
    EXPECT_FALSE(surface->isOnScreen());
  }
  {
    // Forced offscreen: the display named here is never contacted.
    ScopedEnv x("DISPLAY", ":4242"), forced("KT_OFFSCREEN", "1");
    auto surface = display::open(display::OpenOptions{0});
    ASSERT_NE(surface, nullptr);
    EXPECT_FALSE(surface->isOnScreen());
  }
  {
    // A named display that is not there is not replaced by an offscreen surface, where nothing
    // would ever be shown: no surface, and the reason.
    ScopedEnv x("DISPLAY", ":4243"), wl("WAYLAND_DISPLAY", nullptr), forced("KT_OFFSCREEN", nullptr);
    core::Error error;
    auto surface = display::open(display::OpenOptions{0}, &error);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(error.code(), display::Surface::OpenFailed);
    EXPECT_NE(error.localizedDescription().find("DISPLAY=:4243"), std::string::npos) << error.localizedDescription();
  }
}

TEST_F(OffscreenSurfaceTest, TheWaitForADisplayComesFromTheEnvironmentElseTheSetting) {
  ScopedEnv unset("KT_DISPLAY_WAIT", nullptr);
  EXPECT_EQ(display::displayWaitSeconds(), 30);
  core::UserDefaults::standard().setObject("Display_Wait", core::Value("4.5"));
  EXPECT_EQ(display::displayWaitSeconds(), 4.5);
  {
    ScopedEnv wait("KT_DISPLAY_WAIT", "0");
    EXPECT_EQ(display::displayWaitSeconds(), 0);
  }
  {
    // Not a number of seconds: said on standard error (not only in the log), and the setting
    // counts as if the variable were not there; not none and not forever.
    ScopedEnv wait("KT_DISPLAY_WAIT", "-3"), logged("KT_LOG_STDERR", nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(display::displayWaitSeconds(), 4.5);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("KT_DISPLAY_WAIT=-3 is not a number of seconds"), std::string::npos) << said;
  }
  {
    ScopedEnv wait("KT_DISPLAY_WAIT", "soon"), logged("KT_LOG_STDERR", nullptr);
    core::UserDefaults::standard().setObject("Display_Wait", core::Value("later"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(display::displayWaitSeconds(), 30);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("KT_DISPLAY_WAIT=soon"), std::string::npos) << said;
    EXPECT_NE(said.find("The setting Display_Wait (later) is not a number of seconds"), std::string::npos) << said;
  }
}

}  // namespace

namespace {

// A visible window that is not key: a red square at `square` over a clear background.
std::shared_ptr<ui::Window> overlayWindow(double level, const gfx::Rect& square, gfx::Color color) {
  auto w = ui::Window::create();
  w->setBackgroundColor(std::nullopt);
  w->setWindowLevel(level);
  auto v = ui::View::create(square);
  v->setBackgroundColor(color);
  w->addSubview(v);
  w->setHidden(false);
  return w;
}

}  // namespace

TEST_F(OffscreenSurfaceTest, ShowsEveryVisibleWindowByLevelThenByTheOrderShown) {
  auto key = keyWindow(gfx::Color::whiteColor());
  auto surface = display::OffscreenSurface::create();
  // Made visible first but at a higher level: above the one shown after it at level 0.
  auto high = overlayWindow(2000, gfx::Rect(0, 0, 100, 100), gfx::Color::red());
  auto low = overlayWindow(0, gfx::Rect(50, 0, 100, 100), gfx::Color::blue());
  EXPECT_FALSE(high->isKeyWindow());
  EXPECT_TRUE(key->isKeyWindow());
  auto shown = surface->shownWindows();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], key);
  EXPECT_EQ(shown[1], low);
  EXPECT_EQ(shown[2], high);

  auto image = surface->snapshot();
  EXPECT_EQ(pixel(*image, 25, 50), 0xFFFF0000u);
  EXPECT_EQ(pixel(*image, 75, 50), 0xFFFF0000u) << "the alert-level window covers the normal one";
  EXPECT_EQ(pixel(*image, 125, 50), 0xFF0000FFu);
  EXPECT_EQ(pixel(*image, 500, 500), 0xFFFFFFFFu);

  // A second window at level 0 shown again goes in front of the key window's level peers.
  key->makeKeyAndVisible();
  EXPECT_EQ(surface->shownWindows()[1], key);
  EXPECT_EQ(pixel(*surface->snapshot(), 125, 50), 0xFFFFFFFFu) << "the key window, shown again, covers the blue one";

  // Hiding takes a window off the screen with a frame for it; a hidden window alone draws nothing.
  EXPECT_FALSE(surface->needsFrame());
  high->setHidden(true);
  EXPECT_TRUE(surface->needsFrame());
  gfx::Rect dirty = surface->renderFrame();
  EXPECT_TRUE(dirty.contains(gfx::Rect(0, 0, 100, 100)));
  EXPECT_EQ(pixel(*surface->snapshot(), 25, 50), 0xFFFFFFFFu);
}

TEST_F(OffscreenSurfaceTest, AChangeInAnyShownWindowMakesAFrameAndAGoneWindowLeavesNothing) {
  auto key = keyWindow(gfx::Color::whiteColor());
  auto surface = display::OffscreenSurface::create();
  auto overlay = overlayWindow(1000, gfx::Rect(200, 200, 50, 50), gfx::Color::green());
  surface->renderFrame();
  EXPECT_FALSE(surface->needsFrame());
  uint64_t frames = surface->frameCount();

  overlay->subviews().front()->setBackgroundColor(gfx::Color::red());
  EXPECT_TRUE(surface->needsFrame());
  gfx::Rect dirty = surface->renderFrame();
  EXPECT_TRUE(dirty.contains(gfx::Rect(200, 200, 50, 50)));
  EXPECT_LT(dirty.width(), 1024) << "only the changed part is redrawn";
  EXPECT_EQ(surface->frameCount(), frames + 1);
  EXPECT_EQ(pixel(*surface->snapshot(), 225, 225), 0xFFFF0000u);

  // The window goes away without being hidden: its pixels go with it.
  overlay.reset();
  EXPECT_TRUE(surface->needsFrame());
  surface->renderFrame();
  EXPECT_EQ(pixel(*surface->snapshot(), 225, 225), 0xFFFFFFFFu);

  // A window placed inside another is drawn by that one, not on its own.
  auto inner = overlayWindow(2000, gfx::Rect(0, 0, 10, 10), gfx::Color::blue());
  key->addSubview(inner);
  ASSERT_EQ(surface->shownWindows().size(), 1u);
  EXPECT_EQ(pixel(*surface->snapshot(), 5, 5), 0xFF0000FFu);
}

TEST_F(OffscreenSurfaceTest, TouchesGoToTheFrontMostWindowThatTakesThem) {
  auto key = keyWindow(gfx::Color::whiteColor());
  auto surface = display::OffscreenSurface::create();
  auto& app = ui::Application::shared();
  EXPECT_EQ(surface->windowForTouchAt({10, 10}), key);

  // An overlay that takes no touches lets every one through.
  auto strip = overlayWindow(1000, gfx::Rect(0, 0, 1024, 20), gfx::Color::green());
  strip->setUserInteractionEnabled(false);
  EXPECT_EQ(app.windowForTouchAt({10, 10}), key);

  // One that takes them only where it has an interactive view: through elsewhere.
  auto card = overlayWindow(2000, gfx::Rect(100, 100, 50, 50), gfx::Color::red());
  card->setUserInteractionEnabled(true);
  class ThroughWindow : public ui::Window {
   public:
    using ui::Window::Window;
    std::shared_ptr<ui::View> hitTest(gfx::Point p, const ui::Event* e) override {
      auto hit = ui::Window::hitTest(p, e);
      return hit.get() == this ? nullptr : hit;
    }
  };
  auto through = std::make_shared<ThroughWindow>(gfx::Rect(0, 0, 1024, 768));
  through->setWindowLevel(2000);
  auto button = ui::View::create(gfx::Rect(300, 300, 40, 40));
  through->addSubview(button);
  through->setHidden(false);
  EXPECT_EQ(app.windowForTouchAt({320, 320}), through);
  EXPECT_EQ(app.windowForTouchAt({10, 10}), card) << "a full-screen window takes touches outside its views";
  card->setHidden(true);
  EXPECT_EQ(app.windowForTouchAt({10, 10}), key);
  key->setUserInteractionEnabled(false);
  EXPECT_EQ(app.windowForTouchAt({10, 10}), nullptr);

  // A window set on the surface takes every touch.
  surface->setWindow(strip);
  EXPECT_EQ(surface->windowForTouchAt({320, 320}), strip);
}

TEST_F(OffscreenSurfaceTest, AWindowShownAgainAfterTheApplicationForgotItComesBack) {
  auto overlay = overlayWindow(1000, gfx::Rect(0, 0, 10, 10), gfx::Color::red());
  auto other = overlayWindow(1000, gfx::Rect(0, 0, 10, 10), gfx::Color::blue());
  ASSERT_EQ(ui::Application::shared().visibleWindows().back(), other);
  overlay->setHidden(false);  // already shown: keeps its place behind the other
  EXPECT_EQ(ui::Application::shared().visibleWindows().back(), other);
  ui::Application::shared().reset();
  EXPECT_TRUE(ui::Application::shared().visibleWindows().empty());
  overlay->setHidden(false);
  ASSERT_EQ(ui::Application::shared().visibleWindows().size(), 1u);
  EXPECT_EQ(ui::Application::shared().visibleWindows().front(), overlay);
}
