// The portrait binding screen coming and going over the landscape home screen, frame by frame on
// both tablets: the home screen keeps its own shape on the display, unturned, wherever it still
// shows, and the binding screen follows on from it whole: no frame shows the home screen in the
// portrait shape or a band of nothing between the two.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

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
#include "songs/CloudApi.h"
#include "songs/ScanQRCodeVC.h"
#include "songs/SongScreens.h"
#include "support/UiHarness.h"
#include "venue/CloudService.h"
#include "widgets/feedback/AOProgressHUD.h"

namespace {

using support::Device;
constexpr double Frame = 1.0 / 60;

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
  bool large() const { return GetParam() == Device::LargeTablet; }
  gfx::Point at(gfx::Point standard, gfx::Point largeTablet) const { return large() ? largeTablet : standard; }
  double displayWidth() const { return large() ? 1366 : 1024; }

  kt::ScanQRCodeVC* bindingScreen() const {
    auto* presented = m_nav->presentedViewController();
    if (!presented || presented->childViewControllers().empty()) return nullptr;
    return dynamic_cast<kt::ScanQRCodeVC*>(presented->childViewControllers().front().get());
  }

  // Where the binding screen's top edge lies across the display as drawn now (the display's
  // width when it is not there).
  double bindingTopOnDisplay() const {
    auto* presented = m_nav->presentedViewController();
    if (!presented || !presented->isViewLoaded() || !presented->view()->window()) return displayWidth();
    gfx::LayerState s = presented->view()->layer()->presentation();
    gfx::Point top{s.position.x, s.position.y - s.anchorPoint.y * s.bounds.height()};
    return display().displayPointFromScreen(presented->view()->window()->convertPointToScreen(top)).x;
  }

  // The toast that says the room is bound, on the display, when it shows (with a margin).
  gfx::Rect toastOnDisplay() {
    auto toast = findViewByText("绑定成功");
    if (!toast || !toast->window()) return gfx::Rect::null();
    gfx::Rect r = toast->convertRectTo(toast->bounds(), nullptr);
    ui::Window* w = toast->window();
    gfx::Point a = display().displayPointFromScreen(w->convertPointToScreen(r.origin));
    gfx::Point b = display().displayPointFromScreen(w->convertPointToScreen(gfx::Point{r.maxX(), r.maxY()}));
    return gfx::Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(a.x - b.x), std::abs(a.y - b.y)).insetBy(-2, -2);
  }

  // A frame drawn now, on the display's rows across the home screen's bar and search field
  // (above its banners, which change by themselves), a colour a point, and where the binding
  // screen's top edge lay in it.
  struct FrameRows {
    std::string what;
    double edge = 0;
    gfx::Rect toast = gfx::Rect::null();
    std::vector<std::vector<uint32_t>> rows;
  };
  FrameRows drawFrame(const std::string& what) {
    render();
    auto image = display().snapshot();
    FrameRows f{what, bindingTopOnDisplay(), toastOnDisplay(), {}};
    for (double y = 6; y < 140; y += 8) {
      f.rows.emplace_back();
      for (double x = 0.5; x < displayWidth(); x += 1) f.rows.back().push_back(colorAt(*image, {x, y}));
    }
    return f;
  }
  // Left of the binding screen's top edge the frame is the home screen as `home` shows it, from
  // there on (with `binding`) the binding screen as `binding` shows it from its top. A point or
  // two at the edge may differ (it lies between pixels). The chosen songs' badge at the right end
  // of the home screen's bar may change meanwhile and is left out.
  void expectWhole(const FrameRows& f, const gfx::Image& home, const gfx::Image* binding) {
    int worstHome = 0, worstBinding = 0;
    double y = 6;
    for (const auto& row : f.rows) {
      int homeOff = 0, bindingOff = 0;
      for (size_t i = 0; i < row.size(); ++i) {
        double x = 0.5 + static_cast<double>(i);
        if (f.toast.contains(gfx::Point{x, y})) continue;
        if (x < f.edge) {
          if (x < displayWidth() - 160 && !near(row[i], colorAt(home, {x, y}))) ++homeOff;
        } else if (binding && !near(row[i], colorAt(*binding, {x - f.edge, y}))) {
          ++bindingOff;
        }
      }
      worstHome = std::max(worstHome, homeOff);
      worstBinding = std::max(worstBinding, bindingOff);
      y += 8;
    }
    EXPECT_LE(worstHome, 3) << f.what << ", the binding screen's top at " << f.edge;
    EXPECT_LE(worstBinding, 3) << f.what << ", the binding screen's top at " << f.edge;
  }
  static bool near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 32; shift += 8) {
      if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 40) return false;
    }
    return true;
  }

  kt::AppDelegate m_app;
  venue::CloudService m_service;
  std::shared_ptr<ui::NavigationController> m_nav;
};

