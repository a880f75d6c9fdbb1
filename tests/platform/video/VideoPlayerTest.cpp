// The video player against real clips: the stand-in clip and a broken one served by the venue
// web server on 127.0.0.1, the clip file itself, and addresses that cannot work. The clips keep
// the program's clock, which the loop moves on only when it has nothing else to do, so a busy
// machine plays them more slowly instead of leaving pictures out; loading and decoding still run
// in real time, so every wait is for a condition.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <gst/gst.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/video/VideoPlayer.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "venue/SilentPort.h"
#include "venue/WebServer.h"

namespace {

using media::VideoPlayer;
using State = VideoPlayer::State;

// Long enough for the three-second clip on a loaded machine, decoded under a sanitizer too (twice
// a wait's default bound); only reached when something hangs.
constexpr double kClipTimeout = 2 * support::kDefaultWait;

// Records every report in order.
class Recorder : public media::VideoPlayerDelegate {
 public:
  std::vector<std::string> events;
  std::vector<std::shared_ptr<const gfx::Image>> frames;
  std::vector<double> positions;  // the player's position at each picture
  std::optional<core::Error> error;
  std::function<void(VideoPlayer&)> onFrame;
  std::shared_ptr<const gfx::Image> frameAtReady;

  void playerDidBecomeReady(VideoPlayer& player) override {
    events.push_back("ready");
    frameAtReady = player.currentFrame();
  }
  void playerDidShowFrame(VideoPlayer& player, const std::shared_ptr<const gfx::Image>& frame) override {
    if (events.empty() || events.back() != "frame") events.push_back("frame");
    frames.push_back(frame);
    positions.push_back(player.position());
    if (onFrame) onFrame(player);
  }
  void playerDidChangeRate(VideoPlayer& player) override {
    events.push_back(player.isPlaying() ? "playing" : "stopped");
  }
  void playerDidReachEnd(VideoPlayer&) override { events.push_back("end"); }
  void playerDidFail(VideoPlayer&, const core::Error& e) override {
    events.push_back("fail");
    error = e;
  }
  int count(const std::string& event) const { return int(std::count(events.begin(), events.end(), event)); }
};

bool samePixels(const gfx::Image& a, const gfx::Image& b) {
  if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return false;
  for (int y = 0; y < a.pixelHeight(); ++y) {
    if (std::memcmp(reinterpret_cast<const char*>(a.pixels()) + y * a.stride(),
                    reinterpret_cast<const char*>(b.pixels()) + y * b.stride(), size_t(a.pixelWidth()) * 4) != 0) {
      return false;
    }
  }
  return true;
}

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
 public:
  RefusingPort() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
  }
  ~RefusingPort() { ::close(m_fd); }
  uint16_t port() const { return m_port; }

 private:
  int m_fd = -1;
  uint16_t m_port = 0;
};

class VideoPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(venue::WebServer::clipBytes().empty()) << "no clip at " << venue::WebServer::clipPath();
    ASSERT_TRUE(m_web.start());
    m_player = VideoPlayer::create();
    m_player->setDelegate(&m_recorder);
  }
  void TearDown() override {
    m_player.reset();
    EXPECT_TRUE(VideoPlayer::drainTeardowns(kClipTimeout)) << "a pipeline did not stop";
  }

  bool runUntilState(State state) {
    return support::runUntil([&] { return m_player->state() == state; }, kClipTimeout);
  }

  support::VirtualClock m_clock;  // before the player: a pipeline takes its clock when it is made
  support::TempHome m_home;
  venue::WebServer m_web;
  Recorder m_recorder;
  std::shared_ptr<VideoPlayer> m_player;
};

