#include "songs/Style_clsssifyVC.h"

#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "songs/SongScreenFixture.h"
#include "songs/StyleStarsCell.h"
#include "support/RectExpectations.h"

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;
using S = kt::SongScreens;

class Style_clsssifyVCTest : public SongScreenFixture {
 protected:
  void tapRow(kt::Style_clsssifyVC& screen, int row) {
    screen.didSelectRowAtIndexPath(*screen.tbView_data(), ui::IndexPath::forRow(row, 0));
  }
};

TEST_F(Style_clsssifyVCTest, EveryCategoryOpensItsSongListBoundOrNot) {
  auto screen = show(std::make_shared<kt::Style_clsssifyVC>());
  EXPECT_EQ(screen->label_navTitle()->text(), "分类点歌");
  EXPECT_EQ(screen->names(), venue::CloudService::categories());
  ASSERT_EQ(screen->tbView_data()->numberOfRowsInSection(0), 21);
  auto first = std::dynamic_pointer_cast<kt::StyleStarsCell>(
      screen->tbView_data()->cellForRowAtIndexPath(ui::IndexPath::forRow(0, 0)));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->label_class()->text(), "男女对唱");

  // A real tap on the first row, then "disco"; rows outside the list open nothing.
  tap(*first);
  tapRow(*screen, 13);
  tapRow(*screen, 21);
  tapRow(*screen, -1);
  ASSERT_EQ(openedNames(), (std::vector<std::string>{S::TitledList, S::TitledList}));
  EXPECT_EQ(m_opened[0]->params[S::NavTitleKey], core::Value("男女对唱"));
  EXPECT_EQ(m_opened[1]->params[S::NavTitleKey], core::Value("disco"));
  EXPECT_EQ(m_opened[1]->params[S::BackgroundKey], core::Value("SuperStarsBg"));
  // The list is the program's own: only the queue badge is asked for.
  ASSERT_TRUE(allAnswered());
  for (const auto& request : m_service.requests()) EXPECT_EQ(request.endpoint, "getktvsonglist.php");
}

TEST_F(Style_clsssifyVCTest, QueueAndRemoteNeedABindingTheSearchBarDoesNot) {
  auto screen = show(std::make_shared<kt::Style_clsssifyVC>());
  tap(*screen->btn_remote());
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  screen->rightBarButtonClick();  // the alert now covers the screen
  EXPECT_EQ(choiceMessage(), "请先登录~");
  screen->btnClickSearch();
  EXPECT_EQ(openedNames(), (std::vector<std::string>{S::Search}));

  core::UserDefaults::standard().setString("uid", "");
  screen->rightBarButtonClick();
  EXPECT_EQ(findViews<kt::AlertView_style1>().size(), 3u);
  bind();
  screen->rightBarButtonClick();
  screen->remoteClick();
  EXPECT_EQ(openedNames(), (std::vector<std::string>{S::Search, S::Queue, S::RemoteControl}));
}

class Style_clsssifyVCFramesTest : public Style_clsssifyVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(Style_clsssifyVCFramesTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  bind();
  auto screen = show(std::make_shared<kt::Style_clsssifyVC>());
  ASSERT_TRUE(runUntil([&] { return !screen->label_rightBar()->isHidden(); }));
  render();
  const auto row1 = screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0));
  if (GetParam() == Device::LargeTablet) {
    expectRect(screen->btn_search()->frame(), 41, 17, 1282, 60, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 93, 1364, 825, "table");
    expectRect(screen->btn_remote()->frame(), 41, 773, 106, 106, "remote");
    EXPECT_DOUBLE_EQ(row1.y(), 132);
    EXPECT_DOUBLE_EQ(screen->label_rightBar()->layer()->cornerRadius(), 12);
    EXPECT_DOUBLE_EQ(screen->btn_remote()->layer()->cornerRadius(), 60);
  } else {
    expectRect(screen->btn_search()->frame(), 31, 13, 962, 45, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 70, 1024, 619, "table");
    expectRect(screen->btn_remote()->frame(), 31, 580, 80, 80, "remote");
    EXPECT_DOUBLE_EQ(row1.y(), 99);
  }
  screenshot("categories");
}

INSTANTIATE_TEST_SUITE_P(Tablets, Style_clsssifyVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
