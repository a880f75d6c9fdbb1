#include "platform/ui/DisplayLink.h"

#include <gtest/gtest.h>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "support/RunUntil.h"

namespace {

class DisplayLinkTest : public ::testing::Test {
 protected:
  // Lets virtual time pass in frame-sized steps, as the display would.
  void run(double seconds) {
    double end = core::Clock::now() + seconds;
    while (core::Clock::now() < end - 1e-9) {
      core::Clock::advance(ui::DisplayLink::FrameDuration);
      support::drainMainLoop();
    }
  }
  support::VirtualClock m_clock;
};

TEST_F(DisplayLinkTest, FramesPerSecondFollowTheFrameInterval) {
  int frames = 0;
  double lastStamp = 0;
  auto link = ui::DisplayLink::create([&](ui::DisplayLink& l) {
    ++frames;
    EXPECT_GE(l.timestamp(), lastStamp);
    lastStamp = l.timestamp();
  });
  run(0.5);
  EXPECT_EQ(frames, 0);  // not on a loop yet
  link->addToRunLoop(core::RunLoop::main(), core::RunLoop::CommonModes);
  run(1.0);
  EXPECT_NEAR(frames, 60, 1);
  EXPECT_DOUBLE_EQ(link->duration(), 1.0 / 60);
  EXPECT_NEAR(link->timestamp(), core::Clock::now(), 1.0 / 60);
  frames = 0;
  link->setFrameInterval(2);
  run(1.0);
  EXPECT_NEAR(frames, 30, 1);
  link->setFrameInterval(0);
  EXPECT_EQ(link->frameInterval(), 1);
  link->invalidate();
}

TEST_F(DisplayLinkTest, PauseStopsTheCallsAndInvalidateReleasesTheCallback) {
  int frames = 0;
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> weakToken = token;
  auto link = ui::DisplayLink::create([&frames, token](ui::DisplayLink&) { ++frames; });
  token.reset();
  std::weak_ptr<ui::DisplayLink> weakLink = link;
  link->addToRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode);
  run(0.25);
  int before = frames;
  EXPECT_GT(before, 10);
  link->setPaused(true);
  run(0.5);
  EXPECT_EQ(frames, before);
  link->setPaused(false);
  run(0.25);
  EXPECT_GT(frames, before);
  // The loop keeps the link while it is scheduled.
  link.reset();
  EXPECT_FALSE(weakLink.expired());
  EXPECT_FALSE(weakToken.expired());
  weakLink.lock()->invalidate();
  support::drainMainLoop();
  EXPECT_TRUE(weakToken.expired());
  EXPECT_TRUE(weakLink.expired());
  before = frames;
  run(0.25);
  EXPECT_EQ(frames, before);
}

TEST_F(DisplayLinkTest, TheCallbackMayInvalidateItsLink) {
  int frames = 0;
  auto link = ui::DisplayLink::create([&](ui::DisplayLink& l) {
    if (++frames == 3) l.invalidate();
  });
  link->addToRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode);
  run(0.5);
  EXPECT_EQ(frames, 3);
  EXPECT_FALSE(link->isValid());
  link->addToRunLoop(core::RunLoop::main(), core::RunLoop::DefaultMode);  // no effect once invalid
  run(0.2);
  EXPECT_EQ(frames, 3);
}

}  // namespace