TEST_F(VideoPlayerTest, ClipOverHttpPlaysToItsEndWithMovingPicturesAndStartsAgainOnPlay) {
  m_player->load(m_web.clipAddress());
  EXPECT_EQ(m_player->state(), State::Loading);
  m_player->play();
  EXPECT_TRUE(m_player->isPlaying());
  ASSERT_TRUE(runUntilState(State::Ended)) << (m_player->error() ? m_player->error()->description() : "");

  // Ready (with the first picture), then pictures, then the end; reported once each.
  EXPECT_EQ(m_recorder.count("ready"), 1);
  EXPECT_EQ(m_recorder.count("end"), 1);
  EXPECT_EQ(m_recorder.count("fail"), 0);
  ASSERT_GE(m_recorder.events.size(), 3u);
  EXPECT_EQ(m_recorder.events.back(), "end");
  EXPECT_LT(std::find(m_recorder.events.begin(), m_recorder.events.end(), "ready") - m_recorder.events.begin(),
            std::find(m_recorder.events.begin(), m_recorder.events.end(), "end") - m_recorder.events.begin());
  EXPECT_FALSE(m_player->isPlaying());

  ASSERT_TRUE(m_recorder.frames.front());
  EXPECT_EQ(m_recorder.frames.front()->pixelWidth(), 160);
  EXPECT_EQ(m_recorder.frames.front()->pixelHeight(), 120);
  EXPECT_FALSE(samePixels(*m_recorder.frames.front(), *m_recorder.frames.back())) << "the picture never moved";
  // Opaque pixels: the frames are shown as they are.
  EXPECT_EQ(m_recorder.frames.back()->pixelAt(80, 10) >> 24, 0xffu);

  // The position only moves forward and ends at the length.
  for (size_t i = 1; i < m_recorder.positions.size(); ++i) {
    EXPECT_GE(m_recorder.positions[i] + 1e-3, m_recorder.positions[i - 1]) << "picture " << i;
  }
  ASSERT_TRUE(m_player->duration());
  EXPECT_NEAR(*m_player->duration(), 3.0, 0.2);
  EXPECT_NEAR(m_player->position(), *m_player->duration(), 0.2);

  // From the end, play starts at the beginning again.
  const size_t shown = m_recorder.frames.size();
  m_player->play();
  EXPECT_EQ(m_player->state(), State::Playing);
  ASSERT_TRUE(support::runUntil(
      [&] { return m_recorder.frames.size() > shown || m_player->state() == State::Failed; }, kClipTimeout));
  ASSERT_FALSE(m_player->error()) << m_player->error()->description();
  // The first picture after play comes from the start.
  ASSERT_GT(m_recorder.positions.size(), shown);
  EXPECT_LT(m_recorder.positions[shown], 1.0);
  ASSERT_TRUE(runUntilState(State::Ended));
  EXPECT_EQ(m_recorder.count("end"), 2);
}

TEST_F(VideoPlayerTest, UnderTheVirtualClockAPlayingClipMovesOnlyAsTheClockDoes) {
  m_player->load(m_web.clipAddress());
  ASSERT_TRUE(runUntilState(State::Paused));
  m_player->play();
  support::drainMainLoop();
  const double start = m_player->position();

  // Real time passes, the program's time does not: the clip stays where it was, however long
  // the machine takes to look.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  support::drainMainLoop();
  EXPECT_NEAR(m_player->position(), start, 0.01);
  EXPECT_EQ(m_player->state(), State::Playing);

  // A second of the program's time: a second of the clip, give or take a picture.
  core::Clock::advance(1.0);
  ASSERT_TRUE(support::runUntil([&] { return m_player->position() >= start + 0.95; }, kClipTimeout));
  EXPECT_LT(m_player->position(), start + 1.2);
  EXPECT_EQ(m_player->state(), State::Playing);
  ASSERT_TRUE(runUntilState(State::Ended));
  EXPECT_EQ(m_recorder.count("end"), 1);
}

