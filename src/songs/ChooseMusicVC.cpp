#include "songs/ChooseMusicVC.h"

#include "app/APPFont.h"
#include "app/AppDelegate.h"
#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "app/Toust.h"
#include "link/InitViewController.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ScrollView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/SongScreens.h"
#include "songs/WGHTTPRequest.h"

#include <algorithm>
#include <cmath>

namespace kt {
namespace {

// The 12.9-inch values computed from the standard ones: x by 1.333, y by 1.334, rounded down.
double largeX(double x) { return std::floor(x * 1.333); }
double largeY(double y) { return std::floor(y * 1.334); }

gfx::Color hexColor(const char* text) { return ColorHexadecimal::colorWithHexString(text).value_or(gfx::Color::black()); }

SongScreenStyle homeStyle() {
  SongScreenStyle style;
  style.background = "SongsHomePageBg";
  style.hideBackButton = true;
  style.hideZeroBadge = true;
  style.pullDown = false;
  style.pullUp = false;
  style.queueGuard = "请先绑定房台~";
  style.addGuard = "请先绑定房台~";
  style.badgeOnAdd = SongScreenStyle::BadgeOnAdd::IncrementAndShow;
  return style;
}

}  // namespace

const std::vector<std::string>& ChooseMusicVC::styleTitles() {
  static const std::vector<std::string> titles = {"zu排行榜", "男女对唱", "经典老歌", "友谊万岁", "甜蜜幸福", "心碎伤感"};
  return titles;
}

ChooseMusicVC::ChooseMusicVC() : SongScreen(homeStyle()) {}

ChooseMusicVC::~ChooseMusicVC() {
  if (m_tbView_recommend) {
    m_tbView_recommend->setDataSource(nullptr);
    m_tbView_recommend->setDelegate(nullptr);
  }
}

// ---- Views ----

const std::shared_ptr<ui::ScrollView>& ChooseMusicVC::scrollV() {
  if (!m_scrollV) {
    m_scrollV = std::make_shared<ui::ScrollView>(pick({0, 0, 1024, 689}, {0, 0, 1364, 919}));
    m_scrollV->setBackgroundColor(gfx::Color::clear());
    m_scrollV->setShowsVerticalScrollIndicator(false);
  }
  return m_scrollV;
}

const std::shared_ptr<ui::TableView>& ChooseMusicVC::tbView_recommend() {
  if (!m_tbView_recommend) {
    m_tbView_recommend = ui::TableView::create(pick({0, 404, 1024, 952}, {0, 538, 1364, 1269}));
    m_tbView_recommend->setBackgroundColor(gfx::Color::clear());
    m_tbView_recommend->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
    m_tbView_recommend->setDelegate(this);
    m_tbView_recommend->setDataSource(this);
    m_tbView_recommend->setScrollEnabled(false);
  }
  return m_tbView_recommend;
}

const std::shared_ptr<ui::ImageView>& ChooseMusicVC::view_module() {
  if (!m_view_module) {
    m_view_module = ui::ImageView::create(pick({0, 404, 1024, 490}, {0, 538, 1364, 653}));
    m_view_module->setUserInteractionEnabled(true);
    m_view_module->setBackgroundColor(gfx::Color::clear());
  }
  return m_view_module;
}

void ChooseMusicVC::viewDidLoad() {
  BaseVC::viewDidLoad();
  hideLeftBarButton();
  hideRightBarButton();
  navBarView()->setBackgroundColor(gfx::Color::clear());
  addNavigationBarItems();
  bgView()->setBackgroundColor(gfx::Color::whiteColor());
  imgV_baseBgHeng()->setImage(gfx::Image::named(style().background));
  rows().clear();
  setupMyView();
  requestForRecommend();
}

void ChooseMusicVC::addNavigationBarItems() {
  ui::View& bar = *navBarView();
  auto logo = ui::ImageView::create(pick({29, 34, 60, 25}, {38, 45, 79, 33}));
  logo->setImage(gfx::Image::named("Logo_varlo"));
  bar.addSubview(logo);

  addClearButton<ChooseMusicVC>(bar, pick({5, 24, 90, 45}, {6, 32, 119, 60}),
                                [](ChooseMusicVC& s, ui::Control&) { s.leftBarButtonClick(); });

  addQueueButton(true);

  m_imgV_title = ui::ImageView::create(pick({436, 38.5, 152, 20}, {581, 51, 202, 26}));
  m_imgV_title->setImage(gfx::Image::named("Binding"));
  m_imgV_title->setUserInteractionEnabled(true);
  bar.addSubview(m_imgV_title);

  addClearButton<ChooseMusicVC>(bar, pick({436, 24, 152, 45}, {581, 32, 202, 60}),
                                [](ChooseMusicVC& s, ui::Control&) { s.changeTitle(); });
}

void ChooseMusicVC::setupMyView() {
  ui::ScrollView& scroll = *scrollV();
  bgView()->addSubview(m_scrollV);
  scroll.setContentSize(isTwelveNineInch() ? gfx::Size{1364, 1200} : gfx::Size{1024, 900});

  addSearchBar(scroll);
  addModules(scroll);
  auto line = ui::ImageView::create(pick({0, 402, 1024, 2}, {0, 536, 1364, 2}));
  line->setImage(gfx::Image::named("SeparateLine2"));
  scroll.addSubview(line);
  scroll.addSubview(tbView_recommend());
  scroll.addSubview(view_module());
  addStyleTiles(*m_view_module);

  // Fixed over the scroll view.
  addRemoteButton(*bgView());
}

void ChooseMusicVC::addModules(ui::View& parent) {
  static const char* const pictures[] = {"Favourite", "Hot", "Singers", "Style"};
  for (int i = 0; i < 4; ++i) {
    const double x = 256.0 * i;
    auto picture = ui::ImageView::create(pick({x, 333, 256, 34}, {largeX(x), 444, 341, 45}));
    picture->setImage(gfx::Image::named(pictures[i]));
    parent.addSubview(picture);

    addClearButton<ChooseMusicVC>(parent, pick({x, 298, 256, 104}, {largeX(x), 397, 341, 138}),
                                  [](ChooseMusicVC& s, ui::Control& b) { s.songClassifyClick(b.tag()); })
        ->setTag(1000 + i);
  }
}

void ChooseMusicVC::addStyleTiles(ui::View& parent) {
  static const double xs[] = {31, 356, 681};
  static const double ys[] = {5, 245};
  for (int k = 0; k < 6; ++k) {
    const double x = xs[k % 3];
    const double y = ys[k / 3];
    auto tile = ui::ImageView::create(pick({x, y, 313, 228}, {largeX(x), largeY(y), 417, 304}));
    tile->setImage(gfx::Image::named("Style_" + std::to_string(k + 1)));
    tile->setUserInteractionEnabled(true);
    parent.addSubview(tile);

    auto title = ui::Label::create(pick({0, 180, 313, 24}, {0, 240, 417, 32}));
    title->setText(styleTitles()[size_t(k)]);
    title->setTextColor(hexColor("b1f1ff"));
    title->setTextAlignment(gfx::TextAlignment::Center);
    title->setFont(APPFont::getSysFont_size36());
    title->setBackgroundColor(gfx::Color::clear());
    tile->addSubview(title);

    addClearButton<ChooseMusicVC>(*tile, pick({0, 0, 313, 228}, {0, 0, 417, 304}),
                                  [](ChooseMusicVC& s, ui::Control& b) { s.songStyleBtnClick(b.tag()); })
        ->setTag(1000 + k);
  }
}

// ---- Appearance and requests ----

void ChooseMusicVC::viewWillAppear(bool animated) {
  BaseVC::viewWillAppear(animated);
  setHideTabBar(false);
  if (ui::NavigationController* nav = navigationController()) nav->setNavigationBarHidden(true);
  requestData();
  requestForAlreadyChoose();
  requestForRecommend();
}

void ChooseMusicVC::requestData() {
  WGHTTPRequest::get(CloudApi::banners(), [alive = weakSelf<ChooseMusicVC>()](const std::optional<std::string>&,
                                                                              const std::optional<core::Value>& reply,
                                                                              const std::optional<core::Error>&) {
    auto screen = alive();
    if (!screen || !reply) return;
    // The list and the carousel change together, so a tap never reads a list the carousel
    // does not show.
    screen->m_arr_cycleData = CloudReply::bannerItems(reply);
    screen->reloadCycleViewData();
  });
}

void ChooseMusicVC::reloadCycleViewData() {
  std::vector<std::string> paths;
  for (const core::Value& item : m_arr_cycleData) paths.push_back(CloudReply::text(item, "classdetailbigimage"));
  auto carousel = WGCycleScrollView::cycleScrollViewWithFrame(pick({0, 72, 1024, 225}, {0, 96, 1364, 300}), paths);
  carousel->setDelegate(this);
  carousel->setPageCLocation(WGCycleScrollView::PageCLocationCenter);
  // Taking the old carousel off stops its timer.
  if (m_cycleView) m_cycleView->removeFromSuperview();
  scrollV()->addSubview(carousel);
  m_cycleView = carousel;
}

void ChooseMusicVC::requestForRecommend() {
  // The chart was once handed to a global queue and waited for; here it is an asynchronous
  // request like the others, its reply applied on the main loop, so nothing waits. Of two
  // requests in flight (the first appearance sends two) only a reply newer than the one shown
  // is applied.
  const uint64_t generation = ++m_recommendGeneration;
  WGHTTPRequest::get(CloudApi::chart(1), [alive = weakSelf<ChooseMusicVC>(), generation](
                                             const std::optional<std::string>&, const std::optional<core::Value>& reply,
                                             const std::optional<core::Error>&) {
    if (auto screen = alive()) screen->recommendArrived(generation, reply);
  });
}

void ChooseMusicVC::recommendArrived(uint64_t generation, const std::optional<core::Value>& reply) {
  if (!reply || generation <= m_recommendShown) return;
  m_recommendShown = generation;
  Rows& models = rows();
  models = modelsOf(CloudReply::rows(reply, "list"), ChooseMusicModel::ChartKeys);
  // The block follows the entries of "list", also those that make no row.
  const int n = std::min(CloudReply::count(reply, "list"), MaxRecommended);
  // The style block sits 5 points under the last row: table top 404, header 72, rows of 110.
  const double block = 481 + 110.0 * n;
  const double height = 1000 + 110.0 * n;
  view_module()->setFrame(pick({0, block, 1024, 490}, {0, largeY(block), 1364, 653}));
  scrollV()->setContentSize(isTwelveNineInch() ? gfx::Size{1364, largeY(height)} : gfx::Size{1024, height});
  tbView_recommend()->reloadData();
}

// ---- Recommended table ----

int ChooseMusicVC::numberOfRowsInSection(ui::TableView& /*tableView*/, int /*section*/) {
  return std::min(static_cast<int>(arr_data().size()), MaxRecommended);
}

std::shared_ptr<ui::TableViewCell> ChooseMusicVC::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                        const ui::IndexPath& indexPath) {
  return songCell<ChooseMusicCell>(tableView, indexPath);
}

