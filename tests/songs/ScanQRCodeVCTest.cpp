// The room binding screen in portrait against the stand-in cloud service: the three binding
// requests and their failures, the typed room code, when the camera runs, and the layout.

#include "app/AppDelegate.h"
#include "app/WGAlertView.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/media/CaptureSession.h"
#include "platform/media/CaptureVideoPreviewLayer.h"
#include "platform/media/ImageSource.h"
#include "platform/media/MetadataMachineReadableCodeObject.h"
#include "platform/net/HostMap.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "songs/CloudApi.h"
#include "songs/ScanQRCodeVC.h"
#include "songs/SongScreens.h"
#include "support/RectExpectations.h"
#include "support/ScopedEnv.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "venue/CloudService.h"
#include "venue/HttpPeer.h"
#include "widgets/feedback/AOProgressHUD.h"

#include <cfloat>
#include <functional>

namespace {

using support::Device;
using venue::Fault;
using namespace std::chrono_literals;
constexpr const char* kFailed = "绑定失败，请重新操作";

void expectRect(const gfx::Rect& actual, const gfx::Rect& expected) {
  support::expectRect(actual, expected.x(), expected.y(), expected.width(), expected.height());
}

class ScanQRCodeVCTest : public support::SessionsLetGoAtEnd, public support::ScreenTest {
 protected:
  void SetUp() override {
    ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
    setDevice(Device::Standard);
    ui::Application::shared().setDelegate(&m_app);
    ASSERT_TRUE(m_service.start());
    for (const std::string& host : venue::CloudService::hosts()) net::HostMap::set(host, 80, "127.0.0.1", m_service.port());
    kt::SongScreens::registerBuiltInScreens();
  }
  void TearDown() override {
    m_screen.reset();
    m_root.reset();
    window().setRootViewController(nullptr);
    support::drainMainLoop();
    media::ImageSource::installForProcess(nullptr);
    kt::AOProgressHUD::resetSharedView();
    ui::Application::shared().setDelegate(nullptr);
    ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::LandscapeRight);
    net::HostMap::clear();
    m_service.stop();
  }

  // The screen presented as the home screen presents it; with a camera of pushed frames unless
  // `camera` is false. When `until` is given, the presentation stops at the turn where it holds.
  kt::ScanQRCodeVC& present(bool camera = true, const std::function<bool()>& until = {}) {
    if (camera) media::ImageSource::installForProcess(m_camera = media::ImageSource::pushed());
    m_root = std::make_shared<ui::ViewController>();
    window().setRootViewController(m_root);
    render();
    m_app.setShouldChangeOrientation(true);
    m_screen = std::dynamic_pointer_cast<kt::ScanQRCodeVC>(kt::SongScreens::present(m_root.get(), kt::SongScreens::Binding));
    EXPECT_TRUE(m_screen);
    if (until) {
      stepUntil(until, 0.6);
    } else {
      wait(0.6);
    }
    render();
    return *m_screen;
  }
  // Lets virtual time pass a frame at a time, with some real time for the requests after each
  // frame, and stops at the turn where the condition holds, before more time passes: the bind's
  // toast is up for 0.2 s, whenever the bind comes.
  bool stepUntil(const std::function<bool()>& condition, double seconds) {
    for (double passed = 0; passed < seconds && !condition(); passed += 1.0 / 60) {
      wait(1.0 / 60);
      if (!condition()) runUntil(condition, 0.05);
    }
    return condition();
  }
  bool shown() const { return m_root->presentedViewController() != nullptr; }
  bool scanning() const { return m_screen->session() && m_screen->session()->isRunning(); }
  std::string alert() const {
    auto alerts = findViews<kt::WGAlertView>();
    return alerts.empty() ? "" : alerts.back()->label_msg()->text();
  }
  // Waits for the alert, checks the state a failed step leaves and closes the alert. A step
  // that times out takes the request's 10 s of real time first: the bound leaves room for a
  // busy machine.
  void expectFailure(const std::string& message) {
    ASSERT_TRUE(runUntil([&] { return !alert().empty(); }, 60)) << message;
    EXPECT_EQ(alert(), message);
    EXPECT_EQ(scanning(), m_screen->session() != nullptr);
    EXPECT_FALSE(m_screen->isBinding());
    EXPECT_TRUE(shown());
    EXPECT_TRUE(m_app.shouldChangeOrientation());
    wait(0.5);  // the overlay fades out
    EXPECT_FALSE(kt::AOProgressHUD::isVisible());
    ASSERT_TRUE(findViewByText("确定"));
    tap(*findViewByText("确定"));
    wait(0.3);
    ASSERT_EQ(alert(), "");
  }
  void expectBound(const venue::CloudRoom& room) {
    ASSERT_TRUE(runUntil([&] { return kt::CloudApi::storedUid() == room.uid; }));
    EXPECT_TRUE(findViewByText("绑定成功"));
    EXPECT_FALSE(m_app.shouldChangeOrientation());
    EXPECT_FALSE(scanning());
    EXPECT_TRUE(runUntil([&] { return !shown(); }));
  }
  static std::string stored(const char* key) { return core::UserDefaults::standard().stringForKey(key).value_or("-"); }
  void recognise(std::vector<std::string> texts) {
    std::vector<std::shared_ptr<media::MetadataObject>> objects;
    for (auto& t : texts) objects.push_back(std::make_shared<media::MetadataMachineReadableCodeObject>(media::MetadataObjectTypeQRCode, t));
    m_screen->captureOutput(**m_screen->session()->outputs().begin(), objects, media::CaptureConnection{});
  }
  venue::CloudRoom room() const { return m_service.rooms().front(); }

