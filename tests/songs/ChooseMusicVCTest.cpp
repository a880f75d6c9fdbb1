#include "songs/ChooseMusicVC.h"

#include "app/DataCenter.h"
#include "link/InitViewController.h"
#include "link/ServerNetworkCenter.h"
#include "link/SocketDataHandle.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ScrollView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudReply.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"
#include "support/ScaleComparison.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;

class ChooseMusicVCTest : public SongScreenFixture {
 protected:
  void TearDown() override {
    SongScreenFixture::TearDown();
    // The food entry's connect-and-bind screen opens the room-server link.
    kt::SocketDataHandle::resetSharedInstanceForTesting();
    kt::ServerNetworkCenter::resetSharedInstanceForTesting();
    kt::SNStatusBarNotification::resetSharedInstance();
    kt::DataCenter::resetSharedInstanceForTesting();
    ui::AlertView::reset();
  }

  // The home screen once its banners, chart and badge replies are in.
  std::shared_ptr<kt::ChooseMusicVC> showHome() {
    auto home = show(std::make_shared<kt::ChooseMusicVC>());
    EXPECT_TRUE(runUntil([&] {
      return home->cycleView() && home->arr_data().size() == 20 && m_service.requestsTo("getktvsonglist.php").size() == 1;
    }));
    EXPECT_TRUE(allTakenIn());
    return home;
  }
  double moduleY(kt::ChooseMusicVC& home) { return home.view_module()->frame().y(); }
  double contentHeight(kt::ChooseMusicVC& home) { return home.scrollV()->contentSize().height; }
};

TEST_F(ChooseMusicVCTest, FillsFromTheServiceAndCyclesItsBanners) {
  auto home = showHome();
  // The first appearance asks for the chart twice, both times its first page.
  for (const auto& r : m_service.requestsTo("getrankinfo")) EXPECT_EQ(r.param("p"), "1");
  EXPECT_EQ(m_service.requestsTo("getrankinfo").size(), 2u);
  EXPECT_EQ(home->tbView_recommend()->numberOfRowsInSection(0), 8);
  EXPECT_DOUBLE_EQ(moduleY(*home), 1361);
  EXPECT_DOUBLE_EQ(contentHeight(*home), 1880);
  EXPECT_TRUE(home->label_rightBar()->isHidden());  // not bound: no queue count

  auto carousel = home->cycleView();
  ASSERT_EQ(carousel->arr_imagePath().size(), m_service.banners().size());
  EXPECT_EQ(carousel->arr_imagePath()[0], m_service.banners()[0].image);
  // Once a step has begun, the next one begins 2.0 s later on the virtual clock.
  auto offset = [&] { return carousel->mainView()->contentOffset().x; };
  wait(0.5);
  const double start = offset();
  for (int i = 0; i < 60 && offset() == start; ++i) wait(0.05);
  wait(0.5);
  EXPECT_DOUBLE_EQ(offset(), start + 1024);
  wait(1.4);
  EXPECT_DOUBLE_EQ(offset(), start + 1024);
  wait(0.6);
  EXPECT_DOUBLE_EQ(offset(), start + 2048);

  // A later banner reply replaces the carousel; the old one stops.
  m_service.setFault("wxpic.php", venue::Fault::withBody(200, R"({"data":{"bannerclass":[{"pic":5}]}})"));
  home->requestData();
  ASSERT_TRUE(runUntil([&] { return home->cycleView() != carousel; }));
  EXPECT_FALSE(carousel->superview());
  EXPECT_FALSE(carousel->isTimerRunning());
  EXPECT_EQ(home->arr_cycleData().size(), 1u);
}

// The wheel over the song list scrolls the screen (the list itself does not scroll), a notch at a
// time, and as many back return it.
TEST_F(ChooseMusicVCTest, TheWheelOverTheSongListScrollsTheScreen) {
  auto home = showHome();
  auto& scroll = *home->scrollV();
  auto table = home->tbView_recommend();
  const gfx::Point over = table->convertPointTo({512, 100}, nullptr);
  const double notch = ui::ScrollView::WheelNotchPoints;
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(wheel(over, {0, 1}));
  EXPECT_EQ(scroll.contentOffset(), (gfx::Point{0, 5 * notch}));
  EXPECT_EQ(table->contentOffset(), (gfx::Point{0, 0}));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(wheel(over, {0, -1}));
  EXPECT_EQ(scroll.contentOffset(), (gfx::Point{0, 0}));
}

