#include "songs/SongsListVC.h"

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudReply.h"
#include "songs/CycleSongsListVC.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

namespace songs_test {
namespace {

using support::Device;

constexpr const char* kDuets = "男女对唱";

class SongsListVCTest : public SongScreenFixture {
 protected:
  std::shared_ptr<kt::SongsListVC> showList(const std::string& title, size_t rows) {
    auto screen = show(std::make_shared<kt::SongsListVC>(title, "SuperStarsBg"));
    EXPECT_TRUE(runUntil([&] { return screen->arr_data().size() == rows && allAnswered(); }));
    EXPECT_TRUE(overlayGone());
    return screen;
  }
  kt::PRRefreshState footerState(kt::SongsListVC& s) { return kt::pr_footer(*s.tbView_data())->state(); }
  std::vector<std::string> pagesAsked(const char* endpoint = "getwxmusicinfo") const {
    std::vector<std::string> pages;
    for (const auto& r : m_service.requestsTo(endpoint)) pages.push_back(r.param("p").value_or(""));
    return pages;
  }
};

TEST_F(SongsListVCTest, TheTitleDecidesWhatIsListed) {
  // A category is searched for, page by page, until a page of no songs.
  auto screen = showList(kDuets, 20);
  EXPECT_EQ(m_service.requestsTo("getwxmusicinfo")[0].line(),
            "GET /wxsearchservice.aspx/?appid=arr&nosign=1&op=getwxmusicinfo&p=1&q=%E7%94%B7%E5%A5%B3%E5%AF%B9%E5%94%B1 "
            "HTTP/1.1");
  const std::vector<venue::CloudSong> duets = m_service.search(kDuets);
  ASSERT_EQ(duets.size(), 24u);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 24; }));
  for (size_t i = 0; i < duets.size(); ++i) {
    EXPECT_EQ(screen->arr_data()[i]->string_musicName(), duets[i].title);
    EXPECT_EQ(screen->arr_data()[i]->string_musicSinger(), kt::CloudReply::firstName(duets[i].singer));
  }
  EXPECT_EQ(footerState(*screen), kt::PRRefreshState::Idle);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footerState(*screen) == kt::PRRefreshState::NoMoreData; }));
  EXPECT_EQ(screen->arr_data().size(), 24u);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "3"}));

  // The chart's title lists the chart.
  screen = showList(kt::SongsListVC::ChartTitle, 20);
  EXPECT_EQ(m_service.requestsTo("getrankinfo")[0].line(),
            "GET /wxsearchservice.aspx/?appid=arr&op=getrankinfo&p=1&type=zuK%E6%AD%8C%E6%A6%9C HTTP/1.1");
  EXPECT_EQ(screen->arr_data()[0]->string_musicNumber(), m_service.chart(venue::CloudService::kChart)[0].number);

  // A title keeps its spaces.
  const size_t searches = m_service.requestsTo("getwxmusicinfo").size();
  screen = show(std::make_shared<kt::SongsListVC>("Hello World", ""));
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("getwxmusicinfo").size() == searches + 1; }));
  EXPECT_EQ(m_service.requestsTo("getwxmusicinfo").back().param("q"), "Hello World");
  EXPECT_NE(m_service.requestsTo("getwxmusicinfo").back().target.find("q=Hello%20World"), std::string::npos);
}

TEST_F(SongsListVCTest, ATitleSetLaterChangesOnlyWhatTheNextRequestAsksFor) {
  auto made = std::make_shared<kt::SongsListVC>();
  made->setString_navTitle(kDuets);
  made->setStr_bg("SuperStarsBg");
  auto screen = show(made);
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 20 && allAnswered(); }));
  EXPECT_EQ(m_service.requestsTo("getwxmusicinfo")[0].param("q"), kDuets);
  EXPECT_EQ(screen->imgV_baseBgHeng()->image(), gfx::Image::named("SuperStarsBg"));
  EXPECT_TRUE(findViewByText(kDuets));

  screen->setString_navTitle(kt::SongsListVC::ChartTitle);
  screen->pullDown();
  const std::string first = m_service.chart(venue::CloudService::kChart)[0].number;
  ASSERT_TRUE(runUntil([&] {
    return !m_service.requestsTo("getrankinfo").empty() && allAnswered() && screen->arr_data()[0]->string_musicNumber() == first;
  }));
  EXPECT_TRUE(findViewByText(kDuets));  // the bar keeps the title it loaded with
  EXPECT_FALSE(findViewByText(kt::SongsListVC::ChartTitle));
}

