#include "songs/Style_favouriteVC.h"

#include "platform/core/Log.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"

namespace kt {
namespace {

SongScreenStyle favouriteStyle() {
  SongScreenStyle style;
  style.title = "最爱";
  style.background = "SuperStarsBg";
  style.magnifier = "Search";
  style.separator = false;
  style.addGuard = std::nullopt;
  return style;
}

}  // namespace

Style_favouriteVC::Style_favouriteVC() : SongScreen(favouriteStyle()) {}

Style_favouriteVC::~Style_favouriteVC() = default;

void Style_favouriteVC::rightBarButtonClick() {
  KT_LOG("四国以");
  SongScreen::rightBarButtonClick();
}

std::optional<CloudRequest> Style_favouriteVC::listRequest(int page) {
  return CloudApi::favourites(page, CloudApi::badgeUid());
}

// No "code" test: any decoded reply is a page, its "data" the rows (none: an empty page).
std::optional<SongScreen::Rows> Style_favouriteVC::rowsOfReply(const std::optional<core::Value>& reply) {
  if (!reply) return std::nullopt;
  return modelsOf(CloudReply::rows(reply, "data"), ChooseMusicModel::FavouriteKeys);
}

}  // namespace kt
