#include "songs/ScanQRCodeVC.h"

#include "app/APPFont.h"
#include "app/AppDelegate.h"
#include "app/ColorHexadecimal.h"
#include "app/HUDClass.h"
#include "app/ScreenSize.h"
#include "app/TextFieldPlaceHolderColor.h"
#include "app/Toust.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/ThreadCheck.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/media/CaptureDevice.h"
#include "platform/media/CaptureDeviceInput.h"
#include "platform/media/CaptureSession.h"
#include "platform/media/CaptureVideoPreviewLayer.h"
#include "platform/media/MetadataMachineReadableCodeObject.h"
#include "platform/net/URL.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/WGHTTPRequest.h"

#include <cfloat>

namespace kt {
namespace {


gfx::Color veil(double alpha) { return gfx::Color(0, 0, 0, alpha); }

std::shared_ptr<ui::View> addView(ui::View& parent, const gfx::Rect& frame, const gfx::Color& colour) {
  auto view = ui::View::create(frame);
  view->setBackgroundColor(colour);
  parent.addSubview(view);
  return view;
}

std::shared_ptr<ui::ImageView> addImage(ui::View& parent, const gfx::Rect& frame, const char* name) {
  auto image = ui::ImageView::create(frame);
  image->setImage(gfx::Image::named(name));
  parent.addSubview(image);
  return image;
}

// The scan line's slide: down by `distance` in 2 s, for ever.
std::shared_ptr<gfx::BasicAnimation> slideDown(double distance) {
  auto animation = gfx::BasicAnimation::withKeyPath("transform.translation.y");
  animation->byValue = distance;
  animation->duration = 2.0;
  animation->repeatCount = FLT_MAX;
  return animation;
}

constexpr const char* kScanLineAnimationKey = "translationAnimation";

// Only a web address is fetched for a scanned code: anything else (a file, another scheme, text
// that is no URL at all) must never reach the network layer.
bool isWebAddress(const std::string& text) {
  std::optional<net::URL> url = net::URL::fromString(text);
  return url && (url->scheme() == "http" || url->scheme() == "https") && url->host() && !url->host()->empty();
}

}  // namespace

ScanQRCodeVC::ScanQRCodeVC() = default;

ScanQRCodeVC::~ScanQRCodeVC() {
  m_foregroundObserver.reset();
  m_keyboardObserver.reset();
  if (m_session) m_session->stopRunning();
}

gfx::Rect ScanQRCodeVC::fullFrameAt(double y) {
  return gfx::Rect{0, y, pick(768, 1023), pick(1024, 1366)};
}

// ---- Life cycle ----

void ScanQRCodeVC::viewDidLoad() {
  BaseVC::viewDidLoad();
  hideRightBarButton();
  setNavTitle("", gfx::Color::whiteColor(), APPFont::getSysFont_size40());
  view()->bringSubviewToFront(navBarView().get());
  auto title = ui::Label::create(pick({284, 24.5, 200, 44}, {378, 32, 266, 58}));
  title->setText("扫码");
  title->setTextColor(gfx::Color::whiteColor());
  title->setTextAlignment(gfx::TextAlignment::Center);
  title->setFont(APPFont::getSysFont_size40());
  title->setBackgroundColor(gfx::Color::clear());
  navBarView()->addSubview(title);

  bgView()->setFrame(fullFrameAt(0));

  setBgAlphaView();
  setupMyView();
  beginScanning();
  setupGuideView();
  setupRoomCodeView();

  auto& center = core::NotificationCenter::defaultCenter();
  m_foregroundObserver = core::Observation(center, AppDelegate::EnterForegroundNotification, nullptr,
                                           [run = whileAlive(&ScanQRCodeVC::reuserAnimation)](const core::Notification&) {
                                             run();
                                           });
  m_keyboardObserver = core::Observation(center, ui::Keyboard::WillShowNotification, nullptr,
                                         [weak = weak_from_this()](const core::Notification& notification) {
                                           if (auto self = std::static_pointer_cast<ScanQRCodeVC>(weak.lock())) {
                                             self->keyboardWillShow(notification);
                                           }
                                         });
}

void ScanQRCodeVC::viewWillAppear(bool) {
  BaseVC::viewWillAppear(true);
  bgView()->setBackgroundColor(gfx::Color::clear());
  navBarView()->setBackgroundColor(gfx::Color::clear());
  imgV_baseBgHeng()->setImage(gfx::Image::named(""));
  reuserAnimation();
}

// ---- Views ----

void ScanQRCodeVC::setBgAlphaView() {
  ui::View& bg = *bgView();
  addView(bg, pick({0, 0, 768, 210}, {0, 0, 1023, 280}), veil(0.3));
  addView(bg, pick({0, 210, 222, 324}, {0, 280, 295, 432}), veil(0.3));
  addView(bg, pick({546, 210, 222, 324}, {727, 280, 295, 432}), veil(0.3));
  addView(bg, pick({0, 534, 768, 490}, {0, 712, 1023, 653}), veil(0.3));
}

void ScanQRCodeVC::setupMyView() {
  ui::View& bg = *bgView();
  m_scanWindow = ui::View::create(pick({222, 210, 324, 324}, {295, 280, 431, 432}));
  m_scanWindow->setClipsToBounds(true);
  bg.addSubview(m_scanWindow);

  m_imgV_scan = ui::ImageView::create(pick({0, -216, 324, 216}, {0, -289, 431, 288}));
  m_imgV_scan->setImage(gfx::Image::named("scan_net"));
  m_imgV_scan->layer()->addAnimation(slideDown(pick(324, 432)), kScanLineAnimationKey);
  m_scanWindow->addSubview(m_imgV_scan);

  addImage(*m_scanWindow, pick({0, 0, 27, 27}, {0, 0, 35, 36}), "Common_Boox_1");
  addImage(*m_scanWindow, pick({297, 0, 27, 27}, {395, 0, 35, 36}), "Common_Boox_2");
  addImage(*m_scanWindow, pick({0, 297, 27, 27}, {0, 396, 35, 36}), "Common_Boox_3");
  addImage(*m_scanWindow, pick({297, 297, 27, 27}, {395, 396, 35, 36}), "Common_Boox_4");

  addImage(bg, pick({402, 542, 144, 22}, {535, 723, 191, 29}), "BindingWays");

  auto guide = addButton(bg, pick({370, 532, 180, 40}, {493, 709, 239, 53}), &ScanQRCodeVC::showGuideClick);
  guide->setBackgroundColor(gfx::Color::clear());

  auto roomCode = addButton(bg, pick({208, 857.5, 352, 70}, {277, 1143, 469, 93}), &ScanQRCodeVC::bandingClick);
  roomCode->setBackgroundImage(gfx::Image::named("RoomCode_normal"), ui::ControlStateNormal);
  roomCode->setBackgroundImage(gfx::Image::named("RoomCode_selected"), ui::ControlStateHighlighted);
}

void ScanQRCodeVC::setupGuideView() {
  m_view_guideBg = addView(*bgView(), pick({0, 1024, 320, 568}, {0, 1366, 426, 757}), veil(0.6));
  auto picture = addImage(*m_view_guideBg, pick({179, 158, 410, 430}, {238, 210, 546, 573}), "BindingGuide");
  addImage(*picture, pick({368, 18, 19, 19}, {490, 24, 25, 25}), "GuideDelete");
  addTap(*m_view_guideBg, &ScanQRCodeVC::removeGuideView);
}

void ScanQRCodeVC::setupRoomCodeView() {
  m_view_roomCode = addView(*bgView(), fullFrameAt(pick(1024, 1366)), veil(0.6));
  addTap(*m_view_roomCode, &ScanQRCodeVC::dismissTheRoomCode);

  m_view_textF = addView(*m_view_roomCode, pick({0, 800, 768, 108}, {0, 1067, 1023, 144}), gfx::Color::clear());
  addImage(*m_view_textF, pick({0, 13, 768, 95}, {0, 17, 1023, 126}), "RoomCodeBg");
  addImage(*m_view_textF, pick({31, 34, 563, 54}, {41, 45, 750, 72}), "RoomCodeInput");

  const gfx::Color ink = ColorHexadecimal::colorWithHexString("514786").value_or(gfx::Color::black());
  m_textF_roomCode = ui::TextField::create(pick({67, 48, 491, 23}, {89, 64, 654, 30}));
  m_textF_roomCode->setTextColor(ink);
  m_textF_roomCode->setTextAlignment(gfx::TextAlignment::Left);
  m_textF_roomCode->setFont(APPFont::getSysFont_size36());
  m_textF_roomCode->setPlaceholder("请在此输入房台码");
  setPlaceholderColorWith(*m_textF_roomCode, ink);
  m_textF_roomCode->setBackgroundColor(gfx::Color::clear());
  m_textF_roomCode->setKeyboardType(ui::KeyboardType::NumberPad);
  m_view_textF->addSubview(m_textF_roomCode);

  auto verify = addButton(*m_view_textF, pick({632, 41, 100, 37}, {842, 54, 133, 49}), &ScanQRCodeVC::verifyClick);
  verify->setBackgroundImage(gfx::Image::named("RoomCodeVerify"), ui::ControlStateNormal);
}

std::function<void()> ScanQRCodeVC::whileAlive(void (ScanQRCodeVC::*action)()) {
  return [weak = weak_from_this(), action] {
    if (auto self = std::static_pointer_cast<ScanQRCodeVC>(weak.lock())) ((*self).*action)();
  };
}

std::shared_ptr<ui::Button> ScanQRCodeVC::addButton(ui::View& parent, const gfx::Rect& frame,
                                                    void (ScanQRCodeVC::*action)()) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  button->addTarget(this, [run = whileAlive(action)](ui::Control&, const ui::Event*) { run(); },
                    ui::ControlEventTouchUpInside);
  parent.addSubview(button);
  return button;
}

