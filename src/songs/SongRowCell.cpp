#include "songs/SongRowCell.h"

#include "app/APPFont.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "songs/SongCellParts.h"

namespace kt {

SongRowCell::SongRowCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
}

SongRowCell::~SongRowCell() = default;

void SongRowCell::singBtnClick() {
  if (m_filled && m_cellIndex) tellDelegate(*m_cellIndex);
}

void SongRowCell::prepareForReuse() {
  // Until the screen fills it again, the cell has no row to report.
  m_filled = false;
  m_cellIndex.reset();
  ui::TableViewCell::prepareForReuse();
}

void SongRowCell::addSingButton(const gfx::Rect& frame, const gfx::Rect& largeFrame) {
  auto button = ui::Button::create(ui::ButtonType::Custom, SongCellParts::frameFor(frame, largeFrame));
  button->setBackgroundColor(gfx::Color::clear());
  button->setBackgroundImage(gfx::Image::named("Sing_normal"), ui::ControlStateNormal);
  button->setBackgroundImage(gfx::Image::named("Sing_selected"), ui::ControlStateHighlighted);
  std::weak_ptr<ui::Responder> weakSelf = weak_from_this();
  button->addTarget(
      this,
      [weakSelf](ui::Control&, const ui::Event*) {
        // Held across the call: the delegate may reload the table.
        if (auto self = std::static_pointer_cast<SongRowCell>(weakSelf.lock())) self->singBtnClick();
      },
      ui::ControlEventTouchUpInside);
  addSubview(button);
}

void SongRowCell::setupTwoLineRow(std::shared_ptr<ui::Label>& title, std::shared_ptr<ui::Label>& singer) {
  title = SongCellParts::addLabel(*this, gfx::Rect(31, 20, 586, 31), gfx::Rect(41, 26, 781, 41), "dfebff",
                                  APPFont::getSysFont_size40());
  singer = SongCellParts::addLabel(*this, gfx::Rect(31, 55, 586, 30), gfx::Rect(41, 73, 781, 40), "475686",
                                   APPFont::getSysFont_size36());
  addSingButton(gfx::Rect(914, 26, 80, 40), gfx::Rect(1218, 34, 106, 53));
  SongCellParts::addPicture(*this, gfx::Rect(0, 100, 1024, 2), gfx::Rect(0, 133, 1364, 2), "SeparateLine2");
}

}  // namespace kt
