#include "songs/AlreadyChooseVC.h"

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "songs/RoomSongsFixture.h"
#include "support/RectExpectations.h"

#include <chrono>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;

class AlreadyChooseVCTest : public RoomSongsFixture {
 protected:
  // Bound, with eight songs queued and three sung.
  std::shared_ptr<kt::AlreadyChooseVC> showQueue() {
    bind();
    setRoom(songs(0, 8), songs(20, 3));
    auto screen = showLoaded(std::make_shared<kt::AlreadyChooseVC>(), 8);
    EXPECT_TRUE(runUntil([&] { return screen->label_rightBar()->text() == "3"; }));
    return screen;
  }
  std::vector<std::string> reordered(const std::vector<size_t>& order) const {
    std::vector<std::string> all = numbers(songs(0, 8)), out;
    for (size_t i : order) out.push_back(all[i]);
    return out;
  }
};

TEST_F(AlreadyChooseVCTest, ShowsTheQueueAndCountsTheSungSongs) {
  auto screen = showQueue();
  EXPECT_EQ(lines("getktvsonglist.php"), std::vector<std::string>{"GET /interface/getktvsonglist.php?uid=1708012 HTTP/1.1"});
  EXPECT_EQ(lines("oversonglist.php"), std::vector<std::string>{"GET /interface/oversonglist.php?uid=1708012 HTTP/1.1"});
  EXPECT_EQ(numbers(*screen), numbers(songs(0, 8)));
  EXPECT_FALSE(screen->label_rightBar()->isHidden());
  EXPECT_EQ(cell(*screen, 2)->label_musicName()->text(), songs(2, 1)[0].title);

  // A pull-down asks for the queue again, never for a page; a reply without "list" empties it.
  m_service.setFault("getktvsonglist.php", venue::Fault::missingKeys({"list"}));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().empty(); }));
  EXPECT_EQ(lines("getktvsonglist.php").back(), "GET /interface/getktvsonglist.php?uid=1708012 HTTP/1.1");
  // A queue that cannot be had keeps the rows and says so.
  m_service.setFault("getktvsonglist.php", venue::Fault::html());
  setRoom(songs(0, 2), {});
  screen->viewWillAppear(false);  // the badge: no sung songs hide it
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return findViewByText("请绑定房台") != nullptr; }));
  EXPECT_TRUE(findViewByText("提示"));
  EXPECT_TRUE(screen->arr_data().empty());
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->isHidden(); }));
}

TEST_F(AlreadyChooseVCTest, NotBoundSendsAnEmptyIdAndTheRemoteButtonSaysSo) {
  auto screen = show(std::make_shared<kt::AlreadyChooseVC>());
  ASSERT_TRUE(runUntil([&] { return findViewByText("请绑定房台") != nullptr; }));
  EXPECT_EQ(lines("getktvsonglist.php"), std::vector<std::string>{"GET /interface/getktvsonglist.php?uid= HTTP/1.1"});
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("oversonglist.php").size() == 1 && allAnswered(); }));
  pump(0.1);
  EXPECT_TRUE(screen->label_rightBar()->isHidden());
  closeAlerts();
  tap(*screen->btn_remote());
  EXPECT_EQ(choiceMessage(), "请先绑定包房");
  EXPECT_TRUE(openedNames().empty());
}

TEST_F(AlreadyChooseVCTest, MovingARowPutsItBehindTheSongBeingSung) {
  auto screen = showQueue();
  const std::string moved = numbers(songs(5, 1))[0];
  tap(*cell(*screen, 5)->btn_play());
  ASSERT_TRUE(runUntil([&] { return findViewByText("置顶成功") != nullptr; }));
  EXPECT_EQ(lines("songlisttop.php"),
            std::vector<std::string>{"GET /interface/songlisttop.php?musicno=" + moved + "&uid=1708012 HTTP/1.1"});
  const std::vector<std::string> order = reordered({0, 5, 1, 2, 3, 4, 6, 7});
  EXPECT_EQ(numbers(*screen), order);
  EXPECT_EQ(numbers(m_service.roomState(kRoom).queue), order);
  EXPECT_EQ(cell(*screen, 1)->label_musicName()->text(), songs(5, 1)[0].title);
  EXPECT_EQ(m_service.requestsTo("getktvsonglist.php").size(), 1u);  // not asked for again

  // The song being sung, and rows that are not there, move nothing.
  wait(0.5);
  tap(*cell(*screen, 0)->btn_play());
  screen->didSelectTheIndexOfSongs(8);
  screen->didSelectTheIndexOfSongs(-1);
  pump(0.1);
  EXPECT_EQ(m_service.requestsTo("songlisttop.php").size(), 1u);
}

