#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/SocketDataHandle.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ViewController.h"
#include "widgets/feedback/ProgressOverlayDelegate.h"

namespace kt {

class ProgressOverlay;

// The connect-and-bind screen, between the song screens and food ordering. When it loads it
// takes the reply decoder's connection changes and bind replies, opens the room-server link and
// shows "正在连接服务器..." until it leaves. Once connected it asks for the server's date (60)
// and binds this device to its room (100); a good bind reply stores the room's identity in
// DataCenter and opens the food menu ("OrderMainViewController" of "Storyboard_FoodOrder"). A
// failed connection asks the guest to retry or to leave; a refused bind shows the server's text.
class InitViewController : public ui::ViewController,
                           public SocketDataHandleDelegate,
                           public ProgressOverlayDelegate,
                           public ui::AlertViewDelegate {
 public:
  static constexpr const char* FoodOrderStoryboard = "Storyboard_FoodOrder";
  static constexpr const char* FoodMenuIdentifier = "OrderMainViewController";
  static constexpr const char* ConnectingText = "正在连接服务器...";
  // The bind reply's parts that a successful bind reads (up to the price id, part [8]).
  static constexpr size_t BindSuccessParts = 9;

  InitViewController();
  ~InitViewController() override;

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;

  // ---- The connection alert: "重试" (0) connects again, "取消" (1) leaves the screen ----
  void clickedButtonAtIndex(ui::AlertView& alertView, int buttonIndex) override;

  // Empties the image caches and the shared URL cache. Nothing calls it.
  void flushCache();

  // The connecting overlay (made when the view loads; never hidden).
  const std::shared_ptr<ProgressOverlay>& HUD() const { return m_HUD; }

 private:
  // ---- Reply decoder: its serverConnect and boundClient slots ----
  // Connected: requests 60 and 100. Lost or refused: the alert "错误" / "连接服务器失败".
  void didChangeConnection(bool connected);
  // Reply 100.
  void didBindClient(const std::vector<std::string>& parts);

  // Pushes the food menu now, or once this screen's own push has finished when a navigation
  // transition is running (a push asked for then would be refused and the guest left waiting).
  void showFoodMenu(std::shared_ptr<ui::ViewController> menu);

  std::shared_ptr<ProgressOverlay> m_HUD;
  // The connection alerts shown; their delegate is cleared when this screen goes.
  std::vector<std::weak_ptr<ui::AlertView>> m_alerts;
  // The food menu waiting for a navigation transition to end.
  std::shared_ptr<ui::ViewController> m_pendingMenu;
};

}  // namespace kt