void ScanQRCodeVC::addTap(ui::View& view, void (ScanQRCodeVC::*action)()) {
  view.addGestureRecognizer(std::make_shared<ui::TapGestureRecognizer>(
      [run = whileAlive(action)](ui::GestureRecognizer&) { run(); }, this));
}

void ScanQRCodeVC::reuserAnimation() {
  if (!m_imgV_scan || !m_scanWindow) return;
  m_imgV_scan->setFrame(pick({0, -578, 468, 578}, {0, -772, 623, 771}));
  m_imgV_scan->layer()->addAnimation(slideDown(pick(468, 624)), kScanLineAnimationKey);
  m_scanWindow->addSubview(m_imgV_scan);
}

void ScanQRCodeVC::keyboardWillShow(const core::Notification& notification) {
  if (!m_view_textF) return;
  const double k = ui::Keyboard::rectFromValue(notification.userInfo[ui::Keyboard::FrameEndUserInfoKey]).size.height;
  const double d = notification.userInfo[ui::Keyboard::AnimationDurationUserInfoKey].doubleValue();
  const gfx::Rect target = pick({0, 916 - k, 768, 108}, {0, 1221 - k, 1023, 144});
  ui::View::animate(d, [view = m_view_textF, target] { view->setFrame(target); });
}

