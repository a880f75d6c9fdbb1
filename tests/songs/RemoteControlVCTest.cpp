#include "songs/RemoteControlVC.h"

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "songs/ChooseMusicVC.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"

#include <chrono>
#include <functional>
#include <tuple>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;
using std::chrono::milliseconds;

class RemoteControlVCTest : public SongScreenFixture {
 protected:
  // The background's children, in the order the screen adds them.
  enum Part { Next, Track, PlayPause, VolumeBar, MicBar, ReturnBar };

  std::shared_ptr<kt::RemoteControlVC> showRemote() {
    bind();
    return show(std::make_shared<kt::RemoteControlVC>());
  }
  // The full-screen background: the last view on the screen (the base bar lies under it).
  static std::shared_ptr<ui::View> background(kt::RemoteControlVC& screen) { return screen.view()->subviews().back(); }
  static std::shared_ptr<ui::View> part(kt::RemoteControlVC& screen, Part which) {
    return background(screen)->subviews().at(which);
  }
  static ui::Control& key(kt::RemoteControlVC& screen, Part which) {
    return dynamic_cast<ui::Control&>(*part(screen, which));
  }
  // A volume key by its tag, on its bar.
  static ui::Control& volumeKey(kt::RemoteControlVC& screen, int tag) {
    return dynamic_cast<ui::Control&>(*part(screen, tag <= 1002 ? VolumeBar : MicBar)->viewWithTag(tag));
  }
  size_t alertCount() const { return findViews<kt::AlertView_style1>().size(); }
  venue::RoomState room() const { return m_service.roomState(kRoom); }

  // What an action is expected to do: send a command whose reply shows an alert, send one whose
  // reply shows nothing, or send nothing.
  enum class Then { Alert, Quiet, NoRequest };
  // Runs the action and lets the command it sends (when it sends one) be answered and its reply
  // handled: an expected alert is waited for. The message of the choice box it showed; "" when it
  // showed none.
  std::string outcome(const std::function<void()>& action, Then then = Then::Alert) {
    const size_t alerts = alertCount();
    const size_t sent = requestsSent();
    action();
    if (then == Then::NoRequest) {
      wait(0.1);
      EXPECT_EQ(requestsSent(), sent);
    } else {
      EXPECT_TRUE(runUntil([&] { return requestsSent() > sent; }));
      EXPECT_TRUE(allTakenIn());
      if (then == Then::Alert) EXPECT_TRUE(runUntil([&] { return alertCount() > alerts; }));
      else wait(0.1);
    }
    return alertCount() > alerts ? choiceMessage() : "";
  }
};

TEST_F(RemoteControlVCTest, EveryKeySendsItsCommandForTheStoredRoom) {
  auto screen = showRemote();
  struct Step {
    ui::Control& key;
    std::string line;
    int volume, mic;
    bool original, paused;
  };
  const std::string uid = std::string("uid=") + kUid;
  const Step steps[] = {
      {volumeKey(*screen, 1001), "/interface/mvol.php?type=0&" + uid, 9, 10, false, false},
      {volumeKey(*screen, 1002), "/interface/mvol.php?type=1&" + uid, 10, 10, false, false},
      {volumeKey(*screen, 1004), "/interface/mmic.php?type=1&" + uid, 10, 11, false, false},
      {volumeKey(*screen, 1003), "/interface/mmic.php?type=0&" + uid, 10, 10, false, false},
      {key(*screen, Track), "/interface/ctoggle.php?" + uid, 10, 10, true, false},
      {key(*screen, PlayPause), "/interface/ptoggle.php?" + uid, 10, 10, true, true},
  };
  for (const Step& step : steps) {
    // A command that went through shows nothing.
    EXPECT_EQ(outcome([&] { tap(step.key); }, Then::Quiet), "") << step.line;
    EXPECT_EQ(m_service.lastRequest().line(), "GET " + step.line + " HTTP/1.1");
    const venue::RoomState state = room();
    EXPECT_EQ(std::tie(state.volume, state.mic, state.original, state.paused),
              std::tie(step.volume, step.mic, step.original, step.paused))
        << step.line;
  }

  // The next-song key shares its tag with volume-down but has its own action.
  const venue::QueuedSong playing = room().queue.front();
  EXPECT_EQ(key(*screen, Next).tag(), volumeKey(*screen, 1001).tag());
  EXPECT_EQ(outcome([&] { tap(key(*screen, Next)); }), "已切歌");
  EXPECT_EQ(m_service.lastRequest().line(), "GET /interface/nextsong.php?" + uid + " HTTP/1.1");
  EXPECT_EQ(room().queue.size(), 2u);
  EXPECT_EQ(room().sung.front(), playing);
}

