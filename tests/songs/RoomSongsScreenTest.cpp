// The queue and sung songs screens against the stand-in, with the bound room's lists set on it.
#include "songs/AlreadyChooseVC.h"
#include "songs/FinishedMusicVC.h"

#include "app/WGAlertView.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"

#include <chrono>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;
using Songs = std::vector<venue::QueuedSong>;
using Numbers = std::vector<std::string>;

class RoomSongsScreenTest : public SongScreenFixture {
 protected:
  void SetUp() override {
    SongScreenFixture::SetUp();
    kt::SongScreens::registerFactory(kt::SongScreens::SungSongs, [this](const core::Value& params) {
      return m_opened.emplace_back(std::make_shared<OpenedScreen>(kt::SongScreens::SungSongs, params));
    });
  }
  void TearDown() override {
    SongScreenFixture::TearDown();
    kt::SongScreens::registerFactory(kt::SongScreens::SungSongs, nullptr);
  }

  // Catalogue songs by index; the catalogue ends with duets (two singers joined by ",").
  Songs songs(std::vector<size_t> indexes) const {
    Songs out;
    for (size_t i : indexes) {
      const venue::CloudSong& s = m_service.songs().at(i);
      out.push_back({s.number, s.title, s.singer});
    }
    return out;
  }
  Songs eight() const { return songs({0, 1, 2, 3, 4, 5, 6, 7}); }
  static Numbers numbers(const Songs& list) {
    Numbers out;
    for (const auto& s : list) out.push_back(s.number);
    return out;
  }
  static Numbers numbers(const kt::SongScreen& screen) {
    Numbers out;
    for (const auto& row : screen.arr_data()) out.push_back(row->string_musicNumber());
    return out;
  }
  void setRoom(Songs queue, Songs sung = {}) {
    venue::RoomState state;
    state.queue = std::move(queue);
    state.sung = std::move(sung);
    m_service.setRoomState(kRoom, std::move(state));
  }
  // Bound, with this queue and these sung songs; the screen once its list is in.
  template <class T>
  std::shared_ptr<T> showWith(Songs queue, Songs sung) {
    bind();
    setRoom(std::move(queue), std::move(sung));
    auto screen = show(std::make_shared<T>());
    EXPECT_TRUE(runUntil([&] { return !screen->arr_data().empty() && allAnswered(); }));
    wait(0.5);
    return screen;
  }
  std::shared_ptr<kt::SearchMusicCell> cell(kt::SongScreen& screen, int row) {
    render();
    return std::dynamic_pointer_cast<kt::SearchMusicCell>(
        screen.tbView_data()->cellForRowAtIndexPath(ui::IndexPath::forRow(row, 0)));
  }
  std::string line(const std::string& endpoint, size_t i = 0) const {
    return m_service.requestsTo(endpoint).at(i).line();
  }
  void waitForText(const std::string& text) { ASSERT_TRUE(runUntil([&] { return findViewByText(text) != nullptr; })); }
  void closeAlerts() {
    for (const auto& alert : findViews<kt::WGAlertView>()) alert->dismissss();
    wait(0.5);
  }
};

TEST_F(RoomSongsScreenTest, QueueShowsTheRoomsSongsAndCountsTheSungOnes) {
  auto screen = showWith<kt::AlreadyChooseVC>(eight(), songs({20, 21, 22}));
  EXPECT_EQ(line("getktvsonglist.php"), "GET /interface/getktvsonglist.php?uid=1708012 HTTP/1.1");
  EXPECT_EQ(line("oversonglist.php"), "GET /interface/oversonglist.php?uid=1708012 HTTP/1.1");
  EXPECT_EQ(numbers(*screen), numbers(eight()));
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->text() == "3"; }));
  EXPECT_FALSE(screen->label_rightBar()->isHidden());

  // Back from the sung songs: the badge is asked for again (none: hidden), the queue is not.
  tap(*screen->btn_queue());
  ASSERT_EQ(openedNames(), Numbers{kt::SongScreens::SungSongs});
  wait(0.5);
  setRoom(eight());
  m_nav->popViewControllerAnimated(true);
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->isHidden(); }));
  EXPECT_EQ(m_service.requestsTo("getktvsonglist.php").size(), 1u);

  // A queue that cannot be had keeps the rows and says so; a reply without "list" empties them.
  m_service.setFault("getktvsonglist.php", venue::Fault::html().only(1));
  screen->pullDown();
  waitForText("请绑定房台");
  EXPECT_EQ(screen->arr_data().size(), 8u);
  m_service.setFault("getktvsonglist.php", venue::Fault::missingKeys({"list"}));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().empty(); }));
  EXPECT_EQ(line("getktvsonglist.php", 2), line("getktvsonglist.php"));  // never a page
}

