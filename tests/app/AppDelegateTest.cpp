#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "app/BaseVC.h"
#include "app/SubsidiaryClass.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Paths.h"
#include "platform/core/PropertyList.h"
#include "platform/core/RunLoop.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"
#include "support/UiHarness.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace kt {
namespace {

namespace fs = std::filesystem;

// Points the program's resources at a folder for the life of the object.
class ResourcesAt {
 public:
  explicit ResourcesAt(const std::string& path) {
    if (const char* old = std::getenv("KT_RESOURCES")) m_old = old;
    setenv("KT_RESOURCES", path.c_str(), 1);
  }
  ~ResourcesAt() {
    if (m_old) setenv("KT_RESOURCES", m_old->c_str(), 1);
    else unsetenv("KT_RESOURCES");
  }

 private:
  std::optional<std::string> m_old;
};

core::Value entry(std::initializer_list<std::pair<const std::string, core::Value>> fields) {
  return core::Value(core::Value::Dictionary(fields));
}

class SettingsBundleTest : public support::TempHomeTest {
 protected:
  // A resources folder of its own, in the test's home.
  std::string resources() const { return homePath() + "/resources"; }
  void writeRootPlist(const std::string& text) {
    fs::create_directories(resources() + "/Settings.bundle");
    std::ofstream(resources() + "/Settings.bundle/Root.plist") << text;
  }
  void writeRootPlist(const core::Value& root) {
    fs::create_directories(resources() + "/Settings.bundle");
    ASSERT_TRUE(core::PropertyList::writeFile(resources() + "/Settings.bundle/Root.plist", root));
  }
  static core::UserDefaults& defaults() { return core::UserDefaults::standard(); }
};

TEST_F(SettingsBundleTest, RegistersTheDefaultOfEveryEntryWithKeyAndDefaultValueOnly) {
  writeRootPlist(core::Value(core::Value::Dictionary{
      {"PreferenceSpecifiers",
       core::Value(core::Value::Array{
           entry({{"Type", "PSGroupSpecifier"}, {"Title", "包厢服务器"}}),
           entry({{"Type", "PSTextFieldSpecifier"}, {"Key", "Server_Ip"}, {"DefaultValue", "10.1.2.3"}}),
           entry({{"Type", "PSTextFieldSpecifier"}, {"Key", "Server_Port"}, {"DefaultValue", int64_t(9100)}}),
           entry({{"Type", "PSTextFieldSpecifier"}, {"Key", "VedioName"}}),
           entry({{"Type", "PSTextFieldSpecifier"}, {"DefaultValue", "orphan"}}),
           entry({{"Type", "PSToggleSwitchSpecifier"}, {"Key", "vedio_State"}, {"DefaultValue", true}}),
       })}}));
  ResourcesAt at(resources());
  AppDelegate::registerDefaultsFromSettingsBundle();

  EXPECT_EQ(defaults().objectForKey("Server_Ip"), core::Value("10.1.2.3"));
  EXPECT_EQ(defaults().objectForKey("Server_Port"), core::Value(int64_t(9100)));
  EXPECT_EQ(defaults().objectForKey("vedio_State"), core::Value(true));
  EXPECT_TRUE(defaults().objectForKey("VedioName").isNull());
  const core::Value all = defaults().dictionaryRepresentation();
  EXPECT_EQ(all.size(), 3u) << all.description();
}

TEST_F(SettingsBundleTest, RegisteredDefaultsAreNeverWrittenAndAUserValueWins) {
  writeRootPlist(core::Value(core::Value::Dictionary{
      {"PreferenceSpecifiers",
       core::Value(core::Value::Array{
           entry({{"Key", "Server_Ip"}, {"DefaultValue", "10.1.2.3"}}),
           entry({{"Key", "webService_Port"}, {"DefaultValue", "8080"}}),
       })}}));
  defaults().setString("Server_Ip", "192.168.0.77");
  ResourcesAt at(resources());
  AppDelegate::registerDefaultsFromSettingsBundle();
  ASSERT_TRUE(defaults().synchronize());

  EXPECT_EQ(defaults().stringForKey("Server_Ip"), "192.168.0.77");
  EXPECT_EQ(defaults().stringForKey("webService_Port"), "8080");
  // The settings file holds what the user set and nothing registered.
  core::UserDefaults reread(defaults().path());
  EXPECT_EQ(reread.stringForKey("Server_Ip"), "192.168.0.77");
  EXPECT_TRUE(reread.objectForKey("webService_Port").isNull());
}

TEST_F(SettingsBundleTest, WithoutABundleOrWithAnUnreadableOneNothingIsRegistered) {
  fs::create_directories(resources());
  {
    ResourcesAt at(resources());
    AppDelegate::registerDefaultsFromSettingsBundle();
    EXPECT_EQ(defaults().dictionaryRepresentation().size(), 0u);
    EXPECT_FALSE(defaults().stringForKey("Server_Ip"));
  }
  writeRootPlist(std::string("<plist><dict><key>PreferenceSpecifiers</key><array><dict>"));
  {
    ResourcesAt at(resources());
    AppDelegate::registerDefaultsFromSettingsBundle();
    EXPECT_EQ(defaults().dictionaryRepresentation().size(), 0u);
  }
  // An array of something else than entries, and entries whose key is not text.
  writeRootPlist(core::Value(core::Value::Dictionary{
      {"PreferenceSpecifiers",
       core::Value(core::Value::Array{core::Value("Server_Ip"), entry({{"Key", int64_t(5)}, {"DefaultValue", "x"}})})}}));
  {
    ResourcesAt at(resources());
    AppDelegate::registerDefaultsFromSettingsBundle();
    EXPECT_EQ(defaults().dictionaryRepresentation().size(), 0u);
  }
}

TEST_F(SettingsBundleTest, TheProgramsOwnBundleGivesEveryKeyTheSystemReads) {
  AppDelegate::registerDefaultsFromSettingsBundle();
  for (const char* key : {"Server_Ip", "Server_Port", "webService_Port", "VedioIP", "VedioName", "vedio_State"}) {
    EXPECT_TRUE(defaults().stringForKey(key).has_value()) << key;
  }
  EXPECT_GT(defaults().integerForKey("Server_Port"), 0);
}

class AppDelegateTest : public support::ScreenTest {
 protected:
  AppDelegateTest() {
    m_delegate.setWindow(windowPtr());
    ui::Application::shared().setDelegate(&m_delegate);
  }
  ~AppDelegateTest() override {
    setRootScreenFactory(nullptr);
    ui::Application::shared().setDelegate(nullptr);
  }
  ui::NavigationController* rootNavigation() const {
    return dynamic_cast<ui::NavigationController*>(window().rootViewController().get());
  }