  kt::AppDelegate m_app;
  venue::CloudService m_service;
  std::shared_ptr<media::ImageSource> m_camera;
  std::shared_ptr<ui::ViewController> m_root;
  std::shared_ptr<kt::ScanQRCodeVC> m_screen;
};

TEST_F(ScanQRCodeVCTest, ScannedCodeBindsThroughTheThreeStepsAndCloses) {
  for (venue::CodeForm form : {venue::CodeForm::Text, venue::CodeForm::Number}) {
    m_service.setCodeForm(form);
    core::UserDefaults::standard().removeObjectForKey("uid");
    present();
    EXPECT_TRUE(scanning());
    auto gate = std::make_shared<venue::Gate>();
    m_service.setFault("qr", Fault::heldBy(gate));
    recognise({m_service.qrText(room().code), m_service.qrText("8015")});
    recognise({m_service.qrText("8015")});  // while the binding runs: ignored
    EXPECT_TRUE(runUntil([] { return kt::AOProgressHUD::isVisible(); }));
    ASSERT_TRUE(gate->waitForArrived(1, 10));
    gate->open();
    expectBound(room());
    m_service.clearFaults();
    EXPECT_EQ(stored("roominfo"), room().token);
    EXPECT_EQ(stored("transIP"), room().tranIp);
    EXPECT_EQ(stored("roomIPForMike"), room().ip);
    auto requests = m_service.requests();
    ASSERT_EQ(requests.size(), 3u);  // one chain, for the first code of the frame
    EXPECT_EQ(requests[0].line(), "GET /qr/" + room().qrToken + " HTTP/1.1");
    EXPECT_EQ(requests[1].line(), "GET /roominfo/" + room().token + " HTTP/1.1");
    EXPECT_EQ(requests[2].line(), "GET /interface/webbindroom_new.php?roomid=" + room().code + "&type=1 HTTP/1.1");
    m_service.clearRequests();
  }
}

TEST_F(ScanQRCodeVCTest, QrCodeInTheCameraPictureBindsEndToEnd) {
  present();
  auto picture = gfx::Image::decode(m_service.qrPng(room().code));
  ASSERT_TRUE(picture);
  m_camera->pushFrame(picture);
  expectBound(room());

  // The still picture KT_CAMERA names, as scripts/run sets it up.
  const venue::CloudRoom other = *m_service.roomByCode("8015");
  const std::string path = ::testing::TempDir() + "/room-qr.png";
  ASSERT_TRUE(m_service.writeQrPng(other.code, path));
  support::ScopedEnv camera("KT_CAMERA", path.c_str());
  media::ImageSource::installForProcess(nullptr);
  // The picture source plays on the virtual clock; recognition and the requests take real time
  // (more of it in a loaded sanitizer run, less on an idle machine, where the room may be bound
  // while the screen still slides in), so both move on until the room is bound, and no further.
  const auto bound = [&] { return kt::CloudApi::storedUid() == other.uid; };
  present(false, bound);
  ASSERT_TRUE(m_screen->session());
  ASSERT_TRUE(stepUntil(bound, 30));
  expectBound(other);
}

