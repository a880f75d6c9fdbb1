#pragma once

// The dish popover and the package chooser in the shared popover over a recording stand-in for
// the menu, with the real link and decoder and the stand-in room server.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/RoomLinkFixture.h"
#include "order/OrderPopoverSource.h"
#include "order/OrderScreens.h"
#include "order/PackChildViewObj.h"
#include "order/ShowPopViewSegue.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace kt::testing {

using Fields = std::vector<std::string>;
using Texts = std::vector<std::string>;

// Shows the popovers from its button, records what they tell it, and closes the popover on a
// confirmation as the menu does.
class PopoverHost : public ui::ViewController, public OrderPopoverSource, public popViewControllerDelegate {
 public:
  ~PopoverHost() override { clearPopoverDelegate(); }
  void loadView() override {
    setView(std::make_shared<ui::View>(gfx::Rect{0, 0, 1024, 768}));
    view()->setBackgroundColor(gfx::Color::black());
    m_button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{180, 300, 120, 44});
    m_button->setBackgroundColor(gfx::Color::rgba(0.3, 0.3, 0.35));
    view()->addSubview(m_button);
  }
  std::shared_ptr<ui::Button> currentBtn() const override { return m_button; }
  void popViewControllerDidConfirm() override {
    calls.push_back("confirm");
    if (popoverController()) popoverController()->dismissPopoverAnimated(false);
  }
  void popViewControllerToPackChildView(const PackChildFoodMap& dict, std::shared_ptr<PackChildViewObj> obj) override {
    calls.push_back("toPackChild");
    handedDict = dict;
    handedObj = std::move(obj);
  }
  template <class Screen>
  std::shared_ptr<Screen> show(const char* scene, const std::function<void(Screen&)>& prepare) {
    auto screen = std::dynamic_pointer_cast<Screen>(ui::Storyboard::named(OrderScreens::StoryboardName)->instantiate(scene));
    if (!screen) return nullptr;
    screen->setDelegate(popDelegateWeakPtr());
    prepare(*screen);
    ShowPopViewSegue("show", sharedController(), screen).perform();
    return screen;
  }

  Texts calls;
  PackChildFoodMap handedDict;
  std::shared_ptr<PackChildViewObj> handedObj;

 private:
  std::shared_ptr<ui::Button> m_button;
};

class OrderPopoverTest : public RoomLinkTest {
 protected:
  void SetUp() override {
    OrderScreens::registerStoryboard();
    room().setRoomNo(std::string("8001"));
    room().setPrintId(std::string("K1"));
    room().setPriceId(std::string("2"));
    makeHost();
  }
  void TearDown() override {
    ShowPopViewSegue::setDismiss();
    ShowPopViewSegue::resetForTesting();
    window().setRootViewController(nullptr);
    nav.reset();
    host.reset();
    support::drainMainLoop();
  }
  void makeHost() {
    host = std::make_shared<PopoverHost>();
    nav = std::make_shared<ui::NavigationController>(host);
    nav->setNavigationBarHidden(true);
    window().setRootViewController(nav);
    render();
  }
  void connect() {
    startServer();
    link().initConnect();
    ASSERT_TRUE(runUntil([] { return link().isConnect(); }));
  }
  std::shared_ptr<OKSelectFoodObject> basket() { return handle().getTmpSelectFood(); }
  std::vector<venue::Frame> requests(int code) const {
    std::vector<venue::Frame> found;
    for (const auto& frame : server.frames())
      if (frame.code == code) found.push_back(frame);
    return found;
  }
  Texts alerts() const {
    Texts out;
    for (const auto& a : visibleAlerts()) out.push_back(a->title() + "|" + a->message());
    return out;
  }
  void dismissAlert() {
    EXPECT_TRUE(tapAlertButton("确定"));
    wait(0.5);
  }

  std::shared_ptr<PopoverHost> host;
  std::shared_ptr<ui::NavigationController> nav;
};

// A reply 105: result, message, HasMultFreeItems, MultFreeCount, MultFreeItemsSetID, GroupID,
// the line count, then one line of 27 fields.
inline Fields pricingReply(const std::string& hasMultFree, const std::string& no, const std::string& quantity,
                           const std::string& ifPack) {
  return {"0", "", hasMultFree, "2", "S9", "G7", "1", no, "炒饭", "18", "N", quantity, "1", "份", "0", "P1", "", ifPack,
          "0", "0", "0", "", "1", "", "1", "0", "", "0", "0", "0", "", "", "", ""};
}

inline venue::Reply reply(Fields fields) {
  venue::Reply r;
  r.fields = std::move(fields);
  return r;
}

// A basket line: dish, quantity, IfPackChild, AutoFreed (a free line), ParentFoodNo, GroupID.
inline std::shared_ptr<OKFolioObject> folio(const std::string& no, const std::string& quantity, const std::string& child = "0",
                                            const std::string& free = "0", const std::string& parent = "",
                                            const std::string& group = "") {
  auto l = std::make_shared<OKFolioObject>();
  l->setFoodNo(no), l->setQuantity(quantity), l->setFlag(free == "1" ? "F" : "N"), l->setIfPackChild(child);
  l->setAutoFreed(free), l->setParentFoodNo(parent), l->setGroupID(group);
  return l;
}

inline std::shared_ptr<OKFoodObject> dish(const std::string& no, const std::string& name, const std::string& ifPack = "0") {
  auto food = std::make_shared<OKFoodObject>();
  food->setNo(no), food->setNameChs(name), food->setIfPack(ifPack), food->setAddInfoNo2(std::string("A2"));
  return food;
}

// "FoodNo x Quantity" of each line.
inline Texts foodNos(const FolioList& lines) {
  Texts out;
  for (const auto& line : lines) out.push_back(line->FoodNo().value_or("?") + "x" + line->Quantity().value_or("?"));
  return out;
}

}  // namespace kt::testing
