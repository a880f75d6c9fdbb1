#include "platform/ui/TableView.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Touch.h"

namespace ui {

namespace {

constexpr double kPlainSupplementHeight = 22;
constexpr double kGroupedSpacing = 10;
constexpr double kGroupedHeaderTitleHeight = 38;
constexpr double kGroupedFooterTitleHeight = 30;
constexpr double kTapSlop = 10;
constexpr double kUpdateDuration = 0.3;

bool animates(TableViewRowAnimation animation) {
  return animation != TableViewRowAnimation::None && View::areAnimationsEnabled();
}

// The header or footer made for a section that has only a title.
std::shared_ptr<View> makeTitleView(const std::string& title, TableViewStyle style, bool header, double width,
                                    double height) {
  auto view = View::create(gfx::Rect(0, 0, width, height));
  view->setAutoresizingMask(AutoresizingFlexibleWidth);
  auto label = Label::create();
  label->setText(title);
  label->setAutoresizingMask(AutoresizingFlexibleWidth);
  label->setBackgroundColor(std::nullopt);
  if (style == TableViewStyle::Plain) {
    view->setBackgroundColor(gfx::Color(0.97, 0.97, 0.97));
    label->setFont(gfx::Font::boldSystemFont(14));
    label->setFrame(gfx::Rect(15, 0, std::max(0.0, width - 30), height));
  } else {
    view->setBackgroundColor(std::nullopt);
    view->setOpaque(false);
    label->setFont(gfx::Font::systemFont(header ? 14 : 13));
    label->setTextColor(gfx::Color(0.43, 0.43, 0.45));
    if (header) {
      label->setFrame(gfx::Rect(15, std::max(0.0, height - 26), std::max(0.0, width - 30), 20));
    } else {
      label->setNumberOfLines(0);
      label->setFrame(gfx::Rect(15, 6, std::max(0.0, width - 30), std::max(0.0, height - 6)));
    }
  }
  view->addSubview(label);
  return view;
}

}  // namespace

TableView::TableView(const gfx::Rect& frame, TableViewStyle style) : ScrollView(frame), m_style(style) {
  setBackgroundColor(style == TableViewStyle::Plain ? gfx::Color::whiteColor() : gfx::Color(0.94, 0.94, 0.96));
  setAlwaysBounceVertical(true);
}

TableView::~TableView() = default;

void TableView::setDataSource(TableViewDataSource* dataSource) {
  m_dataSource = dataSource;
  removeAllCells();
  m_needsReload = true;
  setNeedsLayout();
}

TableViewDelegate* TableView::delegate() const { return dynamic_cast<TableViewDelegate*>(ScrollView::delegate()); }

void TableView::setDelegate(TableViewDelegate* delegate) {
  ScrollView::setDelegate(delegate);
  m_needsReload = true;
  setNeedsLayout();
}

// ---- Metrics ----

void TableView::setRowHeight(double height) {
  if (m_rowHeight == height) return;
  m_rowHeight = height;
  m_needsReload = true;
  setNeedsLayout();
}

double TableView::sectionHeaderHeight() const {
  if (m_sectionHeaderHeight >= 0) return m_sectionHeaderHeight;
  return m_style == TableViewStyle::Plain ? kPlainSupplementHeight : kGroupedSpacing;
}

void TableView::setSectionHeaderHeight(double height) {
  m_sectionHeaderHeight = height;
  m_needsReload = true;
  setNeedsLayout();
}

double TableView::sectionFooterHeight() const {
  if (m_sectionFooterHeight >= 0) return m_sectionFooterHeight;
  return m_style == TableViewStyle::Plain ? kPlainSupplementHeight : kGroupedSpacing;
}

void TableView::setSectionFooterHeight(double height) {
  m_sectionFooterHeight = height;
  m_needsReload = true;
  setNeedsLayout();
}

void TableView::setTableHeaderView(std::shared_ptr<View> view) {
  if (m_tableHeaderView) m_tableHeaderView->removeFromSuperview();
  m_tableHeaderView = std::move(view);
  if (m_tableHeaderView) addSubview(m_tableHeaderView);
  m_needsReload = true;
  setNeedsLayout();
}

void TableView::setTableFooterView(std::shared_ptr<View> view) {
  if (m_tableFooterView) m_tableFooterView->removeFromSuperview();
  m_tableFooterView = std::move(view);
  if (m_tableFooterView) addSubview(m_tableFooterView);
  m_needsReload = true;
  setNeedsLayout();
}

void TableView::setBackgroundView(std::shared_ptr<View> view) {
  if (m_backgroundView) m_backgroundView->removeFromSuperview();
  m_backgroundView = std::move(view);
  if (m_backgroundView) {
    insertSubview(m_backgroundView, 0);
    m_backgroundView->setFrame(bounds());
  }
}

void TableView::setSeparatorStyle(TableViewCellSeparatorStyle style) {
  m_separatorStyle = style;
  for (auto& [ip, cell] : m_visible) configureCell(*cell, ip);
}

void TableView::setSeparatorColor(const gfx::Color& color) {
  m_separatorColor = color;
  for (auto& [ip, cell] : m_visible) configureCell(*cell, ip);
}

// ---- Geometry ----

std::optional<std::string> TableView::sectionTitle(int section, bool header) {
  if (!m_dataSource) return std::nullopt;
  return header ? m_dataSource->titleForHeaderInSection(*this, section)
                : m_dataSource->titleForFooterInSection(*this, section);
}

void TableView::ensureGeometry() {
  if (!m_needsReload) return;
  m_needsReload = false;
  computeGeometry();
}

void TableView::computeGeometry() {
  m_sections.clear();
  TableViewDelegate* d = delegate();
  if (m_dataSource && !m_inDataSource) {
    m_inDataSource = true;
    int n = std::max(0, m_dataSource->numberOfSectionsInTableView(*this));
    m_sections.resize(size_t(n));
    double defaultRow = m_rowHeight >= 0 ? m_rowHeight : 44;
    for (int s = 0; s < n; ++s) {
      SectionGeometry& g = m_sections[size_t(s)];
      g.rows = std::max(0, m_dataSource->numberOfRowsInSection(*this, s));
      g.headerTitle = sectionTitle(s, true);
      g.footerTitle = sectionTitle(s, false);
      // Heights of the header and footer: the delegate's, else the defaults of the style.
      for (bool header : {true, false}) {
        // The delegate's height, -1 where it gives none; a negative one counts as none.
        double asked = -1;
        if (d)
          asked = (header ? d->heightForHeaderInSection(*this, s) : d->heightForFooterInSection(*this, s)).value_or(-1);
        const bool given = !(asked < 0);
        bool hasTitle = header ? g.headerTitle.has_value() : g.footerTitle.has_value();
        bool hasView = false;
        if (d && !hasTitle) {
          hasView = (header ? d->viewForHeaderInSection(*this, s) : d->viewForFooterInSection(*this, s)) != nullptr;
        }
        (header ? g.headerView : g.footerView) = hasView;
        double explicitHeight = header ? m_sectionHeaderHeight : m_sectionFooterHeight;
        double value = 0;
        if (given) {
          value = asked;
        } else if (hasView) {
          value = explicitHeight >= 0 ? explicitHeight : kPlainSupplementHeight;
        } else if (hasTitle) {
          value = explicitHeight >= 0 ? explicitHeight
                  : m_style == TableViewStyle::Plain ? kPlainSupplementHeight
                  : header                           ? kGroupedHeaderTitleHeight
                                                     : kGroupedFooterTitleHeight;
        } else if (m_style == TableViewStyle::Grouped) {
          value = explicitHeight >= 0 ? explicitHeight : kGroupedSpacing;
        }
        (header ? g.header : g.footer) = value;
      }
      // Row heights: one number when they are all alike, else the running sums.
      std::vector<double> tops;
      bool uniform = true;
      double first = defaultRow, y = 0;
      for (int r = 0; r < g.rows; ++r) {
        double h = defaultRow;
        if (d) {
          if (auto dh = d->heightForRowAtIndexPath(*this, IndexPath{s, r}); dh && *dh >= 0) h = *dh;
        }
        if (r == 0) first = h;
        if (uniform && h != first) {
          uniform = false;
          tops.reserve(size_t(g.rows) + 1);
          for (int i = 0; i <= r; ++i) tops.push_back(i * first);
        }
        y += h;
        if (!uniform) tops.push_back(y);
      }
      g.uniformRow = first;
      g.rowTops = std::move(tops);
    }
    m_inDataSource = false;
  }
  double y = m_tableHeaderView ? m_tableHeaderView->frame().height() : 0;
  for (auto& g : m_sections) {
    g.top = y;
    y = g.bottom();
  }
  setContentSize({bounds().width(), contentHeight()});
}

double TableView::contentHeight() const {
  double y = m_sections.empty() ? (m_tableHeaderView ? m_tableHeaderView->frame().height() : 0)
                                : m_sections.back().bottom();
  if (m_tableFooterView) y += m_tableFooterView->frame().height();
  return y;
}

int TableView::sectionAtY(double y) const {
  auto it = std::upper_bound(m_sections.begin(), m_sections.end(), y,
                             [](double v, const SectionGeometry& g) { return v < g.top; });
  if (it == m_sections.begin()) return 0;
  return int(it - m_sections.begin()) - 1;
}

std::vector<IndexPath> TableView::rowsBetween(double y0, double y1) {
  std::vector<IndexPath> rows;
  if (m_sections.empty() || y1 <= y0) return rows;
  for (int s = sectionAtY(y0); s < int(m_sections.size()); ++s) {
    const SectionGeometry& g = m_sections[size_t(s)];
    if (g.top >= y1) break;
    double base = g.top + g.header;
    if (g.rows == 0 || g.rowsHeight() <= 0) continue;
    // The first row whose bottom is below y0.
    int r = 0;
    if (y0 > base) {
      if (g.rowTops.empty()) {
        r = int(std::floor((y0 - base) / g.uniformRow));
      } else {
        auto it = std::upper_bound(g.rowTops.begin(), g.rowTops.end(), y0 - base);
        r = int(it - g.rowTops.begin()) - 1;
      }
      r = std::clamp(r, 0, g.rows);
    }
    for (; r < g.rows; ++r) {
      double top = base + g.rowTop(r);
      if (top >= y1) break;
      if (g.rowTop(r + 1) > g.rowTop(r) && base + g.rowTop(r + 1) > y0) rows.push_back(IndexPath{s, r});
    }
  }
  return rows;
}

int TableView::numberOfSections() {
  ensureGeometry();
  return int(m_sections.size());
}

int TableView::numberOfRowsInSection(int section) {
  ensureGeometry();
  if (section < 0 || section >= int(m_sections.size())) return 0;
  return m_sections[size_t(section)].rows;
}

gfx::Rect TableView::rectForSection(int section) {
  ensureGeometry();
  if (section < 0 || section >= int(m_sections.size())) return gfx::Rect();
  const auto& g = m_sections[size_t(section)];
  return gfx::Rect(0, g.top, bounds().width(), g.bottom() - g.top);
}

gfx::Rect TableView::rectForHeaderInSection(int section) {
  ensureGeometry();
  if (section < 0 || section >= int(m_sections.size())) return gfx::Rect();
  const auto& g = m_sections[size_t(section)];
  return gfx::Rect(0, g.top, bounds().width(), g.header);
}

gfx::Rect TableView::rectForFooterInSection(int section) {
  ensureGeometry();
  if (section < 0 || section >= int(m_sections.size())) return gfx::Rect();
  const auto& g = m_sections[size_t(section)];
  return gfx::Rect(0, g.bottom() - g.footer, bounds().width(), g.footer);
}

gfx::Rect TableView::rectForRowAtIndexPath(const IndexPath& ip) {
  ensureGeometry();
  if (ip.section < 0 || ip.section >= int(m_sections.size())) return gfx::Rect();
  const auto& g = m_sections[size_t(ip.section)];
  if (ip.row < 0 || ip.row >= g.rows) return gfx::Rect();
  double top = g.top + g.header + g.rowTop(ip.row);
  return gfx::Rect(0, top, bounds().width(), g.rowTop(ip.row + 1) - g.rowTop(ip.row));
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(gfx::Point p) {
  ensureGeometry();
  if (p.x < 0 || p.x >= bounds().width()) return std::nullopt;
  auto rows = rowsBetween(p.y, std::nextafter(p.y, INFINITY));
  if (rows.empty()) return std::nullopt;
  return rows.front();
}

std::vector<IndexPath> TableView::indexPathsForRowsInRect(const gfx::Rect& rect) {
  ensureGeometry();
  return rowsBetween(rect.minY(), rect.maxY());
}

// ---- Reuse ----

void TableView::registerClass(const std::string& identifier, CellFactory factory) {
  m_pool.registerFactory(identifier, std::move(factory));
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  if (auto cell = m_pool.dequeue(identifier)) return cell;
  auto cell = m_pool.make(identifier);
  if (!cell) return nullptr;
  if (cell->reuseIdentifier().empty()) cell->setReuseIdentifier(identifier);
  ++m_cellsMade;
  return cell;
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                            const IndexPath& indexPath) {
  if (auto cell = dequeueReusableCellWithIdentifier(identifier)) return cell;
  KT_LOG("no cell class registered for \"%s\" (row %s); using a default cell", identifier.c_str(),
         indexPath.description().c_str());
  return TableViewCell::create(TableViewCellStyle::Default, identifier);
}

void TableView::enqueueCell(const std::shared_ptr<TableViewCell>& cell) {
  cell->removeFromSuperview();
  cell->setHighlighted(false);
  if (!cell->reuseIdentifier().empty()) m_pool.enqueue(cell->reuseIdentifier(), cell);
}

void TableView::removeAllCells() {
  auto visible = std::move(m_visible);
  m_visible.clear();
  TableViewDelegate* d = delegate();
  for (auto& [ip, cell] : visible) {
    enqueueCell(cell);
    if (d) d->didEndDisplayingCell(*this, *cell, ip);
  }
  for (auto* map : {&m_headers, &m_footers}) {
    for (auto& [s, sup] : *map) sup.view->removeFromSuperview();
    map->clear();
  }
}

void TableView::configureCell(TableViewCell& cell, const IndexPath& ip) {
  bool lastInSection = ip.section < int(m_sections.size()) && ip.row == m_sections[size_t(ip.section)].rows - 1;
  double inset = (m_style == TableViewStyle::Grouped && lastInSection) ? 0 : 15;
  cell.setSeparator(m_separatorStyle != TableViewCellSeparatorStyle::None, m_separatorColor, inset);
  TableViewCellEditingStyle editingStyle = TableViewCellEditingStyle::None;
  if (m_dataSource && m_dataSource->canEditRowAtIndexPath(*this, ip)) {
    TableViewDelegate* d = delegate();
    editingStyle = d ? d->editingStyleForRowAtIndexPath(*this, ip) : TableViewCellEditingStyle::Delete;
  }
  cell.setEditingStyle(editingStyle);
  cell.setEditing(m_editing);
  cell.setSelected(m_selected.count(ip) != 0);
}

// ---- Layout ----

void TableView::layoutSubviews() {
  ScrollView::layoutSubviews();
  updateVisibleCells();
}

void TableView::updateVisibleCells() { placeVisibleCells({}); }

void TableView::placeVisibleCells(const std::vector<IndexPath>& fadeIn) {
  if (m_inLayout || m_inDataSource) return;
  ensureGeometry();
  m_inLayout = true;
  auto keep = weak_from_this().lock();
  gfx::Rect b = bounds();
  if (b.width() != m_lastWidth) {
    m_lastWidth = b.width();
    setContentSize({b.width(), contentHeight()});
  }
  if (m_backgroundView) m_backgroundView->setFrame(b);
  if (m_tableHeaderView) {
    gfx::Rect f = m_tableHeaderView->frame();
    m_tableHeaderView->setFrame(gfx::Rect(0, 0, b.width(), f.height()));
  }
  if (m_tableFooterView) {
    gfx::Rect f = m_tableFooterView->frame();
    m_tableFooterView->setFrame(gfx::Rect(0, contentHeight() - f.height(), b.width(), f.height()));
  }

  std::vector<IndexPath> wanted = rowsBetween(b.minY(), b.maxY());
  TableViewDelegate* d = delegate();
  // Cells that left the visible area go back to their pools.
  for (auto it = m_visible.begin(); it != m_visible.end();) {
    if (!std::binary_search(wanted.begin(), wanted.end(), it->first)) {
      auto cell = it->second;
      IndexPath ip = it->first;
      it = m_visible.erase(it);
      enqueueCell(cell);
      if (d) d->didEndDisplayingCell(*this, *cell, ip);
    } else {
      ++it;
    }
  }
  bool added = false;
  for (const IndexPath& ip : wanted) {
    gfx::Rect frame(0, 0, b.width(), 0);
    {
      const auto& g = m_sections[size_t(ip.section)];
      frame.origin.y = g.top + g.header + g.rowTop(ip.row);
      frame.size.height = g.rowTop(ip.row + 1) - g.rowTop(ip.row);
    }
    auto found = m_visible.find(ip);
    if (found != m_visible.end()) {
      found->second->setFrame(frame);
      continue;
    }
    std::shared_ptr<TableViewCell> cell;
    if (m_dataSource) {
      m_inDataSource = true;
      cell = m_dataSource->cellForRowAtIndexPath(*this, ip);
      m_inDataSource = false;
    }
    if (!cell) {
      KT_LOG("the data source gave no cell for row %s", ip.description().c_str());
      cell = TableViewCell::create();
    }
    bool fade = std::binary_search(fadeIn.begin(), fadeIn.end(), ip);
    View::performWithoutAnimation([&] {
      cell->setFrame(frame);
      configureCell(*cell, ip);
      if (fade) cell->setAlpha(0);
      addSubview(cell);
      cell->layoutIfNeeded();
    });
    if (fade) cell->setAlpha(1);
    m_visible[ip] = cell;
    added = true;
    if (d) d->willDisplayCell(*this, *cell, ip);
  }
  placeSupplements();
  if (added) {
    for (auto* map : {&m_footers, &m_headers})
      for (auto& [s, sup] : *map) bringSubviewToFront(sup.view.get());
  }
  m_inLayout = false;
}

std::shared_ptr<View> TableView::makeSupplement(int section, bool header, bool& fromDelegate) {
  const auto& g = m_sections[size_t(section)];
  fromDelegate = false;
  if (TableViewDelegate* d = delegate(); d && (header ? g.headerView : g.footerView)) {
    if (auto v = header ? d->viewForHeaderInSection(*this, section) : d->viewForFooterInSection(*this, section)) {
      fromDelegate = true;
      return v;
    }
  }
  const auto& title = header ? g.headerTitle : g.footerTitle;
  if (!title) return nullptr;
  return makeTitleView(*title, m_style, header, bounds().width(), header ? g.header : g.footer);
}

void TableView::placeSupplements() {
  gfx::Rect b = bounds();
  double visibleTop = b.minY() + contentInset().top;
  std::map<int, gfx::Rect> headers, footers;
  if (!m_sections.empty()) {
    for (int s = sectionAtY(b.minY()); s < int(m_sections.size()); ++s) {
      const auto& g = m_sections[size_t(s)];
      if (g.top >= b.maxY()) break;
      if (g.header > 0) {
        double y = g.top;
        // Plain tables keep the header at the top while its rows are in view.
        if (m_style == TableViewStyle::Plain) y = std::max(g.top, std::min(visibleTop, g.top + g.rowsHeight()));
        gfx::Rect r(0, y, b.width(), g.header);
        if (r.maxY() > b.minY() && r.minY() < b.maxY()) headers[s] = r;
      }
      if (g.footer > 0) {
        gfx::Rect r(0, g.bottom() - g.footer, b.width(), g.footer);
        if (r.maxY() > b.minY() && r.minY() < b.maxY()) footers[s] = r;
      }
    }
  }
  for (bool header : {true, false}) {
    auto& map = header ? m_headers : m_footers;
    const auto& want = header ? headers : footers;
    for (auto it = map.begin(); it != map.end();) {
      if (!want.count(it->first)) {
        it->second.view->removeFromSuperview();
        it = map.erase(it);
      } else {
        ++it;
      }
    }
    for (const auto& [s, rect] : want) {
      auto it = map.find(s);
      if (it == map.end()) {
        bool fromDelegate = false;
        auto v = makeSupplement(s, header, fromDelegate);
        if (!v) continue;
        View::performWithoutAnimation([&, &rect = rect] {
          v->setFrame(rect);
          addSubview(v);
        });
        map[s] = Supplement{v, fromDelegate};
      } else {
        it->second.view->setFrame(rect);
      }
    }
  }
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& ip) {
  updateVisibleCells();
  auto it = m_visible.find(ip);
  return it == m_visible.end() ? nullptr : it->second;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const {
  for (const auto& [ip, c] : m_visible)
    if (c.get() == &cell) return ip;
  return std::nullopt;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() {
  updateVisibleCells();
  std::vector<std::shared_ptr<TableViewCell>> cells;
  cells.reserve(m_visible.size());
  for (auto& [ip, c] : m_visible) cells.push_back(c);
  return cells;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() {
  updateVisibleCells();
  std::vector<IndexPath> rows;
  rows.reserve(m_visible.size());
  for (auto& [ip, c] : m_visible) rows.push_back(ip);
  return rows;
}

std::shared_ptr<View> TableView::headerViewForSection(int section) {
  updateVisibleCells();
  auto it = m_headers.find(section);
  return it == m_headers.end() ? nullptr : it->second.view;
}

std::shared_ptr<View> TableView::footerViewForSection(int section) {
  updateVisibleCells();
  auto it = m_footers.find(section);
  return it == m_footers.end() ? nullptr : it->second.view;
}

void TableView::scrollToRowAtIndexPath(const IndexPath& ip, TableViewScrollPosition position, bool animated) {
  ensureGeometry();
  if (ip.section < 0 || ip.section >= int(m_sections.size()) || ip.row < 0 ||
      ip.row >= m_sections[size_t(ip.section)].rows) {
    KT_LOG("row %s is out of range", ip.description().c_str());
    return;
  }
  gfx::Rect r = rectForRowAtIndexPath(ip);
  gfx::Rect b = bounds();
  gfx::EdgeInsets in = contentInset();
  double visible = b.height() - in.top - in.bottom;
  double y = b.minY();
  if (position == TableViewScrollPosition::None) {
    if (r.minY() < b.minY() + in.top) position = TableViewScrollPosition::Top;
    else if (r.maxY() > b.maxY() - in.bottom) position = TableViewScrollPosition::Bottom;
  }
  switch (position) {
    case TableViewScrollPosition::Top: y = r.minY() - in.top; break;
    case TableViewScrollPosition::Middle: y = r.minY() - in.top - (visible - r.height()) / 2; break;
    case TableViewScrollPosition::Bottom: y = r.maxY() - in.top - visible; break;
    case TableViewScrollPosition::None: break;
  }
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  setContentOffset({b.minX(), std::clamp(y, min.y, max.y)}, animated);
}

// ---- Data ----

void TableView::reloadData() {
  removeAllCells();
  m_selected.clear();
  m_update = Update();
  m_needsReload = false;
  computeGeometry();
  setNeedsLayout();
  didReloadData();
}

void TableView::scheduleUpdate(TableViewRowAnimation animation) {
  m_update.any = true;
  if (animates(animation)) m_update.animated = true;
  if (m_updateDepth == 0) {
    Update update = std::move(m_update);
    m_update = Update();
    applyUpdate(std::move(update));
  }
}

void TableView::reloadSections(const IndexSet& sections, TableViewRowAnimation animation) {
  for (int s : sections) m_update.reloadedSections.add(s);
  scheduleUpdate(animation);
}

void TableView::reloadRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
  for (const auto& ip : indexPaths) m_update.reloadedRows[ip.section].add(ip.row);
  scheduleUpdate(animation);
}

void TableView::insertRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
  for (const auto& ip : indexPaths) m_update.insertedRows[ip.section].add(ip.row);
  scheduleUpdate(animation);
}

void TableView::deleteRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
  for (const auto& ip : indexPaths) m_update.deletedRows[ip.section].add(ip.row);
  scheduleUpdate(animation);
}

void TableView::insertSections(const IndexSet& sections, TableViewRowAnimation animation) {
  for (int s : sections) m_update.insertedSections.add(s);
  scheduleUpdate(animation);
}

void TableView::deleteSections(const IndexSet& sections, TableViewRowAnimation animation) {
  for (int s : sections) m_update.deletedSections.add(s);
  scheduleUpdate(animation);
}

void TableView::beginUpdates() { ++m_updateDepth; }

void TableView::endUpdates() {
  if (m_updateDepth == 0) {
    KT_LOG("endUpdates without beginUpdates");
    return;
  }
  if (--m_updateDepth > 0 || !m_update.any) return;
  Update update = std::move(m_update);
  m_update = Update();
  applyUpdate(std::move(update));
}

std::optional<int> TableView::mapSection(const Update& u, int old) const {
  if (u.deletedSections.contains(old)) return std::nullopt;
  int n = old - u.deletedSections.countBelow(old);
  for (int ins : u.insertedSections) {
    if (ins <= n) ++n;
    else break;
  }
  return n;
}

std::optional<IndexPath> TableView::mapThroughUpdate(const Update& u, const IndexPath& old,
                                                     const std::vector<int>& oldCounts) const {
  if (old.section < 0 || old.section >= int(oldCounts.size()) || old.row >= oldCounts[size_t(old.section)])
    return std::nullopt;
  auto ns = mapSection(u, old.section);
  if (!ns || u.reloadedSections.contains(old.section)) return std::nullopt;
  int k = old.row;
  if (auto del = u.deletedRows.find(old.section); del != u.deletedRows.end()) {
    if (del->second.contains(old.row)) return std::nullopt;
    k -= del->second.countBelow(old.row);
  }
  if (auto rel = u.reloadedRows.find(old.section); rel != u.reloadedRows.end() && rel->second.contains(old.row))
    return std::nullopt;
  if (auto ins = u.insertedRows.find(*ns); ins != u.insertedRows.end()) {
    for (int i : ins->second) {
      if (i <= k) ++k;
      else break;
    }
  }
  return IndexPath{*ns, k};
}

void TableView::applyUpdate(Update u) {
  if (m_needsReload || m_inDataSource) {
    // Nothing shown from the old data yet: a plain load is the same.
    m_needsReload = true;
    setNeedsLayout();
    return;
  }
  std::vector<int> oldCounts;
  oldCounts.reserve(m_sections.size());
  for (const auto& g : m_sections) oldCounts.push_back(g.rows);
  computeGeometry();

  // The counts after the changes must be the old ones changed by them.
  int oldN = int(oldCounts.size()), newN = int(m_sections.size());
  bool consistent = oldN - int(u.deletedSections.count()) + int(u.insertedSections.count()) == newN;
  for (int s = 0; consistent && s < oldN; ++s) {
    auto ns = mapSection(u, s);
    if (!ns || u.reloadedSections.contains(s)) continue;
    if (*ns >= newN) {
      consistent = false;
      break;
    }
    int expected = oldCounts[size_t(s)];
    if (auto del = u.deletedRows.find(s); del != u.deletedRows.end()) expected -= int(del->second.count());
    if (auto ins = u.insertedRows.find(*ns); ins != u.insertedRows.end()) expected += int(ins->second.count());
    if (expected != m_sections[size_t(*ns)].rows) consistent = false;
  }
  if (!consistent) {
    KT_LOG("the row counts after the update do not match the changes; reloading the table");
    reloadData();
    return;
  }

  TableViewDelegate* d = delegate();
  // Visible cells and the selection follow their rows.
  std::map<IndexPath, std::shared_ptr<TableViewCell>> moved;
  std::vector<std::pair<IndexPath, std::shared_ptr<TableViewCell>>> leaving;
  for (auto& [ip, cell] : m_visible) {
    if (auto nip = mapThroughUpdate(u, ip, oldCounts)) moved[*nip] = cell;
    else leaving.emplace_back(ip, cell);
  }
  m_visible = std::move(moved);
  std::set<IndexPath> selected;
  for (const auto& ip : m_selected)
    if (auto nip = mapThroughUpdate(u, ip, oldCounts)) selected.insert(*nip);
  m_selected = std::move(selected);
  for (auto* map : {&m_headers, &m_footers}) {
    for (auto& [s, sup] : *map) sup.view->removeFromSuperview();
    map->clear();
  }

  // Rows that are new to the eye fade in.
  std::vector<IndexPath> fadeIn;
  if (u.animated) {
    gfx::Rect b = bounds();
    std::set<int> freshSections(u.insertedSections.begin(), u.insertedSections.end());
    for (int s : u.reloadedSections)
      if (auto ns = mapSection(u, s)) freshSections.insert(*ns);
    std::set<IndexPath> fresh;
    for (auto& [s, rows] : u.insertedRows)
      for (int r : rows) fresh.insert(IndexPath{s, r});
    for (auto& [s, rows] : u.reloadedRows) {
      for (int r : rows) {
        Update without = u;
        without.reloadedRows.clear();
        if (auto nip = mapThroughUpdate(without, IndexPath{s, r}, oldCounts)) fresh.insert(*nip);
      }
    }
    for (const IndexPath& ip : rowsBetween(b.minY(), b.maxY()))
      if (freshSections.count(ip.section) || fresh.count(ip)) fadeIn.push_back(ip);
  }

  std::weak_ptr<Responder> weakSelf = weak_from_this();
  for (auto& [ip, cell] : leaving) {
    if (d) d->didEndDisplayingCell(*this, *cell, ip);
    if (!u.animated) {
      enqueueCell(cell);
      continue;
    }
    auto c = cell;
    View::animate(kUpdateDuration, [c] { c->setAlpha(0); },
                  [weakSelf, c](bool) {
                    auto self = std::dynamic_pointer_cast<TableView>(weakSelf.lock());
                    if (!self) {
                      c->removeFromSuperview();
                      return;
                    }
                    for (auto& [ip2, v] : self->m_visible)
                      if (v == c) return;  // shown again meanwhile
                    c->setAlpha(1);
                    self->enqueueCell(c);
                  });
  }
  if (u.animated) {
    View::animate(kUpdateDuration, [&] { placeVisibleCells(fadeIn); });
  } else {
    placeVisibleCells({});
  }
  setNeedsLayout();
}

// ---- Selection ----

void TableView::setAllowsSelection(bool allows) {
  m_allowsSelection = allows;
  if (!allows) {
    for (const auto& ip : m_selected)
      if (auto it = m_visible.find(ip); it != m_visible.end()) it->second->setSelected(false);
    m_selected.clear();
  }
}

void TableView::setAllowsMultipleSelection(bool allows) {
  m_allowsMultipleSelection = allows;
  if (allows) m_allowsSelection = true;
}

void TableView::setEditing(bool editing, bool animated) {
  if (m_editing == editing) return;
  m_editing = editing;
  for (auto& [ip, cell] : m_visible) cell->setEditing(editing, animated);
}

void TableView::selectRowAtIndexPath(std::optional<IndexPath> ip, bool animated, TableViewScrollPosition position) {
  ensureGeometry();
  if (!ip || !multipleSelectionNow()) {
    for (const auto& s : m_selected) {
      if (ip && s == *ip) continue;
      if (auto it = m_visible.find(s); it != m_visible.end()) it->second->setSelected(false, animated);
    }
    m_selected.clear();
  }
  if (!ip) return;
  if (ip->section < 0 || ip->section >= int(m_sections.size()) || ip->row < 0 ||
      ip->row >= m_sections[size_t(ip->section)].rows) {
    KT_LOG("row %s is out of range", ip->description().c_str());
    return;
  }
  m_selected.insert(*ip);
  if (auto it = m_visible.find(*ip); it != m_visible.end()) it->second->setSelected(true, animated);
  if (position != TableViewScrollPosition::None) scrollToRowAtIndexPath(*ip, position, animated);
}

void TableView::deselectRowAtIndexPath(const IndexPath& ip, bool animated) {
  m_selected.erase(ip);
  if (auto it = m_visible.find(ip); it != m_visible.end()) it->second->setSelected(false, animated);
}

std::optional<IndexPath> TableView::indexPathForSelectedRow() const {
  if (m_selected.empty()) return std::nullopt;
  return *m_selected.begin();
}

void TableView::selectFromTouch(const IndexPath& ip) {
  auto keep = weak_from_this().lock();
  TableViewDelegate* d = delegate();
  if (multipleSelectionNow() && m_selected.count(ip)) {
    std::optional<IndexPath> target = d ? d->willDeselectRowAtIndexPath(*this, ip) : ip;
    if (!target) return;
    deselectRowAtIndexPath(*target, false);
    if ((d = delegate())) d->didDeselectRowAtIndexPath(*this, *target);
    return;
  }
  std::optional<IndexPath> target = d ? d->willSelectRowAtIndexPath(*this, ip) : ip;
  if (!target) return;
  if (!multipleSelectionNow()) {
    std::vector<IndexPath> others;
    for (const auto& s : m_selected)
      if (s != *target) others.push_back(s);
    for (const auto& s : others) {
      d = delegate();
      std::optional<IndexPath> t = d ? d->willDeselectRowAtIndexPath(*this, s) : s;
      if (!t) continue;
      deselectRowAtIndexPath(*t, false);
      if ((d = delegate())) d->didDeselectRowAtIndexPath(*this, *t);
    }
  }
  m_selected.insert(*target);
  if (auto it = m_visible.find(*target); it != m_visible.end()) it->second->setSelected(true, false);
  if ((d = delegate())) d->didSelectRowAtIndexPath(*this, *target);
}

// ---- Touches: a touch that lifts where it went down, without scrolling, taps its row ----

void TableView::touchesBegan(const TouchSet& touches, const Event*) {
  if (touches.empty() || m_touchRow) return;
  const auto& touch = touches.front();
  gfx::Point p = touch->locationInView(this);
  auto ip = indexPathForRowAtPoint(p);
  if (!ip) return;
  auto cell = cellForRowAtIndexPath(*ip);
  m_touchRow = ip;
  m_touchStart = touch->locationInView(nullptr);
  m_touchOnEditingControl = false;
  if (cell && cell->isEditing() && cell->editingStyle() != TableViewCellEditingStyle::None) {
    m_touchOnEditingControl = cell->convertPointFrom(p, this).x < TableViewCell::EditingIndent;
  }
  if (m_touchOnEditingControl || !selectionAllowedNow()) return;
  TableViewDelegate* d = delegate();
  if (cell && (!d || d->shouldHighlightRowAtIndexPath(*this, *ip))) cell->setHighlighted(true, false);
}

void TableView::touchesMoved(const TouchSet& touches, const Event*) {
  if (!m_touchRow || touches.empty()) return;
  gfx::Point p = touches.front()->locationInView(nullptr);
  if (std::hypot(p.x - m_touchStart.x, p.y - m_touchStart.y) > kTapSlop || isDragging()) {
    if (auto it = m_visible.find(*m_touchRow); it != m_visible.end()) it->second->setHighlighted(false, false);
    m_touchRow.reset();
  }
}

void TableView::touchesEnded(const TouchSet&, const Event*) {
  if (!m_touchRow) return;
  IndexPath ip = *m_touchRow;
  m_touchRow.reset();
  auto keep = weak_from_this().lock();
  if (auto it = m_visible.find(ip); it != m_visible.end()) it->second->setHighlighted(false, false);
  if (m_touchOnEditingControl) {
    m_touchOnEditingControl = false;
    auto it = m_visible.find(ip);
    if (m_dataSource && it != m_visible.end())
      m_dataSource->commitEditingStyle(*this, it->second->editingStyle(), ip);
    return;
  }
  if (selectionAllowedNow()) selectFromTouch(ip);
}

void TableView::touchesCancelled(const TouchSet&, const Event*) {
  if (!m_touchRow) return;
  if (auto it = m_visible.find(*m_touchRow); it != m_visible.end()) it->second->setHighlighted(false, false);
  m_touchRow.reset();
  m_touchOnEditingControl = false;
}

}  // namespace ui
