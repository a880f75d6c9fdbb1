// The binding screen opened from the home screen in the landscape window that scripts/run has:
// the interface turns upright for it and back when it closes, and a guest binds by typed room
// code with touches on the display alone, on both tablets; frame by frame, no screen shows sideways
// or a band of nothing while the binding screen slides over the home screen with its camera
// picture and away, and what lies over the window when a bind closes it is drawn upright.

#include <cstdlib>

#include "app/AppDelegate.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/media/CaptureVideoPreviewLayer.h"
#include "platform/media/ImageSource.h"
#include "platform/net/HostMap.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "songs/ChooseMusicVC.h"
#include "songs/CloudApi.h"
#include "songs/ScanQRCodeVC.h"
#include "songs/SongScreens.h"
#include "support/RectExpectations.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "venue/CloudService.h"
#include "widgets/feedback/AOProgressHUD.h"

namespace {

using support::Device;
using ui::InterfaceOrientation;

class BindingScreenTurnTest : public support::SessionsLetGoAtEnd, public support::ScreenTest, public ::testing::WithParamInterface<Device> {
 protected:
  void SetUp() override {
    setDevice(GetParam());
    // A camera whose pictures the test hands in.
    media::ImageSource::installForProcess(m_camera = media::ImageSource::pushed());
    ui::Application::shared().setDelegate(&m_app);
    ASSERT_TRUE(m_service.start());
    for (const std::string& host : venue::CloudService::hosts()) net::HostMap::set(host, 80, "127.0.0.1", m_service.port());
    kt::SongScreens::registerBuiltInScreens();
    core::UserDefaults::standard().removeObjectForKey("uid");
    m_nav = std::make_shared<ui::NavigationController>(std::make_shared<kt::ChooseMusicVC>());
    window().setRootViewController(m_nav);
    render();
  }
  void TearDown() override {
    m_nav.reset();
    window().setRootViewController(nullptr);
    support::drainMainLoop();
    media::ImageSource::installForProcess(nullptr);
    kt::AOProgressHUD::resetSharedView();
    ui::Application::shared().setDelegate(nullptr);
    net::HostMap::clear();
    m_service.stop();
  }
  bool large() const { return GetParam() == Device::LargeTablet; }
  // A point of the display, worked out by hand for each tablet.
  gfx::Point at(gfx::Point standard, gfx::Point largeTablet) const { return large() ? largeTablet : standard; }
  // Taps the home screen's title, which opens the binding screen.
  kt::ScanQRCodeVC* openBinding() {
    tap(at({512, 46}, {682, 62}));
    wait(0.6);
    render();
    auto* presented = m_nav->presentedViewController();
    if (!presented || presented->childViewControllers().empty()) return nullptr;
    return dynamic_cast<kt::ScanQRCodeVC*>(presented->childViewControllers().front().get());
  }
  gfx::Size landscape() const { return large() ? gfx::Size{1366, 1024} : gfx::Size{1024, 768}; }
  gfx::Size portrait() const { return large() ? gfx::Size{1024, 1366} : gfx::Size{768, 1024}; }

