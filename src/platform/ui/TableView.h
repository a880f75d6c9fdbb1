#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/ReusePool.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableViewCell.h"

namespace ui {

class Label;
class TableView;

// Numbered as the platform numbered them.
enum class TableViewStyle { Plain = 0, Grouped = 1 };
enum class TableViewScrollPosition { None = 0, Top = 1, Middle = 2, Bottom = 3 };
enum class TableViewRowAnimation { Fade = 0, Right = 1, Left = 2, Top = 3, Bottom = 4, None = 5, Middle = 6, Automatic = 100 };
enum class TableViewCellSeparatorStyle { None = 0, SingleLine = 1, SingleLineEtched = 2 };

// A height that means "the table's own default" (for rowHeight, sectionHeaderHeight and
// sectionFooterHeight, and as an answer of the delegate's height operations).
constexpr double TableViewAutomaticDimension = -1;

// Supplies the rows. The sender comes first; operations with bodies are optional.
class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual int numberOfSectionsInTableView(TableView&) { return 1; }
  virtual int numberOfRowsInSection(TableView&, int section) = 0;
  virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, const IndexPath& indexPath) = 0;
  // No title (nullopt) means no header (plain style) or only the section spacing (grouped).
  virtual std::optional<std::string> titleForHeaderInSection(TableView&, int /*section*/) { return std::nullopt; }
  virtual std::optional<std::string> titleForFooterInSection(TableView&, int /*section*/) { return std::nullopt; }
  virtual bool canEditRowAtIndexPath(TableView&, const IndexPath&) { return true; }
  virtual void commitEditingStyle(TableView&, TableViewCellEditingStyle, const IndexPath&) {}
};

// The table's delegate is also its scroll view's delegate. Height operations answer nullopt when
// the delegate does not give that height: the table then uses rowHeight, sectionHeaderHeight or
// sectionFooterHeight.
class TableViewDelegate : public ScrollViewDelegate {
 public:
  virtual std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) { return std::nullopt; }
  virtual std::optional<double> heightForHeaderInSection(TableView&, int /*section*/) { return std::nullopt; }
  virtual std::optional<double> heightForFooterInSection(TableView&, int /*section*/) { return std::nullopt; }
  virtual std::shared_ptr<View> viewForHeaderInSection(TableView&, int /*section*/) { return nullptr; }
  virtual std::shared_ptr<View> viewForFooterInSection(TableView&, int /*section*/) { return nullptr; }
  virtual void willDisplayCell(TableView&, TableViewCell&, const IndexPath&) {}
  virtual void didEndDisplayingCell(TableView&, TableViewCell&, const IndexPath&) {}
  virtual bool shouldHighlightRowAtIndexPath(TableView&, const IndexPath&) { return true; }
  // Answers the row to select instead, or nullopt to select nothing.
  virtual std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) { return indexPath; }
  virtual void didSelectRowAtIndexPath(TableView&, const IndexPath&) {}
  virtual std::optional<IndexPath> willDeselectRowAtIndexPath(TableView&, const IndexPath& indexPath) { return indexPath; }
  virtual void didDeselectRowAtIndexPath(TableView&, const IndexPath&) {}
  virtual TableViewCellEditingStyle editingStyleForRowAtIndexPath(TableView&, const IndexPath&) {
    return TableViewCellEditingStyle::Delete;
  }
};

// A scrolling list of rows in sections. Row positions are the running sums of the row heights,
// computed once per reload (rows of one height keep no list at all) and searched by bisection.
// Only the rows in the visible area have cells, placed in layoutSubviews after each change of
// offset; cells that leave go back to a pool per reuse identifier and are handed out again by
// dequeueReusableCellWithIdentifier. Plain tables keep a section's header at the top while the
// section is in view; grouped tables set sections apart with spacing and titled headers.
class TableView : public ScrollView {
 public:
  using CellFactory = std::function<std::shared_ptr<TableViewCell>()>;

  static std::shared_ptr<TableView> create(const gfx::Rect& frame = gfx::Rect(),
                                           TableViewStyle style = TableViewStyle::Plain) {
    return std::make_shared<TableView>(frame, style);
  }
  explicit TableView(const gfx::Rect& frame = gfx::Rect(), TableViewStyle style = TableViewStyle::Plain);
  ~TableView() override;

  TableViewStyle style() const { return m_style; }

