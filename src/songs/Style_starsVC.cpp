#include "songs/Style_starsVC.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableView.h"
#include "songs/CloudApi.h"
#include "songs/CloudHosts.h"
#include "songs/SongCellParts.h"
#include "songs/SongScreens.h"

#include <cmath>

namespace kt {
namespace {

// The hot-search grid: a button every 127.5 points from x 31; on the 12.9-inch tablet the
// standard values times 1.333, rounded down.
constexpr double kPitch = 127.5;
double gridValue(double standard) { return isTwelveNineInch() ? std::floor(standard * 1.333) : standard; }

}  // namespace

const std::vector<std::string>& Style_starsVC::regions() {
  static const std::vector<std::string> names = {
      "大陆男歌星", "大陆女歌星", "港台男歌星", "港台女歌星", "中国组合",     "外国组合", "欧美歌星",
      "日本歌星",   "韩国歌星",   "法国歌星",   "新加坡歌星", "马来歌星",     "尼日利亚歌星", "南非歌星",
      "印度歌星",   "印尼歌星",   "俄罗斯歌星", "菲律宾歌星", "泰国歌星",     "越南歌星", "外国歌星"};
  return names;
}

const std::vector<std::string>& Style_starsVC::hotSingers() {
  static const std::vector<std::string> names = {"青鸟乐队", "星河组合", "夏至乐团", "Leo Martin", "北岸少年",
                                                 "佐藤美咲", "金智媛",   "陈静仪",   "山田健太",   "阮氏兰"};
  return names;
}

Style_starsVC::Style_starsVC() : NameListScreen("歌星") {}

Style_starsVC::~Style_starsVC() = default;

void Style_starsVC::viewDidLoad() {
  NameListScreen::viewDidLoad();
  setNames(regions());
}

const std::shared_ptr<ui::ScrollView>& Style_starsVC::scrollV_hotSearch() {
  if (!m_scrollV_hotSearch) {
    m_scrollV_hotSearch = std::make_shared<ui::ScrollView>(pick({0, 67, 1024, 140}, {0, 89, 1364, 186}));
    m_scrollV_hotSearch->setBackgroundColor(gfx::Color::clear());
    m_scrollV_hotSearch->setShowsHorizontalScrollIndicator(false);
  }
  return m_scrollV_hotSearch;
}

void Style_starsVC::setupMyView() {
  ui::View& content = *bgView();
  addSearchBar(content);
  SongCellParts::addPicture(content, {0, 70, 1024, 2}, {0, 93, 1364, 2}, "SeparateLine2");
  addHotSearchArea(content);

  // The region table sits under the hot-search area, not under the search bar.
  auto table = ui::TableView::create(pick({0, 285, 1024, 404}, {0, 380, 1364, 538}));
  table->setBackgroundColor(gfx::Color::clear());
  table->setDelegate(this);
  table->setDataSource(this);
  table->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
  setTbView_data(table);
  content.addSubview(table);

  addRemoteButton(content);
}

void Style_starsVC::addHotSearchArea(ui::View& parent) {
  auto area = ui::View::create(pick({0, 72, 1024, 213}, {0, 96, 1364, 284}));
  area->setBackgroundColor(gfx::Color::clear());
  parent.addSubview(area);

  SongCellParts::addPicture(*area, {31, 18, 23, 26}, {41, 24, 30, 34}, "HotSearch");
  SongCellParts::addLabel(*area, {61, 19, 100, 26}, {81, 25, 133, 34}, "475686", APPFont::getSysFont_size40())
      ->setText("热门搜索");

  m_arr_singerList = hotSingers();
  ui::ScrollView& strip = *scrollV_hotSearch();
  area->addSubview(m_scrollV_hotSearch);
  const auto n = static_cast<double>(m_arr_singerList.size());
  strip.setContentSize(gfx::Size{gridValue(kPitch * n + 62), pick(126, 168)});
  for (size_t i = 0; i < m_arr_singerList.size(); ++i) addSingerButton(strip, i);

  SongCellParts::addPicture(*area, {0, 211, 1024, 2}, {0, 281, 1364, 2}, "SeparateLine2");
}

void Style_starsVC::addSingerButton(ui::ScrollView& strip, size_t index) {
  const std::string& name = m_arr_singerList[index];
  const double x = gridValue(31 + kPitch * static_cast<double>(index));
  auto button = addClearButton<Style_starsVC>(strip, gfx::Rect(x, 0, pick(103, 137), pick(126, 168)),
                                              [](Style_starsVC& s, ui::Control& sender) {
                                                s.singerSongsListClick(sender.tag());
                                              });
  button->setTag(FirstSingerTag + static_cast<int>(index));

  auto photo = SongCellParts::addPicture(*button, {0, 0, 103, 103}, {0, 0, 137, 137}, "SongsDefaultPic");
  KT_LOG("请求的网址：%s", (CloudHosts::singerImageBase() + name + ".jpg").c_str());
  SongCellParts::loadSingerPicture(photo, CloudApi::singerImageURL(name));

  auto label = SongCellParts::addLabel(*button, {0, 110, 103, 24}, {0, 146, 137, 32}, "475686",
                                       APPFont::getSysFont_size40());
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setText(name);
}

void Style_starsVC::singerSongsListClick(int tag) {
  KT_LOG("点击了第%d个热门按键", tag);
  const int index = tag - FirstSingerTag;
  if (index < 0 || static_cast<size_t>(index) >= m_arr_singerList.size()) return;
  SongScreens::openTitledList(navigationController(), m_arr_singerList[static_cast<size_t>(index)], "SuperStarsBg");
}

void Style_starsVC::openName(const std::string& region) {
  core::Value::Dictionary params;
  params[SongScreens::NavTitleKey] = core::Value(region);
  SongScreens::open(navigationController(), SongScreens::SingersOfRegion, core::Value(std::move(params)));
}

}  // namespace kt
