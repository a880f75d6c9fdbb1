#include "songs/SongRowCell.h"

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "songs/SongCellParts.h"

namespace kt {

SongRowCell::SongRowCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
}

SongRowCell::~SongRowCell() = default;

void SongRowCell::singBtnClick() {
  SongCellDelegate* delegate = m_delegate.get();
  if (delegate && m_filled && m_cellIndex) delegate->didSelectTheMusic(*m_cellIndex);
}

void SongRowCell::prepareForReuse() {
  // Until the screen fills it again, the cell has no row to report.
  m_filled = false;
  m_cellIndex.reset();
  ui::TableViewCell::prepareForReuse();
}

void SongRowCell::setRowDelegate(SongCellDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

void SongRowCell::addSingButton(const gfx::Rect& frame, const gfx::Rect& largeFrame) {
  auto button = SongCellParts::addButton(*this, frame, largeFrame,
                                         [](ui::TableViewCell& cell) { static_cast<SongRowCell&>(cell).singBtnClick(); });
  button->setBackgroundImage(gfx::Image::named("Sing_normal"), ui::ControlStateNormal);
  button->setBackgroundImage(gfx::Image::named("Sing_selected"), ui::ControlStateHighlighted);
}

}  // namespace kt