  // Not owned: the caller keeps them alive while they are set.
  TableViewDataSource* dataSource() const { return m_dataSource; }
  void setDataSource(TableViewDataSource* dataSource);
  TableViewDelegate* delegate() const;
  void setDelegate(TableViewDelegate* delegate);

  // ---- Metrics ----
  double rowHeight() const { return m_rowHeight; }
  void setRowHeight(double height);
  // Plain: 22 (used only for sections with a title or a view); grouped: 10 without a title.
  double sectionHeaderHeight() const;
  void setSectionHeaderHeight(double height);
  double sectionFooterHeight() const;
  void setSectionFooterHeight(double height);

  const std::shared_ptr<View>& tableHeaderView() const { return m_tableHeaderView; }
  void setTableHeaderView(std::shared_ptr<View> view);
  const std::shared_ptr<View>& tableFooterView() const { return m_tableFooterView; }
  void setTableFooterView(std::shared_ptr<View> view);
  const std::shared_ptr<View>& backgroundView() const { return m_backgroundView; }
  void setBackgroundView(std::shared_ptr<View> view);

  TableViewCellSeparatorStyle separatorStyle() const { return m_separatorStyle; }
  void setSeparatorStyle(TableViewCellSeparatorStyle style);
  gfx::Color separatorColor() const { return m_separatorColor; }
  void setSeparatorColor(const gfx::Color& color);

  // ---- Selection and editing ----
  bool allowsSelection() const { return m_allowsSelection; }
  void setAllowsSelection(bool allows);
  bool allowsMultipleSelection() const { return m_allowsMultipleSelection; }
  void setAllowsMultipleSelection(bool allows);
  bool allowsSelectionDuringEditing() const { return m_allowsSelectionDuringEditing; }
  void setAllowsSelectionDuringEditing(bool allows) { m_allowsSelectionDuringEditing = allows; }
  bool allowsMultipleSelectionDuringEditing() const { return m_allowsMultipleSelectionDuringEditing; }
  void setAllowsMultipleSelectionDuringEditing(bool allows) { m_allowsMultipleSelectionDuringEditing = allows; }
  bool isEditing() const { return m_editing; }
  void setEditing(bool editing) { setEditing(editing, false); }
  void setEditing(bool editing, bool animated);

