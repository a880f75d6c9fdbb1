#include "songs/ChooseMusicCell.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<ChooseMusicCell> ChooseMusicCell::create(ui::TableViewCellStyle style,
                                                         const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<ChooseMusicCell>(style, reuseIdentifier);
}

ChooseMusicCell::ChooseMusicCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : SongRowCell(style, reuseIdentifier) {}

ChooseMusicCell::~ChooseMusicCell() = default;

double ChooseMusicCell::rowHeight() { return isTwelveNineInch() ? 146 : 110; }

void ChooseMusicCell::setupMyCell() {
  m_imgVMusic = SongCellParts::addPicture(*this, gfx::Rect(31, 8, 100, 100), gfx::Rect(41, 10, 133, 133),
                                          "SongsDefaultPic");
  m_imgVMusic->setBackgroundColor(gfx::Color::clear());
  m_labelMusicName = SongCellParts::addLabel(*this, gfx::Rect(168, 30, 400, 30), gfx::Rect(223, 40, 533, 40), "dfebff",
                                             APPFont::getSysFont_size40());
  m_labelMusicSinger = SongCellParts::addLabel(*this, gfx::Rect(168, 65, 400, 25), gfx::Rect(223, 86, 533, 33),
                                               "475686", APPFont::getSysFont_size36());
  addSingButton(gfx::Rect(912, 26, 80, 40), gfx::Rect(1215, 34, 106, 53));
  SongCellParts::addPicture(*this, gfx::Rect(154, 109, 870, 1), gfx::Rect(205, 145, 1159, 1), "SeparateLine2");
}

void ChooseMusicCell::setupMyModel(const ChooseMusicModel& model) {
  SongCellParts::loadSingerPicture(m_imgVMusic, CloudApi::singerImageURL(model.string_musicSinger()));
  m_labelMusicName->setText(model.string_musicName());
  m_labelMusicSinger->setText(model.string_musicSinger());
  didFill();
}

}  // namespace kt