// ---- Overlays ----

void ScanQRCodeVC::bandingClick() {
  stopScanning();
  ui::View::animate(0.5, [this] {
    m_view_roomCode->setFrame(fullFrameAt(0));
    m_textF_roomCode->becomeFirstResponder();
  });
}

void ScanQRCodeVC::verifyClick() {
  KT_LOG("verify the typed room code");
  startScanning();
  m_view_roomCode->setFrame(fullFrameAt(pick(1024, 1366)));
  m_textF_roomCode->endEditing(true);
  sendInputText(m_textF_roomCode->text());
  m_textF_roomCode->setText("");
}

void ScanQRCodeVC::dismissTheRoomCode() {
  startScanning();
  m_view_roomCode->setFrame(fullFrameAt(pick(1024, 1366)));
  m_textF_roomCode->endEditing(true);
}

void ScanQRCodeVC::showGuideClick() {
  stopScanning();
  ui::View::animate(0.5, [view = m_view_guideBg] { view->setFrame(fullFrameAt(0)); });
}

void ScanQRCodeVC::removeGuideView() {
  startScanning();
  ui::View::animate(0.5, [view = m_view_guideBg] { view->setFrame(fullFrameAt(pick(1024, 1366))); });
}

void ScanQRCodeVC::didClickTheActionButtonAtIndex(int) { startScanning(); }