TEST_F(SongsListVCTest, NoResultsAndFailedPagesKeepTheRows) {
  auto screen = showList(kDuets, 20);
  m_service.setFault("getwxmusicinfo", venue::Fault::withBody(200, R"({"total":"0","matches":[]})").only(1));
  screen->pullDown();
  ASSERT_TRUE(allAnswered());
  ASSERT_TRUE(overlayGone());  // the answer has been taken in: the first page is no longer on its way
  EXPECT_EQ(screen->arr_data().size(), 20u);
  EXPECT_EQ(footerState(*screen), kt::PRRefreshState::Idle);

  // A failed page is asked for again.
  m_service.setFault("getwxmusicinfo", venue::Fault::html().only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return allAnswered() && screen->page_classify() == 1; }));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 24; }));
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "1", "2", "2"}));
}

// A title with no songs: the table stays empty, nothing is shown, and each time the guest pulls
// the list up the next page is asked for.
TEST_F(SongsListVCTest, EachPullUpAfterNoResultsAsksForTheNextPage) {
  auto screen = showList("没有这首歌", 0);
  ui::TableView& table = *screen->tbView_data();
  const gfx::Point centre = table.convertPointTo(table.bounds().center(), nullptr);
  for (size_t asked = 2; asked <= 3; ++asked) {
    drag(centre, {centre.x, centre.y - 200});
    wait(1.0);  // the footer starts its refresh after a moment
    ASSERT_TRUE(runUntil([&] { return pagesAsked().size() == asked; }));
    ASSERT_TRUE(allAnswered());
    ASSERT_TRUE(overlayGone());
    EXPECT_EQ(footerState(*screen), kt::PRRefreshState::Idle);
  }
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(table.numberOfRowsInSection(0), 0);
  EXPECT_EQ(choiceMessage(), "");
  EXPECT_TRUE(visibleAlerts().empty());
}

TEST_F(SongsListVCTest, QueueingASongAndOpeningTheQueue) {
  auto screen = showList(kDuets, 20);
  EXPECT_FALSE(screen->btn_search());
  EXPECT_FALSE(screen->btn_remote());
  // Bound after the badge was asked for: the song is queued, and the hidden badge counts it.
  bind();
  tap(*singButton(*screen->tbView_data(), 2));
  ASSERT_TRUE(runUntil([&] { return findViewByText("已添加") != nullptr; }));
  expectQueuedLast(*screen->arr_data()[2]);
  EXPECT_EQ(screen->label_rightBar()->text(), "1");
  EXPECT_TRUE(screen->label_rightBar()->isHidden());
  wait(0.5);  // the progress overlay goes
  tap(*screen->btn_queue());
  EXPECT_EQ(openedNames(), (std::vector<std::string>{kt::SongScreens::Queue}));
}

TEST_F(SongsListVCTest, TheRegistryMakesTheListScreensWithTheirParameters) {
  kt::SongScreens::registerBuiltInScreens();
  core::Value::Dictionary titled{{kt::SongScreens::NavTitleKey, core::Value("经典老歌")},
                                 {kt::SongScreens::BackgroundKey, core::Value("SuperStarsBg")}};
  auto list = std::dynamic_pointer_cast<kt::SongsListVC>(kt::SongScreens::make(kt::SongScreens::TitledList,
                                                                               core::Value(titled)));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->string_navTitle(), "经典老歌");
  EXPECT_EQ(list->str_bg(), "SuperStarsBg");

  core::Value::Dictionary item{{"classid", core::Value(12)}, {"pic", core::Value("")}};
  core::Value::Dictionary banner{{kt::SongScreens::BannerItemKey, core::Value(item)}};
  auto songs = std::dynamic_pointer_cast<kt::CycleSongsListVC>(kt::SongScreens::make(kt::SongScreens::BannerSongs,
                                                                                     core::Value(banner)));
  ASSERT_TRUE(songs);
  EXPECT_EQ(songs->dict_params(), core::Value(item));
}

class SongsListVCFramesTest : public SongsListVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(SongsListVCFramesTest, TheTableFillsTheContentUnderTheTitle) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto screen = showList(kDuets, 20);
  wait(0.5);  // the progress overlay fades out
  support::expectRect(screen->tbView_data()->frame(), 0, 0, large ? 1364 : 1024, large ? 919 : 689, "table");
  EXPECT_EQ(screen->label_navTitle()->text(), kDuets);
  screenshot("titled-list");
}

INSTANTIATE_TEST_SUITE_P(Tablets, SongsListVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
