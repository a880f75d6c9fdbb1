#include "songs/CycleSongsListVC.h"

#include "app/WGAlertView.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"

namespace songs_test {
namespace {

using support::Device;

class CycleSongsListVCTest : public SongScreenFixture {
 protected:
  static core::Value item(core::Value::Dictionary keys) {
    keys["pic"] = core::Value("");
    return core::Value(std::move(keys));
  }
  std::shared_ptr<kt::CycleSongsListVC> showBanner(const core::Value& banner) {
    auto screen = show(std::make_shared<kt::CycleSongsListVC>(banner));
    EXPECT_TRUE(allAnswered());
    EXPECT_TRUE(overlayGone());
    return screen;
  }
};

TEST_F(CycleSongsListVCTest, TheBannersClassPicksItsSongs) {
  bind();
  const std::vector<venue::CloudSong> songs = m_service.bannerSongs("12");
  for (const core::Value& classId : {core::Value(12), core::Value("12")}) {
    auto screen = showBanner(item({{"classid", classId}}));
    EXPECT_EQ(m_service.requestsTo("wxsong.php").back().line(), "GET /php/wxsong.php?classid=12&uid=1708012 HTTP/1.1");
    ASSERT_EQ(screen->arr_data().size(), songs.size());
    EXPECT_EQ(screen->tbView_data()->numberOfRowsInSection(0), static_cast<int>(songs.size()));
    for (size_t i = 0; i < songs.size(); ++i) {
      EXPECT_EQ(screen->arr_data()[i]->string_musicName(), songs[i].title);
      EXPECT_EQ(screen->arr_data()[i]->string_musicSinger(), songs[i].singer);
      EXPECT_EQ(screen->arr_data()[i]->string_musicNumber(), songs[i].number);
    }
  }
  EXPECT_TRUE(findViews<kt::WGAlertView>().empty());

  // No "classid" asks for class 0, which the service does not know: its message.
  auto screen = showBanner(item({}));
  EXPECT_EQ(m_service.requestsTo("wxsong.php").back().param("classid"), "0");
  ASSERT_TRUE(runUntil([&] { return findViewByText("该专题不存在") != nullptr; }));
  EXPECT_TRUE(findViewByText("提示"));
  EXPECT_TRUE(screen->arr_data().empty());
  EXPECT_EQ(m_service.requestsTo("wxsong.php").size(), 3u);
}

TEST_F(CycleSongsListVCTest, NoBindingNoRequestAndNoReplyNoMessage) {
  auto screen = showBanner(item({{"classid", core::Value(12)}}));
  EXPECT_EQ(choiceMessage(), "请先登录~");
  EXPECT_TRUE(m_service.requestsTo("wxsong.php").empty());
  EXPECT_TRUE(screen->arr_data().empty());

  bind();
  m_service.setFault("wxsong.php", venue::Fault::html().only(1));
  screen = showBanner(item({{"classid", core::Value(12)}}));
  EXPECT_EQ(m_service.requestsTo("wxsong.php").size(), 1u);
  EXPECT_TRUE(screen->arr_data().empty());
  EXPECT_TRUE(findViews<kt::WGAlertView>().empty());
}

TEST_F(CycleSongsListVCTest, QueueingABannerSongShowsOnlyTheToast) {
  bind();
  auto screen = showBanner(item({{"classid", core::Value("15")}}));
  ASSERT_FALSE(screen->arr_data().empty());
  EXPECT_FALSE(screen->label_rightBar());
  tap(*singButton(*screen->tbView_data(), 3));
  ASSERT_TRUE(runUntil([&] { return findViewByText("已添加") != nullptr; }));
  expectQueuedLast(*screen->arr_data()[3]);
}

class CycleSongsListVCFramesTest : public CycleSongsListVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(CycleSongsListVCFramesTest, OnlyTheTableUnderASmallTitle) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  bind();
  auto screen = showBanner(item({{"classid", core::Value(21)}}));
  wait(0.5);  // the progress overlay fades out
  support::expectRect(screen->tbView_data()->frame(), 0, 0, large ? 1364 : 1024, large ? 919 : 689, "table");
  EXPECT_EQ(screen->label_navTitle()->text(), "歌曲列表");
  EXPECT_DOUBLE_EQ(screen->label_navTitle()->font()->pointSize(), large ? 18 : 17);
  EXPECT_FALSE(screen->btn_queue() || screen->btn_search() || screen->btn_remote());
  screenshot("banner-songs");
}

INSTANTIATE_TEST_SUITE_P(Tablets, CycleSongsListVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
