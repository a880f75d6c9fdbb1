#include "platform/ui/Device.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"

namespace {

using ui::Application;
using ui::InterfaceOrientation;

class DeviceOrientation : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Device::current().reset();
    Application::shared().reset();
    ui::Screen::main().reset();
  }
  void TearDown() override {
    ui::Device::current().reset();
    Application::shared().reset();
    ui::Screen::main().reset();
  }
};

TEST_F(DeviceOrientation, ChangesArePostedWhileNotificationsAreGenerated) {
  auto& device = ui::Device::current();
  EXPECT_EQ(device.userInterfaceIdiom(), ui::UserInterfaceIdiom::Pad);
  EXPECT_EQ(device.orientation(), ui::DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(int(ui::DeviceOrientation::FaceDown), 6);
  int posts = 0;
  core::Observation observe(core::NotificationCenter::defaultCenter(), ui::Device::OrientationDidChangeNotification,
                            nullptr, [&](const core::Notification& n) {
                              EXPECT_EQ(n.object, &device);
                              ++posts;
                            });
  device.setOrientation(ui::DeviceOrientation::Portrait);  // nobody asked: no post
  EXPECT_EQ(device.orientation(), ui::DeviceOrientation::Portrait);
  EXPECT_EQ(posts, 0);
  device.beginGeneratingDeviceOrientationNotifications();
  device.beginGeneratingDeviceOrientationNotifications();
  device.setOrientation(ui::DeviceOrientation::FaceUp);
  device.setOrientation(ui::DeviceOrientation::FaceUp);  // no change, no post
  EXPECT_EQ(posts, 1);
  device.endGeneratingDeviceOrientationNotifications();
  EXPECT_TRUE(device.isGeneratingDeviceOrientationNotifications());  // counted
  device.setOrientation(ui::DeviceOrientation::LandscapeRight);
  EXPECT_EQ(posts, 2);
  device.endGeneratingDeviceOrientationNotifications();
  device.endGeneratingDeviceOrientationNotifications();  // one too many is harmless
  EXPECT_FALSE(device.isGeneratingDeviceOrientationNotifications());
  device.setOrientation(ui::DeviceOrientation::Portrait);
  EXPECT_EQ(posts, 2);
  EXPECT_FALSE(ui::Device::isValidInterfaceOrientation(ui::DeviceOrientation::FaceUp));
  EXPECT_TRUE(ui::Device::isLandscape(ui::DeviceOrientation::LandscapeRight));
}

// Records the status bar notifications with their user info.
struct StatusBarRecorder {
  StatusBarRecorder() {
    auto& center = core::NotificationCenter::defaultCenter();
    for (const char* name : {Application::WillChangeStatusBarOrientationNotification,
                             Application::DidChangeStatusBarOrientationNotification}) {
      observations.emplace_back(center, name, nullptr, [this](const core::Notification& n) {
        log.push_back(n.name + " " + std::to_string(n.userInfo[Application::StatusBarOrientationUserInfoKey].intValue()));
      });
    }
    for (const char* name :
         {Application::WillChangeStatusBarFrameNotification, Application::DidChangeStatusBarFrameNotification}) {
      observations.emplace_back(center, name, nullptr, [this](const core::Notification& n) {
        gfx::Rect r = Application::rectFromUserInfo(n.userInfo[Application::StatusBarFrameUserInfoKey]);
        log.push_back(n.name + " " + std::to_string(int(r.width())) + "x" + std::to_string(int(r.height())));
      });
    }
  }
  std::vector<core::Observation> observations;
  std::vector<std::string> log;
};

TEST_F(DeviceOrientation, StatusBarOrientationPostsNewOrientationThenOldWithTheFrameInBetween) {
  auto& app = Application::shared();
  StatusBarRecorder rec;
  ASSERT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight);
  app.setStatusBarOrientation(InterfaceOrientation::LandscapeLeft, true);
  // Same shape: the frame does not change.
  EXPECT_EQ(rec.log, (std::vector<std::string>{"ApplicationWillChangeStatusBarOrientationNotification 4",
                                               "ApplicationDidChangeStatusBarOrientationNotification 3"}));
  rec.log.clear();
  app.setStatusBarOrientation(InterfaceOrientation::Portrait, false);
  EXPECT_EQ(rec.log, (std::vector<std::string>{"ApplicationWillChangeStatusBarOrientationNotification 1",
                                               "ApplicationWillChangeStatusBarFrameNotification 768x20",
                                               "ApplicationDidChangeStatusBarFrameNotification 1024x20",
                                               "ApplicationDidChangeStatusBarOrientationNotification 4"}));
  EXPECT_EQ(app.statusBarFrame(), gfx::Rect(0, 0, 768, 20));
  rec.log.clear();
  app.setStatusBarOrientation(InterfaceOrientation::Portrait);
  EXPECT_TRUE(rec.log.empty());
}

TEST_F(DeviceOrientation, HidingTheStatusBarPostsTheFrameChange) {
  auto& app = Application::shared();
  StatusBarRecorder rec;
  bool hiddenDuringWill = true;
  core::Observation will(core::NotificationCenter::defaultCenter(), Application::WillChangeStatusBarFrameNotification,
                         nullptr, [&](const core::Notification&) { hiddenDuringWill = app.isStatusBarHidden(); });
  app.setStatusBarHidden(true, true);
  EXPECT_FALSE(hiddenDuringWill);  // "will" comes before the change
  EXPECT_EQ(rec.log, (std::vector<std::string>{"ApplicationWillChangeStatusBarFrameNotification 0x0",
                                               "ApplicationDidChangeStatusBarFrameNotification 1024x20"}));
  rec.log.clear();
  app.setStatusBarHidden(true);
  EXPECT_TRUE(rec.log.empty());
  app.setStatusBarHidden(false);
  EXPECT_EQ(rec.log, (std::vector<std::string>{"ApplicationWillChangeStatusBarFrameNotification 1024x20",
                                               "ApplicationDidChangeStatusBarFrameNotification 0x0"}));
}

}  // namespace