  kt::ScanQRCodeVC* bindingScreen() const {
    auto* presented = m_nav->presentedViewController();
    return presented ? dynamic_cast<kt::ScanQRCodeVC*>(presented->childViewControllers().front().get()) : nullptr;
  }
  // Opens the binding screen from the home screen's title, its camera showing a grey picture
  // (there is no code in it) from the first frame on, or leaves it by its back button.
  void openOrClose() {
    if (m_nav->presentedViewController()) {
      tap(*bindingScreen()->btn_leftBar());
      return;
    }
    tap(at({512, 46}, {682, 62}));
    static const auto grey = gfx::Image::fromPixels(64, 48, std::vector<uint32_t>(64 * 48, 0xFF808080));
    // The camera is attached on the capture session's own queue: the picture goes in until the
    // preview shows it (the virtual clock stands still meanwhile, so the screen slides in over
    // the same frames however long the camera takes).
    ASSERT_TRUE(support::runUntilClockHeld([&] {
      for (const auto& layer : bindingScreen()->bgView()->layer()->sublayers()) {
        if (std::dynamic_pointer_cast<media::CaptureVideoPreviewLayer>(layer) && layer->contents()) return true;
      }
      m_camera->pushFrame(grey);
      return false;
    }));
  }
  // Where the binding screen's top edge lies across the display as drawn now.
  double bindingTop() const {
    auto* presented = m_nav->presentedViewController();
    if (!presented || !presented->view()->window()) return landscape().width;
    gfx::LayerState s = presented->view()->layer()->presentation();
    // The middle of the top edge, from the anchor point, turned as the view is.
    gfx::AffineTransform t = s.transform.toAffine();
    gfx::Size d = t.apply(gfx::Size{(0.5 - s.anchorPoint.x) * s.bounds.width(), -s.anchorPoint.y * s.bounds.height()});
    gfx::Point top{s.position.x + d.width, s.position.y + d.height};
    return display().displayPointFromScreen(presented->view()->window()->convertPointToScreen(top)).x;
  }
  // A point of a view as the display draws it.
  gfx::Point onDisplay(const ui::View& view, gfx::Point p) const {
    return display().displayPointFromScreen(view.window()->convertPointToScreen(view.convertPointTo(p, nullptr)));
  }
  // The points of a row that differ from the home screen left of `edge` (but for the chosen
  // songs' badge at the right end, which may change) or from the binding screen from there on.
  int differences(const gfx::Image& frame, double y, double edge, const gfx::Image& home, const gfx::Image& binding) {
    int off = 0;
    for (double x = 0.5; x < landscape().width; x += 1) {
      if (x < edge && x > landscape().width - 160) continue;
      uint32_t a = colorAt(frame, {x, y}), b = x < edge ? colorAt(home, {x, y}) : colorAt(binding, {x - edge, y});
      for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 40) {
          ++off;
          break;
        }
      }
    }
    return off;
  }

  kt::AppDelegate m_app;
  std::shared_ptr<media::ImageSource> m_camera;
  venue::CloudService m_service;
  std::shared_ptr<ui::NavigationController> m_nav;
};

TEST_P(BindingScreenTurnTest, ThePortraitScreenStandsUprightOnTheLandscapeDisplayAndLeavingTurnsBack) {
  auto& app = ui::Application::shared();
  int turns = 0;
  core::Observation observation(core::NotificationCenter::defaultCenter(),
                                ui::Application::DidChangeStatusBarOrientationNotification, nullptr,
                                [&](const core::Notification&) { ++turns; });
  kt::ScanQRCodeVC* screen = openBinding();
  ASSERT_TRUE(screen);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::Portrait);
  EXPECT_EQ(turns, 1);
  EXPECT_EQ(app.statusBarFrame(), gfx::Rect(gfx::Point(), gfx::Size{portrait().width, 20}));
  EXPECT_EQ(window().frame(), gfx::Rect(gfx::Point(), portrait()));
  EXPECT_EQ(screen->navigationController()->view()->frame(), gfx::Rect(gfx::Point(), portrait()));
  // The display keeps its size and draws the screen a quarter turn anticlockwise.
  EXPECT_EQ(display().size(), landscape());
  EXPECT_EQ(display().quarterTurns(), -1);

  auto image = screenshot(large() ? "turned-large" : "turned");
  ASSERT_TRUE(image);
  // The screen covers the whole display (none of the window's white shows at its corners), and the
  // room-code button lies inside it, sideways near the right edge.
  const gfx::Size d = landscape();
  for (gfx::Point p : {gfx::Point{2, 2}, gfx::Point{d.width - 2, 2}, gfx::Point{2, d.height - 2},
                       gfx::Point{d.width - 2, d.height - 2}}) {
    EXPECT_NE(colorAt(*image, p), 0xFFFFFFFFu) << p.x << "," << p.y;
  }
  EXPECT_NE(colorAt(*image, at({870, 548}, {1160, 732})), colorAt(*image, {d.width - 2, d.height - 2}));

  // The room-code button, drawn sideways near the display's right edge, takes the finger.
  tap(at({892, 384}, {1189, 512}));
  wait(0.6);
  EXPECT_EQ(screen->view_roomCode()->frame(), large() ? gfx::Rect(0, 0, 1023, 1366) : gfx::Rect(0, 0, 768, 1024));
  EXPECT_TRUE(screen->textF_roomCode()->isFirstResponder());
  screenshot(large() ? "panel-large" : "panel");
  screen->dismissTheRoomCode();

  tap(*screen->btn_leftBar());
  wait(0.6);
  EXPECT_FALSE(m_nav->presentedViewController());
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(turns, 2);
  EXPECT_EQ(window().frame(), gfx::Rect(gfx::Point(), landscape()));
  EXPECT_EQ(m_nav->view()->frame(), gfx::Rect(gfx::Point(), landscape()));
  EXPECT_EQ(display().quarterTurns(), 0);
  screenshot(large() ? "back-large" : "back");
}

