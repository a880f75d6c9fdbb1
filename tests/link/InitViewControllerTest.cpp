#include "link/InitViewController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/DataCenter.h"
#include "imagecache/ICImageCache.h"
#include "link/FoodMenuDouble.h"
#include "link/ServerNetworkCenter.h"
#include "link/SocketDataHandle.h"
#include "platform/core/Device.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "venue/RoomServer.h"
#include "widgets/feedback/ProgressOverlay.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace kt {
namespace {

using doubles::FoodMenuDouble;

// The bind request as the screen sends it: seven fields, the device identifier second.
std::vector<std::string> bindFields() {
  return {"", DataCenter::sharedInstance().UDID().value_or(""), "3", "", "", "", ""};
}

// The connect-and-bind screen on a navigation stack over a stand-in song home screen, talking to
// the stand-in room server; the food storyboard holds the food menu double.
class InitViewControllerTest : public support::ScreenTest {
 protected:
  void SetUp() override {
    core::Device::setVendorIdentifierForTesting("0F0F0F0F-2222-3333-4444-555555555555");
    resetLink();
    ASSERT_TRUE(server.start());
    core::UserDefaults::standard().setString("Server_Ip", "127.0.0.1");
    core::UserDefaults::standard().setString("Server_Port", std::to_string(server.port()));
    server.setReply(60, {"0", "", "2024-05-01 20:30:00"});
    ui::Storyboard::registerStoryboard(InitViewController::FoodOrderStoryboard, [this](ui::Storyboard& sb) {
      sb.registerScene(InitViewController::FoodMenuIdentifier, [this] {
        auto menu = std::make_shared<FoodMenuDouble>();
        menus.push_back(menu);
        return menu;
      });
    });
  }
  void TearDown() override {
    ui::AlertView::reset();
    screen.reset();
    menus.clear();
    nav.reset();
    window().setRootViewController(nullptr);
    resetLink();
    server.stop();
    support::drainMainLoop();
    ui::Storyboard::unregisterStoryboard(InitViewController::FoodOrderStoryboard);
    core::Device::setVendorIdentifierForTesting(std::nullopt);
  }
  static void resetLink() {
    SocketDataHandle::resetSharedInstanceForTesting();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    SNStatusBarNotification::resetSharedInstance();
    DataCenter::resetSharedInstanceForTesting();
    UserInfo::resetSharedInstanceForTesting();
  }

  // As the song home screen does: the screen made with plain construction and pushed, animated.
  // The push slides for 0.35 s on the virtual clock, which stands still until the test waits.
  void openScreen() {
    nav = std::make_shared<ui::NavigationController>(std::make_shared<ui::ViewController>());
    window().setRootViewController(nav);
    render();
    screen = std::make_shared<InitViewController>();
    nav->pushViewController(screen, true);
  }
  void openScreenAndSettle() {
    openScreen();
    wait(0.5);
  }

  std::shared_ptr<ui::AlertView> frontAlert() const {
    auto alerts = visibleAlerts();
    return alerts.empty() ? nullptr : alerts.front();
  }
  bool hasFrame(size_t index, int code, const std::vector<std::string>& fields) const {
    venue::Frame f = server.frame(index);
    return f.crcOk && f.code == code && f.fields == fields;
  }
  FoodMenuDouble* topMenu() const { return dynamic_cast<FoodMenuDouble*>(nav->topViewController()); }

