#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "songs/SongScreen.h"

namespace kt {

// A song screen whose table lists fixed names (singer regions, song categories), one
// StyleStarsCell row each; a tap on a row opens what that name leads to. The names travel on
// unchanged: the row shows exactly the text that the next screen receives.
class NameListScreen : public SongScreen {
 public:
  // The frame titled `title` on the background "SuperStarsBg", search bar a point higher, no paging.
  explicit NameListScreen(std::string title);
  ~NameListScreen() override;

  const std::vector<std::string>& names() const { return m_names; }

  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  // Opens the row's name; a row outside the list does nothing.
  void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

 protected:
  // Replaces the names and reloads the table.
  void setNames(std::vector<std::string> names);
  // What a tap on the row of that name opens.
  virtual void openName(const std::string& name) = 0;

 private:
  std::vector<std::string> m_names;
};

}  // namespace kt
