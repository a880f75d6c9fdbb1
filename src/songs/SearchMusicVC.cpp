#include "songs/SearchMusicVC.h"

#include "app/APPFont.h"
#include "app/ColorHexadecimal.h"
#include "app/HUDClass.h"
#include "app/ScreenSize.h"
#include "app/TextFieldPlaceHolderColor.h"
#include "app/Toust.h"
#include "app/WGAlertView.h"
#include "platform/core/Log.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "songs/AlertView_style1.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/WGHTTPRequest.h"
#include "songs/WGLabelGradient.h"
#include "widgets/feedback/PRRefreshAutoNormalFooter.h"
#include "widgets/feedback/PRRefreshNormalHeader.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

namespace kt {

namespace {

constexpr const char* kSearchingText = "搜索中";
constexpr const char* kYes = "yes";

gfx::Color hexColor(const char* hex) {
  return ColorHexadecimal::colorWithHexString(hex).value_or(gfx::Color::black());
}

std::shared_ptr<ui::Label> hintLine(const gfx::Rect& frame, const std::string& text,
                                    std::shared_ptr<const gfx::Font> font) {
  auto label = ui::Label::create(frame);
  label->setText(text);
  label->setTextColor(hexColor("475686"));
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setFont(std::move(font));
  label->setBackgroundColor(gfx::Color::clear());
  return label;
}

// "<lead>“<name>”" with the name in the highlight colour.
std::shared_ptr<ui::Label> exampleLine(const gfx::Rect& frame, const std::string& lead, const std::string& name) {
  auto label = hintLine(frame, lead + "“" + name + "”", APPFont::getSysFont_size34());
  const size_t start = core::utf16Length(lead + "“");
  label->setColorRanges({gfx::ColorRange{start, core::utf16Length(name), hexColor("5779f9")}});
  return label;
}

}  // namespace

SearchMusicVC::SearchMusicVC() = default;

SearchMusicVC::~SearchMusicVC() {
  // The table and the field may outlive the screen for a moment; they must not call back.
  if (m_tbView_data) {
    m_tbView_data->setDataSource(nullptr);
    m_tbView_data->setDelegate(nullptr);
  }
  if (m_textF_search) m_textF_search->setDelegate(nullptr);
}

// f(screen, args...) while the screen lives; nothing after.
template <class F>
auto SearchMusicVC::whileAlive(F f) {
  return [weak = weak_from_this(), f](auto&&... args) {
    if (auto screen = std::static_pointer_cast<SearchMusicVC>(weak.lock())) f(*screen, args...);
  };
}

void SearchMusicVC::viewDidLoad() {
  BaseVC::viewDidLoad();
  imgV_baseBgHeng()->setImage(gfx::Image::named("SuperStarsBg"));
  hideLeftBarButton();
  hideRightBarButton();
  buildBar();
  m_history.clear();
  m_songs.clear();
  m_page = 1;
  setupMyView();
}

void SearchMusicVC::buildBar() {
  ui::View& bar = *navBarView();
  // The bar picture takes touches, so that the field and buttons inside it work.
  m_imgV_searchBar = ui::ImageView::create(pick({40, 29, 869, 36}, {53, 38, 1158, 48}));
  m_imgV_searchBar->setImage(gfx::Image::named("SearchMusicBar"));
  m_imgV_searchBar->setUserInteractionEnabled(true);
  bar.addSubview(m_imgV_searchBar);

  m_imgV_searchLogo = ui::ImageView::create(pick({28, 7, 22, 22}, {37, 9, 29, 29}));
  m_imgV_searchLogo->setImage(gfx::Image::named("SearchTwo"));
  m_imgV_searchBar->addSubview(m_imgV_searchLogo);

  m_textF_search = ui::TextField::create(pick({82, 3, 700, 30}, {109, 4, 933, 40}));
  m_textF_search->setTextColor(hexColor("514786"));
  m_textF_search->setTextAlignment(gfx::TextAlignment::Left);
  m_textF_search->setFont(APPFont::getSysFont_size34());
  m_textF_search->setPlaceholder("歌手、歌名");
  setPlaceholderColorWith(*m_textF_search, hexColor("514786"));
  m_textF_search->setBackgroundColor(gfx::Color::clear());
  m_textF_search->setReturnKeyType(ui::ReturnKeyType::Search);
  m_textF_search->setDelegate(this);
  m_imgV_searchBar->addSubview(m_textF_search);

  m_imgV_deleteText = ui::ImageView::create(pick({835, 9, 18, 18}, {1113, 12, 23, 24}));
  m_imgV_deleteText->setImage(gfx::Image::named("History_delete"));
  m_imgV_searchBar->addSubview(m_imgV_deleteText);

  m_btn_deleteText = ui::Button::create(ui::ButtonType::Custom, pick({832, 6, 24, 24}, {1109, 8, 31, 32}));
  m_btn_deleteText->setBackgroundColor(gfx::Color::clear());
  m_btn_deleteText->addTarget(this, whileAlive([](SearchMusicVC& s, ui::Control&, const ui::Event*) {
    s.deleteTextClick();
  }), ui::ControlEventTouchUpInside);
  m_imgV_searchBar->addSubview(m_btn_deleteText);
  setClearButtonOn(false);

  const gfx::Rect cancelFrame = pick({926, 25, 60, 44}, {1234, 33, 79, 58});
  m_label_cancel = ui::Label::create(cancelFrame);
  m_label_cancel->setText("取消");
  m_label_cancel->setTextColor(hexColor("928ba3"));
  m_label_cancel->setTextAlignment(gfx::TextAlignment::Right);
  m_label_cancel->setFont(APPFont::getSysFont_size36());
  m_label_cancel->setBackgroundColor(gfx::Color::clear());
  bar.addSubview(m_label_cancel);

  m_btn_cancel = ui::Button::create(ui::ButtonType::Custom, cancelFrame);
  m_btn_cancel->setBackgroundColor(gfx::Color::clear());
  m_btn_cancel->addTarget(this, whileAlive([](SearchMusicVC& s, ui::Control&, const ui::Event*) {
    s.cancelSearchClick();
  }), ui::ControlEventTouchUpInside);
  bar.addSubview(m_btn_cancel);
}

const std::shared_ptr<ui::TableView>& SearchMusicVC::tbView_data() {
  if (!m_tbView_data) {
    m_tbView_data = ui::TableView::create(pick({0, 5, 1024, 680}, {0, 6, 1364, 907}));
    m_tbView_data->setBackgroundColor(gfx::Color::clear());
    m_tbView_data->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
    m_tbView_data->setDelegate(this);
    m_tbView_data->setDataSource(this);
  }
  return m_tbView_data;
}

void SearchMusicVC::setupMyView() {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  const core::Value already = defaults.objectForKey(AlreadySearchKey);
  if (already.asString() && *already.asString() == kYes) {
    m_whetherFromLocation = true;
    m_history.clear();
    for (const core::Value& entry : storedHistory()) m_history.push_back(entry.description());
    bgView()->addSubview(tbView_data());
  } else {
    bgView()->addSubview(tbView_data());
    showNoSearchHistoryView();
  }
}

void SearchMusicVC::showNoSearchHistoryView() {
  m_view_noHistory = ui::View::create(pick({0, 0, 1024, 360}, {0, 0, 1364, 480}));
  m_view_noHistory->setBackgroundColor(gfx::Color::clear());
  m_view_noHistory->addSubview(
      hintLine(pick({0, 50, 1024, 23}, {0, 66, 1364, 30}), "请输入搜索的歌手、歌名", APPFont::getSysFont_size36()));
  m_view_noHistory->addSubview(exampleLine(pick({0, 108, 1024, 20}, {0, 144, 1364, 26}), "如,输入", "大海"));
  m_view_noHistory->addSubview(exampleLine(pick({0, 135, 1024, 20}, {0, 180, 1364, 26}), "输入", "青鸟乐队"));
  bgView()->addSubview(m_view_noHistory);
}

// ---- Table ----

int SearchMusicVC::numberOfSectionsInTableView(ui::TableView&) { return 1; }

int SearchMusicVC::numberOfRowsInSection(ui::TableView&, int) {
  const size_t count = m_whetherFromLocation ? m_history.size() : m_songs.size();
  KT_LOG("数据数量是：-------%ld", static_cast<long>(count));
  return static_cast<int>(count);
}

std::shared_ptr<ui::TableViewCell> SearchMusicVC::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                        const ui::IndexPath& indexPath) {
  const size_t row = static_cast<size_t>(std::max(0, indexPath.row));
  if (m_whetherFromLocation) {
    auto cell = std::dynamic_pointer_cast<SearchHistoryCell>(
        tableView.dequeueReusableCellWithIdentifier(SearchHistoryCell::ReuseIdentifier));
    if (!cell) {
      cell = SearchHistoryCell::create();
      cell->setDelegate(this);
      cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    }
    cell->setCellWithMsg(row < m_history.size() ? m_history[row] : std::string());
    cell->setNumOfIndex(indexPath.row);
    return cell;
  }
  auto cell = SearchMusicCell::dequeue(tableView, this, "Sing_normal", "Sing_selected");
  if (row < m_songs.size()) cell->setCellWithModel(*m_songs[row]);
  cell->setNumOfSongs(indexPath.row);
  return cell;
}