std::optional<double> ChooseMusicVC::heightForRowAtIndexPath(ui::TableView& /*tableView*/,
                                                             const ui::IndexPath& /*indexPath*/) {
  return pick(110, 146);
}

std::optional<double> ChooseMusicVC::heightForHeaderInSection(ui::TableView& /*tableView*/, int /*section*/) {
  return pick(72, 96);
}

std::shared_ptr<ui::View> ChooseMusicVC::viewForHeaderInSection(ui::TableView& /*tableView*/, int /*section*/) {
  auto header = ui::View::create(pick({0, 0, 1024, 72}, {0, 0, 1364, 96}));
  header->setBackgroundColor(gfx::Color::clear());
  auto logo = ui::ImageView::create(pick({31, 34, 25, 24}, {41, 45, 33, 32}));
  logo->setImage(gfx::Image::named("RecommondLogo"));
  header->addSubview(logo);
  auto label = ui::Label::create(pick({63, 36, 100, 20}, {83, 48, 133, 26}));
  label->setText("推荐歌曲");
  label->setTextColor(hexColor("475686"));
  label->setTextAlignment(gfx::TextAlignment::Left);
  label->setFont(APPFont::getSysFont_size40());
  label->setBackgroundColor(gfx::Color::clear());
  header->addSubview(label);
  return header;
}

