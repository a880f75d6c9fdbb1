#include "songs/StyleStarsCell.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/ui/Label.h"
#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<StyleStarsCell> StyleStarsCell::create(ui::TableViewCellStyle style,
                                                       const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<StyleStarsCell>(style, reuseIdentifier);
}

StyleStarsCell::StyleStarsCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
}

StyleStarsCell::~StyleStarsCell() = default;

double StyleStarsCell::rowHeight() { return isTwelveNineInch() ? 132 : 99; }

void StyleStarsCell::setupMyCell() {
  m_labelClass = SongCellParts::addLabel(*this, gfx::Rect(31, 33, 600, 31), gfx::Rect(41, 44, 799, 41), "dfebff",
                                         APPFont::getSysFont_Size44());
  SongCellParts::addPicture(*this, gfx::Rect(979, 35.5, 14, 26), gfx::Rect(1305, 47, 18, 34), "Arrow_right");
  SongCellParts::addPicture(*this, gfx::Rect(0, 97, 1024, 2), gfx::Rect(0, 129, 1364, 2), "SeparateLine2");
}

void StyleStarsCell::setupMyCell(const std::string& text) { m_labelClass->setText(text); }

}  // namespace kt