TEST_F(RoomSongsScreenTest, SungBadgeCountsEntriesThatAreNoObjects) {
  m_service.setFault("oversonglist.php", venue::Fault::withBody(200, R"({"code":1,"list":["a",2,[]]})"));
  auto screen = showWith<kt::AlreadyChooseVC>(eight(), {});
  ASSERT_TRUE(runUntil([&] { return screen->label_rightBar()->text() == "3"; }));
  EXPECT_FALSE(screen->label_rightBar()->isHidden());
}

TEST_F(RoomSongsScreenTest, QueueNotBoundSendsAnEmptyId) {
  auto screen = show(std::make_shared<kt::AlreadyChooseVC>());
  waitForText("请绑定房台");
  EXPECT_EQ(line("getktvsonglist.php"), "GET /interface/getktvsonglist.php?uid= HTTP/1.1");
  closeAlerts();
  tap(*screen->btn_remote());
  EXPECT_EQ(choiceMessage(), "请先绑定包房");
}

TEST_F(RoomSongsScreenTest, MovingARowPutsItBehindTheSongBeingSung) {
  auto screen = showWith<kt::AlreadyChooseVC>(eight(), {});
  tap(*cell(*screen, 5)->btn_play());
  waitForText("置顶成功");
  EXPECT_EQ(line("songlisttop.php"), "GET /interface/songlisttop.php?musicno=" + eight()[5].number + "&uid=1708012 HTTP/1.1");
  const Numbers order = numbers(songs({0, 5, 1, 2, 3, 4, 6, 7}));
  EXPECT_EQ(numbers(*screen), order);
  EXPECT_EQ(numbers(m_service.roomState(kRoom).queue), order);
  EXPECT_EQ(cell(*screen, 1)->label_musicName()->text(), eight()[5].title);
  EXPECT_EQ(m_service.requestsTo("getktvsonglist.php").size(), 1u);

  // The song being sung, and rows that are not there, move nothing.
  wait(0.5);
  const size_t sent = requestsSent();
  tap(*cell(*screen, 0)->btn_play());
  screen->didSelectTheIndexOfSongs(8);
  screen->didSelectTheIndexOfSongs(-1);
  wait(0.5);
  EXPECT_EQ(requestsSent(), sent);
}

TEST_F(RoomSongsScreenTest, AQueueThatChangedBeforeTheMoveReplyIsReloaded) {
  auto screen = showWith<kt::AlreadyChooseVC>(eight(), {});
  auto gate = std::make_shared<venue::Gate>();
  m_service.setFault("songlisttop.php", venue::Fault::heldBy(gate).only(1));
  screen->didSelectTheIndexOfSongs(5);
  ASSERT_TRUE(gate->waitForArrived(1, 10));
  // Meanwhile the third song leaves the queue and the screen reloads: row 5 is another song.
  setRoom(songs({0, 1, 3, 4, 5, 6, 7}));
  screen->pullDown();
  ASSERT_TRUE(runUntil([&] { return screen->arr_data().size() == 7; }));
  ASSERT_EQ(findViewByText("置顶成功"), nullptr);
  gate->open();
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("getktvsonglist.php").size() == 3 && allAnswered(); }));
  ASSERT_TRUE(overlayGone());
  EXPECT_EQ(numbers(*screen), numbers(songs({0, 5, 1, 3, 4, 6, 7})));
  EXPECT_EQ(numbers(*screen), numbers(m_service.roomState(kRoom).queue));
}

TEST_F(RoomSongsScreenTest, ARefusedOrLostMoveKeepsTheOrder) {
  auto screen = showWith<kt::AlreadyChooseVC>(eight(), {});
  setRoom(songs({0, 1}));  // the song has gone
  screen->didSelectTheIndexOfSongs(6);
  waitForText("该歌曲不在已点列表中");
  for (venue::Fault fault : {venue::Fault::close(), venue::Fault::html()}) {
    closeAlerts();
    m_service.setFault("songlisttop.php", fault);
    screen->didSelectTheIndexOfSongs(1);
    waitForText("操作失败,请稍后重试");
  }
  EXPECT_EQ(numbers(*screen), numbers(eight()));
}

TEST_F(RoomSongsScreenTest, AMoveReplyAfterTheScreenHasGoneIsDropped) {
  std::weak_ptr<kt::AlreadyChooseVC> weak;
  auto gate = std::make_shared<venue::Gate>();
  {
    auto screen = showWith<kt::AlreadyChooseVC>(eight(), {});
    weak = screen;
    m_service.setFault("songlisttop.php", venue::Fault::heldBy(gate));
    screen->didSelectTheIndexOfSongs(3);
    window().setRootViewController(nullptr);
    m_nav.reset();
  }
  ASSERT_TRUE(gate->waitForArrived(1, 10));
  EXPECT_TRUE(runUntil([&] { return weak.expired(); }));
  gate->open();
  ASSERT_TRUE(allTakenIn());
  wait(0.5);
  EXPECT_EQ(findViewByText("置顶成功"), nullptr);
}