TEST_F(VideoPlayerTest, WithoutASoundOutputTheClipPlaysAndNothingIsLogged) {
  // The harness's silence off, and no sound server where its clients would look for one.
  support::ScopedEnv sound("KT_AUDIO_OUTPUT", nullptr);
  support::ScopedEnv server("PULSE_SERVER", nullptr);
  support::ScopedEnv runtime("XDG_RUNTIME_DIR", m_home.path().c_str());
  support::ScopedEnv card("KT_SOUND_DEVICES", m_home.path().c_str());
  std::vector<std::string> logged;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { logged.push_back(line); });

  m_player->load(m_web.clipAddress());
  m_player->play();
  const bool ended = runUntilState(State::Ended);
  core::setLogSink(previous);
  ASSERT_TRUE(ended) << (m_player->error() ? m_player->error()->description() : "");
  EXPECT_EQ(m_recorder.count("fail"), 0);
  for (const std::string& line : logged) EXPECT_EQ(line.find(m_web.clipAddress()), std::string::npos) << line;
}

// A sound card without GStreamer's element for it: clips play, silently, and the package that
// brings the element is named once while the element is missing, however many clips play; once
// the element is back, its loss is said again.
TEST_F(VideoPlayerTest, ASoundCardWithoutItsElementIsToldOnceWithThePackageToInstall) {
  support::ScopedEnv sound("KT_AUDIO_OUTPUT", nullptr);
  support::ScopedEnv server("PULSE_SERVER", nullptr);
  support::ScopedEnv runtime("XDG_RUNTIME_DIR", m_home.path().c_str());
  const std::string devices = m_home.path() + "/snd";
  ASSERT_EQ(::mkdir(devices.c_str(), 0700), 0);
  std::ofstream(devices + "/pcmC0D0p").put('\n');
  support::ScopedEnv card("KT_SOUND_DEVICES", devices.c_str());
  ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
  GstRegistry* registry = gst_registry_get();
  GstPluginFeature* alsa = gst_registry_lookup_feature(registry, "alsasink");
  if (!alsa) GTEST_SKIP() << "alsasink is not installed (gstreamer1.0-alsa)";
  // The element is taken out of this process's registry for the test and put back after it, so
  // that the tests after this one find the registry as it was.
  struct PutBack {
    GstRegistry* registry;
    GstPluginFeature* feature;
    ~PutBack() {
      if (GstPluginFeature* there = gst_registry_lookup_feature(registry, GST_OBJECT_NAME(feature))) {
        gst_object_unref(there);
      } else {
        gst_registry_add_feature(registry, feature);
      }
      gst_object_unref(feature);
    }
  } putBack{registry, alsa};
  // With the element there, the card's own sink is chosen; whatever was said before is forgotten.
  EXPECT_STREQ(VideoPlayer::soundSinkName(), "alsasink");
  gst_registry_remove_feature(registry, alsa);

  std::vector<std::string> logged;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { logged.push_back(line); });
  auto told = [&] {
    return std::count_if(logged.begin(), logged.end(),
                         [](const std::string& line) { return line.find("gstreamer1.0-alsa") != std::string::npos; });
  };
  bool ended = true;
  for (int clip = 0; clip < 2 && ended; ++clip) {
    m_player->load(m_web.clipAddress());
    m_player->play();
    ended = runUntilState(State::Ended);
  }
  const auto toldWhileMissing = told();
  // Back, then missing again: said once more.
  gst_registry_add_feature(registry, alsa);
  EXPECT_STREQ(VideoPlayer::soundSinkName(), "alsasink");
  gst_registry_remove_feature(registry, alsa);
  EXPECT_STREQ(VideoPlayer::soundSinkName(), "fakesink");
  EXPECT_STREQ(VideoPlayer::soundSinkName(), "fakesink");
  core::setLogSink(previous);
  ASSERT_TRUE(ended) << (m_player->error() ? m_player->error()->description() : "");
  EXPECT_EQ(m_recorder.count("fail"), 0);
  EXPECT_EQ(toldWhileMissing, 1);
  EXPECT_EQ(told(), 2);
}

