#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/IndexPath.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"

namespace ui {
class TextField;
}

namespace kt {

class StaticContentTableViewCell;

// Fills a row: called once with (model, null, no index path) when the row is added, so that it can
// set the model up, and with (null, cell, index path) every time the table shows the row.
using StaticContentConfigureBlock =
    std::function<void(StaticContentTableViewCell* model, ui::TableViewCell* cell, std::optional<ui::IndexPath> indexPath)>;
using StaticContentSelectionBlock = std::function<void(const ui::IndexPath& indexPath)>;
// Makes the table cell of a row from its style and reuse identifier.
using TableViewCellFactory =
    std::function<std::shared_ptr<ui::TableViewCell>(ui::TableViewCellStyle style, const std::string& reuseIdentifier)>;

// The model of one row of a static-content table (not a view): how its cell is made and filled,
// how high it is, how it edits, and what its selection does.
class StaticContentTableViewCell {
 public:
  StaticContentTableViewCell();
  virtual ~StaticContentTableViewCell() = default;

  const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
  void setReuseIdentifier(std::string identifier) { m_reuseIdentifier = std::move(identifier); }
  double cellHeight() const { return m_cellHeight; }
  void setCellHeight(double height) { m_cellHeight = height; }
  ui::TableViewCellStyle cellStyle() const { return m_cellStyle; }
  void setCellStyle(ui::TableViewCellStyle style) { m_cellStyle = style; }
  const TableViewCellFactory& tableViewCellSubclass() const { return m_cellFactory; }
  // An empty factory makes plain table cells.
  void setTableViewCellSubclass(TableViewCellFactory factory);
  ui::TableViewCellEditingStyle editingStyle() const { return m_editingStyle; }
  void setEditingStyle(ui::TableViewCellEditingStyle style) { m_editingStyle = style; }
  bool editable() const { return m_editable; }
  void setEditable(bool editable) { m_editable = editable; }
  bool moveable() const { return m_moveable; }
  void setMoveable(bool moveable) { m_moveable = moveable; }
  const StaticContentConfigureBlock& configureBlock() const { return m_configureBlock; }
  void setConfigureBlock(StaticContentConfigureBlock block) { m_configureBlock = std::move(block); }
  const StaticContentSelectionBlock& whenSelectedBlock() const { return m_whenSelectedBlock; }
  void setWhenSelectedBlock(StaticContentSelectionBlock block) { m_whenSelectedBlock = std::move(block); }

  // A new table cell of this row's kind.
  std::shared_ptr<ui::TableViewCell> makeTableViewCell() const;

 private:
  std::string m_reuseIdentifier = "DefaultCell";
  double m_cellHeight = ui::TableViewAutomaticDimension;
  ui::TableViewCellStyle m_cellStyle = ui::TableViewCellStyle::Default;
  TableViewCellFactory m_cellFactory;
  ui::TableViewCellEditingStyle m_editingStyle = ui::TableViewCellEditingStyle::None;
  bool m_editable = false;
  bool m_moveable = false;
  StaticContentConfigureBlock m_configureBlock;
  StaticContentSelectionBlock m_whenSelectedBlock;
};

// A row model that also holds a text field for its cell to show.
class StaticTextFieldTableViewCell : public StaticContentTableViewCell {
 public:
  const std::shared_ptr<ui::TextField>& contentTextField() const { return m_contentTextField; }
  void setContentTextField(std::shared_ptr<ui::TextField> field) { m_contentTextField = std::move(field); }

 private:
  std::shared_ptr<ui::TextField> m_contentTextField;
};

}  // namespace kt