  venue::RoomServer server;
  std::shared_ptr<ui::NavigationController> nav;
  std::shared_ptr<InitViewController> screen;
  std::vector<std::shared_ptr<FoodMenuDouble>> menus;
};

// ---- The road through: connect, 60 and 100, bind, food menu ----

TEST_F(InitViewControllerTest, GoodBindStoresTheRoomAndPushesTheFoodMenu) {
  server.setReply(100, {"0", "", "808", "unused", "豪华包", "3", "2"});
  openScreen();

  // The link opened when the screen loaded, with the date and bind requests in that order.
  // The clock stands still while the server answers, so the screen is still sliding in.
  ASSERT_TRUE(support::runUntilClockHeld([&] { return server.frameCount() >= 2; }));
  EXPECT_TRUE(hasFrame(0, 60, {}));
  EXPECT_TRUE(hasFrame(1, 100, bindFields()));
  ASSERT_TRUE(support::runUntilClockHeld([&] { return DataCenter::sharedInstance().roomNo().has_value(); }));

  DataCenter& data = DataCenter::sharedInstance();
  EXPECT_EQ(data.roomNo(), "808");
  EXPECT_EQ(data.roomType(), "豪华包");
  EXPECT_EQ(data.printId(), "3");
  EXPECT_EQ(data.priceId(), "2");

  // The reply came while the screen was still sliding in: the menu follows once it is in place.
  EXPECT_TRUE(nav->isTransitioning());
  EXPECT_TRUE(menus.empty() || nav->topViewController() == screen.get());
  wait(1.0);
  ASSERT_EQ(menus.size(), 1u);
  ASSERT_EQ(topMenu(), menus[0].get());
  EXPECT_EQ(nav->viewControllers().size(), 3u);
  EXPECT_EQ(nav->viewControllers()[1], screen);
  // The room values were in place before the menu was made.
  EXPECT_EQ(menus[0]->roomNoAtCreation(), "808");
  EXPECT_EQ(menus[0]->priceIdAtCreation(), "2");
  EXPECT_TRUE(menus[0]->wasConnectedOnLoad());
}

TEST_F(InitViewControllerTest, TheFoodMenuTakesTheDecoderOverAfterThePush) {
  server.setReply(100, {"0", "", "808", "", "豪华包", "3", "2"});
  server.setReply(103, {"0", "", "", "", "", "10", "酒水", "1", "0", "", "", ""});
  server.setReply(119, {"0", ""});
  openScreen();
  ASSERT_TRUE(runUntil([&] { return DataCenter::sharedInstance().roomNo().has_value(); }));
  wait(1.0);
  ASSERT_EQ(menus.size(), 1u);
  ASSERT_EQ(topMenu(), menus[0].get());
  FoodMenuDouble& menu = *menus[0];
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), &menu);

  // The menu's own requests (103 on load, 119 on screen) and their replies reach the menu.
  ASSERT_TRUE(runUntil([&] { return menu.calls().size() >= 2; }));
  EXPECT_EQ(menu.calls(), (std::vector<std::string>{"category:1", "roomStateAndInfo"}));
  ASSERT_GE(server.frameCount(), 4u);
  EXPECT_TRUE(hasFrame(2, 103, {"0", "100", "0", "", "", "0", "", "808"}));
  EXPECT_TRUE(hasFrame(3, 119, {"808", "", "0"}));

  // The connect-and-bind screen no longer hears the link: a lost connection brings no alert and
  // no second bind; the decoder opens the link again by itself.
  server.resetConnection();
  ASSERT_TRUE(runUntil([&] { return server.connectionsAccepted() >= 2; }));
  ASSERT_TRUE(runUntil([] { return ServerNetworkCenter::sharedInstance().isConnect(); }));
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());
  for (const venue::Frame& f : server.frames()) {
    if (f.connection == 1) {
      EXPECT_NE(f.code, 100);
    }
  }
}

// ---- Refused binds ----

TEST_F(InitViewControllerTest, RefusedBindShowsTheServerTextAndStoresNothing) {
  server.setReply(100, {"1", "该设备未登记"});
  openScreenAndSettle();
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));

  auto alert = frontAlert();
  EXPECT_EQ(alert->title(), "提示");
  EXPECT_EQ(alert->message(), "该设备未登记");
  EXPECT_EQ(alert->numberOfButtons(), 1);
  EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
  EXPECT_FALSE(DataCenter::sharedInstance().roomNo().has_value());
  EXPECT_EQ(DataCenter::sharedInstance().priceId(), "1");
  EXPECT_TRUE(menus.empty());
  EXPECT_EQ(nav->topViewController(), screen.get());

  // "确定" closes it; the screen stays as it was, overlay included.
  ASSERT_TRUE(tapAlertButton("确定"));
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());
  EXPECT_EQ(nav->topViewController(), screen.get());
  EXPECT_NE(findViewByText(InitViewController::ConnectingText), nullptr);
}