TEST_F(AlreadyChooseVCTest, AQueueThatChangedBeforeTheMoveReplyIsReloaded) {
  auto screen = showQueue();
  m_service.setFault("songlisttop.php", venue::Fault::slow(std::chrono::milliseconds(600)).only(1));
  screen->didSelectTheIndexOfSongs(5);
  ASSERT_TRUE(m_service.waitForRequests(m_service.requestCount() + 1, 5));
  // Meanwhile the third song leaves the queue and the screen reloads: row 5 is another song.
  std::vector<venue::QueuedSong> changed = songs(0, 8);
  changed.erase(changed.begin() + 2);
  setRoom(changed, songs(20, 3));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 7; }));
  EXPECT_TRUE(m_service.requestsTo("songlisttop.php").size() == 1 && findViewByText("置顶成功") == nullptr);

  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("getktvsonglist.php").size() == 3 && allAnswered(); }));
  pump(0.1);
  EXPECT_EQ(numbers(*screen), reordered({0, 5, 1, 3, 4, 6, 7}));
  EXPECT_EQ(numbers(*screen), numbers(m_service.roomState(kRoom).queue));
}

TEST_F(AlreadyChooseVCTest, ARefusedOrLostMoveKeepsTheOrder) {
  auto screen = showQueue();
  // The song has left the queue at the service: it refuses with its message.
  setRoom(songs(0, 3), songs(20, 3));
  screen->didSelectTheIndexOfSongs(6);
  ASSERT_TRUE(runUntil([&] { return findViewByText("该歌曲不在已点列表中") != nullptr; }));
  EXPECT_TRUE(findViewByText("提示"));
  for (venue::Fault fault : {venue::Fault::close(), venue::Fault::html()}) {
    m_service.setFault("songlisttop.php", fault);
    screen->didSelectTheIndexOfSongs(2);
    ASSERT_TRUE(runUntil([&] { return findViewByText("操作失败,请稍后重试") != nullptr; }));
    closeAlerts();
  }
  EXPECT_EQ(numbers(*screen), numbers(songs(0, 8)));
}

TEST_F(AlreadyChooseVCTest, ComingBackFromTheSungSongsRefreshesOnlyTheBadge) {
  auto screen = showQueue();
  tap(*screen->btn_queue());
  ASSERT_EQ(openedNames(), std::vector<std::string>{kt::SongScreens::SungSongs});
  wait(0.5);
  setRoom(songs(0, 8), songs(20, 5));
  m_nav->popViewControllerAnimated(true);
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->text() == "5"; }));
  EXPECT_EQ(m_service.requestsTo("oversonglist.php").size(), 2u);
  EXPECT_EQ(m_service.requestsTo("getktvsonglist.php").size(), 1u);
}

TEST_F(AlreadyChooseVCTest, AMoveReplyAfterTheScreenHasGoneChangesNothing) {
  std::weak_ptr<kt::AlreadyChooseVC> weak;
  {
    auto screen = showQueue();
    weak = screen;
    m_service.setFault("songlisttop.php", venue::Fault::slow(std::chrono::milliseconds(300)));
    screen->didSelectTheIndexOfSongs(3);
    window().setRootViewController(nullptr);
    m_nav.reset();
  }
  pump(0.1);
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(allAnswered());
  pump();
  EXPECT_EQ(findViewByText("置顶成功"), nullptr);
}

class AlreadyChooseVCFramesTest : public AlreadyChooseVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(AlreadyChooseVCFramesTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto screen = showQueue();
  render();
  EXPECT_EQ(screen->imgV_rightBar()->image(), gfx::Image::named("AlreadySing"));
  if (large) {
    expectRect(screen->imgV_rightBar()->frame(), 1246, 45, 79, 33, "sung picture");
    expectRect(screen->btn_queue()->frame(), 1245, 32, 119, 60, "sung button");
    expectRect(screen->label_rightBar()->frame(), 1307, 38, 26, 24, "badge");
    expectRect(screen->tbView_data()->frame(), 0, 0, 1364, 919, "table");
    expectRect(screen->btn_remote()->frame(), 41, 773, 106, 106, "remote");
  } else {
    expectRect(screen->imgV_rightBar()->frame(), 935, 34, 60, 25, "sung picture");
    expectRect(screen->btn_queue()->frame(), 934, 24, 90, 45, "sung button");
    expectRect(screen->label_rightBar()->frame(), 981, 29, 20, 18, "badge");
    expectRect(screen->tbView_data()->frame(), 0, 0, 1024, 689, "table");
    expectRect(screen->btn_remote()->frame(), 31, 580, 80, 80, "remote");
  }
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large ? 136 : 102);
  EXPECT_EQ(cell(*screen, 1)->btn_play()->backgroundImageForState(ui::ControlStateNormal),
            gfx::Image::named("TopSongs_normal"));
  EXPECT_EQ(cell(*screen, 1)->btn_play()->backgroundImageForState(ui::ControlStateHighlighted),
            gfx::Image::named("TopSongs_selected"));
  // The remote button is within reach.
  bind("");
  tap(*screen->btn_remote());
  EXPECT_EQ(choiceMessage(), "请先绑定包房");
  closeAlerts();
  screenshot("queue");
}

INSTANTIATE_TEST_SUITE_P(Tablets, AlreadyChooseVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