TEST_F(RoomSongsScreenTest, SungSongsAreQueuedAgainWithTheWholeSingerText) {
  const venue::QueuedSong duet = songs({m_service.songs().size() - 1})[0];
  auto screen = showWith<kt::FinishedMusicVC>(songs({0}), {songs({10})[0], duet});
  EXPECT_EQ(line("oversonglist.php"), "GET /interface/oversonglist.php?uid=1708012 HTTP/1.1");
  EXPECT_EQ(cell(*screen, 1)->label_singerName()->text(), duet.singer.substr(0, duet.singer.find(',')));

  tap(*cell(*screen, 0)->btn_play());  // the first row too
  // Each add goes out on a session of its own and the stand-in answers side by side: the first is
  // let reach the room's queue before the others are sent, so that the queue's order is known.
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("addsong.php").size() == 1 && allAnswered(); }));
  screen->didSelectTheIndexOfSongs(1);
  screen->didSelectTheIndexOfSongs(1);
  screen->didSelectTheIndexOfSongs(2);
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("addsong.php").size() == 3 && allAnswered(); }));
  waitForText("已添加");
  EXPECT_EQ(m_service.roomState(kRoom).queue, (Songs{songs({0})[0], songs({10})[0], duet, duet}));
  EXPECT_EQ(screen->arr_data().size(), 2u);
  EXPECT_EQ(m_service.requestsTo("oversonglist.php").size(), 1u);

  // A list that cannot be had keeps the rows and says so.
  for (venue::Fault fault : {venue::Fault::html(), venue::Fault::withBody(200, R"({"code":0,"list":[]})")}) {
    closeAlerts();
    m_service.setFault("oversonglist.php", fault);
    screen->pullDown();
    waitForText("获取失败，请稍后重试");
    EXPECT_EQ(screen->arr_data().size(), 2u);
  }
}

class RoomSongsFramesTest : public RoomSongsScreenTest, public ::testing::WithParamInterface<Device> {
 protected:
  bool large() const { return GetParam() == Device::LargeTablet; }
  void expectFrame(const ui::View& view, const gfx::Rect& standard, const gfx::Rect& largeTablet, const char* what) {
    const gfx::Rect& r = large() ? largeTablet : standard;
    expectRect(view.frame(), r.x(), r.y(), r.width(), r.height(), what);
  }
  void expectButtonPictures(kt::SongScreen& screen, const std::string& name) {
    auto button = cell(screen, 1)->btn_play();
    EXPECT_EQ(button->backgroundImageForState(ui::ControlStateNormal), gfx::Image::named(name + "_normal"));
    EXPECT_EQ(button->backgroundImageForState(ui::ControlStateHighlighted), gfx::Image::named(name + "_selected"));
    EXPECT_DOUBLE_EQ(screen.tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large() ? 136 : 102);
    expectFrame(*screen.tbView_data(), {0, 0, 1024, 689}, {0, 0, 1364, 919}, "table");
  }
};

TEST_P(RoomSongsFramesTest, Queue) {
  setDevice(GetParam());
  auto screen = showWith<kt::AlreadyChooseVC>(eight(), songs({20, 21, 22}));
  ASSERT_TRUE(runUntil([&] { return !screen->label_rightBar()->isHidden(); }));
  EXPECT_EQ(screen->imgV_rightBar()->image(), gfx::Image::named("AlreadySing"));
  expectFrame(*screen->imgV_rightBar(), {935, 34, 60, 25}, {1246, 45, 79, 33}, "sung picture");
  expectFrame(*screen->btn_queue(), {934, 24, 90, 45}, {1245, 32, 119, 60}, "sung button");
  expectFrame(*screen->label_rightBar(), {981, 29, 20, 18}, {1307, 38, 26, 24}, "badge");
  expectFrame(*screen->btn_remote(), {31, 580, 80, 80}, {41, 773, 106, 106}, "remote");
  expectButtonPictures(*screen, "TopSongs");
  screenshot("queue");
  tap(*screen->btn_remote());  // within reach
  EXPECT_EQ(openedNames(), Numbers{kt::SongScreens::RemoteControl});
}

TEST_P(RoomSongsFramesTest, SungSongs) {
  setDevice(GetParam());
  auto screen = showWith<kt::FinishedMusicVC>({}, songs({30, 31, 32, m_service.songs().size() - 1}));
  EXPECT_FALSE(screen->btn_queue() || screen->btn_search());
  EXPECT_EQ(screen->imgV_remote()->image(), gfx::Image::named("RemoteControl"));
  expectFrame(*screen->imgV_remote(), {31, 580, 90, 90}, {41, 773, 119, 120}, "remote picture");
  expectFrame(*screen->btn_remoteControl(), {31, 580, 80, 80}, {41, 773, 106, 106}, "remote button");
  expectButtonPictures(*screen, "RepeatSongs");
  screenshot("sung");
  bind("");
  tap(*screen->btn_remoteControl());  // within reach
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
}

INSTANTIATE_TEST_SUITE_P(Tablets, RoomSongsFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