TEST_P(ScanQRCodeTurnTest, OpeningAndLeavingByTheBackButtonShowNoSidewaysFrame) {
  // The binding screen settled, to compare with.
  tap(at({512, 46}, {682, 62}));
  wait(0.6);
  ASSERT_TRUE(bindingScreen());
  auto binding = screenshot("binding");
  ASSERT_TRUE(binding);
  tap(*bindingScreen()->btn_leftBar());
  wait(0.6);
  ASSERT_FALSE(m_nav->presentedViewController());

  std::vector<FrameRows> frames;
  tap(at({512, 46}, {682, 62}));
  for (int i = 0; i < 60 && bindingTopOnDisplay() > 0; ++i) {
    frames.push_back(drawFrame("opening, frame " + std::to_string(i)));
    if (i == 8) screenshot("opening");
    wait(Frame);
  }
  size_t opening = frames.size();
  EXPECT_GT(opening, 10u);  // the screen slid in over frames
  wait(0.2);
  ASSERT_TRUE(bindingScreen());
  tap(*bindingScreen()->btn_leftBar());
  for (int i = 0; i < 60 && m_nav->presentedViewController(); ++i) {
    frames.push_back(drawFrame("leaving, frame " + std::to_string(i)));
    if (i == 8) screenshot("leaving");
    wait(Frame);
  }
  EXPECT_GT(frames.size() - opening, 10u);
  frames.push_back(drawFrame("back home"));
  auto home = screenshot("home");
  ASSERT_TRUE(home);
  for (const auto& f : frames) expectWhole(f, *home, binding.get());
}

TEST_P(ScanQRCodeTurnTest, LeavingAfterABindShowsNoSidewaysFrame) {
  const venue::CloudRoom room = m_service.rooms().front();
  tap(at({512, 46}, {682, 62}));
  wait(0.6);
  ASSERT_TRUE(bindingScreen());
  tap(at({892, 384}, {1189, 512}));  // the room-code button
  wait(0.6);
  for (char c : room.code) ASSERT_TRUE(tapKey(std::string(1, c))) << c;
  // The clock stands still until the bind has come back, then the screen leaves frame by frame.
  tap(at({711.5, 86}, {971.5, 115.5}));  // verify
  ASSERT_TRUE(runUntil([&] { return kt::CloudApi::storedUid() == room.uid; }, 15));
  std::vector<FrameRows> frames;
  for (int i = 0; i < 120 && m_nav->presentedViewController(); ++i) {
    frames.push_back(drawFrame("leaving, frame " + std::to_string(i)));
    if (i == 8) screenshot("leaving");
    wait(Frame);
  }
  EXPECT_GT(frames.size(), 10u);
  EXPECT_FALSE(m_nav->presentedViewController());
  // The keyboard leaves with the binding screen: only the home screen is compared, where the
  // toast that says the room is bound does not lie over it.
  auto home = screenshot("home");
  ASSERT_TRUE(home);
  for (const auto& f : frames) expectWhole(f, *home, nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothTablets, ScanQRCodeTurnTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