// ---- Adding a song ----

void ChooseMusicVC::addSongReplied(const std::optional<core::Value>& reply) {
  if (CloudReply::isSuccess(reply)) {
    Toust::showToustWithMessage("已添加");
    incrementBadge(true);
    return;
  }
  if (!reply) {
    showMessage("点播失败，请稍后重试");
    return;
  }
  if (CloudReply::code(reply) == "6") {
    // The service does not know this tablet's room: offer the binding.
    auto alert = AlertView_style1::create("请先绑定包房~", this, std::vector<std::string>{"取消", "扫码"});
    alert->setDelegate(this);
    alert->show();
    return;
  }
  showMessage(CloudReply::text(reply, "msg"));
}

void ChooseMusicVC::didClickTheActionButtonAtIndex(int index) {
  if (index == 1) changeTitle();
}

// ---- Actions ----

void ChooseMusicVC::changeTitle() {
  if (AppDelegate* app = AppDelegate::current()) app->setShouldChangeOrientation(true);
  setHideTabBar(true);
  SongScreens::present(navigationController(), SongScreens::Binding);
}

void ChooseMusicVC::leftBarButtonClick() {
  KT_LOG("左侧按钮----酒水");
  ui::NavigationController* nav = navigationController();
  if (!nav) return;
  nav->pushViewController(std::make_shared<InitViewController>(), true);
  // The food screens use the navigation controller's own bar.
  nav->setNavigationBarHidden(false);
}


