// The video view on the offscreen display: the clip's pictures fitted into the view with black
// bars, the play symbol and the position bar, taps, and what the delegate hears.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/ui/VideoView.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "venue/WebServer.h"

namespace {

using media::VideoPlayer;
using State = VideoPlayer::State;

// Long enough for the three-second clip on a loaded machine, decoded under a sanitizer too (twice
// a wait's default bound); only reached when something hangs.
constexpr double kClipTimeout = 2 * support::kDefaultWait;

class Recorder : public ui::VideoViewDelegate {
 public:
  std::vector<std::string> events;
  std::optional<core::Error> error;
  void videoViewDidBecomeReady(ui::VideoView&) override { events.push_back("ready"); }
  void videoViewDidReachEnd(ui::VideoView&) override { events.push_back("end"); }
  void videoViewDidFail(ui::VideoView&, const core::Error& e) override {
    events.push_back("fail");
    error = e;
  }
};

bool isBlack(uint32_t argb) { return (argb & 0xffffff) == 0; }

class VideoViewTest : public support::ScreenTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_web.start());
    // A wide view: the 4:3 clip fits its height, with bars left and right.
    m_view = ui::VideoView::create(gfx::Rect(100, 100, 400, 150));
    m_view->setDelegate(&m_recorder);
    window().addSubview(m_view);
  }
  void TearDown() override {
    m_view->removeFromSuperview();
    m_view.reset();
  }
  VideoPlayer& player() { return *m_view->player(); }

  venue::WebServer m_web;
  Recorder m_recorder;
  std::shared_ptr<ui::VideoView> m_view;
};

TEST_F(VideoViewTest, ShowsTheClipFittedWithBarsAndPlaysAndPausesOnTap) {
  m_view->loadURL(m_web.clipAddress());
  EXPECT_FALSE(m_view->showsPlaySymbol());
  ASSERT_TRUE(runUntil([&] { return player().state() == State::Paused; }, kClipTimeout));
  EXPECT_EQ(m_recorder.events, std::vector<std::string>{"ready"});
  EXPECT_TRUE(m_view->showsPlaySymbol());
  EXPECT_EQ(m_view->shownProgress(), 0);

  // The picture: 200 x 150 points in the middle of the 400 x 150 view, black bars beside it.
  auto shot = screenshot("ready");
  ASSERT_TRUE(shot);
  EXPECT_TRUE(isBlack(colorAt(*shot, {120, 130}))) << "left bar";
  EXPECT_TRUE(isBlack(colorAt(*shot, {480, 130}))) << "right bar";
  // The upper part of the test pattern is coloured bars, none of them black.
  EXPECT_FALSE(isBlack(colorAt(*shot, {210, 120}))) << "picture";
  EXPECT_FALSE(isBlack(colorAt(*shot, {390, 120}))) << "picture";
  // The window's white shows around the view.
  EXPECT_EQ(colorAt(*shot, {90, 130}), 0xffffffffu);

  tap(*m_view);
  EXPECT_TRUE(m_view->isPlaying());
  EXPECT_FALSE(m_view->showsPlaySymbol());
  ASSERT_TRUE(runUntil([&] { return m_view->shownProgress() > 0.3; }, kClipTimeout));
  screenshot("playing");

  tap(*m_view);
  EXPECT_FALSE(m_view->isPlaying());
  EXPECT_EQ(player().state(), State::Paused);
  EXPECT_TRUE(m_view->showsPlaySymbol());
  screenshot("paused");

  // On to the end: the bar is full and the symbol offers to play again.
  tap(*m_view);
  ASSERT_TRUE(runUntil([&] { return player().state() == State::Ended; }, kClipTimeout));
  EXPECT_EQ(m_recorder.events, (std::vector<std::string>{"ready", "end"}));
  EXPECT_EQ(m_view->shownProgress(), 1);
  EXPECT_TRUE(m_view->showsPlaySymbol());
  auto end = screenshot("ended");
  ASSERT_TRUE(end);
  // The position bar along the bottom edge is filled across.
  EXPECT_FALSE(isBlack(colorAt(*end, {110, 248})));
  EXPECT_FALSE(isBlack(colorAt(*end, {490, 248})));

  // A tap at the end plays from the beginning.
  tap(*m_view);
  EXPECT_TRUE(m_view->isPlaying());
  ASSERT_TRUE(runUntil([&] { return m_view->shownProgress() < 0.9; }, kClipTimeout));
}

TEST_F(VideoViewTest, AClipThatCannotPlayIsReportedAndLeavesTheViewBlack) {
  m_view->loadURL(m_web.brokenClipAddress());
  m_view->play();
  ASSERT_TRUE(runUntil([&] { return !m_recorder.events.empty(); }, kClipTimeout));
  EXPECT_EQ(m_recorder.events, std::vector<std::string>{"fail"});
  ASSERT_TRUE(m_recorder.error);
  EXPECT_EQ(m_recorder.error->code(), VideoPlayer::CannotDecode);
  EXPECT_FALSE(m_view->showsPlaySymbol());
  EXPECT_FALSE(m_view->isPlaying());
  auto shot = screenshot("failed");
  ASSERT_TRUE(shot);
  EXPECT_TRUE(isBlack(colorAt(*shot, {300, 175})));

  // A tap does nothing after a failure; another clip can still be loaded.
  tap(*m_view);
  EXPECT_FALSE(m_view->isPlaying());
  m_view->loadURL(m_web.clipAddress());
  ASSERT_TRUE(runUntil([&] { return player().state() == State::Paused; }, kClipTimeout));
  EXPECT_EQ(m_recorder.events, (std::vector<std::string>{"fail", "ready"}));
}

}  // namespace
