#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "songs/SongScreen.h"

namespace kt {

class StarsListModel;

// The singers of one region, page by page from the search host ("getsingersbyclass" with the
// page and the region name), under the frame's search bar with pull-down and pull-up. A tap on a
// singer opens the titled song list of that singer. The region is given by the opener before the
// screen loads; it is the title and the "tname" sent.
//
// Paging follows the frame's rule: a failed page is asked for again by the next pull-up, and a
// page of an earlier first page never lands on the list. Reply items without a singer name are
// left out: there is nothing to show or to open for them.
class StarsSecondVC : public SongScreen {
 public:
  StarsSecondVC();
  ~StarsSecondVC() override;

  // The page of singers asked for last.
  int page_stars() const { return page(); }

  const std::string& string_navTitle() const { return m_string_navTitle; }
  void setString_navTitle(std::string region) { m_string_navTitle = std::move(region); }

  void viewDidLoad() override;

  // The singer of that row; null for a row outside the list.
  std::shared_ptr<StarsListModel> singerAt(int row) const;

  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  // Opens the titled song list of the row's singer; a row outside the list does nothing.
  void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  // Singer rows have no sing button: nothing is queued from here.
  void didSelectTheMusic(int32_t /*index*/) override {}

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
  std::optional<Rows> rowsOfReply(const std::optional<core::Value>& reply) override;

 private:
  std::string m_string_navTitle;
};

}  // namespace kt
