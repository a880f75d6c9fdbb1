#pragma once

// Ordering screens on the offscreen display, talking over the real link and decoder to the
// stand-in room server on 127.0.0.1: a bound room ("808", price scheme "2"), the ordering
// storyboard registered, and helpers that write the room server's replies and read back what it
// received.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/DataCenter.h"
#include "link/OKFolioObject.h"
#include "link/OKSelectFoodObject.h"
#include "link/ServerNetworkCenter.h"
#include "link/SocketDataHandle.h"
#include "order/OrderScreens.h"
#include "order/ShowPopViewSegue.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "songs/ChooseMusicVC.h"
#include "support/UiHarness.h"
#include "venue/RoomServer.h"
#include "venue/WebServer.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace kt::order_test {

// The song home screen without its cloud requests.
class SongHome : public ChooseMusicVC {
 public:
  void viewDidLoad() override { ui::ViewController::viewDidLoad(); }
  void viewWillAppear(bool animated) override { ui::ViewController::viewWillAppear(animated); }
};

// Names the tablet sizes of a test run on both.
inline std::string deviceName(const ::testing::TestParamInfo<support::Device>& info) {
  return info.param == support::Device::Standard ? "Standard" : "LargeTablet";
}

// The index of the first element that satisfies `pred`, or -1.
template <class List, class Pred>
int indexOf(const List& list, Pred pred) {
  auto it = std::find_if(list.begin(), list.end(), pred);
  return it == list.end() ? -1 : int(it - list.begin());
}

// A dish as the room server lists it in reply 104.
struct Dish {
  std::string no, nameChs, nameEng, price, monad, modifyTime;
};
// A category record of reply 103.
struct Category {
  std::string typeNo, typeName, level, parentNo;
};

class OrderScreenFixture : public support::ScreenTest {
 protected:
  static constexpr const char* kRoom = "808";
  static constexpr const char* kPriceId = "2";

  void SetUp() override {
    resetLink();
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(web.start());
    core::UserDefaults& defaults = core::UserDefaults::standard();
    defaults.setString("Server_Ip", "127.0.0.1");
    defaults.setString("Server_Port", std::to_string(server.port()));
    defaults.setString("webService_Port", std::to_string(web.port()));
    DataCenter::sharedInstance().setRoomNo(std::string(kRoom));
    DataCenter::sharedInstance().setPriceId(std::string(kPriceId));
    OrderScreens::registerStoryboard();
  }
  void TearDown() override {
    ui::AlertView::reset();
    if (auto popover = ShowPopViewSegue::sharedPopover(); popover && popover->isPopoverVisible())
      popover->dismissPopoverAnimated(false);
    ShowPopViewSegue::resetForTesting();
    nav.reset();
    window().setRootViewController(nullptr);
    resetLink();
    server.stop();
    web.stop();
    support::drainMainLoop();
    ui::Storyboard::unregisterStoryboard(OrderScreens::StoryboardName);
  }
  static void resetLink() {
    SocketDataHandle::resetSharedInstanceForTesting();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    SNStatusBarNotification::resetSharedInstance();
    DataCenter::resetSharedInstanceForTesting();
  }

  static std::shared_ptr<ui::Storyboard> storyboard() { return ui::Storyboard::named(OrderScreens::StoryboardName); }

  // Connects the link (as the connect-and-bind screen leaves it), then puts `screen` on top of a
  // navigation stack over `root` in the key window and lets it settle.
  void showOnStack(std::shared_ptr<ui::ViewController> root, std::shared_ptr<ui::ViewController> screen) {
    ServerNetworkCenter::sharedInstance().initConnect();
    ASSERT_TRUE(runUntil([] { return ServerNetworkCenter::sharedInstance().isConnect(); }));
    nav = std::make_shared<ui::NavigationController>(std::move(root));
    window().setRootViewController(nav);
    render();
    nav->pushViewController(std::move(screen), false);
    wait(0.5);
  }

  // ---- Replies (fields from the result on, part 2 of the reply) ----
  static std::vector<std::string> categoryReply(const std::vector<Category>& categories) {
    std::vector<std::string> fields = {"0", "", "", "", ""};
    for (const Category& c : categories)
      fields.insert(fields.end(), {c.typeNo, c.typeName, c.level, c.parentNo, "", "", ""});
    return fields;
  }
  static std::vector<std::string> foodReply(const std::vector<Dish>& dishes) {
    std::vector<std::string> fields = {"0", "", "", "", ""};
    for (const Dish& d : dishes)
      fields.insert(fields.end(), {d.no, d.nameChs, d.nameEng, d.price, d.monad, "", "0", "0", "0", "", "",
                                   d.modifyTime, "", "", "", ""});
    return fields;
  }
  // Reply 119 with the master id, the receiving clerk and the money consumed.
  static std::vector<std::string> roomStateReply(const std::string& clerk, const std::string& money) {
    std::vector<std::string> fields(25);
    fields[0] = "0";
    fields[5] = "M-1";
    fields[11] = clerk;
    fields[24] = money;
    return fields;
  }
  // Sends a reply unasked, as the room server's answer to the last request.
  void receive(int code, const std::vector<std::string>& fields) { ASSERT_TRUE(server.sendFrame(code, fields)); }

  // ---- Requests ----
  // The requests received with this code, in order.
  std::vector<std::vector<std::string>> requests(int code) const {
    std::vector<std::vector<std::string>> out;
    for (const venue::Frame& f : server.frames())
      if (f.crcOk && f.code == code) out.push_back(f.fields);
    return out;
  }
  // The server records on its own thread, which does not wake the main loop: the loop is drained
  // (the link writes what it holds) between short waits for the next frame, until the frames
  // are in or the (real, generous) time-out passes; the virtual clock stays.
  bool waitForRequests(int code, size_t count, double timeoutSeconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
      support::drainMainLoop();
      if (requests(code).size() >= count) return true;
      if (std::chrono::steady_clock::now() >= end) return false;
      server.waitForFrames(server.frameCount() + 1, 0.025);
    }
  }

  // ---- The basket ----
  static FolioList& basket() { return SocketDataHandle::sharedInstance().getTmpSelectFood()->foodSetArray(); }
  static void addBasketLine(const std::string& foodNo, const std::string& flag = "N") {
    auto line = std::make_shared<OKFolioObject>();
    line->setFoodNo(foodNo);
    line->setFlag(flag);
    line->setQuantity("1");
    basket().push_back(line);
  }

  venue::RoomServer server;
  venue::WebServer web;  // the dish photographs
  std::shared_ptr<ui::NavigationController> nav;
};

}  // namespace kt::order_test
