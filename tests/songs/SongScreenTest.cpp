#include "songs/SongScreen.h"

#include "app/WGAlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/SongScreenFixture.h"
#include "songs/Style_hotVC.h"
#include "support/RectExpectations.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

#include <chrono>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;

// The frame's paging, badge and add-song rules, on the chart screen.
using ChartScreen = kt::Style_hotVC;

class SongScreenTest : public SongScreenFixture {
 protected:
  std::shared_ptr<ChartScreen> showChart() {
    auto screen = show(std::make_shared<ChartScreen>());
    EXPECT_TRUE(runUntil([&] { return screen->arr_data().size() == 20; }));
    wait(0.5);  // the progress overlay fades out
    return screen;
  }
  std::shared_ptr<kt::PRRefreshFooter> footer(ChartScreen& s) { return kt::pr_footer(*s.tbView_data()); }
  // The "p" of the chart requests, in order.
  std::vector<std::string> pagesAsked() const {
    std::vector<std::string> pages;
    for (const auto& r : m_service.requestsTo("getrankinfo")) pages.push_back(r.param("p").value_or(""));
    return pages;
  }
  std::string firstTitle(const ChartScreen& s) const { return s.arr_data().front()->string_musicName(); }
  venue::CloudSong chartSong(size_t i) const { return m_service.chart(venue::CloudService::kChart)[i]; }
};

TEST_F(SongScreenTest, PagesFollowEachOtherUntilAnEmptyPageEndsTheList) {
  auto screen = showChart();
  EXPECT_EQ(m_service.requestsTo("getrankinfo")[0].line(),
            "GET /wxsearchservice.aspx/?appid=arr&op=getrankinfo&p=1&type=zuK%E6%AD%8C%E6%A6%9C HTTP/1.1");
  EXPECT_EQ(firstTitle(*screen), chartSong(0).title);
  // The second place is a duet: its row shows the first singer.
  ASSERT_NE(chartSong(1).singer.find(','), std::string::npos);
  EXPECT_EQ(screen->arr_data()[1]->string_musicSinger(), chartSong(1).singer.substr(0, chartSong(1).singer.find(',')));
  for (size_t rows = 40; rows <= 100; rows += 20) {
    screen->pullUp();
    ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == rows; }));
  }
  EXPECT_EQ(screen->arr_data()[99]->string_musicNumber(), chartSong(99).number);
  EXPECT_EQ(footer(*screen)->state(), kt::PRRefreshState::Idle);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footer(*screen)->state() == kt::PRRefreshState::NoMoreData; }));
  EXPECT_EQ(screen->arr_data().size(), 100u);

  // A pull-down leaves exactly the first page and gives the footer back.
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 20; }));
  EXPECT_EQ(footer(*screen)->state(), kt::PRRefreshState::Idle);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "1"}));

  // A first page without "list" is a page of no songs.
  m_service.setFault("getrankinfo", venue::Fault::missingKeys({"list"}).only(1));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().empty(); }));
  EXPECT_EQ(footer(*screen)->state(), kt::PRRefreshState::NoMoreData);
  EXPECT_EQ(screen->tbView_data()->numberOfRowsInSection(0), 0);
}

TEST_F(SongScreenTest, AFailedPageIsAskedForAgain) {
  auto screen = showChart();
  m_service.setFault("getrankinfo", venue::Fault::html().only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("getrankinfo").size() == 2 && screen->page_hot() == 1; }));
  EXPECT_EQ(screen->arr_data().size(), 20u);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 40; }));
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "2"}));
  EXPECT_EQ(screen->arr_data()[20]->string_musicNumber(), chartSong(20).number);
}

TEST_F(SongScreenTest, ALatePageNeverLandsOnAFreshFirstPage) {
  auto screen = showChart();
  // A pull-down while a pull-up is still waiting: page 2 comes back after the new page 1.
  auto late = std::make_shared<venue::Gate>();
  m_service.setFault("getrankinfo", venue::Fault::heldBy(late).only(1));
  screen->pullUp();
  ASSERT_TRUE(late->waitForArrived(1, 10));
  const size_t takenIn = repliesTakenIn();
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return repliesTakenIn() == takenIn + 1; }));
  late->open();
  ASSERT_TRUE(allTakenIn());
  EXPECT_EQ(screen->arr_data().size(), 20u);
  EXPECT_EQ(firstTitle(*screen), chartSong(0).title);
  EXPECT_EQ(screen->page_hot(), 1);

  // A pull-up while a first page is on its way asks for nothing.
  auto first = std::make_shared<venue::Gate>();
  m_service.setFault("getrankinfo", venue::Fault::heldBy(first).only(1));
  screen->pullDown();
  const size_t sent = requestsSent();
  screen->pullUp();
  EXPECT_EQ(requestsSent(), sent);
  EXPECT_EQ(screen->page_hot(), 1);
  ASSERT_TRUE(first->waitForArrived(1, 10));
  first->open();
  ASSERT_TRUE(allTakenIn());
  // Once the first page has been taken in, a pull-up asks for page 2 (until then it is refused).
  ASSERT_TRUE(runUntil([&] {
    if (screen->page_hot() == 1) screen->pullUp();
    return screen->arr_data().size() == 40;
  }));
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "1", "1", "2"}));
}

