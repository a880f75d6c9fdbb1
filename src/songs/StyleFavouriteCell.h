#pragma once

#include <memory>
#include <string>

#include "songs/TwoLineSongCell.h"

namespace kt {

// Told the row whose sing button a StyleFavouriteCell's guest pressed.
class StyleFavouriteCellDelegate : public SongCellDelegate {};

// A song row of the favourites and the chart: the same row as SongsListCell.
class StyleFavouriteCell : public TwoLineSongCell {
 public:
  static std::shared_ptr<StyleFavouriteCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                    const std::string& reuseIdentifier = ReuseIdentifier);
  using TwoLineSongCell::TwoLineSongCell;

  // Held weakly: a delegate that goes away is not told.
  StyleFavouriteCellDelegate* delegate() const { return static_cast<StyleFavouriteCellDelegate*>(rowDelegate()); }
  void setDelegate(StyleFavouriteCellDelegate* delegate) { setRowDelegate(delegate); }

  const std::shared_ptr<ui::Label>& label_musicSinger() const { return m_labelSinger; }
};

}  // namespace kt
