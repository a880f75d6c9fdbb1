#pragma once

#include <memory>
#include <string>

#include "songs/TwoLineSongCell.h"

namespace kt {

// Told the row whose sing button a SongsListCell's guest pressed.
class SongsListCellDelegate : public SongCellDelegate {};

// A song row of the titled and banner song lists: title, singer and the sing button over a
// full-width separator.
class SongsListCell : public TwoLineSongCell {
 public:
  static std::shared_ptr<SongsListCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                               const std::string& reuseIdentifier = ReuseIdentifier);
  using TwoLineSongCell::TwoLineSongCell;

  // Held weakly: a delegate that goes away is not told.
  SongsListCellDelegate* delegate() const { return static_cast<SongsListCellDelegate*>(rowDelegate()); }
  void setDelegate(SongsListCellDelegate* delegate) { setRowDelegate(delegate); }

  const std::shared_ptr<ui::Label>& label_singerName() const { return m_labelSinger; }
};

}  // namespace kt