TEST_F(RemoteControlVCTest, RefusalsShowTheServiceMessageAndFailuresAskForTheBinding) {
  auto screen = showRemote();
  const auto next = [&] { screen->btnClick(key(*screen, Next)); };
  const auto play = [&] { screen->btnClick(key(*screen, PlayPause)); };
  const auto volumeUp = [&] { screen->operationClick(volumeKey(*screen, 1002)); };

  // "code" as text passes as well as a number.
  m_service.setCodeForm("nextsong.php", venue::CodeForm::Text);
  EXPECT_EQ(outcome(next), "已切歌");
  // A refusal is never reported as a skip: the service says why, for every command.
  venue::RoomState empty = room();
  empty.queue.clear();
  m_service.setRoomState(kRoom, empty);
  EXPECT_EQ(outcome(next), "没有待播歌曲");
  bind("nobody");
  EXPECT_EQ(outcome(play), "请先绑定房间");
  m_service.setFault("mvol.php", venue::Fault::missingKeys({"msg"}).only(1));
  EXPECT_EQ(outcome(volumeUp), "请先绑定包房");
  bind();

  // No JSON object: an array, an HTML page, a 500, no answer at all.
  m_service.setFault("nextsong.php", venue::Fault::withBody(200, "[]").only(1));
  EXPECT_EQ(outcome(next), "请先绑定包房");
  m_service.setFault("ptoggle.php", venue::Fault::html().only(1));
  EXPECT_EQ(outcome(play), "请先绑定包房");
  EXPECT_FALSE(room().paused);
  m_service.setFault("mvol.php", venue::Fault::status(500).only(1));
  EXPECT_EQ(outcome(volumeUp), "请先绑定包房");
  m_service.setFault("ptoggle.php", venue::Fault::close().only(1));
  EXPECT_EQ(outcome(play), "请先绑定包房");

  // Without a binding nothing is sent; a tag outside its group sends nothing either.
  core::UserDefaults::standard().removeObjectForKey("uid");
  EXPECT_EQ(outcome(next, Then::NoRequest), "请先绑定包房");
  bind("");
  EXPECT_EQ(outcome(volumeUp, Then::NoRequest), "请先绑定包房");
  bind();
  EXPECT_EQ(outcome([&] { screen->btnClick(volumeKey(*screen, 1004)); }, Then::NoRequest), "");
}

// The guest skips a song and leaves at once: the reply, which comes after the screen has been
// popped, still shows its alert, and the screen goes once it has.
TEST_F(RemoteControlVCTest, AReplyAfterTheGuestHasLeftStillShowsItsAlert) {
  bind();
  auto gate = std::make_shared<venue::Gate>();
  m_service.setFault("nextsong.php", venue::Fault::heldBy(gate));
  auto home = show(std::make_shared<ui::ViewController>());
  std::weak_ptr<kt::RemoteControlVC> weak;
  {
    auto screen = std::make_shared<kt::RemoteControlVC>();
    weak = screen;
    m_nav->pushViewController(screen, false);
    render();
    tap(key(*screen, Next));
    tap(*part(*screen, ReturnBar));
  }
  ASSERT_TRUE(gate->waitForArrived(1, 10));
  wait(0.5);
  ASSERT_EQ(m_nav->topViewController(), home.get());
  EXPECT_EQ(alertCount(), 0u);
  gate->open();
  ASSERT_TRUE(runUntil([&] { return choiceMessage() == "已切歌"; }));
  EXPECT_EQ(room().queue.size(), 2u);
  EXPECT_TRUE(runUntil([&] { return weak.expired(); }));
}

