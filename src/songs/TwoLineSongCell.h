#pragma once

#include <memory>
#include <string>

#include "songs/SongRowCell.h"

namespace ui {
class Label;
}

namespace kt {

class ChooseMusicModel;

// The row of SongsListCell and StyleFavouriteCell: title, singer and the sing button over a
// full-width separator. Row height 102 (136 on the 12.9-inch tablet).
class TwoLineSongCell : public SongRowCell {
 public:
  TwoLineSongCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~TwoLineSongCell() override;

  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // Shows the model's title and singer.
  void setupMyModel(const ChooseMusicModel& model);

  const std::shared_ptr<ui::Label>& label_musicName() const { return m_labelMusicName; }

 protected:
  std::shared_ptr<ui::Label> m_labelMusicName;
  std::shared_ptr<ui::Label> m_labelSinger;
};

}  // namespace kt
