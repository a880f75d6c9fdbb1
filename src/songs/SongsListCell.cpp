#include "songs/SongsListCell.h"

#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<SongsListCell> SongsListCell::create(ui::TableViewCellStyle style, const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<SongsListCell>(style, reuseIdentifier);
}

}  // namespace kt