std::shared_ptr<ui::View> SearchMusicVC::viewForFooterInSection(ui::TableView&, int) {
  if (!m_whetherFromLocation) {
    auto empty = ui::View::create(gfx::Rect());
    empty->setBackgroundColor(gfx::Color::clear());
    return empty;
  }
  const gfx::Rect frame = pick({0, 0, 1024, 54}, {0, 0, 1364, 72});
  auto footer = ui::View::create(frame);
  footer->setBackgroundColor(gfx::Color::clear());

  const bool hasRows = !m_history.empty();
  auto label = WGLabelGradient::create(pick({0, 9, 1024, 36}, {0, 12, 1364, 48}));
  label->setFont(APPFont::getSysFont_size34());
  label->setColors({hexColor("34b5ca"), hexColor("34d4c3")});
  label->setBackgroundColor(gfx::Color::clear());
  label->setText(hasRows ? "清除历史记录" : "没有更多历史记录");
  label->sizeToFit();
  label->setCenter(gfx::Point{frame.width() / 2, frame.height() / 2});
  footer->addSubview(label);

  if (hasRows) {
    auto clearAll = ui::Button::create(ui::ButtonType::Custom, frame);
    clearAll->setBackgroundColor(gfx::Color::clear());
    clearAll->addTarget(this, whileAlive([](SearchMusicVC& s, ui::Control&, const ui::Event*) {
      s.removeAllLocalMsg();
    }), ui::ControlEventTouchUpInside);
    footer->addSubview(clearAll);
  }

  auto line = ui::ImageView::create(pick({0, 52, 1024, 2}, {0, 69, 1364, 2}));
  line->setImage(gfx::Image::named("SeparateLine2"));
  footer->addSubview(line);
  return footer;
}

