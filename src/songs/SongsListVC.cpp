#include "songs/SongsListVC.h"

#include "songs/CloudApi.h"
#include "songs/CloudReply.h"

namespace kt {
namespace {

SongScreenStyle titledStyle(const std::string& title, const std::string& background) {
  SongScreenStyle style;
  style.title = title;
  style.background = background;
  style.searchBar = false;
  style.remoteButton = false;
  style.tableBelowSearchBar = false;
  style.cells = SongScreenStyle::Cells::SongsList;
  return style;
}

}  // namespace

SongsListVC::SongsListVC(std::string navTitle, std::string background)
    : SongScreen(titledStyle(navTitle, background)),
      m_string_navTitle(std::move(navTitle)),
      m_str_bg(std::move(background)) {}

SongsListVC::~SongsListVC() = default;

void SongsListVC::setString_navTitle(std::string title) {
  m_string_navTitle = std::move(title);
  if (!isViewLoaded()) styleToLoad().title = m_string_navTitle;
}

void SongsListVC::setStr_bg(std::string background) {
  m_str_bg = std::move(background);
  if (!isViewLoaded()) styleToLoad().background = m_str_bg;
}

std::optional<CloudRequest> SongsListVC::listRequest(int page) {
  m_askedChart = isChart();
  if (m_askedChart) return CloudApi::chart(page);
  // The title goes as the query unchanged, spaces and all.
  return CloudApi::songsTitled(m_string_navTitle, page);
}

bool SongsListVC::isNoResults(const std::optional<core::Value>& reply) const {
  return reply && CloudReply::text(reply, "total") == "0";
}

std::optional<SongScreen::Rows> SongsListVC::rowsOfReply(const std::optional<core::Value>& reply) {
  if (!reply) return std::nullopt;
  return modelsOf(CloudReply::rows(reply, m_askedChart ? "list" : "matches"), ChooseMusicModel::ChartKeys);
}

}  // namespace kt
