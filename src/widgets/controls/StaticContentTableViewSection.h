#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "widgets/controls/StaticContentTableViewCell.h"

namespace ui {
class TableView;
}

namespace kt {

class StaticContentTableViewController;

// One section of a static-content table: its row models and header title. Rows added with
// addCell are shown at the table's next reload; inserted and removed rows are shown at once, with
// the table's automatic animation or by a reload.
class StaticContentTableViewSection {
 public:
  using Cells = std::vector<std::shared_ptr<StaticContentTableViewCell>>;

  // Appends a row; its configure block sets the model up at once. The table is not told.
  void addCell(StaticContentConfigureBlock configure, StaticContentSelectionBlock whenSelected = nullptr);
  // Inserts a row at the index path's row and shows it: slid in with the automatic animation, or
  // by reloading the table. A row beyond the end is refused (false) and nothing changes.
  bool insertCell(StaticContentConfigureBlock configure, StaticContentSelectionBlock whenSelected,
                  const ui::IndexPath& indexPath, bool animated);
  // Removes the row and takes it off the table: deleted with the automatic animation in this
  // section's own place in the table, or by reloading. An index out of range is refused (false).
  bool removeCellAtIndex(size_t index, bool animated = true);
  // The table is not told.
  void removeAllCells() { m_cells.clear(); }

  // Not owned: the table the section updates.
  std::shared_ptr<ui::TableView> tableView() const { return m_tableView.lock(); }
  void setTableView(const std::shared_ptr<ui::TableView>& tableView) { m_tableView = tableView; }
  const Cells& staticContentCells() const { return m_cells; }
  void setStaticContentCells(Cells cells) { m_cells = std::move(cells); }
  const std::optional<std::string>& title() const { return m_title; }
  void setTitle(std::optional<std::string> title) { m_title = std::move(title); }

  // Not owned: the controller that lists the section, asked for the section's place in the table.
  void setController(const std::weak_ptr<StaticContentTableViewController>& controller) { m_controller = controller; }

 private:
  std::shared_ptr<StaticContentTableViewCell> makeCell(StaticContentConfigureBlock configure,
                                                       StaticContentSelectionBlock whenSelected);
  // The section's index in the table, when a controller lists it.
  std::optional<int> tableIndex() const;

  std::weak_ptr<ui::TableView> m_tableView;
  std::weak_ptr<StaticContentTableViewController> m_controller;
  Cells m_cells;
  std::optional<std::string> m_title;
};

}  // namespace kt
