#include "songs/CycleSongsListVC.h"

#include "app/WGAlertView.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"

namespace kt {
namespace {

SongScreenStyle bannerStyle() {
  SongScreenStyle style;
  style.title = "歌曲列表";
  style.smallTitleFont = true;
  style.queueButton = false;
  style.searchBar = false;
  style.remoteButton = false;
  style.tableBelowSearchBar = false;
  style.pullDown = false;
  style.pullUp = false;
  style.cells = SongScreenStyle::Cells::SongsList;
  style.addGuard = std::nullopt;
  style.badgeOnAdd = SongScreenStyle::BadgeOnAdd::None;
  return style;
}

}  // namespace

CycleSongsListVC::CycleSongsListVC(core::Value dict_params)
    : SongScreen(bannerStyle()), m_dict_params(std::move(dict_params)) {}

CycleSongsListVC::~CycleSongsListVC() = default;

std::optional<CloudRequest> CycleSongsListVC::listRequest(int /*page*/) {
  const std::optional<std::string> uid = CloudApi::storedUid();
  if (!uid || uid->empty()) {
    showMessage("请先登录~");
    return std::nullopt;
  }
  // "classid" as "%@" writes it, read as a whole number: a missing one is "(null)", so 0.
  return CloudApi::bannerSongs(*uid, CloudReply::text(m_dict_params, "classid"));
}

std::optional<SongScreen::Rows> CycleSongsListVC::rowsOfReply(const std::optional<core::Value>& reply) {
  if (!reply) return std::nullopt;
  if (!CloudReply::isSuccess(reply)) {
    WGAlertView::create("提示", CloudReply::text(reply, "msg"), nullptr, std::nullopt)->show();
    return std::nullopt;
  }
  return modelsOf(CloudReply::bannerSongs(reply), ChooseMusicModel::BannerSongKeys);
}

}  // namespace kt
