#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BaseVC.h"
#include "platform/core/Value.h"
#include "platform/ui/Button.h"
#include "platform/ui/TableView.h"
#include "songs/ChooseMusicCell.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongsListCell.h"
#include "songs/StyleFavouriteCell.h"

namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

struct CloudRequest;

// What a song screen takes of the frame, and with which values.
struct SongScreenStyle {
  // How a successful add changes the queue badge.
  enum class BadgeOnAdd { None, Increment, IncrementAndShow };
  // The cell class of the frame's table.
  enum class Cells { StyleFavourite, SongsList };

  std::string title;               // in the bar, white; none when empty
  bool smallTitleFont = false;     // getSysFont_size34 instead of getSysFont_Size44
  std::string background;          // picture of the content background; the base one when empty
  bool hideBackButton = false;
  bool queueButton = true;         // the queue button with its badge
  bool hideZeroBadge = false;      // a queue of 0 hides the badge instead of showing "0"
  bool searchBar = true;
  bool searchBarRaised = false;    // one point higher
  std::string magnifier = "SearchTwo";
  bool separator = true;           // under the search bar
  bool remoteButton = true;
  bool tableBelowSearchBar = true; // else the table fills the content view
  bool pullDown = true;
  bool pullUp = true;
  Cells cells = Cells::StyleFavourite;
  // Messages of the choice alert when the tablet is not bound ("uid" missing or empty).
  std::string queueGuard = "请先登录~";
  std::string remoteGuard = "请先绑定房台~";
  std::optional<std::string> addGuard = std::string("请先登录~");  // nothing: adding needs no binding
  BadgeOnAdd badgeOnAdd = BadgeOnAdd::Increment;
};