TEST_F(InitViewControllerTest, GoodResultWithoutTheRoomPartsIsAFailedBind) {
  // Result "0" and a message, but the reply stops before the room type, printer and price ids.
  server.setReply(100, {"0", "绑定信息不完整", "808"});
  openScreenAndSettle();
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));
  EXPECT_EQ(frontAlert()->message(), "绑定信息不完整");
  EXPECT_FALSE(DataCenter::sharedInstance().roomNo().has_value());
  EXPECT_FALSE(DataCenter::sharedInstance().roomType().has_value());
  EXPECT_EQ(DataCenter::sharedInstance().priceId(), "1");
  EXPECT_TRUE(menus.empty());
  ASSERT_TRUE(tapAlertButton("确定"));

  // Result "0" alone: no message to show, still nothing stored and no menu.
  server.clearReplies();
  server.setReply(100, {"0"}, venue::FieldForm::Joined);
  ServerNetworkCenter::sharedInstance().disconnectToServer();  // the screen asks the guest
  ASSERT_TRUE(runUntil([&] { return frontAlert() && frontAlert()->title() == "错误"; }));
  ASSERT_TRUE(tapAlertButton("重试"));
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= 4; }));
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());
  EXPECT_FALSE(DataCenter::sharedInstance().roomNo().has_value());
  EXPECT_TRUE(menus.empty());
  EXPECT_EQ(nav->topViewController(), screen.get());
}

// ---- Connection failures ----

TEST_F(InitViewControllerTest, RefusedConnectionOffersRetryWhichConnectsAndBindsAgain) {
  ASSERT_TRUE(server.setRefusing(true));
  openScreenAndSettle();
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));

  auto alert = frontAlert();
  EXPECT_EQ(alert->title(), "错误");
  EXPECT_EQ(alert->message(), "连接服务器失败");
  ASSERT_EQ(alert->numberOfButtons(), 2);
  EXPECT_EQ(alert->buttonTitleAtIndex(0), "重试");
  EXPECT_EQ(alert->cancelButtonIndex(), 0);
  EXPECT_EQ(alert->buttonTitleAtIndex(1), "取消");
  // The guest decides: nothing tries again meanwhile.
  wait(3.0);
  EXPECT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(server.connectionsAccepted(), 0u);

  ASSERT_TRUE(server.setRefusing(false));
  ASSERT_TRUE(tapAlertButton("重试"));
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= 2; }));
  EXPECT_TRUE(hasFrame(0, 60, {}));
  EXPECT_TRUE(hasFrame(1, 100, bindFields()));
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());
}

// A stored port outside 1-65535, or no venue host, failed at once with nothing reported: the
// screen said it was connecting for ever. The guest sees what a refused connection shows, and the
// retry, once the setting is mended, connects and binds.
TEST_F(InitViewControllerTest, ASettingThatFailsAtOnceOffersRetryAsARefusedConnectionDoes) {
  for (const bool badPort : {true, false}) {
    SCOPED_TRACE(badPort ? "port 70000" : "empty host");
    if (badPort) core::UserDefaults::standard().setString("Server_Port", "70000");
    else core::UserDefaults::standard().setString("Server_Ip", "");
    openScreenAndSettle();
    ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));
    EXPECT_EQ(frontAlert()->message(), "连接服务器失败");
    EXPECT_EQ(visibleAlerts().size(), 1u);

    core::UserDefaults::standard().setString("Server_Ip", "127.0.0.1");
    core::UserDefaults::standard().setString("Server_Port", std::to_string(server.port()));
    const size_t frames = server.frameCount();
    ASSERT_TRUE(tapAlertButton("重试"));
    ASSERT_TRUE(runUntil([&] { return server.frameCount() >= frames + 2; }));
    EXPECT_TRUE(hasFrame(frames + 1, 100, bindFields()));
    wait(0.5);
    EXPECT_TRUE(visibleAlerts().empty());
    screen.reset();
    nav.reset();
    window().setRootViewController(nullptr);
    resetLink();
    support::drainMainLoop();
  }
}

TEST_F(InitViewControllerTest, CancelAfterAFailedConnectionLeavesTheScreen) {
  ASSERT_TRUE(server.setRefusing(true));
  openScreenAndSettle();
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));
  std::weak_ptr<InitViewController> weak = screen;
  screen.reset();

  ASSERT_TRUE(tapAlertButton("取消"));
  wait(1.0);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_TRUE(visibleAlerts().empty());
  // Gone with the screen: the decoder has no delegate left.
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), nullptr);
  EXPECT_EQ(server.connectionsAccepted(), 0u);
}

