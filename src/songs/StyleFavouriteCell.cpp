#include "songs/StyleFavouriteCell.h"

#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<StyleFavouriteCell> StyleFavouriteCell::create(ui::TableViewCellStyle style,
                                                               const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<StyleFavouriteCell>(style, reuseIdentifier);
}

}  // namespace kt
