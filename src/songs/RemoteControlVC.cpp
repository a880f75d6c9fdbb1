#include "songs/RemoteControlVC.h"

#include "app/ScreenSize.h"
#include "platform/core/Log.h"
#include "platform/core/ThreadCheck.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "songs/AlertView_style1.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/WGHTTPRequest.h"

#include <functional>
#include <memory>

namespace kt {
namespace {

std::shared_ptr<ui::ImageView> addPicture(ui::View& parent, const gfx::Rect& frame, const char* picture) {
  auto view = ui::ImageView::create(frame);
  view->setImage(gfx::Image::named(picture));
  parent.addSubview(view);
  return view;
}

// A custom button on `parent` whose touch-up-inside calls `action` while the screen lives.
std::shared_ptr<ui::Button> addButton(ui::View& parent, const gfx::Rect& frame, RemoteControlVC& screen,
                                      std::function<void(RemoteControlVC&, const ui::Control&)> action) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  button->addTarget(&screen, [weak = screen.weak_from_this(), action](ui::Control& sender, const ui::Event*) {
    if (auto alive = std::static_pointer_cast<RemoteControlVC>(weak.lock())) action(*alive, sender);
  }, ui::ControlEventTouchUpInside);
  parent.addSubview(button);
  return button;
}

// One of the big keys: its picture pair for the normal and highlighted states.
std::shared_ptr<ui::Button> addKey(ui::View& parent, const gfx::Rect& frame, const std::string& picture, int tag,
                                   RemoteControlVC& screen) {
  auto key = addButton(parent, frame, screen, [](RemoteControlVC& s, const ui::Control& b) { s.btnClick(b); });
  key->setBackgroundImage(gfx::Image::named(picture + "_normal"), ui::ControlStateNormal);
  key->setBackgroundImage(gfx::Image::named(picture + "_selected"), ui::ControlStateHighlighted);
  key->setTag(tag);
  return key;
}

// A volume bar: its icon, a minus and a plus sign, and over each sign a clear button taking the
// taps (down on the left, up on the right).
void addLevelBar(ui::View& parent, const gfx::Rect& frame, const char* icon, const gfx::Rect& iconFrame, int downTag,
                 int upTag, RemoteControlVC& screen) {
  auto bar = addPicture(parent, frame, "Remote_controlBg");
  bar->setUserInteractionEnabled(true);
  addPicture(*bar, iconFrame, icon);
  const auto step = [&](const gfx::Rect& signFrame, const char* sign, const gfx::Rect& buttonFrame, int tag) {
    addPicture(*bar, signFrame, sign);
    auto button = addButton(*bar, buttonFrame, screen,
                            [](RemoteControlVC& s, const ui::Control& b) { s.operationClick(b); });
    button->setBackgroundColor(gfx::Color::clear());
    button->setTag(tag);
  };
  step(pick({41, 30, 30, 2}, {54, 40, 39, 2}), "Remote_controlSubtract", pick({26, 0, 60, 63}, {34, 0, 79, 84}),
       downTag);
  step(pick({309, 16.5, 30, 30}, {411, 22, 39, 40}), "Remote_controlAdd", pick({294, 0, 60, 63}, {391, 0, 79, 84}),
       upTag);
}

CloudRequest nextSong(const std::string& uid) { return CloudApi::nextSong(uid); }
CloudRequest toggleTrack(const std::string& uid) { return CloudApi::toggleTrack(uid); }
CloudRequest togglePlay(const std::string& uid) { return CloudApi::togglePlay(uid); }
CloudRequest volumeDown(const std::string& uid) { return CloudApi::roomVolume(uid, false); }
CloudRequest volumeUp(const std::string& uid) { return CloudApi::roomVolume(uid, true); }
CloudRequest micDown(const std::string& uid) { return CloudApi::micVolume(uid, false); }
CloudRequest micUp(const std::string& uid) { return CloudApi::micVolume(uid, true); }

void showMessage(const std::string& message) { AlertView_style1::create(message, nullptr, std::nullopt)->show(); }

}  // namespace

RemoteControlVC::RemoteControlVC() = default;

RemoteControlVC::~RemoteControlVC() = default;

