// The portrait binding screen sliding over the landscape home screen and away, frame by frame on
// both tablets. Across the home screen's bar and search field (above its banners, which change by
// themselves) every frame is the home screen, unturned, up to the binding screen's top edge, and
// the binding screen from there on: never the home screen in the portrait shape, nor a band of
// nothing between the two.

#include <cstdlib>

#include "app/AppDelegate.h"
#include "platform/core/UserDefaults.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/net/HostMap.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "songs/ChooseMusicVC.h"
#include "songs/ScanQRCodeVC.h"
#include "songs/SongScreens.h"
#include "support/UiHarness.h"
#include "venue/CloudService.h"
#include "widgets/feedback/AOProgressHUD.h"

namespace {

using support::Device;

class ScanQRCodeTurnTest : public support::ScreenTest, public ::testing::WithParamInterface<Device> {
 protected:
  void SetUp() override {
    setDevice(GetParam());
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
    kt::AOProgressHUD::resetSharedView();
    ui::Application::shared().setDelegate(nullptr);
    net::HostMap::clear();
    m_service.stop();
  }
  double width() const { return GetParam() == Device::LargeTablet ? 1366 : 1024; }
  void openOrClose() {
    if (m_nav->presentedViewController())
      tap(*dynamic_cast<kt::ScanQRCodeVC&>(*m_nav->presentedViewController()->childViewControllers().front()).btn_leftBar());
    else
      tap(GetParam() == Device::LargeTablet ? gfx::Point{682, 62} : gfx::Point{512, 46});  // the home screen's title
  }
  // Where the binding screen's top edge lies across the display as drawn now.
  double bindingTop() const {
    auto* presented = m_nav->presentedViewController();
    if (!presented || !presented->view()->window()) return width();
    gfx::LayerState s = presented->view()->layer()->presentation();
    gfx::Point top{s.position.x, s.position.y - s.anchorPoint.y * s.bounds.height()};
    return display().displayPointFromScreen(presented->view()->window()->convertPointToScreen(top)).x;
  }
  // The points of a row that differ from the home screen left of `edge` (but for the chosen
  // songs' badge at the right end, which may change) or from the binding screen from there on.
  int differences(const gfx::Image& frame, double y, double edge, const gfx::Image& home, const gfx::Image& binding) {
    int off = 0;
    for (double x = 0.5; x < width(); x += 1) {
      if (x < edge && x > width() - 160) continue;
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
  venue::CloudService m_service;
  std::shared_ptr<ui::NavigationController> m_nav;
};

TEST_P(ScanQRCodeTurnTest, OpeningAndLeavingShowNoSidewaysFrame) {
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
    for (double edge = bindingTop(); frames < 60 && (way[0] == 'o' ? edge > 0 : edge < width()); edge = bindingTop()) {
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

INSTANTIATE_TEST_SUITE_P(BothTablets, ScanQRCodeTurnTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