TEST_F(ChooseMusicVCTest, ChartRepliesMoveTheStyleBlockUnderTheRowsShown) {
  auto home = showHome();
  m_service.setFault("getrankinfo", venue::Fault::withBody(200, R"({"list":[{"music_name":"A","singer":"X,Y"},{},{}]})"));
  home->requestForRecommend();
  ASSERT_TRUE(runUntil([&] { return home->arr_data().size() == 3; }));
  EXPECT_DOUBLE_EQ(moduleY(*home), 811);
  EXPECT_DOUBLE_EQ(contentHeight(*home), 1330);
  EXPECT_EQ(home->arr_data()[0]->string_musicSinger(), "X");

  m_service.setFault("getrankinfo", venue::Fault::withBody(200, R"({"total":0})"));
  home->requestForRecommend();
  ASSERT_TRUE(runUntil([&] { return home->arr_data().empty(); }));
  EXPECT_DOUBLE_EQ(moduleY(*home), 481);
  EXPECT_DOUBLE_EQ(contentHeight(*home), 1000);

  // No reply: everything stays.
  m_service.setFault("getrankinfo", venue::Fault::html());
  home->requestForRecommend();
  ASSERT_TRUE(allTakenIn());
  EXPECT_DOUBLE_EQ(moduleY(*home), 481);
}

TEST_F(ChooseMusicVCTest, EntriesOfListThatAreNoObjectsStillCountForTheBadgeAndTheBlock) {
  bind();
  m_service.setFault("getktvsonglist.php", venue::Fault::withBody(200, R"({"code":"1","list":[{"musicno":"1"},7,"x"]})"));
  m_service.setFault("getrankinfo", venue::Fault::withBody(200, R"({"list":[{"music_name":"A","singer":"X"},5,null]})"));
  auto home = show(std::make_shared<kt::ChooseMusicVC>());
  ASSERT_TRUE(runUntil([&] { return home->label_rightBar()->text() == "3" && home->arr_data().size() == 1; }));
  EXPECT_FALSE(home->label_rightBar()->isHidden());
  EXPECT_DOUBLE_EQ(moduleY(*home), 811);
  EXPECT_DOUBLE_EQ(contentHeight(*home), 1330);
}

TEST_F(ChooseMusicVCTest, BannerTapsOpenWhatTheirKindSays) {
  auto home = showHome();
  auto& carousel = *home->cycleView();
  using S = kt::SongScreens;
  // A real tap on the carousel opens the picture shown.
  tap(carousel);
  ASSERT_EQ(openedNames(), (std::vector<std::string>{S::BannerSongs}));
  EXPECT_EQ(kt::CloudReply::text(m_opened[0]->params[S::BannerItemKey], "classid"), m_service.banners()[0].classId);

  m_opened.clear();
  for (int i = 0; i < static_cast<int>(m_service.banners().size()); ++i) home->didSelectTheItemAtIndex(i, carousel);
  home->didSelectTheItemAtIndex(-1, carousel);
  home->didSelectTheItemAtIndex(static_cast<int>(m_service.banners().size()), carousel);
  EXPECT_EQ(openedNames(), (std::vector<std::string>{S::BannerSongs, S::BannerSongs, S::BannerSongs, S::BannerSongs,
                                                     S::BannerPage, S::BannerVideo}));
  EXPECT_EQ(m_opened[4]->params[S::BannerItemKey], home->arr_cycleData()[4]);
}

TEST_F(ChooseMusicVCTest, QueueingARecommendedSong) {
  bind();
  auto home = showHome();
  ASSERT_TRUE(runUntil([&] { return home->label_rightBar()->text() == "3"; }));
  auto sing = singButton(*home->tbView_recommend(), 1);
  ASSERT_TRUE(sing);
  tap(*sing);
  ASSERT_TRUE(runUntil([&] { return findViewByText("已添加") != nullptr; }));
  EXPECT_EQ(home->label_rightBar()->text(), "4");
  EXPECT_FALSE(home->label_rightBar()->isHidden());
  expectQueuedLast(*home->arr_data()[1]);

  // The service does not know the room: the offer to bind, whose "扫码" opens the binding.
  bind("404");
  wait(0.5);  // the progress overlay and the toast go
  tap(*sing);
  ASSERT_TRUE(runUntil([&] { return choiceMessage() == "请先绑定包房~"; }));
  EXPECT_TRUE(findViewByText("取消"));
  wait(0.4);  // the alert fades in
  tap(*findViewByTag(kt::AlertView_style1::FirstButtonTag + 1));
  EXPECT_EQ(openedNames(), (std::vector<std::string>{kt::SongScreens::Binding}));

  m_service.setFault("addsong.php", venue::Fault::withBody(200, R"({"code":0,"msg":"歌曲已下架"})").only(1));
  home->didSelectTheMusic(0);
  ASSERT_TRUE(runUntil([&] { return choiceMessage() == "歌曲已下架"; }));
  m_service.setFault("addsong.php", venue::Fault::close());
  home->didSelectTheMusic(0);
  ASSERT_TRUE(runUntil([&] { return choiceMessage() == "点播失败，请稍后重试"; }));

  core::UserDefaults::standard().removeObjectForKey("uid");
  home->didSelectTheMusic(0);
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  EXPECT_EQ(m_service.requestsTo("addsong.php").size(), 4u);
}