void RemoteControlVC::viewDidLoad() {
  BaseVC::viewDidLoad();
  hideRightBarButton();
  hideLeftBarButton();
  navBarView()->setBackgroundColor(gfx::Color::clear());
  // The screen draws its own full-screen background; the bar stays below it.
  bgView()->removeFromSuperview();
  setupMyView();
}

void RemoteControlVC::setupMyView() {
  ui::View& root = *view();
  const gfx::Rect bounds = root.bounds();

  auto background = addPicture(root, pick({0, 0, 1024, 768}, {0, 0, 1364, 1024}), "Search_bg");
  background->setUserInteractionEnabled(true);

  addKey(*background, pick({464, 50, 96, 138}, {618, 66, 127, 184}), "Remote_change", NextSongTag, *this);
  addKey(*background, pick({289, 258, 96, 138}, {385, 344, 127, 184}), "Remote_Original", TrackTag, *this);
  addKey(*background, pick({637, 258, 96, 138}, {849, 344, 127, 184}), "Remote_situationPlay", PlayPauseTag, *this)
      ->layer()
      ->setMasksToBounds(true);

  addLevelBar(*background, pick({322, 472, 380, 63}, {429, 629, 506, 84}), "Romote_voice",
              pick({171, 13, 38, 37}, {227, 17, 50, 49}), VolumeDownTag, VolumeUpTag, *this);
  addLevelBar(*background, pick({322, 581, 380, 63}, {429, 775, 506, 84}), "Remote_mike",
              pick({170, 9, 40, 45}, {226, 12, 53, 60}), MicDownTag, MicUpTag, *this);

  const double barHeight = isTwelveNineInch() ? 106 : 80;
  auto returnBar = addButton(*background, {0, bounds.height() - barHeight, bounds.width(), barHeight}, *this,
                             [](RemoteControlVC& s, const ui::Control&) { s.returnClick(); });
  returnBar->setBackgroundImage(gfx::Image::named("Remote_return"), ui::ControlStateNormal);
  addPicture(*returnBar, pick({497, 25, 30, 30}, {662, 33, 39, 40}), "Remote_X");
}

// ---- Actions ----

void RemoteControlVC::btnClick(const ui::Control& button) {
  switch (button.tag()) {
    case NextSongTag: return send(nextSong, true);
    case TrackTag: return send(toggleTrack, false);
    case PlayPauseTag: return send(togglePlay, false);
    default: return;
  }
}

void RemoteControlVC::operationClick(const ui::Control& button) {
  switch (button.tag()) {
    case VolumeDownTag: return send(volumeDown, false);
    case VolumeUpTag: return send(volumeUp, false);
    case MicDownTag: return send(micDown, false);
    case MicUpTag: return send(micUp, false);
    default: return;
  }
}

void RemoteControlVC::returnClick() {
  if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

void RemoteControlVC::send(Command command, bool isNextSong) {
  KT_ASSERT_MAIN_THREAD();
  // The openers check the binding, but it may have gone since: never send an empty room.
  const std::optional<std::string> uid = CloudApi::storedUid();
  if (!uid || uid->empty()) {
    showMessage(NotBoundMessage);
    return;
  }
  if (isNextSong) KT_LOG("切歌");
  // The callback holds the screen until it has run: a reply that comes after the guest has left
  // the screen still shows its message.
  WGHTTPRequest::get(command(*uid), [self = shared_from_this(), isNextSong](const std::optional<std::string>&,
                                                                            const std::optional<core::Value>& reply,
                                                                            const std::optional<core::Error>&) {
    if (std::optional<std::string> message = messageForReply(reply, isNextSong)) showMessage(*message);
  });
}

std::optional<std::string> RemoteControlVC::messageForReply(const std::optional<core::Value>& reply,
                                                            bool isNextSong) {
  if (!reply) return NotBoundMessage;
  if (CloudReply::isSuccess(reply)) return isNextSong ? std::optional<std::string>(SkippedMessage) : std::nullopt;
  // A refusal says why in "msg" (a text or a number); without one, the binding is the likely cause.
  const std::string msg = (*reply)["msg"].stringValue();
  return msg.empty() ? std::string(NotBoundMessage) : msg;
}

}  // namespace kt