// From the home screen, bound, through the registry to a skipped song and back.
TEST_F(RemoteControlVCTest, TheHomeScreenRemoteButtonOpensItItSkipsTheSongAndItsReturnBarGoesBack) {
  kt::SongScreens::registerBuiltInScreens();
  bind();
  auto home = show(std::make_shared<kt::ChooseMusicVC>());
  ASSERT_TRUE(runUntil([&] { return home->arr_data().size() == 20; }));
  tap(*home->btn_remote());
  wait(0.5);
  auto* screen = dynamic_cast<kt::RemoteControlVC*>(m_nav->topViewController());
  ASSERT_TRUE(screen);
  const venue::QueuedSong playing = room().queue.front();
  tap(key(*screen, Next));
  ASSERT_TRUE(runUntil([&] { return choiceMessage() == "已切歌"; }));
  EXPECT_EQ(room().sung.front(), playing);
  EXPECT_EQ(m_service.requestsTo("nextsong.php").at(0).param("uid"), kUid);
  screen->returnClick();
  wait(0.5);
  EXPECT_EQ(m_nav->topViewController(), home.get());
}

class RemoteControlVCFramesTest : public RemoteControlVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(RemoteControlVCFramesTest, PartsSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  auto screen = showRemote();
  const bool large = GetParam() == Device::LargeTablet;
  auto volumeBar = part(*screen, VolumeBar);
  auto returnBar = part(*screen, ReturnBar);
  struct Row {
    const char* what;
    std::shared_ptr<ui::View> view;
    gfx::Rect standard, large;
  };
  const Row rows[] = {
      {"background", background(*screen), {0, 0, 1024, 768}, {0, 0, 1364, 1024}},
      {"next", part(*screen, Next), {464, 50, 96, 138}, {618, 66, 127, 184}},
      {"play", part(*screen, PlayPause), {637, 258, 96, 138}, {849, 344, 127, 184}},
      {"volume bar", volumeBar, {322, 472, 380, 63}, {429, 629, 506, 84}},
      {"volume icon", volumeBar->subviews().at(0), {171, 13, 38, 37}, {227, 17, 50, 49}},
      {"volume down", volumeBar->viewWithTag(1001), {26, 0, 60, 63}, {34, 0, 79, 84}},
      {"volume up", volumeBar->viewWithTag(1002), {294, 0, 60, 63}, {391, 0, 79, 84}},
      {"mic bar", part(*screen, MicBar), {322, 581, 380, 63}, {429, 775, 506, 84}},
      {"mic up", part(*screen, MicBar)->viewWithTag(1004), {294, 0, 60, 63}, {391, 0, 79, 84}},
      {"return bar", returnBar, {0, 688, 1024, 80}, {0, 918, 1366, 106}},
      {"close sign", returnBar->subviews().back(), {497, 25, 30, 30}, {662, 33, 39, 40}},
  };
  for (const Row& row : rows) {
    const gfx::Rect& r = large ? row.large : row.standard;
    expectRect(row.view->frame(), r.x(), r.y(), r.width(), r.height(), row.what);
  }
  // The base content view is gone; its bar stays under the background.
  EXPECT_FALSE(screen->bgView()->superview());
  EXPECT_EQ(screen->view()->subviews().front(), screen->navBarView());
  EXPECT_TRUE(part(*screen, PlayPause)->layer()->masksToBounds());
  auto& next = dynamic_cast<ui::Button&>(key(*screen, Next));
  EXPECT_EQ(next.backgroundImageForState(ui::ControlStateHighlighted), gfx::Image::named("Remote_change_selected"));
  wait(0.5);
  screenshot("remote-control");
}

INSTANTIATE_TEST_SUITE_P(Tablets, RemoteControlVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