TEST_F(ChooseMusicVCTest, ModulesTilesAndBarEntriesOpenTheirScreens) {
  auto home = showHome();
  using S = kt::SongScreens;
  tap(*findViewByTag(1000));
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  EXPECT_TRUE(m_opened.empty());
  for (int tag = 1001; tag <= 1004; ++tag) home->songClassifyClick(tag);
  home->songStyleBtnClick(1002);
  home->songStyleBtnClick(1006);
  home->rightBarButtonClick();
  home->remoteClick();
  home->btnClickSearch();
  home->changeTitle();
  EXPECT_EQ(openedNames(), (std::vector<std::string>{S::Chart, S::Singers, S::Categories, S::TitledList, S::Search,
                                                     S::Binding}));
  EXPECT_EQ(m_opened[3]->params[S::NavTitleKey], core::Value("经典老歌"));
  EXPECT_EQ(m_opened[3]->params[S::BackgroundKey], core::Value("SuperStarsBg"));
  EXPECT_EQ(findViews<kt::AlertView_style1>().size(), 3u);
  ASSERT_TRUE(m_nav->presentedViewController());
  EXPECT_EQ(m_nav->presentedViewController()->childViewControllers().front(), m_opened.back());

  // A screen that does not exist yet opens nothing.
  S::registerFactory(S::Chart, nullptr);
  const size_t depth = m_nav->viewControllers().size();
  EXPECT_FALSE(S::open(m_nav.get(), S::Chart));
  EXPECT_EQ(m_nav->viewControllers().size(), depth);
}

TEST_F(ChooseMusicVCTest, TheLogoOpensTheConnectAndBindScreen) {
  auto home = showHome();
  tap(gfx::Point{50, 46});
  wait(0.5);
  EXPECT_TRUE(dynamic_cast<kt::InitViewController*>(m_nav->topViewController()));
  EXPECT_FALSE(m_nav->isNavigationBarHidden());
}

class ChooseMusicVCFramesTest : public ChooseMusicVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(ChooseMusicVCFramesTest, MainPartsSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  auto home = showHome();
  pump(0.5);  // the pictures
  if (GetParam() == Device::LargeTablet) {
    expectRect(home->scrollV()->frame(), 0, 0, 1364, 919, "scroll view");
    expectRect(home->cycleView()->frame(), 0, 96, 1364, 300, "carousel");
    expectRect(home->tbView_recommend()->frame(), 0, 538, 1364, 1269, "recommended");
    expectRect(home->view_module()->frame(), 0, 1815, 1364, 653, "style block");
    EXPECT_DOUBLE_EQ(contentHeight(*home), 2507);
    expectRect(home->label_rightBar()->frame(), 1307, 33, 26, 26, "badge");
    expectRect(home->imgV_title()->frame(), 581, 51, 202, 26, "title");
    expectRect(findViewByTag(1003)->frame(), 1023, 397, 341, 138, "singers module");
    expectRect(home->view_module()->subviews()[5]->frame(), 907, 326, 417, 304, "last tile");
    expectRect(home->btn_remote()->frame(), 41, 773, 106, 106, "remote");
  } else {
    expectRect(home->scrollV()->frame(), 0, 0, 1024, 689, "scroll view");
    expectRect(home->cycleView()->frame(), 0, 72, 1024, 225, "carousel");
    expectRect(home->tbView_recommend()->frame(), 0, 404, 1024, 952, "recommended");
    expectRect(home->label_rightBar()->frame(), 981, 25, 20, 20, "badge");
    expectRect(home->imgV_title()->frame(), 436, 38.5, 152, 20, "title");
    expectRect(findViewByTag(1003)->frame(), 768, 298, 256, 104, "singers module");
    expectRect(home->view_module()->subviews()[5]->frame(), 681, 245, 313, 228, "last tile");
    expectRect(home->btn_remote()->frame(), 31, 580, 80, 80, "remote");
  }
  screenshot("home");

  bind("404");
  home->didSelectTheMusic(0);
  ASSERT_TRUE(runUntil([&] { return choiceMessage() == "请先绑定包房~"; }));
  wait(0.5);
  screenshot("choice-alert");
}

INSTANTIATE_TEST_SUITE_P(Tablets, ChooseMusicVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

// Drawn at one pixel a point and at 2.8125 (full screen on a 3840 x 2160 panel), the home screen
// with its banners, chart and tiles shows the layout it shows at scale 2.
TEST_F(ChooseMusicVCTest, TheSameLayoutAtOtherDrawingScales) {
  auto home = showHome();
  wait(0.5);
  support::expectTheSameLayoutAtEveryScale(
      "home", [this](const std::string& shot) { return screenshot(shot); },
      [] { support::runUntilClockHeld([] { return false; }, 0.3); });
}

}  // namespace
}  // namespace songs_test
