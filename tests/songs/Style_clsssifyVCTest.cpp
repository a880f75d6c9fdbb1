#include "songs/Style_clsssifyVC.h"

#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "songs/SongScreenFixture.h"

namespace songs_test {
namespace {

using S = kt::SongScreens;

class Style_clsssifyVCTest : public SongScreenFixture, public ::testing::WithParamInterface<support::Device> {};

TEST_F(Style_clsssifyVCTest, CategoriesOpenTheirSongListsAndTheFrameGuardsTheRest) {
  auto screen = show(std::make_shared<kt::Style_clsssifyVC>());
  EXPECT_EQ(screen->names(), venue::CloudService::categories());
  ASSERT_EQ(screen->tbView_data()->numberOfRowsInSection(0), 21);
  tap(*screen->tbView_data()->cellForRowAtIndexPath(ui::IndexPath::forRow(0, 0)));
  for (int row : {13, 21, -1}) screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(row, 0));
  ASSERT_EQ(openedNames(), (std::vector<std::string>{S::TitledList, S::TitledList}));
  EXPECT_EQ(m_opened[0]->params[S::NavTitleKey], core::Value("男女对唱"));
  EXPECT_EQ(m_opened[1]->params, core::Value(core::Value::Dictionary{{S::NavTitleKey, "disco"},
                                                                     {S::BackgroundKey, "SuperStarsBg"}}));

  // Not bound ("uid" missing, then empty): the remote and queue buttons only explain.
  screen->remoteClick();
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  core::UserDefaults::standard().setString("uid", "");
  screen->rightBarButtonClick();
  EXPECT_EQ(choiceMessage(), "请先登录~");
  screen->btnClickSearch();
  bind();
  screen->rightBarButtonClick();
  screen->remoteClick();
  EXPECT_EQ(openedNames(), (std::vector<std::string>{S::TitledList, S::TitledList, S::Search, S::Queue,
                                                     S::RemoteControl}));
  // The list is the program's own: only the queue badge is asked for.
  ASSERT_TRUE(allAnswered());
  for (const auto& request : m_service.requests()) EXPECT_EQ(request.endpoint, "getktvsonglist.php");
}

TEST_P(Style_clsssifyVCTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  bind();
  auto screen = show(std::make_shared<kt::Style_clsssifyVC>());
  ASSERT_TRUE(runUntil([&] { return !screen->label_rightBar()->isHidden(); }));
  render();
  expectFrame(*screen->btn_search(), {31, 13, 962, 45}, {41, 17, 1282, 60}, "search bar");
  expectFrame(*screen->tbView_data(), {0, 70, 1024, 619}, {0, 93, 1364, 825}, "table");
  expectFrame(*screen->btn_remote(), {31, 580, 80, 80}, {41, 773, 106, 106}, "remote");
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), kt::pick(99, 132));
  EXPECT_DOUBLE_EQ(screen->btn_remote()->layer()->cornerRadius(), kt::pick(45, 60));
  screenshot("categories");
}

INSTANTIATE_TEST_SUITE_P(Tablets, Style_clsssifyVCTest, ::testing::Values(support::Device::Standard,
                                                                          support::Device::LargeTablet));

}  // namespace
}  // namespace songs_test
