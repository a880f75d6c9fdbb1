#include "songs/FinishedMusicVC.h"

#include "app/ScreenSize.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/ImageView.h"
#include "songs/CloudApi.h"

namespace kt {
namespace {

SongScreenStyle sungStyle(SongScreenStyle s) {
  s.queueButton = false;
  s.remoteButton = false;  // placed by this screen: its picture is larger than the button
  s.addGuard = std::nullopt;  // reached only while bound
  s.badgeOnAdd = SongScreenStyle::BadgeOnAdd::None;
  return s;
}

}  // namespace

FinishedMusicVC::FinishedMusicVC()
    : RoomSongsScreen(sungStyle(roomListStyle("已唱")), ChooseMusicModel::SungKeys, "RepeatSongs") {}

FinishedMusicVC::~FinishedMusicVC() = default;

void FinishedMusicVC::setupMyView() {
  SongScreen::setupMyView();
  ui::View& content = *bgView();
  // Low in the content view, where the other song screens have it.
  m_imgV_remote = ui::ImageView::create(pick({31, 580, 90, 90}, {41, 773, 119, 120}));
  m_imgV_remote->setImage(gfx::Image::named("RemoteControl"));
  content.addSubview(m_imgV_remote);
  m_btn_remoteControl = addClearButton<FinishedMusicVC>(content, pick({31, 580, 80, 80}, {41, 773, 106, 106}),
                                                        [](FinishedMusicVC& s, ui::Control&) { s.remoteClick(); });
  m_btn_remoteControl->layer()->setCornerRadius(pick(45, 60));
}

std::optional<CloudRequest> FinishedMusicVC::listRequest(int /*page*/) {
  return CloudApi::sungSongs(CloudApi::badgeUid());
}

void FinishedMusicVC::pageFailed(int /*page*/) {
  showNotice("获取失败，请稍后重试");
}

void FinishedMusicVC::didSelectTheIndexOfSongs(int32_t index) {
  KT_LOG("选择了第%d首歌曲", index);
  // The frame's add: the whole singer text, the toast on success, the alert "提示" otherwise.
  didSelectTheMusic(index);
}

}  // namespace kt