TEST_F(ScanQRCodeVCTest, EachFailedStepAlertsRestartsTheCameraAndStoresNothingOfItsOwn) {
  struct Case {
    const char* endpoint;
    Fault fault;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"qr", Fault::html(), kFailed},
      {"qr", Fault::withBody(200, R"({"code":0,"roominfo":"rm5f3a8012"})"), kFailed},
      {"qr", Fault::missingKeys({"roominfo"}), kFailed},
      {"qr", Fault::withBody(200, R"({"code":"1","roominfo":["x"],"tranip":"t"})"), kFailed},
      {"roominfo", Fault::html(), kFailed},
      {"roominfo", Fault::missingKeys({"room"}), kFailed},
      {"roominfo", Fault::withBody(200, R"({"code":1,"room":{"room_ip":"1.2.3.4"}})"), kFailed},
      {"roominfo", Fault::withBody(200, R"({"code":1,"room":{"room_code":null}})"), kFailed},
      {"roominfo", Fault::slow(30s), kFailed},  // past the 10 s time-out
      {"webbindroom_new.php", Fault::status(500), kFailed},
      {"webbindroom_new.php", Fault::withBody(200, R"({"code":"0","msg":"房间已被绑定"})"), "房间已被绑定"},
      {"webbindroom_new.php", Fault::withBody(200, R"({"code":"0"})"), "(null)"},
      {"webbindroom_new.php", Fault::withBody(200, R"({"code":"1","data":[]})"), kFailed},
      {"webbindroom_new.php", Fault::withBody(200, R"({"code":"1","data":[{"roomid":"8012"}]})"), kFailed},
      {"webbindroom_new.php", Fault::withBody(200, R"({"code":"1","data":[{"uid":null}]})"), kFailed},
      {"webbindroom_new.php", Fault::withBody(200, R"({"code":"1","data":{"uid":"u"}})"), kFailed},
  };
  present();
  // Only web addresses are fetched.
  for (const char* text : {"file:///etc/passwd", "ftp://bind.ktvcloud.example/qr/x", "8012", "", "http://"}) {
    recognise({text});
    expectFailure(kFailed);
  }
  EXPECT_EQ(m_service.requestCount(), 0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.endpoint) + " " + c.fault.body);
    auto& defaults = core::UserDefaults::standard();
    for (const char* key : {"roominfo", "transIP", "roomIPForMike"}) defaults.removeObjectForKey(key);
    defaults.setString("uid", "old");
    m_service.setFault(c.endpoint, c.fault);
    recognise({m_service.qrText(room().code)});
    expectFailure(c.message);
    EXPECT_EQ(stored("uid"), "old");
    const std::string endpoint = c.endpoint;
    EXPECT_EQ(stored("roominfo"), endpoint == "qr" ? "-" : room().token);
    EXPECT_EQ(stored("roomIPForMike"), endpoint == "webbindroom_new.php" ? room().ip : "-");
    m_service.clearFaults();
  }
}

TEST_F(ScanQRCodeVCTest, CameraStopsForOverlaysAndCodesAndRunsAgainWhenTheyGo) {
  auto& screen = present();
  ASSERT_TRUE(scanning());
  screen.showGuideClick();
  EXPECT_FALSE(scanning());
  wait(0.6);
  tap({100, 100});  // anywhere on the guide
  EXPECT_TRUE(scanning());
  screen.bandingClick();
  EXPECT_FALSE(scanning());
  screen.dismissTheRoomCode();
  EXPECT_TRUE(scanning());
  auto scanned = std::make_shared<venue::Gate>();
  m_service.setFault("qr", Fault::heldBy(scanned));
  recognise({m_service.qrText(room().code)});
  EXPECT_FALSE(scanning());
  ASSERT_TRUE(scanned->waitForArrived(1, 10));
  EXPECT_FALSE(scanning());
  m_service.setFault("roominfo", Fault::html());
  scanned->open();
  expectFailure(kFailed);  // restarted before the alert
  screen.bandingClick();
  screen.didClickTheActionButtonAtIndex(0);
  EXPECT_TRUE(scanning());
  recognise({});  // an empty report changes nothing
  EXPECT_TRUE(scanning());
  EXPECT_EQ(m_service.requestCount(), 2u);

  // A typed code: the camera runs again while the bind is pending, but its codes are ignored.
  auto bind = std::make_shared<venue::Gate>();
  m_service.setFault("webbindroom_new.php", Fault::heldBy(bind));
  screen.bandingClick();
  screen.textF_roomCode()->setText(room().code);
  screen.verifyClick();
  EXPECT_TRUE(scanning());
  recognise({m_service.qrText("8015")});
  ASSERT_TRUE(bind->waitForArrived(1, 10));
  bind->open();
  expectBound(room());
  EXPECT_EQ(m_service.requestsTo("qr").size(), 1u);
}

