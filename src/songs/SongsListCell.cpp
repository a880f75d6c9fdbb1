#include "songs/SongsListCell.h"

#include "app/ScreenSize.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<SongsListCell> SongsListCell::create(ui::TableViewCellStyle style, const std::string& reuseIdentifier) {
  auto cell = std::make_shared<SongsListCell>(style, reuseIdentifier);
  cell->setupMyCell();
  return cell;
}

SongsListCell::SongsListCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : SongRowCell(style, reuseIdentifier) {}

SongsListCell::~SongsListCell() = default;

double SongsListCell::rowHeight() { return isTwelveNineInch() ? 136 : 102; }

void SongsListCell::setupMyCell() {
  setupTwoLineRow(m_labelMusicName, m_labelSingerName);
}

void SongsListCell::setupMyModel(const ChooseMusicModel& model) {
  m_labelSingerName->setText(model.string_musicSinger());
  m_labelMusicName->setText(model.string_musicName());
  didFill();
}

void SongsListCell::setDelegate(SongsListCellDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

void SongsListCell::tellDelegate(int32_t index) {
  if (SongsListCellDelegate* delegate = m_delegate.get()) delegate->didSelectTheMusic(index);
}

}  // namespace kt
