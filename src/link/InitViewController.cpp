#include "link/InitViewController.h"

#include "app/AlertViewQX.h"
#include "app/DataCenter.h"
#include "imagecache/ICImageCache.h"
#include "link/MsgCodes.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/Log.h"
#include "platform/gfx/Color.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLCache.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/View.h"
#include "widgets/feedback/ProgressOverlay.h"

namespace kt {

InitViewController::InitViewController() {
  serverConnect = [this](SocketDataHandle&, bool connected) { didChangeConnection(connected); };
  boundClient = [this](SocketDataHandle&, const std::vector<std::string>& parts) { didBindClient(parts); };
  // The two landscape orientations only.
  shouldAutorotateToInterfaceOrientation = [](ui::InterfaceOrientation orientation) {
    return orientation == ui::InterfaceOrientation::LandscapeLeft ||
           orientation == ui::InterfaceOrientation::LandscapeRight;
  };
}

InitViewController::~InitViewController() {
  // A connection alert may outlive the screen (it keeps itself alive until dismissed).
  for (const auto& weak : m_alerts) {
    if (auto alert = weak.lock(); alert && alert->delegate() == this) alert->setDelegate(nullptr);
  }
}

void InitViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  view()->setBackgroundColor(gfx::Color::patternImage(gfx::Image::named("Default-Landscape.png")));

  SocketDataHandle::sharedInstance().setDelegate(this);
  ServerNetworkCenter::sharedInstance().initConnect();

  m_HUD = ProgressOverlay::initWithView(view().get());
  if (m_HUD) {
    view()->addSubview(m_HUD);
    m_HUD->setLabelText(std::string(ConnectingText));
    m_HUD->show(true);
  }
}

void InitViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  if (m_pendingMenu) showFoodMenu(std::move(m_pendingMenu));
}

void InitViewController::didChangeConnection(bool connected) {
  if (connected) {
    ServerNetworkCenter& center = ServerNetworkCenter::sharedInstance();
    center.sentMsg(MsgSysDate, {});
    center.sentMsg(MsgBindClient, {std::string(), DataCenter::sharedInstance().UDID(), "3", std::string(),
                                   std::string(), std::string(), std::string()});
    return;
  }
  auto alert = ui::AlertView::create("错误", "连接服务器失败", this, std::string("重试"), {"取消"});
  // Forget the alerts already gone before keeping this one.
  std::erase_if(m_alerts, [](const std::weak_ptr<ui::AlertView>& weak) { return weak.expired(); });
  m_alerts.push_back(alert);
  alert->show();
}

void InitViewController::clickedButtonAtIndex(ui::AlertView& /*alertView*/, int buttonIndex) {
  if (buttonIndex == 0) {
    ServerNetworkCenter::sharedInstance().initConnect();
  } else if (buttonIndex == 1) {
    if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
  }
}

void InitViewController::didBindClient(const std::vector<std::string>& parts) {
  // A reply marked good but too short to hold the room's identity is a failed bind: nothing is
  // stored and the server's text, when there is one, is shown.
  const bool bound = parts.size() > 2 && parts[2] == "0" && parts.size() >= BindSuccessParts;
  if (!bound) {
    if (parts.size() > 3) {
      if (auto alert = setMsg(parts[3])) alert->show();
    } else {
      KT_LOG("bind reply without a message (%zu parts)", parts.size());
    }
    return;
  }

  DataCenter& data = DataCenter::sharedInstance();
  data.setRoomNo(parts[4]);
  data.setRoomType(parts[6]);
  data.setPrintId(parts[7]);
  data.setPriceId(parts[8]);

  auto storyboard = ui::Storyboard::named(FoodOrderStoryboard);
  if (!storyboard) {
    KT_LOG("no storyboard %s", FoodOrderStoryboard);
    return;
  }
  auto menu = storyboard->instantiate(FoodMenuIdentifier);
  if (!menu) return;  // instantiate has logged it
  showFoodMenu(std::move(menu));
}

void InitViewController::showFoodMenu(std::shared_ptr<ui::ViewController> menu) {
  ui::NavigationController* nav = navigationController();
  if (!nav) {
    KT_LOG("not in a navigation controller: the food menu cannot be shown");
    return;
  }
  if (nav->isTransitioning()) {
    // This screen's own push is still sliding in; viewDidAppear pushes the menu when it ends.
    m_pendingMenu = std::move(menu);
    return;
  }
  nav->pushViewController(std::move(menu), true);
}

void InitViewController::flushCache() {
  // The shared image cache's memory tier, its disk tier (emptied on its own queue), then the
  // HTTP response cache.
  const auto& images = ICImageCache::sharedImageCache();
  images->clearMemory();
  images->clearDisk();
  net::URLCache::sharedURLCache()->removeAllCachedResponses();
}

}  // namespace kt