void ChooseMusicVC::songClassifyClick(int tag) {
  static const char* const screens[] = {SongScreens::Favourites, SongScreens::Chart, SongScreens::Singers,
                                        SongScreens::Categories};
  const int index = tag - 1000;
  if (index == 0 && !CloudApi::isBound()) {
    showMessage("请先绑定房台~");
    return;
  }
  if (index >= 0 && index < 4) SongScreens::open(navigationController(), screens[index]);
  setHideTabBar(true);
}

void ChooseMusicVC::songStyleBtnClick(int tag) {
  const int k = tag - 1000;
  if (k < 0 || k >= static_cast<int>(styleTitles().size())) return;
  const std::string& title = styleTitles()[size_t(k)];
  KT_LOG("%s", title.c_str());
  SongScreens::openTitledList(navigationController(), title, "SuperStarsBg");
}

void ChooseMusicVC::didSelectTheItemAtIndex(int index, WGCycleScrollView& /*carousel*/) {
  if (index < 0 || static_cast<size_t>(index) >= m_arr_cycleData.size()) return;
  const core::Value& item = m_arr_cycleData[size_t(index)];
  // A "pic" that is not text counts as empty.
  const std::string* picText = item["pic"].asString();
  const std::string pic = picText ? *picText : std::string();
  setHideTabBar(true);
  const char* screen = pic.empty()                           ? SongScreens::BannerSongs
                       : pic.find("mp4") != std::string::npos ? SongScreens::BannerVideo
                                                              : SongScreens::BannerPage;
  core::Value::Dictionary params;
  params[SongScreens::BannerItemKey] = item;
  SongScreens::open(navigationController(), screen, core::Value(std::move(params)));
}

}  // namespace kt
