#include "widgets/controls/StaticContentTableViewController.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewCell.h"

namespace kt {

StaticContentTableViewController::StaticContentTableViewController(ui::TableViewStyle style) : m_style(style) {}

StaticContentTableViewController::~StaticContentTableViewController() {
  // The table may outlive its controller (held by a window): it must not ask a dead one.
  if (auto table = isViewLoaded() ? std::dynamic_pointer_cast<ui::TableView>(view()) : nullptr) {
    table->setDataSource(nullptr);
    table->setDelegate(nullptr);
  }
}

std::shared_ptr<ui::TableView> StaticContentTableViewController::tableView() {
  return std::dynamic_pointer_cast<ui::TableView>(view());
}

void StaticContentTableViewController::loadView() {
  auto table = ui::TableView::create(screenBounds(nullptr), m_style);
  table->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
  table->setDataSource(this);
  table->setDelegate(this);
  setView(table);
}

void StaticContentTableViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  removeAllSections();
}

std::shared_ptr<StaticContentTableViewSection> StaticContentTableViewController::makeSection() {
  auto section = std::make_shared<StaticContentTableViewSection>();
  // Every section, inserted ones too, updates the table and can find its own place in it.
  if (isViewLoaded()) section->setTableView(tableView());
  section->setController(std::static_pointer_cast<StaticContentTableViewController>(sharedController()));
  return section;
}

void StaticContentTableViewController::addSection(const SectionBlock& block) {
  auto section = makeSection();
  if (block) block(*section, m_sections.size() + 1);
  m_sections.push_back(std::move(section));
}

bool StaticContentTableViewController::insertSection(const SectionBlock& block, size_t index, bool animated) {
  if (index > m_sections.size()) {
    KT_LOG("section %zu is beyond the %zu sections; nothing inserted", index, m_sections.size());
    return false;
  }
  auto section = makeSection();
  if (block) block(*section, index);
  // The block may have changed the sections itself.
  index = std::min(index, m_sections.size());
  m_sections.insert(m_sections.begin() + std::ptrdiff_t(index), std::move(section));
  if (!isViewLoaded()) return true;
  auto table = tableView();
  if (animated) table->insertSections(ui::IndexSet{int(index)}, ui::TableViewRowAnimation::Automatic);
  else table->reloadData();
  return true;
}

bool StaticContentTableViewController::removeSectionAtIndex(size_t index, bool animated) {
  if (index >= m_sections.size()) {
    KT_LOG("section %zu is outside the %zu sections; nothing removed", index, m_sections.size());
    return false;
  }
  m_sections.erase(m_sections.begin() + std::ptrdiff_t(index));
  if (!isViewLoaded()) return true;
  auto table = tableView();
  if (animated) {
    table->beginUpdates();
    table->deleteSections(ui::IndexSet{int(index)}, ui::TableViewRowAnimation::Automatic);
    table->endUpdates();
  } else {
    table->reloadData();
  }
  return true;
}

std::shared_ptr<StaticContentTableViewSection> StaticContentTableViewController::sectionAtIndex(size_t index) const {
  return index < m_sections.size() ? m_sections[index] : nullptr;
}

std::optional<int> StaticContentTableViewController::indexOfSection(const StaticContentTableViewSection& section) const {
  for (size_t i = 0; i < m_sections.size(); ++i)
    if (m_sections[i].get() == &section) return int(i);
  return std::nullopt;
}

bool StaticContentTableViewController::insertCell(StaticContentConfigureBlock configure,
                                                  const ui::IndexPath& indexPath, bool /*animated*/) {
  return insertCell(std::move(configure), nullptr, indexPath, true);
}

bool StaticContentTableViewController::insertCell(StaticContentConfigureBlock configure,
                                                  StaticContentSelectionBlock whenSelected,
                                                  const ui::IndexPath& indexPath, bool animated) {
  auto section = indexPath.section >= 0 ? sectionAtIndex(size_t(indexPath.section)) : nullptr;
  if (!section) {
    KT_LOG("there is no section %d; nothing inserted", indexPath.section);
    return false;
  }
  return section->insertCell(std::move(configure), std::move(whenSelected), indexPath, animated);
}

void StaticContentTableViewController::setStaticContentSections(Sections sections) {
  m_sections.clear();
  for (auto& section : sections)
    if (section) m_sections.push_back(std::move(section));
}

StaticContentTableViewCell* StaticContentTableViewController::rowModel(const ui::IndexPath& indexPath) const {
  if (indexPath.section < 0 || size_t(indexPath.section) >= m_sections.size() || indexPath.row < 0) return nullptr;
  const auto& cells = m_sections[size_t(indexPath.section)]->staticContentCells();
  return size_t(indexPath.row) < cells.size() ? cells[size_t(indexPath.row)].get() : nullptr;
}

