#pragma once

#include <memory>
#include <string>

#include "songs/SongRowCell.h"

namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class ChooseMusicModel;

// Told the row whose sing button a ChooseMusicCell's guest pressed.
class ChooseMusicDelegate : public SongCellDelegate {};

// A song row of the song home screen's recommended chart: the singer's picture, the title, the
// singer and the sing button, over an inset separator. Row height 110 (146 on the 12.9-inch
// tablet).
class ChooseMusicCell : public SongRowCell {
 public:
  static std::shared_ptr<ChooseMusicCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                 const std::string& reuseIdentifier = ReuseIdentifier);
  ChooseMusicCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~ChooseMusicCell() override;

  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // Shows the model's title and singer and loads the singer's picture (placeholder
  // "SongsDefaultPic" at once). The cell keeps no reference to the model.
  void setupMyModel(const ChooseMusicModel& model);

  // Not read by the cell.
  const std::shared_ptr<ChooseMusicModel>& model() const { return m_model; }
  void setModel(std::shared_ptr<ChooseMusicModel> model) { m_model = std::move(model); }
  // Held weakly: a delegate that goes away is not told.
  ChooseMusicDelegate* delegate() const { return static_cast<ChooseMusicDelegate*>(rowDelegate()); }
  void setDelegate(ChooseMusicDelegate* delegate) { setRowDelegate(delegate); }

  const std::shared_ptr<ui::ImageView>& imgV_music() const { return m_imgVMusic; }
  const std::shared_ptr<ui::Label>& label_musicName() const { return m_labelMusicName; }
  const std::shared_ptr<ui::Label>& label_musicSinger() const { return m_labelMusicSinger; }

 private:
  std::shared_ptr<ui::ImageView> m_imgVMusic;
  std::shared_ptr<ui::Label> m_labelMusicName;
  std::shared_ptr<ui::Label> m_labelMusicSinger;
  std::shared_ptr<ChooseMusicModel> m_model;
};

}  // namespace kt
