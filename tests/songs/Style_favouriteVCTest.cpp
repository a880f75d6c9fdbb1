#include "songs/Style_favouriteVC.h"

#include "app/WGAlertView.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/PRRefreshHeader.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

namespace songs_test {
namespace {

using support::Device;

class Style_favouriteVCTest : public SongScreenFixture {
 protected:
  std::shared_ptr<kt::Style_favouriteVC> showFavourites(size_t rows) {
    auto screen = show(std::make_shared<kt::Style_favouriteVC>());
    EXPECT_TRUE(runUntil([&] { return screen->arr_data().size() == rows && allAnswered(); }));
    wait(0.5);  // the progress overlay fades out
    return screen;
  }
  kt::PRRefreshState footerState(kt::Style_favouriteVC& s) { return kt::pr_footer(*s.tbView_data())->state(); }
  std::vector<std::string> pagesAsked() const {
    std::vector<std::string> pages;
    for (const auto& r : m_service.requestsTo("getfavsongs.php")) pages.push_back(r.param("p").value_or(""));
    return pages;
  }
};

TEST_F(Style_favouriteVCTest, PagesThroughTheRoomsFavourites) {
  bind();
  auto screen = showFavourites(20);
  EXPECT_EQ(m_service.requestsTo("getfavsongs.php")[0].line(), "GET /interface/getfavsongs.php?p=1&uid=1708012 HTTP/1.1");
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 25; }));
  const std::vector<std::string> favourites = m_service.roomState(kRoom).favourites;
  ASSERT_EQ(favourites.size(), 25u);
  for (size_t i = 0; i < favourites.size(); ++i) {
    const venue::CloudSong song = *m_service.song(favourites[i]);
    EXPECT_EQ(screen->arr_data()[i]->string_musicNumber(), song.number);
    EXPECT_EQ(screen->arr_data()[i]->string_musicName(), song.title);
    EXPECT_EQ(screen->arr_data()[i]->string_musicSinger(), song.singer);  // kept whole
  }
  EXPECT_EQ(footerState(*screen), kt::PRRefreshState::Idle);
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return footerState(*screen) == kt::PRRefreshState::NoMoreData; }));
  EXPECT_EQ(screen->arr_data().size(), 25u);
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(Style_favouriteVCTest, AFailedLoadKeepsTheRowsAndStopsTheControls) {
  bind();
  auto screen = showFavourites(20);
  auto header = kt::pr_header(*screen->tbView_data());
  auto footer = kt::pr_footer(*screen->tbView_data());
  m_service.setFault("getfavsongs.php", venue::Fault::html().only(2));
  header->beginRefreshing();
  ASSERT_TRUE(runUntil([&] { return pagesAsked().size() == 2 && allAnswered() && !header->isRefreshing(); }));
  EXPECT_EQ(screen->arr_data().size(), 20u);
  footer->beginRefreshing();
  ASSERT_TRUE(runUntil([&] { return pagesAsked().size() == 3 && allAnswered() && !footer->isRefreshing(); }));
  EXPECT_EQ(screen->arr_data().size(), 20u);
  EXPECT_EQ(footer->state(), kt::PRRefreshState::Idle);
  // The failed page is the next one asked for.
  screen->pullUp();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 25; }));
  EXPECT_EQ(pagesAsked(), (std::vector<std::string>{"1", "1", "2", "2"}));
}

TEST_F(Style_favouriteVCTest, QueueingASongWithAndWithoutABinding) {
  // Not bound (the home screen does not open it so, but the binding may go): "uid" is sent empty.
  auto screen = showFavourites(0);
  EXPECT_EQ(m_service.requestsTo("getfavsongs.php")[0].line(), "GET /interface/getfavsongs.php?p=1&uid= HTTP/1.1");
  EXPECT_EQ(footerState(*screen), kt::PRRefreshState::NoMoreData);

  bind();
  screen = showFavourites(20);
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->text() == "3"; }));
  tap(*singButton(*screen->tbView_data(), 1));
  ASSERT_TRUE(runUntil([&] { return findViewByText("已添加") != nullptr; }));
  EXPECT_EQ(screen->label_rightBar()->text(), "4");
  expectQueuedLast(*screen->arr_data()[1]);
  wait(0.5);  // the progress overlay goes
  tap(*screen->btn_search());
  EXPECT_EQ(openedNames(), (std::vector<std::string>{kt::SongScreens::Search}));

  // Adding asks for no binding: the missing one is sent as "", and the service's answer shown.
  core::UserDefaults::standard().removeObjectForKey("uid");
  screen->didSelectTheMusic(0);
  ASSERT_TRUE(runUntil([&] { return !findViews<kt::WGAlertView>().empty(); }));
  EXPECT_EQ(m_service.requestsTo("addsong.php").back().param("uid"), "");
  EXPECT_TRUE(findViewByText("请先绑定房间"));
  EXPECT_EQ(m_service.roomState(kRoom).queue.size(), 4u);
}

class Style_favouriteVCFramesTest : public Style_favouriteVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(Style_favouriteVCFramesTest, SearchBarWithItsOwnMagnifierAndNoSeparator) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  bind();
  auto screen = showFavourites(20);
  support::expectRect(screen->tbView_data()->frame(), 0, large ? 93 : 70, large ? 1364 : 1024, large ? 825 : 619,
                      "table");
  // No separator under the search bar; the magnifier "Search".
  for (const auto& view : screen->bgView()->subviews()) {
    auto picture = std::dynamic_pointer_cast<ui::ImageView>(view);
    EXPECT_FALSE(picture && picture->image() == gfx::Image::named("SeparateLine2"));
  }
  int searchPictures = 0;
  for (const auto& view : screen->btn_search()->subviews()) {
    auto picture = std::dynamic_pointer_cast<ui::ImageView>(view);
    if (picture && picture->image() == gfx::Image::named("Search")) ++searchPictures;
  }
  EXPECT_EQ(searchPictures, 1);
  screenshot("favourites");
}

INSTANTIATE_TEST_SUITE_P(Tablets, Style_favouriteVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