  AppDelegate m_delegate;
};

TEST_F(AppDelegateTest, LaunchPutsTheRootScreenInANavigationControllerInTheWindow) {
  EXPECT_EQ(AppDelegate::current(), &m_delegate);
  ASSERT_TRUE(ui::Application::shared().launch());
  render();

  ui::NavigationController* nav = rootNavigation();
  ASSERT_NE(nav, nullptr);
  ASSERT_EQ(nav->viewControllers().size(), 1u);
  auto* home = dynamic_cast<BaseVC*>(nav->topViewController());
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(home->view()->window(), &window());
  EXPECT_TRUE(nav->isNavigationBarHidden());
  // The settings are registered on the way (from the program's own bundle).
  EXPECT_TRUE(core::UserDefaults::standard().stringForKey("Server_Ip").has_value());
  EXPECT_EQ(ui::Application::shared().keyWindow(), &window());
}

TEST_F(AppDelegateTest, TheRootScreenComesFromTheFactoryThatTookItOver) {
  class Home : public BaseVC {};
  int made = 0;
  setRootScreenFactory([&] {
    ++made;
    return std::make_shared<Home>();
  });
  ASSERT_TRUE(ui::Application::shared().launch());
  EXPECT_EQ(made, 1);
  ASSERT_NE(rootNavigation(), nullptr);
  EXPECT_NE(dynamic_cast<Home*>(rootNavigation()->topViewController()), nullptr);
  // Without a factory the base screen is back.
  setRootScreenFactory(nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<BaseVC>(makeRootScreen()), nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<Home>(makeRootScreen()), nullptr);
}

// A termination signal during the start asks the main loop to stop before it ever turns: the first
// screen, which nobody would see, was still built and shown, which under load took longer than the
// stop is given. Asked before the launch, no screen is made; asked while the screen is made, it is
// not put in the window.
TEST_F(AppDelegateTest, AStopAskedForBeforeOrDuringTheLaunchLeavesTheFirstScreenUnbuilt) {
  int made = 0;
  setRootScreenFactory([&] {
    ++made;
    return std::make_shared<BaseVC>();
  });
  // The stop is consumed by one turn of the loop, as the program's run does.
  auto turn = [] { core::RunLoop::main().runInMode(core::RunLoop::DefaultMode, 0); };
  core::RunLoop::main().stop();
  ASSERT_TRUE(ui::Application::shared().launch());
  turn();
  EXPECT_EQ(made, 0);
  EXPECT_EQ(window().rootViewController(), nullptr);

  setRootScreenFactory([&] {
    ++made;
    core::RunLoop::main().stop();
    return std::make_shared<BaseVC>();
  });
  ASSERT_TRUE(ui::Application::shared().launch());
  turn();
  EXPECT_EQ(made, 1);
  EXPECT_EQ(window().rootViewController(), nullptr);

  // Without a stop the screen is built and shown.
  setRootScreenFactory(nullptr);
  ASSERT_TRUE(ui::Application::shared().launch());
  EXPECT_NE(rootNavigation(), nullptr);
}

TEST_F(AppDelegateTest, LaunchWithoutAWindowMakesOneAndShowsIt) {
  AppDelegate delegate;
  ui::Application::shared().setDelegate(&delegate);
  ASSERT_TRUE(ui::Application::shared().launch());
  ASSERT_NE(delegate.window(), nullptr);
  EXPECT_EQ(ui::Application::shared().keyWindow(), delegate.window().get());
  EXPECT_NE(dynamic_cast<ui::NavigationController*>(delegate.window()->rootViewController().get()), nullptr);
  ui::Application::shared().setDelegate(&m_delegate);
}

TEST_F(AppDelegateTest, PortraitOnlyWhileAskedElseBothLandscapes) {
  ui::Application& app = ui::Application::shared();
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(&window()), 24u);
  m_delegate.setShouldChangeOrientation(true);
  EXPECT_TRUE(m_delegate.shouldChangeOrientation());
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(&window()), 2u);
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(nullptr), 2u);
  m_delegate.setShouldChangeOrientation(false);
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(&window()), 24u);
}

