#include "widgets/controls/StaticContentTableViewCell.h"

#include "platform/ui/TextField.h"

namespace kt {

namespace {

std::shared_ptr<ui::TableViewCell> makePlainCell(ui::TableViewCellStyle style, const std::string& identifier) {
  return ui::TableViewCell::create(style, identifier);
}

}  // namespace

StaticContentTableViewCell::StaticContentTableViewCell() : m_cellFactory(makePlainCell) {}

void StaticContentTableViewCell::setTableViewCellSubclass(TableViewCellFactory factory) {
  m_cellFactory = factory ? std::move(factory) : TableViewCellFactory(makePlainCell);
}

std::shared_ptr<ui::TableViewCell> StaticContentTableViewCell::makeTableViewCell() const {
  auto cell = m_cellFactory(m_cellStyle, m_reuseIdentifier);
  // A factory that makes nothing still gives the table a row to show.
  return cell ? cell : makePlainCell(m_cellStyle, m_reuseIdentifier);
}

}  // namespace kt
