#include "songs/StarsSecondVC.h"

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "songs/SongScreenFixture.h"
#include "songs/StarsListModel.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

#include <chrono>

namespace songs_test {
namespace {

using S = kt::SongScreens;
constexpr const char* kRegion = "大陆男歌星";  // 26 singers: a full page and a page of 6

class StarsSecondVCTest : public SongScreenFixture, public ::testing::WithParamInterface<support::Device> {
 protected:
  // The screen as the registry makes it for the region, once its first page is in.
  std::shared_ptr<kt::StarsSecondVC> showRegion() {
    S::registerBuiltInScreens();
    auto screen = std::dynamic_pointer_cast<kt::StarsSecondVC>(
        S::make(S::SingersOfRegion, core::Value(core::Value::Dictionary{{S::NavTitleKey, kRegion}})));
    registerStandIns();
    EXPECT_TRUE(screen);
    show(screen);
    EXPECT_TRUE(runUntil([&] { return screen->arr_data().size() == 20; }));
    return screen;
  }
  std::vector<std::string> pagesAsked() const {
    std::vector<std::string> pages;
    for (const auto& r : m_service.requestsTo("getsingersbyclass")) pages.push_back(r.param("p").value_or(""));
    return pages;
  }
  static kt::PRRefreshState footer(kt::StarsSecondVC& s) { return kt::pr_footer(*s.tbView_data())->state(); }
};

TEST_F(StarsSecondVCTest, PagesTheRegionsSingersToTheEnd) {
  auto screen = showRegion();
  EXPECT_EQ(screen->label_navTitle()->text(), kRegion);
  EXPECT_EQ(m_service.requestsTo("getsingersbyclass").at(0).line(),
            "GET /wxsearchservice.aspx/?op=getsingersbyclass&p=1&tname=%E5%A4%A7%E9%99%86%E7%94%B7%E6%AD%8C%E6%98%9F"
            " HTTP/1.1");
  const auto all = m_service.singersOf(kRegion);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 26; }));
  for (int row : {0, 19, 25}) EXPECT_EQ(screen->singerAt(row)->string_singerName(), all[size_t(row)].name);
  EXPECT_EQ(screen->singerAt(25)->string_singerId(), all[25].id);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footer(*screen) == kt::PRRefreshState::NoMoreData; }));
  EXPECT_EQ(screen->arr_data().size(), 26u);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "3"}));

  // A row opens the songs of its singer; a row outside the list and the sing action do nothing.
  for (int row : {1, 26}) screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(row, 0));
  screen->didSelectTheMusic(0);
  EXPECT_EQ(openedNames(), (std::vector<std::string>{S::TitledList}));
  EXPECT_EQ(m_opened[0]->params, core::Value(core::Value::Dictionary{{S::NavTitleKey, all[1].name},
                                                                     {S::BackgroundKey, "SuperStarsBg"}}));
  screen->rightBarButtonClick();
  EXPECT_EQ(choiceMessage(), "请先登录~");
  EXPECT_TRUE(m_service.requestsTo("addsong.php").empty());
}

TEST_F(StarsSecondVCTest, FailedLateAndOddPages) {
  auto screen = showRegion();
  m_service.setFault("getsingersbyclass", venue::Fault::html().only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return pagesAsked().size() == 2 && screen->page_stars() == 1; }));
  // Page 2 again, held back until after a fresh first page: it never lands.
  auto late = std::make_shared<venue::Gate>();
  m_service.setFault("getsingersbyclass", venue::Fault::heldBy(late).only(1));
  screen->pullUp();
  ASSERT_TRUE(late->waitForArrived(1, 10));
  const size_t takenIn = repliesTakenIn();
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return repliesTakenIn() == takenIn + 1; }));
  late->open();
  ASSERT_TRUE(allTakenIn());
  EXPECT_EQ(screen->arr_data().size(), 20u);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "2", "1"}));

  // Items without a singer name are left out; a missing "data" is an empty page.
  m_service.setFault("getsingersbyclass", venue::Fault::withBody(200, R"({"data":[{"singername":"甲"},
      {"singerid":"S9"},{"singername":null},{"singername":""},7,{"singername":8}]})").only(1));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 2; }));
  EXPECT_EQ(screen->singerAt(1)->string_singerName(), "8");
  m_service.setFault("getsingersbyclass", venue::Fault::withBody(200, "{}").only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footer(*screen) == kt::PRRefreshState::NoMoreData; }));
}

TEST_P(StarsSecondVCTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  bind();
  auto screen = showRegion();
  ASSERT_TRUE(runUntil([&] { return !screen->label_rightBar()->isHidden(); }));
  render();
  expectFrame(*screen->btn_search(), {31, 13, 962, 45}, {41, 17, 1282, 60}, "search bar");
  expectFrame(*screen->tbView_data(), {0, 70, 1024, 619}, {0, 93, 1364, 825}, "table");
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), kt::pick(110, 146));
  EXPECT_FALSE(screen->btn_remote());
  wait(1.0);  // the pictures arrive, the overlay fades
  ASSERT_TRUE(allAnswered());
  pump(0.5);
  screenshot("singers-of-region");
}

INSTANTIATE_TEST_SUITE_P(Tablets, StarsSecondVCTest, ::testing::Values(support::Device::Standard,
                                                                       support::Device::LargeTablet));

}  // namespace
}  // namespace songs_test
