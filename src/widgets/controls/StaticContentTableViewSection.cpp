#include "widgets/controls/StaticContentTableViewSection.h"

#include "platform/core/Log.h"
#include "platform/ui/TableView.h"
#include "widgets/controls/StaticContentTableViewController.h"

namespace kt {

std::shared_ptr<StaticContentTableViewCell> StaticContentTableViewSection::makeCell(
    StaticContentConfigureBlock configure, StaticContentSelectionBlock whenSelected) {
  auto cell = std::make_shared<StaticContentTableViewCell>();
  cell->setConfigureBlock(std::move(configure));
  cell->setWhenSelectedBlock(std::move(whenSelected));
  if (cell->configureBlock()) cell->configureBlock()(cell.get(), nullptr, std::nullopt);
  return cell;
}

void StaticContentTableViewSection::addCell(StaticContentConfigureBlock configure,
                                            StaticContentSelectionBlock whenSelected) {
  auto cell = makeCell(std::move(configure), std::move(whenSelected));
  m_cells.push_back(std::move(cell));
}

bool StaticContentTableViewSection::insertCell(StaticContentConfigureBlock configure,
                                               StaticContentSelectionBlock whenSelected,
                                               const ui::IndexPath& indexPath, bool animated) {
  if (indexPath.row < 0 || size_t(indexPath.row) > m_cells.size()) {
    KT_LOG("row %d is outside the %zu rows of the section; nothing inserted", indexPath.row, m_cells.size());
    return false;
  }
  auto cell = makeCell(std::move(configure), std::move(whenSelected));
  m_cells.insert(m_cells.begin() + indexPath.row, std::move(cell));
  if (auto table = tableView()) {
    if (animated) table->insertRowsAtIndexPaths({indexPath}, ui::TableViewRowAnimation::Automatic);
    else table->reloadData();
  }
  return true;
}

bool StaticContentTableViewSection::removeCellAtIndex(size_t index, bool animated) {
  if (index >= m_cells.size()) {
    KT_LOG("row %zu is outside the %zu rows of the section; nothing removed", index, m_cells.size());
    return false;
  }
  m_cells.erase(m_cells.begin() + std::ptrdiff_t(index));
  auto table = tableView();
  if (!table) return true;
  const std::optional<int> section = animated ? tableIndex() : std::nullopt;
  if (section) {
    table->beginUpdates();
    table->deleteRowsAtIndexPaths({ui::IndexPath::forRow(int(index), *section)}, ui::TableViewRowAnimation::Automatic);
    table->endUpdates();
  } else {
    // Without animation, or when the section's place in the table is unknown.
    table->reloadData();
  }
  return true;
}

std::optional<int> StaticContentTableViewSection::tableIndex() const {
  auto controller = m_controller.lock();
  if (!controller) return std::nullopt;
  return controller->indexOfSection(*this);
}

}  // namespace kt