void ScanQRCodeVC::leftBarButtonClick() { close(); }

void ScanQRCodeVC::orientationInit() {
  auto& app = ui::Application::shared();
  KT_LOG("device orientation %d, status bar orientation %d", static_cast<int>(ui::Device::current().orientation()),
         static_cast<int>(app.statusBarOrientation()));
  app.setStatusBarOrientation(ui::InterfaceOrientation::LandscapeRight);
  // A quarter turn clockwise, exactly.
  if (ui::Window* window = view()->window()) window->setTransform(gfx::AffineTransform::make(0, 1, -1, 0, 0, 0));
  gfx::Rect frame = ui::Screen::main().applicationFrame();
  view()->setBounds(gfx::Rect(0, 0, frame.width(), frame.height()));
  (void)shouldAutorotate();
}

void ScanQRCodeVC::close() {
  if (AppDelegate* app = AppDelegate::current()) app->setShouldChangeOrientation(false);
  stopScanning();
  m_closed = true;
  ui::ViewController* presented = navigationController();
  (presented ? presented : this)->dismissViewControllerAnimated(true);
}

// ---- Binding ----

void ScanQRCodeVC::captureOutput(media::CaptureMetadataOutput&,
                                 const std::vector<std::shared_ptr<media::MetadataObject>>& metadataObjects,
                                 const media::CaptureConnection&) {
  KT_ASSERT_MAIN_THREAD();
  if (metadataObjects.empty() || m_binding || m_closed) return;
  stopScanning();
  auto code = std::dynamic_pointer_cast<media::MetadataMachineReadableCodeObject>(metadataObjects.front());
  getResult(code ? code->stringValue() : std::string());
}

void ScanQRCodeVC::sendInputText(const std::string& text) {
  if (m_binding) return;
  HUDClass::showAOHudWithStatus(BindingStatus);
  m_binding = true;
  bindingRoomWithRoomCode(text);
}

void ScanQRCodeVC::getResult(const std::string& scanned) {
  KT_LOG("scanned: %s", scanned.c_str());
  if (!isWebAddress(scanned)) {
    failStep(FailureMessage);
    return;
  }
  HUDClass::showAOHudWithStatus(BindingStatus);
  m_binding = true;
  auto self = std::static_pointer_cast<ScanQRCodeVC>(shared_from_this());
  WGHTTPRequest::get(CloudApi::scannedCode(scanned), [self](const std::optional<std::string>&,
                                                              const std::optional<core::Value>& json,
                                                              const std::optional<core::Error>&) {
    std::optional<std::string> token = json && CloudReply::isSuccess(json) ? CloudReply::filledText(*json, "roominfo")
                                                                            : std::nullopt;
    if (!token) {
      self->failStep(FailureMessage);
      return;
    }
    CloudApi::storeScannedReply(*json);
    self->getRoomCodeWithRoomInfo(*token);
  });
}

