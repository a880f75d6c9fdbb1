#include "http/HCNetworkActivityIndicatorManager.h"

#include "http/HCURLSessionManager.h"
#include "http/HCURLSessionTask.h"
#include "platform/core/Clock.h"
#include "platform/net/URLSession.h"
#include "platform/ui/Application.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"

#include <gtest/gtest.h>

#include <vector>

namespace kt {
namespace {

using State = HCNetworkActivityIndicatorManager::State;

class HCNetworkActivityIndicatorManagerTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  HCNetworkActivityIndicatorManagerTest() {
    m_manager->setNetworkingActivityActionWithBlock([this](bool visible) { m_shown.push_back(visible); });
    m_session = net::URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration());
  }
  ~HCNetworkActivityIndicatorManagerTest() override { m_session->invalidateAndCancel(); }

  std::shared_ptr<HCURLSessionTask> makeTask(const std::string& url) {
    return std::make_shared<HCURLSessionTask>(m_session->dataTaskWithRequest(net::URLRequest(net::URL::fromString(url))));
  }
  static void post(const char* name, const std::shared_ptr<HCURLSessionTask>& task) {
    core::NotificationCenter::defaultCenter().post(name, task.get());
  }
  // Moves the virtual clock and runs what became due.
  static void advance(double seconds) {
    core::Clock::advance(seconds);
    support::drainMainLoop();
  }

  support::VirtualClock m_clock;
  std::shared_ptr<HCNetworkActivityIndicatorManager> m_manager = HCNetworkActivityIndicatorManager::create();
  std::shared_ptr<net::URLSession> m_session;
  std::vector<bool> m_shown;
};

TEST_F(HCNetworkActivityIndicatorManagerTest, ShortRequestNeverShowsTheIndicator) {
  m_manager->setEnabled(true);
  m_manager->incrementActivityCount();
  support::drainMainLoop();
  EXPECT_EQ(m_manager->currentState(), State::DelayingStart);
  advance(0.5);
  m_manager->decrementActivityCount();
  support::drainMainLoop();
  advance(0.6);  // the activation delay has passed, with no activity left
  EXPECT_EQ(m_manager->currentState(), State::NotActive);
  EXPECT_TRUE(m_shown.empty());
}

TEST_F(HCNetworkActivityIndicatorManagerTest, LongRequestShowsAfterTheDelayAndHidesAfterTheCompletionDelay) {
  m_manager->setEnabled(true);
  m_manager->incrementActivityCount();
  support::drainMainLoop();
  advance(0.99);
  EXPECT_TRUE(m_shown.empty());
  advance(0.02);
  EXPECT_EQ(m_manager->currentState(), State::Active);
  EXPECT_EQ(m_shown, std::vector<bool>{true});
  EXPECT_TRUE(m_manager->isNetworkActivityIndicatorVisible());

  m_manager->decrementActivityCount();
  support::drainMainLoop();
  EXPECT_EQ(m_manager->currentState(), State::DelayingEnd);
  advance(0.16);
  EXPECT_EQ(m_shown, std::vector<bool>{true});
  advance(0.02);
  EXPECT_EQ(m_manager->currentState(), State::NotActive);
  EXPECT_EQ(m_shown, (std::vector<bool>{true, false}));
}

TEST_F(HCNetworkActivityIndicatorManagerTest, NewRequestWithinTheCompletionDelayKeepsItOnWithoutFlicker) {
  m_manager->setEnabled(true);
  m_manager->incrementActivityCount();
  support::drainMainLoop();
  advance(1.0);
  ASSERT_EQ(m_manager->currentState(), State::Active);
  m_manager->decrementActivityCount();
  support::drainMainLoop();
  advance(0.1);
  m_manager->incrementActivityCount();
  support::drainMainLoop();
  EXPECT_EQ(m_manager->currentState(), State::Active);
  advance(1.0);  // the cancelled completion timer must not hide it
  EXPECT_EQ(m_shown, std::vector<bool>{true});
  EXPECT_EQ(m_manager->currentState(), State::Active);
}

TEST_F(HCNetworkActivityIndicatorManagerTest, CountNeverGoesBelowZero) {
  m_manager->decrementActivityCount();
  EXPECT_EQ(m_manager->activityCount(), 0);
  m_manager->incrementActivityCount();
  m_manager->incrementActivityCount();
  m_manager->decrementActivityCount();
  EXPECT_EQ(m_manager->activityCount(), 1);
  EXPECT_TRUE(m_manager->isNetworkActivityOccurring());
  m_manager->setActivityCount(0);
  EXPECT_FALSE(m_manager->isNetworkActivityOccurring());
}

TEST_F(HCNetworkActivityIndicatorManagerTest, DisabledManagerNeverTouchesTheIndicatorAndDisablingHidesAtOnce) {
  ui::Application::shared().setNetworkActivityIndicatorVisible(false);
  auto plain = HCNetworkActivityIndicatorManager::create();  // no action block: the application's flag
  plain->incrementActivityCount();
  support::drainMainLoop();
  advance(2.0);
  EXPECT_EQ(plain->currentState(), State::NotActive);
  EXPECT_FALSE(ui::Application::shared().isNetworkActivityIndicatorVisible());

  plain->setEnabled(true);
  plain->incrementActivityCount();
  support::drainMainLoop();
  advance(1.0);
  EXPECT_TRUE(ui::Application::shared().isNetworkActivityIndicatorVisible());
  plain->setEnabled(false);
  EXPECT_FALSE(ui::Application::shared().isNetworkActivityIndicatorVisible());
  EXPECT_EQ(plain->currentState(), State::NotActive);
}

TEST_F(HCNetworkActivityIndicatorManagerTest, TaskNotificationsCountEachRunningTaskOnce) {
  auto a = makeTask("http://127.0.0.1:9/a");
  auto b = makeTask("http://127.0.0.1:9/b");
  post(HCTaskResumedNotification, a);
  post(HCTaskResumedNotification, b);
  EXPECT_EQ(m_manager->activityCount(), 2);
  // Suspended, then completed (cancelled): subtracted once only.
  post(HCTaskSuspendedNotification, a);
  post(HCTaskCompletedNotification, a);
  EXPECT_EQ(m_manager->activityCount(), 1);
  post(HCTaskCompletedNotification, b);
  EXPECT_EQ(m_manager->activityCount(), 0);
}

TEST_F(HCNetworkActivityIndicatorManagerTest, NotificationsWithoutATaskURLChangeNothing) {
  core::NotificationCenter::defaultCenter().post(HCTaskResumedNotification, nullptr);
  auto noURL = std::make_shared<HCURLSessionTask>(m_session->dataTaskWithRequest(net::URLRequest()));
  post(HCTaskResumedNotification, noURL);
  EXPECT_EQ(m_manager->activityCount(), 0);
}

}  // namespace
}  // namespace kt