  // Selection in code tells the delegate nothing. Selecting nullopt deselects every row.
  void selectRowAtIndexPath(std::optional<IndexPath> indexPath, bool animated, TableViewScrollPosition position);
  void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);
  std::optional<IndexPath> indexPathForSelectedRow() const;
  std::vector<IndexPath> indexPathsForSelectedRows() const { return {m_selected.begin(), m_selected.end()}; }

  // ---- Cells ----
  void registerClass(const std::string& identifier, CellFactory factory);
  // A pooled cell (after prepareForReuse), else a new one from the registered factory, else null.
  std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
  // The same, for an identifier that must be registered: never null when it is.
  std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                   const IndexPath& indexPath);

  // ---- Data ----
  // Then tells the reload observers (ScrollView::addReloadObserver).
  void reloadData();
  void reloadSections(const IndexSet& sections, TableViewRowAnimation animation);
  void reloadRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
  // Deletions and reloads name rows as they were before the updates, insertions as they are after;
  // inside beginUpdates/endUpdates the changes are applied together at endUpdates.
  void insertRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
  void deleteRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
  void insertSections(const IndexSet& sections, TableViewRowAnimation animation);
  void deleteSections(const IndexSet& sections, TableViewRowAnimation animation);
  void beginUpdates();
  void endUpdates();

  int numberOfSections();
  int numberOfRowsInSection(int section);

  // ---- Geometry and visible rows ----
  gfx::Rect rectForSection(int section);
  gfx::Rect rectForHeaderInSection(int section);
  gfx::Rect rectForFooterInSection(int section);
  gfx::Rect rectForRowAtIndexPath(const IndexPath& indexPath);
  std::optional<IndexPath> indexPathForRowAtPoint(gfx::Point point);
  std::vector<IndexPath> indexPathsForRowsInRect(const gfx::Rect& rect);
  // The cell of a visible row; null when the row is not visible.
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath);
  std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
  std::vector<std::shared_ptr<TableViewCell>> visibleCells();
  std::vector<IndexPath> indexPathsForVisibleRows();
  // The header or footer view shown for a section, null when it is not visible.
  std::shared_ptr<View> headerViewForSection(int section);
  std::shared_ptr<View> footerViewForSection(int section);
  void scrollToRowAtIndexPath(const IndexPath& indexPath, TableViewScrollPosition position, bool animated);

  // How many cells the table itself made from registered factories (a measure of reuse).
  size_t cellsMadeByFactories() const { return m_cellsMade; }

  void layoutSubviews() override;

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  struct SectionGeometry {
    int rows = 0;
    double top = 0;     // where the section begins (its header), in content coordinates
    double header = 0;  // heights
    double footer = 0;
    double uniformRow = 0;         // the row height when every row has it
    std::vector<double> rowTops;   // otherwise the rows' tops relative to the end of the header, rows + 1 values
    std::optional<std::string> headerTitle;
    std::optional<std::string> footerTitle;
    bool headerView = false;  // the delegate gives a view
    bool footerView = false;
    double rowTop(int row) const { return rowTops.empty() ? row * uniformRow : rowTops[size_t(row)]; }
    double rowsHeight() const { return rowTop(rows); }
    double bottom() const { return top + header + rowsHeight() + footer; }
  };
  struct Update {
    IndexSet deletedSections, insertedSections, reloadedSections;
    std::map<int, IndexSet> deletedRows, insertedRows, reloadedRows;  // by section
    bool animated = false;
    bool any = false;
  };
  struct Supplement {
    std::shared_ptr<View> view;
    bool fromDelegate = false;
  };

  void ensureGeometry();
  void computeGeometry();
  std::optional<std::string> sectionTitle(int section, bool header);
  void updateVisibleCells();
  void placeVisibleCells(const std::vector<IndexPath>& inserted);
  void placeSupplements();
  std::shared_ptr<View> makeSupplement(int section, bool header, bool& fromDelegate);
  void enqueueCell(const std::shared_ptr<TableViewCell>& cell);
  void configureCell(TableViewCell& cell, const IndexPath& indexPath);
  // The range of global positions: the first row and the row after the last that meet [y0, y1).
  std::vector<IndexPath> rowsBetween(double y0, double y1);
  int sectionAtY(double y) const;
  double contentHeight() const;
  void applyUpdate(Update update);
  std::optional<IndexPath> mapThroughUpdate(const Update& update, const IndexPath& old,
                                            const std::vector<int>& oldCounts) const;
  std::optional<int> mapSection(const Update& update, int oldSection) const;
  void scheduleUpdate(TableViewRowAnimation animation);
  void selectFromTouch(const IndexPath& indexPath);
  void removeAllCells();
  bool selectionAllowedNow() const { return m_editing ? m_allowsSelectionDuringEditing : m_allowsSelection; }
  bool multipleSelectionNow() const {
    return m_editing ? m_allowsMultipleSelectionDuringEditing : m_allowsMultipleSelection;
  }

  TableViewStyle m_style = TableViewStyle::Plain;
  TableViewDataSource* m_dataSource = nullptr;
  double m_rowHeight = 44;
  double m_sectionHeaderHeight = TableViewAutomaticDimension;
  double m_sectionFooterHeight = TableViewAutomaticDimension;
  std::shared_ptr<View> m_tableHeaderView;
  std::shared_ptr<View> m_tableFooterView;
  std::shared_ptr<View> m_backgroundView;
  TableViewCellSeparatorStyle m_separatorStyle = TableViewCellSeparatorStyle::SingleLine;
  gfx::Color m_separatorColor = gfx::Color(0.78, 0.78, 0.8);
  bool m_allowsSelection = true;
  bool m_allowsMultipleSelection = false;
  bool m_allowsSelectionDuringEditing = false;
  bool m_allowsMultipleSelectionDuringEditing = false;
  bool m_editing = false;

  bool m_needsReload = true;
  bool m_inLayout = false;
  bool m_inDataSource = false;
  std::vector<SectionGeometry> m_sections;
  double m_lastWidth = -1;
  std::map<IndexPath, std::shared_ptr<TableViewCell>> m_visible;
  std::map<int, Supplement> m_headers;
  std::map<int, Supplement> m_footers;
  ReusePool<TableViewCell> m_pool;
  size_t m_cellsMade = 0;
  std::set<IndexPath> m_selected;

  int m_updateDepth = 0;
  Update m_update;

  // The row under a touch that may become a tap.
  std::optional<IndexPath> m_touchRow;
  gfx::Point m_touchStart;
  bool m_touchOnEditingControl = false;
};

}  // namespace ui