TEST_F(VideoPlayerTest, HttpGoesThroughTheEnvironmentsProxyExceptForLoopbackAndNoProxyHosts) {
  // A proxy that refuses: a loopback clip never goes through it.
  RefusingPort refusing;
  const std::string refusingProxy = "http://127.0.0.1:" + std::to_string(refusing.port());
  support::ScopedEnv httpProxy("http_proxy", refusingProxy.c_str());
  support::ScopedEnv allProxy("all_proxy", nullptr);
  support::ScopedEnv noProxy("no_proxy", nullptr);
  m_player->load(m_web.clipAddress());
  ASSERT_TRUE(runUntilState(State::Paused)) << (m_player->error() ? m_player->error()->description() : "");

  // Another host's clip is asked of the proxy, by its whole address.
  venue::WebServer proxy;
  ASSERT_TRUE(proxy.start());
  const std::string elsewhere = "http://clips.ktvcloud.example/clips/sample.mp4";
  support::ScopedEnv viaStandIn("http_proxy", proxy.baseUrl().c_str());
  m_player->load(elsewhere);
  ASSERT_TRUE(support::runUntil([&] { return !proxy.requests().empty() || m_player->state() == State::Failed; },
                                kClipTimeout));
  ASSERT_FALSE(proxy.requests().empty());
  EXPECT_EQ(proxy.requests().front().target, elsewhere);

  // Unless no_proxy names its domain.
  proxy.clearRequests();
  support::ScopedEnv exempt("no_proxy", "localhost,.ktvcloud.example");
  m_player->load(elsewhere);
  ASSERT_TRUE(runUntilState(State::Failed));
  EXPECT_EQ(m_player->error()->code(), VideoPlayer::CannotOpen);
  EXPECT_TRUE(proxy.requests().empty());
}

TEST_F(VideoPlayerTest, PauseHoldsThePictureAndPlayGoesOnFromThere) {
  // The clip file itself, by its path.
  m_player->load(venue::WebServer::clipPath());
  ASSERT_TRUE(runUntilState(State::Paused));
  EXPECT_EQ(m_recorder.count("ready"), 1);
  ASSERT_TRUE(m_recorder.frameAtReady) << "ready without a picture";
  EXPECT_EQ(m_recorder.frameAtReady, m_player->currentFrame());
  EXPECT_FALSE(m_player->isPlaying());

  m_player->play();
  ASSERT_TRUE(support::runUntil([&] { return m_player->position() > 0.8; }, kClipTimeout));
  m_player->pause();
  EXPECT_EQ(m_player->state(), State::Paused);
  EXPECT_FALSE(m_player->isPlaying());
  const double heldAt = m_player->position();
  support::drainMainLoop();
  const size_t shown = m_recorder.frames.size();
  const std::shared_ptr<const gfx::Image> held = m_player->currentFrame();
  ASSERT_TRUE(held);

  // A second clip plays to its end meanwhile: the program's time passes while the first one is
  // paused.
  Recorder otherRecorder;
  auto other = VideoPlayer::create();
  other->setDelegate(&otherRecorder);
  other->load(m_web.clipAddress());
  other->play();
  ASSERT_TRUE(support::runUntil([&] { return other->state() == State::Ended; }, kClipTimeout));
  other.reset();

  // At most the one picture the pipeline had on its way when it paused.
  EXPECT_LE(m_recorder.frames.size(), shown + 1);
  EXPECT_NEAR(m_player->position(), heldAt, 0.15);
  EXPECT_EQ(m_player->state(), State::Paused);

  // Play goes on from there: the pictures move again, to the end.
  m_player->play();
  ASSERT_TRUE(runUntilState(State::Ended));
  ASSERT_GT(m_recorder.frames.size(), shown);
  EXPECT_FALSE(samePixels(*held, *m_recorder.frames.back()));
  EXPECT_EQ(m_recorder.count("fail"), 0);
}