// The frame the song screens share: a title in the bar, the back button that pops the screen, the
// queue button with a badge counting the room's queued songs, the search bar, the round remote
// control button, the song table with pull-down and pull-up paging, and adding a row's song to the
// room's queue. A screen gives its style and, for its list, the request of a page and the rows of
// a reply; the other song screens are opened through SongScreens by name.
//
// Paging: the page counter starts at 1; a pull-down asks for page 1 again, a pull-up for the next
// page. Every request carries the page it asked for and the generation of page-1 requests it
// belongs to; a reply of an older generation is dropped, so a late page never lands on a fresh
// first page. A page after the first that gets no usable reply steps the counter back, so the next
// pull-up asks for it again; an answer of no results does not (the next pull-up asks for the next
// page). A pull-up while a first page is still on its way is put back at once: its page could
// otherwise arrive first and be wiped by the first page.
//
// Requests never keep the screen alive: a reply that arrives after it has gone is dropped.
class SongScreen : public BaseVC,
                   public ui::TableViewDataSource,
                   public ui::TableViewDelegate,
                   public ChooseMusicDelegate,
                   public SongsListCellDelegate,
                   public StyleFavouriteCellDelegate {
 public:
  using Rows = std::vector<std::shared_ptr<ChooseMusicModel>>;

  explicit SongScreen(SongScreenStyle style);
  ~SongScreen() override;

  const SongScreenStyle& style() const { return m_style; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // The queue badge: asks for the room's queue ("uid", or "" when missing) and shows its length.
  void requestForAlreadyChoose();
  // The list request of the current page, under the progress overlay.
  void requestForData();
  // The search bar, the table with its refresh controls and the remote button.
  virtual void setupMyView();

  // ---- Actions ----
  void leftBarButtonClick() override;   // pops the screen
  void rightBarButtonClick() override;  // the queue screen, when bound
  void remoteClick();                   // the remote control, when bound
  void btnClickSearch();                // the search screen
  // Adds the song of that row to the room's queue (an index out of range does nothing).
  void didSelectTheMusic(int32_t index) override;

  // ---- Paging ----
  // The pull-down and pull-up blocks of the refresh controls.
  void pullDown();
  void pullUp();

  // ---- Table ----
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

  // ---- Views and rows ----
  // The table, made on first use.
  const std::shared_ptr<ui::TableView>& tbView_data();
  void setTbView_data(std::shared_ptr<ui::TableView> table) { m_tbView_data = std::move(table); }
  const std::shared_ptr<ui::ImageView>& imgV_rightBar() const { return m_imgV_rightBar; }
  const std::shared_ptr<ui::Label>& label_rightBar() const { return m_label_rightBar; }
  const std::shared_ptr<ui::Button>& btn_search() const { return m_btn_search; }
  const std::shared_ptr<ui::Button>& btn_remote() const { return m_btn_remote; }
  const std::shared_ptr<ui::Button>& btn_queue() const { return m_btn_queue; }
  const Rows& arr_data() const { return m_arr_data; }

 protected:
  // The list request of a page; nothing for a screen without a paged list.
  virtual std::optional<CloudRequest> listRequest(int page);
  // The rows of a list reply, or nothing when the reply is not usable. By default: the "list" of
  // a decoded reply, read as chart rows.
  virtual std::optional<Rows> rowsOfReply(const std::optional<core::Value>& reply);
  // Whether a reply answers that there are no results: the refresh controls stop and nothing else
  // changes (rows, table, footer state and page counter). No reply does so by default.
  virtual bool isNoResults(const std::optional<core::Value>& /*reply*/) const { return false; }
  // After a page that got no usable rows (refresh controls already ended, counter put back):
  // a screen's own message, if it has one. Nothing by default.
  virtual void pageFailed(int /*page*/) {}
  // Whether the footer may ask for another page after this page arrived (the rows shown are
  // already updated). By default: the page held rows.
  virtual bool hasMoreAfter(const Rows& page) const { return !page.empty(); }
  // The add-song reply (the overlay is already down): the toast "已添加" and the badge on
  // success, else the alert "提示" with the service's "msg" or a failure text.
  virtual void addSongReplied(const std::optional<core::Value>& reply);

  // The page counter: the page asked for next (each screen shows it under its own name).
  int page() const { return m_page; }
  // The frame's pieces, for screens that place them themselves.
  void addQueueButton(bool homeBadge);
  void addSearchBar(ui::View& parent);
  void addRemoteButton(ui::View& parent);
  // Shows the number on the badge (a 0 hides it under hideZeroBadge).
  void setBadgeCount(int count);
  // The badge text read as a whole number, plus one; shown when `show`.
  void incrementBadge(bool show);
  // The choice alert with one button "确定".
  static void showMessage(const std::string& message);
  // Opens the screen of that name when the tablet is bound, else shows the guard message.
  void openWhenBound(const char* screen, const std::string& guard);
  Rows& rows() { return m_arr_data; }
  // The style for a screen whose title or background is set after construction: read when the
  // view loads, so a change made later shows nothing.
  SongScreenStyle& styleToLoad() { return m_style; }
  // One row model per reply item, in order, made with those keys.
  static Rows modelsOf(const std::vector<core::Value>& items, const ChooseMusicModel::ReplyKeys& keys);

  // This screen as T while it lives: for callbacks that may outlast it.
  template <class T>
  std::function<std::shared_ptr<T>()> weakSelf() {
    return [weak = weak_from_this()] { return std::static_pointer_cast<T>(weak.lock()); };
  }
  // A clear custom button on `parent` whose taps call f(screen as T, button) while the screen lives.
  template <class T, class F>
  std::shared_ptr<ui::Button> addClearButton(ui::View& parent, const gfx::Rect& frame, F f) {
    auto button = ui::Button::create(ui::ButtonType::Custom, frame);
    button->setBackgroundColor(gfx::Color::clear());
    button->addTarget(this, [alive = weakSelf<T>(), f](ui::Control& sender, const ui::Event*) {
      if (auto screen = alive()) f(*screen, sender);
    }, ui::ControlEventTouchUpInside);
    parent.addSubview(button);
    return button;
  }
  // A song cell of class Cell for the row, reused when one is free, showing the row's model and
  // reporting its sing button to this screen.
  template <class Cell>
  std::shared_ptr<ui::TableViewCell> songCell(ui::TableView& tableView, const ui::IndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<Cell>(tableView.dequeueReusableCellWithIdentifier(SongRowCell::ReuseIdentifier));
    if (!cell) cell = Cell::create();
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    const size_t row = static_cast<size_t>(indexPath.row);
    if (row < m_arr_data.size()) cell->setupMyModel(*m_arr_data[row]);
    cell->setDelegate(this);
    cell->setCellIndex(indexPath.row);
    return cell;
  }

 private:
  // A list request's page and the generation of page-1 requests it was sent in.
  struct Ticket {
    int page = 1;
    uint64_t generation = 0;
  };
  void pageArrived(const Ticket& ticket, const std::optional<core::Value>& reply);
  void endRefreshing(bool footerHasMore);

  SongScreenStyle m_style;
  std::shared_ptr<ui::ImageView> m_imgV_rightBar;
  std::shared_ptr<ui::Label> m_label_rightBar;
  std::shared_ptr<ui::Button> m_btn_queue;
  std::shared_ptr<ui::Button> m_btn_search;
  std::shared_ptr<ui::Button> m_btn_remote;
  Rows m_arr_data;
  int m_page = 1;
  uint64_t m_generation = 0;
  bool m_firstPagePending = false;
  std::shared_ptr<ui::TableView> m_tbView_data;
};

}  // namespace kt
