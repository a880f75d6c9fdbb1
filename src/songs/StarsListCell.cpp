#include "songs/StarsListCell.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/CloudApi.h"
#include "songs/SongCellParts.h"
#include "songs/StarsListModel.h"

namespace kt {

std::shared_ptr<StarsListCell> StarsListCell::create(ui::TableViewCellStyle style, const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<StarsListCell>(style, reuseIdentifier);
}

StarsListCell::StarsListCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
}

StarsListCell::~StarsListCell() = default;

double StarsListCell::rowHeight() { return isTwelveNineInch() ? 146 : 110; }

void StarsListCell::setupMyCell() {
  m_imgVPortrait = SongCellParts::addPicture(*this, gfx::Rect(31, 8, 100, 100), gfx::Rect(41, 10, 133, 133),
                                             "SongsDefaultPic");
  m_labelSingerName = SongCellParts::addLabel(*this, gfx::Rect(168, 43, 350, 30), gfx::Rect(223, 57, 466, 40),
                                              "ffffff", APPFont::getSysFont_size40());
  SongCellParts::addPicture(*this, gfx::Rect(979, 40, 16, 30), gfx::Rect(1305, 53, 21, 40), "Arrow_right");
  SongCellParts::addPicture(*this, gfx::Rect(154, 109, 870, 1), gfx::Rect(205, 145, 1159, 1), "SeparateLine2");
}

void StarsListCell::setupMyCell(const StarsListModel& model) {
  // The picture is found by the singer's name; the reply's portrait reference is not used.
  SongCellParts::loadSingerPicture(m_imgVPortrait, CloudApi::singerRowImageURL(model.string_singerName()));
  m_labelSingerName->setText(model.string_singerName());
}

}  // namespace kt
