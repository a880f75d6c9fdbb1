#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/WeakPtr.h"
#include "songs/SongRowCell.h"

namespace ui {
class Label;
}

namespace kt {

class ChooseMusicModel;

// Told the row whose sing button a StyleFavouriteCell's guest pressed.
class StyleFavouriteCellDelegate {
 public:
  StyleFavouriteCellDelegate() = default;
  StyleFavouriteCellDelegate(const StyleFavouriteCellDelegate&) = delete;
  StyleFavouriteCellDelegate& operator=(const StyleFavouriteCellDelegate&) = delete;
  virtual ~StyleFavouriteCellDelegate() = default;

  virtual void didSelectTheMusic(int32_t index) = 0;

  core::WeakPtr<StyleFavouriteCellDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<StyleFavouriteCellDelegate> m_weakFactory{this};
};

// A song row of the favourites and the chart: the same row as SongsListCell, title, singer and
// the sing button over a full-width separator. Row height 102 (136 on the 12.9-inch tablet).
class StyleFavouriteCell : public SongRowCell {
 public:
  static std::shared_ptr<StyleFavouriteCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                               const std::string& reuseIdentifier = ReuseIdentifier);
  StyleFavouriteCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~StyleFavouriteCell() override;

  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // Shows the model's title and singer.
  void setupMyModel(const ChooseMusicModel& model);

  // Held weakly: a delegate that goes away is not told.
  StyleFavouriteCellDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(StyleFavouriteCellDelegate* delegate);

  const std::shared_ptr<ui::Label>& label_musicName() const { return m_labelMusicName; }
  const std::shared_ptr<ui::Label>& label_musicSinger() const { return m_labelMusicSinger; }

 protected:
  void tellDelegate(int32_t index) override;

 private:
  std::shared_ptr<ui::Label> m_labelMusicName;
  std::shared_ptr<ui::Label> m_labelMusicSinger;
  core::WeakPtr<StyleFavouriteCellDelegate> m_delegate;
};

}  // namespace kt