TEST_F(VideoPlayerTest, ClipsThatCannotPlayFailOnceWithTheirReason) {
  RefusingPort refusing;
  struct Case {
    std::string url;
    int64_t code;
  };
  const std::vector<Case> cases = {
      {m_web.brokenClipAddress(), VideoPlayer::CannotDecode},
      {m_web.baseUrl() + "/clips/missing.mp4", VideoPlayer::CannotOpen},
      {"http://127.0.0.1:" + std::to_string(refusing.port()) + "/clip.mp4", VideoPlayer::CannotOpen},
      {m_home.path() + "/no-such-clip.mp4", VideoPlayer::CannotOpen},
      {"", VideoPlayer::InvalidURL},
      {"not a clip", VideoPlayer::InvalidURL},
      {"ftp://127.0.0.1/clip.mp4", VideoPlayer::InvalidURL},
      {"javascript:alert(1)", VideoPlayer::InvalidURL},
      {"http://", VideoPlayer::InvalidURL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Recorder recorder;
    auto player = VideoPlayer::create();
    player->setDelegate(&recorder);
    player->load(c.url);
    player->play();
    // Even a text that is no URL is reported from the loop, not from inside load().
    EXPECT_EQ(recorder.count("fail"), 0);
    ASSERT_TRUE(support::runUntil([&] { return player->state() == State::Failed; }, kClipTimeout));
    support::drainMainLoop();
    EXPECT_EQ(recorder.count("fail"), 1);
    EXPECT_EQ(recorder.count("ready"), 0);
    EXPECT_TRUE(recorder.frames.empty());
    ASSERT_TRUE(recorder.error);
    EXPECT_EQ(recorder.error->domain(), VideoPlayer::ErrorDomain);
    EXPECT_EQ(recorder.error->code(), c.code) << recorder.error->description();
    EXPECT_FALSE(recorder.error->localizedDescription().empty());
    EXPECT_EQ(player->error(), recorder.error);
    EXPECT_FALSE(player->isPlaying());
    // Nothing to play any more.
    player->play();
    EXPECT_EQ(player->state(), State::Failed);
  }
}

TEST_F(VideoPlayerTest, ALoadReplacesTheClipBeforeAndOnlyTheNewOneReports) {
  m_player->load(m_web.clipAddress());
  m_player->play();
  m_player->load(m_web.brokenClipAddress());
  ASSERT_TRUE(runUntilState(State::Failed));
  support::drainMainLoop();
  EXPECT_EQ(m_recorder.count("ready"), 0);
  EXPECT_TRUE(m_recorder.frames.empty());
  EXPECT_EQ(m_recorder.count("fail"), 1);

  // And a good clip after a failed one plays.
  m_recorder = Recorder();
  m_player->load(m_web.clipAddress());
  EXPECT_FALSE(m_player->error());
  ASSERT_TRUE(runUntilState(State::Paused));
  EXPECT_EQ(m_recorder.count("ready"), 1);
}

TEST_F(VideoPlayerTest, DestroyingAPlayerMidwayStopsEverythingWithoutWaitingForIt) {
  // While pictures arrive, from inside the report of one.
  m_recorder.onFrame = [&](VideoPlayer& player) {
    if (player.position() > 0.5) m_player.reset();
  };
  m_player->load(m_web.clipAddress());
  m_player->play();
  ASSERT_TRUE(support::runUntil([&] { return !m_player; }, kClipTimeout));
  const size_t shown = m_recorder.frames.size();
  EXPECT_TRUE(VideoPlayer::drainTeardowns(kClipTimeout));
  support::drainMainLoop();
  EXPECT_EQ(m_recorder.frames.size(), shown);
  EXPECT_EQ(m_recorder.count("end") + m_recorder.count("fail"), 0);

  // While it waits for a connection that never completes: the destructor hands the stuck
  // pipeline over and returns.
  venue::SilentPort silent;
  ASSERT_TRUE(silent.isReady());
  Recorder recorder;
  auto stuck = VideoPlayer::create();
  stuck->setDelegate(&recorder);
  stuck->load("http://" + silent.address() + "/clip.mp4");
  stuck->play();
  support::drainMainLoop();
  stuck.reset();
  EXPECT_TRUE(VideoPlayer::drainTeardowns(kClipTimeout));
  support::drainMainLoop();
  EXPECT_TRUE(recorder.events.empty() || recorder.events == std::vector<std::string>{"playing"});
}

}  // namespace
