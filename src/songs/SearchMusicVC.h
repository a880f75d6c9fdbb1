#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BaseVC.h"
#include "platform/core/Value.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "songs/SearchHistoryCell.h"
#include "songs/SearchMusicCell.h"

namespace ui {
class Button;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class ChooseMusicModel;

// The song search screen. The bar holds a search field (with its icon and a clear button) and
// "取消", which leaves the screen; below it one table shows either the stored search texts
// (history mode) or the songs found (results mode). It opens in history mode after an earlier
// search, else over a hint view. The keyboard's search key, or a tap on a stored text, searches
// the cloud song service page by page (pull-down: page 1 again; pull-up: the next page), and a
// found song's sing button queues it in the bound room.
//
// The history lives in the user defaults: the texts under "localSearchMsg" (oldest first) and
// "yes" under "alreadySearch" once a search was made from the keyboard. A typed text is added
// unless a stored text already contains it (spaces removed); deleting and clearing change both
// keys at once, and every change is written through before the action returns.
//
// Paging: every request carries the page it asked for and the search it belongs to (each first
// page is a new one); a reply of an earlier search is dropped. A page after the first that fails
// is asked for again by the next pull-up; a failed search keeps its rows and leaves the footer
// ready. A pull-up while a first page is on its way is put back at once. Replies never keep the
// screen alive.
class SearchMusicVC : public BaseVC,
                      public ui::TextFieldDelegate,
                      public ui::TableViewDataSource,
                      public ui::TableViewDelegate,
                      public SearchMusicDelegate,
                      public SearchHistoryDelegate {
 public:
  // The user-defaults keys of the history.
  static constexpr const char* HistoryKey = "localSearchMsg";
  static constexpr const char* AlreadySearchKey = "alreadySearch";

  SearchMusicVC();
  ~SearchMusicVC() override;

  // The one table, made on first use.
  const std::shared_ptr<ui::TableView>& tbView_data();
  void setTbView_data(std::shared_ptr<ui::TableView> table) { m_tbView_data = std::move(table); }

  void viewDidLoad() override;
  // History mode when a search was made before, else results mode under the hint view.
  void setupMyView();
  void showNoSearchHistoryView();

  // ---- Table ----
  int numberOfSectionsInTableView(ui::TableView& tableView) override;
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::shared_ptr<ui::View> viewForFooterInSection(ui::TableView& tableView, int section) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  std::optional<double> heightForFooterInSection(ui::TableView& tableView, int section) override;
  // In history mode, searches the tapped text; in results mode nothing.
  void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

  // ---- History ----
  // The footer's button: an empty stored list, "alreadySearch" removed.
  void removeAllLocalMsg();
  // A history row's delete button.
  void didDeleteTheMsgAtIndex(int32_t index) override;

  // ---- Songs ----
  // A song row's sing button: queues that row's song in the bound room.
  void didSelectTheIndexOfSongs(int32_t index) override;
  // The search of the field's text (spaces removed) for the current page, under the overlay.
  void requestForSongsLimit();
  // The pull-down and pull-up blocks of the refresh controls.
  void pullDown();
  void pullUp();

  // ---- Field and bar ----
  void deleteTextClick();
  void cancelSearchClick();
  bool textFieldShouldBeginEditing(ui::TextField& textField) override;
  // The search key: a search of the typed text, which joins the history.
  bool textFieldShouldReturn(ui::TextField& textField) override;
  // Switches the clear button on with any typed text and off when the last character goes.
  bool shouldChangeCharactersInRange(ui::TextField& textField, ui::TextRange range,
                                     const std::string& replacement) override;

  // ---- State ----
  bool whetherFromLocation() const { return m_whetherFromLocation; }
  int page_page() const { return m_page; }
  // The rows of history mode (the stored texts as shown) and of results mode.
  const std::vector<std::string>& historyRows() const { return m_history; }
  const std::vector<std::shared_ptr<ChooseMusicModel>>& songRows() const { return m_songs; }

  const std::shared_ptr<ui::ImageView>& imgV_searchBar() const { return m_imgV_searchBar; }
  const std::shared_ptr<ui::ImageView>& imgV_searchLogo() const { return m_imgV_searchLogo; }
  const std::shared_ptr<ui::TextField>& textF_search() const { return m_textF_search; }
  const std::shared_ptr<ui::ImageView>& imgV_deleteText() const { return m_imgV_deleteText; }
  const std::shared_ptr<ui::Button>& btn_deleteText() const { return m_btn_deleteText; }
  const std::shared_ptr<ui::Label>& label_cancel() const { return m_label_cancel; }
  const std::shared_ptr<ui::Button>& btn_cancel() const { return m_btn_cancel; }
  // Null until shown; stays set (out of the view tree) after the first search removes it.
  const std::shared_ptr<ui::View>& view_noHistory() const { return m_view_noHistory; }

 private:
  // A search request's page and the search it was sent for.
  struct Ticket {
    int page = 1;
    uint64_t search = 0;
  };

  void buildBar();
  // Clears the rows, leaves history mode and gives the table new refresh controls, before the
  // first page of a search.
  void beginSearch();
  void pageArrived(const Ticket& ticket, const std::optional<core::Value>& reply);
  void endRefreshing(bool footerHasMore);
  // The clear button shown and enabled, or hidden and disabled.
  void setClearButtonOn(bool on);
  // The stored texts as an array (empty when the key holds none).
  static core::Value::Array storedHistory();
  static void storeHistory(core::Value::Array history);
  template <class F>
  auto whileAlive(F f);

  std::shared_ptr<ui::ImageView> m_imgV_searchBar;
  std::shared_ptr<ui::ImageView> m_imgV_searchLogo;
  std::shared_ptr<ui::TextField> m_textF_search;
  std::shared_ptr<ui::ImageView> m_imgV_deleteText;
  std::shared_ptr<ui::Button> m_btn_deleteText;
  std::shared_ptr<ui::Label> m_label_cancel;
  std::shared_ptr<ui::Button> m_btn_cancel;
  std::vector<std::string> m_history;
  std::vector<std::shared_ptr<ChooseMusicModel>> m_songs;
  int m_page = 1;
  uint64_t m_search = 0;
  bool m_firstPagePending = false;
  bool m_whetherFromLocation = false;
  std::shared_ptr<ui::View> m_view_noHistory;
  std::shared_ptr<ui::TableView> m_tbView_data;
};

}  // namespace kt
