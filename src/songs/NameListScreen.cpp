#include "songs/NameListScreen.h"

#include "songs/StyleStarsCell.h"

namespace kt {

NameListScreen::NameListScreen(SongScreenStyle style) : SongScreen(std::move(style)) {}

NameListScreen::~NameListScreen() = default;

void NameListScreen::setNames(std::vector<std::string> names) {
  m_names = std::move(names);
  tbView_data()->reloadData();
}

int NameListScreen::numberOfRowsInSection(ui::TableView& /*tableView*/, int /*section*/) {
  return static_cast<int>(m_names.size());
}

std::shared_ptr<ui::TableViewCell> NameListScreen::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                         const ui::IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<StyleStarsCell>(tableView.dequeueReusableCellWithIdentifier("cellIdentify"));
  if (!cell) {
    cell = StyleStarsCell::create(ui::TableViewCellStyle::Default, "cellIdentify");
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  }
  const auto row = static_cast<size_t>(indexPath.row);
  if (row < m_names.size()) cell->setupMyCell(m_names[row]);
  return cell;
}

std::optional<double> NameListScreen::heightForRowAtIndexPath(ui::TableView& /*tableView*/,
                                                              const ui::IndexPath& /*indexPath*/) {
  return StyleStarsCell::rowHeight();
}

void NameListScreen::didSelectRowAtIndexPath(ui::TableView& /*tableView*/, const ui::IndexPath& indexPath) {
  if (indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= m_names.size()) return;
  openName(m_names[static_cast<size_t>(indexPath.row)]);
}

}  // namespace kt