std::optional<double> SearchMusicVC::heightForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
  return m_whetherFromLocation ? SearchHistoryCell::rowHeight() : SearchMusicCell::rowHeight();
}

std::optional<double> SearchMusicVC::heightForFooterInSection(ui::TableView&, int) {
  // Less than the footer view's own height: its lower part lies over the rows' space.
  return m_whetherFromLocation ? pick(30, 40) : 0;
}

void SearchMusicVC::didSelectRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) {
  KT_LOG("选择了%ld", static_cast<long>(indexPath.row));
  if (!m_whetherFromLocation) return;
  if (indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= m_history.size()) return;
  m_textF_search->setText(m_history[static_cast<size_t>(indexPath.row)]);
  beginSearch();
  requestForSongsLimit();
}

// ---- History ----

core::Value::Array SearchMusicVC::storedHistory() {
  const core::Value stored = core::UserDefaults::standard().arrayForKey(HistoryKey);
  const core::Value::Array* array = stored.asArray();
  return array ? *array : core::Value::Array{};
}

void SearchMusicVC::storeHistory(core::Value::Array history) {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.setObject(HistoryKey, core::Value(std::move(history)));
  defaults.synchronize();
}

void SearchMusicVC::removeAllLocalMsg() {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.setObject(HistoryKey, core::Value(core::Value::Array{}));
  defaults.removeObjectForKey(AlreadySearchKey);
  defaults.synchronize();
  m_history.clear();
  tbView_data()->reloadData();
}

void SearchMusicVC::didDeleteTheMsgAtIndex(int32_t index) {
  if (!m_whetherFromLocation || index < 0) return;
  const size_t at = static_cast<size_t>(index);
  // The stored list and the shown one are checked each on its own: the stored one may have
  // been changed or cut short since the screen read it.
  core::Value::Array stored = storedHistory();
  if (at < stored.size()) {
    stored.erase(stored.begin() + index);
    storeHistory(std::move(stored));
  }
  if (at < m_history.size()) m_history.erase(m_history.begin() + index);
  tbView_data()->reloadData();
}

// ---- Searching ----

bool SearchMusicVC::textFieldShouldBeginEditing(ui::TextField&) { return true; }

bool SearchMusicVC::textFieldShouldReturn(ui::TextField& textField) {
  textField.resignFirstResponder();
  const std::string typed = textField.text();
  if (typed.empty()) return true;

  if (m_view_noHistory) m_view_noHistory->removeFromSuperview();
  core::UserDefaults::standard().setString(AlreadySearchKey, kYes);
  // A text that a stored one already holds (spaces left out) is not stored again; nothing holds
  // the empty text.
  core::Value::Array stored = storedHistory();
  const std::string needle = CloudApi::removeSpaces(typed);
  bool contained = false;
  for (const core::Value& entry : stored) {
    const std::string text = entry.description();
    KT_LOG("%s----%s", text.c_str(), typed.c_str());
    if (!needle.empty() && text.find(needle) != std::string::npos) contained = true;
  }
  if (!contained) stored.push_back(core::Value(typed));
  storeHistory(std::move(stored));

  beginSearch();
  requestForSongsLimit();
  return true;
}