TEST_F(ScanQRCodeVCTest, TypedRoomCodeRoad) {
  auto& screen = present(false);
  ASSERT_FALSE(screen.session());  // no camera: no session, no preview
  for (const auto& layer : screen.bgView()->layer()->sublayers()) {
    EXPECT_FALSE(std::dynamic_pointer_cast<media::CaptureVideoPreviewLayer>(layer));
  }
  tap({384, 892});  // the room-code button
  wait(0.6);
  expectRect(screen.view_roomCode()->frame(), {0, 0, 768, 1024});
  ASSERT_TRUE(screen.textF_roomCode()->isFirstResponder());
  type("80");
  tap({384, 300});  // the veil: closed at once, the text kept
  expectRect(screen.view_roomCode()->frame(), {0, 1024, 768, 1024});
  EXPECT_EQ(screen.textF_roomCode()->text(), "80");
  EXPECT_EQ(screen.textF_roomCode()->keyboardType(), ui::KeyboardType::NumberPad);

  // An empty code is sent as it is and the service's answer shown.
  screen.bandingClick();
  wait(0.6);
  screen.textF_roomCode()->setText("");
  tap({682, screen.view_textF()->frame().origin.y + 59});  // verify, inside the veil
  expectFailure("房间号不存在，请核对后重新输入");
  EXPECT_EQ(m_service.lastRequest().line(), "GET /interface/webbindroom_new.php?roomid=&type=1 HTTP/1.1");

  screen.bandingClick();
  wait(0.6);
  type("12");
  tap({20, screen.view_textF()->frame().origin.y + 5});  // the bar's clear top edge reaches the veil
  EXPECT_EQ(screen.view_roomCode()->frame().origin.y, 1024);
  screen.bandingClick();
  wait(0.6);
  screen.textF_roomCode()->setText(room().code);
  tap({682, screen.view_textF()->frame().origin.y + 59});
  EXPECT_EQ(screen.textF_roomCode()->text(), "");
  expectBound(room());
}

TEST_F(ScanQRCodeVCTest, LeavingRestoresLandscapeStopsTheCameraAndOutlivesNoNotification) {
  core::UserDefaults::standard().setString("uid", "kept");
  std::weak_ptr<kt::ScanQRCodeVC> weak;
  {
    auto& screen = present();
    weak = m_screen;
    screen.leftBarButtonClick();
    EXPECT_FALSE(m_app.shouldChangeOrientation());
    EXPECT_FALSE(scanning());
    screen.removeGuideView();  // closed: the camera stays off
    EXPECT_FALSE(scanning());
    wait(0.6);
    EXPECT_FALSE(shown());
    m_screen.reset();
  }
  support::drainMainLoop();
  EXPECT_TRUE(weak.expired());
  core::NotificationCenter::defaultCenter().post(kt::AppDelegate::EnterForegroundNotification);
  core::NotificationCenter::defaultCenter().post(ui::Keyboard::WillShowNotification);
  EXPECT_EQ(stored("uid"), "kept");
}