int StaticContentTableViewController::numberOfRowsInSection(ui::TableView&, int section) {
  auto s = section >= 0 ? sectionAtIndex(size_t(section)) : nullptr;
  return s ? int(s->staticContentCells().size()) : 0;
}

std::shared_ptr<ui::TableViewCell> StaticContentTableViewController::cellForRowAtIndexPath(
    ui::TableView& tableView, const ui::IndexPath& indexPath) {
  StaticContentTableViewCell* model = rowModel(indexPath);
  if (!model) return ui::TableViewCell::create();
  auto cell = tableView.dequeueReusableCellWithIdentifier(model->reuseIdentifier());
  if (!cell) cell = model->makeTableViewCell();
  // A reused cell shows nothing of its last row there unless the row sets it again.
  cell->imageView()->setImage(nullptr);
  cell->setAccessoryView(nullptr);
  if (model->configureBlock()) model->configureBlock()(nullptr, cell.get(), indexPath);
  return cell;
}

std::optional<std::string> StaticContentTableViewController::titleForHeaderInSection(ui::TableView&, int section) {
  auto s = section >= 0 ? sectionAtIndex(size_t(section)) : nullptr;
  return s ? s->title() : std::nullopt;
}

bool StaticContentTableViewController::canEditRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) {
  StaticContentTableViewCell* model = rowModel(indexPath);
  return model && model->editable();
}

bool StaticContentTableViewController::canMoveRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) {
  StaticContentTableViewCell* model = rowModel(indexPath);
  return model && model->moveable();
}

ui::TableViewCellEditingStyle StaticContentTableViewController::editingStyleForRowAtIndexPath(
    ui::TableView&, const ui::IndexPath& indexPath) {
  StaticContentTableViewCell* model = rowModel(indexPath);
  return model ? model->editingStyle() : ui::TableViewCellEditingStyle::None;
}

std::optional<double> StaticContentTableViewController::heightForRowAtIndexPath(ui::TableView&,
                                                                               const ui::IndexPath& indexPath) {
  StaticContentTableViewCell* model = rowModel(indexPath);
  return model ? model->cellHeight() : ui::TableViewAutomaticDimension;
}

void StaticContentTableViewController::didSelectRowAtIndexPath(ui::TableView& tableView,
                                                               const ui::IndexPath& indexPath) {
  const bool editing = tableView.isEditing();
  if ((!editing && !tableView.allowsMultipleSelection()) ||
      (editing && !tableView.allowsMultipleSelectionDuringEditing()))
    tableView.deselectRowAtIndexPath(indexPath, true);
  StaticContentTableViewCell* model = rowModel(indexPath);
  // Held across the call: the block may remove its own row.
  if (model && model->whenSelectedBlock()) {
    auto block = model->whenSelectedBlock();
    block(indexPath);
  }
}

void StaticContentTableViewController::scrollViewDidEndDragging(ui::ScrollView&, bool) { view()->endEditing(true); }

std::shared_ptr<ui::View> StaticContentTableViewController::makeTextView(const std::string& text, bool header) {
  auto container = ui::View::create(gfx::Rect(0, 0, 320, 0));
  auto label = ui::Label::create(gfx::Rect(10, 10, 280, 0));
  label->setBackgroundColor(gfx::Color::clear());
  label->setFont(gfx::Font::systemFont(15));
  label->setTextColor(gfx::Color(61 / 255.0, 77 / 255.0, 99 / 255.0, 1));
  label->setShadowColor(gfx::Color(1, 1, 1, 0.65));
  label->setShadowOffset(gfx::Size{0, 1});
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setNumberOfLines(0);
  label->setAutoresizingMask(ui::AutoresizingFlexibleWidth);
  label->setText(text);
  label->sizeToFit();
  const double h = label->frame().height();
  const gfx::Rect c = container->frame();
  label->setFrame(gfx::Rect(c.x(), c.y(), c.width(), h + 10));
  container->addSubview(label);
  if (header) {
    label->setFrame(gfx::Rect(20, 10, 280, h + 20));
    container->setFrame(gfx::Rect(c.x(), c.y(), c.width(), h + 30));
  } else {
    label->setFrame(gfx::Rect(30, 0, 260, h + 10));
    container->setFrame(gfx::Rect(c.x(), c.y(), c.width(), h + 20));
  }
  return container;
}

void StaticContentTableViewController::setHeaderText(std::optional<std::string> text) {
  m_headerText = std::move(text);
  if (isViewLoaded()) tableView()->setTableHeaderView(m_headerText ? makeTextView(*m_headerText, true) : nullptr);
}

void StaticContentTableViewController::setFooterText(std::optional<std::string> text) {
  m_footerText = std::move(text);
  if (isViewLoaded()) tableView()->setTableFooterView(m_footerText ? makeTextView(*m_footerText, false) : nullptr);
}

}  // namespace kt
