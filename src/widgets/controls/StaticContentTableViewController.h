#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "widgets/controls/StaticContentTableViewSection.h"

namespace kt {

// A table screen described by section and row models instead of data-source code: it answers every
// question of its table from the models, inserts and removes sections and rows with the table's
// automatic animation, shows an optional centred header and footer text, and ends editing when the
// user finishes a drag. Sections are added once the view has loaded (loading clears them).
// Hold it in a std::shared_ptr. Main thread only.
class StaticContentTableViewController : public ui::ViewController,
                                         public ui::TableViewDataSource,
                                         public ui::TableViewDelegate {
 public:
  // Called with the new section and a number: for addSection, the count of sections with the new
  // one; for insertSection, the index it goes to.
  using SectionBlock = std::function<void(StaticContentTableViewSection& section, size_t sectionNumber)>;
  using Sections = std::vector<std::shared_ptr<StaticContentTableViewSection>>;

  explicit StaticContentTableViewController(ui::TableViewStyle style = ui::TableViewStyle::Plain);
  ~StaticContentTableViewController() override;

  // The controller's view, loaded on first use.
  std::shared_ptr<ui::TableView> tableView();

  void loadView() override;
  void viewDidLoad() override;

  // ---- Sections ----
  void removeAllSections() { m_sections.clear(); }
  // Appends a section connected to the table. The table is not told.
  void addSection(const SectionBlock& block);
  // Inserts a section at `index` (refused beyond the end) and shows it.
  bool insertSection(const SectionBlock& block, size_t index, bool animated = true);
  // Removes the section at `index` (refused out of range) and takes it off the table.
  bool removeSectionAtIndex(size_t index, bool animated = true);
  // Null out of range.
  std::shared_ptr<StaticContentTableViewSection> sectionAtIndex(size_t index) const;
  // Where the section is listed; nullopt when it is not.
  std::optional<int> indexOfSection(const StaticContentTableViewSection& section) const;

  // ---- Rows ----
  // Always animated, whatever `animated` says.
  bool insertCell(StaticContentConfigureBlock configure, const ui::IndexPath& indexPath, bool animated);
  // Into the section named by the index path (refused when there is none).
  bool insertCell(StaticContentConfigureBlock configure, StaticContentSelectionBlock whenSelected,
                  const ui::IndexPath& indexPath, bool animated);

  // ---- Header and footer texts ----
  // Shown as the table's header or footer view once the view has loaded; a text set before then is
  // kept but shown only when set again. No text removes the view.
  void setHeaderText(std::optional<std::string> text);
  void setFooterText(std::optional<std::string> text);
  const std::optional<std::string>& headerText() const { return m_headerText; }
  const std::optional<std::string>& footerText() const { return m_footerText; }

  const Sections& staticContentSections() const { return m_sections; }
  void setStaticContentSections(Sections sections);

  // ---- Table data source and delegate ----
  int numberOfSectionsInTableView(ui::TableView&) override { return int(m_sections.size()); }
  int numberOfRowsInSection(ui::TableView&, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::optional<std::string> titleForHeaderInSection(ui::TableView&, int section) override;
  bool canEditRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) override;
  // For tables that reorder rows: whether the row's model lets it move.
  bool canMoveRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath);
  ui::TableViewCellEditingStyle editingStyleForRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) override;
  void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  void scrollViewDidEndDragging(ui::ScrollView&, bool willDecelerate) override;

 private:
  // The row model at the index path; null when there is none.
  StaticContentTableViewCell* rowModel(const ui::IndexPath& indexPath) const;
  std::shared_ptr<StaticContentTableViewSection> makeSection();
  // The header or footer view: a container holding the centred text in a label sized to fit it.
  static std::shared_ptr<ui::View> makeTextView(const std::string& text, bool header);

  ui::TableViewStyle m_style;
  Sections m_sections;
  std::optional<std::string> m_headerText;
  std::optional<std::string> m_footerText;
};

}  // namespace kt
