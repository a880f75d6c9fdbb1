#include "songs/StarsSecondVC.h"

#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "songs/SongScreenFixture.h"
#include "songs/StarsListModel.h"
#include "songs/Style_clsssifyVC.h"
#include "songs/Style_starsVC.h"
#include "support/RectExpectations.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

#include <chrono>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;
using S = kt::SongScreens;

// 26 singers: a full page and a page of 6.
constexpr const char* kRegion = "大陆男歌星";

class StarsSecondVCTest : public SongScreenFixture {
 protected:
  std::shared_ptr<kt::StarsSecondVC> showRegion(size_t rows = 20) {
    auto screen = std::make_shared<kt::StarsSecondVC>();
    screen->setString_navTitle(kRegion);
    show(screen);
    EXPECT_TRUE(runUntil([&] { return screen->arr_data().size() == rows; }));
    return screen;
  }
  std::vector<std::string> pagesAsked() const {
    std::vector<std::string> pages;
    for (const auto& r : m_service.requestsTo("getsingersbyclass")) pages.push_back(r.param("p").value_or(""));
    return pages;
  }
  kt::PRRefreshState footerState(kt::StarsSecondVC& s) { return kt::pr_footer(*s.tbView_data())->state(); }
  std::string singerName(kt::StarsSecondVC& s, int row) { return s.singerAt(row)->string_singerName(); }
};

TEST_F(StarsSecondVCTest, PagesTheRegionsSingersToTheEnd) {
  auto screen = showRegion();
  EXPECT_EQ(screen->label_navTitle()->text(), kRegion);
  const auto first = m_service.requestsTo("getsingersbyclass").at(0);
  EXPECT_EQ(first.line(), "GET /wxsearchservice.aspx/?op=getsingersbyclass&p=1&tname="
                          "%E5%A4%A7%E9%99%86%E7%94%B7%E6%AD%8C%E6%98%9F HTTP/1.1");
  const auto all = m_service.singersOf(kRegion);
  EXPECT_EQ(singerName(*screen, 0), all[0].name);
  EXPECT_EQ(screen->singerAt(19)->string_singerId(), all[19].id);
  EXPECT_FALSE(screen->singerAt(20));

  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 26; }));
  EXPECT_EQ(singerName(*screen, 25), all[25].name);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footerState(*screen) == kt::PRRefreshState::NoMoreData; }));
  EXPECT_EQ(screen->arr_data().size(), 26u);
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return footerState(*screen) == kt::PRRefreshState::Idle; }));
  EXPECT_EQ(screen->arr_data().size(), 20u);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "3", "1"}));
}

TEST_F(StarsSecondVCTest, AFailedPageIsAskedForAgainAndALatePageIsDropped) {
  auto screen = showRegion();
  m_service.setFault("getsingersbyclass", venue::Fault::html().only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return pagesAsked().size() == 2 && screen->page() == 1; }));
  EXPECT_EQ(screen->arr_data().size(), 20u);

  // Page 2 again, held back until after a fresh first page.
  m_service.setFault("getsingersbyclass", venue::Fault::slow(std::chrono::milliseconds(500)).only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return pagesAsked().size() == 3; }));
  screen->pullDown();
  ASSERT_TRUE(allAnswered());
  pump();
  EXPECT_EQ(screen->arr_data().size(), 20u);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "2", "1"}));

  // Items without a singer name are left out; a missing "data" is an empty page.
  m_service.setFault("getsingersbyclass", venue::Fault::withBody(200, R"({"data":[{"singername":"甲"},
      {"singerid":"S9"},{"singername":null},{"singername":""},7,{"singername":8}]})").only(1));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 2; }));
  EXPECT_EQ(singerName(*screen, 1), "8");
  m_service.setFault("getsingersbyclass", venue::Fault::withBody(200, "{}").only(1));
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footerState(*screen) == kt::PRRefreshState::NoMoreData; }));
}

TEST_F(StarsSecondVCTest, ASingerOpensItsSongsAndTheQueueNeedsABinding) {
  auto screen = showRegion();
  screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(1, 0));
  screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(20, 0));
  screen->didSelectTheMusic(0);
  ASSERT_EQ(openedNames(), (std::vector<std::string>{S::TitledList}));
  EXPECT_EQ(m_opened[0]->params[S::NavTitleKey], core::Value(m_service.singersOf(kRegion)[1].name));
  EXPECT_EQ(m_opened[0]->params[S::BackgroundKey], core::Value("SuperStarsBg"));
  EXPECT_TRUE(m_service.requestsTo("addsong.php").empty());
  screen->rightBarButtonClick();
  EXPECT_EQ(choiceMessage(), "请先登录~");
  EXPECT_FALSE(screen->btn_remote());

  // A screen popped while its page is on the way is gone at once; the reply finds nothing.
  m_service.setFault("getsingersbyclass", venue::Fault::slow(std::chrono::milliseconds(300)));
  std::weak_ptr<kt::StarsSecondVC> weak = screen;
  screen->pullDown();
  screen.reset();
  window().setRootViewController(nullptr);
  m_nav.reset();
  pump(0.1);
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(allAnswered());
  pump();
}

TEST_F(StarsSecondVCTest, TheRegistryMakesTheThreeScreens) {
  S::registerBuiltInScreens();
  core::Value::Dictionary params{{S::NavTitleKey, "港台女歌星"}};
  auto region = std::dynamic_pointer_cast<kt::StarsSecondVC>(S::make(S::SingersOfRegion, core::Value(params)));
  ASSERT_TRUE(region);
  EXPECT_EQ(region->string_navTitle(), "港台女歌星");
  EXPECT_TRUE(std::dynamic_pointer_cast<kt::Style_starsVC>(S::make(S::Singers)));
  EXPECT_TRUE(std::dynamic_pointer_cast<kt::Style_clsssifyVC>(S::make(S::Categories)));
}

class StarsSecondVCFramesTest : public StarsSecondVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(StarsSecondVCFramesTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  bind();
  auto screen = showRegion();
  ASSERT_TRUE(runUntil([&] { return !screen->label_rightBar()->isHidden(); }));
  render();
  const auto row1 = screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0));
  if (GetParam() == Device::LargeTablet) {
    expectRect(screen->btn_search()->frame(), 41, 17, 1282, 60, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 93, 1364, 825, "table");
    expectRect(screen->label_rightBar()->frame(), 1307, 38, 26, 24, "badge");
    EXPECT_DOUBLE_EQ(screen->label_rightBar()->layer()->cornerRadius(), 12);
    EXPECT_DOUBLE_EQ(row1.y(), 146);
  } else {
    expectRect(screen->btn_search()->frame(), 31, 13, 962, 45, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 70, 1024, 619, "table");
    expectRect(screen->label_rightBar()->frame(), 981, 29, 20, 18, "badge");
    EXPECT_DOUBLE_EQ(row1.y(), 110);
  }
  wait(1.0);  // the pictures arrive, the overlay fades
  ASSERT_TRUE(allAnswered());
  pump(0.5);
  screenshot("singers-of-region");
}

INSTANTIATE_TEST_SUITE_P(Tablets, StarsSecondVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
