#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/RunUntil.h"

using ui::Application;
using ui::Screen;

namespace {

class RecordingDelegate : public ui::ApplicationDelegate {
 public:
  bool didFinishLaunching(Application&) override {
    log.push_back("launch");
    return true;
  }
  void didBecomeActive(Application&) override { log.push_back("active"); }
  void willResignActive(Application&) override { log.push_back("resign"); }
  void didEnterBackground(Application&) override { log.push_back("background"); }
  void willEnterForeground(Application&) override { log.push_back("foreground"); }
  void willTerminate(Application&) override { log.push_back("terminate"); }
  unsigned supportedInterfaceOrientations(Application&, ui::Window*) override { return ui::OrientationMaskLandscape; }
  std::vector<std::string> log;
};

class ApplicationState : public ::testing::Test {
 protected:
  void SetUp() override { Application::shared().reset(); }
  void TearDown() override {
    Application::shared().reset();
    Screen::main().reset();
  }
};

}  // namespace

TEST_F(ApplicationState, LifeCycleCallsTheDelegateAndPostsNotifications) {
  RecordingDelegate delegate;
  auto& app = Application::shared();
  app.setDelegate(&delegate);
  int activeNotes = 0;
  core::Observation observe(core::NotificationCenter::defaultCenter(), Application::DidBecomeActiveNotification, nullptr,
                            [&](const core::Notification&) { ++activeNotes; });
  EXPECT_TRUE(app.launch());
  EXPECT_EQ(app.applicationState(), ui::ApplicationState::Active);
  app.enterBackground();
  EXPECT_EQ(app.applicationState(), ui::ApplicationState::Background);
  app.enterBackground();  // no second time
  app.enterForeground();
  app.terminate();
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"launch", "active", "resign", "background", "foreground", "active",
                                                    "terminate"}));
  EXPECT_EQ(activeNotes, 2);
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(nullptr), unsigned(ui::OrientationMaskLandscape));
}

TEST_F(ApplicationState, RunLaunchesAndReturnsWhenTheLoopStops) {
  RecordingDelegate delegate;
  core::RunLoop::main().performAfterDelay({}, 0, [] { core::RunLoop::main().stop(); });
  char arg0[] = "ktv";
  char* argv[] = {arg0, nullptr};
  EXPECT_EQ(Application::shared().run(1, argv, &delegate), 0);
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"launch", "active", "terminate"}));
  EXPECT_EQ(Application::shared().arguments(), (std::vector<std::string>{"ktv"}));
}

TEST_F(ApplicationState, WindowsAndTheKeyWindow) {
  auto& app = Application::shared();
  auto a = ui::Window::create(), b = ui::Window::create();
  EXPECT_TRUE(a->isHidden());
  EXPECT_EQ(app.keyWindow(), nullptr);
  a->makeKeyAndVisible();
  b->makeKeyAndVisible();
  EXPECT_FALSE(a->isHidden());
  EXPECT_EQ(app.keyWindow(), b.get());
  EXPECT_TRUE(b->isKeyWindow());
  EXPECT_EQ(app.windows().size(), 2u);
  a->makeKeyWindow();
  EXPECT_EQ(app.keyWindow(), a.get());
  a.reset();
  EXPECT_EQ(app.keyWindow(), nullptr);
  EXPECT_EQ(app.windows().size(), 1u);
  support::drainMainLoop();
}

TEST_F(ApplicationState, StatusBarAndFlags) {
  auto& app = Application::shared();
  EXPECT_EQ(app.statusBarFrame(), gfx::Rect(0, 0, 1024, 20));
  app.setStatusBarHidden(true);
  EXPECT_TRUE(app.statusBarFrame().isEmpty());
  app.setStatusBarStyle(ui::StatusBarStyle::LightContent);
  EXPECT_EQ(app.statusBarStyle(), ui::StatusBarStyle::LightContent);
  app.setNetworkActivityIndicatorVisible(true);
  EXPECT_TRUE(app.isNetworkActivityIndicatorVisible());
  app.reset();
  EXPECT_FALSE(app.isNetworkActivityIndicatorVisible());
  EXPECT_FALSE(app.isStatusBarHidden());
}

TEST_F(ApplicationState, ScreenModesForTheTablets) {
  auto& screen = Screen::main();
  EXPECT_EQ(screen.bounds(), gfx::Rect(0, 0, 1024, 768));
  EXPECT_EQ(screen.drawingScale(), 2);
  EXPECT_EQ(screen.currentMode().size, (gfx::Size{2048, 1536}));
  screen.setMode(gfx::Size{2048, 2732}, 2);
  EXPECT_EQ(screen.currentMode().size, (gfx::Size{2048, 2732}));
  // The points follow the interface orientation: landscape by default, portrait on request.
  EXPECT_EQ(screen.bounds(), gfx::Rect(0, 0, 1366, 1024));
  EXPECT_EQ(ui::Window::create()->frame(), gfx::Rect(0, 0, 1366, 1024));
  Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
  EXPECT_EQ(screen.bounds(), gfx::Rect(0, 0, 1024, 1366));
  screen.reset();
  EXPECT_EQ(screen.bounds(), gfx::Rect(0, 0, 768, 1024));
  Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(screen.bounds(), gfx::Rect(0, 0, 1024, 768));
  screen.setMode(gfx::Size{1024, 768}, 1);
  EXPECT_EQ(gfx::Image::modeScale(), 1);
  screen.setMode(gfx::Size{0, 768}, 1);  // ignored
  EXPECT_EQ(screen.currentMode().size, (gfx::Size{1024, 768}));
  screen.reset();
  EXPECT_EQ(gfx::Image::modeScale(), 2);
}