TEST_P(BindingScreenTurnTest, AGuestBindsByTypedRoomCodeWithTouchesAlone) {
  const venue::CloudRoom room = m_service.rooms().front();
  kt::ScanQRCodeVC* screen = openBinding();
  ASSERT_TRUE(screen);
  tap(at({892, 384}, {1189, 512}));  // the room-code button
  wait(0.6);
  // On the number pad drawn under the turned screen.
  for (char c : room.code) ASSERT_TRUE(tapKey(std::string(1, c))) << c;
  render();
  screenshot(large() ? "typed-large" : "typed");
  tap(at({711.5, 86}, {971.5, 115.5}));  // verify, on the input bar above the keyboard
  ASSERT_TRUE(runUntil([&] { return kt::CloudApi::storedUid() == room.uid; }));
  EXPECT_EQ(m_service.requestsTo("webbindroom_new.php").back().param("roomid"), room.code);
  wait(0.6);
  EXPECT_FALSE(m_nav->presentedViewController());
  EXPECT_EQ(ui::Application::shared().statusBarOrientation(), InterfaceOrientation::LandscapeRight);
}

// Across the home screen's bar and search field (above its banners, which change by themselves)
// every frame is the home screen, unturned, up to the binding screen's top edge, and the binding
// screen, its camera picture laid out whole, from there on: never the home screen in the portrait
// shape, nor a band of nothing.
TEST_P(BindingScreenTurnTest, OpeningAndLeavingShowNoSidewaysFrame) {
  // Both screens settled, to compare with.
  openOrClose();
  wait(0.6);
  auto binding = screenshot("binding");
  openOrClose();
  wait(0.6);
  auto home = screenshot("home");
  ASSERT_TRUE(binding && home && !m_nav->presentedViewController());

  for (const char* way : {"opening", "leaving"}) {
    openOrClose();
    int frames = 0;
    for (double edge = bindingTop(); frames < 60 && (way[0] == 'o' ? edge > 0 : edge < landscape().width); edge = bindingTop()) {
      render();
      auto frame = display().snapshot();
      // A point or two at the edge may differ: it lies between pixels.
      for (double y = 6; y < 140; y += 8) EXPECT_LE(differences(*frame, y, edge, *home, *binding), 3) << way << " " << frames << " " << y;
      if (frames++ == 8) screenshot(way);
      wait(1.0 / 60);
    }
    EXPECT_GT(frames, 10) << way;  // the screen slid over frames
    wait(0.3);
  }
  EXPECT_FALSE(m_nav->presentedViewController());
}

// A bind closes the screen with the toast and the fading progress overlay over the window: they
// turn with the interface, upright over the home screen in every frame while the screen leaves.
TEST_P(BindingScreenTurnTest, OverlaysLeftByABindAreDrawnUprightWhileTheScreenLeaves) {
  const venue::CloudRoom room = m_service.rooms().front();
  ASSERT_TRUE(openBinding());
  bindingScreen()->sendInputText(room.code);
  ASSERT_TRUE(runUntil([&] { return kt::CloudApi::storedUid() == room.uid; }));
  ASSERT_TRUE(m_nav->presentedViewController() && m_nav->presentedViewController()->isBeingDismissed());
  int frames = 0, seen = 0;
  for (; m_nav->presentedViewController() && frames < 60; ++frames) {
    render();
    for (const char* text : {"绑定成功", kt::ScanQRCodeVC::BindingStatus}) {
      auto overlay = findViewByText(text);
      if (!overlay) continue;
      ++seen;
      // Its top edge runs left to right across the display.
      gfx::Point a = onDisplay(*overlay, {0, 0}), b = onDisplay(*overlay, {overlay->bounds().width(), 0});
      EXPECT_NEAR(a.y, b.y, 0.01) << text << " " << frames;
      EXPECT_GT(b.x, a.x) << text << " " << frames;
    }
    if (frames == 4) screenshot("leaving-bound");
    wait(1.0 / 60);
  }
  EXPECT_GT(frames, 10);
  EXPECT_GT(seen, 10);
  EXPECT_EQ(ui::Application::shared().statusBarOrientation(), InterfaceOrientation::LandscapeRight);
}

INSTANTIATE_TEST_SUITE_P(BothTablets, BindingScreenTurnTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
