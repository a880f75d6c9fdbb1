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

// Told the row whose sing button a SongsListCell's guest pressed.
class SongsListCellDelegate {
 public:
  SongsListCellDelegate() = default;
  SongsListCellDelegate(const SongsListCellDelegate&) = delete;
  SongsListCellDelegate& operator=(const SongsListCellDelegate&) = delete;
  virtual ~SongsListCellDelegate() = default;

  virtual void didSelectTheMusic(int32_t index) = 0;

  core::WeakPtr<SongsListCellDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<SongsListCellDelegate> m_weakFactory{this};
};

// A song row of the titled and banner song lists: title, singer and the sing button over a
// full-width separator. Row height 102 (136 on the 12.9-inch tablet).
class SongsListCell : public SongRowCell {
 public:
  static std::shared_ptr<SongsListCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                               const std::string& reuseIdentifier = ReuseIdentifier);
  SongsListCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~SongsListCell() override;

  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // Shows the model's title and singer.
  void setupMyModel(const ChooseMusicModel& model);

  // Held weakly: a delegate that goes away is not told.
  SongsListCellDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(SongsListCellDelegate* delegate);

  const std::shared_ptr<ui::Label>& label_musicName() const { return m_labelMusicName; }
  const std::shared_ptr<ui::Label>& label_singerName() const { return m_labelSingerName; }

 protected:
  void tellDelegate(int32_t index) override;

 private:
  std::shared_ptr<ui::Label> m_labelMusicName;
  std::shared_ptr<ui::Label> m_labelSingerName;
  core::WeakPtr<SongsListCellDelegate> m_delegate;
};

}  // namespace kt
