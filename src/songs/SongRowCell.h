#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/WeakPtr.h"
#include "platform/ui/TableViewCell.h"

namespace kt {

// Told the row whose sing button was pressed: the common base of the song cells' delegate
// interfaces (ChooseMusicDelegate, SongsListCellDelegate, StyleFavouriteCellDelegate). A cell
// holds its delegate weakly: a delegate that goes away is not told.
class SongCellDelegate {
 public:
  SongCellDelegate() = default;
  SongCellDelegate(const SongCellDelegate&) = delete;
  SongCellDelegate& operator=(const SongCellDelegate&) = delete;
  virtual ~SongCellDelegate() = default;

  virtual void didSelectTheMusic(int32_t index) = 0;

  core::WeakPtr<SongCellDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<SongCellDelegate> m_weakFactory{this};
};

// What the three song cells share: the row they show and the sing button that reports it. A
// cell reports its row only once it has been filled with a model and given its row index since
// it was made or last handed out again, so a reused cell reports the row it shows now and never
// the one it showed before.
class SongRowCell : public ui::TableViewCell {
 public:
  // The identifier the song screens reuse every cell kind under.
  static constexpr const char* ReuseIdentifier = "cellIdentify";

  SongRowCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~SongRowCell() override;

  // The row that the cell shows; nothing until set (and again after reuse).
  std::optional<int32_t> cellIndex() const { return m_cellIndex; }
  void setCellIndex(int32_t index) { m_cellIndex = index; }

  // The sing button's action: tells the delegate the row, when there is a delegate and the cell
  // has a row to report. No guard against repeats: two presses report twice.
  void singBtnClick();

  void prepareForReuse() override;

 protected:
  SongCellDelegate* rowDelegate() const { return m_delegate.get(); }
  void setRowDelegate(SongCellDelegate* delegate);
  // Adds the sing button ("Sing_normal", highlighted "Sing_selected") at the frame for the
  // current screen; its presses call singBtnClick.
  void addSingButton(const gfx::Rect& frame, const gfx::Rect& largeFrame);
  // Marks the cell as filled; from the cells' setupMyModel.
  void didFill() { m_filled = true; }

 private:
  std::optional<int32_t> m_cellIndex;
  bool m_filled = false;
  core::WeakPtr<SongCellDelegate> m_delegate;
};

}  // namespace kt
