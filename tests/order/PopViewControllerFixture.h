#pragma once

// The dish popover and the package chooser on the offscreen display, opened in the shared popover
// from a recording host screen (a stand-in for the menu) in a navigation controller, talking to
// the stand-in room server through the real link and decoder.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "link/RoomLinkFixture.h"
#include "order/OrderPopoverSource.h"
#include "order/OrderScreens.h"
#include "order/PackChildViewController.h"
#include "order/PackChildViewObj.h"
#include "order/PopViewController.h"
#include "order/PopViewControllerDelegate.h"
#include "order/ShowPopViewSegue.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace kt::testing {

using Fields = std::vector<std::string>;

// What the menu does with the two popovers: shows them from its order button and hears back.
// On a confirmation it closes the popover, as the menu does.
class PopoverHost : public ui::ViewController, public OrderPopoverSource, public PopViewControllerDelegate {
 public:
  ~PopoverHost() override { clearPopoverDelegate(); }
  void loadView() override {
    auto root = std::make_shared<ui::View>(gfx::Rect{0, 0, 1024, 768});
    root->setBackgroundColor(gfx::Color::black());
    m_button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{180, 300, 120, 44});
    m_button->setBackgroundColor(gfx::Color::rgba(0.3, 0.3, 0.35));
    root->addSubview(m_button);
    setView(root);
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

  // Shows a scene of the ordering storyboard in the shared popover; answers it.
  template <class Screen>
  std::shared_ptr<Screen> show(const char* scene, const std::function<void(Screen&)>& prepare) {
    auto screen = std::dynamic_pointer_cast<Screen>(ui::Storyboard::named(OrderScreens::StoryboardName)->instantiate(scene));
    if (!screen) return nullptr;
    screen->setDelegate(popDelegateWeakPtr());
    prepare(*screen);
    ShowPopViewSegue("show", sharedController(), screen).perform();
    return screen;
  }

  std::vector<std::string> calls;
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
    host = std::make_shared<PopoverHost>();
    nav = std::make_shared<ui::NavigationController>(host);
    window().setRootViewController(nav);
    render();
  }
  void TearDown() override {
    ShowPopViewSegue::setDismiss();
    ShowPopViewSegue::resetForTesting();
    window().setRootViewController(nullptr);
    nav.reset();
    host.reset();
    support::drainMainLoop();
  }
  // The stand-in room server, connected.
  void connect() {
    startServer();
    link().initConnect();
    ASSERT_TRUE(runUntil([] { return link().isConnect(); }, 10));
  }
  std::shared_ptr<OKSelectFoodObject> basket() { return handle().getTmpSelectFood(); }
  // The requests the stand-in received with this code, in order.
  std::vector<venue::Frame> requests(int code) const {
    std::vector<venue::Frame> found;
    for (const auto& frame : server.frames())
      if (frame.code == code) found.push_back(frame);
    return found;
  }

  std::shared_ptr<PopoverHost> host;
  std::shared_ptr<ui::NavigationController> nav;
};

// The 27 fields of a priced line in a 105 reply.
inline Fields pricedLineFields(const std::string& no, const std::string& name, const std::string& price,
                               const std::string& quantity, const std::string& ifPack = "0") {
  return {no, name, price, "N", quantity, "1", "份", "0", "P1", "", ifPack, "0", "0", "0", "", "1", "", "1", "0",
          "", "0", "0", "0", "", "", "", ""};
}

// A reply 105: result, message, HasMultFreeItems, MultFreeCount, MultFreeItemsSetID, GroupID,
// the line count, then the lines.
inline Fields pricingReply(const std::string& hasMultFree, const std::string& multFreeCount, const std::string& setID,
                           const std::string& groupID, const std::vector<Fields>& lines) {
  Fields fields = {"0", "", hasMultFree, multFreeCount, setID, groupID, std::to_string(lines.size())};
  for (const auto& line : lines) fields.insert(fields.end(), line.begin(), line.end());
  return fields;
}

// A basket line made by hand.
inline std::shared_ptr<OKFolioObject> folio(const std::string& no, const std::string& quantity,
                                            const std::string& ifPackChild = "0", const std::string& autoFreed = "0",
                                            const std::string& parent = "", const std::string& group = "") {
  auto line = std::make_shared<OKFolioObject>();
  line->setFoodNo(no);
  line->setFoodName(no);
  line->setQuantity(quantity);
  line->setFlag(autoFreed == "1" ? "F" : "N");
  line->setIfPackChild(ifPackChild);
  line->setAutoFreed(autoFreed);
  line->setParentFoodNo(parent);
  line->setGroupID(group);
  return line;
}

inline std::shared_ptr<OKFoodObject> dish(const std::string& no, const std::string& name, const std::string& ifPack = "0",
                                          const std::string& addInfoNo2 = "A2") {
  auto food = std::make_shared<OKFoodObject>();
  food->setNo(no);
  food->setNameChs(name);
  food->setIfPack(ifPack);
  food->setAddInfoNo2(addInfoNo2);
  return food;
}

inline std::vector<std::string> foodNos(const FolioList& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(line->FoodNo().value_or("?") + "x" + line->Quantity().value_or("?"));
  return out;
}

}  // namespace kt::testing
