#include "order/TowTableViewCell.h"

#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Nib.h"

namespace kt {

TowTableViewCell::TowTableViewCell() : ui::TableViewCell(ui::TableViewCellStyle::Default, ReuseIdentifier) {
  setFrame(gfx::Rect{{0, 0}, CellSize});
  setBackgroundColor(gfx::Color::clear());
  m_NameChs = ui::Label::create(gfx::Rect{16, 7, 300, 28});
  m_NameChs->setFont(gfx::Font::boldSystemFont(20));
  m_NameChs->setTextColor(gfx::Color::whiteColor());
  m_NameEng = ui::Label::create(gfx::Rect{16, 35, 300, 20});
  m_NameEng->setFont(gfx::Font::systemFont(14));
  m_NameEng->setTextColor(gfx::Color::rgba(0.62, 0.70, 0.82));
  // A thin rule under each dish, since the table draws no separators.
  auto rule = ui::View::create(gfx::Rect{12, CellSize.height - 1, CellSize.width - 24, 1});
  rule->setBackgroundColor(gfx::Color::rgba(0.3, 0.33, 0.5, 0.6));
  contentView()->addSubview(m_NameChs);
  contentView()->addSubview(m_NameEng);
  contentView()->addSubview(rule);
}

void TowTableViewCell::registerNib() {
  ui::Nib::registerNib(NibName, [](ui::Responder*) { return ui::Nib::Objects{std::make_shared<TowTableViewCell>()}; });
}

}  // namespace kt
