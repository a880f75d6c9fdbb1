#include "songs/NameListScreen.h"

#include "songs/SongCellParts.h"
#include "songs/StyleStarsCell.h"

namespace kt {

namespace {

// The frame as the fixed lists take it: the search bar a point higher, no paging.
SongScreenStyle fixedListStyle(std::string title) {
  SongScreenStyle style;
  style.title = std::move(title);
  style.background = "SuperStarsBg";
  style.searchBarRaised = true;
  style.pullDown = false;
  style.pullUp = false;
  return style;
}

}  // namespace

NameListScreen::NameListScreen(std::string title) : SongScreen(fixedListStyle(std::move(title))) {}

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
  auto cell = SongCellParts::reusableCell<StyleStarsCell>(tableView);
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
