#include "songs/RoomSongsScreen.h"

#include "app/WGAlertView.h"
#include "songs/CloudReply.h"

namespace kt {

SongScreenStyle RoomSongsScreen::roomListStyle(const std::string& title) {
  SongScreenStyle s;
  s.title = title;
  s.background = "SuperStarsBg";
  s.searchBar = false;
  s.tableBelowSearchBar = false;
  s.pullUp = false;
  return s;
}

RoomSongsScreen::RoomSongsScreen(SongScreenStyle style, const ChooseMusicModel::ReplyKeys& keys,
                                 std::string buttonPicture)
    : SongScreen(std::move(style)),
      m_keys(keys),
      m_normalPicture(buttonPicture + "_normal"),
      m_highlightedPicture(buttonPicture + "_selected") {}

std::optional<SongScreen::Rows> RoomSongsScreen::rowsOfReply(const std::optional<core::Value>& reply) {
  if (!CloudReply::isSuccess(reply)) return std::nullopt;
  Rows rows;
  for (const core::Value& item : CloudReply::rows(reply, "list")) {
    rows.push_back(ChooseMusicModel::modelWithReplyItem(item, m_keys));
  }
  return rows;
}

void RoomSongsScreen::showNotice(const std::string& message) {
  WGAlertView::create("提示", message, nullptr, std::nullopt)->show();
}

std::shared_ptr<ui::TableViewCell> RoomSongsScreen::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                          const ui::IndexPath& indexPath) {
  auto cell = SearchMusicCell::dequeue(tableView, this, m_normalPicture.c_str(), m_highlightedPicture.c_str());
  const size_t row = static_cast<size_t>(indexPath.row);
  if (row < arr_data().size()) cell->setCellWithModel(*arr_data()[row]);
  cell->setNumOfSongs(indexPath.row);
  return cell;
}

}  // namespace kt
