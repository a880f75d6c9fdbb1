#include "songs/SongScreen.h"

#include "app/APPFont.h"
#include "app/ColorHexadecimal.h"
#include "app/ColorQX.h"
#include "app/HUDClass.h"
#include "app/ScreenSize.h"
#include "app/Toust.h"
#include "app/WGAlertView.h"
#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "songs/AlertView_style1.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/SongScreens.h"
#include "songs/WGHTTPRequest.h"
#include "widgets/feedback/PRRefreshAutoNormalFooter.h"
#include "widgets/feedback/PRRefreshNormalHeader.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

namespace kt {

SongScreen::SongScreen(SongScreenStyle style) : m_style(std::move(style)) {}

SongScreen::~SongScreen() {
  // The table may outlive the screen for a moment (a pending layout); it must not call back.
  if (m_tbView_data) {
    m_tbView_data->setDataSource(nullptr);
    m_tbView_data->setDelegate(nullptr);
  }
}

void SongScreen::viewDidLoad() {
  BaseVC::viewDidLoad();
  hideRightBarButton();
  if (m_style.hideBackButton) hideLeftBarButton();
  if (!m_style.title.empty()) {
    setNavTitle(m_style.title, gfx::Color::whiteColor(),
                m_style.smallTitleFont ? APPFont::getSysFont_size34() : APPFont::getSysFont_Size44());
  }
  m_page = 1;
  if (m_style.queueButton) addQueueButton(false);
  if (!m_style.background.empty()) imgV_baseBgHeng()->setImage(gfx::Image::named(m_style.background));
  m_arr_data.clear();
  setupMyView();
  requestForData();
}

void SongScreen::viewWillAppear(bool animated) {
  BaseVC::viewWillAppear(animated);
  // The count is fetched afresh on every appearance (coming back from the queue, search or
  // remote screens). The request is asynchronous; its reply is applied on the main loop.
  if (m_label_rightBar) requestForAlreadyChoose();
}

void SongScreen::addQueueButton(bool homeBadge) {
  ui::View& bar = *navBarView();
  m_imgV_rightBar = ui::ImageView::create(pick({935, 34, 60, 25}, {1246, 45, 79, 33}));
  m_imgV_rightBar->setImage(gfx::Image::named("AlreadySelect"));
  bar.addSubview(m_imgV_rightBar);

  m_btn_queue = addClearButton<SongScreen>(bar, pick({934, 24, 90, 45}, {1245, 32, 119, 60}),
                                           [](SongScreen& s, ui::Control&) { s.rightBarButtonClick(); });

  // The home screen's badge is a little taller and rounder.
  m_label_rightBar = ui::Label::create(homeBadge ? pick({981, 25, 20, 20}, {1307, 33, 26, 26})
                                                 : pick({981, 29, 20, 18}, {1307, 38, 26, 24}));
  m_label_rightBar->setBackgroundColor(gfx::Color(69 / 255.0, 95 / 255.0, 246 / 255.0, 1));
  m_label_rightBar->layer()->setCornerRadius(homeBadge ? pick(10, 13) : pick(9, 12));
  m_label_rightBar->setClipsToBounds(true);
  m_label_rightBar->setTextColor(ColorHexadecimal::colorWithHexString("241647").value_or(gfx::Color::black()));
  m_label_rightBar->setTextAlignment(gfx::TextAlignment::Center);
  m_label_rightBar->setFont(gfx::Font::systemFont(10));
  m_label_rightBar->setHidden(true);
  bar.addSubview(m_label_rightBar);
}

void SongScreen::addSearchBar(ui::View& parent) {
  const double raise = m_style.searchBarRaised ? 1 : 0;
  m_btn_search = ui::Button::create(ui::ButtonType::Custom, pick({31, 14 - raise, 962, 45}, {41, 18 - raise, 1282, 60}));
  m_btn_search->setBackgroundImage(gfx::Image::named("SearchBar"), ui::ControlStateNormal);
  m_btn_search->addTarget(this, [alive = weakSelf<SongScreen>()](ui::Control&, const ui::Event*) {
    if (auto screen = alive()) screen->btnClickSearch();
  }, ui::ControlEventTouchUpInside);
  parent.addSubview(m_btn_search);

  auto magnifier = ui::ImageView::create(pick({365, 12, 21, 21}, {486, 16, 27, 28}));
  magnifier->setImage(gfx::Image::named(m_style.magnifier));
  m_btn_search->addSubview(magnifier);

  auto hint = ui::Label::create(pick({410, 2.5, 300, 40}, {546, 3, 399, 53}));
  hint->setText("请输入搜索歌曲、歌星名");
  hint->setTextColor(ColorQX::getColor("514786"));
  hint->setTextAlignment(gfx::TextAlignment::Left);
  hint->setFont(APPFont::getSysFont_size34());
  hint->setBackgroundColor(gfx::Color::clear());
  m_btn_search->addSubview(hint);
}

void SongScreen::addRemoteButton(ui::View& parent) {
  const gfx::Rect frame = pick({31, 580, 80, 80}, {41, 773, 106, 106});
  auto picture = ui::ImageView::create(frame);
  picture->setImage(gfx::Image::named("RemoteControl"));
  parent.addSubview(picture);

  m_btn_remote = addClearButton<SongScreen>(parent, frame, [](SongScreen& s, ui::Control&) { s.remoteClick(); });
  m_btn_remote->layer()->setCornerRadius(pick(45, 60));
}

void SongScreen::setupMyView() {
  ui::View& content = *bgView();
  if (m_style.searchBar) {
    addSearchBar(content);
    if (m_style.separator) {
      auto line = ui::ImageView::create(pick({0, 68, 1024, 2}, {0, 90, 1364, 2}));
      line->setImage(gfx::Image::named("SeparateLine2"));
      content.addSubview(line);
    }
  }
  ui::TableView& table = *tbView_data();
  content.addSubview(m_tbView_data);
  auto alive = weakSelf<SongScreen>();
  if (m_style.pullDown) {
    setMj_header(table, PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([alive] {
                   if (auto screen = alive()) screen->pullDown();
                 }));
  }
  if (m_style.pullUp) {
    setMj_footer(table, PRRefreshFooter::footerWithRefreshingBlock<PRRefreshAutoNormalFooter>([alive] {
                   if (auto screen = alive()) screen->pullUp();
                 }));
  }
  if (m_style.remoteButton) addRemoteButton(content);
}

const std::shared_ptr<ui::TableView>& SongScreen::tbView_data() {
  if (!m_tbView_data) {
    m_tbView_data = ui::TableView::create(m_style.tableBelowSearchBar ? pick({0, 70, 1024, 619}, {0, 93, 1364, 825})
                                                                      : pick({0, 0, 1024, 689}, {0, 0, 1364, 919}));
    m_tbView_data->setBackgroundColor(gfx::Color::clear());
    m_tbView_data->setDelegate(this);
    m_tbView_data->setDataSource(this);
    m_tbView_data->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
  }
  return m_tbView_data;
}

// ---- Badge ----

void SongScreen::requestForAlreadyChoose() {
  WGHTTPRequest::get(CloudApi::queue(CloudApi::badgeUid()),
                     [alive = weakSelf<SongScreen>()](const std::optional<std::string>&,
                                                      const std::optional<core::Value>& reply,
                                                      const std::optional<core::Error>&) {
                       auto screen = alive();
                       // A failed request or another code leaves the badge as it is.
                       if (!screen || !CloudReply::isSuccess(reply)) return;
                       // Every entry of "list" counts, also one that makes no row.
                       screen->setBadgeCount(CloudReply::count(reply, "list"));
                     });
}

void SongScreen::setBadgeCount(int count) {
  if (!m_label_rightBar) return;
  m_label_rightBar->setText(std::to_string(count));
  m_label_rightBar->setHidden(m_style.hideZeroBadge && count <= 0);
}

void SongScreen::incrementBadge(bool show) {
  if (!m_label_rightBar) return;
  // A text that is no number reads as 0.
  const int64_t count = core::Value(m_label_rightBar->text()).intValue();
  m_label_rightBar->setText(std::to_string(count + 1));
  if (show) m_label_rightBar->setHidden(false);
}

// ---- Actions ----

void SongScreen::leftBarButtonClick() {
  if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

void SongScreen::openWhenBound(const char* screen, const std::string& guard) {
  if (!CloudApi::isBound()) {
    showMessage(guard);
    return;
  }
  setHideTabBar(true);
  SongScreens::open(navigationController(), screen);
}

void SongScreen::rightBarButtonClick() { openWhenBound(SongScreens::Queue, m_style.queueGuard); }

void SongScreen::remoteClick() {
  KT_LOG("遥控");
  openWhenBound(SongScreens::RemoteControl, m_style.remoteGuard);
}

void SongScreen::btnClickSearch() {
  setHideTabBar(true);
  SongScreens::open(navigationController(), SongScreens::Search);
}

void SongScreen::showMessage(const std::string& message) {
  AlertView_style1::create(message, nullptr, std::nullopt)->show();
}

// ---- Adding a song ----

void SongScreen::didSelectTheMusic(int32_t index) {
  KT_LOG("点击了第-->%d首歌", index);
  if (index < 0 || static_cast<size_t>(index) >= m_arr_data.size()) return;
  if (m_style.addGuard && !CloudApi::isBound()) {
    showMessage(*m_style.addGuard);
    return;
  }
  const ChooseMusicModel& model = *m_arr_data[static_cast<size_t>(index)];
  HUDClass::showHud();
  WGHTTPRequest::get(CloudApi::addSong(CloudApi::badgeUid(), model.string_musicName(), model.string_musicNumber(),
                                       model.string_musicSinger()),
                     [alive = weakSelf<SongScreen>()](const std::optional<std::string>&,
                                                      const std::optional<core::Value>& reply,
                                                      const std::optional<core::Error>&) {
                       auto screen = alive();
                       // A screen that has gone took its overlay down when it disappeared.
                       if (!screen) return;
                       HUDClass::dismissHud();
                       screen->addSongReplied(reply);
                     });
}

void SongScreen::addSongReplied(const std::optional<core::Value>& reply) {
  if (CloudReply::isSuccess(reply)) {
    if (m_style.badgeOnAdd != SongScreenStyle::BadgeOnAdd::None) {
      incrementBadge(m_style.badgeOnAdd == SongScreenStyle::BadgeOnAdd::IncrementAndShow);
    }
    Toust::showToustWithMessage("已添加");
    return;
  }
  const std::string message = reply ? CloudReply::text(reply, "msg") : std::string("请求错误,请稍后重试");
  WGAlertView::create("提示", message, nullptr, std::nullopt)->show();
}

// ---- Paging ----

std::optional<CloudRequest> SongScreen::listRequest(int /*page*/) { return std::nullopt; }

std::optional<SongScreen::Rows> SongScreen::rowsOfReply(const std::optional<core::Value>& reply) {
  if (!reply) return std::nullopt;
  return modelsOf(CloudReply::rows(reply, "list"), ChooseMusicModel::ChartKeys);
}

SongScreen::Rows SongScreen::modelsOf(const std::vector<core::Value>& items, const ChooseMusicModel::ReplyKeys& keys) {
  Rows out;
  out.reserve(items.size());
  for (const core::Value& item : items) out.push_back(ChooseMusicModel::modelWithReplyItem(item, keys));
  return out;
}

void SongScreen::requestForData() {
  std::optional<CloudRequest> request = listRequest(m_page);
  if (!request) return;
  if (m_page == 1) {
    ++m_generation;
    m_firstPagePending = true;
  }
  const Ticket ticket{m_page, m_generation};
  HUDClass::showHud();
  WGHTTPRequest::get(*request, [alive = weakSelf<SongScreen>(), ticket](const std::optional<std::string>&,
                                                                        const std::optional<core::Value>& reply,
                                                                        const std::optional<core::Error>&) {
    auto screen = alive();
    if (!screen) return;
    HUDClass::dismissHud();
    screen->pageArrived(ticket, reply);
  });
}

void SongScreen::pullDown() {
  m_page = 1;
  requestForData();
}

void SongScreen::pullUp() {
  if (m_firstPagePending) {
    if (auto footer = pr_footer(*tbView_data())) footer->endRefreshing();
    return;
  }
  ++m_page;
  requestForData();
}

void SongScreen::pageArrived(const Ticket& ticket, const std::optional<core::Value>& reply) {
  if (ticket.generation != m_generation) {
    KT_LOG("page %d of an earlier first page dropped", ticket.page);
    return;
  }
  if (ticket.page == 1) m_firstPagePending = false;
  if (isNoResults(reply)) {
    endRefreshing(true);
    return;
  }
  const std::optional<Rows> rows = rowsOfReply(reply);
  if (!rows) {
    // The page is asked for again by the next pull-up.
    if (ticket.page > 1 && ticket.page == m_page) --m_page;
    endRefreshing(true);
    pageFailed(ticket.page);
    return;
  }
  if (ticket.page == 1) m_arr_data.clear();
  m_arr_data.insert(m_arr_data.end(), rows->begin(), rows->end());
  endRefreshing(hasMoreAfter(*rows));
  tbView_data()->reloadData();
}

void SongScreen::endRefreshing(bool footerHasMore) {
  ui::TableView& table = *tbView_data();
  if (auto header = pr_header(table)) header->endRefreshing();
  if (auto footer = pr_footer(table)) {
    if (footerHasMore) footer->endRefreshing();
    else footer->endRefreshingWithNoMoreData();
  }
}

// ---- Table ----

int SongScreen::numberOfRowsInSection(ui::TableView& /*tableView*/, int /*section*/) {
  return static_cast<int>(m_arr_data.size());
}

std::shared_ptr<ui::TableViewCell> SongScreen::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                     const ui::IndexPath& indexPath) {
  if (m_style.cells == SongScreenStyle::Cells::SongsList) return songCell<SongsListCell>(tableView, indexPath);
  return songCell<StyleFavouriteCell>(tableView, indexPath);
}

std::optional<double> SongScreen::heightForRowAtIndexPath(ui::TableView& /*tableView*/,
                                                          const ui::IndexPath& /*indexPath*/) {
  return pick(102, 136);
}

}  // namespace kt
