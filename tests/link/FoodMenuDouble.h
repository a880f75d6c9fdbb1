#pragma once

// A stand-in for the food menu screen ("OrderMainViewController" of "Storyboard_FoodOrder"):
// it takes the reply decoder's delegate and sends the requests the real menu sends, when the real
// menu sends them, and records what it sees and what the decoder tells it.
//
//  - on load: takes the delegate, opens the link when it is not connected, sends 103;
//  - about to come and come on screen: takes the delegate again; once on screen it sends 119;
//  - answers the category list, the food list and the room state (nothing else).

#include <memory>
#include <string>
#include <vector>

#include "app/DataCenter.h"
#include "link/MsgCodes.h"
#include "link/ServerNetworkCenter.h"
#include "link/SocketDataHandle.h"
#include "platform/ui/ViewController.h"

namespace kt::doubles {

class FoodMenuDouble : public ui::ViewController, public SocketDataHandleDelegate {
 public:
  // The room values the menu found when it was made (so a test can tell they came first).
  FoodMenuDouble()
      : m_roomNoAtCreation(DataCenter::sharedInstance().roomNo()),
        m_priceIdAtCreation(DataCenter::sharedInstance().priceId()) {
    socketDataHandleDidCategory = [this](FoodTypeList categories) {
      m_calls.push_back("category:" + std::to_string(categories.size()));
    };
    socketDataHandleDidFoodList = [this](FoodList foods) {
      m_calls.push_back("foodList:" + std::to_string(foods.size()));
    };
    socketDataHandleDidRoomStateAndInfo = [this] { m_calls.push_back("roomStateAndInfo"); };
  }

  void viewDidLoad() override {
    ui::ViewController::viewDidLoad();
    SocketDataHandle::sharedInstance().setDelegate(this);
    ServerNetworkCenter& center = ServerNetworkCenter::sharedInstance();
    m_wasConnectedOnLoad = center.isConnect();
    if (!center.isConnect()) center.initConnect();
    center.sentMsg(MsgFoodCategory, {"0", "100", "0", "", "", "0", "", DataCenter::sharedInstance().roomNo()});
  }
  void viewWillAppear(bool animated) override {
    ui::ViewController::viewWillAppear(animated);
    SocketDataHandle::sharedInstance().setDelegate(this);
  }
  void viewDidAppear(bool animated) override {
    ui::ViewController::viewDidAppear(animated);
    SocketDataHandle::sharedInstance().setDelegate(this);
    ServerNetworkCenter::sharedInstance().sentMsg(MsgRoomStateAndInfo,
                                                  {DataCenter::sharedInstance().roomNo(), "", "0"});
    ++m_appearances;
  }

  // The decoder's calls, in order ("category:<count>", "foodList:<count>", "roomStateAndInfo").
  const std::vector<std::string>& calls() const { return m_calls; }
  const Text& roomNoAtCreation() const { return m_roomNoAtCreation; }
  const Text& priceIdAtCreation() const { return m_priceIdAtCreation; }
  bool wasConnectedOnLoad() const { return m_wasConnectedOnLoad; }
  int appearances() const { return m_appearances; }

 private:
  Text m_roomNoAtCreation;
  Text m_priceIdAtCreation;
  bool m_wasConnectedOnLoad = false;
  int m_appearances = 0;
  std::vector<std::string> m_calls;
};

}  // namespace kt::doubles
