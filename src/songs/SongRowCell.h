#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace ui {
class Label;
}

namespace kt {

class ChooseMusicModel;

// What the three song cells share: the row they show and the sing button that reports it. A cell reports its row only once it has been
// filled with a model and given its row index since it was made or last handed out again, so
// a reused cell reports the row it shows now and never the one it showed before.
class SongRowCell : public ui::TableViewCell {
 public:
  // The identifier the song screens reuse every cell kind under.
  static constexpr const char* ReuseIdentifier = "cellIdentify";

  SongRowCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~SongRowCell() override;

  // The row that the cell shows; nothing until set (and again after reuse).
  std::optional<int32_t> cellIndex() const { return m_cellIndex; }
  void setCellIndex(int32_t index) { m_cellIndex = index; }

  // The sing button's action: tells the delegate the row, when the cell has one to report.
  // No guard against repeats: two presses report twice.
  void singBtnClick();

  void prepareForReuse() override;

 protected:
  // Adds the sing button ("Sing_normal", highlighted "Sing_selected") at the frame for the
  // current screen; its presses call singBtnClick.
  void addSingButton(const gfx::Rect& frame, const gfx::Rect& largeFrame);
  // The row of SongsListCell and StyleFavouriteCell: title and singer labels, the sing button
  // and a full-width separator.
  void setupTwoLineRow(std::shared_ptr<ui::Label>& title, std::shared_ptr<ui::Label>& singer);
  // Marks the cell as filled; from the cells' setupMyModel.
  void didFill() { m_filled = true; }
  // Sends didSelectTheMusic to the cell's own kind of delegate, when one is set.
  virtual void tellDelegate(int32_t index) = 0;

 private:
  std::optional<int32_t> m_cellIndex;
  bool m_filled = false;
};

}  // namespace kt