TEST_F(ScanQRCodeVCTest, HandMadeLandscapeTurnWithAndWithoutAWindow) {
  auto& screen = present(false);
  screen.orientationInit();
  EXPECT_EQ(ui::Application::shared().statusBarOrientation(), ui::InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(window().transform(), gfx::AffineTransform::make(0, 1, -1, 0, 0, 0));
  expectRect(screen.view()->bounds(), {0, 0, 1024, 748});
  window().setTransform(gfx::AffineTransform::identity());
  // A screen that was never shown turns nothing but the status bar.
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
  auto lone = std::make_shared<kt::ScanQRCodeVC>();
  lone->orientationInit();
  EXPECT_EQ(ui::Application::shared().statusBarOrientation(), ui::InterfaceOrientation::LandscapeRight);
}

class ScanQRCodeVCLayoutTest : public ScanQRCodeVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(ScanQRCodeVCLayoutTest, FramesScanLineKeyboardAndScreenshots) {
  const bool large = GetParam() == Device::LargeTablet;
  if (large) setDevice(Device::LargeTablet);
  auto& screen = present();
  m_camera->pushFrame(gfx::Image::decode(venue::makePng(720, 1280, "the room")));
  wait(0.2);
  const std::string suffix = large ? "-large" : "";
  EXPECT_TRUE(screenshot("scan" + suffix));
  auto f = [large](gfx::Rect s, gfx::Rect l) { return large ? l : s; };
  expectRect(screen.bgView()->frame(), f({0, 0, 768, 1024}, {0, 0, 1023, 1366}));
  expectRect(findViewByText("扫码")->frame(), f({284, 24.5, 200, 44}, {378, 32, 266, 58}));
  const auto& subviews = screen.bgView()->subviews();
  // The background image, four veils, the scan window, caption, two buttons, guide, panel.
  ASSERT_EQ(subviews.size(), 11u);
  expectRect(subviews[1]->frame(), f({0, 0, 768, 210}, {0, 0, 1023, 280}));
  expectRect(subviews[4]->frame(), f({0, 534, 768, 490}, {0, 712, 1023, 653}));
  expectRect(screen.scanWindow()->frame(), f({222, 210, 324, 324}, {295, 280, 431, 432}));
  EXPECT_TRUE(screen.scanWindow()->clipsToBounds());
  // The corner marks, then the scan line, added again by the appearance.
  ASSERT_EQ(screen.scanWindow()->subviews().size(), 5u);
  EXPECT_EQ(screen.scanWindow()->subviews().back(), screen.imgV_scan());
  expectRect(screen.scanWindow()->subviews()[3]->frame(), f({297, 297, 27, 27}, {395, 396, 35, 36}));
  expectRect(subviews[8]->frame(), f({208, 857.5, 352, 70}, {277, 1143, 469, 93}));
  expectRect(screen.view_guideBg()->frame(), f({0, 1024, 320, 568}, {0, 1366, 426, 757}));
  expectRect(screen.textF_roomCode()->frame(), f({67, 48, 491, 23}, {89, 64, 654, 30}));
  expectRect(screen.view_textF()->subviews().back()->frame(), f({632, 41, 100, 37}, {842, 54, 133, 49}));

  // The scan line as the guest sees it: rebuilt by the appearance.
  expectRect(screen.imgV_scan()->frame(), f({0, -578, 468, 578}, {0, -772, 623, 771}));
  auto slide = std::dynamic_pointer_cast<const gfx::BasicAnimation>(screen.imgV_scan()->layer()->animationForKey("translationAnimation"));
  ASSERT_TRUE(slide);
  EXPECT_EQ(slide->keyPath, "transform.translation.y");
  EXPECT_EQ(std::get<double>(*slide->byValue), large ? 624 : 468);
  EXPECT_EQ(slide->repeatCount, FLT_MAX);
  EXPECT_EQ(slide->duration, 2.0);

  screen.showGuideClick();
  wait(0.6);
  expectRect(screen.view_guideBg()->frame(), f({0, 0, 768, 1024}, {0, 0, 1023, 1366}));
  EXPECT_TRUE(screenshot("guide" + suffix));
  screen.removeGuideView();

  // The panel slides up in 0.5 s and the bar sits on the keyboard; a synthesised keyboard moves it.
  screen.bandingClick();
  wait(0.6);
  type("8012");
  EXPECT_TRUE(screenshot("roomcode" + suffix));
  expectRect(screen.view_roomCode()->frame(), f({0, 0, 768, 1024}, {0, 0, 1023, 1366}));
  const double k = ui::Keyboard::shownFrame().size.height;
  expectRect(screen.view_textF()->frame(), f({0, 916 - k, 768, 108}, {0, 1221 - k, 1023, 144}));
  core::Value::Dictionary info{{ui::Keyboard::FrameEndUserInfoKey, ui::Keyboard::valueFromRect({0, 700, 768, 300})},
                               {ui::Keyboard::AnimationDurationUserInfoKey, core::Value(0.0)}};
  core::NotificationCenter::defaultCenter().post(ui::Keyboard::WillShowNotification, nullptr, core::Value(info));
  wait(0.1);
  expectRect(screen.view_textF()->frame(), f({0, 616, 768, 108}, {0, 921, 1023, 144}));
}

INSTANTIATE_TEST_SUITE_P(BothTablets, ScanQRCodeVCLayoutTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
