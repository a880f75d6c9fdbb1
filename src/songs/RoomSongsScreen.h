#pragma once

#include <memory>
#include <optional>
#include <string>

#include "songs/ChooseMusicModel.h"
#include "songs/SearchMusicCell.h"
#include "songs/SongScreen.h"

namespace kt {

// A song screen showing one of the bound room's own lists (its queue, its sung songs): the rows
// of the "list" of a reply that passed the success test, in SearchMusicCells whose button does
// what the screen says, in a table over the whole content view with the pull-down alone.
class RoomSongsScreen : public SongScreen, public SearchMusicDelegate {
 public:
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;

 protected:
  // The frame of such a screen with that title; the screen changes the rest.
  static SongScreenStyle roomListStyle(const std::string& title);
  // `buttonPicture` names the row button's pictures: "<name>_normal" and "<name>_selected".
  RoomSongsScreen(SongScreenStyle style, const ChooseMusicModel::ReplyKeys& keys, std::string buttonPicture);

  std::optional<Rows> rowsOfReply(const std::optional<core::Value>& reply) override;
  // The alert titled "提示" with the message and the one button "确定".
  static void showNotice(const std::string& message);

 private:
  ChooseMusicModel::ReplyKeys m_keys;
  std::string m_normalPicture;
  std::string m_highlightedPicture;
};

}  // namespace kt