TEST_F(AppDelegateTest, ReturningToTheForegroundPostsEnterForegroundWithTheDelegate) {
  std::vector<void*> senders;
  core::Observation observing(core::NotificationCenter::defaultCenter(), "EnterForeground", nullptr,
                              [&](const core::Notification& n) { senders.push_back(n.object); });
  ui::Application& app = ui::Application::shared();
  ASSERT_TRUE(app.launch());
  EXPECT_TRUE(senders.empty());  // not at launch, not on becoming active
  app.enterBackground();
  EXPECT_TRUE(senders.empty());
  app.enterForeground();
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], static_cast<void*>(&m_delegate));
  app.enterForeground();  // already active: no second return
  EXPECT_EQ(senders.size(), 1u);
}

class DealUidTest : public support::TempHomeTest {
 protected:
  support::VirtualClock m_clock;
  AppDelegate m_delegate;
  static core::UserDefaults& defaults() { return core::UserDefaults::standard(); }
  static int32_t now() { return core::Value(SubsidiaryClass::getTimeStampForUDP()).intValue(); }
};

TEST_F(DealUidTest, AMissingOrEmptyUidBecomesTheMillisecondStampAndThreeDigits) {
  for (bool empty : {false, true}) {
    if (empty) defaults().setString("uid", "");
    else defaults().removeObjectForKey("uid");
    const std::string stamp = SubsidiaryClass::getTimeStamp();
    m_delegate.dealUidMessage();
    const std::string uid = defaults().stringForKey("uid").value_or("");
    ASSERT_EQ(uid.size(), stamp.size() + 3) << uid;
    EXPECT_EQ(uid.substr(0, stamp.size()), stamp);
    const int suffix = std::stoi(uid.substr(stamp.size()));
    EXPECT_GE(suffix, 100);
    EXPECT_LE(suffix, 999);
  }
}

TEST_F(DealUidTest, AUidTwoHoursOldIsRenewedAYoungerOneKept) {
  const std::string young = std::to_string(now() - 7199) + "123";
  defaults().setString("uid", young);
  m_delegate.dealUidMessage();
  EXPECT_EQ(defaults().stringForKey("uid"), young);

  defaults().setString("uid", std::to_string(now() - 7200) + "123");
  m_delegate.dealUidMessage();
  EXPECT_EQ(defaults().stringForKey("uid"), SubsidiaryClass::getTimeStampForUDP());
}

TEST_F(DealUidTest, AUidShorterThanTenCharactersIsReadWhole) {
  defaults().setString("uid", "42");
  m_delegate.dealUidMessage();
  EXPECT_EQ(defaults().stringForKey("uid"), SubsidiaryClass::getTimeStampForUDP());
}

}  // namespace
}  // namespace kt