TEST_F(InitViewControllerTest, EveryConnectionSendsTheDateAndBindRequestsAgain) {
  // No bind reply: the screen waits. Then the server drops the link.
  openScreenAndSettle();
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= 2; }));
  server.resetConnection();
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));
  EXPECT_EQ(frontAlert()->message(), "连接服务器失败");
  wait(2.0);
  EXPECT_EQ(server.connectionsAccepted(), 1u);  // no reconnect without the guest

  ASSERT_TRUE(tapAlertButton("重试"));
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= 4; }));
  std::vector<venue::Frame> frames = server.frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].connection, frames[1].connection);
  EXPECT_NE(frames[2].connection, frames[0].connection);
  EXPECT_EQ(frames[3].connection, frames[2].connection);
  // Byte for byte the same requests on the new connection.
  EXPECT_EQ(frames[2].raw, frames[0].raw);
  EXPECT_EQ(frames[3].raw, frames[1].raw);
  EXPECT_TRUE(hasFrame(3, 100, bindFields()));
}

// ---- What the guest sees ----

TEST_F(InitViewControllerTest, ConnectingOverlayCoversTheScreenAndStays) {
  server.setReply(100, {"1", "该设备未登记"});
  openScreenAndSettle();
  ASSERT_NE(screen->HUD(), nullptr);
  EXPECT_EQ(screen->HUD()->superview(), screen->view().get());
  EXPECT_EQ(screen->HUD()->frame(), screen->view()->bounds());
  auto label = findViewByText("正在连接服务器...");
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->isDescendantOf(screen->view().get()));
  // The background is the launch picture, tiled.
  ASSERT_TRUE(screen->view()->backgroundColor().has_value());
  EXPECT_TRUE(screen->view()->backgroundColor()->isPattern());

  // A refused bind leaves it up.
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));
  ASSERT_TRUE(tapAlertButton("确定"));
  wait(1.0);
  EXPECT_NE(findViewByText("正在连接服务器..."), nullptr);
  EXPECT_FALSE(screen->HUD()->isHidden());
}

class InitViewControllerScreens : public InitViewControllerTest,
                                  public ::testing::WithParamInterface<support::Device> {};

TEST_P(InitViewControllerScreens, ConnectingAndConnectionAlert) {
  setDevice(GetParam());
  // Connected, the bind unanswered: the screen waits under its overlay.
  openScreenAndSettle();
  ASSERT_TRUE(runUntil([&] { return server.frameCount() >= 2; }));
  wait(0.5);
  // The screen fills the navigation controller's content area.
  EXPECT_EQ(screen->view()->frame(), nav->contentFrame());
  EXPECT_NE(screenshot("connecting"), nullptr);

  // The link drops: the alert comes up over the overlay.
  server.resetConnection();
  ASSERT_TRUE(runUntil([&] { return frontAlert() != nullptr; }));
  wait(0.5);
  EXPECT_NE(screenshot("connection-alert"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Devices, InitViewControllerScreens,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         [](const ::testing::TestParamInfo<support::Device>& info) {
                           return info.param == support::Device::Standard ? std::string("Standard")
                                                                          : std::string("LargeTablet");
                         });


// ---- Flushing the caches ----

TEST_F(InitViewControllerTest, FlushCacheEmptiesBothImageTiersAndTheResponseCache) {
  const auto& images = ICImageCache::sharedImageCache();
  auto picture = gfx::Image::fromPixels(2, 2, std::vector<uint32_t>(4, 0xFF3366CCu));
  const std::string key = "http://127.0.0.1/GetPhoto.aspx?Flag=00&id=7";
  images->storeImage(picture, key);
  ASSERT_TRUE(runUntil([&] { return images->diskImageExistsWithKey(key); }));
  ASSERT_NE(images->imageFromMemoryCacheForKey(key), nullptr);

  openScreenAndSettle();
  screen->flushCache();

  EXPECT_EQ(images->imageFromMemoryCacheForKey(key), nullptr);
  // The disk tier empties on the cache's own queue; the folder is made anew for later stores.
  EXPECT_TRUE(runUntil([&] { return !images->diskImageExistsWithKey(key) && images->getDiskCount() == 0; }));
}

}  // namespace
}  // namespace kt