TEST_F(SongScreenTest, AReplyAfterTheScreenHasGoneChangesNothing) {
  bind();
  auto gate = std::make_shared<venue::Gate>();
  std::weak_ptr<ChartScreen> weak;
  {
    auto screen = showChart();
    // A song added, the first page and the badge asked for again; the replies wait at the gate
    // while the screen goes.
    m_service.setFault("*", venue::Fault::heldBy(gate));
    screen->didSelectTheMusic(0);
    screen->pullDown();
    screen->requestForAlreadyChoose();
    ASSERT_TRUE(gate->waitForArrived(3, 10));
    weak = screen;
    window().setRootViewController(nullptr);
    m_nav.reset();
  }
  // The requests on their way do not keep it alive.
  ASSERT_TRUE(runUntil([&] { return weak.expired(); }));

  // What shows now has the progress overlay up: the replies must not take it down, nor show
  // the toast or an alert of the add.
  kt::HUDClass::showHud();
  for (int i = 0; i < 40 && !kt::AOProgressHUD::isVisible(); ++i) wait(0.05);
  ASSERT_TRUE(kt::AOProgressHUD::isVisible());
  gate->open();
  ASSERT_TRUE(allTakenIn());
  wait(0);  // a dismissal a reply queued runs now
  EXPECT_TRUE(kt::AOProgressHUD::isVisible());
  EXPECT_EQ(findViewByText("已添加"), nullptr);
  EXPECT_TRUE(findViews<kt::WGAlertView>().empty());
  // The add went through: a screen still there would have shown the toast.
  EXPECT_EQ(m_service.roomState(kRoom).queue.size(), 4u);
}

TEST_F(SongScreenTest, AddingASongQueuesItAndCountsItOnTheBadge) {
  bind();
  auto screen = showChart();
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->text() == "3"; }));
  EXPECT_FALSE(screen->label_rightBar()->isHidden());

  screen->didSelectTheMusic(4);
  ASSERT_TRUE(runUntil([&] { return findViewByText("已添加") != nullptr; }));
  EXPECT_EQ(screen->label_rightBar()->text(), "4");
  expectQueuedLast(*screen->arr_data()[4]);

  // Rows out of range do nothing.
  const size_t sent = requestsSent();
  screen->didSelectTheMusic(20);
  screen->didSelectTheMusic(-1);
  wait(0.5);
  EXPECT_EQ(requestsSent(), sent);
}

TEST_F(SongScreenTest, AddingASongReportsWhatWentWrong) {
  auto screen = showChart();
  // The search bar needs no binding.
  tap(*screen->btn_search());
  EXPECT_EQ(openedNames(), (std::vector<std::string>{kt::SongScreens::Search}));
  // Not bound: the choice alert, nothing sent.
  screen->didSelectTheMusic(0);
  EXPECT_EQ(choiceMessage(), "请先登录~");
  screen->rightBarButtonClick();
  screen->remoteClick();
  EXPECT_EQ(findViews<kt::AlertView_style1>().size(), 3u);
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  EXPECT_TRUE(m_service.requestsTo("addsong.php").empty());

  // A binding id the service does not know: its "code" and "msg" in the titled alert.
  bind("404");
  screen->didSelectTheMusic(0);
  ASSERT_TRUE(runUntil([&] { return !findViews<kt::WGAlertView>().empty(); }));
  EXPECT_TRUE(findViewByText("请先绑定房间"));
  EXPECT_TRUE(findViewByText("提示"));

  m_service.setFault("addsong.php", venue::Fault::emptyBody());
  screen->didSelectTheMusic(0);
  ASSERT_TRUE(runUntil([&] { return findViewByText("请求错误,请稍后重试") != nullptr; }));
  // The hidden badge counts nothing on failures.
  EXPECT_TRUE(screen->label_rightBar()->isHidden());
}

class SongScreenFramesTest : public SongScreenTest, public ::testing::WithParamInterface<Device> {};

TEST_P(SongScreenFramesTest, FramePiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto screen = showChart();
  render();
  if (large) {
    expectRect(screen->imgV_rightBar()->frame(), 1246, 45, 79, 33, "queue picture");
    expectRect(screen->btn_queue()->frame(), 1245, 32, 119, 60, "queue button");
    expectRect(screen->label_rightBar()->frame(), 1307, 38, 26, 24, "badge");
    expectRect(screen->btn_search()->frame(), 41, 18, 1282, 60, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 93, 1364, 825, "table");
    expectRect(screen->btn_remote()->frame(), 41, 773, 106, 106, "remote");
  } else {
    expectRect(screen->imgV_rightBar()->frame(), 935, 34, 60, 25, "queue picture");
    expectRect(screen->btn_queue()->frame(), 934, 24, 90, 45, "queue button");
    expectRect(screen->label_rightBar()->frame(), 981, 29, 20, 18, "badge");
    expectRect(screen->btn_search()->frame(), 31, 14, 962, 45, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 70, 1024, 619, "table");
    expectRect(screen->btn_remote()->frame(), 31, 580, 80, 80, "remote");
  }
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large ? 136 : 102);
  screenshot("chart-list");
}

INSTANTIATE_TEST_SUITE_P(Tablets, SongScreenFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
