#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/WeakPtr.h"
#include "platform/ui/TableViewCell.h"

namespace ui {
class Button;
class Label;
class TableView;
}  // namespace ui

namespace kt {

class ChooseMusicModel;

// Told the row whose action button the guest pressed. A cell holds its delegate weakly: a
// delegate that goes away is not told.
class SearchMusicDelegate {
 public:
  SearchMusicDelegate() = default;
  SearchMusicDelegate(const SearchMusicDelegate&) = delete;
  SearchMusicDelegate& operator=(const SearchMusicDelegate&) = delete;
  virtual ~SearchMusicDelegate() = default;

  virtual void didSelectTheIndexOfSongs(int32_t index) = 0;

  core::WeakPtr<SearchMusicDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<SearchMusicDelegate> m_weakFactory{this};
};

// One song: its title, its singer (the first name only) and an action button at the right end,
// over a full-width separator. The cell does not know what the button does: the screen that
// makes the cell gives the button its pictures and acts on the row number it reports, which the
// screen sets every time it fills the cell.
class SearchMusicCell : public ui::TableViewCell {
 public:
  static constexpr const char* ReuseIdentifier = "cellIdentify";

  static std::shared_ptr<SearchMusicCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                 const std::string& reuseIdentifier = ReuseIdentifier);
  SearchMusicCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~SearchMusicCell() override;

  // A free cell of the table, else a new one with `delegate` as its delegate, no highlight on a
  // tapped row and the action button's background pictures for the normal and highlighted state.
  static std::shared_ptr<SearchMusicCell> dequeue(ui::TableView& table, SearchMusicDelegate* delegate,
                                                  const char* normalPicture, const char* highlightedPicture);
  // 102 points, 136 on the 12.9-inch tablet.
  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // The action button's action: tells the delegate the cell's row number.
  void playClick();
  // Shows the model's title and the singer text up to its first ",". The cell keeps no
  // reference to the model.
  void setCellWithModel(const ChooseMusicModel& model);

  const std::shared_ptr<ui::Button>& btn_play() const { return m_btnPlay; }
  void setBtn_play(std::shared_ptr<ui::Button> button) { m_btnPlay = std::move(button); }
  int32_t numOfSongs() const { return m_numOfSongs; }
  void setNumOfSongs(int32_t index) { m_numOfSongs = index; }
  SearchMusicDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(SearchMusicDelegate* delegate) { m_delegate = delegate ? delegate->weakPtr() : nullptr; }

  const std::shared_ptr<ui::Label>& label_musicName() const { return m_labelMusicName; }
  const std::shared_ptr<ui::Label>& label_singerName() const { return m_labelSingerName; }

 private:
  std::shared_ptr<ui::Label> m_labelMusicName;
  std::shared_ptr<ui::Label> m_labelSingerName;
  std::shared_ptr<ui::Button> m_btnPlay;
  int32_t m_numOfSongs = 0;
  core::WeakPtr<SearchMusicDelegate> m_delegate;
};

}  // namespace kt
