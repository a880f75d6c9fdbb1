#include "songs/FinishedMusicVC.h"

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/RoomSongsFixture.h"
#include "support/RectExpectations.h"

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;

class FinishedMusicVCTest : public RoomSongsFixture {
 protected:
  // Bound, with four songs sung, the last a duet (the catalogue's last song).
  std::shared_ptr<kt::FinishedMusicVC> showSung() {
    bind();
    std::vector<venue::QueuedSong> sung = songs(10, 3);
    sung.push_back(songs(m_service.songs().size() - 1, 1)[0]);
    setRoom(songs(0, 2), sung);
    return showLoaded(std::make_shared<kt::FinishedMusicVC>(), 4);
  }
};

TEST_F(FinishedMusicVCTest, ListsTheSungSongsAndQueuesAnyOfThemAgain) {
  auto screen = showSung();
  EXPECT_EQ(lines("oversonglist.php"), std::vector<std::string>{"GET /interface/oversonglist.php?uid=1708012 HTTP/1.1"});
  EXPECT_TRUE(m_service.requestsTo("getktvsonglist.php").empty());  // no queue badge here
  const venue::QueuedSong duet = m_service.roomState(kRoom).sung[3];
  ASSERT_NE(duet.singer.find(','), std::string::npos);
  EXPECT_EQ(cell(*screen, 3)->label_singerName()->text(), duet.singer.substr(0, duet.singer.find(',')));

  // The first row too; the whole singer text is sent.
  tap(*cell(*screen, 0)->btn_play());
  screen->didSelectTheIndexOfSongs(3);
  screen->didSelectTheIndexOfSongs(3);
  screen->didSelectTheIndexOfSongs(4);
  ASSERT_TRUE(runUntil([&] { return m_service.roomState(kRoom).queue.size() == 5 && allAnswered(); }));
  const auto queue = m_service.roomState(kRoom).queue;
  EXPECT_EQ(queue[2], m_service.roomState(kRoom).sung[0]);
  EXPECT_EQ(queue[3], duet);
  EXPECT_EQ(queue[4], duet);
  EXPECT_EQ(lines("addsong.php").size(), 3u);
  EXPECT_TRUE(findViewByText("已添加"));
  EXPECT_EQ(screen->arr_data().size(), 4u);
  EXPECT_EQ(m_service.requestsTo("oversonglist.php").size(), 1u);
}

TEST_F(FinishedMusicVCTest, AListThatCannotBeHadKeepsTheRowsAndSaysSo) {
  auto screen = showSung();
  for (venue::Fault fault : {venue::Fault::html(), venue::Fault::withBody(200, R"({"code":0,"list":[]})")}) {
    m_service.setFault("oversonglist.php", fault);
    screen->pullDown();
    ASSERT_TRUE(runUntil([&] { return findViewByText("获取失败，请稍后重试") != nullptr; }));
    EXPECT_TRUE(findViewByText("提示"));
    EXPECT_EQ(screen->arr_data().size(), 4u);
    closeAlerts();
  }
  // Success with no "list" shows no rows.
  m_service.setFault("oversonglist.php", venue::Fault::missingKeys({"list"}));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().empty(); }));
}

class FinishedMusicVCFramesTest : public FinishedMusicVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(FinishedMusicVCFramesTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto screen = showSung();
  render();
  EXPECT_FALSE(screen->btn_queue());
  EXPECT_FALSE(screen->btn_search());
  EXPECT_EQ(screen->imgV_remote()->image(), gfx::Image::named("RemoteControl"));
  if (large) {
    expectRect(screen->tbView_data()->frame(), 0, 0, 1364, 919, "table");
    expectRect(screen->imgV_remote()->frame(), 41, 773, 119, 120, "remote picture");
    expectRect(screen->btn_remoteControl()->frame(), 41, 773, 106, 106, "remote button");
  } else {
    expectRect(screen->tbView_data()->frame(), 0, 0, 1024, 689, "table");
    expectRect(screen->imgV_remote()->frame(), 31, 580, 90, 90, "remote picture");
    expectRect(screen->btn_remoteControl()->frame(), 31, 580, 80, 80, "remote button");
  }
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large ? 136 : 102);
  EXPECT_EQ(cell(*screen, 1)->btn_play()->backgroundImageForState(ui::ControlStateNormal),
            gfx::Image::named("RepeatSongs_normal"));
  EXPECT_EQ(cell(*screen, 1)->btn_play()->backgroundImageForState(ui::ControlStateHighlighted),
            gfx::Image::named("RepeatSongs_selected"));
  screenshot("sung");
  // The remote button is within reach: the guard when not bound, else the remote control.
  bind("");
  tap(*screen->btn_remoteControl());
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  closeAlerts();
  bind();
  tap(*screen->btn_remoteControl());
  EXPECT_EQ(openedNames(), std::vector<std::string>{kt::SongScreens::RemoteControl});
}

INSTANTIATE_TEST_SUITE_P(Tablets, FinishedMusicVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
