#include "songs/StyleFavouriteCell.h"

#include "app/ScreenSize.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<StyleFavouriteCell> StyleFavouriteCell::create(ui::TableViewCellStyle style, const std::string& reuseIdentifier) {
  auto cell = std::make_shared<StyleFavouriteCell>(style, reuseIdentifier);
  cell->setupMyCell();
  return cell;
}

StyleFavouriteCell::StyleFavouriteCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : SongRowCell(style, reuseIdentifier) {}

StyleFavouriteCell::~StyleFavouriteCell() = default;

double StyleFavouriteCell::rowHeight() { return isTwelveNineInch() ? 136 : 102; }

void StyleFavouriteCell::setupMyCell() {
  setupTwoLineRow(m_labelMusicName, m_labelMusicSinger);
}

void StyleFavouriteCell::setupMyModel(const ChooseMusicModel& model) {
  m_labelMusicSinger->setText(model.string_musicSinger());
  m_labelMusicName->setText(model.string_musicName());
  didFill();
}

void StyleFavouriteCell::setDelegate(StyleFavouriteCellDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

void StyleFavouriteCell::tellDelegate(int32_t index) {
  if (StyleFavouriteCellDelegate* delegate = m_delegate.get()) delegate->didSelectTheMusic(index);
}

}  // namespace kt
