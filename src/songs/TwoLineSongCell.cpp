#include "songs/TwoLineSongCell.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongCellParts.h"

namespace kt {

TwoLineSongCell::TwoLineSongCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : SongRowCell(style, reuseIdentifier) {}

TwoLineSongCell::~TwoLineSongCell() = default;

double TwoLineSongCell::rowHeight() { return isTwelveNineInch() ? 136 : 102; }

void TwoLineSongCell::setupMyCell() {
  m_labelMusicName = SongCellParts::addLabel(*this, gfx::Rect(31, 20, 586, 31), gfx::Rect(41, 26, 781, 41), "dfebff",
                                             APPFont::getSysFont_size40());
  m_labelSinger = SongCellParts::addLabel(*this, gfx::Rect(31, 55, 586, 30), gfx::Rect(41, 73, 781, 40), "475686",
                                          APPFont::getSysFont_size36());
  addSingButton(gfx::Rect(914, 26, 80, 40), gfx::Rect(1218, 34, 106, 53));
  SongCellParts::addPicture(*this, gfx::Rect(0, 100, 1024, 2), gfx::Rect(0, 133, 1364, 2), "SeparateLine2");
}

void TwoLineSongCell::setupMyModel(const ChooseMusicModel& model) {
  m_labelSinger->setText(model.string_musicSinger());
  m_labelMusicName->setText(model.string_musicName());
  didFill();
}

}  // namespace kt