void ScanQRCodeVC::getRoomCodeWithRoomInfo(const std::string& roomInfo) {
  KT_LOG("room info: %s", roomInfo.c_str());
  auto self = std::static_pointer_cast<ScanQRCodeVC>(shared_from_this());
  WGHTTPRequest::get(CloudApi::roomInfo(roomInfo), [self](const std::optional<std::string>&,
                                                          const std::optional<core::Value>& json,
                                                          const std::optional<core::Error>&) {
    std::optional<std::string> code =
        json && CloudReply::isSuccess(json) ? CloudReply::filledText(CloudReply::object(*json, "room"), "room_code")
                                            : std::nullopt;
    if (!code) {
      self->failStep(FailureMessage);
      return;
    }
    self->bindingRoomWithRoomCode(*code);
    CloudApi::storeRoomInfoReply(*json);
  });
}

void ScanQRCodeVC::bindingRoomWithRoomCode(const std::string& roomCode) {
  auto self = std::static_pointer_cast<ScanQRCodeVC>(shared_from_this());
  WGHTTPRequest::get(CloudApi::bindRoom(roomCode), [self](const std::optional<std::string>&,
                                                          const std::optional<core::Value>& json,
                                                          const std::optional<core::Error>&) {
    if (!json) {
      self->failStep(FailureMessage);
      return;
    }
    if (!CloudReply::isSuccess(json)) {
      KT_LOG("bind refused: %s", CloudReply::code(json).c_str());
      self->failStep(CloudReply::text(*json, "msg"));
      return;
    }
    if (!CloudApi::storeBindReply(*json)) {
      self->failStep(FailureMessage);
      return;
    }
    KT_LOG("bound: %s", CloudApi::storedUid().value_or("").c_str());
    HUDClass::dismissHud();
    self->m_binding = false;
    Toust::showToustWithMessage("绑定成功");
    self->close();
  });
}

void ScanQRCodeVC::failStep(const std::string& message) {
  HUDClass::dismissHud();
  m_binding = false;
  startScanning();
  showAlert(message);
}

void ScanQRCodeVC::showAlert(const std::string& message) {
  WGAlertView::create("提示", message, this, std::nullopt)->show();
}

// ---- Camera ----

void ScanQRCodeVC::beginScanning() {
  auto input = media::CaptureDeviceInput::deviceInputWithDevice(
      media::CaptureDevice::defaultDeviceWithMediaType(media::MediaType::Video));
  if (!input) return;  // no camera, or not ours to use: the typed road remains

  auto output = media::CaptureMetadataOutput::create();
  output->setMetadataObjectsDelegate(
      std::weak_ptr<media::CaptureMetadataOutputObjectsDelegate>(std::static_pointer_cast<ScanQRCodeVC>(shared_from_this())),
      core::Queue::main());
  output->setRectOfInterest(fullFrameAt(0));

  m_session = media::CaptureSession::create();
  m_session->setSessionPreset(media::CaptureSessionPreset::High);
  m_session->addInput(input);
  m_session->addOutput(output);
  // Only an output in a session with an input knows the types it can look for.
  output->setMetadataObjectTypes({media::MetadataObjectTypeQRCode, media::MetadataObjectTypeEAN8Code,
                                  media::MetadataObjectTypeEAN13Code, media::MetadataObjectTypeCode128Code});

  auto preview = media::CaptureVideoPreviewLayer::layerWithSession(m_session);
  preview->setVideoGravity(media::LayerVideoGravity::ResizeAspectFill);
  preview->setFrame(view()->layer()->bounds());
  bgView()->layer()->insertSublayer(preview, 0);
  m_session->startRunning();
}

void ScanQRCodeVC::startScanning() {
  if (m_session && !m_closed) m_session->startRunning();
}

void ScanQRCodeVC::stopScanning() {
  if (m_session) m_session->stopRunning();
}

}  // namespace kt