void SearchMusicVC::beginSearch() {
  m_history.clear();
  m_songs.clear();
  m_whetherFromLocation = false;
  m_page = 1;
  ui::TableView& table = *tbView_data();
  table.reloadData();
  setMj_header(table, PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>(
                          whileAlive([](SearchMusicVC& s) { s.pullDown(); })));
  setMj_footer(table, PRRefreshFooter::footerWithRefreshingBlock<PRRefreshAutoNormalFooter>(
                          whileAlive([](SearchMusicVC& s) { s.pullUp(); })));
}

void SearchMusicVC::pullDown() {
  m_page = 1;
  requestForSongsLimit();
}

void SearchMusicVC::pullUp() {
  // Its page could come back before the first page, which would then wipe it.
  if (m_firstPagePending) {
    if (auto footer = pr_footer(*tbView_data())) footer->endRefreshing();
    return;
  }
  ++m_page;
  requestForSongsLimit();
}

void SearchMusicVC::requestForSongsLimit() {
  if (m_page == 1) {
    ++m_search;
    m_firstPagePending = true;
  }
  const Ticket ticket{m_page, m_search};
  HUDClass::showAOHudWithStatus(kSearchingText);
  WGHTTPRequest::get(CloudApi::searchSongs(m_textF_search->text(), m_page),
                     whileAlive([ticket](SearchMusicVC& s, const std::optional<std::string>&,
                                         const std::optional<core::Value>& reply, const std::optional<core::Error>&) {
                       s.pageArrived(ticket, reply);
                     }));
}

void SearchMusicVC::pageArrived(const Ticket& ticket, const std::optional<core::Value>& reply) {
  if (ticket.search != m_search) {
    KT_LOG("page %d of an earlier search dropped", ticket.page);
    return;
  }
  HUDClass::dismissHud();
  if (ticket.page == 1) m_firstPagePending = false;
  if (!reply) {
    // Nothing is lost and the same page is asked for again by the next pull-up.
    if (ticket.page > 1 && ticket.page == m_page) --m_page;
    tbView_data()->reloadData();
    endRefreshing(true);
    return;
  }
  if (ticket.page == 1) m_songs.clear();
  for (const core::Value& item : CloudReply::rows(reply, "matches")) {
    m_songs.push_back(ChooseMusicModel::modelWithReplyItem(item, ChooseMusicModel::SearchKeys));
  }
  tbView_data()->reloadData();
  endRefreshing(!m_songs.empty());
}

void SearchMusicVC::endRefreshing(bool footerHasMore) {
  ui::TableView& table = *tbView_data();
  if (auto header = pr_header(table)) header->endRefreshing();
  if (auto footer = pr_footer(table)) {
    if (footerHasMore) footer->endRefreshing();
    else footer->endRefreshingWithNoMoreData();
  }
}

// ---- Queueing a song ----

void SearchMusicVC::didSelectTheIndexOfSongs(int32_t index) {
  KT_LOG("选择了第----%d----首演唱", index);
  if (index < 0 || static_cast<size_t>(index) >= m_songs.size()) return;
  const ChooseMusicModel& model = *m_songs[static_cast<size_t>(index)];
  if (!CloudApi::isBound()) {
    AlertView_style1::create("请先登录~", nullptr, std::nullopt)->show();
    return;
  }
  HUDClass::showAOHudWithStatus(kSearchingText);
  WGHTTPRequest::get(CloudApi::addSong(CloudApi::badgeUid(), model.string_musicName(), model.string_musicNumber(),
                                       model.string_musicSinger()),
                     whileAlive([](SearchMusicVC&, const std::optional<std::string>&,
                                   const std::optional<core::Value>& reply, const std::optional<core::Error>&) {
                       HUDClass::dismissHud();
                       if (CloudReply::isSuccess(reply)) {
                         Toust::showToustWithMessage("已添加");
                         return;
                       }
                       const std::string message =
                           reply ? CloudReply::text(reply, "msg") : std::string("请求错误,请稍后重试");
                       WGAlertView::create("提示", message, nullptr, std::nullopt)->show();
                     }));
}

// ---- Field and bar ----

void SearchMusicVC::setClearButtonOn(bool on) {
  m_imgV_deleteText->setHidden(!on);
  m_btn_deleteText->setEnabled(on);
}

bool SearchMusicVC::shouldChangeCharactersInRange(ui::TextField& textField, ui::TextRange,
                                                  const std::string& replacement) {
  if (!replacement.empty()) setClearButtonOn(true);
  else if (core::utf16Length(textField.text()) == 1) setClearButtonOn(false);
  return true;
}

void SearchMusicVC::deleteTextClick() { m_textF_search->setText(""); }

void SearchMusicVC::cancelSearchClick() {
  if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

}  // namespace kt
